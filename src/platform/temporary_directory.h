// A private folder of the run's own under the system's temporary folder ($TMPDIR, else /tmp),
// removed with everything in it when the object ends, or when the process ends through
// ExitProcessEnd, which runs no destructors.
//
// A run that is killed cannot remove its folder. So each folder holds a lock file that its owner
// keeps locked while it lives: a later run finds the folders whose lock nobody holds and removes
// them (RemoveAbandonedTemporaryDirectories).
#pragma once

#include <filesystem>
#include <vector>

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
  int lock_fd_ = -1;
};

// Removes the folders "catalogsync-XXXXXX" that runs of this user left behind (killed before they
// could remove them): those whose lock file is no longer held, and those without one (an earlier
// release's) that hold nothing but private copies of data files and were last changed ten minutes
// ago or earlier. Folders of live runs, of other users and anything else are left alone. Returns
// the folders removed.
std::vector<std::filesystem::path> RemoveAbandonedTemporaryDirectories();

// Removes the folders of every TemporaryDirectory still alive in this process, for an end of the
// process that runs no destructors.
void RemoveLiveTemporaryDirectories();

}  // namespace cs::platform
