// A table definition on its pages: the first page whole, then each continuation page after its
// own 8-byte header, chained by their next-page fields.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "jetfile/format.h"
#include "jetfile/page_reader.h"
#include "jetfile/table_definition.h"

namespace cs::jetfile {

// Reads the definition starting on page `first`, following its chain of continuation pages
// (a chain that loops, leaves the definition pages or is longer than kMaxTableDefinitionPages is
// a FormatError), and parses it.
TableDefinition ReadTableDefinition(PageNumber first, const PageReader& read);

// Joins the pages of a definition the way ParseTableDefinition expects them.
Bytes JoinTableDefinitionPages(PageNumber first, const PageReader& read);

// How many pages `def` needs.
std::size_t TableDefinitionPageCount(const TableDefinition& def);

// Spreads `def` over the given pages (exactly TableDefinitionPageCount of them, in chain order),
// each with its header, next-page pointer and free-space field. Unused bytes are zero.
std::vector<Page> WriteTableDefinitionPages(const TableDefinition& def,
                                            std::span<const PageNumber> pages);

}  // namespace cs::jetfile
