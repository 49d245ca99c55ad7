#include "jetfile/index_entries.h"

#include <algorithm>
#include <limits>
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
  ExpectedIndexEntries expected({columns.begin(), columns.end()}, rules);
  for (const IndexedRow& row : rows) expected.Add(row.row, row.values);
  expected.Finish();
  return expected.Entries();
}

void CheckIndexEntries(std::span<const IndexEntry> stored, std::span<const IndexKeyColumn> columns,
                       IndexRules rules, std::span<const IndexedRow> rows) {
  ExpectedIndexEntries expected({columns.begin(), columns.end()}, rules);
  for (const IndexedRow& row : rows) expected.Add(row.row, row.values);
  expected.Finish();
  for (const IndexEntry& entry : stored) expected.Check(entry);
  expected.CheckNoneMissing();
}

ExpectedIndexEntries::ExpectedIndexEntries(std::vector<IndexKeyColumn> columns, IndexRules rules)
    : columns_(std::move(columns)), rules_(rules) {}

std::span<const std::uint8_t> ExpectedIndexEntries::Key(std::uint32_t i) const {
  const std::uint32_t begin = i == 0 ? 0 : key_ends_[i - 1];
  return {keys_.data() + begin, key_ends_[i] - begin};
}

void ExpectedIndexEntries::Add(RowPointer row, std::span<const Value> values) {
  const std::size_t nulls =
      static_cast<std::size_t>(std::count_if(values.begin(), values.end(), [](const Value& v) { return IsNull(v); }));
  const bool all_null = nulls == values.size();
  if (rules_.ignore_nulls && all_null) return;
  if (rules_.required && nulls > 0) {
    throw FormatError("index: " + RowName(row) + " has a Null in a required index");
  }
  const Bytes key = MakeIndexKey(columns_, values);
  if (keys_.size() + key.size() > std::numeric_limits<std::uint32_t>::max()) {
    throw FormatError("index: its keys are larger than an index can hold");
  }
  keys_.insert(keys_.end(), key.begin(), key.end());
  key_ends_.push_back(static_cast<std::uint32_t>(keys_.size()));
  rows_.push_back(row);
  all_null_.push_back(all_null);
}

void ExpectedIndexEntries::Finish() {
  order_.resize(rows_.size());
  for (std::uint32_t i = 0; i < order_.size(); ++i) order_[i] = i;
  const auto less = [&](std::uint32_t a, std::uint32_t b) {
    const auto x = Key(a);
    const auto y = Key(b);
    if (std::lexicographical_compare(x.begin(), x.end(), y.begin(), y.end())) return true;
    if (std::lexicographical_compare(y.begin(), y.end(), x.begin(), x.end())) return false;
    return rows_[a] < rows_[b];
  };
  std::sort(order_.begin(), order_.end(), less);
  std::vector<RowPointer> places(rows_);
  std::sort(places.begin(), places.end());
  if (const auto twice = std::adjacent_find(places.begin(), places.end()); twice != places.end()) {
    throw FormatError("index: " + RowName(*twice) + " is given twice");
  }
  if (!rules_.unique) return;
  for (std::size_t i = 1; i < order_.size(); ++i) {
    // Rows without values (all Null) may repeat in a unique index, as Access allows.
    const auto a = Key(order_[i - 1]);
    const auto b = Key(order_[i]);
    if (!all_null_[order_[i]] && std::equal(a.begin(), a.end(), b.begin(), b.end())) {
      throw FormatError("index: " + RowName(rows_[order_[i - 1]]) + " and " + RowName(rows_[order_[i]]) +
                        " have the same key in a unique index");
    }
  }
}

std::vector<IndexEntry> ExpectedIndexEntries::Entries() const {
  std::vector<IndexEntry> out;
  out.reserve(order_.size());
  for (const std::uint32_t i : order_) {
    const auto key = Key(i);
    out.push_back({Bytes(key.begin(), key.end()), rows_[i]});
  }
  return out;
}

void ExpectedIndexEntries::Check(const IndexEntry& stored) {
  const std::size_t i = checked_++;
  if (i >= order_.size()) {
    throw FormatError("index holds more than " + std::to_string(order_.size()) + " entries for " +
                      std::to_string(order_.size()) + " rows");
  }
  const auto key = Key(order_[i]);
  const RowPointer row = rows_[order_[i]];
  if (stored.row == row && std::equal(key.begin(), key.end(), stored.key.begin(), stored.key.end())) return;
  throw FormatError("index entry " + std::to_string(i) + " is for " + RowName(stored.row) +
                    (stored.row == row ? " but its key differs from its values" : ", where " + RowName(row) + " belongs"));
}

void ExpectedIndexEntries::CheckNoneMissing() const {
  if (checked_ != order_.size()) {
    throw FormatError("index holds " + std::to_string(checked_) + " entries for " + std::to_string(order_.size()) +
                      " rows");
  }
}

}  // namespace cs::jetfile
