#include "platform/private_profile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/text.h"

namespace fs = std::filesystem;

namespace cs::platform {
namespace {

constexpr std::string_view kBlanks = " \t\v";

// One physical line of an INI file, with its own line end.
struct IniLine {
  std::string raw;
  std::string_view Content() const {
    return std::string_view(raw).substr(0, raw.find_first_of("\r\n"));
  }
  std::string_view Trimmed() const { return Trim(Content(), kBlanks); }
  bool IsSection() const { return Trimmed().starts_with('['); }
  bool IsComment() const { return Trimmed().starts_with(';'); }
  bool IsKey() const { return !IsSection() && !IsComment() && Content().find('=') != std::string_view::npos; }
  std::string_view SectionName() const {
    std::string_view t = Trimmed().substr(1);
    return Trim(t.substr(0, t.find(']')), kBlanks);
  }
  std::string_view KeyName() const {
    const std::string_view t = Trimmed();
    return Trim(t.substr(0, t.find('=')), kBlanks);
  }
  std::string_view Value() const {
    const std::string_view t = Trimmed();
    std::string_view v = Trim(t.substr(t.find('=') + 1), kBlanks);
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
      v = v.substr(1, v.size() - 2);
    }
    return v;
  }
};

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 0x20);
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 0x20);
    if (x != y) return false;
  }
  return true;
}

std::optional<std::vector<IniLine>> ReadLines(const std::optional<fs::path>& path) {
  if (!path) return std::nullopt;
  std::error_code ec;
  if (!fs::is_regular_file(*path, ec)) return std::nullopt;
  std::ifstream in(*path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream buf;
  buf << in.rdbuf();
  const std::string text = buf.str();
  std::vector<IniLine> lines;
  for (std::size_t i = 0; i < text.size();) {
    const auto end = text.find_first_of("\r\n", i);
    if (end == std::string::npos) {
      lines.push_back({text.substr(i)});
      break;
    }
    std::size_t next = end + 1;
    if (text[end] == '\r' && next < text.size() && text[next] == '\n') ++next;
    lines.push_back({text.substr(i, next - i)});
    i = next;
  }
  return lines;
}

// Index of the header of the first section of that name, or npos.
std::size_t FindSection(const std::vector<IniLine>& lines, std::string_view name) {
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].IsSection() && SameName(lines[i].SectionName(), name)) return i;
  }
  return std::string::npos;
}

// One past the last line of the section whose header is at `header`.
std::size_t SectionEnd(const std::vector<IniLine>& lines, std::size_t header) {
  std::size_t i = header + 1;
  while (i < lines.size() && !lines[i].IsSection()) ++i;
  return i;
}

std::size_t FindKey(const std::vector<IniLine>& lines, std::size_t header, std::string_view key) {
  const std::size_t end = SectionEnd(lines, header);
  for (std::size_t i = header + 1; i < end; ++i) {
    if (lines[i].IsKey() && SameName(lines[i].KeyName(), key)) return i;
  }
  return std::string::npos;
}

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

bool WriteLines(const fs::path& path, const std::vector<IniLine>& lines) {
  std::string text;
  for (const auto& l : lines) text += l.raw;
  std::error_code ec;
  if (fs::exists(path, ec) && ::access(path.c_str(), W_OK) != 0) return false;
  const fs::path tmp = path.string() + ".tmp" + std::to_string(::getpid());
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.flush();
    if (!out) {
      fs::remove(tmp, ec);
      return false;
    }
  }
  if (::rename(tmp.c_str(), path.c_str()) != 0) {
    fs::remove(tmp, ec);
    return false;
  }
  return true;
}

void EnsureLastLineEnded(std::vector<IniLine>& lines, std::size_t upto) {
  if (upto == 0 || upto > lines.size()) return;
  std::string& raw = lines[upto - 1].raw;
  if (raw.empty() || (raw.back() != '\n' && raw.back() != '\r')) raw += "\r\n";
}

}  // namespace

std::uint32_t PrivateProfile::GetPrivateProfileStringA(const char* section, const char* key,
                                                       const char* default_value, char* buffer,
                                                       std::uint32_t size,
                                                       const char* file) const {
  if (buffer == nullptr || size == 0) return 0;
  std::string_view def = default_value == nullptr ? "" : default_value;
  while (def.ends_with(' ')) def.remove_suffix(1);

  const auto lines =
      ReadLines(file == nullptr ? std::nullopt : paths_.Resolve(AnsiToUtf8(file)));
  if (section == nullptr || key == nullptr) {
    std::vector<std::string_view> names;
    if (lines) {
      if (section == nullptr) {
        for (const auto& l : *lines) {
          if (l.IsSection()) names.push_back(l.SectionName());
        }
      } else if (const auto h = FindSection(*lines, section); h != std::string::npos) {
        const std::size_t end = SectionEnd(*lines, h);
        for (std::size_t i = h + 1; i < end; ++i) {
          if ((*lines)[i].IsKey()) names.push_back((*lines)[i].KeyName());
        }
      }
    }
    return CopyList(names, buffer, size);
  }
  if (lines && *section != '\0' && *key != '\0') {
    if (const auto h = FindSection(*lines, section); h != std::string::npos) {
      if (const auto k = FindKey(*lines, h, key); k != std::string::npos) {
        return CopyValue((*lines)[k].Value(), buffer, size);
      }
    }
  }
  return CopyValue(def, buffer, size);
}

int PrivateProfile::WritePrivateProfileStringA(const char* section, const char* key,
                                               const char* string, const char* file) const {
  if (section == nullptr || file == nullptr) return 0;
  const auto path = paths_.ResolveForCreate(AnsiToUtf8(file));
  if (!path) return 0;
  std::error_code ec;
  if (fs::is_directory(*path, ec)) return 0;
  std::vector<IniLine> lines = ReadLines(*path).value_or(std::vector<IniLine>{});
  const std::string_view sec = Trim(section, kBlanks);
  const std::size_t header = FindSection(lines, sec);

  if (key == nullptr) {
    if (header == std::string::npos) return 1;
    lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(header),
                lines.begin() + static_cast<std::ptrdiff_t>(SectionEnd(lines, header)));
    return WriteLines(*path, lines) ? 1 : 0;
  }
  const std::string_view k = Trim(key, kBlanks);
  if (string == nullptr) {
    if (header == std::string::npos) return 1;
    const std::size_t at = FindKey(lines, header, k);
    if (at == std::string::npos) return 1;
    lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(at));
    return WriteLines(*path, lines) ? 1 : 0;
  }
  if (header == std::string::npos) {
    EnsureLastLineEnded(lines, lines.size());
    lines.push_back({"[" + std::string(sec) + "]\r\n"});
    lines.push_back({std::string(k) + "=" + string + "\r\n"});
    return WriteLines(*path, lines) ? 1 : 0;
  }
  if (const std::size_t at = FindKey(lines, header, k); at != std::string::npos) {
    IniLine& line = lines[at];
    const std::string ending = line.raw.substr(line.Content().size());
    line.raw = std::string(line.KeyName()) + "=" + string + (ending.empty() ? "\r\n" : ending);
    return WriteLines(*path, lines) ? 1 : 0;
  }
  // A new key goes after the last key of its section.
  std::size_t insert = header + 1;
  const std::size_t end = SectionEnd(lines, header);
  for (std::size_t i = header + 1; i < end; ++i) {
    if (lines[i].IsKey()) insert = i + 1;
  }
  EnsureLastLineEnded(lines, insert);
  lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insert),
               IniLine{std::string(k) + "=" + string + "\r\n"});
  return WriteLines(*path, lines) ? 1 : 0;
}

}  // namespace cs::platform
