// Writing a table's rows anew, in place: the rows of an existing table replaced by those of a
// RowSource, its definition page kept where it is so that the catalog and every reference to the
// table stay valid.
//
// The rows are read twice. The first reading changes nothing: each row is checked to fit its
// table (encoded, or vouched for by a bound on its size when its values are plain), and each real
// index's entries are made and checked against its rules (a Null in a required index, two rows
// with one key in a unique index), so that rows the table refuses are a FormatError with the file
// untouched. The second reading writes. The new content goes to the pages of the old content
// (data, long-value and index pages) first, in ascending order, so that the table takes back the
// room it had and the file does not grow; more pages come from the free-page map, and the old
// pages left over are given back to it at the end. Data pages are written as rows come (long
// values through LongValueWriter, one per Memo/OLE column), then the indexes are built from the
// entries (the only thing held for every row: its key, packed, and its place), the table's usage
// maps are rewritten, and the definition last, on its own pages (continuation pages added or
// given back as it needs): row count, the AutoNumber counter, each index's root page and its
// count of distinct keys.
#pragma once

#include "jetfile/format.h"
#include "jetfile/row_source.h"

namespace cs::jetfile {

class PageFile;
class FreePageMap;

enum class Reading {
  // Read twice: checked whole first, so that a refusal leaves the file untouched.
  kCheckFirst,
  // Read once, each row checked as it is written, an index's rules once every row is: for a file
  // thrown away when writing it fails, since a refusal comes after part of the table was written.
  kOnce,
};

// Replaces every row of the table whose definition starts on page `definition_page`. A Null
// AutoNumber value is given the next number of the table's counter; the counter (the last number
// given, as the definition keeps it) ends at least at the largest AutoNumber written. The rows of
// other tables are not looked at: a relationship's integrity is the caller's to keep. FormatError, before anything is written, for a damaged table
// (definition, maps or pages that are not what they say), a row that does not fit the table (a
// wrong number of values, a value of the wrong type, text longer than its column, a row larger
// than a page), or a row an index's rules refuse; std::invalid_argument for a database opened
// for reading.
void WriteTableRows(PageFile& pages, FreePageMap& free_pages, PageNumber definition_page,
                    RowSource& rows, Reading reading = Reading::kCheckFirst);

}  // namespace cs::jetfile
