#include "jetfile/data_page.h"

#include <algorithm>
#include <set>
#include <string>

namespace cs::jetfile {

namespace {

std::string Where(PageNumber number) { return "data page " + std::to_string(number); }

}  // namespace

std::uint32_t DataPageOwner(const Page& page) { return GetU32(page.data() + 4); }

std::vector<RowSlot> ListRows(const Page& page, PageNumber number) {
  if (page[0] != kDataPageType) {
    throw FormatError(Where(number) + ": page type " + std::to_string(page[0]) +
                      ", not a data page");
  }
  std::size_t count = GetU16(page.data() + 0x0C);
  if (count > kMaxRowsOnPage || kDataPageHeaderSize + 2 * count > kPageSize) {
    throw FormatError(Where(number) + ": row count " + std::to_string(count) +
                      " does not fit the page");
  }
  std::size_t table_end = kDataPageHeaderSize + 2 * count;
  std::vector<RowSlot> rows(count);
  std::size_t previous_begin = kPageSize;
  for (std::size_t i = 0; i < count; ++i) {
    std::uint16_t raw = GetU16(page.data() + kDataPageHeaderSize + 2 * i);
    RowSlot& slot = rows[i];
    std::size_t begin = raw & kRowOffsetMask;
    slot.deleted = (raw & kRowDeleted) != 0;
    if (begin > previous_begin || begin < table_end) {
      // A deleted row's offset carries no data; anything else out of place is damage.
      if (!slot.deleted) {
        throw FormatError(Where(number) + ": row " + std::to_string(i) + " at offset " +
                          std::to_string(begin) + " lies outside " + std::to_string(table_end) +
                          ".." + std::to_string(previous_begin));
      }
      slot.begin = slot.end = static_cast<std::uint16_t>(previous_begin);
      continue;
    }
    slot.begin = static_cast<std::uint16_t>(begin);
    slot.end = static_cast<std::uint16_t>(previous_begin);
    previous_begin = begin;
    if (!slot.deleted && (raw & kRowOverflow) != 0) {
      if (slot.end - slot.begin < 4) {
        throw FormatError(Where(number) + ": overflow row " + std::to_string(i) +
                          " is shorter than its 4-byte pointer");
      }
      const std::uint8_t* p = page.data() + slot.begin;
      slot.moved_to = RowPointer{GetU24(p + 1), p[0]};
    }
  }
  return rows;
}

std::span<const std::uint8_t> RowBytes(const Page& page, PageNumber number, std::size_t row) {
  std::vector<RowSlot> rows = ListRows(page, number);
  if (row >= rows.size()) {
    throw FormatError(Where(number) + ": no row " + std::to_string(row) + " (the page has " +
                      std::to_string(rows.size()) + ")");
  }
  const RowSlot& slot = rows[row];
  if (slot.deleted) {
    throw FormatError(Where(number) + ": row " + std::to_string(row) + " is deleted");
  }
  if (slot.moved_to) {
    throw FormatError(Where(number) + ": row " + std::to_string(row) + " has moved to page " +
                      std::to_string(slot.moved_to->page));
  }
  return std::span<const std::uint8_t>(page.data() + slot.begin, slot.end - slot.begin);
}

std::vector<RowPointer> TableScanOrder(std::span<const PageNumber> data_pages,
                                       const PageReader& read) {
  struct Listed {
    PageNumber number;
    std::uint32_t owner;
    std::vector<RowSlot> rows;
  };
  std::vector<Listed> listed;
  listed.reserve(data_pages.size());
  std::set<RowPointer> targets;
  for (PageNumber number : data_pages) {
    Page page = read(number);
    Listed l{number, DataPageOwner(page), ListRows(page, number)};
    for (const RowSlot& slot : l.rows) {
      if (slot.moved_to && !targets.insert(*slot.moved_to).second) {
        throw FormatError(Where(number) + ": two overflow rows point at row " +
                          std::to_string(slot.moved_to->row) + " of page " +
                          std::to_string(slot.moved_to->page));
      }
    }
    listed.push_back(std::move(l));
  }
  std::vector<RowPointer> order;
  for (const Listed& l : listed) {
    for (std::size_t i = 0; i < l.rows.size(); ++i) {
      const RowSlot& slot = l.rows[i];
      RowPointer here{l.number, static_cast<std::uint8_t>(i)};
      if (slot.deleted) continue;
      if (!slot.moved_to) {
        // A moved row is seen where its pointer stands, not where it sits.
        if (targets.count(here) == 0) order.push_back(here);
        continue;
      }
      const RowPointer& to = *slot.moved_to;
      Page target = read(to.page);
      if (target[0] != kDataPageType || DataPageOwner(target) != l.owner) {
        throw FormatError(Where(l.number) + ": row " + std::to_string(i) + " has moved to page " +
                          std::to_string(to.page) + ", which is not a data page of the same table");
      }
      std::vector<RowSlot> rows = ListRows(target, to.page);
      if (to.row >= rows.size() || rows[to.row].deleted || rows[to.row].moved_to) {
        throw FormatError(Where(l.number) + ": row " + std::to_string(i) + " has moved to row " +
                          std::to_string(to.row) + " of page " + std::to_string(to.page) +
                          ", which is not a live row");
      }
      order.push_back(to);
    }
  }
  return order;
}

DataPageBuilder::DataPageBuilder(std::uint32_t owner) {
  page_.fill(0);
  page_[0] = kDataPageType;
  page_[1] = 0x01;
  PutU16(page_.data() + 2, static_cast<std::uint16_t>(kEmptyDataPageFreeSpace));
  PutU32(page_.data() + 4, owner);
}

std::size_t DataPageBuilder::FreeSpace() const { return GetU16(page_.data() + 2); }

std::size_t DataPageBuilder::RowCount() const { return GetU16(page_.data() + 0x0C); }

bool DataPageBuilder::HasRoomFor(std::size_t size) const {
  return RowCount() < kMaxRowsOnPage && size + 2 <= FreeSpace();
}

std::uint8_t DataPageBuilder::Add(std::span<const std::uint8_t> row) {
  if (!HasRoomFor(row.size())) {
    throw FormatError("a row of " + std::to_string(row.size()) +
                      " bytes does not fit a page with " + std::to_string(FreeSpace()) +
                      " bytes free and " + std::to_string(RowCount()) + " rows");
  }
  std::size_t count = RowCount();
  std::size_t begin = lowest_ - row.size();
  lowest_ = begin;
  std::copy(row.begin(), row.end(), page_.begin() + static_cast<std::ptrdiff_t>(begin));
  PutU16(page_.data() + kDataPageHeaderSize + 2 * count, static_cast<std::uint16_t>(begin));
  PutU16(page_.data() + 0x0C, static_cast<std::uint16_t>(count + 1));
  PutU16(page_.data() + 2, static_cast<std::uint16_t>(FreeSpace() - row.size() - 2));
  return static_cast<std::uint8_t>(count);
}

}  // namespace cs::jetfile
