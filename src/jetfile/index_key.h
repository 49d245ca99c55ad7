// The key of a row in an index: the bytes an index page stores and compares bytewise, made from
// the row's values in the index's columns.
//
// Each column gives a flag byte and then its value: 0x7F then the value for an ascending column
// (0x00 alone for Null), 0x80 then the value's bytes inverted for a descending one (0xFF alone for
// Null), so that Null sorts first either way round. Values are big-endian and arranged to compare
// bytewise in their natural order:
//   Byte                the byte
//   Integer, Long,      two's complement with the sign bit flipped
//   Currency
//   Single, Double,     IEEE bits: positive numbers with the sign bit flipped, negative ones with
//   Date/Time           every bit inverted
//   Yes/No              0x00 for Yes, 0xFF for No; never Null (Null is No)
//   Text, Memo          General sort order codes (general_sort_order.h)
//   GUID, Binary        in 8-byte groups, each followed by a byte that is 9 when more follow and
//                       otherwise the group's length (the last group padded with zeros)
// OLE and Numeric columns cannot be keyed: FormatError.
#pragma once

#include <span>

#include "jetfile/format.h"
#include "jetfile/value.h"

namespace cs::jetfile {

// One column of an index, as far as its key is concerned.
struct IndexKeyColumn {
  ColumnType type = ColumnType::kLong;
  bool ascending = true;
};

// Appends one column's part of a key. The value must be Null or of the column's type as value.h
// maps them (Text and Memo a u16string, Date/Time a DateTime, GUID the 16 bytes as a row stores
// them, Binary any bytes); anything else is a FormatError naming the column type.
void AppendIndexKeyColumn(const IndexKeyColumn& column, const Value& value, Bytes& out);

// The whole key of a row: one part per column, in the index's column order. `values` holds the
// row's values in that same order; a count that differs from `columns` is a FormatError.
Bytes MakeIndexKey(std::span<const IndexKeyColumn> columns, std::span<const Value> values);

}  // namespace cs::jetfile
