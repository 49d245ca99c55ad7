#include "platform/temporary_directory.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <mutex>
#include <set>
#include <string>
#include <system_error>

#include "platform/run_error.h"

namespace fs = std::filesystem;

namespace cs::platform {
namespace {

constexpr char kFolderPrefix[] = "catalogsync-";
constexpr char kLockName[] = ".owner.lock";
// A lock file younger than this may belong to an owner that has opened it and not yet locked it.
constexpr auto kLockGrace = std::chrono::seconds(2);
// A folder without a lock file this old is no live run's.
constexpr auto kUnlockedAge = std::chrono::minutes(10);

fs::path TemporaryRoot() {
  const char* tmp = std::getenv("TMPDIR");
  return fs::path(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp");
}

// The folders of the live TemporaryDirectory objects of this process.
std::mutex& LiveMutex() {
  static std::mutex m;
  return m;
}
std::set<fs::path>& Live() {
  static std::set<fs::path> live;
  return live;
}

bool IsOurFolderName(const std::string& name) {
  if (name.size() != sizeof(kFolderPrefix) - 1 + 6 || name.rfind(kFolderPrefix, 0) != 0) return false;
  for (std::size_t i = sizeof(kFolderPrefix) - 1; i < name.size(); ++i) {
    const char c = name[i];
    const bool alnum = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (!alnum) return false;
  }
  return true;
}

// True when every entry of a folder without a lock file is a private copy of a data file that an
// earlier release made there ("data<N>.yw", with SQLite's journal beside it): only then is a
// folder without a lock taken for the program's own.
bool HoldsOnlyPrivateCopies(const fs::path& folder) {
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::string name = it->path().filename().string();
    for (const char* tail : {"-journal", "-wal", "-shm"}) {
      if (name.ends_with(tail)) name.resize(name.size() - std::char_traits<char>::length(tail));
    }
    if (!name.starts_with("data") || !name.ends_with(".yw") || name.size() <= 7) return false;
    for (std::size_t i = 4; i + 3 < name.size(); ++i) {
      if (name[i] < '0' || name[i] > '9') return false;
    }
    if (it->symlink_status(ec).type() != fs::file_type::regular) return false;
  }
  return !ec;
}

std::chrono::system_clock::duration AgeOf(const struct stat& st) {
  const auto changed = std::chrono::system_clock::time_point(
      std::chrono::seconds(st.st_mtim.tv_sec) + std::chrono::nanoseconds(st.st_mtim.tv_nsec));
  return std::chrono::system_clock::now() - changed;
}

// True when the folder is no live run's; `lock_fd` then holds its lock (or -1 when it has none),
// kept while the folder is removed so that nobody takes it meanwhile.
bool IsAbandoned(const fs::path& folder, int& lock_fd) {
  lock_fd = -1;
  struct stat st {};
  if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) return false;
  const fs::path lock = folder / kLockName;
  const int fd = ::open(lock.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) return errno == ENOENT && AgeOf(st) >= kUnlockedAge && HoldsOnlyPrivateCopies(folder);
  struct stat lock_st {};
  if (::fstat(fd, &lock_st) != 0 || !S_ISREG(lock_st.st_mode) || AgeOf(lock_st) < kLockGrace ||
      ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return false;
  }
  lock_fd = fd;
  return true;
}

}  // namespace

TemporaryDirectory::TemporaryDirectory() {
  std::string pattern = (TemporaryRoot() / (std::string(kFolderPrefix) + "XXXXXX")).string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    throw RunError(err::kPathFileAccess, "Cannot make a temporary folder: " +
                                             std::error_code(errno, std::generic_category()).message());
  }
  path_ = pattern;
  const fs::path lock = path_ / kLockName;
  lock_fd_ = ::open(lock.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (lock_fd_ < 0 || ::flock(lock_fd_, LOCK_EX | LOCK_NB) != 0) {
    const std::error_code ec(errno, std::generic_category());
    if (lock_fd_ >= 0) ::close(lock_fd_);
    std::error_code ignored;
    fs::remove_all(path_, ignored);
    throw RunError(err::kPathFileAccess, "Cannot lock the temporary folder " + path_.string() + ": " + ec.message());
  }
  std::lock_guard<std::mutex> guard(LiveMutex());
  Live().insert(path_);
}

TemporaryDirectory::~TemporaryDirectory() {
  {
    std::lock_guard<std::mutex> guard(LiveMutex());
    Live().erase(path_);
  }
  std::error_code ec;
  fs::remove_all(path_, ec);
  ::close(lock_fd_);
}

std::vector<fs::path> RemoveAbandonedTemporaryDirectories() {
  std::vector<fs::path> removed;
  std::error_code ec;
  for (fs::directory_iterator it(TemporaryRoot(), ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path folder = it->path();
    if (!IsOurFolderName(folder.filename().string())) continue;
    {
      std::lock_guard<std::mutex> guard(LiveMutex());
      if (Live().count(folder) != 0) continue;
    }
    int lock_fd = -1;
    if (!IsAbandoned(folder, lock_fd)) continue;
    std::error_code remove_ec;
    fs::remove_all(folder, remove_ec);
    if (lock_fd >= 0) ::close(lock_fd);
    if (!remove_ec) removed.push_back(folder);
  }
  return removed;
}

void RemoveLiveTemporaryDirectories() {
  std::lock_guard<std::mutex> guard(LiveMutex());
  for (const fs::path& folder : Live()) {
    std::error_code ec;
    fs::remove_all(folder, ec);
  }
  Live().clear();
}

}  // namespace cs::platform
