#include "platform/reg_file.h"

#include <cstdio>

#include "platform/run_error.h"
#include "platform/text.h"

namespace cs::platform {
namespace {

constexpr std::string_view kHeader4 = "REGEDIT4";
constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";
constexpr std::int32_t kErrorBadDb = 1009;

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 0x20);
  }
  return out;
}

std::string Utf16LeToUtf8(std::string_view bytes) {
  std::string out;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    char32_t u = static_cast<unsigned char>(bytes[i]) |
                 (static_cast<unsigned char>(bytes[i + 1]) << 8);
    if (u >= 0xD800 && u <= 0xDBFF && i + 3 < bytes.size()) {
      const char32_t lo = static_cast<unsigned char>(bytes[i + 2]) |
                          (static_cast<unsigned char>(bytes[i + 3]) << 8);
      if (lo >= 0xDC00 && lo <= 0xDFFF) {
        u = 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00);
        i += 2;
      }
    }
    AppendUtf8(out, u);
  }
  return out;
}

std::string AnsiToUtf16Le(std::string_view ansi) {
  const std::string utf8 = AnsiToUtf8(ansi);
  std::string out = "\xFF\xFE";
  for (std::size_t i = 0; i < utf8.size();) {
    const char32_t c = DecodeUtf8(utf8, i);
    // Windows-1252 text never leaves the basic plane.
    out += static_cast<char>(c & 0xFF);
    out += static_cast<char>((c >> 8) & 0xFF);
  }
  return out;
}

// Reads a quoted name or string at s[pos] (which is '"'); the escapes are \\ and \".
// Advances pos past the closing quote. Nothing when the quote is not closed.
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
  rest = Trim(rest, " \t");
  return rest.empty() || rest.front() == ';';
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::string> ParseHexBytes(std::string_view s) {
  std::string out;
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
    if (lo < 0) {  // a single digit byte
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
  std::string out;
  char buf[4];
  for (std::size_t i = 0; i < data.size(); ++i) {
    std::snprintf(buf, sizeof buf, "%02x", static_cast<unsigned char>(data[i]));
    if (i > 0) out += ',';
    out += buf;
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

}  // namespace

void RegFile::ClassifyLine(Line& line) {
  // The logical text: physical lines without their ends, a continuation's "\" and the blanks
  // that start the next line removed.
  std::string text;
  {
    std::string_view raw = line.raw;
    bool first = true;
    while (!raw.empty()) {
      auto end = raw.find_first_of("\r\n");
      std::string_view phys = raw.substr(0, end);
      raw = end == std::string_view::npos ? std::string_view() : raw.substr(end);
      if (raw.starts_with("\r\n")) {
        raw.remove_prefix(2);
      } else if (!raw.empty()) {
        raw.remove_prefix(1);
      }
      std::string_view body = first ? phys : Trim(phys, " \t");
      const auto last = body.find_last_not_of(" \t");
      body = last == std::string_view::npos ? std::string_view() : body.substr(0, last + 1);
      if (!raw.empty() && body.ends_with('\\')) body.remove_suffix(1);
      text += body;
      first = false;
    }
  }
  std::string_view s = Trim(text, " \t");
  line.kind = Kind::kOther;
  if (s.empty()) return;
  if (s.front() == '[') {
    const auto close = s.rfind(']');
    if (close == std::string_view::npos || close == 0) return;
    std::string_view name = s.substr(1, close - 1);
    Kind kind = Kind::kKey;
    if (name.starts_with('-')) {
      kind = Kind::kKeyDelete;
      name.remove_prefix(1);
    }
    while (name.ends_with('\\')) name.remove_suffix(1);
    if (name.empty()) return;
    line.kind = kind;
    line.name = std::string(name);
    return;
  }
  if (s.front() != '"' && s.front() != '@') return;
  std::size_t pos = 0;
  std::string name;
  if (s.front() == '@') {
    pos = 1;
  } else {
    auto q = ReadQuoted(s, pos);
    if (!q) return;
    name = std::move(*q);
  }
  while (pos < s.size() && (s[pos] == ' ' || s[pos] == '\t')) ++pos;
  if (pos >= s.size() || s[pos] != '=') return;
  ++pos;
  while (pos < s.size() && (s[pos] == ' ' || s[pos] == '\t')) ++pos;
  std::string_view data = s.substr(pos);
  RegValue value;
  if (data.starts_with('"')) {
    std::size_t p = 0;
    auto q = ReadQuoted(data, p);
    if (!q || !OnlyCommentFollows(data.substr(p))) return;
    value = {kRegSz, std::move(*q)};
  } else if (data == "-" || (data.starts_with('-') && OnlyCommentFollows(data.substr(1)))) {
    line.kind = Kind::kValueDelete;
    line.name = std::move(name);
    return;
  } else if (Lower(data.substr(0, 6)) == "dword:") {
    std::string_view digits = data.substr(6);
    std::size_t n = 0;
    std::uint32_t v = 0;
    while (n < digits.size() && HexDigit(digits[n]) >= 0) {
      v = v * 16 + static_cast<std::uint32_t>(HexDigit(digits[n]));
      ++n;
    }
    if (n == 0 || n > 8 || !OnlyCommentFollows(digits.substr(n))) return;
    std::string bytes(4, '\0');
    for (int k = 0; k < 4; ++k) bytes[k] = static_cast<char>((v >> (8 * k)) & 0xFF);
    value = {kRegDword, std::move(bytes)};
  } else if (Lower(data.substr(0, 3)) == "hex") {
    std::string_view rest = data.substr(3);
    std::uint32_t type = kRegBinary;
    if (rest.starts_with('(')) {
      const auto close = rest.find(')');
      if (close == std::string_view::npos || close == 1) return;
      type = 0;
      for (std::size_t k = 1; k < close; ++k) {
        const int d = HexDigit(rest[k]);
        if (d < 0 || k > 8) return;
        type = type * 16 + static_cast<std::uint32_t>(d);
      }
      rest = rest.substr(close + 1);
    }
    if (!rest.starts_with(':')) return;
    auto bytes = ParseHexBytes(rest.substr(1));
    if (!bytes) return;
    value = {type, std::move(*bytes)};
  } else {
    return;
  }
  line.kind = Kind::kValue;
  line.name = std::move(name);
  line.value = std::move(value);
}

RegFile RegFile::Parse(std::string_view bytes) {
  RegFile file;
  std::string text;
  if (bytes.starts_with("\xFF\xFE")) {
    file.encoding_ = Encoding::kUtf16;
    text = Utf8ToAnsi(Utf16LeToUtf8(bytes.substr(2)));
  } else {
    text = std::string(bytes);
  }
  // Split into physical lines, each with its own end.
  std::vector<std::string> phys;
  for (std::size_t i = 0; i < text.size();) {
    auto end = text.find_first_of("\r\n", i);
    if (end == std::string::npos) {
      phys.push_back(text.substr(i));
      break;
    }
    std::size_t next = end + 1;
    if (text[end] == '\r' && next < text.size() && text[next] == '\n') ++next;
    phys.push_back(text.substr(i, next - i));
    i = next;
  }
  const auto content = [](const std::string& l) {
    return std::string_view(l).substr(0, l.find_first_of("\r\n"));
  };
  if (phys.empty()) throw RunError(kErrorBadDb, "The registry file is empty.");
  const std::string_view header = Trim(content(phys[0]), " \t");
  if (header == kHeader5 && file.encoding_ == Encoding::kAnsi) file.encoding_ = Encoding::kUtf8;
  if (header != kHeader4 && header != kHeader5) {
    throw RunError(kErrorBadDb, "The registry file does not begin with REGEDIT4.");
  }
  if (file.encoding_ == Encoding::kAnsi && text.find('\0') != std::string::npos) {
    throw RunError(kErrorBadDb, "The registry file holds a NUL byte.");
  }
  if (file.encoding_ == Encoding::kUtf8) {
    for (auto& l : phys) l = Utf8ToAnsi(l);
  }
  file.trailing_newline_ = !phys.back().empty() && (phys.back().back() == '\n' || phys.back().back() == '\r');
  file.lines_.push_back({phys[0]});
  for (std::size_t i = 1; i < phys.size(); ++i) {
    Line line{phys[i]};
    // A value line whose hex data ends in "\" continues on the next line.
    std::string_view first = Trim(content(phys[i]), " \t");
    if (!first.empty() && (first.front() == '"' || first.front() == '@')) {
      while (i + 1 < phys.size()) {
        std::string_view c = content(phys[i]);
        const auto last = c.find_last_not_of(" \t");
        if (last == std::string_view::npos || c[last] != '\\') break;
        line.raw += phys[++i];
      }
    }
    ClassifyLine(line);
    file.lines_.push_back(std::move(line));
  }
  return file;
}

std::string RegFile::Serialize() const {
  std::string out;
  for (const auto& line : lines_) out += line.raw;
  if (encoding_ == Encoding::kUtf16) return AnsiToUtf16Le(out);
  if (encoding_ == Encoding::kUtf8) return AnsiToUtf8(out);
  return out;
}

RegFile::State RegFile::Apply() const {
  State state;
  std::optional<std::string> current;  // lower-case path of the open key
  for (std::size_t i = 1; i < lines_.size(); ++i) {
    const Line& line = lines_[i];
    switch (line.kind) {
      case Kind::kKey: {
        const std::string lower = Lower(line.name);
        auto& k = state.keys[lower];
        if (k.display.empty()) k.display = line.name;
        k.last_block = i;
        current = lower;
        break;
      }
      case Kind::kKeyDelete: {
        const std::string lower = Lower(line.name);
        const std::string below = lower + "\\";
        std::erase_if(state.keys, [&](const auto& kv) {
          return kv.first == lower || kv.first.starts_with(below);
        });
        std::erase_if(state.values, [&](const auto& kv) {
          return kv.first.first == lower || kv.first.first.starts_with(below);
        });
        current.reset();
        break;
      }
      case Kind::kValue:
        if (current) state.values[{*current, Lower(line.name)}] = {i, line.value};
        break;
      case Kind::kValueDelete:
        if (current) state.values.erase({*current, Lower(line.name)});
        break;
      case Kind::kOther:
        break;
    }
  }
  return state;
}

bool RegFile::KeyExists(std::string_view key) const {
  const std::string lower = Lower(key);
  if (lower.find('\\') == std::string::npos) return true;  // a root always exists
  const State state = Apply();
  if (state.keys.contains(lower)) return true;
  const std::string below = lower + "\\";
  auto it = state.keys.lower_bound(below);
  return it != state.keys.end() && it->first.starts_with(below);
}

std::optional<RegValue> RegFile::Get(std::string_view key, std::string_view name) const {
  const State state = Apply();
  auto it = state.values.find({Lower(key), Lower(name)});
  if (it == state.values.end()) return std::nullopt;
  return it->second.value;
}

std::string RegFile::FormatValueLine(std::string_view name, const RegValue& value) {
  std::string line = name.empty() ? "@=" : EscapeQuoted(name) + "=";
  const bool text = (value.type == kRegSz) && value.data.find('\0') == std::string::npos;
  if (text) return line + EscapeQuoted(value.data) + "\r\n";
  if (value.type == kRegDword && value.data.size() == 4) {
    std::uint32_t v = 0;
    for (int k = 3; k >= 0; --k) v = (v << 8) | static_cast<unsigned char>(value.data[k]);
    char buf[16];
    std::snprintf(buf, sizeof buf, "dword:%08x", v);
    return line + buf + "\r\n";
  }
  if (value.type == kRegBinary) {
    line += "hex:";
  } else {
    char buf[24];
    std::snprintf(buf, sizeof buf, "hex(%x):", value.type);
    line += buf;
  }
  // Wrap long data near column 80, as regedit exports it.
  const std::string list = HexList(value.data);
  std::size_t column = line.size();
  for (std::size_t i = 0; i < list.size(); i += 3) {
    std::string item = list.substr(i, 3);  // "xx,"
    if (column + item.size() > 77 && item.ends_with(',') && i + 3 < list.size()) {
      line += item + "\\\r\n  ";
      column = 2;
    } else {
      line += item;
      column += item.size();
    }
  }
  return line + "\r\n";
}

bool RegFile::Set(std::string_view key, std::string_view name, const RegValue& value) {
  if (!KeyExists(key)) return false;
  const State state = Apply();
  const std::string lower = Lower(key);
  if (auto it = state.values.find({lower, Lower(name)}); it != state.values.end()) {
    Line& line = lines_[it->second.line];
    line.raw = FormatValueLine(line.name, value);
    line.value = value;
    return true;
  }
  Line fresh{FormatValueLine(name, value), Kind::kValue, std::string(name), value};
  if (!trailing_newline_ && !lines_.empty()) {
    lines_.back().raw += "\r\n";
    trailing_newline_ = true;
  }
  if (auto k = state.keys.find(lower); k != state.keys.end() && k->second.last_block) {
    // After the last value of the key's latest block.
    std::size_t at = *k->second.last_block + 1;
    std::size_t insert = at;
    for (; at < lines_.size() && lines_[at].kind != Kind::kKey && lines_[at].kind != Kind::kKeyDelete; ++at) {
      if (lines_[at].kind == Kind::kValue || lines_[at].kind == Kind::kValueDelete) insert = at + 1;
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insert), std::move(fresh));
    return true;
  }
  // The key exists only as the parent of another: give it a block of its own, named in the case
  // in which its descendant spells it.
  std::string display(key);
  const std::string below = lower + "\\";
  if (auto it = state.keys.lower_bound(below); it != state.keys.end()) {
    display = it->second.display.substr(0, key.size());
  }
  if (lines_.back().raw != "\r\n" && lines_.back().raw != "\n") lines_.push_back({"\r\n"});
  lines_.push_back({"[" + display + "]\r\n", Kind::kKey, display, {}});
  lines_.push_back(std::move(fresh));
  lines_.push_back({"\r\n"});
  return true;
}

}  // namespace cs::platform
