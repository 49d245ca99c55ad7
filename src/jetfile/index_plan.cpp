#include "jetfile/index_plan.h"

#include <algorithm>
#include <limits>
#include <span>

#include "jetfile/catalog.h"
#include "jetfile/row_source.h"

namespace cs::jetfile {

namespace {

bool KeysEqual(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}

}  // namespace

std::vector<IndexPlan> PlanIndexes(const TableDefinition& def,
                                   const std::vector<std::size_t>& by_number) {
  std::vector<IndexPlan> plans;
  for (std::size_t r = 0; r < def.real_indexes.size(); ++r) {
    const RealIndex& index = def.real_indexes[r];
    IndexPlan plan;
    plan.name = "index " + std::to_string(r);
    for (const LogicalIndex& logical : def.logical_indexes) {
      if (logical.real_index == r) {
        plan.name = "index " + PrintableName(logical.name);
        break;
      }
    }
    plan.rules = IndexRulesFromFlags(index.flags);
    for (const IndexColumn& column : index.columns) {
      if (column.number == kUnusedIndexColumn) continue;
      std::size_t position = by_number.size();
      for (std::size_t i = 0; i < by_number.size(); ++i) {
        if (def.columns[by_number[i]].number == column.number) position = i;
      }
      if (position == by_number.size()) {
        throw FormatError(plan.name + " names column " + std::to_string(column.number) +
                          ", which the table does not have");
      }
      plan.columns.push_back(
          {def.columns[by_number[position]].type, column.order == kIndexAscending});
      plan.positions.push_back(position);
    }
    const std::vector<Value> nulls(plan.columns.size());
    plan.all_null_key = MakeIndexKey(plan.columns, nulls);
    plans.push_back(std::move(plan));
  }
  return plans;
}

void AddEntries(std::vector<IndexPlan>& plans, const std::vector<Value>& row,
                std::uint64_t ordinal) {
  for (IndexPlan& plan : plans) {
    PackedIndexEntries& e = plan.entries;
    const std::size_t begin = e.keys.size();
    std::size_t nulls = 0;
    for (std::size_t i = 0; i < plan.columns.size(); ++i) {
      const Value& v = row[plan.positions[i]];
      if (IsNull(v)) ++nulls;
      AppendIndexKeyColumn(plan.columns[i], v, e.keys);
    }
    if (plan.rules.ignore_nulls && nulls == plan.columns.size()) {
      e.keys.resize(begin);
      continue;
    }
    if (plan.rules.required && nulls > 0) {
      throw FormatError(RowName(ordinal) + " has a Null in the required " + plan.name);
    }
    // An index page must take the entry with a child pointer (index_pages.h).
    if (e.keys.size() - begin + 8 > kIndexPageEntryBytes) {
      throw FormatError(RowName(ordinal) + ": its key in " + plan.name + " is too long");
    }
    if (e.keys.size() > std::numeric_limits<std::uint32_t>::max()) {
      throw FormatError(plan.name + ": its keys are larger than an index can hold");
    }
    e.key_ends.push_back(static_cast<std::uint32_t>(e.keys.size()));
    e.rows.push_back(RowPointer{static_cast<PageNumber>(ordinal), 0});
  }
}

std::uint32_t SortAndCheck(IndexPlan& plan) {
  const PackedIndexEntries& from = plan.entries;
  std::vector<std::uint32_t> order(from.size());
  for (std::uint32_t i = 0; i < order.size(); ++i) order[i] = i;
  // Entries were added in row order, so equal keys keep their rows' order.
  std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
    const auto x = from.Key(a);
    const auto y = from.Key(b);
    return std::lexicographical_compare(x.begin(), x.end(), y.begin(), y.end());
  });
  PackedIndexEntries sorted;
  sorted.keys.reserve(from.keys.size());
  sorted.key_ends.reserve(from.size());
  sorted.rows.reserve(from.size());
  std::uint32_t distinct = 0;
  for (std::size_t i = 0; i < order.size(); ++i) {
    const auto key = from.Key(order[i]);
    const bool same = i > 0 && KeysEqual(key, from.Key(order[i - 1]));
    if (!same) ++distinct;
    if (same && plan.rules.unique && !KeysEqual(key, plan.all_null_key)) {
      throw FormatError(RowName(from.rows[order[i - 1]].page) + " and " +
                        RowName(from.rows[order[i]].page) + " have the same key in the unique " +
                        plan.name);
    }
    sorted.keys.insert(sorted.keys.end(), key.begin(), key.end());
    sorted.key_ends.push_back(static_cast<std::uint32_t>(sorted.keys.size()));
    sorted.rows.push_back(from.rows[order[i]]);
  }
  plan.entries = std::move(sorted);
  return distinct;
}

// Turns each entry's row ordinal into its place. Rows written later may sit on lower pages
// (pages from the free-page map after the table's own), so rows under one key are put in order
// again where needed.
void PlaceRows(PackedIndexEntries& entries, const std::vector<std::uint32_t>& first_ordinals,
               const std::vector<PageNumber>& data_pages) {
  for (RowPointer& row : entries.rows) {
    const std::uint32_t ordinal = row.page;
    const auto k = static_cast<std::size_t>(
        std::upper_bound(first_ordinals.begin(), first_ordinals.end(), ordinal) -
        first_ordinals.begin() - 1);
    row = RowPointer{data_pages[k], static_cast<std::uint8_t>(ordinal - first_ordinals[k])};
  }
  for (std::size_t begin = 0; begin < entries.size();) {
    std::size_t end = begin + 1;
    while (end < entries.size() && KeysEqual(entries.Key(end), entries.Key(begin))) ++end;
    const auto run_begin = entries.rows.begin() + static_cast<std::ptrdiff_t>(begin);
    const auto run_end = entries.rows.begin() + static_cast<std::ptrdiff_t>(end);
    if (!std::is_sorted(run_begin, run_end)) std::sort(run_begin, run_end);
    begin = end;
  }
}

}  // namespace cs::jetfile
