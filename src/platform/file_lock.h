// The file operations that the import's safeguard and the database copy used before the
// FileSystem interface existed, kept with their signatures as thin wrappers over a
// PosixFileSystem of their own. New code takes a FileSystem& instead (System::files()):
//
//   FileLock(path, on_wait)     -> FileSystem::LockExclusive(path, {.on_wait = on_wait}, lock)
//   SiblingsNamed(file, tail)   -> FileSystem::ListDirectory(file.parent_path(), names)
//   CopyFileDurably(from, to)   -> FileSystem::CopyFileDurably(from, to)
//   RemoveFile(file)            -> FileSystem::Remove(file)
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace cs::platform {

// An exclusive lock on a file for as long as the object lives (flock on the file itself, so it
// takes no extra file beside it and does not meddle with the database engine's own locks).
class FileLock {
 public:
  // Locks the existing file at a host path. When another holder has it, calls `on_wait` once and
  // then waits until the lock is free. Throws RunError (70) when the file cannot be locked: a
  // missing file, one that may not be opened, or not a regular file.
  FileLock(const std::filesystem::path& host_path, const std::function<void()>& on_wait);

  // Always true: a lock that could not be taken threw instead.
  bool Held() const { return lock_ != nullptr; }

 private:
  std::unique_ptr<ExclusiveLock> lock_;
};

// The entries of a file's folder whose names begin with the file's name followed by `tail`,
// sorted. None when the folder cannot be listed.
std::vector<std::filesystem::path> SiblingsNamed(const std::filesystem::path& file,
                                                 const std::string& tail);

// Copies a file's bytes into a new file at `to` (which must not exist yet) and flushes the copy
// to the disk before returning. Throws std::system_error on failure; a half-made copy is removed.
void CopyFileDurably(const std::filesystem::path& from, const std::filesystem::path& to);

// Removes a file; false when it could not be removed.
bool RemoveFile(const std::filesystem::path& file);

}  // namespace cs::platform
