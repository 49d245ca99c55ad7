#include "platform/registry_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/reg_file.h"
#include "platform/run_error.h"

namespace fs = std::filesystem;

namespace cs::platform {
namespace {

constexpr std::string_view kRoot = "HKEY_CURRENT_USER";

// Reads and parses the file; ERROR_FILE_NOT_FOUND when it is missing, ERROR_BADDB when it does
// not parse.
long ReadRegFile(const fs::path& path, std::optional<RegFile>& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return ERROR_FILE_NOT_FOUND;
  std::ostringstream buf;
  buf << in.rdbuf();
  try {
    out = RegFile::Parse(buf.str());
  } catch (const RunError&) {
    return ERROR_BADDB;
  }
  return ERROR_SUCCESS;
}

// Holds an exclusive flock on a file for its lifetime.
class FileLock {
 public:
  explicit FileLock(const fs::path& path) {
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ >= 0 && ::flock(fd_, LOCK_EX) != 0) {
      ::close(fd_);
      fd_ = -1;
    }
  }
  ~FileLock() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

bool WriteAtomically(const fs::path& target, const std::string& bytes) {
  const fs::path tmp = target.string() + ".tmp" + std::to_string(::getpid());
  const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) {
      ::close(fd);
      ::unlink(tmp.c_str());
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  const bool ok = ::fsync(fd) == 0;
  ::close(fd);
  if (!ok || ::rename(tmp.c_str(), target.c_str()) != 0) {
    ::unlink(tmp.c_str());
    return false;
  }
  return true;
}

std::string JoinKey(const std::string& base, std::string_view sub) {
  while (sub.starts_with('\\')) sub.remove_prefix(1);
  while (sub.ends_with('\\')) sub.remove_suffix(1);
  if (sub.empty()) return base;
  return base + "\\" + std::string(sub);
}

}  // namespace

RegistryStore::RegistryStore(fs::path file) : file_(std::move(file)) {}

bool RegistryStore::KeyPath(HKEY key, std::string& path) const {
  if (key == HKEY_CURRENT_USER) {
    path = kRoot;
    return true;
  }
  auto it = handles_.find(key);
  if (it == handles_.end()) return false;
  path = it->second;
  return true;
}

long RegistryStore::RegOpenKeyExA(HKEY root, const char* sub_key, std::uint32_t, std::uint32_t,
                                  HKEY* result) {
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  *result = 0;
  std::string base;
  if (!KeyPath(root, base)) return ERROR_INVALID_HANDLE;
  const std::string path = JoinKey(base, sub_key == nullptr ? "" : sub_key);
  std::optional<RegFile> file;
  if (const long rc = ReadRegFile(file_, file); rc != ERROR_SUCCESS) return rc;
  if (!file->KeyExists(path)) return ERROR_FILE_NOT_FOUND;
  const HKEY h = next_handle_++;
  handles_[h] = path;
  *result = h;
  return ERROR_SUCCESS;
}

long RegistryStore::RegQueryValueExA(HKEY key, const char* name, std::uint32_t* reserved,
                                     std::uint32_t* type, std::uint8_t* data,
                                     std::uint32_t* size) {
  if (reserved != nullptr) return ERROR_INVALID_PARAMETER;
  if (data != nullptr && size == nullptr) return ERROR_INVALID_PARAMETER;
  std::string path;
  if (!KeyPath(key, path)) return ERROR_INVALID_HANDLE;
  std::optional<RegFile> file;
  if (const long rc = ReadRegFile(file_, file); rc != ERROR_SUCCESS) return rc;
  if (!file->KeyExists(path)) return ERROR_KEY_DELETED;
  auto value = file->Get(path, name == nullptr ? "" : name);
  if (!value) return ERROR_FILE_NOT_FOUND;
  std::string bytes = value->data;
  if ((value->type == kRegSz || value->type == kRegExpandSz) &&
      (bytes.empty() || bytes.back() != '\0')) {
    bytes += '\0';
  }
  if (type != nullptr) *type = value->type;
  const auto needed = static_cast<std::uint32_t>(bytes.size());
  if (data == nullptr) {
    if (size != nullptr) *size = needed;
    return ERROR_SUCCESS;
  }
  if (*size < needed) {
    *size = needed;
    return ERROR_MORE_DATA;
  }
  std::memcpy(data, bytes.data(), bytes.size());
  *size = needed;
  return ERROR_SUCCESS;
}

long RegistryStore::RegSetValueExA(HKEY key, const char* name, std::uint32_t reserved,
                                   std::uint32_t type, const std::uint8_t* data,
                                   std::uint32_t size) {
  if (reserved != 0) return ERROR_INVALID_PARAMETER;
  if (data == nullptr && size != 0) return ERROR_INVALID_PARAMETER;
  std::string path;
  if (!KeyPath(key, path)) return ERROR_INVALID_HANDLE;
  RegValue value{type, size == 0 ? std::string() :
                                   std::string(reinterpret_cast<const char*>(data), size)};
  if ((type == kRegSz || type == kRegExpandSz) && !value.data.empty() &&
      value.data.back() == '\0') {
    value.data.pop_back();
  }
  FileLock lock(file_.string() + ".lock");
  if (!lock.held()) return ERROR_ACCESS_DENIED;
  std::optional<RegFile> file;
  if (const long rc = ReadRegFile(file_, file); rc != ERROR_SUCCESS) return rc;
  if (!file->Set(path, name == nullptr ? "" : name, value)) return ERROR_KEY_DELETED;
  return WriteAtomically(file_, file->Serialize()) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

long RegistryStore::RegCloseKey(HKEY key) {
  if (key == HKEY_CURRENT_USER) return ERROR_SUCCESS;
  return handles_.erase(key) == 1 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

}  // namespace cs::platform
