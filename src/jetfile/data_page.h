// Data pages (type 0x01): the rows of a table, of long values ("LVAL" pages) or of usage maps.
//
// Header: 0x00 type, 0x01 0x01, 0x02 free space, 0x04 owner (the table's definition page, the
// text LVAL, or 0), 0x08 four bytes kept as found, 0x0C row count, 0x0E one u16 offset a row.
// Rows fill the page from its end backwards; row i runs from its offset to the start of row
// i-1 (or to the page's end for row 0). The top bits of an offset flag a deleted row (0x8000,
// written with 0x4000 as 0xC000) or, without 0x8000, an overflow row: a 4-byte pointer to where
// the row now lives.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "jetfile/format.h"
#include "jetfile/page_reader.h"

namespace cs::jetfile {

inline constexpr std::uint8_t kDataPageType = 0x01;
inline constexpr std::size_t kDataPageHeaderSize = 14;
// The owner field of long-value pages: the bytes "LVAL".
inline constexpr std::uint32_t kLongValueOwner = 0x4C41564C;
// A page holds at most this many rows: a row pointer has one byte for the row.
inline constexpr std::size_t kMaxRowsOnPage = 255;
// The room a fresh data page has for rows and their offsets.
inline constexpr std::size_t kEmptyDataPageFreeSpace = kPageSize - kDataPageHeaderSize;

inline constexpr std::uint16_t kRowDeleted = 0x8000;
inline constexpr std::uint16_t kRowOverflow = 0x4000;
inline constexpr std::uint16_t kRowOffsetMask = 0x1FFF;

struct RowSlot {
  std::uint16_t begin = 0;  // offset of the row's first byte in the page
  std::uint16_t end = 0;    // one past its last byte
  bool deleted = false;
  // Set for an overflow row: where the row lives now. Its bytes here are only the pointer.
  std::optional<RowPointer> moved_to;
};

// The owner field of a data page.
std::uint32_t DataPageOwner(const Page& page);

// Lists the rows of a data page, deleted and overflow rows included. Throws FormatError when
// the page is not a data page, its row count does not fit its row table, or a live row's offset
// lies in the header or past the row before it.
std::vector<RowSlot> ListRows(const Page& page, PageNumber number);

// The bytes of row `row` of a data page, checked as ListRows checks them. Throws FormatError
// for a row number past the row count, a deleted row, or an overflow row (whose target the
// caller follows with ListRows).
std::span<const std::uint8_t> RowBytes(const Page& page, PageNumber number, std::size_t row);

// The rows of a table in scan order, given its data pages in page order: each page's live rows
// in row order, an overflow row standing for the row it points at, and that row skipped where it
// sits so that it is not seen twice. Throws FormatError when an overflow row points at a missing,
// deleted or overflow row, or at a page owned by another table, or two point at the same row.
std::vector<RowPointer> TableScanOrder(std::span<const PageNumber> data_pages,
                                       const PageReader& read);

// Builds a data page: rows are placed from the end, each with its offset, and the free-space
// field kept equal to the lowest row offset - (14 + 2 x rows).
class DataPageBuilder {
 public:
  explicit DataPageBuilder(std::uint32_t owner);
  // True when a row of `size` bytes and its offset still fit.
  bool HasRoomFor(std::size_t size) const;
  std::size_t FreeSpace() const;
  std::size_t RowCount() const;
  // Places a row and returns its row number. Throws FormatError when it does not fit.
  std::uint8_t Add(std::span<const std::uint8_t> row);
  const Page& page() const { return page_; }

 private:
  Page page_{};
  std::size_t lowest_ = kPageSize;  // offset of the lowest row placed
};

}  // namespace cs::jetfile
