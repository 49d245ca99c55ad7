// A file system held in memory, for the tests of the code above the FileSystem interface: files,
// directories, symbolic links and "special" files (what a FIFO or a device is to the program),
// with a clock that moves on every change, so that every change shows in a stat. Faults can be
// injected per operation. Paths are absolute; a relative path is taken from "/".
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "platform/file_system.h"

namespace cs::test {

class MemoryFileSystem : public platform::FileSystem {
 public:
  MemoryFileSystem();

  // Setting up: parents are made as needed; an existing entry is replaced.
  void AddFile(const std::filesystem::path& path, std::string bytes);
  void AddDirectory(const std::filesystem::path& path);
  void AddSymlink(const std::filesystem::path& link, const std::filesystem::path& target);
  void AddSpecial(const std::filesystem::path& path);
  void SetReadOnly(const std::filesystem::path& path, bool read_only);

  // The bytes of a regular file (links followed), or nothing.
  std::optional<std::string> Contents(const std::filesystem::path& path) const;
  // Every path held, links not followed.
  std::set<std::string> Paths() const;

  // When set, called before each operation with its name ("ReadFile", "WriteFileAtomically",
  // "LockExclusive", ...) and path; a non-empty result makes the operation fail with it, having
  // changed nothing.
  std::function<std::error_code(std::string_view operation, const std::filesystem::path&)> fault;
  // Files another process holds a byte-range lock on (HeldByAnotherProcess).
  std::set<std::string> held_by_others;
  // How many times ReadFile was called.
  mutable int reads = 0;

  platform::FileStat Stat(const std::filesystem::path& path) const override;
  std::error_code ReadFile(const std::filesystem::path& path, std::string& bytes,
                           platform::FileStat* stat) const override;
  std::error_code OpenRandomAccess(const std::filesystem::path& path, bool writable,
                                   std::unique_ptr<platform::RandomAccessFile>& file) override;
  std::error_code ListDirectory(const std::filesystem::path& dir,
                                std::vector<std::string>& names) const override;
  std::error_code WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes,
                                      platform::IfExists if_exists,
                                      platform::FileStat* stat) override;
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
  std::error_code LockExclusive(const std::filesystem::path& path,
                                const platform::LockOptions& options,
                                std::unique_ptr<platform::ExclusiveLock>& lock) override;

 private:
  enum class Kind { kFile, kDirectory, kSymlink, kSpecial };
  struct Node {
    Kind kind = Kind::kFile;
    std::string data;  // a file's bytes, a link's target
    std::int64_t modified = 0;
    std::uint64_t inode = 0;
    bool read_only = false;
  };
  // A path with its links resolved: where it leads, and whether something is there.
  struct Resolved {
    std::string path;
    const Node* node = nullptr;
  };

  std::error_code Fault(std::string_view operation, const std::filesystem::path& path) const;
  std::error_code Resolve(const std::filesystem::path& path, bool follow_last, Resolved& out) const;
  Node& Put(const std::string& path, Kind kind);
  std::error_code ParentIsDirectory(const std::string& path) const;
  platform::FileStat StatOf(const Node& node) const;

  std::map<std::string, Node> nodes_;  // by absolute path, "/" the root
  std::set<std::string> locked_;       // resolved paths locked now
  std::int64_t clock_ = 1;
  std::uint64_t next_inode_ = 1;

  friend class MemoryLock;
  friend class MemoryRandomAccessFile;
};

}  // namespace cs::test
