// A private folder of the run's own under the system's temporary folder ($TMPDIR, else /tmp),
// removed with everything in it when the object ends.
#pragma once

#include <filesystem>

namespace cs::platform {

class TemporaryDirectory {
 public:
  // Throws RunError when the folder cannot be made.
  TemporaryDirectory();
  ~TemporaryDirectory();
  TemporaryDirectory(const TemporaryDirectory&) = delete;
  TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace cs::platform
