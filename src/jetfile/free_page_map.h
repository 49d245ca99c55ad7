// The free-page map of a Jet 4 database: row 0 of page 1, a usage map whose set bits are the
// pages that are free. Access keeps it inline, a window of 512 pages (800 in some files) from a
// start page; every window page past the end of the file is marked free, and old pages inside it
// may be marked free with stale contents. A reference map (map pages covering the whole file) is
// read and kept the same way.
//
// This map treats a page as free only when its bit is set and it lies inside the file: a page
// the map cannot speak of (outside the window, or unknown, or zero-filled and not marked) is
// never handed out. Allocate reuses the lowest free page, else appends one to the file; when an
// appended page falls past an inline window, the window moves forward so that it covers the new
// page (Access does the same). Nothing free is lost by that move, because a page is appended
// only when no page inside the file is free. A page freed outside what the map can record is
// kept for this map's later allocations instead (and stays unused in the file if none comes).
//
// Every page the database gains must come from Allocate: a page appended to the PageFile behind
// this map's back is std::logic_error at the next allocation.
#pragma once

#include <cstddef>
#include <set>
#include <vector>

#include "jetfile/format.h"
#include "jetfile/usage_map.h"

namespace cs::jetfile {

class PageFile;

class FreePageMap {
 public:
  // Reads the map. FormatError when page 1 or its row 0 is unsound, or a map page is not one.
  explicit FreePageMap(PageFile& pages);

  bool IsFree(PageNumber page) const;
  // The free pages inside the file, ascending.
  std::vector<PageNumber> FreePages() const;

  // A page for the caller to write: a free page taken out of the map, or a new page of zeros
  // at the end of the file. Its contents are the caller's; a reused page holds stale bytes.
  PageNumber Allocate();

  // Gives a page back: its header is overwritten (type 0, so that nothing takes it for what it
  // was) and it is marked free. std::invalid_argument for page 0, 1 or 2 (the header, this map,
  // the catalog), a page past the end, or a page already free.
  void Free(PageNumber page);

  bool is_inline() const { return inline_; }
  // The inline window: its first page and how many pages it covers.
  PageNumber window_start() const { return window_start_; }
  PageNumber window_pages() const { return window_pages_; }
  // Pages freed where the map could not record them, held for this map's next allocations.
  std::size_t unrecorded_free_pages() const { return unrecorded_.size(); }

 private:
  // The page and byte where a page's bit lives, or false when the map has no bit for it.
  bool BitOf(PageNumber page, PageNumber& holder, std::size_t& byte, unsigned& bit) const;
  void SetBit(PageNumber page, bool free);
  PageNumber Append();
  void MoveWindow(PageNumber appended);
  void AddMapPage(std::size_t slot);

  PageFile& pages_;
  struct RowBytes row_;
  bool inline_ = true;
  PageNumber window_start_ = 0;
  PageNumber window_pages_ = 0;
  std::vector<PageNumber> map_pages_;  // reference map: by slot, 0 for none
  std::set<PageNumber> free_;          // marked free, inside the file
  std::vector<PageNumber> unrecorded_;
  PageNumber known_page_count_;
};

}  // namespace cs::jetfile
