#include "jetfile/free_page_map.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "jetfile/page_file.h"

namespace cs::jetfile {
namespace {

constexpr RowPointer kMapRow{1, 0};
constexpr std::uint8_t kInline = 0x00;
constexpr std::uint8_t kReference = 0x01;
constexpr std::uint8_t kMapPage = 0x05;
constexpr std::size_t kInlineHeader = 5;
constexpr std::size_t kMapPageHeader = 4;
constexpr PageNumber kPagesPerMapPage = (kPageSize - kMapPageHeader) * 8;
// The pages no one may free: the header, this map, the catalog.
constexpr PageNumber kFirstFreeablePage = 3;

void MarkBit(Page& page, std::size_t byte, unsigned bit, bool on) {
  const auto mask = static_cast<std::uint8_t>(1u << bit);
  page[byte] = on ? static_cast<std::uint8_t>(page[byte] | mask)
                  : static_cast<std::uint8_t>(page[byte] & ~mask);
}

}  // namespace

FreePageMap::FreePageMap(PageFile& pages) : pages_(pages), known_page_count_(pages.page_count()) {
  Page page;
  pages_.Read(kMapRow.page, page);
  row_ = LocateRow(page, kMapRow);
  const PageNumber count = pages_.page_count();
  // Records the set bits of a bitmap whose bit k is page `first` + k.
  const auto collect = [&](const std::uint8_t* bitmap, std::size_t bytes, std::uint64_t first) {
    for (std::size_t i = 0; i < bytes; ++i) {
      if (bitmap[i] == 0) continue;
      for (unsigned bit = 0; bit < 8; ++bit) {
        if ((bitmap[i] & (1u << bit)) == 0) continue;
        const std::uint64_t p = first + i * 8 + bit;
        if (p >= count) continue;  // past the end: free until the file grows into it
        if (p < kFirstFreeablePage) {
          throw FormatError("The free-page map marks page " + std::to_string(p) +
                            " free, which the database always uses.");
        }
        free_.insert(static_cast<PageNumber>(p));
      }
    }
  };
  const std::uint8_t type = page[row_.begin];
  if (type == kInline) {
    if (row_.size() < kInlineHeader) throw FormatError("The free-page map is cut short.");
    window_start_ = GetU32(&page[row_.begin + 1]);
    window_pages_ = static_cast<PageNumber>((row_.size() - kInlineHeader) * 8);
    collect(&page[row_.begin + kInlineHeader], row_.size() - kInlineHeader, window_start_);
  } else if (type == kReference) {
    inline_ = false;
    Page map;
    for (std::size_t k = 0; k < (row_.size() - 1) / 4; ++k) {
      const PageNumber number = GetU32(&page[row_.begin + 1 + 4 * k]);
      map_pages_.push_back(number);
      if (number == 0) continue;
      if (number >= count) {
        throw FormatError("The free-page map refers to page " + std::to_string(number) +
                          ", past the end of the database.");
      }
      pages_.Read(number, map);
      if (map[0] != kMapPage) {
        throw FormatError("The free-page map refers to page " + std::to_string(number) +
                          ", which is no usage map page.");
      }
      collect(&map[kMapPageHeader], kPageSize - kMapPageHeader,
              std::uint64_t{kPagesPerMapPage} * k);
    }
    for (const PageNumber number : map_pages_) {
      if (free_.contains(number)) {
        throw FormatError("The free-page map marks its own page " + std::to_string(number) +
                          " free.");
      }
    }
  } else {
    throw FormatError("The free-page map is of an unknown type (" + std::to_string(type) + ").");
  }
}

bool FreePageMap::IsFree(PageNumber page) const {
  return free_.contains(page) ||
         std::find(unrecorded_.begin(), unrecorded_.end(), page) != unrecorded_.end();
}

std::vector<PageNumber> FreePageMap::FreePages() const {
  std::vector<PageNumber> out(free_.begin(), free_.end());
  out.insert(out.end(), unrecorded_.begin(), unrecorded_.end());
  std::sort(out.begin(), out.end());
  return out;
}

bool FreePageMap::BitOf(PageNumber page, PageNumber& holder, std::size_t& byte,
                        unsigned& bit) const {
  if (inline_) {
    if (page < window_start_ || page - window_start_ >= window_pages_) return false;
    const PageNumber k = page - window_start_;
    holder = kMapRow.page;
    byte = row_.begin + kInlineHeader + k / 8;
    bit = k % 8;
    return true;
  }
  const std::size_t slot = page / kPagesPerMapPage;
  if (slot >= map_pages_.size() || map_pages_[slot] == 0) return false;
  const PageNumber k = page % kPagesPerMapPage;
  holder = map_pages_[slot];
  byte = kMapPageHeader + k / 8;
  bit = k % 8;
  return true;
}

void FreePageMap::SetBit(PageNumber page, bool free) {
  PageNumber holder = 0;
  std::size_t byte = 0;
  unsigned bit = 0;
  if (!BitOf(page, holder, byte, bit)) return;
  Page map;
  pages_.Read(holder, map);
  MarkBit(map, byte, bit, free);
  pages_.Write(holder, map);
}

PageNumber FreePageMap::Allocate() {
  if (pages_.page_count() != known_page_count_) {
    throw std::logic_error("The database grew without its free-page map.");
  }
  if (!unrecorded_.empty()) {
    const auto lowest = std::min_element(unrecorded_.begin(), unrecorded_.end());
    const PageNumber page = *lowest;
    unrecorded_.erase(lowest);
    return page;
  }
  if (!free_.empty()) {
    const PageNumber page = *free_.begin();
    SetBit(page, false);
    free_.erase(free_.begin());
    return page;
  }
  return Append();
}

PageNumber FreePageMap::Append() {
  if (!inline_) {
    // A page of a range no map page covers yet gets one first, so that the map can say it is
    // used.
    const std::size_t slot = pages_.page_count() / kPagesPerMapPage;
    if (slot < map_pages_.size() && map_pages_[slot] == 0) AddMapPage(slot);
  }
  const Page zeros{};
  const PageNumber page = pages_.Append(zeros);
  ++known_page_count_;
  if (inline_ && window_pages_ > 0 &&
      (page < window_start_ || page - window_start_ >= window_pages_)) {
    MoveWindow(page);
  } else {
    SetBit(page, false);
  }
  return page;
}

void FreePageMap::MoveWindow(PageNumber appended) {
  // Nothing inside the file is free now (or nothing would have been appended), so the new
  // window marks free exactly its pages past the end of the file. It starts half a window
  // before the new page, on a multiple of 8, never before the old start.
  const PageNumber half = window_pages_ / 2;
  PageNumber start = appended > half ? (appended - half) / 8 * 8 : 0;
  start = std::max(start, window_start_);
  if (appended - start >= window_pages_) start = appended / 8 * 8;
  Page page;
  pages_.Read(kMapRow.page, page);
  PutU32(&page[row_.begin + 1], start);
  for (PageNumber k = 0; k < window_pages_; ++k) {
    MarkBit(page, row_.begin + kInlineHeader + k / 8, k % 8, std::uint64_t{start} + k > appended);
  }
  pages_.Write(kMapRow.page, page);
  window_start_ = start;
}

void FreePageMap::AddMapPage(std::size_t slot) {
  const PageNumber number = pages_.page_count();
  Page map{};
  map[0] = kMapPage;
  map[1] = 0x01;
  const std::uint64_t first = std::uint64_t{kPagesPerMapPage} * slot;
  for (PageNumber k = 0; k < kPagesPerMapPage; ++k) {
    MarkBit(map, kMapPageHeader + k / 8, k % 8, first + k > number);
  }
  pages_.Append(map);
  ++known_page_count_;
  Page page;
  pages_.Read(kMapRow.page, page);
  PutU32(&page[row_.begin + 1 + 4 * slot], number);
  pages_.Write(kMapRow.page, page);
  map_pages_[slot] = number;
}

void FreePageMap::Free(PageNumber page) {
  if (page < kFirstFreeablePage) {
    throw std::invalid_argument("Page " + std::to_string(page) + " of a database is never freed.");
  }
  if (page >= pages_.page_count()) {
    throw std::invalid_argument("Page " + std::to_string(page) +
                                " is past the end of the database.");
  }
  if (IsFree(page)) {
    throw std::invalid_argument("Page " + std::to_string(page) + " is already free.");
  }
  if (std::find(map_pages_.begin(), map_pages_.end(), page) != map_pages_.end()) {
    throw std::invalid_argument("Page " + std::to_string(page) +
                                " holds the free-page map itself.");
  }
  Page content;
  pages_.Read(page, content);
  std::fill_n(content.begin(), 4, 0);
  pages_.Write(page, content);
  PageNumber holder = 0;
  std::size_t byte = 0;
  unsigned bit = 0;
  if (BitOf(page, holder, byte, bit)) {
    SetBit(page, true);
    free_.insert(page);
  } else {
    unrecorded_.push_back(page);
  }
}

}  // namespace cs::jetfile
