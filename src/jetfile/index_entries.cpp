#include "jetfile/index_entries.h"

#include <algorithm>
#include <string>

namespace cs::jetfile {
namespace {

std::string RowName(const RowPointer& row) {
  return "row " + std::to_string(row.row) + " of page " + std::to_string(row.page);
}

}  // namespace

IndexRules IndexRulesFromFlags(std::uint8_t flags) {
  return IndexRules{(flags & 0x01) != 0, (flags & 0x02) != 0, (flags & 0x08) != 0};
}

std::vector<IndexEntry> MakeIndexEntries(std::span<const IndexKeyColumn> columns, IndexRules rules,
                                         std::span<const IndexedRow> rows) {
  std::vector<RowPointer> places;
  places.reserve(rows.size());
  for (const IndexedRow& row : rows) places.push_back(row.row);
  std::sort(places.begin(), places.end());
  const auto twice = std::adjacent_find(places.begin(), places.end());
  if (twice != places.end()) throw FormatError("index: " + RowName(*twice) + " is given twice");

  struct Keyed {
    IndexEntry entry;
    bool all_null;
  };
  std::vector<Keyed> keyed;
  keyed.reserve(rows.size());
  for (const IndexedRow& row : rows) {
    const std::size_t nulls = static_cast<std::size_t>(std::count_if(
        row.values.begin(), row.values.end(), [](const Value& v) { return IsNull(v); }));
    const bool all_null = nulls == row.values.size();
    if (rules.ignore_nulls && all_null) continue;
    if (rules.required && nulls > 0) {
      throw FormatError("index: " + RowName(row.row) + " has a Null in a required index");
    }
    keyed.push_back({{MakeIndexKey(columns, row.values), row.row}, all_null});
  }
  std::sort(keyed.begin(), keyed.end(),
            [](const Keyed& a, const Keyed& b) { return a.entry < b.entry; });
  std::vector<IndexEntry> entries;
  entries.reserve(keyed.size());
  for (std::size_t i = 0; i < keyed.size(); ++i) {
    // Rows without values (all Null) may repeat in a unique index, as Access allows.
    if (rules.unique && i > 0 && !keyed[i].all_null && entries.back().key == keyed[i].entry.key) {
      throw FormatError("index: " + RowName(entries.back().row) + " and " +
                        RowName(keyed[i].entry.row) + " have the same key in a unique index");
    }
    entries.push_back(std::move(keyed[i].entry));
  }
  return entries;
}

void CheckIndexEntries(std::span<const IndexEntry> stored, std::span<const IndexKeyColumn> columns,
                       IndexRules rules, std::span<const IndexedRow> rows) {
  const std::vector<IndexEntry> expected = MakeIndexEntries(columns, rules, rows);
  const std::size_t common = std::min(expected.size(), stored.size());
  for (std::size_t i = 0; i < common; ++i) {
    if (stored[i] == expected[i]) continue;
    throw FormatError("index entry " + std::to_string(i) + " is for " + RowName(stored[i].row) +
                      (stored[i].row == expected[i].row
                           ? " but its key differs from its values"
                           : ", where " + RowName(expected[i].row) + " belongs"));
  }
  if (stored.size() != expected.size()) {
    throw FormatError("index holds " + std::to_string(stored.size()) + " entries for " +
                      std::to_string(expected.size()) + " rows");
  }
}

}  // namespace cs::jetfile
