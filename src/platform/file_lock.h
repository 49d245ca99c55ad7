// An exclusive lock on a file for as long as the object lives (flock on the file itself, so it
// takes no extra file beside it and does not meddle with the database engine's own locks).
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace cs::platform {

class FileLock {
 public:
  // Locks the file at a host path. When another holder has it, calls `on_wait` once and then
  // waits until the lock is free. A file that cannot be opened is not locked (Held() is false).
  FileLock(const std::filesystem::path& host_path, const std::function<void()>& on_wait);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  bool Held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// The entries of a file's folder whose names begin with the file's name followed by `tail`.
std::vector<std::filesystem::path> SiblingsNamed(const std::filesystem::path& file,
                                                 const std::string& tail);

// Copies a file's bytes into a new file at `to` (which must not exist yet) and flushes the copy
// to the disk before returning. Throws std::system_error on failure; a half-made copy is removed.
void CopyFileDurably(const std::filesystem::path& from, const std::filesystem::path& to);

// Renames `from` over `to` after flushing `from` to the disk, then flushes the folder, so that
// after a crash the name holds the old file or the new one whole. Throws std::system_error.
void RenameDurably(const std::filesystem::path& from, const std::filesystem::path& to);

// Removes a file; false when it could not be removed.
bool RemoveFile(const std::filesystem::path& file);

}  // namespace cs::platform
