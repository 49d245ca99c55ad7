// Writing a table's rows anew, in place: the rows of an existing table replaced by those of a
// RowSource, its definition page kept where it is so that the catalog and every reference to the
// table stay valid.
//
// The rows are read twice. The first reading changes nothing: each row is encoded to check that
// it fits its table, and each real index's entries are made and checked against its rules (a Null
// in a required index, two rows with one key in a unique index), so that rows the table refuses
// are a FormatError with the file untouched. The second reading writes: the pages of the old
// content (data, long-value and index pages) are given back to the free-page map first, so that
// the new content reuses them and the file does not grow; then data pages are written as rows
// come (with long values through LongValueWriter, one per Memo/OLE column), the indexes are built
// from the entries (the only thing held for every row: a key and a place), the table's usage maps
// are rewritten, and the definition last, on its own pages (continuation pages added or given
// back as it needs): row count, the AutoNumber counter, each index's root page and entry count.
#pragma once

#include "jetfile/format.h"
#include "jetfile/row_source.h"

namespace cs::jetfile {

class PageFile;
class FreePageMap;

// Replaces every row of the table whose definition starts on page `definition_page`. A Null
// AutoNumber value is given the next number of the table's counter; the counter ends at least at
// the largest AutoNumber written. FormatError, before anything is written, for a damaged table
// (definition, maps or pages that are not what they say), a row that does not fit the table (a
// wrong number of values, a value of the wrong type, text longer than its column, a row larger
// than a page), or a row an index's rules refuse; std::invalid_argument for a database opened
// for reading.
void WriteTableRows(PageFile& pages, FreePageMap& free_pages, PageNumber definition_page,
                    RowSource& rows);

}  // namespace cs::jetfile
