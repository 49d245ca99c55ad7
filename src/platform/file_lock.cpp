#include "platform/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <system_error>
#include <vector>

namespace cs::platform {

FileLock::FileLock(const std::filesystem::path& host_path, const std::function<void()>& on_wait) {
  const int fd = ::open(host_path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  int rc = ::flock(fd, LOCK_EX | LOCK_NB);
  if (rc != 0 && errno == EWOULDBLOCK) {
    if (on_wait) on_wait();
    do {
      rc = ::flock(fd, LOCK_EX);
    } while (rc != 0 && errno == EINTR);
  }
  if (rc != 0) {
    ::close(fd);
    return;
  }
  fd_ = fd;
}

FileLock::~FileLock() {
  if (fd_ >= 0) ::close(fd_);  // closing the last descriptor releases the lock
}

std::vector<std::filesystem::path> SiblingsNamed(const std::filesystem::path& file,
                                                 const std::string& tail) {
  std::vector<std::filesystem::path> out;
  const std::string head = file.filename().string() + tail;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(file.parent_path(), ec)) {
    const std::string name = entry.path().filename().string();
    if (name.compare(0, head.size(), head) == 0) out.push_back(entry.path());
  }
  std::sort(out.begin(), out.end());
  return out;
}

void CopyFileDurably(const std::filesystem::path& from, const std::filesystem::path& to) {
  std::filesystem::copy_file(from, to, std::filesystem::copy_options::none);
  const int fd = ::open(to.c_str(), O_WRONLY | O_CLOEXEC);
  const bool synced = fd >= 0 && ::fsync(fd) == 0;
  const int error = errno;
  if (fd >= 0) ::close(fd);
  if (!synced) {
    std::error_code ec;
    std::filesystem::remove(to, ec);
    throw std::system_error(error, std::generic_category(), "cannot flush " + to.string());
  }
}

namespace {

void SyncPath(const std::filesystem::path& path, int flags) {
  const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
  if (fd < 0) throw std::system_error(errno, std::generic_category(), "cannot open " + path.string());
  const bool synced = ::fsync(fd) == 0;
  const int error = errno;
  ::close(fd);
  if (!synced) throw std::system_error(error, std::generic_category(), "cannot flush " + path.string());
}

}  // namespace

void RenameDurably(const std::filesystem::path& from, const std::filesystem::path& to) {
  SyncPath(from, O_RDONLY);
  if (::rename(from.c_str(), to.c_str()) != 0) {
    throw std::system_error(errno, std::generic_category(), "cannot rename " + from.string());
  }
  SyncPath(to.parent_path().empty() ? "." : to.parent_path(), O_RDONLY | O_DIRECTORY);
}

bool RemoveFile(const std::filesystem::path& file) {
  std::error_code ec;
  return std::filesystem::remove(file, ec) && !ec;
}

}  // namespace cs::platform
