// The entries of a table's real indexes as its writer gathers them from the rows: keys made by
// each index's columns and rules, sorted, checked against uniqueness, and given their rows'
// places once the rows are on their pages.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jetfile/index_entries.h"
#include "jetfile/index_key.h"
#include "jetfile/index_pages.h"
#include "jetfile/table_definition.h"

namespace cs::jetfile {

// One real index as the writer fills it.
struct IndexPlan {
  std::string name;
  std::vector<IndexKeyColumn> columns;
  std::vector<std::size_t> positions;  // of its columns in a row in column-number order
  IndexRules rules;
  Bytes all_null_key;  // the key of a row whose values here are all Null
  // The entries, packed: every row's key is held, so each costs its key and 8 bytes. During
  // the first reading each entry's row.page is the row's ordinal (row.row 0).
  PackedIndexEntries entries;
};

// One plan for each real index of `def`; `by_number` gives the position in def.columns of each
// column in column-number order. FormatError for an index on a column the table lacks.
std::vector<IndexPlan> PlanIndexes(const TableDefinition& def,
                                   const std::vector<std::size_t>& by_number);

// Adds the row's entry to each index, applying each index's rules for Nulls; the entry's row is
// the row's ordinal for now. FormatError for a Null in a required index or a key too long.
void AddEntries(std::vector<IndexPlan>& plans, const std::vector<Value>& row,
                std::uint64_t ordinal);

// Sorts an index's entries and refuses two rows with one key in a unique index (rows whose
// values are all Null may share one). Returns how many distinct keys it holds.
std::uint32_t SortAndCheck(IndexPlan& plan);

// Turns each entry's row ordinal into its place: `first_ordinals[k]` is the ordinal of the first
// row on `data_pages[k]`.
void PlaceRows(PackedIndexEntries& entries, const std::vector<std::uint32_t>& first_ordinals,
               const std::vector<PageNumber>& data_pages);

}  // namespace cs::jetfile
