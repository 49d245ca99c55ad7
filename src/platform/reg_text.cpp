#include "platform/reg_text.h"

#include "platform/lines.h"
#include "platform/text.h"

namespace cs::platform {
namespace {

bool IsUtf16(RegEncoding e) { return e == RegEncoding::kUtf16Le || e == RegEncoding::kUtf16Be; }

char16_t Unit(std::string_view bytes, std::size_t i, bool big_endian) {
  const auto a = static_cast<unsigned char>(bytes[i]);
  const auto b = static_cast<unsigned char>(bytes[i + 1]);
  return static_cast<char16_t>(big_endian ? (a << 8) | b : a | (b << 8));
}

std::u16string Units(std::string_view bytes, bool big_endian) {
  std::u16string units(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i) units[i] = Unit(bytes, 2 * i, big_endian);
  return units;
}

std::string Bytes(std::u16string_view units, bool big_endian) {
  std::string out(units.size() * 2, '\0');
  for (std::size_t i = 0; i < units.size(); ++i) {
    const char hi = static_cast<char>(units[i] >> 8), lo = static_cast<char>(units[i] & 0xFF);
    out[2 * i] = big_endian ? hi : lo;
    out[2 * i + 1] = big_endian ? lo : hi;
  }
  return out;
}

bool IsAscii(std::string_view s) {
  for (const char c : s) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

}  // namespace

RegLayout SplitRegFile(std::string_view bytes) {
  RegLayout layout;
  if (bytes.starts_with("\xFF\xFE")) {
    layout.encoding = RegEncoding::kUtf16Le;
    layout.bom = 2;
  } else if (bytes.starts_with("\xFE\xFF")) {
    layout.encoding = RegEncoding::kUtf16Be;
    layout.bom = 2;
  } else if (bytes.starts_with("\xEF\xBB\xBF")) {
    layout.encoding = RegEncoding::kUtf8Bom;
    layout.bom = 3;
  }
  const std::string_view text = bytes.substr(layout.bom);
  if (IsUtf16(layout.encoding)) {
    const std::u16string units = Units(text, layout.encoding == RegEncoding::kUtf16Be);
    layout.has_nul = units.find(u'\0') != std::u16string::npos;
    for (const auto line : SplitLines(std::u16string_view(units))) {
      layout.lines.push_back(
          {layout.bom + 2 * static_cast<std::size_t>(line.data() - units.data()), 2 * line.size()});
    }
  } else {
    layout.has_nul = text.find('\0') != std::string_view::npos;
    for (const auto line : SplitLines(text)) {
      layout.lines.push_back(
          {layout.bom + static_cast<std::size_t>(line.data() - text.data()), line.size()});
    }
  }
  // The byte-order mark opens the first line; an odd byte of UTF-16 ends the last one.
  if (layout.lines.empty()) {
    if (!bytes.empty()) layout.lines.push_back({0, bytes.size()});
  } else {
    layout.lines.front().size += layout.lines.front().begin;
    layout.lines.front().begin = 0;
    layout.lines.back().size = bytes.size() - layout.lines.back().begin;
  }
  return layout;
}

std::string DecodeRegText(RegEncoding encoding, std::string_view bytes) {
  switch (encoding) {
    case RegEncoding::kAnsi:
      return IsAscii(bytes) ? std::string(bytes) : AnsiToUtf8(bytes);
    case RegEncoding::kUtf8:
    case RegEncoding::kUtf8Bom:
      return std::string(bytes);
    case RegEncoding::kUtf16Le:
    case RegEncoding::kUtf16Be:
      return Utf16ToUtf8(Units(bytes, encoding == RegEncoding::kUtf16Be));
  }
  return std::string(bytes);
}

std::string EncodeRegText(RegEncoding encoding, std::string_view utf8) {
  switch (encoding) {
    case RegEncoding::kAnsi:
      return Utf8ToAnsi(utf8);
    case RegEncoding::kUtf8:
    case RegEncoding::kUtf8Bom:
      return std::string(utf8);
    case RegEncoding::kUtf16Le:
    case RegEncoding::kUtf16Be:
      return Bytes(Utf8ToUtf16(utf8), encoding == RegEncoding::kUtf16Be);
  }
  return std::string(utf8);
}

std::string Utf16LeToAnsi(std::string_view bytes) {
  return Utf8ToAnsi(Utf16ToUtf8(Units(bytes, false)));
}

std::string AnsiToUtf16Le(std::string_view ansi) {
  return Bytes(Utf8ToUtf16(AnsiToUtf8(ansi)), false);
}

}  // namespace cs::platform
