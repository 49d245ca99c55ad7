// What the bytes of a Jet value mean: Jet's column types, its text encodings (UCS-2 with Jet 4's
// "Unicode compression", Windows-1252 in Jet 3), its dates (days since 1899-12-30 as a double)
// and its currency (a 64-bit count of ten-thousandths). Pure functions, shared by the reader
// process, which decodes raw row bytes, and the program, which checks what it is sent.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace cs::db::jetfile {

// The column type codes of Jet's table definitions.
enum class JetType : std::uint8_t {
  kYesNo = 0x01,
  kByte = 0x02,
  kInteger = 0x03,  // 16 bits
  kLong = 0x04,
  kCurrency = 0x05,
  kSingle = 0x06,
  kDouble = 0x07,
  kDateTime = 0x08,
  kBinary = 0x09,
  kText = 0x0A,
  kOle = 0x0B,
  kMemo = 0x0C,
  kGuid = 0x0F,
  kDecimal = 0x10,
};

// How a value of a column travels from the reader process: the column's type decides it.
//   kInteger   Yes/No (-1 or 0), Byte, Integer, Long: a 64-bit integer
//   kReal      Single and Double: the stored IEEE value, a Single widened exactly
//   kCurrency  the stored count of ten-thousandths
//   kDateTime  the stored double (days since 1899-12-30)
//   kText      Text, Memo, and the text forms of a GUID ("{XXXXXXXX-XXXX-...}") and a Decimal
//              ("-123.4500", all its scale's digits): UTF-8
//   kBinary    Binary, OLE object and any type this program does not know: the stored bytes
enum class ValueKind : std::uint8_t { kInteger = 1, kReal, kCurrency, kDateTime, kText, kBinary };

// The kind of a known type; kBinary for an unknown code.
ValueKind KindOf(std::uint8_t jet_type);

// Jet text to UTF-8. In Jet 4 the bytes are UCS-2 little-endian (UTF-16, surrogate pairs
// allowed), or, when they begin with FF FE, compressed: runs of one byte a character (U+0000 to
// U+00FF) and runs of two bytes a character, each 00 byte switching from one run to the other.
// In Jet 3 they are Windows-1252. Nothing when they do not decode (an odd number of bytes in a
// two-byte run, a lone surrogate).
std::optional<std::string> TextToUtf8(std::span<const std::uint8_t> bytes, bool jet4);

// UTF-16 little-endian to UTF-8. Nothing for an odd number of bytes or a lone surrogate.
std::optional<std::string> Utf16LeToUtf8(std::span<const std::uint8_t> bytes);

// Windows-1252 to UTF-8; the five bytes it leaves undefined become the C1 controls of the same
// number, as Windows converts them.
std::string Windows1252ToUtf8(std::span<const std::uint8_t> bytes);

// True when the bytes are well-formed UTF-8 (no overlong forms, no surrogates, nothing past
// U+10FFFF).
bool IsUtf8(std::string_view bytes);

// A Jet date/time as the program's databases hold it: "YYYY-MM-DD HH:MM:SS". The whole part of
// the double counts days from 1899-12-30 (negative before it); the fraction, whatever the sign,
// is the time of day, rounded to the second. Nothing for a value outside Jet's range (the years
// 100 to 9999) or not a number.
std::optional<std::string> DateTimeText(double days);

// The other way: the Jet date/time of a text "YYYY-MM-DD HH:MM:SS" or "YYYY-MM-DD" (the years 100
// to 9999). Before 1899-12-30 the whole part counts days back and the time of day still adds to
// the fraction, as Jet stores it. Nothing for any other text.
std::optional<double> DateTimeDays(std::string_view text);

// A currency value with its four decimals, exactly: -12345 gives "-1.2345".
std::string CurrencyText(std::int64_t ten_thousandths);

// A currency value as the nearest double (the program's CURRENCY columns hold REALs).
double CurrencyToDouble(std::int64_t ten_thousandths);

// The text form of a 16-byte GUID as Jet shows it, the first three groups little-endian:
// "{6B29FC40-CA47-1067-B31D-00DD010662DA}".
std::string GuidText(std::span<const std::uint8_t, 16> bytes);

// The text of a stored Decimal (a sign byte, 0x80 for negative, then a 128-bit magnitude as four
// 32-bit little-endian words, the most significant first) with its scale's digits after the
// point. Nothing when the scale is over 28.
std::optional<std::string> DecimalText(std::span<const std::uint8_t, 17> bytes, int scale);

}  // namespace cs::db::jetfile
