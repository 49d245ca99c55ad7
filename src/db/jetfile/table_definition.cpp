#include "db/jetfile/table_definition.h"

#include <algorithm>
#include <string>
#include <unordered_set>
#include <utility>

#include "db/jetfile/values.h"

namespace cs::db::jetfile {
namespace {

// Where the fields are in each version's definition. Offsets of the table block are into the
// definition's bytes: the first page whole, then each next page without its 8-byte header.
struct Layout {
  std::size_t rows;
  std::size_t max_columns;  // then the variable-column count and the column count, 16 bits each
  std::size_t logical_index_count;  // then the real index count, 32 bits each
  std::size_t first_index;          // the per-real-index blocks, then the column entries
  std::size_t index_entry;
  std::size_t column_entry;
  // In a column entry:
  std::size_t number;
  std::size_t variable_index;
  std::size_t flags;
  std::size_t fixed_offset;
  std::size_t length;
  // On a data page: the row count, then the rows' offsets.
  std::size_t row_count;
};

constexpr Layout kJet4{0x10, 0x29, 0x2F, 0x3F, 12, 25, 5, 7, 15, 21, 23, 12};
constexpr Layout kJet3{0x0C, 0x15, 0x1B, 0x2B, 8, 18, 1, 3, 13, 14, 16, 8};
// A column's name: its length in bytes (16 bits in Jet 4, 8 in Jet 3), then its text; at most 64
// characters, two bytes each in Jet 4.
constexpr std::size_t kLongestName = 64;
// After the names: each real index's definition, then each logical index's entry.
constexpr std::size_t kRealIndexBytes[2] = {39, 52};  // Jet 3, Jet 4
constexpr std::size_t kLogicalIndexBytes[2] = {20, 28};

constexpr std::uint8_t kDefinitionPage = 0x02;
constexpr std::uint8_t kFixedFlag = 0x01;
constexpr std::size_t kPageHeader = 8;

std::uint16_t Le16(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}
std::uint32_t Le32(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
         static_cast<std::uint32_t>(b[at + 2]) << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}


std::string Column(const ColumnDefinition& c) {
  return "column " + std::to_string(c.number) + " (type " + std::to_string(c.type) + ")";
}

void CheckLength(const ColumnDefinition& c, bool jet4) {
  const auto type = static_cast<JetType>(c.type);
  const std::uint16_t size = TypeSize(c.type);
  bool fits;
  if (type == JetType::kYesNo) {
    fits = true;  // its value is the null-mask bit; the length is not used
  } else if (size != 0) {
    fits = c.length == size;
  } else if (type == JetType::kText) {
    fits = jet4 ? c.length >= 2 && c.length <= 510 && c.length % 2 == 0
                : c.length >= 1 && c.length <= 255;
  } else if (type == JetType::kBinary) {
    fits = c.length >= 1 && c.length <= (jet4 ? 510 : 255);
  } else if (type == JetType::kMemo || type == JetType::kOle) {
    fits = c.length == 0 || c.fixed;  // a fixed one is checked against the fixed part
  } else {
    throw DefinitionError(Column(c) + " has a type this program does not know");
  }
  if (!fits) throw DefinitionError(Column(c) + " has a length that does not fit its type");
}

}  // namespace

std::size_t PageSize(bool jet4) { return jet4 ? 4096 : 2048; }

TableDefinition ReadTableDefinition(bool jet4, std::uint32_t first_page, std::uint32_t pages,
                                    const PageReader& read) {
  const Layout& at = jet4 ? kJet4 : kJet3;
  const std::size_t page_size = PageSize(jet4);
  std::vector<std::uint8_t> bytes;
  std::vector<std::uint8_t> page(page_size);
  std::unordered_set<std::uint32_t> seen;
  // Pages are read only as far as the column entries need; the chain is followed no further.
  auto need = [&](std::size_t end, std::uint32_t& next) {
    while (bytes.size() < end) {
      if (next == 0 || next >= pages || !seen.insert(next).second) {
        throw DefinitionError("its definition pages end too soon or loop");
      }
      if (!read(next, page) || page[0] != kDefinitionPage) {
        throw DefinitionError("a page of its definition is not one");
      }
      bytes.insert(bytes.end(), page.begin() + (bytes.empty() ? 0 : kPageHeader), page.end());
      next = Le32(page, 4);
    }
  };
  std::uint32_t next = first_page;
  need(at.first_index, next);
  TableDefinition table;
  table.jet4 = jet4;
  table.rows = Le32(bytes, at.rows);
  table.max_columns = Le16(bytes, at.max_columns);
  table.variable_columns = Le16(bytes, at.max_columns + 2);
  const std::uint16_t columns = Le16(bytes, at.max_columns + 4);
  table.logical_indexes = Le32(bytes, at.logical_index_count);
  table.real_indexes = Le32(bytes, at.logical_index_count + 4);
  const std::uint32_t real_indexes = table.real_indexes;
  // A real index count beyond what a file holds would put the columns past its end.
  const std::uint64_t start = at.first_index + std::uint64_t{real_indexes} * at.index_entry;
  const std::uint64_t end = start + std::uint64_t{columns} * at.column_entry;
  if (end > std::uint64_t{pages} * page_size) {
    throw DefinitionError("its columns lie beyond the end of the file");
  }
  need(static_cast<std::size_t>(end), next);
  for (std::size_t i = 0; i < columns; ++i) {
    const std::size_t c = static_cast<std::size_t>(start) + i * at.column_entry;
    ColumnDefinition col;
    col.type = bytes[c];
    col.number = Le16(bytes, c + at.number);
    col.variable_index = Le16(bytes, c + at.variable_index);
    col.fixed = (bytes[c + at.flags] & kFixedFlag) != 0;
    col.fixed_offset = Le16(bytes, c + at.fixed_offset);
    col.length = Le16(bytes, c + at.length);
    table.columns.push_back(col);
  }
  // The names follow, one for each column in the same order; read as far as they go.
  const std::size_t length_bytes = jet4 ? 2 : 1;
  std::size_t at_name = static_cast<std::size_t>(end);
  for (std::size_t i = 0; i < columns; ++i) {
    need(at_name + length_bytes, next);
    const std::size_t length = jet4 ? Le16(bytes, at_name) : bytes[at_name];
    if (length == 0 || length > kLongestName * length_bytes || (jet4 && length % 2 != 0)) {
      throw DefinitionError("the name of its column " + std::to_string(i + 1) +
                            " has an impossible length");
    }
    at_name += length_bytes + length;
  }
  need(at_name, next);
  // The indexes' definitions must fit in the file too, or libmdb would read past its end.
  const std::uint64_t indexes = at_name +
                                std::uint64_t{table.real_indexes} * kRealIndexBytes[jet4] +
                                std::uint64_t{table.logical_indexes} * kLogicalIndexBytes[jet4];
  if (indexes > std::uint64_t{pages} * page_size) {
    throw DefinitionError("its indexes lie beyond the end of the file");
  }
  return table;
}

void CheckTableDefinition(const TableDefinition& table, std::uint32_t owned_pages) {
  const Layout& at = table.jet4 ? kJet4 : kJet3;
  const std::size_t page_size = PageSize(table.jet4);
  if (table.columns.empty()) throw DefinitionError("it has no columns");
  if (table.columns.size() > table.max_columns) {
    throw DefinitionError("it has more columns than its rows can hold");
  }
  // Every real index is used by at least one logical index (several may share one).
  if (table.logical_indexes < table.real_indexes) {
    throw DefinitionError("it has fewer indexes than index definitions");
  }
  // The fixed part follows the row's column count (1 byte in Jet 3, 2 in Jet 4) and must leave a
  // page room for the page header, one row offset and the row's null mask.
  const std::size_t count_bytes = table.jet4 ? 2 : 1;
  const std::size_t largest_fixed_part =
      page_size - at.row_count - 2 - 2 - count_bytes - (std::size_t{table.max_columns} + 7) / 8;
  std::vector<bool> numbers(table.max_columns, false);
  std::vector<bool> variable(table.variable_columns, false);
  std::size_t variable_count = 0;
  std::vector<std::pair<std::size_t, std::size_t>> fixed;  // [begin, end) in the fixed part
  for (const ColumnDefinition& c : table.columns) {
    if (c.number >= table.max_columns) throw DefinitionError(Column(c) + " is out of range");
    if (numbers[c.number]) throw DefinitionError(Column(c) + " appears twice");
    numbers[c.number] = true;
    CheckLength(c, table.jet4);
    if (!c.fixed) {
      ++variable_count;
      if (c.variable_index >= table.variable_columns || variable[c.variable_index]) {
        throw DefinitionError(Column(c) + " has a variable-column place out of order");
      }
      variable[c.variable_index] = true;
    } else if (static_cast<JetType>(c.type) != JetType::kYesNo) {
      // Only the fixed-size types, and OLE objects in system tables, are kept in the fixed part.
      if (TypeSize(c.type) == 0 && static_cast<JetType>(c.type) != JetType::kOle) {
        throw DefinitionError(Column(c) + " is fixed but its type is not");
      }
      if (c.length == 0 || std::size_t{c.fixed_offset} + c.length > largest_fixed_part) {
        throw DefinitionError(Column(c) + " lies outside the fixed part of a row");
      }
      fixed.emplace_back(c.fixed_offset, std::size_t{c.fixed_offset} + c.length);
    }
  }
  if (variable_count != table.variable_columns) {
    throw DefinitionError("its variable columns are not as many as it says");
  }
  std::sort(fixed.begin(), fixed.end());
  for (std::size_t i = 1; i < fixed.size(); ++i) {
    if (fixed[i].first < fixed[i - 1].second) throw DefinitionError("its fixed columns overlap");
  }
  // Only a deleted column leaves a hole in the fixed part; when none was deleted (the rows have
  // as many columns as the table), the fixed columns follow each other from its start.
  if (table.columns.size() == table.max_columns) {
    std::size_t end = 0;
    for (const auto& [begin, finish] : fixed) {
      if (begin != end) throw DefinitionError("its fixed columns leave a hole");
      end = finish;
    }
  }
  // Each row takes at least its offset on the page, its column count and a byte of null mask.
  const std::uint64_t rows_per_page = (page_size - at.row_count - 2) / (2 + count_bytes + 1);
  if (table.rows > std::uint64_t{owned_pages} * rows_per_page) {
    throw DefinitionError("its row count is more than its pages hold");
  }
}

std::uint16_t TypeSize(std::uint8_t type) {
  switch (static_cast<JetType>(type)) {
    case JetType::kYesNo:
    case JetType::kByte:
      return 1;
    case JetType::kInteger:
      return 2;
    case JetType::kLong:
    case JetType::kSingle:
      return 4;
    case JetType::kCurrency:
    case JetType::kDouble:
    case JetType::kDateTime:
      return 8;
    case JetType::kGuid:
      return 16;
    case JetType::kDecimal:
      return 17;
    default:
      return 0;
  }
}

}  // namespace cs::db::jetfile
