// A new table's definition from a schema: the column numbers, fixed offsets, variable indexes,
// flags, real and logical indexes and long-value map list Access and the files our users hold
// give a table when it is created, ready for table_catalog.h to place on pages.
//
// Columns are numbered in the schema's order; fixed columns pack from offset 0 in that order
// (Yes/No takes no room: its value is its null-mask bit); variable columns take the variable
// indexes in that order, and a fixed column's variable index is the count of variable columns
// before it. Each logical index (in the schema's order, numbered from 0) shares a real index with
// every other of the same columns, orders and flags; a primary key is unique and required.
//
// Usage-map places and index root pages are left 0: they exist only once pages are allocated.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "jetfile/table_definition.h"
#include "jetfile/value.h"

namespace cs::jetfile {

struct ColumnSpec {
  std::u16string name;
  ColumnType type = ColumnType::kLong;
  std::uint16_t length = 0;  // Text: characters 1..255; Binary: bytes 1..255
  bool autonumber = false;   // Long only
  bool compressed_unicode = true;
  // Kept by Access among a column's properties, not in the definition: refused until the
  // writer writes those properties, so that a column the caller thinks required is never
  // silently optional.
  bool required = false;
};

struct IndexSpec {
  std::u16string name;
  std::vector<std::pair<std::u16string, bool /*ascending*/>> columns;
  bool primary_key = false;
  bool unique = false;
  bool ignore_nulls = false;
  bool required = false;
};

struct TableSchema {
  std::u16string name;
  std::vector<ColumnSpec> columns;
  std::vector<IndexSpec> indexes;
};

// The longest name of a table, column or index.
inline constexpr std::size_t kMaxJetNameLength = 64;

// Throws FormatError, naming `what`, unless `name` is a name Jet accepts for a table, column or
// index: 1 to 64 characters, no leading space, no control character and none of . ! ` [ ].
void CheckJetName(std::u16string_view name, const char* what);

// The definition of a new, empty table of `schema`. Throws FormatError for a schema no table can
// have: no columns or more than 255, a name that CheckJetName refuses or that repeats (letter case
// ignored), a Text length outside 1..255, an AutoNumber that is not a Long or more than one, a
// type the writer does not create (Numeric), a required column, an index without columns or with
// more than 10, on a column that does not exist, twice the same column, on a Memo or OLE
// column, or more than one primary key. The result passes CheckTableDefinition.
TableDefinition LayOutTable(const TableSchema& schema);

}  // namespace cs::jetfile
