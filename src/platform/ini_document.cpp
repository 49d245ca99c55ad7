#include "platform/ini_document.h"

#include "platform/lines.h"
#include "platform/text.h"

namespace cs::platform {
namespace {

constexpr std::string_view kBlanks = " \t\v";
constexpr std::size_t kNone = std::string::npos;

std::string_view Trimmed(std::string_view line) { return Trim(LineContent(line), kBlanks); }
bool IsSection(std::string_view line) { return Trimmed(line).starts_with('['); }
bool IsComment(std::string_view line) { return Trimmed(line).starts_with(';'); }

std::string_view SectionName(std::string_view line) {
  const std::string_view t = Trimmed(line).substr(1);
  return Trim(t.substr(0, t.find(']')), kBlanks);
}

// The assignment of a key line, or nothing for a section, a comment or a line without "=".
std::optional<Assignment> KeyLine(std::string_view line) {
  if (IsSection(line) || IsComment(line)) return std::nullopt;
  return SplitAssignment(LineContent(line), NameForm::kBare, kBlanks);
}

std::string_view Unquoted(std::string_view v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
    return v.substr(1, v.size() - 2);
  }
  return v;
}

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

}  // namespace

IniDocument::IniDocument(std::string_view text) {
  for (const std::string_view line : SplitLines(text)) lines_.emplace_back(line);
}

std::string IniDocument::Text() const {
  std::string out;
  for (const auto& line : lines_) out += line;
  return out;
}

std::size_t IniDocument::FindSection(std::string_view name) const {
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (IsSection(lines_[i]) && SameName(SectionName(lines_[i]), name)) return i;
  }
  return kNone;
}

std::size_t IniDocument::SectionEnd(std::size_t header) const {
  std::size_t i = header + 1;
  while (i < lines_.size() && !IsSection(lines_[i])) ++i;
  return i;
}

std::size_t IniDocument::FindKey(std::size_t header, std::string_view key) const {
  const std::size_t end = SectionEnd(header);
  for (std::size_t i = header + 1; i < end; ++i) {
    if (const auto a = KeyLine(lines_[i]); a && SameName(a->name, key)) return i;
  }
  return kNone;
}

std::optional<std::string_view> IniDocument::Value(std::string_view section,
                                                   std::string_view key) const {
  const std::size_t header = FindSection(section);
  if (header == kNone) return std::nullopt;
  const std::size_t at = FindKey(header, key);
  if (at == kNone) return std::nullopt;
  return Unquoted(KeyLine(lines_[at])->value);
}

std::vector<std::string_view> IniDocument::SectionNames() const {
  std::vector<std::string_view> names;
  for (const auto& line : lines_) {
    if (IsSection(line)) names.push_back(SectionName(line));
  }
  return names;
}

std::vector<std::string_view> IniDocument::KeyNames(std::string_view section) const {
  std::vector<std::string_view> names;
  const std::size_t header = FindSection(section);
  if (header == kNone) return names;
  const std::size_t end = SectionEnd(header);
  for (std::size_t i = header + 1; i < end; ++i) {
    if (const auto a = KeyLine(lines_[i])) names.push_back(a->name);
  }
  return names;
}

void IniDocument::EndLine(std::size_t index) {
  std::string& line = lines_[index];
  if (line.empty() || (line.back() != '\n' && line.back() != '\r')) line += "\r\n";
}

void IniDocument::Set(std::string_view section, std::string_view key, std::string_view value) {
  const std::string sec(Trim(section, kBlanks));
  const std::string k(Trim(key, kBlanks));
  const std::size_t header = FindSection(sec);
  if (header == kNone) {
    if (!lines_.empty()) EndLine(lines_.size() - 1);
    lines_.push_back("[" + sec + "]\r\n");
    lines_.push_back(k + "=" + std::string(value) + "\r\n");
    return;
  }
  if (const std::size_t at = FindKey(header, k); at != kNone) {
    std::string& line = lines_[at];
    const std::string_view content = LineContent(std::string_view(line));
    const std::string ending = line.substr(content.size());
    line = std::string(KeyLine(line)->name) + "=" + std::string(value) +
           (ending.empty() ? "\r\n" : ending);
    return;
  }
  std::size_t insert = header + 1;
  const std::size_t end = SectionEnd(header);
  for (std::size_t i = header + 1; i < end; ++i) {
    if (KeyLine(lines_[i])) insert = i + 1;
  }
  EndLine(insert - 1);
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insert),
                k + "=" + std::string(value) + "\r\n");
}

bool IniDocument::RemoveKey(std::string_view section, std::string_view key) {
  const std::size_t header = FindSection(Trim(section, kBlanks));
  if (header == kNone) return false;
  const std::size_t at = FindKey(header, Trim(key, kBlanks));
  if (at == kNone) return false;
  lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(at));
  return true;
}

bool IniDocument::RemoveSection(std::string_view section) {
  const std::size_t header = FindSection(Trim(section, kBlanks));
  if (header == kNone) return false;
  lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(header),
               lines_.begin() + static_cast<std::ptrdiff_t>(SectionEnd(header)));
  return true;
}

}  // namespace cs::platform
