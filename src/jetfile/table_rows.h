// The rows of a small table edited in place: rows deleted and added on its own data pages, its
// row count kept, and every index of the table built again whole from the rows it then holds.
// Made for the system tables a created or dropped table touches (the catalog and its access
// entries), which hold a few hundred rows at most.
//
// Everything is read and checked when the editor is made (the definition, the owned usage map,
// each data page's owner, every row), so that a damaged table is a FormatError before anything
// is written. Commit writes: the data pages that changed (a deleted row keeps its slot, flagged
// 0xC000 with no bytes, as Jet leaves it; the live rows of a page are packed again and keep
// their row numbers), new data pages when the old ones are full (added to the owned and
// free-space maps), then each index on new pages, its usage map and root, the definition with
// the new row count, and last the old index pages are freed.
#pragma once

#include <set>
#include <vector>

#include "jetfile/format.h"
#include "jetfile/index_entries.h"
#include "jetfile/table_definition.h"
#include "jetfile/value.h"

namespace cs::jetfile {

class PageFile;
class FreePageMap;

class TableRows {
 public:
  struct Row {
    RowPointer where;
    std::vector<Value> values;  // in the order of definition().columns
  };

  // Reads the table whose definition starts on page `definition`. FormatError for anything
  // unsound on the way.
  TableRows(PageFile& pages, PageNumber definition);

  const TableDefinition& definition() const { return def_; }
  PageNumber definition_page() const { return first_; }
  const std::vector<Row>& rows() const { return rows_; }
  // The position in definition().columns of the column of that name; FormatError if none.
  std::size_t Column(std::u16string_view name) const;
  // The pages of the definition, in chain order.
  const std::vector<PageNumber>& definition_pages() const { return definition_pages_; }

  // Marks a row of rows() for deletion.
  void Delete(RowPointer where);
  // Queues a row to add: one value per column. Encoded at once, so a value that does not fit
  // its column is a FormatError here, before anything is written.
  void Insert(const std::vector<Value>& values);

  // Throws FormatError unless the rows as they would be after Commit can be indexed: a Null in
  // a required index, two rows with one key in a unique index. Commit checks this itself before
  // it writes anything; a caller checks it early when it must write other pages first.
  void CheckPending() const;
  // Forgets the deletions and rows queued so far.
  void DiscardPending();

  // Writes the changes as described above. Pages come from and go back to `free_pages`.
  void Commit(FreePageMap& free_pages);

 private:
  // The entries of real index `i` over `rows`, sorted; FormatError as MakeIndexEntries says.
  std::vector<IndexEntry> EntriesOf(std::size_t i, const std::vector<Row>& rows) const;

  PageFile& pages_;
  PageNumber first_;
  TableDefinition def_;
  std::vector<PageNumber> definition_pages_;
  std::vector<PageNumber> data_pages_;  // owned, ascending
  std::vector<Row> rows_;
  std::set<RowPointer> deleted_;
  std::vector<Bytes> inserted_;
  std::vector<std::vector<PageNumber>> index_pages_;  // by real index
  std::vector<std::vector<Value>> inserted_values_;
};

}  // namespace cs::jetfile
