// The column types of a Jet 4 table and the values its cells hold, as this layer hands them to
// and takes them from the layers above.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "jetfile/format.h"

namespace cs::jetfile {

// The type byte of a column definition.
enum class ColumnType : std::uint8_t {
  kBoolean = 0x01,   // Yes/No: the null-mask bit is the value
  kByte = 0x02,
  kInteger = 0x03,   // 16-bit
  kLong = 0x04,      // 32-bit; AutoNumber is a Long with the autonumber flag
  kCurrency = 0x05,  // 64-bit count of ten-thousandths
  kSingle = 0x06,
  kDouble = 0x07,
  kDateTime = 0x08,  // OLE date: days since 1899-12-30 as a double
  kBinary = 0x09,
  kText = 0x0A,
  kOle = 0x0B,
  kMemo = 0x0C,
  kGuid = 0x0F,
  kNumeric = 0x10,
};

// Currency, exactly: a count of ten-thousandths (1.2345 is 12345).
struct Currency {
  std::int64_t ten_thousandths = 0;
  bool operator==(const Currency&) const = default;
};

// A Date/Time: days since 1899-12-30, the fraction the time of day, as Jet stores it.
struct DateTime {
  double ole = 0;
  bool operator==(const DateTime&) const = default;
};

// One cell. std::monostate is Null. Text and Memo hold UTF-16 code units; Binary and OLE bytes.
// Byte, Integer and Long use uint8_t, int16_t and int32_t; Single float, Double double.
using Value = std::variant<std::monostate, bool, std::uint8_t, std::int16_t, std::int32_t,
                           Currency, float, double, DateTime, std::u16string, Bytes>;

inline bool IsNull(const Value& v) { return std::holds_alternative<std::monostate>(v); }

}  // namespace cs::jetfile
