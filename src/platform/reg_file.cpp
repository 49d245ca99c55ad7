#include "platform/reg_file.h"

#include <algorithm>
#include <cstdio>

#include "platform/lines.h"
#include "platform/run_error.h"
#include "platform/text.h"

namespace cs::platform {
namespace {

constexpr std::string_view kHeader4 = "REGEDIT4";
constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";
constexpr std::int32_t kErrorBadDb = 1009;
constexpr std::string_view kBlanks = " \t";

// Names compared without regard to letter case: the folded form of a UTF-8 name.
std::string Fold(std::string_view utf8) {
  std::string out(utf8);
  for (char& c : out) {
    if (static_cast<unsigned char>(c) >= 0x80) return LCase(utf8);
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 0x20);
  }
  return out;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && Fold(s.substr(0, prefix.size())) == prefix;
}

bool EndsWithBackslash(std::string_view content) { return Trim(content, kBlanks).ends_with('\\'); }

// A value line whose hex data goes on over the next line.
bool HexContinues(std::string_view content) {
  const auto a = SplitAssignment(content, NameForm::kQuoted, kBlanks);
  return a && StartsWithNoCase(a->value, "hex") && EndsWithBackslash(content);
}

// The logical text of one or more physical lines: a continued line loses its "\" and the next
// one its leading blanks.
std::string JoinContinued(std::string_view utf8) {
  const auto phys = SplitLines(utf8);
  if (phys.size() == 1) return std::string(LineContent(phys[0]));
  std::string out;
  for (std::size_t i = 0; i < phys.size(); ++i) {
    std::string_view body = LineContent(phys[i]);
    if (i > 0) body = body.substr(std::min(body.size(), body.find_first_not_of(kBlanks)));
    if (i + 1 < phys.size()) {
      body = Trim(body, kBlanks);
      if (body.ends_with('\\')) body.remove_suffix(1);
    }
    out += body;
  }
  return out;
}

// Reads a quoted text at s[pos] (which is '"'); the escapes are \\ and \". Advances pos past
// the closing quote. Nothing when the quote is not closed.
std::optional<std::string> ReadQuoted(std::string_view s, std::size_t& pos) {
  std::string out;
  for (std::size_t i = pos + 1; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"')) {
      out += s[++i];
    } else if (c == '"') {
      pos = i + 1;
      return out;
    } else {
      out += c;
    }
  }
  return std::nullopt;
}

bool OnlyCommentFollows(std::string_view rest) {
  rest = Trim(rest, kBlanks);
  return rest.empty() || rest.front() == ';';
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::string> ParseHexBytes(std::string_view s) {
  // A continuation mark with no line after it (a file cut short) ends the data.
  s = Trim(s, kBlanks);
  if (s.ends_with('\\')) s.remove_suffix(1);
  std::string out;
  out.reserve(s.size() / 3 + 1);
  std::size_t i = 0;
  const auto skip_blanks = [&] {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  };
  skip_blanks();
  if (i >= s.size() || s[i] == ';') return out;
  while (true) {
    skip_blanks();
    if (i >= s.size()) return std::nullopt;
    const int hi = HexDigit(s[i]);
    const int lo = i + 1 < s.size() ? HexDigit(s[i + 1]) : -1;
    if (hi < 0) return std::nullopt;
    if (lo < 0) {  // a byte of one digit
      out += static_cast<char>(hi);
      ++i;
    } else {
      out += static_cast<char>(hi * 16 + lo);
      i += 2;
    }
    skip_blanks();
    if (i >= s.size() || s[i] == ';') return out;
    if (s[i] != ',') return std::nullopt;
    ++i;
    skip_blanks();
    if (i >= s.size() || s[i] == ';') return out;  // a trailing comma
  }
}

std::string HexList(std::string_view data) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(data.size() * 3);
  for (std::size_t i = 0; i < data.size(); ++i) {
    if (i > 0) out += ',';
    out += kDigits[static_cast<unsigned char>(data[i]) >> 4];
    out += kDigits[static_cast<unsigned char>(data[i]) & 0xF];
  }
  return out;
}

std::string EscapeQuoted(std::string_view s) {
  std::string out = "\"";
  for (const char c : s) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  out += '"';
  return out;
}

using Kind = RegLineKind;

// What one logical line says. Data is as the file holds it: a quoted string as UTF-8 text, hex
// data as its bytes.
struct Parsed {
  Kind kind = Kind::kOther;
  std::string name;  // a key's path, or a value's name ("" for @)
  RegValue value;
  bool quoted = false;  // the data is a quoted string
};

Parsed ParseValueData(std::string name, std::string_view data) {
  Parsed out{Kind::kOther, std::move(name), {}, false};
  if (data.starts_with('"')) {
    std::size_t p = 0;
    auto q = ReadQuoted(data, p);
    if (!q || !OnlyCommentFollows(data.substr(p))) return out;
    out.value = {kRegSz, std::move(*q)};
    out.quoted = true;
  } else if (data.starts_with('-') && OnlyCommentFollows(data.substr(1))) {
    out.kind = Kind::kValueDelete;
    return out;
  } else if (StartsWithNoCase(data, "dword:")) {
    const std::string_view digits = data.substr(6);
    std::size_t n = 0;
    std::uint32_t v = 0;
    while (n < digits.size() && n <= 8 && HexDigit(digits[n]) >= 0) {
      v = v * 16 + static_cast<std::uint32_t>(HexDigit(digits[n]));
      ++n;
    }
    if (n == 0 || n > 8 || !OnlyCommentFollows(digits.substr(n))) return out;
    std::string bytes(4, '\0');
    for (int k = 0; k < 4; ++k) bytes[k] = static_cast<char>((v >> (8 * k)) & 0xFF);
    out.value = {kRegDword, std::move(bytes)};
  } else if (StartsWithNoCase(data, "hex")) {
    std::string_view rest = data.substr(3);
    std::uint32_t type = kRegBinary;
    if (rest.starts_with('(')) {
      const auto close = rest.find(')');
      if (close == std::string_view::npos || close == 1 || close > 9) return out;
      type = 0;
      for (std::size_t k = 1; k < close; ++k) {
        const int d = HexDigit(rest[k]);
        if (d < 0) return out;
        type = type * 16 + static_cast<std::uint32_t>(d);
      }
      rest = rest.substr(close + 1);
    }
    if (!rest.starts_with(':')) return out;
    auto bytes = ParseHexBytes(rest.substr(1));
    if (!bytes) return out;
    out.value = {type, std::move(*bytes)};
  } else {
    return out;
  }
  out.kind = Kind::kValue;
  return out;
}

Parsed ParseLine(std::string_view text) {
  const std::string_view s = Trim(text, kBlanks);
  if (s.starts_with('[')) {
    const auto close = s.rfind(']');
    if (close == std::string_view::npos || close == 0) return {};
    std::string_view name = s.substr(1, close - 1);
    Kind kind = Kind::kKey;
    if (name.starts_with('-')) {
      kind = Kind::kKeyDelete;
      name.remove_prefix(1);
    }
    while (name.ends_with('\\')) name.remove_suffix(1);
    if (name.empty()) return {};
    return {kind, std::string(name), {}, false};
  }
  const auto a = SplitAssignment(s, NameForm::kQuoted, kBlanks);
  if (!a) return {};
  std::string name;
  if (a->name != "@") {
    std::size_t pos = 0;
    name = *ReadQuoted(a->name, pos);  // SplitAssignment found the closing quote
  }
  return ParseValueData(std::move(name), a->value);
}

// A key's path cut to its first `count` components.
std::string FirstComponents(std::string_view path, std::size_t count) {
  std::size_t end = 0;
  for (std::size_t seen = 0; seen < count; ++seen) {
    end = path.find('\\', end == 0 ? 0 : end + 1);
    if (end == std::string_view::npos) return std::string(path);
  }
  return std::string(path.substr(0, end));
}

bool IsStringType(std::uint32_t type) {
  return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
}

}  // namespace

RegFile RegFile::Parse(std::string bytes) {
  RegFile file;
  file.bytes_ = std::move(bytes);
  const RegLayout layout = SplitRegFile(file.bytes_);
  if (layout.lines.empty()) throw RunError(kErrorBadDb, "The registry file is empty.");
  file.encoding_ = layout.encoding;
  const auto span = [&](std::size_t i) {
    return std::string_view(file.bytes_).substr(layout.lines[i].begin, layout.lines[i].size);
  };
  const std::string header_line = DecodeRegText(file.encoding_, span(0).substr(layout.bom));
  const std::string_view header = Trim(LineContent(std::string_view(header_line)), kBlanks);
  if (header != kHeader4 && header != kHeader5) {
    throw RunError(kErrorBadDb, "The registry file does not begin with REGEDIT4.");
  }
  if (layout.has_nul) throw RunError(kErrorBadDb, "The registry file holds a NUL byte.");
  file.version5_ = header == kHeader5;
  if (file.version5_ && file.encoding_ == RegEncoding::kAnsi) file.encoding_ = RegEncoding::kUtf8;
  if (const auto content = LineContent(std::string_view(header_line));
      content.size() < header_line.size()) {
    file.newline_ = header_line.substr(content.size());
  }

  file.lines_.reserve(layout.lines.size());
  file.lines_.push_back({0, layout.lines[0].size, -1, Kind::kOther});
  Key* current = nullptr;  // the key of the block being read
  for (std::size_t i = 1; i < layout.lines.size(); ++i) {
    std::string decoded = DecodeRegText(file.encoding_, span(i));
    std::size_t last = i;
    if (HexContinues(LineContent(std::string_view(decoded)))) {
      std::string tail = decoded;
      while (last + 1 < layout.lines.size() &&
             EndsWithBackslash(LineContent(std::string_view(tail)))) {
        tail = DecodeRegText(file.encoding_, span(++last));
        decoded += tail;
      }
    }
    const std::size_t index = file.lines_.size();
    const std::size_t begin = layout.lines[i].begin;
    Parsed parsed = ParseLine(JoinContinued(decoded));
    file.lines_.push_back(
        {begin, layout.lines[last].begin + layout.lines[last].size - begin, -1, parsed.kind});
    i = last;
    switch (parsed.kind) {
      case Kind::kKey: {
        auto [it, made] = file.keys_.try_emplace(Fold(parsed.name));
        if (made) it->second.first_block = index;
        it->second.last_block = index;
        current = &it->second;
        break;
      }
      case Kind::kKeyDelete: {
        const std::string path = Fold(parsed.name);
        const std::string below = path + "\\";
        file.keys_.erase(path);
        auto it = file.keys_.lower_bound(below);
        while (it != file.keys_.end() && it->first.starts_with(below)) it = file.keys_.erase(it);
        current = nullptr;
        break;
      }
      case Kind::kValue:
        if (current != nullptr) current->values[Fold(parsed.name)] = index;
        break;
      case Kind::kValueDelete:
        if (current != nullptr) current->values.erase(Fold(parsed.name));
        break;
      case Kind::kOther:
        break;
    }
  }
  return file;
}

std::string_view RegFile::Bytes(const Line& line) const {
  if (line.replacement >= 0) return replacements_[static_cast<std::size_t>(line.replacement)];
  return std::string_view(bytes_).substr(line.begin, line.size);
}

std::string RegFile::Text(std::size_t line) const {
  return JoinContinued(DecodeRegText(encoding_, Bytes(lines_[line])));
}

std::string RegFile::Serialize() const {
  std::size_t total = 0;
  for (const auto& line : lines_) total += Bytes(line).size();
  std::string out;
  out.reserve(total);
  for (const auto& line : lines_) out += Bytes(line);
  return out;
}

bool RegFile::KeyExists(std::string_view key) const {
  const std::string path = Fold(AnsiToUtf8(key));
  if (path.find('\\') == std::string::npos) return true;  // a root
  if (keys_.contains(path)) return true;
  const std::string below = path + "\\";
  auto it = keys_.lower_bound(below);
  return it != keys_.end() && it->first.starts_with(below);
}

std::optional<RegValue> RegFile::Get(std::string_view key, std::string_view name) const {
  auto it = keys_.find(Fold(AnsiToUtf8(key)));
  if (it == keys_.end()) return std::nullopt;
  auto v = it->second.values.find(Fold(AnsiToUtf8(name)));
  if (v == it->second.values.end()) return std::nullopt;
  Parsed parsed = ParseLine(Text(v->second));
  RegValue& value = parsed.value;
  if (parsed.quoted) {
    value.data = Utf8ToAnsi(value.data);
  } else if (version5_ && IsStringType(value.type)) {
    value.data = Utf16LeToAnsi(value.data);  // a version 5 file keeps string data as UTF-16
  }
  return value;
}

std::string RegFile::FormatValueLine(std::string_view name, const RegValue& value) const {
  std::string line = name.empty() ? "@=" : EscapeQuoted(name) + "=";
  if (value.type == kRegSz && value.data.find('\0') == std::string::npos) {
    return line + EscapeQuoted(AnsiToUtf8(value.data)) + newline_;
  }
  if (value.type == kRegDword && value.data.size() == 4) {
    std::uint32_t v = 0;
    for (int k = 3; k >= 0; --k) v = (v << 8) | static_cast<unsigned char>(value.data[k]);
    char buf[16];
    std::snprintf(buf, sizeof buf, "dword:%08x", v);
    return line + buf + newline_;
  }
  if (value.type == kRegBinary) {
    line += "hex:";
  } else {
    char buf[24];
    std::snprintf(buf, sizeof buf, "hex(%x):", value.type);
    line += buf;
  }
  const std::string data =
      version5_ && IsStringType(value.type) ? AnsiToUtf16Le(value.data) : value.data;
  // Wrapped near column 80, as regedit exports it.
  const std::string list = HexList(data);
  std::size_t column = line.size();
  for (std::size_t i = 0; i < list.size(); i += 3) {
    const std::string_view item = std::string_view(list).substr(i, 3);  // "xx,"
    line += item;
    column += item.size();
    if (column > 77 && item.ends_with(',') && i + 3 < list.size()) {
      line += "\\" + newline_ + "  ";
      column = 2;
    }
  }
  return line + newline_;
}

void RegFile::Replace(std::size_t line, std::string bytes) {
  Line& l = lines_[line];
  if (l.replacement < 0) {
    l.replacement = static_cast<std::int32_t>(replacements_.size());
    replacements_.emplace_back();
  }
  replacements_[static_cast<std::size_t>(l.replacement)] = std::move(bytes);
}

void RegFile::Insert(std::size_t at, std::string_view utf8, RegLineKind kind) {
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), Line{0, 0, -1, kind});
  Replace(at, EncodeRegText(encoding_, utf8));
  // Every line from `at` on moved down by one.
  for (auto& [path, key] : keys_) {
    if (key.first_block >= at) ++key.first_block;
    if (key.last_block >= at) ++key.last_block;
    for (auto& [name, index] : key.values) {
      if (index >= at) ++index;
    }
  }
}

void RegFile::EndLastLine() {
  std::string bytes(Bytes(lines_.back()));
  const std::string text = DecodeRegText(encoding_, bytes);
  if (text.empty() || (text.back() != '\n' && text.back() != '\r')) {
    // Half a UTF-16 code unit at the end of a cut-off file holds no character; it would put
    // every byte after it out of step.
    if ((encoding_ == RegEncoding::kUtf16Le || encoding_ == RegEncoding::kUtf16Be) &&
        bytes.size() % 2 == 1) {
      bytes.pop_back();
    }
    Replace(lines_.size() - 1, bytes + EncodeRegText(encoding_, newline_));
  }
  // A continuation mark on the last line (a file cut short) would take the next line in: a
  // blank line ends it.
  if (EndsWithBackslash(LineContent(std::string_view(text)))) {
    Insert(lines_.size(), newline_, Kind::kOther);
  }
}

bool RegFile::Set(std::string_view key, std::string_view name, const RegValue& value) {
  if (!KeyExists(key)) return false;
  const std::string path_utf8 = AnsiToUtf8(key);
  const std::string path = Fold(path_utf8);
  const std::string name_utf8 = AnsiToUtf8(name);
  const std::string folded_name = Fold(name_utf8);
  if (auto it = keys_.find(path); it != keys_.end()) {
    Key& k = it->second;
    if (auto v = k.values.find(folded_name); v != k.values.end()) {
      // The value keeps its line and the case of its name as written there.
      const std::size_t line = v->second;
      Replace(line, EncodeRegText(encoding_, FormatValueLine(ParseLine(Text(line)).name, value)));
      return true;
    }
    // After the last value of the key's latest block.
    std::size_t insert = k.last_block + 1;
    for (std::size_t at = insert; at < lines_.size(); ++at) {
      const Kind kind = lines_[at].kind;
      if (kind == Kind::kKey || kind == Kind::kKeyDelete) break;
      if (kind == Kind::kValue || kind == Kind::kValueDelete) insert = at + 1;
    }
    if (insert == lines_.size()) {
      EndLastLine();
      insert = lines_.size();
    }
    Insert(insert, FormatValueLine(name_utf8, value), Kind::kValue);
    k.values[folded_name] = insert;
    return true;
  }
  // The key exists only as the parent of another: it gets a block of its own at the end, named
  // in the case in which its descendant spells it.
  std::string display = path_utf8;
  if (auto below = keys_.lower_bound(path + "\\"); below != keys_.end()) {
    const std::size_t depth =
        static_cast<std::size_t>(std::count(path.begin(), path.end(), '\\')) + 1;
    display = FirstComponents(ParseLine(Text(below->second.first_block)).name, depth);
  }
  EndLastLine();
  if (!Trim(Text(lines_.size() - 1), kBlanks).empty()) {
    Insert(lines_.size(), newline_, Kind::kOther);
  }
  const std::size_t header = lines_.size();
  Insert(header, "[" + display + "]" + newline_, Kind::kKey);
  Insert(header + 1, FormatValueLine(name_utf8, value), Kind::kValue);
  Insert(header + 2, newline_, Kind::kOther);
  Key& k = keys_[path];
  k.first_block = k.last_block = header;
  k.values[folded_name] = header + 1;
  return true;
}

}  // namespace cs::platform
