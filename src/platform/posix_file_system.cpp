#include "platform/posix_file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <string>
#include <utility>

namespace fs = std::filesystem;

namespace cs::platform {
namespace {

std::error_code LastError() { return {errno, std::generic_category()}; }

// A file descriptor closed when it goes out of scope; Close() reports the error of close(),
// which is where some file systems report a failed write.
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd(Fd&& other) noexcept : fd_(other.Release()) {}
  Fd& operator=(const Fd&) = delete;
  Fd& operator=(Fd&& other) noexcept {
    if (this != &other) {
      if (fd_ >= 0) ::close(fd_);
      fd_ = other.Release();
    }
    return *this;
  }

  int get() const { return fd_; }
  bool ok() const { return fd_ >= 0; }
  int Release() { return std::exchange(fd_, -1); }
  std::error_code Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0 ? std::error_code() : LastError();
  }

 private:
  int fd_;
};

FileStat FromStat(const struct stat& st) {
  FileStat out;
  out.kind = S_ISREG(st.st_mode)   ? FileKind::kRegular
             : S_ISDIR(st.st_mode) ? FileKind::kDirectory
                                   : FileKind::kOther;
  out.size = static_cast<std::uint64_t>(st.st_size);
  out.modified_ns =
      static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
  out.device = static_cast<std::uint64_t>(st.st_dev);
  out.inode = static_cast<std::uint64_t>(st.st_ino);
  return out;
}

fs::path FolderOf(const fs::path& path) {
  fs::path folder = path.parent_path();
  return folder.empty() ? fs::path(".") : folder;
}

// Opens a path for reading without waiting on a FIFO or a device, and makes sure that it is a
// regular file. `st` receives its state.
std::error_code OpenRegular(const fs::path& path, Fd& fd, struct stat& st) {
  fd = Fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (!fd.ok()) return LastError();
  if (::fstat(fd.get(), &st) != 0) return LastError();
  if (!S_ISREG(st.st_mode)) return FileError::kNotRegularFile;
  return {};
}

std::error_code WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return LastError();
    }
    if (n == 0) return std::make_error_code(std::errc::io_error);
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return {};
}

// Flushes a folder, so that a name made or changed in it survives a crash. A file system that
// cannot flush folders (EINVAL) keeps its names without it.
std::error_code SyncFolder(const fs::path& folder) {
  Fd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd.ok()) return LastError();
  if (::fsync(fd.get()) != 0 && errno != EINVAL) return LastError();
  return fd.Close();
}

std::error_code CopyBytes(int in, int out) {
  // The kernel copies within the file system where it can; a plain read and write loop
  // otherwise.
  bool kernel_copy = true;
  std::string buffer;
  while (true) {
    if (kernel_copy) {
      const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
      if (n > 0) continue;
      if (n == 0) return {};
      if (errno == EINTR) continue;
      if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP) {
        return LastError();
      }
      kernel_copy = false;  // nothing was copied by the failed call: go on where it stopped
      buffer.resize(1 << 20);
    }
    const ssize_t n = ::read(in, buffer.data(), buffer.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return LastError();
    }
    if (n == 0) return {};
    if (auto ec = WriteAll(out, std::string_view(buffer.data(), static_cast<std::size_t>(n)))) {
      return ec;
    }
  }
}

class PosixLock : public ExclusiveLock {
 public:
  explicit PosixLock(int fd) : fd_(fd) {}
  ~PosixLock() override { ::close(fd_); }  // closing the last descriptor releases the lock

 private:
  int fd_;
};

// A regular file read and written with pread and pwrite, so that no call depends on a position
// another left behind.
class PosixRandomAccessFile : public RandomAccessFile {
 public:
  explicit PosixRandomAccessFile(Fd fd) : fd_(std::move(fd)) {}

  std::error_code ReadAt(std::uint64_t offset, std::span<std::uint8_t> bytes) const override {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::pread(fd_.get(), bytes.data() + done, bytes.size() - done,
                                static_cast<off_t>(offset + done));
      if (n < 0) {
        if (errno == EINTR) continue;
        return LastError();
      }
      if (n == 0) return FileError::kEndOfFile;
      done += static_cast<std::size_t>(n);
    }
    return {};
  }

  std::error_code WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) override {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::pwrite(fd_.get(), bytes.data() + done, bytes.size() - done,
                                 static_cast<off_t>(offset + done));
      if (n < 0) {
        if (errno == EINTR) continue;
        return LastError();
      }
      if (n == 0) return std::make_error_code(std::errc::io_error);
      done += static_cast<std::size_t>(n);
    }
    return {};
  }

  std::error_code Size(std::uint64_t& size) const override {
    struct stat st {};
    if (::fstat(fd_.get(), &st) != 0) return LastError();
    size = static_cast<std::uint64_t>(st.st_size);
    return {};
  }

  std::error_code Sync() override {
    return ::fsync(fd_.get()) == 0 ? std::error_code() : LastError();
  }

 private:
  // Closed by Fd's destructor: a close error after a Sync that succeeded loses nothing.
  Fd fd_;
};

}  // namespace

std::error_code PosixFileSystem::OpenRandomAccess(const fs::path& path, bool writable,
                                                  std::unique_ptr<RandomAccessFile>& file) {
  file.reset();
  // O_NONBLOCK: opening a FIFO must not wait for a writer; it is refused right after.
  Fd fd(::open(path.c_str(), (writable ? O_RDWR : O_RDONLY) | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (!fd.ok()) return LastError();
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return LastError();
  if (!S_ISREG(st.st_mode)) return FileError::kNotRegularFile;
  file = std::make_unique<PosixRandomAccessFile>(std::move(fd));
  return {};
}

FileStat PosixFileSystem::Stat(const fs::path& path) const {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return {};
  return FromStat(st);
}

std::error_code PosixFileSystem::ReadFile(const fs::path& path, std::string& bytes,
                                          FileStat* stat) const {
  Fd fd;
  struct stat st {};
  if (auto ec = OpenRegular(path, fd, st)) return ec;
  bytes.assign(static_cast<std::size_t>(st.st_size) + 1, '\0');
  std::size_t used = 0;
  while (true) {
    if (used == bytes.size()) bytes.resize(bytes.size() * 2);  // the file grew meanwhile
    const ssize_t n = ::read(fd.get(), bytes.data() + used, bytes.size() - used);
    if (n < 0) {
      if (errno == EINTR) continue;
      return LastError();
    }
    if (n == 0) break;
    used += static_cast<std::size_t>(n);
  }
  bytes.resize(used);
  if (stat != nullptr) *stat = FromStat(st);
  return fd.Close();
}

std::error_code PosixFileSystem::ListDirectory(const fs::path& dir,
                                               std::vector<std::string>& names) const {
  names.clear();
  std::unique_ptr<DIR, int (*)(DIR*)> d(::opendir(dir.c_str()), &::closedir);
  if (!d) return LastError();
  while (true) {
    errno = 0;
    const dirent* entry = ::readdir(d.get());
    if (entry == nullptr) {
      if (errno != 0) return LastError();
      return {};
    }
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") names.emplace_back(name);
  }
}

std::error_code PosixFileSystem::WriteFileAtomically(const fs::path& path, std::string_view bytes,
                                                     IfExists if_exists, FileStat* stat) {
  struct stat old {};
  const bool exists = ::stat(path.c_str(), &old) == 0;
  if (exists) {
    if (if_exists == IfExists::kFail) return std::make_error_code(std::errc::file_exists);
    if (S_ISDIR(old.st_mode)) return std::make_error_code(std::errc::is_a_directory);
    if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) return LastError();
  }
  // The new file: a name of this process that no one else uses.
  fs::path temporary;
  Fd fd;
  for (int attempt = 0; attempt < 100 && !fd.ok(); ++attempt) {
    temporary = path.string() + ".tmp" + std::to_string(::getpid()) + "-" +
                std::to_string(next_temporary_++);
    fd = Fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!fd.ok() && errno != EEXIST) return LastError();
  }
  if (!fd.ok()) return std::make_error_code(std::errc::file_exists);

  struct stat written {};
  std::error_code ec;
  if (exists && ::fchmod(fd.get(), old.st_mode & 07777) != 0) ec = LastError();
  if (!ec) ec = WriteAll(fd.get(), bytes);
  if (!ec && ::fsync(fd.get()) != 0) ec = LastError();
  if (!ec && ::fstat(fd.get(), &written) != 0) ec = LastError();
  if (const auto closed = fd.Close(); !ec) ec = closed;
  if (!ec) {
    if (if_exists == IfExists::kReplace) {
      if (::rename(temporary.c_str(), path.c_str()) != 0) ec = LastError();
    } else if (::link(temporary.c_str(), path.c_str()) != 0) {
      ec = LastError();  // EEXIST when another process made the file meanwhile
    }
  }
  if (ec || if_exists == IfExists::kFail) ::unlink(temporary.c_str());
  if (ec) return ec;
  if (stat != nullptr) *stat = FromStat(written);
  return SyncFolder(FolderOf(path));
}

std::error_code PosixFileSystem::WriteFile(const fs::path& path, std::string_view bytes,
                                           bool append) {
  if (const FileKind kind = Stat(path).kind;
      kind == FileKind::kDirectory || kind == FileKind::kOther) {
    return FileError::kNotRegularFile;
  }
  Fd fd(::open(path.c_str(),
               O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | (append ? O_APPEND : 0),
               0666));
  if (!fd.ok()) return LastError();
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return LastError();
  if (!S_ISREG(st.st_mode)) return FileError::kNotRegularFile;
  if (!append && ::ftruncate(fd.get(), 0) != 0) return LastError();
  if (auto ec = WriteAll(fd.get(), bytes)) return ec;
  return fd.Close();
}

std::error_code PosixFileSystem::CopyFile(const fs::path& from, const fs::path& to) {
  Fd in;
  struct stat st {};
  if (auto ec = OpenRegular(from, in, st)) return ec;
  Fd out(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 07777));
  if (!out.ok()) return LastError();
  std::error_code ec = CopyBytes(in.get(), out.get());
  if (const auto closed = out.Close(); !ec) ec = closed;
  if (ec) ::unlink(to.c_str());
  return ec;
}

std::error_code PosixFileSystem::RenameDurably(const fs::path& from, const fs::path& to) {
  {
    Fd file;
    struct stat st {};
    if (auto ec = OpenRegular(from, file, st)) return ec;
    if (::fsync(file.get()) != 0) return LastError();
  }
  if (::rename(from.c_str(), to.c_str()) != 0) return LastError();
  if (auto ec = SyncFolder(FolderOf(to))) return ec;
  if (FolderOf(from) != FolderOf(to)) return SyncFolder(FolderOf(from));
  return {};
}

std::error_code PosixFileSystem::HeldByAnotherProcess(const fs::path& path, bool& held) const {
  held = false;
  Fd fd;
  struct stat st {};
  if (auto ec = OpenRegular(path, fd, st)) {
    return ec == std::errc::no_such_file_or_directory ? std::error_code() : ec;
  }
  // Asks whether a write lock over the whole file could be placed: any lock of another open file
  // description (another process's, as this one never opens the file otherwise) stands in its way.
  struct flock range {};
  range.l_type = F_WRLCK;
  range.l_whence = SEEK_SET;
  range.l_start = 0;
  range.l_len = 0;
  if (::fcntl(fd.get(), F_OFD_GETLK, &range) != 0) return LastError();
  held = range.l_type != F_UNLCK;
  return {};
}

std::error_code PosixFileSystem::Remove(const fs::path& path) {
  return ::unlink(path.c_str()) == 0 ? std::error_code() : LastError();
}

std::error_code PosixFileSystem::CreateDirectories(const fs::path& dir) {
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (ec) return ec;
  if (Stat(dir).kind != FileKind::kDirectory) {
    return std::make_error_code(std::errc::not_a_directory);
  }
  return {};
}

std::error_code PosixFileSystem::CreateSymlink(const fs::path& target, const fs::path& link) {
  return ::symlink(target.c_str(), link.c_str()) == 0 ? std::error_code() : LastError();
}

fs::path PosixFileSystem::Canonical(const fs::path& path) const {
  std::error_code ec;
  const fs::path absolute = fs::absolute(path, ec);
  if (ec) return {};
  fs::path out = fs::weakly_canonical(absolute, ec);
  if (ec) return {};
  return out;
}

std::error_code PosixFileSystem::LockExclusive(const fs::path& path, const LockOptions& options,
                                               std::unique_ptr<ExclusiveLock>& lock) {
  lock.reset();
  bool waited = false;
  while (true) {
    Fd fd(::open(path.c_str(),
                 O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | (options.create ? O_CREAT : 0),
                 0666));
    if (!fd.ok()) return LastError();
    struct stat locked {};
    if (::fstat(fd.get(), &locked) != 0) return LastError();
    if (!S_ISREG(locked.st_mode)) return FileError::kNotRegularFile;
    int rc = ::flock(fd.get(), LOCK_EX | LOCK_NB);
    if (rc != 0 && errno == EWOULDBLOCK) {
      if (!waited && options.on_wait) options.on_wait();
      waited = true;
      do {
        rc = ::flock(fd.get(), LOCK_EX);
      } while (rc != 0 && errno == EINTR);
    }
    if (rc != 0) return LastError();
    if (options.follow_replacement) {
      // The file locked may have been renamed over or removed while this waited: then the
      // lock guards nothing, and the file that now has the name is locked instead.
      struct stat now {};
      if (::stat(path.c_str(), &now) != 0) {
        if (errno == ENOENT && options.create) continue;
        return LastError();
      }
      if (now.st_dev != locked.st_dev || now.st_ino != locked.st_ino) continue;
    }
    lock = std::make_unique<PosixLock>(fd.Release());
    return {};
  }
}

}  // namespace cs::platform
