// A table's definition (TDEF): the table block, its columns, its real and logical indexes and
// the usage maps of its long-value columns, as stored on one or more pages of type 0x02.
//
// Parsing keeps every stored byte, unknown ones included, so that a definition read and
// serialized again is the same bytes: the writer rewrites a definition in place and must not
// change what it does not understand. Offsets inside a definition are into the "joined" buffer:
// the first page whole, then bytes 8..4095 of each continuation page.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "jetfile/format.h"
#include "jetfile/page_reader.h"
#include "jetfile/value.h"

namespace cs::jetfile {

inline constexpr std::uint8_t kTableDefinitionPageType = 0x02;
// Page header of every definition page: type, 0x01, free space, next definition page.
inline constexpr std::size_t kTableDefinitionHeaderSize = 8;
// A definition spans at most this many pages; more means a damaged chain.
inline constexpr std::size_t kMaxTableDefinitionPages = 64;

// Column flags (byte +15 of a column entry) and extended flags (+16).
inline constexpr std::uint8_t kColumnFixed = 0x01;
inline constexpr std::uint8_t kColumnNullable = 0x02;
inline constexpr std::uint8_t kColumnAutoNumber = 0x04;
inline constexpr std::uint8_t kColumnCompressedUnicode = 0x01;

// A usage map's place: a row on a data page.
struct UsageMapRef {
  std::uint8_t row = 0;
  PageNumber page = 0;
  bool operator==(const UsageMapRef&) const = default;
};

struct ColumnDefinition {
  ColumnType type = ColumnType::kLong;
  std::uint32_t unknown1 = 1625;
  std::uint16_t number = 0;          // the column's bit in the null mask
  std::uint16_t variable_index = 0;  // its entry in a row's variable-offset table
  std::uint16_t unknown9 = 0;
  std::array<std::uint8_t, 2> sort_order_or_precision{};  // Text/Memo: 0x0409; Numeric: p, s
  std::uint16_t unknown13 = 0;
  std::uint8_t flags = 0;
  std::uint8_t extended_flags = 0;
  std::uint32_t unknown17 = 0;
  std::uint16_t fixed_offset = 0;  // in the row's fixed area, after the column count
  std::uint16_t length = 0;        // bytes: the type's size, 2 x characters for Text
  std::u16string name;

  bool IsFixed() const { return (flags & kColumnFixed) != 0; }
  bool IsAutoNumber() const { return (flags & kColumnAutoNumber) != 0; }
  bool IsCompressedUnicode() const { return (extended_flags & kColumnCompressedUnicode) != 0; }
  bool IsLongValue() const { return type == ColumnType::kMemo || type == ColumnType::kOle; }
  bool operator==(const ColumnDefinition&) const = default;
};

inline constexpr std::uint16_t kUnusedIndexColumn = 0xFFFF;
inline constexpr std::uint8_t kIndexAscending = 0x01;
// Real-index flags (+46 of its block).
inline constexpr std::uint8_t kIndexUnique = 0x01;
inline constexpr std::uint8_t kIndexIgnoreNulls = 0x02;
inline constexpr std::uint8_t kIndexRequired = 0x08;

struct IndexColumn {
  std::uint16_t number = kUnusedIndexColumn;  // a column number, or kUnusedIndexColumn
  std::uint8_t order = 0;                     // kIndexAscending, or 0 for descending
  bool operator==(const IndexColumn&) const = default;
};

// A physical index: its key columns, usage map, root page and flags.
struct RealIndex {
  // The 12 bytes each real index has in the table block.
  std::uint32_t block_unknown0 = 0;
  std::uint32_t block_count = 0;  // not the row count; kept as found
  std::uint32_t block_unknown8 = 0;

  std::uint32_t unknown0 = 0;
  std::array<IndexColumn, 10> columns{};
  UsageMapRef usage_map;
  PageNumber root_page = 0;
  std::array<std::uint8_t, 4> unknown42{};
  std::uint8_t flags = 0x80;
  std::array<std::uint8_t, 5> unknown47{};
  bool operator==(const RealIndex&) const = default;
};

inline constexpr std::uint8_t kLogicalIndexPrimaryKey = 0x01;
inline constexpr std::uint8_t kLogicalIndexForeignKey = 0x02;

// A named index as users see it; several may share one real index.
struct LogicalIndex {
  std::uint32_t unknown0 = 0;
  std::uint32_t number = 0;
  std::uint32_t real_index = 0;
  std::uint8_t foreign_table_type = 0;
  std::int32_t foreign_index = -1;  // the other index of a foreign key, -1 if none
  PageNumber foreign_table = 0;     // the other table's definition page
  std::uint8_t cascade_updates = 0;
  std::uint8_t cascade_deletes = 0;
  std::uint8_t kind = 0;  // kLogicalIndexPrimaryKey, kLogicalIndexForeignKey or 0
  std::array<std::uint8_t, 4> unknown24{};
  std::u16string name;
  bool operator==(const LogicalIndex&) const = default;
};

// The two usage maps of one Memo/OLE column.
struct LongValueMaps {
  std::uint16_t column = 0;  // column number
  UsageMapRef owned;
  UsageMapRef free;
  bool operator==(const LongValueMaps&) const = default;
};

struct TableDefinition {
  std::uint32_t unknown0c = 1625;
  std::uint32_t row_count = 0;
  std::uint32_t next_autonumber = 0;
  std::uint8_t autonumber_flag = 0;
  std::array<std::uint8_t, 15> unknown19{};
  std::uint8_t table_type = 0x4E;
  std::uint16_t max_columns = 0;            // columns a row may hold; never decreases
  std::uint16_t variable_column_count = 0;  // entries of a row's variable-offset table
  UsageMapRef owned_pages;
  UsageMapRef free_space_pages;

  std::vector<ColumnDefinition> columns;  // in stored order, which is not column-number order
  std::vector<RealIndex> real_indexes;
  std::vector<LogicalIndex> logical_indexes;
  std::vector<LongValueMaps> long_value_maps;
  // Bytes after the long-value map list, up to the definition's length; normally none.
  Bytes trailing;

  // Unknown bytes of the first page's header (byte 1) kept from the page read.
  std::uint8_t header_byte1 = 0x01;

  const ColumnDefinition* FindColumn(std::uint16_t number) const;
  bool operator==(const TableDefinition&) const = default;
};

// Parses a joined definition buffer (page header included). Every count, length and offset read
// from it is checked: a definition that runs past its buffer or its stated length is a
// FormatError naming the field.
TableDefinition ParseTableDefinition(std::span<const std::uint8_t> joined);

// The joined buffer of `def`, its header's free-space and next-page fields zero.
Bytes SerializeTableDefinition(const TableDefinition& def);

// The stored size of a fixed column of `type`, or 0 when the type has no fixed size.
std::size_t FixedSizeOf(ColumnType type);

}  // namespace cs::jetfile
