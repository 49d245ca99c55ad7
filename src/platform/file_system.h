// What the program does with files, behind one interface, as LevelDB's Env keeps its engine free
// of system calls. PosixFileSystem (posix_file_system.h) is the real one and the only place that
// makes these system calls; the tests put an in-memory one under the registry, the INI functions
// and the Windows paths.
//
// Paths are host paths. Every operation that can fail returns a std::error_code (empty on
// success): a POSIX errno in the generic category, or FileError::kNotRegularFile. Nothing here
// throws for a failure of the file system. An optional result (`stat`) may be null.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace cs::platform {

// Failures of this interface that have no errno of their own.
enum class FileError {
  // The path names a directory, a FIFO, a device or a socket where a regular file is needed.
  kNotRegularFile = 1,
  // A read reached the end of the file before it had all the bytes it was asked for.
  kEndOfFile = 2,
};
// Inline, so that a layer that uses only this interface (the Jet file format) needs no part of
// the platform's library to name these errors.
inline const std::error_category& FileErrorCategory() {
  class Category : public std::error_category {
   public:
    const char* name() const noexcept override { return "file"; }
    std::string message(int value) const override {
      switch (static_cast<FileError>(value)) {
        case FileError::kNotRegularFile:
          return "Not a regular file";
        case FileError::kEndOfFile:
          return "Unexpected end of file";
      }
      return "Unknown file error";
    }
  };
  static const Category category;
  return category;
}
inline std::error_code make_error_code(FileError e) {
  return {static_cast<int>(e), FileErrorCategory()};
}

enum class FileKind { kMissing, kRegular, kDirectory, kOther };

// What a path names, symbolic links followed. Two stats of one file are equal until the file is
// written, replaced or moved (within the resolution of the file system's clock).
struct FileStat {
  FileKind kind = FileKind::kMissing;
  std::uint64_t size = 0;
  std::int64_t modified_ns = 0;  // modification time, nanoseconds since the epoch
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  bool operator==(const FileStat&) const = default;
};

// What an atomic write does when the target already exists.
enum class IfExists { kReplace, kFail };

// An exclusive lock, held until the object is destroyed.
class ExclusiveLock {
 public:
  virtual ~ExclusiveLock() = default;
};

struct LockOptions {
  // Create the file (empty) when it is missing; otherwise a missing file cannot be locked.
  bool create = false;
  // Another process may replace the file by a rename (or remove it): after the lock is taken,
  // the path must still name the locked file, or the lock is dropped and taken again.
  bool follow_replacement = false;
  // Called once, before waiting, when another holder has the lock.
  std::function<void()> on_wait;
};

// A regular file open for reading (and writing, when opened so) at any offset: what a database
// file is to the code that reads and writes its pages. Closed when the object is destroyed; what
// was written but not flushed may then be lost in a crash, never reordered within one call.
class RandomAccessFile {
 public:
  virtual ~RandomAccessFile() = default;

  // Reads exactly `bytes.size()` bytes from `offset`. A read that would pass the end of the file
  // is FileError::kEndOfFile (`bytes` then holds nothing reliable).
  virtual std::error_code ReadAt(std::uint64_t offset, std::span<std::uint8_t> bytes) const = 0;

  // Writes all of `bytes` at `offset`, extending the file when it passes the end (a gap left
  // before `offset` reads as zeros). A file opened for reading only refuses it (EBADF).
  virtual std::error_code WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) = 0;

  // The size of the file now, in bytes.
  virtual std::error_code Size(std::uint64_t& size) const = 0;

  // Flushes what was written to the disk.
  virtual std::error_code Sync() = 0;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // A path that cannot be examined (missing, a dangling link, a folder that may not be
  // searched) is kMissing.
  virtual FileStat Stat(const std::filesystem::path& path) const = 0;

  // Reads a whole regular file into `bytes`. Anything else is kNotRegularFile, found without
  // waiting: a FIFO or a device is never read. `stat`, when given, receives the state of the
  // file that was read.
  virtual std::error_code ReadFile(const std::filesystem::path& path, std::string& bytes,
                                   FileStat* stat) const = 0;

  // Opens an existing regular file for reading and writing at any offset (reading only unless
  // `writable`). Anything but a regular file is kNotRegularFile, found without waiting: a FIFO or
  // a device is never opened for use. `file` holds the open file on success, nothing otherwise.
  virtual std::error_code OpenRandomAccess(const std::filesystem::path& path, bool writable,
                                           std::unique_ptr<RandomAccessFile>& file) = 0;

  // The names of a directory's entries, without "." and "..", in no particular order.
  virtual std::error_code ListDirectory(const std::filesystem::path& dir,
                                        std::vector<std::string>& names) const = 0;

  // Makes `path` hold exactly `bytes`, all or nothing: a new file beside it is written, flushed
  // to the disk, renamed over the target, and the folder is flushed. On failure the old file is
  // left whole and the new one removed. A target that exists and may not be written by this
  // user is refused (EACCES). With IfExists::kFail an existing target is left alone and the
  // result is EEXIST. `stat`, when given, receives the state of the file written. A failure to
  // flush the folder is reported although the new content is then in place.
  virtual std::error_code WriteFileAtomically(const std::filesystem::path& path,
                                              std::string_view bytes, IfExists if_exists,
                                              FileStat* stat) = 0;

  // Writes `bytes` to a regular file, created when missing: after emptying it, or at its end.
  // Not flushed to the disk. A path that is not a regular file is kNotRegularFile.
  virtual std::error_code WriteFile(const std::filesystem::path& path, std::string_view bytes,
                                    bool append) = 0;

  // Copies a regular file into a new file `to` (EEXIST when it exists), not flushed: for a file
  // that is flushed later or thrown away. A half-made copy is removed.
  virtual std::error_code CopyFile(const std::filesystem::path& from,
                                   const std::filesystem::path& to) = 0;

  // Flushes a regular file, then renames it over `to`, then flushes the folders of both names to
  // the disk: after a crash, `to` holds the old file or this one, whole.
  virtual std::error_code RenameDurably(const std::filesystem::path& from,
                                        const std::filesystem::path& to) = 0;

  // Removes a file (not a directory).
  virtual std::error_code Remove(const std::filesystem::path& path) = 0;

  // Creates a directory and its missing parents; an existing directory is no error.
  virtual std::error_code CreateDirectories(const std::filesystem::path& dir) = 0;

  // Creates a symbolic link at `link` that points to `target` (EEXIST when `link` exists).
  virtual std::error_code CreateSymlink(const std::filesystem::path& target,
                                        const std::filesystem::path& link) = 0;

  // The absolute form of a path with "." and ".." removed and every symbolic link of its
  // existing part resolved; a part that does not exist is kept as written. Empty when the path
  // cannot be examined.
  virtual std::filesystem::path Canonical(const std::filesystem::path& path) const = 0;

  // Whether another process holds a byte-range lock (a POSIX record lock, as Windows programs run
  // through Wine lock ranges of a shared file) on any part of a regular file: `held` is set.
  // A missing file is held by nobody. A file that cannot be examined is an error.
  virtual std::error_code HeldByAnotherProcess(const std::filesystem::path& path, bool& held) const = 0;

  // Takes an exclusive lock on a file, waiting while another holder has it. A lock that cannot
  // be taken is an error; `lock` holds it otherwise.
  virtual std::error_code LockExclusive(const std::filesystem::path& path,
                                        const LockOptions& options,
                                        std::unique_ptr<ExclusiveLock>& lock) = 0;
};

}  // namespace cs::platform

template <>
struct std::is_error_code_enum<cs::platform::FileError> : std::true_type {};
