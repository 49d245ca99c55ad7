#include "jetfile/text_codec.h"

#include <cstdio>

namespace cs::jetfile {

namespace {

// Plain UTF-16LE text that begins with U+FEFF starts with the bytes FF FE and would read back as
// compressed text. Such text is written in the compressed form instead, switching to two-byte
// runs for the characters that need them. A character whose low byte is zero (U+0000, U+0100,
// U+4E00...) would read as a mode switch in either kind of run, so text that holds one is refused
// rather than stored to read back different.
Bytes EncodeMarkedText(std::u16string_view text) {
  Bytes out = {0xFF, 0xFE};
  bool one_byte = true;
  for (char16_t c : text) {
    bool fits_one = c >= 0x01 && c <= 0xFF;
    bool fits_two = (c & 0xFF) != 0;
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
    // A 0x00 switches modes where a character would start; inside a two-byte character it is
    // part of the character, so two-byte runs may hold Latin characters too.
    out.reserve(stored.size() - 2);
    bool one_byte = true;
    for (std::size_t i = 2; i < stored.size();) {
      if (stored[i] == 0x00) {
        one_byte = !one_byte;
        ++i;
      } else if (one_byte) {
        out.push_back(static_cast<char16_t>(stored[i++]));
      } else if (i + 1 < stored.size()) {
        out.push_back(static_cast<char16_t>(stored[i] | (stored[i + 1] << 8)));
        i += 2;
      } else {
        throw FormatError("compressed text ends inside a two-byte character");
      }
    }
    return out;
  }
  if (stored.size() % 2 != 0) {
    throw FormatError("text of " + std::to_string(stored.size()) +
                      " bytes ends inside a character");
  }
  out.resize(stored.size() / 2);
  for (std::size_t i = 0; i < out.size(); ++i) {
    out[i] = static_cast<char16_t>(stored[2 * i] | (stored[2 * i + 1] << 8));
  }
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
  AppendText(text, column_compresses, out);
  return out;
}

void AppendText(std::u16string_view text, bool column_compresses, Bytes& out) {
  if (ShouldCompressText(text, column_compresses)) {
    std::size_t at = out.size();
    out.resize(at + 2 + text.size());
    std::uint8_t* p = out.data() + at;
    *p++ = 0xFF;
    *p++ = 0xFE;
    for (char16_t c : text) *p++ = static_cast<std::uint8_t>(c);
    return;
  }
  if (!text.empty() && text[0] == 0xFEFF) {
    Bytes marked = EncodeMarkedText(text);
    out.insert(out.end(), marked.begin(), marked.end());
    return;
  }
  std::size_t at = out.size();
  out.resize(at + 2 * text.size());
  std::uint8_t* p = out.data() + at;
  for (char16_t c : text) {
    *p++ = static_cast<std::uint8_t>(c);
    *p++ = static_cast<std::uint8_t>(c >> 8);
  }
}

}  // namespace cs::jetfile
