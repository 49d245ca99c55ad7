#include "platform/file_lock.h"

#include <algorithm>
#include <system_error>

#include "platform/posix_file_system.h"
#include "platform/run_error.h"

namespace cs::platform {

FileLock::FileLock(const std::filesystem::path& host_path, const std::function<void()>& on_wait) {
  PosixFileSystem files;
  LockOptions options;
  options.on_wait = on_wait;
  if (const std::error_code ec = files.LockExclusive(host_path, options, lock_)) {
    throw RunError(err::kPermissionDenied,
                   "Cannot lock '" + host_path.string() + "': " + ec.message());
  }
}

std::vector<std::filesystem::path> SiblingsNamed(const std::filesystem::path& file,
                                                 const std::string& tail) {
  PosixFileSystem files;
  std::vector<std::string> names;
  std::vector<std::filesystem::path> out;
  const std::filesystem::path folder = file.parent_path();
  if (files.ListDirectory(folder.empty() ? "." : folder, names)) return out;
  const std::string head = file.filename().string() + tail;
  for (const auto& name : names) {
    if (name.starts_with(head)) out.push_back(folder / name);
  }
  std::sort(out.begin(), out.end());
  return out;
}

void CopyFileDurably(const std::filesystem::path& from, const std::filesystem::path& to) {
  PosixFileSystem files;
  if (const std::error_code ec = files.CopyFileDurably(from, to)) {
    throw std::system_error(ec, "cannot copy " + from.string() + " to " + to.string());
  }
}

bool RemoveFile(const std::filesystem::path& file) {
  PosixFileSystem files;
  return !files.Remove(file);
}

}  // namespace cs::platform
