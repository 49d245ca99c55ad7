// Page 1's free-page map: what the fixtures mark free, allocation that never hands out a page in
// use, pages given back, the window moving as the file grows, and damaged maps.
#include "jetfile/free_page_map.h"

#include <gtest/gtest.h>

#include <set>

#include "jetfile/page_file.h"
#include "fixture.h"

namespace cs::jetfile {
namespace {

using test::MemoryFile;
using test::ReadFixture;

TEST(JetfileFreePageMap, FixturesMarkFreeOnlyPagesNothingUses) {
  for (const auto& name : test::Jet4FixtureNames()) {
    SCOPED_TRACE(name);
    MemoryFile file(ReadFixture(name));
    PageFile pages(file, false);
    const FreePageMap map(pages);
    EXPECT_TRUE(map.is_inline());
    EXPECT_TRUE(map.window_pages() == 512 || map.window_pages() == 800) << map.window_pages();
    Page page;
    for (const PageNumber n : map.FreePages()) {
      ASSERT_LT(n, pages.page_count());
      pages.Read(n, page);
      EXPECT_NE(page[0], 0x02) << "page " << n << " is a table definition";
    }
  }
}

TEST(JetfileFreePageMap, AllocationReusesFreePagesThenAppendsAndFreeingGivesThemBack) {
  for (const char* name : {"access-made/V2003-TEST.mdb", "ACEDATA0307-ENCODED.mdb"}) {
    SCOPED_TRACE(name);
    MemoryFile file(ReadFixture(name));
    PageFile pages(file, true);
    FreePageMap map(pages);
    const auto free_before = map.FreePages();
    const PageNumber count = pages.page_count();
    std::vector<PageNumber> got;
    for (std::size_t i = 0; i < free_before.size() + 3; ++i) got.push_back(map.Allocate());
    // The free pages first, lowest first, then new pages at the end: never a page in use.
    std::vector<PageNumber> expected = free_before;
    for (PageNumber n = count; n < count + 3; ++n) expected.push_back(n);
    EXPECT_EQ(got, expected);
    EXPECT_EQ(pages.page_count(), count + 3);
    EXPECT_TRUE(map.FreePages().empty());

    // Given back: marked free, their type gone, and found so after reopening.
    Page page;
    pages.Read(got.back(), page);
    page[0] = 0x01;
    pages.Write(got.back(), page);
    map.Free(got.back());
    map.Free(got.front());
    PageFile reopened(file, false);
    const FreePageMap again(reopened);
    EXPECT_EQ(again.FreePages(), (std::vector<PageNumber>{got.front(), got.back()}));
    reopened.Read(got.back(), page);
    EXPECT_EQ(page[0], 0x00);

    // Refused: the pages every database needs, pages past the end, a page freed twice.
    for (const PageNumber n : {0u, 1u, 2u, pages.page_count(), got.back()}) {
      EXPECT_THROW(map.Free(n), std::invalid_argument) << "page " << n;
    }
    EXPECT_EQ(map.Allocate(), got.front());
  }
}

TEST(JetfileFreePageMap, TheWindowFollowsTheGrowingFileAndNoPageIsLostOrGivenTwice) {
  MemoryFile file(ReadFixture("ACEDATA0307.mdb"));  // 111 pages, a window of 512 from 0
  PageFile pages(file, true);
  FreePageMap map(pages);
  ASSERT_EQ(map.window_start(), 0u);
  const auto free_at_first = static_cast<PageNumber>(map.FreePages().size());
  std::set<PageNumber> handed;
  for (int i = 0; i < 1500; ++i) {
    const PageNumber n = map.Allocate();
    ASSERT_TRUE(handed.insert(n).second) << "page " << n << " handed out twice";
  }
  EXPECT_EQ(pages.page_count(), 111u + 1500u - free_at_first);
  EXPECT_GT(map.window_start(), 512u);
  EXPECT_LT(pages.page_count() - 1 - map.window_start(), map.window_pages());

  PageFile reopened(file, true);
  FreePageMap again(reopened);
  EXPECT_EQ(again.window_start(), map.window_start());
  EXPECT_TRUE(again.FreePages().empty());  // every page of the file is in use

  // A page behind the window cannot be marked in the file; this map still reuses it.
  again.Free(20);
  EXPECT_EQ(again.unrecorded_free_pages(), 1u);
  EXPECT_EQ(again.Allocate(), 20u);
  EXPECT_EQ(reopened.page_count(), pages.page_count());

  // A page appended behind the map's back would be handed out twice.
  Page page{};
  reopened.Append(page);
  EXPECT_THROW(again.Allocate(), std::logic_error);
}

TEST(JetfileFreePageMap, AReferenceMapGainsMapPagesAsTheFileGrowsIntoThem) {
  // Page 1's row 0 made a reference map with no map page yet: nothing in the file is known
  // free, and the first page appended brings the map page for its range.
  auto bytes = ReadFixture("ACEDATA0407-NOPW.mdb");
  const std::size_t row0 = kPageSize + GetU16(&bytes[kPageSize + 0x0E]);
  bytes[row0] = 0x01;
  std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(row0) + 1, 68, 0);
  MemoryFile file(bytes);
  PageFile pages(file, true);
  const PageNumber count = pages.page_count();
  {
    FreePageMap map(pages);
    EXPECT_FALSE(map.is_inline());
    EXPECT_TRUE(map.FreePages().empty());
    EXPECT_EQ(map.Allocate(), count + 1);  // page `count` is the new map page
    const PageNumber next = map.Allocate();
    EXPECT_EQ(next, count + 2);
    map.Free(next);
    EXPECT_EQ(map.unrecorded_free_pages(), 0u);
  }
  PageFile reopened(file, true);
  FreePageMap map(reopened);
  EXPECT_EQ(map.FreePages(), std::vector<PageNumber>{count + 2});
  Page page;
  reopened.Read(count, page);
  EXPECT_EQ(page[0], 0x05);
  EXPECT_THROW(map.Free(count), std::invalid_argument);  // the map's own page
  EXPECT_EQ(map.Allocate(), count + 2);
  EXPECT_EQ(map.Allocate(), count + 3);

  // A map page of the wrong type is a damaged map.
  file.bytes[static_cast<std::size_t>(count) * kPageSize] = 0x01;
  PageFile damaged(file, false);
  EXPECT_THROW(FreePageMap{damaged}, FormatError);
}

TEST(JetfileFreePageMap, EveryByteOfPageOneDamagedGivesAnErrorOrASoundMap) {
  const auto good = ReadFixture("ACEDATA0407-NOPW.mdb");
  const std::size_t row0 = GetU16(&good[kPageSize + 0x0E]);
  std::vector<std::size_t> offsets;
  for (std::size_t i = 0; i < 0x20; ++i) offsets.push_back(i);
  for (std::size_t i = row0; i < row0 + 69; ++i) offsets.push_back(i);
  for (const std::size_t offset : offsets) {
    for (const std::uint8_t value : {0x00, 0x01, 0x7F, 0xFF}) {
      auto bytes = good;
      bytes[kPageSize + offset] = value;
      MemoryFile file(bytes);
      PageFile pages(file, true);
      try {
        FreePageMap map(pages);
        std::set<PageNumber> handed;
        for (int i = 0; i < 4; ++i) {
          const PageNumber n = map.Allocate();
          ASSERT_GE(n, 3u) << "byte " << offset << " = " << int{value};
          ASSERT_TRUE(handed.insert(n).second) << "byte " << offset << " = " << int{value};
        }
      } catch (const FormatError&) {
      }
    }
  }
}

TEST(JetfileFreePageMap, DamagedMapsAreFormatErrors) {
  const auto good = ReadFixture("ACEDATA0407-NOPW.mdb");
  const std::size_t page1 = kPageSize;
  const std::size_t row0 = page1 + GetU16(&good[page1 + 0x0E]);
  struct Case {
    const char* what;
    std::size_t offset;
    std::uint8_t value;
  };
  const std::vector<Case> cases = {
      {"page 1 is no data page", page1, 0x04}, {"no rows", page1 + 0x0C, 0x00},
      {"row 0 deleted", page1 + 0x0F, 0xC0},   {"row 0 leaves the page", page1 + 0x0F, 0x1F},
      {"an unknown map type", row0, 0x07},     {"page 0 marked free", row0 + 5, 0xFF},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto bytes = good;
    bytes[c.offset] = c.value;
    MemoryFile file(bytes);
    PageFile pages(file, true);
    EXPECT_THROW(FreePageMap{pages}, FormatError);
    EXPECT_EQ(file.bytes, bytes);
  }
}

}  // namespace
}  // namespace cs::jetfile
