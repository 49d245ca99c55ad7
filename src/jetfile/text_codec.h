// Text as Jet 4 stores it in rows and long values: UTF-16LE, or "compressed Unicode".
//
// Compressed text starts with the bytes FF FE and then runs in segments: the first holds one byte
// per character (the character's low byte, its high byte zero), the next two bytes per character
// (UTF-16LE), and so on, toggling at each 0x00 byte found where a character would start. Readers
// accept both forms in any column; the writer compresses only where a column allows it and
// compression saves room, the way the files our users already hold were written.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "jetfile/format.h"

namespace cs::jetfile {

// Texts longer than this many characters are never compressed.
inline constexpr std::size_t kMaxCompressedTextChars = 1024;

// Decodes stored text. Throws FormatError when the text ends inside a two-byte character, which
// no writer produces and which would otherwise lose or invent a character.
std::u16string DecodeText(std::span<const std::uint8_t> stored);

// True when `text` is stored compressed in a column whose compressed-Unicode flag is
// `column_compresses`: the column allows it, the text has more characters than the two-byte
// marker costs and no more than kMaxCompressedTextChars, and every character is U+0001..U+00FF.
bool ShouldCompressText(std::u16string_view text, bool column_compresses);

// Encodes text as the writer stores it: compressed when ShouldCompressText says so (one byte a
// character after FF FE, no mode switches), UTF-16LE otherwise. Text beginning with U+FEFF would
// begin FF FE as UTF-16LE and read back as compressed text, so it is written in the compressed
// form with two-byte runs; throws FormatError if it also holds a character that neither run can
// carry (one whose low byte is zero, such as U+0000, U+0100 or U+4E00).
Bytes EncodeText(std::u16string_view text, bool column_compresses);
// The same, appended to `out`.
void AppendText(std::u16string_view text, bool column_compresses, Bytes& out);

}  // namespace cs::jetfile
