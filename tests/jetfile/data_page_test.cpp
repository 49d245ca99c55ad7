#include "jetfile/data_page.h"

#include <gtest/gtest.h>

#include <map>

#include "fixture.h"

namespace cs::jetfile {
namespace {

using test::JetFile;

Bytes RowOf(std::size_t size, std::uint8_t fill) { return Bytes(size, fill); }

TEST(DataPage, BuildsPagesThatListTheirRowsBack) {
  struct Case {
    const char* what;
    std::vector<std::size_t> sizes;
  };
  const Case cases[] = {
      {"one small row", {10}},
      {"rows of several sizes", {1, 300, 4, 77}},
      {"one row filling the page", {kEmptyDataPageFreeSpace - 2}},
      {"two rows filling the page", {2000, kEmptyDataPageFreeSpace - 2 - 2002}},
  };
  for (const Case& c : cases) {
    DataPageBuilder b(1234);
    for (std::size_t i = 0; i < c.sizes.size(); ++i) {
      ASSERT_TRUE(b.HasRoomFor(c.sizes[i])) << c.what;
      EXPECT_EQ(b.Add(RowOf(c.sizes[i], static_cast<std::uint8_t>(i + 1))), i);
    }
    const Page& page = b.page();
    EXPECT_EQ(page[0], kDataPageType);
    EXPECT_EQ(DataPageOwner(page), 1234u);
    auto rows = ListRows(page, 9);
    ASSERT_EQ(rows.size(), c.sizes.size());
    std::size_t used = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
      auto bytes = RowBytes(page, 9, i);
      EXPECT_EQ(Bytes(bytes.begin(), bytes.end()),
                RowOf(c.sizes[i], static_cast<std::uint8_t>(i + 1)));
      used += c.sizes[i];
    }
    EXPECT_EQ(GetU16(page.data() + 2), rows.back().begin - (14 + 2 * rows.size())) << c.what;
    EXPECT_EQ(b.FreeSpace(), kEmptyDataPageFreeSpace - used - 2 * rows.size());
    EXPECT_FALSE(b.HasRoomFor(b.FreeSpace() - 1));
    EXPECT_TRUE(b.FreeSpace() < 2 || b.HasRoomFor(b.FreeSpace() - 2));
  }
}

TEST(DataPage, RefusesARowThatDoesNotFitAndThe256thRow) {
  DataPageBuilder b(kLongValueOwner);
  EXPECT_THROW(b.Add(RowOf(kEmptyDataPageFreeSpace - 1, 0)), FormatError);
  for (std::size_t i = 0; i < kMaxRowsOnPage; ++i) b.Add(RowOf(1, 1));
  EXPECT_FALSE(b.HasRoomFor(1));
  EXPECT_THROW(b.Add(RowOf(1, 1)), FormatError);
  EXPECT_EQ(ListRows(b.page(), 1).size(), kMaxRowsOnPage);
}

// Every data page of the fixtures lists cleanly, with its free space equal to the lowest row
// offset less the header and row table.
TEST(DataPage, EveryFixtureDataPageListsWithItsFreeSpaceRight) {
  std::size_t pages = 0, deleted = 0;
  for (const auto& path : test::Jet4FixtureNames(false)) {
    JetFile file(path);
    std::set<PageNumber> owners;
    for (const auto& [name, page] : file.Tables(true)) owners.insert(page);
    for (PageNumber n = 1; n < file.PageCount(); ++n) {
      Page page = file.PageAt(n);
      if (page[0] != kDataPageType) continue;
      std::uint32_t owner = DataPageOwner(page);
      if (owners.count(owner) == 0 && owner != kLongValueOwner) continue;  // stale or a map page
      SCOPED_TRACE(path + " page " + std::to_string(n));
      std::vector<RowSlot> rows;
      ASSERT_NO_THROW(rows = ListRows(page, n));
      std::size_t lowest = rows.empty() ? kPageSize : rows.back().begin;
      EXPECT_EQ(GetU16(page.data() + 2), lowest - (14 + 2 * rows.size()));
      for (const RowSlot& r : rows) deleted += r.deleted;
      ++pages;
    }
  }
  EXPECT_GT(pages, 1000u);
  EXPECT_GT(deleted, 0u);
}

// A page with a deleted row (0xC000, no bytes) and an overflow row pointing at a row on another
// page of the same table; scanning sees the moved row once, in the place of its pointer.
TEST(DataPage, ScanFollowsOverflowRowsAndSkipsDeletedOnes) {
  DataPageBuilder a(77), b(77);
  a.Add(RowOf(10, 'a'));
  b.Add(RowOf(10, 'x'));     // page 2 row 0: the moved row
  b.Add(RowOf(10, 'y'));     // page 2 row 1
  a.Add(Bytes{0, 2, 0, 0});  // page 1 row 1 -> page 2 row 0
  a.Add(Bytes{});            // page 1 row 2, deleted below
  Page pa = a.page();
  PutU16(pa.data() + 14 + 2, static_cast<std::uint16_t>(GetU16(pa.data() + 14 + 2) | kRowOverflow));
  PutU16(pa.data() + 14 + 4, static_cast<std::uint16_t>(GetU16(pa.data() + 14 + 4) | 0xC000));
  std::map<PageNumber, Page> pages = {{1, pa}, {2, b.page()}};
  PageReader read = [&](PageNumber n) {
    if (!pages.count(n)) throw FormatError("no page " + std::to_string(n));
    return pages.at(n);
  };
  auto rows = ListRows(pa, 1);
  ASSERT_EQ(rows.size(), 3u);
  ASSERT_TRUE(rows[1].moved_to.has_value());
  EXPECT_EQ(*rows[1].moved_to, (RowPointer{2, 0}));
  EXPECT_TRUE(rows[2].deleted);
  EXPECT_THROW(RowBytes(pa, 1, 1), FormatError);
  EXPECT_THROW(RowBytes(pa, 1, 2), FormatError);
  EXPECT_THROW(RowBytes(pa, 1, 3), FormatError);

  std::vector<PageNumber> table = {1, 2};
  std::vector<RowPointer> order = TableScanOrder(table, read);
  EXPECT_EQ(order, (std::vector<RowPointer>{{1, 0}, {2, 0}, {2, 1}}));

  // The pointer aimed at a missing, deleted or overflow row, or another table's page: refused.
  struct Case {
    const char* what;
    Bytes pointer;
  };
  DataPageBuilder other(78);
  other.Add(RowOf(3, 'o'));
  pages[3] = other.page();
  const Case cases[] = {{"missing row", {9, 2, 0, 0}},     {"deleted row", {2, 1, 0, 0}},
                        {"overflow row", {1, 1, 0, 0}},    {"another table", {0, 3, 0, 0}},
                        {"missing page", {0, 9, 0, 0}}};
  for (const Case& c : cases) {
    Page damaged = pa;
    std::copy(c.pointer.begin(), c.pointer.end(),
              damaged.begin() + (GetU16(pa.data() + 16) & kRowOffsetMask));
    pages[1] = damaged;
    EXPECT_THROW(TableScanOrder(table, read), FormatError) << c.what;
  }
  // Row 0 turned into a second pointer at the moved row: it would be seen twice.
  Page twice = pa;
  std::copy_n(Bytes{0, 2, 0, 0}.begin(), 4, twice.begin() + GetU16(pa.data() + 14));
  PutU16(twice.data() + 14, static_cast<std::uint16_t>(GetU16(pa.data() + 14) | kRowOverflow));
  pages[1] = twice;
  EXPECT_THROW(TableScanOrder(table, read), FormatError);
}

TEST(DataPage, DamagedRowTablesAreRefused) {
  DataPageBuilder b(5);
  b.Add(RowOf(100, 1));
  b.Add(RowOf(100, 2));
  const Page sound = b.page();
  struct Case {
    const char* what;
    std::size_t offset;
    std::uint16_t value;
  };
  const Case cases[] = {
      {"row count past the page", 0x0C, 3000},     {"row count over 255", 0x0C, 256},
      {"offset inside the header", 14, 4},         {"offset increasing", 16, 4090},
      {"second row inside the row table", 16, 16},
  };
  for (const Case& c : cases) {
    Page damaged = sound;
    PutU16(damaged.data() + c.offset, c.value);
    EXPECT_THROW(ListRows(damaged, 3), FormatError) << c.what;
  }
  Page not_data = sound;
  not_data[0] = 0x02;
  EXPECT_THROW(ListRows(not_data, 3), FormatError);
}

}  // namespace
}  // namespace cs::jetfile
