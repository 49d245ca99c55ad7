// HKEY_CURRENT_USER as the text file <prefix>/user.reg, behind the four registry functions the
// program uses. Every call reads the file afresh, so a change made by another program is seen.
// A write takes an exclusive lock on user.reg.lock, re-reads the file, changes the one value,
// writes a temporary file beside it, flushes it and renames it over user.reg. A file that cannot
// be parsed makes the call fail with ERROR_BADDB and is never overwritten. Nothing creates or
// deletes a key.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

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
  explicit RegistryStore(std::filesystem::path file);

  // Opens an existing key below `root` (HKEY_CURRENT_USER or an open handle); `sub_key` null or
  // empty opens `root` itself again. The access mask is accepted as given.
  long RegOpenKeyExA(HKEY root, const char* sub_key, std::uint32_t options, std::uint32_t sam,
                     HKEY* result);
  // `name` null or empty is the default value. With `data` null only the type and the size are
  // reported. REG_SZ data comes back followed by one NUL.
  long RegQueryValueExA(HKEY key, const char* name, std::uint32_t* reserved, std::uint32_t* type,
                        std::uint8_t* data, std::uint32_t* size);
  // Creates or replaces a value of the open key. A REG_SZ writer's terminating NUL is dropped.
  long RegSetValueExA(HKEY key, const char* name, std::uint32_t reserved, std::uint32_t type,
                      const std::uint8_t* data, std::uint32_t size);
  long RegCloseKey(HKEY key);

  const std::filesystem::path& file() const { return file_; }

 private:
  bool KeyPath(HKEY key, std::string& path) const;
  std::filesystem::path file_;
  std::map<HKEY, std::string> handles_;  // open handle -> full key path
  HKEY next_handle_ = 0x1000;
};

}  // namespace cs::platform
