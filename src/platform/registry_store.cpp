#include "platform/registry_store.h"

#include <cstring>

#include "platform/run_error.h"

namespace fs = std::filesystem;

namespace cs::platform {
namespace {

constexpr std::string_view kRoot = "HKEY_CURRENT_USER";

std::string JoinKey(const std::string& base, std::string_view sub) {
  while (sub.starts_with('\\')) sub.remove_prefix(1);
  while (sub.ends_with('\\')) sub.remove_suffix(1);
  if (sub.empty()) return base;
  return base + "\\" + std::string(sub);
}

}  // namespace

RegistryStore::RegistryStore(FileSystem& files, fs::path file)
    : files_(files), file_(std::move(file)) {}

long RegistryStore::Load() {
  const FileStat now = files_.Stat(file_);
  if (parsed_stat_ && *parsed_stat_ == now) return parse_result_;
  parsed_.reset();
  parsed_stat_.reset();
  if (now.kind == FileKind::kMissing) return ERROR_FILE_NOT_FOUND;
  std::string bytes;
  FileStat read{};
  if (const std::error_code ec = files_.ReadFile(file_, bytes, &read)) {
    return ec == std::errc::no_such_file_or_directory ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED;
  }
  try {
    parsed_ = RegFile::Parse(std::move(bytes));
    parse_result_ = ERROR_SUCCESS;
  } catch (const RunError&) {
    parse_result_ = ERROR_BADDB;  // remembered, so that a bad file is not read on every call
  }
  parsed_stat_ = read;
  return parse_result_;
}

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
  if (const long rc = Load(); rc != ERROR_SUCCESS) return rc;
  if (!parsed_->KeyExists(path)) return ERROR_FILE_NOT_FOUND;
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
  if (const long rc = Load(); rc != ERROR_SUCCESS) return rc;
  if (!parsed_->KeyExists(path)) return ERROR_KEY_DELETED;
  auto value = parsed_->Get(path, name == nullptr ? "" : name);
  if (!value) return ERROR_FILE_NOT_FOUND;
  std::string bytes = std::move(value->data);
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
  std::unique_ptr<ExclusiveLock> lock;
  LockOptions options;
  options.create = true;
  options.follow_replacement = true;  // someone may remove the lock file while it is held
  if (files_.LockExclusive(file_.string() + ".lock", options, lock)) return ERROR_ACCESS_DENIED;
  if (const long rc = Load(); rc != ERROR_SUCCESS) return rc;
  // A value that already holds these bytes, of this type, is left as it is: the registry would
  // read the same, and the file is not written again for it.
  if (const auto held = parsed_->Get(path, name == nullptr ? "" : name);
      held && held->type == value.type && held->data == value.data) {
    return ERROR_SUCCESS;
  }
  if (!parsed_->Set(path, name == nullptr ? "" : name, value)) return ERROR_KEY_DELETED;
  FileStat written{};
  if (files_.WriteFileAtomically(file_, parsed_->Serialize(), IfExists::kReplace, &written)) {
    // The parsed file holds a change that the disk does not: read the file again next time.
    parsed_.reset();
    parsed_stat_.reset();
    return ERROR_ACCESS_DENIED;
  }
  parsed_stat_ = written;
  return ERROR_SUCCESS;
}

long RegistryStore::RegCloseKey(HKEY key) {
  if (key == HKEY_CURRENT_USER) return ERROR_SUCCESS;
  return handles_.erase(key) == 1 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

}  // namespace cs::platform
