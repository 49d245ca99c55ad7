#include "config/registry.h"

#include <cstring>
#include <vector>

#include "app/source_names.h"
#include "config/conversions.h"
#include "platform/text.h"

namespace cs::config {

using platform::AnsiToUtf8;
using platform::Utf8ToAnsi;

std::string ToText(const RegistryValue& value) {
  if (const auto* s = std::get_if<std::string>(&value)) return *s;
  if (const auto* i = std::get_if<std::int32_t>(&value)) return std::to_string(*i);
  return {};
}

Registry::Registry(platform::RegistryStore& store, app::ErrorSink& errors)
    : store_(store), errors_(errors) {}

void Registry::SetRegistryKey() {
  app::Guard guard(errors_, source::frmMain::SetRegistryKey);
  guard.Step([&] {
    if (RegistryKeyExists(HKEY_CURRENT_USER, "Software\\Quillmarch")) {
      ProductKey = "Software\\Quillmarch\\Yield Warden";
    } else if (RegistryKeyExists(HKEY_CURRENT_USER, "Software\\Brackenfield Systems\\Yield Warden")) {
      ProductKey = "Software\\Brackenfield Systems\\Yield Warden";
    } else {
      ProductKey = "Software\\Quillmarch\\Yield Warden";
    }
  }) && guard.Step([&] { PriceFilesKey = ProductKey + "\\PriceFiles"; });
}

bool Registry::RegistryKeyExists(HKEY root, const std::string& key) {
  bool result = false;
  app::Guard guard(errors_, source::Registry::RegistryKeyExists);
  guard.Step([&] {
    HKEY handle = 0;
    if (store_.RegOpenKeyExA(root, Utf8ToAnsi(key).c_str(), 0, KEY_READ, &handle) == 0) {
      store_.RegCloseKey(handle);
      result = true;
    }
  });
  return result;
}

RegistryValue Registry::QueryValue(HKEY root, const std::string& key, const std::string& name) {
  RegistryValue value;
  app::Guard guard(errors_, source::Registry::QueryValue);
  HKEY handle = 0;
  guard.Step([&] { store_.RegOpenKeyExA(root, Utf8ToAnsi(key).c_str(), 0, KEY_ALL_VALUES, &handle); }) &&
      guard.Step([&] { QueryValueEx(handle, name, value); }) &&
      guard.Step([&] { store_.RegCloseKey(handle); });
  return value;
}

long Registry::QueryValueEx(HKEY key, const std::string& name, RegistryValue& value) {
  long status = 0;
  try {
    const std::string ansi_name = Utf8ToAnsi(name);
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    status = store_.RegQueryValueExA(key, ansi_name.c_str(), nullptr, &type, nullptr, &size);
    if (status != 0) return status;
    if (type == REG_SZ) {
      std::vector<std::uint8_t> buffer(size, 0);
      status = store_.RegQueryValueExA(key, ansi_name.c_str(), nullptr, &type,
                                       buffer.data(), &size);
      if (status == 0) {
        std::string text(buffer.begin(), buffer.end());
        if (!text.empty() && text.back() == '\0') text.pop_back();
        value = AnsiToUtf8(text);
      } else {
        value = std::monostate{};
      }
      return status;
    }
    if (type == REG_DWORD) {
      std::uint8_t bytes[4] = {};
      size = sizeof bytes;
      status = store_.RegQueryValueExA(key, ansi_name.c_str(), nullptr, &type, bytes, &size);
      if (status == 0) {
        std::int32_t v = 0;
        std::memcpy(&v, bytes, sizeof v);
        value = v;
      }
      return status;
    }
    value = std::monostate{};
    return -1;
  } catch (const std::exception&) {
    return status;
  }
}

long Registry::SetKeyValue(HKEY root, const std::string& key, const std::string& name,
                           const RegistryValue& value, std::uint32_t type) {
  app::Guard guard(errors_, source::Registry::SetKeyValue);
  HKEY handle = 0;
  long status = -1;
  guard.Step([&] {
    status = store_.RegOpenKeyExA(root, Utf8ToAnsi(key).c_str(), 0, KEY_ALL_VALUES, &handle);
  }) && guard.Step([&] {
    const long written = SetValueEx(handle, name, type, value);
    if (status == 0) status = written;
  }) && guard.Step([&] { store_.RegCloseKey(handle); });
  return status;
}

std::string Registry::NotRecordedReport(const std::string& key, const std::string& name,
                                        const std::string& value, long status) {
  std::string why;
  switch (status) {
    case platform::ERROR_FILE_NOT_FOUND:
      why = "the key does not exist";
      break;
    case platform::ERROR_BADDB:
      why = "the registry file cannot be read";
      break;
    case platform::ERROR_ACCESS_DENIED:
      why = "the registry file cannot be written";
      break;
    default:
      why = "the registry refused it (error " + std::to_string(status) + ")";
      break;
  }
  return "The value \"" + name + "\"=\"" + value + "\" could not be recorded under HKEY_CURRENT_USER\\" +
         key + ": " + why + ".";
}

long Registry::SetValueEx(HKEY key, const std::string& name, std::uint32_t type,
                          const RegistryValue& value) {
  long status = 0;
  app::Guard guard(errors_, source::Registry::SetValueEx);
  guard.Step([&] {
    const std::string ansi_name = Utf8ToAnsi(name);
    if (type == REG_SZ) {
      // No terminating NUL is stored: the byte count is the text's length.
      const std::string text = Utf8ToAnsi(ToText(value));
      status = store_.RegSetValueExA(key, ansi_name.c_str(), 0, REG_SZ,
                                     reinterpret_cast<const std::uint8_t*>(text.data()),
                                     static_cast<std::uint32_t>(text.size()));
    } else if (type == REG_DWORD) {
      const std::int32_t v = CLng(value);
      std::uint8_t bytes[4];
      std::memcpy(bytes, &v, sizeof v);
      status = store_.RegSetValueExA(key, ansi_name.c_str(), 0, REG_DWORD, bytes, sizeof bytes);
    } else {
      status = 0;
    }
  });
  return status;
}

std::string Registry::GetSetting(const std::string& section, const std::string& key,
                                 const std::string& default_value) {
  std::string result;
  app::Guard guard(errors_, source::Registry::GetSetting);
  std::string path;
  std::string text;
  guard.Step([&] { path = "Software\\VB and VBA Program Settings\\YieldWarden\\" + section; }) &&
      guard.Step([&] { path = NewKeyValue(path); }) &&
      guard.Step([&] { text = ToText(QueryValue(HKEY_CURRENT_USER, path, key)); }) &&
      guard.Step([&] { result = text.empty() && !default_value.empty() ? default_value : text; });
  return result;
}

std::string Registry::NewKeyValue(const std::string& key) {
  std::string result;
  app::Guard guard(errors_, source::Registry::NewKeyValue);
  guard.Step([&] {
    std::string k = platform::ReplaceAll(key, "Software\\Brackenfield Systems", "Software\\Quillmarch");
    result = platform::ReplaceAll(k, "Software\\VB and VBA Program Settings\\YieldWarden",
                                  "Software\\Quillmarch\\Yield Warden");
  });
  return result;
}

}  // namespace cs::config
