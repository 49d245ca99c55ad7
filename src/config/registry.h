// The Registry module: every read and write of a registry value, the choice of the product's key
// at start-up, and the install locations that are read from the registry. All reads and writes
// go under HKEY_CURRENT_USER; nothing here creates or deletes a key.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "core/run_context.h"
#include "platform/registry_store.h"

namespace cs::config {

using platform::HKEY;
using platform::HKEY_CURRENT_USER;

inline constexpr std::uint32_t KEY_ALL_VALUES = 0x3F;
inline constexpr std::uint32_t KEY_READ = 0x20019;
inline constexpr std::uint32_t REG_SZ = 1;
inline constexpr std::uint32_t REG_DWORD = 4;

// What a registry read returns: empty, a text or a 32-bit integer.
using RegistryValue = std::variant<std::monostate, std::string, std::int32_t>;

// The text every caller turns a registry value into: "" for empty, the digits of an integer.
std::string ToText(const RegistryValue& value);

class Registry {
 public:
  explicit Registry(core::RunContext& run);

  // Chosen once at start-up by SetRegistryKey; empty until then.
  std::string ProductKey;
  std::string PriceFilesKey;

  void SetRegistryKey();
  bool RegistryKeyExists(HKEY root, const std::string& key);
  RegistryValue QueryValue(HKEY root, const std::string& key, const std::string& name);
  long QueryValueEx(HKEY key, const std::string& name, RegistryValue& value);
  // Writes into an existing key; a missing key is not created. Returns the status of the
  // platform's open or write, 0 when the value was written.
  long SetKeyValue(HKEY root, const std::string& key, const std::string& name,
                   const RegistryValue& value, std::uint32_t type);
  long SetValueEx(HKEY key, const std::string& name, std::uint32_t type,
                  const RegistryValue& value);
  std::string GetSetting(const std::string& section, const std::string& key,
                         const std::string& default_value);
  std::string NewKeyValue(const std::string& key);

  // Install locations.
  std::string DefaultDrive();
  std::string InstallAppDirectory();
  std::string DBDir();
  std::string DBName();
  // The configuration INI "YWConfig.ini"; with the built-in default when asked for.
  std::string ConfigINIPath(bool use_builtin_default);

  // The log's report of a value that SetKeyValue could not write, with the reason in words.
  static std::string NotRecordedReport(const std::string& key, const std::string& name,
                                       const std::string& value, long status);

  // Reads a value under ProductKey as text (empty when absent).
  std::string ProductValue(const std::string& name) {
    return ToText(QueryValue(HKEY_CURRENT_USER, ProductKey, name));
  }

 private:
  core::RunContext& run_;
};

}  // namespace cs::config
