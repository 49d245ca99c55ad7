#include "jetfile/text_codec.h"

#include <cstdio>

namespace cs::jetfile {

namespace {

void AppendSegment(std::span<const std::uint8_t> segment, bool one_byte, std::u16string& out) {
  if (one_byte) {
    for (std::uint8_t b : segment) out.push_back(static_cast<char16_t>(b));
    return;
  }
  if (segment.size() % 2 != 0) {
    throw FormatError("compressed text has a two-byte run of odd length (" +
                      std::to_string(segment.size()) + " bytes)");
  }
  for (std::size_t i = 0; i < segment.size(); i += 2) {
    out.push_back(static_cast<char16_t>(segment[i] | (segment[i + 1] << 8)));
  }
}

// Plain UTF-16LE text that begins with U+FEFF starts with the bytes FF FE and would read back as
// compressed text. Such text is written in the compressed form instead, switching to two-byte
// runs for the characters that need them; a character with a zero byte cannot sit in either kind
// of run, so text that holds one there is refused rather than stored to read back different.
Bytes EncodeMarkedText(std::u16string_view text) {
  Bytes out = {0xFF, 0xFE};
  bool one_byte = true;
  for (char16_t c : text) {
    bool fits_one = c >= 0x01 && c <= 0xFF;
    bool fits_two = (c & 0xFF) != 0 && (c >> 8) != 0;
    if (!fits_one && !fits_two) {
      char code[8];
      std::snprintf(code, sizeof code, "%04X", static_cast<unsigned>(c));
      throw FormatError(std::string("text that begins with U+FEFF cannot also hold U+") + code);
    }
    if (fits_one != one_byte) {
      out.push_back(0x00);
      one_byte = fits_one;
    }
    out.push_back(static_cast<std::uint8_t>(c));
    if (!one_byte) out.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  return out;
}

}  // namespace

std::u16string DecodeText(std::span<const std::uint8_t> stored) {
  std::u16string out;
  if (stored.size() >= 2 && stored[0] == 0xFF && stored[1] == 0xFE) {
    out.reserve(stored.size() - 2);
    bool one_byte = true;
    std::size_t start = 2;
    for (std::size_t i = 2; i < stored.size(); ++i) {
      if (stored[i] != 0x00) continue;
      AppendSegment(stored.subspan(start, i - start), one_byte, out);
      one_byte = !one_byte;
      start = i + 1;
    }
    AppendSegment(stored.subspan(start), one_byte, out);
    return out;
  }
  AppendSegment(stored, false, out);
  return out;
}

bool ShouldCompressText(std::u16string_view text, bool column_compresses) {
  // Two characters or fewer save nothing once the FF FE marker is paid for.
  if (!column_compresses || text.size() <= 2 || text.size() > kMaxCompressedTextChars) {
    return false;
  }
  for (char16_t c : text) {
    if (c < 0x01 || c > 0xFF) return false;
  }
  return true;
}

Bytes EncodeText(std::u16string_view text, bool column_compresses) {
  Bytes out;
  if (ShouldCompressText(text, column_compresses)) {
    out.reserve(text.size() + 2);
    out.push_back(0xFF);
    out.push_back(0xFE);
    for (char16_t c : text) out.push_back(static_cast<std::uint8_t>(c));
    return out;
  }
  if (!text.empty() && text[0] == 0xFEFF) return EncodeMarkedText(text);
  out.reserve(text.size() * 2);
  for (char16_t c : text) {
    out.push_back(static_cast<std::uint8_t>(c));
    out.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  return out;
}

}  // namespace cs::jetfile
