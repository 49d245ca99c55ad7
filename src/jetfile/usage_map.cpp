#include "jetfile/usage_map.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "jetfile/free_page_map.h"
#include "jetfile/page_file.h"

namespace cs::jetfile {
namespace {

constexpr std::uint8_t kDataPage = 0x01;
constexpr std::uint8_t kMapPage = 0x05;
constexpr std::uint8_t kInline = 0x00;
constexpr std::uint8_t kReference = 0x01;
constexpr std::size_t kRowCountOffset = 0x0C;
constexpr std::size_t kRowTableOffset = 0x0E;
constexpr std::uint16_t kRowDeleted = 0x8000;
constexpr std::uint16_t kRowOverflow = 0x4000;
constexpr std::uint16_t kRowOffsetMask = 0x1FFF;
constexpr std::size_t kInlineHeader = 5;   // type, start page
constexpr std::size_t kMapPageHeader = 4;  // 05 01 00 00
constexpr PageNumber kPagesPerMapPage = (kPageSize - kMapPageHeader) * 8;

std::string Where(RowPointer where) {
  return "row " + std::to_string(where.row) + " of page " + std::to_string(where.page);
}

// The map pages a reference map's row has room for.
std::size_t ReferenceSlots(RowBytes row) { return (row.size() - 1) / 4; }

// Reads map page `number` (referenced from `where`) and checks that it is one.
void ReadMapPage(PageFile& pages, RowPointer where, PageNumber number, Page& page) {
  if (number >= pages.page_count()) {
    throw FormatError("The usage map at " + Where(where) + " refers to page " +
                      std::to_string(number) + ", past the end of the database.");
  }
  pages.Read(number, page);
  if (page[0] != kMapPage) {
    throw FormatError("The usage map at " + Where(where) + " refers to page " +
                      std::to_string(number) + ", which is no usage map page (type " +
                      std::to_string(page[0]) + ").");
  }
}

// Adds the pages of a bitmap, bit k being page `first` + k, and checks each is in the file.
void AddBits(std::span<const std::uint8_t> bitmap, std::uint64_t first, PageNumber page_count,
             RowPointer where, std::vector<PageNumber>& out) {
  for (std::size_t i = 0; i < bitmap.size(); ++i) {
    if (bitmap[i] == 0) continue;
    for (int bit = 0; bit < 8; ++bit) {
      if ((bitmap[i] & (1u << bit)) == 0) continue;
      const std::uint64_t page = first + i * 8 + static_cast<unsigned>(bit);
      if (page >= page_count) {
        throw FormatError("The usage map at " + Where(where) + " lists page " +
                          std::to_string(page) + ", past the end of the database.");
      }
      out.push_back(static_cast<PageNumber>(page));
    }
  }
}

void SetBits(std::span<std::uint8_t> bitmap, std::uint64_t first,
             std::span<const PageNumber> sorted) {
  std::fill(bitmap.begin(), bitmap.end(), 0);
  const std::uint64_t last = first + bitmap.size() * 8;
  for (auto it = std::lower_bound(sorted.begin(), sorted.end(), first);
       it != sorted.end() && *it < last; ++it) {
    const std::uint64_t bit = *it - first;
    bitmap[bit / 8] = static_cast<std::uint8_t>(bitmap[bit / 8] | (1u << (bit % 8)));
  }
}

}  // namespace

RowBytes LocateRow(const Page& page, RowPointer where) {
  if (page[0] != kDataPage) {
    throw FormatError("Page " + std::to_string(where.page) + " should be a data page (type " +
                      std::to_string(page[0]) + ").");
  }
  const std::uint16_t rows = GetU16(&page[kRowCountOffset]);
  const std::size_t table_end = kRowTableOffset + 2 * std::size_t{rows};
  if (where.row >= rows || table_end > kPageSize) {
    throw FormatError("The database refers to " + Where(where) + ", which has " +
                      std::to_string(rows) + " rows.");
  }
  const std::uint16_t entry = GetU16(&page[kRowTableOffset + 2 * std::size_t{where.row}]);
  if ((entry & (kRowDeleted | kRowOverflow)) != 0) {
    throw FormatError("The database refers to " + Where(where) + ", which is deleted or moved.");
  }
  RowBytes out;
  out.begin = entry & kRowOffsetMask;
  out.end = where.row == 0 ? kPageSize
                           : GetU16(&page[kRowTableOffset + 2 * (std::size_t{where.row} - 1)]) &
                                 kRowOffsetMask;
  if (out.begin < table_end || out.end > kPageSize || out.begin >= out.end) {
    throw FormatError("The offsets of " + Where(where) + " leave the page.");
  }
  return out;
}

std::vector<PageNumber> ReadUsageMap(PageFile& pages, RowPointer where) {
  if (where.page == 0) throw FormatError("The database places a usage map on page 0.");
  Page page;
  pages.Read(where.page, page);
  const RowBytes row = LocateRow(page, where);
  std::vector<PageNumber> out;
  const std::span<const std::uint8_t> bytes(&page[row.begin], row.size());
  if (bytes[0] == kInline) {
    if (bytes.size() < kInlineHeader) {
      throw FormatError("The usage map at " + Where(where) + " is cut short.");
    }
    AddBits(bytes.subspan(kInlineHeader), GetU32(&bytes[1]), pages.page_count(), where, out);
  } else if (bytes[0] == kReference) {
    Page map;
    for (std::size_t k = 0; k < ReferenceSlots(row); ++k) {
      const PageNumber number = GetU32(&bytes[1 + 4 * k]);
      if (number == 0) continue;
      ReadMapPage(pages, where, number, map);
      AddBits(std::span(map).subspan(kMapPageHeader), std::uint64_t{kPagesPerMapPage} * k,
              pages.page_count(), where, out);
    }
  } else {
    throw FormatError("The usage map at " + Where(where) + " is of an unknown type (" +
                      std::to_string(bytes[0]) + ").");
  }
  return out;
}

void WriteUsageMap(PageFile& pages, FreePageMap& free_pages, RowPointer where,
                   std::span<const PageNumber> listed) {
  std::vector<PageNumber> sorted(listed.begin(), listed.end());
  std::sort(sorted.begin(), sorted.end());
  if (std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end()) {
    throw std::invalid_argument("A usage map lists a page twice.");
  }
  if (!sorted.empty() && sorted.back() >= pages.page_count()) {
    throw std::invalid_argument("A usage map would list page " + std::to_string(sorted.back()) +
                                ", past the end of the database.");
  }
  // Checks the map as it is before anything changes.
  ReadUsageMap(pages, where);
  Page page;
  pages.Read(where.page, page);
  const RowBytes row = LocateRow(page, where);
  const std::span<std::uint8_t> bytes(&page[row.begin], row.size());

  if (bytes[0] == kInline) {
    const std::uint64_t window = (bytes.size() - kInlineHeader) * 8;
    std::uint64_t start = GetU32(&bytes[1]);
    const auto fits = [&](std::uint64_t s) {
      return sorted.empty() || (sorted.front() >= s && sorted.back() - s < window);
    };
    if (!fits(start)) start = sorted.front() / 8 * 8;
    if (fits(start)) {
      PutU32(&bytes[1], static_cast<std::uint32_t>(start));
      SetBits(bytes.subspan(kInlineHeader), start, sorted);
      pages.Write(where.page, page);
      return;
    }
    if (ReferenceSlots(row) == 0) {
      throw FormatError("The usage map at " + Where(where) +
                        " is too short to become a reference map.");
    }
    // Promoted: the map pages are written first, the row last, so that the old map stays
    // whole until the new one is complete.
    bytes[0] = kReference;
    std::fill(bytes.begin() + 1, bytes.end(), 0);
  }

  const std::size_t slots = ReferenceSlots(row);
  if (!sorted.empty() && sorted.back() / kPagesPerMapPage >= slots) {
    throw FormatError("The usage map at " + Where(where) + " cannot list page " +
                      std::to_string(sorted.back()) + ".");
  }
  Page map;
  for (std::size_t k = 0; k < slots; ++k) {
    const std::uint64_t first = std::uint64_t{kPagesPerMapPage} * k;
    PageNumber number = GetU32(&bytes[1 + 4 * k]);
    const bool needed =
        std::lower_bound(sorted.begin(), sorted.end(), first) != sorted.end() &&
        *std::lower_bound(sorted.begin(), sorted.end(), first) < first + kPagesPerMapPage;
    if (number == 0 && !needed) continue;
    if (number == 0) {
      number = free_pages.Allocate();
      map.fill(0);
      map[0] = kMapPage;
      map[1] = 0x01;
      PutU32(&bytes[1 + 4 * k], number);
    } else {
      ReadMapPage(pages, where, number, map);
    }
    SetBits(std::span(map).subspan(kMapPageHeader), first, sorted);
    pages.Write(number, map);
  }
  pages.Write(where.page, page);
}

}  // namespace cs::jetfile
