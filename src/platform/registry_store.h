// HKEY_CURRENT_USER as the text file <prefix>/user.reg, behind the four registry functions the
// program uses. Every call looks at the file first and reads it again only when it has changed
// (its size, modification time or inode), so a change made by another program is seen without
// parsing the whole file on every call. A write takes an exclusive lock on user.reg.lock, reads
// the file again if it changed, changes the one value, and replaces user.reg atomically (a file
// beside it, flushed, renamed over it): a crash leaves the old file or the new one, and two
// writers never lose each other's values. A file that cannot be parsed makes the call fail with
// ERROR_BADDB and is never overwritten; a user.reg that is not a regular file (a FIFO, a
// directory) or cannot be read fails with ERROR_ACCESS_DENIED, and is never waited on. Nothing
// creates or deletes a key.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "platform/file_system.h"
#include "platform/reg_file.h"

namespace cs::platform {

using HKEY = std::uintptr_t;
inline constexpr HKEY HKEY_CURRENT_USER = 0x80000001;

inline constexpr long ERROR_SUCCESS = 0;
inline constexpr long ERROR_FILE_NOT_FOUND = 2;
inline constexpr long ERROR_ACCESS_DENIED = 5;
inline constexpr long ERROR_INVALID_HANDLE = 6;
inline constexpr long ERROR_INVALID_PARAMETER = 87;
inline constexpr long ERROR_MORE_DATA = 234;
inline constexpr long ERROR_BADDB = 1009;
inline constexpr long ERROR_KEY_DELETED = 1018;

class RegistryStore {
 public:
  // `files` must outlive the store.
  RegistryStore(FileSystem& files, std::filesystem::path file);

  // Opens an existing key below `root` (HKEY_CURRENT_USER or an open handle); `sub_key` null or
  // empty opens `root` itself again. The access mask is accepted as given.
  long RegOpenKeyExA(HKEY root, const char* sub_key, std::uint32_t options, std::uint32_t sam,
                     HKEY* result);
  // `name` null or empty is the default value. With `data` null only the type and the size are
  // reported. REG_SZ data comes back followed by one NUL.
  long RegQueryValueExA(HKEY key, const char* name, std::uint32_t* reserved, std::uint32_t* type,
                        std::uint8_t* data, std::uint32_t* size);
  // Creates or replaces a value of the open key. A REG_SZ writer's terminating NUL is dropped.
  // ERROR_ACCESS_DENIED when the lock cannot be taken or the file cannot be replaced.
  long RegSetValueExA(HKEY key, const char* name, std::uint32_t reserved, std::uint32_t type,
                      const std::uint8_t* data, std::uint32_t size);
  long RegCloseKey(HKEY key);

  const std::filesystem::path& file() const { return file_; }

 private:
  bool KeyPath(HKEY key, std::string& path) const;
  // Brings the parsed file up to date with the file on the disk; an error code when the file
  // is missing, cannot be read or cannot be parsed.
  long Load();

  FileSystem& files_;
  std::filesystem::path file_;
  std::optional<RegFile> parsed_;        // the file as last read or written
  std::optional<FileStat> parsed_stat_;  // the state of the file parsed_ (or the failure) is of
  long parse_result_ = ERROR_SUCCESS;    // ERROR_BADDB when that file does not parse
  std::map<HKEY, std::string> handles_;  // open handle -> full key path
  HKEY next_handle_ = 0x1000;
};

}  // namespace cs::platform
