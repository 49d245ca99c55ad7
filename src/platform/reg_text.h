// The text of a .reg file below its syntax: the encodings regedit and Wine read (ANSI, UTF-8 with
// or without a byte-order mark, UTF-16 little- and big-endian with one), the physical lines in
// the file's own bytes, and the conversions between those bytes and UTF-8.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace cs::platform {

enum class RegEncoding { kAnsi, kUtf8, kUtf8Bom, kUtf16Le, kUtf16Be };

struct RegLineSpan {
  std::size_t begin = 0;  // in the file's bytes
  std::size_t size = 0;   // the line's end included
};

struct RegLayout {
  RegEncoding encoding = RegEncoding::kAnsi;  // kAnsi when the file has no byte-order mark
  std::size_t bom = 0;                        // bytes of the byte-order mark
  std::vector<RegLineSpan> lines;             // the first one starts with the byte-order mark
  bool has_nul = false;                       // a NUL character anywhere in the text
};

// Finds the byte-order mark and splits the file into its physical lines (CR LF, LF or CR, in
// bytes or in UTF-16 code units). Every byte belongs to exactly one line, so that the lines put
// together are the file again; an odd last byte of a UTF-16 file belongs to the last line.
RegLayout SplitRegFile(std::string_view bytes);

// A piece of the file (whole lines, never the byte-order mark) as UTF-8. Windows-1252 text is
// converted whole; UTF-8 is taken as it stands; a lone UTF-16 surrogate becomes U+FFFD.
std::string DecodeRegText(RegEncoding encoding, std::string_view bytes);
// UTF-8 text in the file's encoding (a character that Windows-1252 lacks becomes "?").
std::string EncodeRegText(RegEncoding encoding, std::string_view utf8);

// The data of a string value stored as UTF-16LE bytes (a version 5 file's hex(1), hex(2) and
// hex(7)) as ANSI, and back. An odd last byte is dropped.
std::string Utf16LeToAnsi(std::string_view bytes);
std::string AnsiToUtf16Le(std::string_view ansi);

}  // namespace cs::platform
