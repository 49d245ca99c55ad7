// The file system of the host, through POSIX calls: the one place that opens, reads, writes,
// flushes, renames and locks files. `main` makes one and hands it down by reference.
#pragma once

#include <atomic>

#include "platform/file_system.h"

namespace cs::platform {

class PosixFileSystem : public FileSystem {
 public:
  FileStat Stat(const std::filesystem::path& path) const override;
  std::error_code ReadFile(const std::filesystem::path& path, std::string& bytes,
                           FileStat* stat) const override;
  std::error_code OpenRandomAccess(const std::filesystem::path& path, bool writable,
                                   std::unique_ptr<RandomAccessFile>& file) override;
  std::error_code ListDirectory(const std::filesystem::path& dir,
                                std::vector<std::string>& names) const override;
  std::error_code WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes,
                                      IfExists if_exists, FileStat* stat) override;
  std::error_code WriteFile(const std::filesystem::path& path, std::string_view bytes,
                            bool append) override;
  std::error_code CopyFile(const std::filesystem::path& from, const std::filesystem::path& to) override;
  std::error_code RenameDurably(const std::filesystem::path& from,
                                const std::filesystem::path& to) override;
  std::error_code Remove(const std::filesystem::path& path) override;
  std::error_code CreateDirectories(const std::filesystem::path& dir) override;
  std::error_code CreateSymlink(const std::filesystem::path& target,
                                const std::filesystem::path& link) override;
  std::filesystem::path Canonical(const std::filesystem::path& path) const override;
  std::error_code HeldByAnotherProcess(const std::filesystem::path& path, bool& held) const override;
  std::error_code LockExclusive(const std::filesystem::path& path, const LockOptions& options,
                                std::unique_ptr<ExclusiveLock>& lock) override;

 private:
  // Numbers the temporary files of this process, so that two writes never share one.
  std::atomic<unsigned> next_temporary_{0};
};

}  // namespace cs::platform
