#include "jetfile/table_definition_check.h"

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "jetfile/catalog.h"

namespace cs::jetfile {
namespace {

std::string ColumnLabel(const ColumnDefinition& c) {
  return "column " + std::to_string(c.number) + " (" + PrintableName(c.name) + ")";
}

}  // namespace

void CheckTableDefinition(const TableDefinition& def) {
  auto fail = [](const std::string& what) { throw FormatError("table definition: " + what); };
  if (def.columns.size() > def.max_columns) {
    fail(std::to_string(def.columns.size()) + " columns, more than its maximum of " +
         std::to_string(def.max_columns));
  }
  std::set<std::uint16_t> numbers;
  std::vector<std::uint16_t> variable_indexes;
  struct Span {
    std::size_t begin, end;
    const ColumnDefinition* column;
  };
  std::vector<Span> fixed;
  for (const ColumnDefinition& c : def.columns) {
    if (c.number >= def.max_columns) {
      fail(ColumnLabel(c) + " is out of range (maximum " + std::to_string(def.max_columns) + ")");
    }
    if (!numbers.insert(c.number).second) fail(ColumnLabel(c) + " is numbered twice");
    std::size_t fixed_size = FixedSizeOf(c.type);
    switch (c.type) {
      case ColumnType::kText:
        if (c.length % 2 != 0 || c.length > 510) {
          fail(ColumnLabel(c) + ": Text length " + std::to_string(c.length) +
               " is not 2 x 0..255 characters");
        }
        break;
      case ColumnType::kBinary:
        if (c.length > 510) fail(ColumnLabel(c) + ": Binary length " + std::to_string(c.length));
        break;
      case ColumnType::kMemo:
      case ColumnType::kOle:
        break;
      default:
        // Types this layer does not know (the system tables have some) keep their stored
        // length; known fixed-size types must have their size, even where stored variable.
        if (fixed_size != 0 && c.IsFixed() && c.length != fixed_size) {
          fail(ColumnLabel(c) + ": length " + std::to_string(c.length) + " does not fit its type");
        }
        break;
    }
    if (c.type == ColumnType::kBoolean) continue;  // the null mask holds its value
    if (c.IsFixed()) {
      fixed.push_back({c.fixed_offset, std::size_t{c.fixed_offset} + c.length, &c});
    } else {
      variable_indexes.push_back(c.variable_index);
    }
  }
  std::sort(fixed.begin(), fixed.end(),
            [](const Span& a, const Span& b) { return a.begin < b.begin; });
  for (std::size_t i = 1; i < fixed.size(); ++i) {
    if (fixed[i].begin < fixed[i - 1].end) {
      fail(ColumnLabel(*fixed[i].column) + " overlaps " + ColumnLabel(*fixed[i - 1].column) +
           " in the fixed area");
    }
  }
  // A row holds its count, the fixed area and a trailer; the fixed area alone must leave room.
  constexpr std::size_t kMaxRow = 4060;
  std::size_t trailer =
      2 + (std::size_t{def.max_columns} + 7) / 8 + 4 + 2 * std::size_t{def.variable_column_count};
  if (!fixed.empty() && fixed.back().end + trailer > kMaxRow) {
    fail(ColumnLabel(*fixed.back().column) + " ends at " + std::to_string(fixed.back().end) +
         ", past the room a row has");
  }
  std::sort(variable_indexes.begin(), variable_indexes.end());
  for (std::size_t i = 0; i < variable_indexes.size(); ++i) {
    if (variable_indexes[i] != i) {
      fail("variable columns are not numbered 0.." + std::to_string(variable_indexes.size() - 1) +
           " (found " + std::to_string(variable_indexes[i]) + " in place " + std::to_string(i) +
           ")");
    }
  }
  if (variable_indexes.size() != def.variable_column_count) {
    fail(std::to_string(variable_indexes.size()) + " variable columns, but the table block says " +
         std::to_string(def.variable_column_count));
  }
  for (std::size_t i = 0; i < def.real_indexes.size(); ++i) {
    for (const IndexColumn& ic : def.real_indexes[i].columns) {
      if (ic.number != kUnusedIndexColumn && def.FindColumn(ic.number) == nullptr) {
        fail("real index " + std::to_string(i) + " names column " + std::to_string(ic.number) +
             ", which the table does not have");
      }
    }
  }
  for (const LogicalIndex& l : def.logical_indexes) {
    if (l.real_index >= def.real_indexes.size()) {
      fail("logical index " + PrintableName(l.name) + " uses real index " + std::to_string(l.real_index) +
           " of " + std::to_string(def.real_indexes.size()));
    }
  }
  for (const LongValueMaps& m : def.long_value_maps) {
    const ColumnDefinition* c = def.FindColumn(m.column);
    if (c == nullptr || !c->IsLongValue()) {
      fail("long-value maps name column " + std::to_string(m.column) +
           ", which is not a Memo or OLE column");
    }
  }
}

}  // namespace cs::jetfile
