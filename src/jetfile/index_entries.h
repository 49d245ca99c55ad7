// The entries an index must hold for a table's rows, and the check that an index holds exactly
// those: the step between rows and index pages when a table is written, and the writer's proof
// afterwards that every index is in order, has one entry per row and keys each row by its values.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "jetfile/index_key.h"
#include "jetfile/index_pages.h"

namespace cs::jetfile {

// The rules an index's definition sets (its flags byte: 0x01 unique, 0x02 ignore Nulls,
// 0x08 required; a primary key has all of unique and required).
struct IndexRules {
  bool unique = false;
  bool ignore_nulls = false;
  bool required = false;
};
IndexRules IndexRulesFromFlags(std::uint8_t flags);

// A row as an index sees it: where it lives and its values in the index's column order.
struct IndexedRow {
  RowPointer row;
  std::vector<Value> values;
};

// The entries of an index over `rows`, sorted as index pages want them. A row whose index values
// are all Null has no entry when the index ignores Nulls. FormatError, naming the row, for a Null
// in a required index, two rows with the same key in a unique index (rows whose values are all
// Null may share a key), two rows at the same place, or values that cannot be keyed.
std::vector<IndexEntry> MakeIndexEntries(std::span<const IndexKeyColumn> columns, IndexRules rules,
                                         std::span<const IndexedRow> rows);

// Throws FormatError unless `stored` (a walk's entries, in order) are exactly the entries of
// `rows`: one per row, none left over, each key equal to its row's values. The message names the
// first entry that differs.
void CheckIndexEntries(std::span<const IndexEntry> stored, std::span<const IndexKeyColumn> columns,
                       IndexRules rules, std::span<const IndexedRow> rows);

// The same check for a large table, in little memory: the rows' entries are gathered one row at a
// time as packed keys (no row's values kept), then the stored entries are checked one at a time
// as a walk of the index hands them over (none kept). The rules and the messages are those above.
class ExpectedIndexEntries {
 public:
  ExpectedIndexEntries(std::vector<IndexKeyColumn> columns, IndexRules rules);
  // The entry of the row at `row` with these values, in the index's column order.
  void Add(RowPointer row, std::span<const Value> values);
  // After the last row: sorts the entries and applies the unique rule.
  void Finish();
  // After Finish: the entries, in index order.
  std::vector<IndexEntry> Entries() const;
  // The next stored entry, in index order.
  void Check(const IndexEntry& stored);
  // After the last stored entry: none is missing.
  void CheckNoneMissing() const;

 private:
  std::span<const std::uint8_t> Key(std::uint32_t i) const;

  std::vector<IndexKeyColumn> columns_;
  IndexRules rules_;
  Bytes keys_;
  std::vector<std::uint32_t> key_ends_;
  std::vector<RowPointer> rows_;
  std::vector<bool> all_null_;
  std::vector<std::uint32_t> order_;  // entry numbers in index order, after Finish
  std::size_t checked_ = 0;
};

}  // namespace cs::jetfile
