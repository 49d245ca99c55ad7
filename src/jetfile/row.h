// A Jet 4 row: how a table's values are laid out in the bytes of one data-page row.
//
// u16 column count; the fixed area (each fixed column at 2 + its fixed offset, room kept for
// Null values too); the variable columns' data in variable-index order; then, read from the
// row's end backwards: the null mask ((count + 7) / 8 bytes, bit = column number, 1 = present),
// u16 variable-entry count, the variable offset table stored reversed, and u16 end of data.
// A table without variable columns has no variable trailer at all. Yes/No values are their
// null-mask bit. Columns are read by their fixed flag, never by their type: the system tables
// hold variable Long and Date columns.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "jetfile/format.h"
#include "jetfile/table_definition.h"
#include "jetfile/value.h"

namespace cs::jetfile {

// The largest row a data page takes.
inline constexpr std::size_t kMaxRowSize = 4060;
// A Memo or OLE column's field in the row: the 12-byte reference, followed by the data itself
// when it is stored inline.
inline constexpr std::size_t kLongValueReferenceSize = 12;

// Decodes a row into one value per column of `def`, in the order of def.columns. Memo and OLE
// columns come back as Bytes holding their field (the reference, and inline data if any), for
// long_value.h to resolve. Binary, GUID and Numeric come back as Bytes. Columns the row predates
// (numbers past its column count, variable entries past its table) are Null. Throws FormatError
// when a length or offset in the row does not fit it.
std::vector<Value> DecodeRow(const TableDefinition& def, std::span<const std::uint8_t> row);

// Where EncodeRow puts long values that the row does not hold itself.
class LongValueStore {
 public:
  virtual ~LongValueStore() = default;
  // Stores `data` (a Memo's encoded text, an OLE value's bytes) and returns the field the row
  // keeps. `room` is what the row has left for it; the store keeps the data inline only if it
  // fits there.
  virtual Bytes Store(std::span<const std::uint8_t> data, std::size_t room) = 0;
};

// Encodes a row of `def` from one value per column (in def.columns order) as the writer lays
// rows out. `def` must pass CheckTableDefinition: overlapping fixed columns or repeated variable
// indexes would make rows that read back different. Each value must be Null or of its column's type (Byte uint8_t, Integer int16_t, Long
// int32_t, Currency, Single float, Double double, Date/Time DateTime, Text std::u16string,
// Yes/No bool, Binary/GUID/Numeric Bytes). With a `store`, a Memo takes std::u16string and an OLE
// Bytes, and their data goes through the store; without one, Memo and OLE values are fields as
// DecodeRow returns them and are written unchanged. Throws FormatError for a value of the wrong
// type, text longer than its column, or a row larger than kMaxRowSize; nothing is stored then
// unless the store was already called.
Bytes EncodeRow(const TableDefinition& def, std::span<const Value> values,
                LongValueStore* store = nullptr);

}  // namespace cs::jetfile
