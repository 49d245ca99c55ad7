// A table's definition as the Jet file stores it (its TDEF pages), read from the raw pages and
// checked for what a sound one always holds, before any of the table's rows is believed.
//
// libmdb trusts the definition it parses: one damaged column number moves a column to the end,
// and libmdb then reads it empty in every row without a word. The reader process therefore reads
// the definition itself, from the same pages, and refuses the file when it does not hold:
//   - the columns, their entries, their names (1 to 64 characters each) and the chain of
//     definition pages lie inside the file, the chain without loops;
//   - there are no fewer indexes than index definitions (each is used by one index at least),
//     and all of them lie inside the file;
//   - column numbers are distinct and below the table's largest column count (which counts the
//     columns deleted since), and there is at least one column;
//   - the columns without the fixed flag are as many as the definition says, and their places in
//     a row's table of variable columns are 0, 1, 2, ... without gaps or repeats;
//   - columns with the fixed flag are of a fixed-size type (or OLE objects, in system tables), lie
//     inside the largest fixed part a row on a page can hold and do not overlap (Yes/No takes no
//     space: its value is the null-mask bit); when no column was deleted (a row has as many
//     columns as the table) they follow each other from the start of the fixed part;
//   - lengths fit each type: the type's size for the fixed-size types (in system tables these may
//     be variable, so the flag, not the type, says where a value lies), 1 to 255 characters for
//     Text, 1 to 255 bytes for Binary (510 in Jet 4, where Text counts two bytes a character), 0
//     for Memo and OLE; a type this program does not know is refused;
//   - the row count is no more than the pages the table owns can hold.
// A value changed inside a row cannot be found this way: Jet pages carry no checksums.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <stdexcept>
#include <vector>

namespace cs::db::jetfile {

// What a definition fails; its message says what, for the reader's failure frame.
class DefinitionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct ColumnDefinition {
  std::uint8_t type = 0;
  std::uint16_t number = 0;          // its bit in the null mask; counts deleted columns
  std::uint16_t variable_index = 0;  // its place in the row's variable-column table
  bool fixed = false;
  std::uint16_t fixed_offset = 0;  // in the row's fixed part, after the column count
  std::uint16_t length = 0;        // bytes
};

struct TableDefinition {
  bool jet4 = true;
  std::uint32_t rows = 0;
  std::uint16_t max_columns = 0;  // the most columns a row has (deleted columns included)
  std::uint16_t variable_columns = 0;
  std::uint32_t logical_indexes = 0;
  std::uint32_t real_indexes = 0;
  std::vector<ColumnDefinition> columns;  // in the order stored, not by number
};

// Jet 4 pages are 4096 bytes, Jet 3 pages 2048.
std::size_t PageSize(bool jet4);

// Reads page `page` of the file, decoded, into `out` (a page's size); false when it cannot.
using PageReader = std::function<bool(std::uint32_t page, std::span<std::uint8_t> out)>;

// Reads the definition that begins on `first_page` of a file of `pages` pages. Throws
// DefinitionError when it does not lie whole in the file.
TableDefinition ReadTableDefinition(bool jet4, std::uint32_t first_page, std::uint32_t pages,
                                    const PageReader& read);

// Throws DefinitionError when the definition is not sound (above). owned_pages: the pages the
// table's usage map gives it.
void CheckTableDefinition(const TableDefinition& table, std::uint32_t owned_pages);

// The size a value of the type always has in a row (Yes/No: 1 in a definition, though its value
// is the null-mask bit); 0 for Text, Binary, Memo, OLE and unknown types.
std::uint16_t TypeSize(std::uint8_t type);

}  // namespace cs::db::jetfile
