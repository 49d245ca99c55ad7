// The pages one table holds: its definition chain, its data pages, the pages of each of its
// indexes and the long-value pages of each of its Memo/OLE columns, as its definition and usage
// maps list them, each checked to be what the map says it is. The writer frees them before it
// writes a table again; the check compares them with what it finds.
#pragma once

#include <vector>

#include "jetfile/format.h"
#include "jetfile/table_definition.h"

namespace cs::jetfile {

class PageFile;

struct TablePages {
  std::vector<PageNumber> definition;  // the definition's first page and its continuations
  std::vector<PageNumber> data;        // ascending
  std::vector<std::vector<PageNumber>> indexes;      // by real index, ascending
  std::vector<std::vector<PageNumber>> long_values;  // by def.long_value_maps entry, ascending

  // Every page above, ascending.
  std::vector<PageNumber> All() const;
};

// The definition chain starting at `first`. FormatError for a chain that loops, leaves the file
// or the definition pages, or is longer than kMaxTableDefinitionPages.
std::vector<PageNumber> DefinitionChain(PageFile& pages, PageNumber first);

// Reads the maps of the table whose definition `def` is on page `first`. FormatError, naming the
// page, when a data page is not one of this table's, an index page is not an index page of this
// table, a long-value page is not one, or a page is listed twice (in one map or in two).
TablePages ReadTablePages(PageFile& pages, PageNumber first, const TableDefinition& def);

}  // namespace cs::jetfile
