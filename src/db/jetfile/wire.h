// The stream in which the reader process sends a Jet file's tables to the program, and the
// program's strict reading of it.
//
// A stream is a sequence of frames: one byte of frame type, the payload's length as a 32-bit
// little-endian integer, then the payload. Integers are little-endian; a string is its length
// (32 bits) and its UTF-8 bytes. In order:
//   H  hello: "CSJR" and the protocol version (16 bits)
//   per user table:
//     T  table: name; column count (16 bits); per column its name, Jet type code (8 bits) and
//        size (32 bits: characters for Text, bytes otherwise); primary key column count (16
//        bits) and their positions (16 bits each); the row count its definition records (32 bits)
//     R  row, one per row: per column one byte, 0 for Null and 1 for a value, the value then
//        following in its kind's form (values.h): an integer as 64 bits, a real or a date as the
//        8 bytes of its double, currency as 64 bits, text and bytes as a string
//     E  end of table: the number of rows sent (32 bits)
//   Z  end: the number of tables sent (32 bits)
// or, at any point, X failure: a message, after which nothing follows.
//
// The program believes nothing it has not checked: every length, type, count, range and every
// text's UTF-8 is checked before use, and a frame that fails is Malformed.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "db/jetfile/values.h"

namespace cs::db::jetfile::wire {

inline constexpr char kMagic[4] = {'C', 'S', 'J', 'R'};
inline constexpr std::uint16_t kVersion = 1;
inline constexpr std::size_t kFrameHeaderBytes = 5;
// The largest payload accepted: a row of a quarter of a gigabyte. A Jet row keeps at most a few
// kilobytes in the row itself and each long value under 16 MiB.
inline constexpr std::uint32_t kMaxPayload = 256u << 20;
inline constexpr std::size_t kMaxColumns = 256;
inline constexpr std::size_t kMaxKeyColumns = 10;

enum class FrameType : std::uint8_t {
  kHello = 'H',
  kTable = 'T',
  kRow = 'R',
  kTableEnd = 'E',
  kEnd = 'Z',
  kFailure = 'X',
};

// Builds frames in a buffer, for the reader process.
class Writer {
 public:
  void Begin(FrameType type);
  void U8(std::uint8_t v) { buffer_ += static_cast<char>(v); }
  void U16(std::uint16_t v);
  void U32(std::uint32_t v);
  void I64(std::int64_t v);
  void F64(double v);
  void String(std::string_view bytes);
  // Ends the frame begun last, writing its length.
  void End();
  // Drops the frame begun last if it was not ended.
  void Abandon();
  std::string& buffer() { return buffer_; }

 private:
  std::string buffer_;
  std::size_t frame_start_ = 0;
  bool open_ = false;
};

// A stream or frame that breaks the rules above.
class Malformed : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Splits the bytes received into frames.
class FrameReader {
 public:
  void Append(const char* data, std::size_t size);
  // The next whole frame, if one has arrived; its payload stays valid until the next call of
  // Append or Next. Throws Malformed for an unknown frame type or an oversized length.
  bool Next(FrameType& type, std::string_view& payload);
  // True when bytes of an unfinished frame are waiting.
  bool HasPartialFrame() const { return consumed_ < buffer_.size(); }

 private:
  std::string buffer_;
  std::size_t consumed_ = 0;
};

struct ColumnInfo {
  std::string name;
  std::uint8_t jet_type = 0;  // a JetType code, or another code the reader met
  std::uint32_t size = 0;     // characters for Text, bytes otherwise (0 for long values)
  ValueKind kind = ValueKind::kBinary;
};

struct TableInfo {
  std::string name;
  std::vector<ColumnInfo> columns;
  std::vector<std::size_t> primary_key;  // column positions, in key order
  std::uint32_t declared_rows = 0;       // the count the table's definition records
};

struct Text {
  std::string_view utf8;
};
struct Binary {
  std::string_view bytes;
};
struct Currency {
  std::int64_t ten_thousandths;
};
struct DateTime {
  double days;
  std::string_view text;  // "YYYY-MM-DD HH:MM:SS"
};
// One field of a row: Null (monostate), an integer, a real, or one of the above. The views point
// into the frame and the row's scratch space: valid until the next row is decoded.
using FieldValue =
    std::variant<std::monostate, std::int64_t, double, Currency, DateTime, Text, Binary>;

void CheckHello(std::string_view payload);
TableInfo DecodeTable(std::string_view payload);
// Decodes a row of the table into values (one per column), using scratch for the texts it makes.
void DecodeRow(std::string_view payload, const TableInfo& table, std::vector<std::string>& scratch,
               std::vector<FieldValue>& values);
// The count of an end-of-table or end frame.
std::uint32_t DecodeCount(std::string_view payload);
// The message of a failure frame (made printable).
std::string DecodeFailure(std::string_view payload);

}  // namespace cs::db::jetfile::wire
