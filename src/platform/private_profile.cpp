#include "platform/private_profile.h"

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/ini_document.h"
#include "platform/text.h"

namespace fs = std::filesystem;

namespace cs::platform {
namespace {

std::uint32_t CopyValue(std::string_view value, char* buffer, std::uint32_t size) {
  const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(value.size(), size - 1));
  if (n > 0) std::memcpy(buffer, value.data(), n);
  buffer[n] = '\0';
  return n;
}

std::uint32_t CopyList(const std::vector<std::string_view>& names, char* buffer,
                       std::uint32_t size) {
  std::string list;
  for (const auto& n : names) {
    list.append(n);
    list += '\0';
  }
  if (list.size() + 2 <= size || (list.empty() && size >= 1)) {
    if (!list.empty()) std::memcpy(buffer, list.data(), list.size());
    buffer[list.size()] = '\0';
    return static_cast<std::uint32_t>(list.size());
  }
  if (size < 2) {
    if (size == 1) buffer[0] = '\0';
    return 0;
  }
  std::memcpy(buffer, list.data(), size - 2);
  buffer[size - 2] = '\0';
  buffer[size - 1] = '\0';
  return size - 2;
}

}  // namespace

std::uint32_t PrivateProfile::GetPrivateProfileStringA(const char* section, const char* key,
                                                       const char* default_value, char* buffer,
                                                       std::uint32_t size,
                                                       const char* file) const {
  if (buffer == nullptr || size == 0) return 0;
  std::string_view def = default_value == nullptr ? "" : default_value;
  while (def.ends_with(' ')) def.remove_suffix(1);

  std::string text;
  if (file != nullptr) {
    if (const auto path = paths_.Resolve(AnsiToUtf8(file))) {
      if (files_.ReadFile(*path, text, nullptr)) text.clear();  // unreadable: as an empty file
    }
  }
  const IniDocument ini(text);
  if (section == nullptr) return CopyList(ini.SectionNames(), buffer, size);
  if (key == nullptr) return CopyList(ini.KeyNames(section), buffer, size);
  return CopyValue(ini.Value(section, key).value_or(def), buffer, size);
}

int PrivateProfile::WritePrivateProfileStringA(const char* section, const char* key,
                                               const char* string, const char* file) const {
  if (section == nullptr || file == nullptr) return 0;
  const auto path = paths_.ResolveForCreate(AnsiToUtf8(file));
  if (!path) return 0;
  std::string text;
  if (const std::error_code ec = files_.ReadFile(*path, text, nullptr);
      ec && ec != std::errc::no_such_file_or_directory) {
    return 0;  // a file that cannot be read is never replaced, nor is a directory or a FIFO
  }
  IniDocument ini(text);
  if (key == nullptr) {
    if (!ini.RemoveSection(section)) return 1;
  } else if (string == nullptr) {
    if (!ini.RemoveKey(section, key)) return 1;
  } else {
    ini.Set(section, key, string);
  }
  return files_.WriteFileAtomically(*path, ini.Text(), IfExists::kReplace, nullptr) ? 0 : 1;
}

}  // namespace cs::platform
