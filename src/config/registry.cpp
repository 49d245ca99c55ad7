#include "config/registry.h"

#include <cstring>
#include <vector>

#include "core/source_names.h"
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

using core::Procedure;
using core::RunProcedure;

Registry::Registry(core::RunContext& run) : run_(run) {}

void Registry::SetRegistryKey() {
  if (RegistryKeyExists(HKEY_CURRENT_USER, "Software\\Quillmarch")) {
    ProductKey = "Software\\Quillmarch\\Yield Warden";
  } else if (RegistryKeyExists(HKEY_CURRENT_USER, "Software\\Brackenfield Systems\\Yield Warden")) {
    ProductKey = "Software\\Brackenfield Systems\\Yield Warden";
  } else {
    ProductKey = "Software\\Quillmarch\\Yield Warden";
  }
  PriceFilesKey = ProductKey + "\\PriceFiles";
}

bool Registry::RegistryKeyExists(HKEY root, const std::string& key) {
  return RunProcedure(run_, source::Registry::RegistryKeyExists, false, [&](Procedure& p, bool& result) {
    p.step([&] {
      HKEY handle = 0;
      if (run_.registry().RegOpenKeyExA(root, Utf8ToAnsi(key).c_str(), 0, KEY_READ, &handle) == 0) {
        run_.registry().RegCloseKey(handle);
        result = true;
      }
    });
  });
}

RegistryValue Registry::QueryValue(HKEY root, const std::string& key, const std::string& name) {
  return RunProcedure(run_, source::Registry::QueryValue, RegistryValue(),
                      [&](Procedure& p, RegistryValue& value) {
    HKEY handle = 0;
    p.step([&] {
      run_.registry().RegOpenKeyExA(root, Utf8ToAnsi(key).c_str(), 0, KEY_ALL_VALUES, &handle);
    });
    p.step([&] { QueryValueEx(handle, name, value); });
    p.step([&] { run_.registry().RegCloseKey(handle); });
  });
}

long Registry::QueryValueEx(HKEY key, const std::string& name, RegistryValue& value) {
  long status = 0;
  try {
    const std::string ansi_name = Utf8ToAnsi(name);
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    status = run_.registry().RegQueryValueExA(key, ansi_name.c_str(), nullptr, &type, nullptr, &size);
    if (status != 0) return status;
    if (type == REG_SZ) {
      std::vector<std::uint8_t> buffer(size, 0);
      status = run_.registry().RegQueryValueExA(key, ansi_name.c_str(), nullptr, &type,
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
      status = run_.registry().RegQueryValueExA(key, ansi_name.c_str(), nullptr, &type, bytes, &size);
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
  return RunProcedure(run_, source::Registry::SetKeyValue, -1L, [&](Procedure& p, long& status) {
    HKEY handle = 0;
    p.step([&] {
      status = run_.registry().RegOpenKeyExA(root, Utf8ToAnsi(key).c_str(), 0, KEY_ALL_VALUES, &handle);
    });
    p.step([&] {
      const long written = SetValueEx(handle, name, type, value);
      if (status == 0) status = written;
    });
    p.step([&] { run_.registry().RegCloseKey(handle); });
  });
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
  return RunProcedure(run_, source::Registry::SetValueEx, 0L, [&](Procedure& p, long& status) {
    p.step([&] {
      const std::string ansi_name = Utf8ToAnsi(name);
      if (type == REG_SZ) {
        // No terminating NUL is stored: the byte count is the text's length.
        const std::string text = Utf8ToAnsi(ToText(value));
        status = run_.registry().RegSetValueExA(key, ansi_name.c_str(), 0, REG_SZ,
                                                reinterpret_cast<const std::uint8_t*>(text.data()),
                                                static_cast<std::uint32_t>(text.size()));
      } else if (type == REG_DWORD) {
        const std::int32_t v = CLng(value);
        std::uint8_t bytes[4];
        std::memcpy(bytes, &v, sizeof v);
        status = run_.registry().RegSetValueExA(key, ansi_name.c_str(), 0, REG_DWORD, bytes, sizeof bytes);
      }
    });
  });
}

std::string Registry::GetSetting(const std::string& section, const std::string& key,
                                 const std::string& default_value) {
  const std::string path =
      NewKeyValue("Software\\VB and VBA Program Settings\\YieldWarden\\" + section);
  const std::string text = ToText(QueryValue(HKEY_CURRENT_USER, path, key));
  return text.empty() && !default_value.empty() ? default_value : text;
}

std::string Registry::NewKeyValue(const std::string& key) {
  const std::string k =
      platform::ReplaceAll(key, "Software\\Brackenfield Systems", "Software\\Quillmarch");
  return platform::ReplaceAll(k, "Software\\VB and VBA Program Settings\\YieldWarden",
                              "Software\\Quillmarch\\Yield Warden");
}

}  // namespace cs::config
