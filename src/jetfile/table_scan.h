// Reading a table's rows back: its data pages found through its owned-pages usage map, its rows
// in table-scan order, each decoded into one value per column in column-number order with its
// Memo and OLE values resolved (Memo as text, OLE as bytes).
#pragma once

#include <cstddef>
#include <vector>

#include "jetfile/format.h"
#include "jetfile/table_definition.h"
#include "jetfile/value.h"

namespace cs::jetfile {

class PageFile;

// The data pages of the table whose definition is on page `definition_page`: the pages its
// owned-pages map lists, ascending. FormatError when the map is unsound or lists a page that is
// not a data page of this table.
std::vector<PageNumber> TableDataPages(PageFile& pages, PageNumber definition_page,
                                       const TableDefinition& def);

// The indexes into def.columns of its columns in column-number order.
std::vector<std::size_t> ColumnsByNumber(const TableDefinition& def);

// A pull reader of one table's rows. The definition is checked (CheckTableDefinition) and the
// scan order found when it is made; the pages are read as the rows are asked for.
class TableScan {
 public:
  TableScan(PageFile& pages, PageNumber definition_page, TableDefinition def);

  // The next row, one value per column in column-number order; false after the last.
  bool Next(std::vector<Value>& row);
  // Starts again from the first row.
  void Restart() { next_ = 0; }
  std::size_t row_count() const { return order_.size(); }
  const TableDefinition& definition() const { return def_; }
  const std::vector<RowPointer>& order() const { return order_; }

 private:
  PageFile& pages_;
  TableDefinition def_;
  std::vector<std::size_t> by_number_;
  bool in_number_order_ = false;  // def.columns already in column-number order
  std::vector<RowPointer> order_;
  std::size_t next_ = 0;
  Page page_{};
  PageNumber page_number_ = 0;  // the page held in page_, 0 for none
};

}  // namespace cs::jetfile
