// Usage maps: the sets of pages a table, an index or a long-value column owns (or has free
// space on), each kept as one row of a data page whose owner field is 0, found by (row, page).
//
//   type 0, inline:    00, u32 start page, then a bitmap: bit k (LSB first) is page start + k.
//   type 1, reference: 01, then u32 page numbers of map pages (0: none). Map page k holds
//                      05 01 00 00 and, from byte 4, the bitmap of pages k * 4092 * 8 onwards.
//
// A map row never changes its size in place: a set that no longer fits the row's inline window
// turns the map into a reference map, with map pages allocated from the free-page map. A
// reference map stays one (its map pages are kept, emptied when unused).
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "jetfile/format.h"

namespace cs::jetfile {

class PageFile;
class FreePageMap;

// Where row `row` of a data page lies: bytes [begin, end) of the page.
struct RowBytes {
  std::size_t begin = 0;
  std::size_t end = 0;
  std::size_t size() const { return end - begin; }
};

// The bytes of a live row on a data page (type 0x01) read as page `where.page`. FormatError when
// the page is no data page, the row does not exist, is deleted or points elsewhere, or its
// offsets leave the page.
// (Spelt "struct RowBytes" where declared: data_page.h has a function of the same name.)
struct RowBytes LocateRow(const Page& page, RowPointer where);

// The pages of the map whose row is at `where`, ascending. FormatError when the row is unsound,
// the map's type is unknown, a map page is not one, or the map lists a page past the end of the
// file.
std::vector<PageNumber> ReadUsageMap(PageFile& pages, RowPointer where);

// Makes the map at `where` list exactly `listed` (any order, no page twice, every one inside the
// file; std::invalid_argument otherwise). Map pages it needs come from `free_pages`.
void WriteUsageMap(PageFile& pages, FreePageMap& free_pages, RowPointer where,
                   std::span<const PageNumber> listed);

}  // namespace cs::jetfile
