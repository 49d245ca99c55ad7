// Usage maps: the fixtures' table maps against the pages the tables own, sets written and read
// back (inline, moved, turned into reference maps), and maps that point where they must not.
#include "jetfile/usage_map.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>

#include "jetfile/free_page_map.h"
#include "jetfile/page_file.h"
#include "fixture.h"

namespace cs::jetfile {
namespace {

using test::MemoryFile;
using test::ReadFixture;

constexpr std::size_t kOwnedMap = 0x37;
constexpr std::size_t kFreeSpaceMap = 0x3B;

RowPointer MapAt(const Page& tdef, std::size_t offset) {
  return {GetU24(&tdef[offset + 1]), tdef[offset]};
}

// The first pages of the table definitions (type 2 pages in use that no other one continues).
std::vector<PageNumber> TableDefinitions(PageFile& pages, const FreePageMap& free_pages) {
  std::set<PageNumber> first, continued;
  Page page;
  for (PageNumber n = 1; n < pages.page_count(); ++n) {
    if (free_pages.IsFree(n)) continue;  // old pages given back keep stale contents
    pages.Read(n, page);
    if (page[0] != 0x02) continue;
    // A table's type is 0x4E or 0x53; Access leaves type 2 pages of other shapes unowned.
    if (page[0x28] != 0x4E && page[0x28] != 0x53) continue;
    first.insert(n);
    if (GetU32(&page[4]) != 0) continued.insert(GetU32(&page[4]));
  }
  std::vector<PageNumber> out;
  for (const PageNumber n : first) {
    if (!continued.contains(n)) out.push_back(n);
  }
  return out;
}

// A table definition with its pages joined: the first page whole, then bytes 8 on of each next.
Bytes JoinedDefinition(PageFile& pages, PageNumber first) {
  Bytes out;
  Page page;
  for (PageNumber n = first, hops = 0; n != 0 && hops < 64; ++hops) {
    pages.Read(n, page);
    out.insert(out.end(), page.begin() + (n == first ? 0 : 8), page.end());
    n = GetU32(&page[4]);
  }
  return out;
}

// Where the usage maps of a table's real indexes are: after the table block, the per-index
// counts, the 25-byte columns and their names, at +34 of each 52-byte real-index block.
std::vector<RowPointer> IndexMaps(const Bytes& tdef) {
  const std::size_t columns = GetU16(&tdef[0x2D]);
  const std::size_t real = GetU32(&tdef[0x33]);
  std::size_t at = 0x3F + 12 * real + 25 * columns;
  for (std::size_t c = 0; c < columns; ++c) at += 2 + GetU16(&tdef[at]);
  std::vector<RowPointer> out;
  for (std::size_t i = 0; i < real; ++i, at += 52) {
    out.push_back({GetU24(&tdef[at + 35]), tdef[at + 34]});
  }
  return out;
}

TEST(JetfileUsageMap, EachTableOwnsExactlyTheDataPagesThatNameIt) {
  for (const auto& name : test::Jet4FixtureNames()) {
    SCOPED_TRACE(name);
    MemoryFile file(ReadFixture(name));
    PageFile pages(file, false);
    const FreePageMap free_pages(pages);
    std::map<PageNumber, std::vector<PageNumber>> data_pages;  // by owner
    std::map<PageNumber, std::set<PageNumber>> index_pages;    // by owner
    Page page;
    for (PageNumber n = 1; n < pages.page_count(); ++n) {
      if (free_pages.IsFree(n)) continue;
      pages.Read(n, page);
      if (page[0] == 0x01) data_pages[GetU32(&page[4])].push_back(n);
      if (page[0] == 0x03 || page[0] == 0x04) index_pages[GetU32(&page[4])].insert(n);
    }
    const auto tables = TableDefinitions(pages, free_pages);
    EXPECT_GE(tables.size(), 5u);
    for (const PageNumber tdef : tables) {
      pages.Read(tdef, page);
      const auto owned = ReadUsageMap(pages, MapAt(page, kOwnedMap));
      EXPECT_EQ(owned, data_pages[tdef]) << "table at page " << tdef;
      const auto with_space = ReadUsageMap(pages, MapAt(page, kFreeSpaceMap));
      EXPECT_TRUE(std::includes(owned.begin(), owned.end(), with_space.begin(), with_space.end()))
          << "table at page " << tdef;
      // Each index's map lists index pages of this table, and no two indexes share one.
      std::set<PageNumber> seen;
      for (const RowPointer where : IndexMaps(JoinedDefinition(pages, tdef))) {
        for (const PageNumber n : ReadUsageMap(pages, where)) {
          EXPECT_TRUE(index_pages[tdef].contains(n)) << "table " << tdef << ", page " << n;
          EXPECT_TRUE(seen.insert(n).second) << "table " << tdef << ", page " << n;
        }
      }
    }
  }
}

TEST(JetfileUsageMap, SetsWrittenReadBackInlineOrAsReferenceMapsOfTheSameRowSize) {
  // 772 pages: wider than an inline window of 512.
  MemoryFile file(ReadFixture("access-made/V2003-TEST.mdb"));
  PageFile pages(file, true);
  FreePageMap free_pages(pages);
  Page catalog;
  pages.Read(2, catalog);
  const RowPointer where = MapAt(catalog, kOwnedMap);
  Page before;
  pages.Read(where.page, before);
  const struct RowBytes row = LocateRow(before, where);

  struct Case {
    const char* what;
    std::vector<PageNumber> set;
    std::uint8_t type;  // of the map afterwards
  };
  const std::vector<Case> cases = {
      {"empty", {}, 0},
      {"one page", {700}, 0},
      {"a window's width from a multiple of 8", {8, 519}, 0},
      {"in any order", {300, 5, 40}, 0},
      {"wider than a window", {3, 600, 771}, 1},
      {"a reference map stays one", {9}, 1},
      {"the whole file", {}, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto set = c.set;
    if (std::string(c.what) == "the whole file") {
      for (PageNumber n = 3; n < pages.page_count(); ++n) set.push_back(n);
    }
    WriteUsageMap(pages, free_pages, where, set);
    std::sort(set.begin(), set.end());
    PageFile reopened(file, false);
    EXPECT_EQ(ReadUsageMap(reopened, where), set);
    Page after;
    reopened.Read(where.page, after);
    EXPECT_EQ(after[row.begin], c.type);
    const struct RowBytes same = LocateRow(after, where);
    EXPECT_EQ(same.begin, row.begin);
    EXPECT_EQ(same.end, row.end);
    // The other rows of the page are as they were.
    EXPECT_TRUE(std::equal(after.begin(), after.begin() + row.begin, before.begin()));
    EXPECT_TRUE(std::equal(after.begin() + row.end, after.end(), before.begin() + row.end));
  }
  // The map pages came from the free-page map, not from pages in use.
  PageFile reopened(file, false);
  const FreePageMap again(reopened);
  Page page;
  reopened.Read(where.page, page);
  for (std::size_t k = 0; k < (row.size() - 1) / 4; ++k) {
    const PageNumber map_page = GetU32(&page[row.begin + 1 + 4 * k]);
    if (map_page == 0) continue;
    EXPECT_FALSE(again.IsFree(map_page));
    Page map;
    reopened.Read(map_page, map);
    EXPECT_EQ(map[0], 0x05);
  }

  EXPECT_THROW(WriteUsageMap(pages, free_pages, where, std::vector<PageNumber>{4, 4}),
               std::invalid_argument);
  EXPECT_THROW(WriteUsageMap(pages, free_pages, where, std::vector<PageNumber>{pages.page_count()}),
               std::invalid_argument);
}

TEST(JetfileUsageMap, MapsPointingWhereTheyMustNotAreFormatErrors) {
  const auto good = ReadFixture("current/YWCURRENT.mdb");
  MemoryFile probe(good);
  PageFile probe_pages(probe, false);
  Page catalog;
  probe_pages.Read(2, catalog);
  const RowPointer where = MapAt(catalog, kOwnedMap);
  Page holder;
  probe_pages.Read(where.page, holder);
  const std::size_t row = where.page * kPageSize + LocateRow(holder, where).begin;

  struct Case {
    const char* what;
    std::function<void(std::vector<std::uint8_t>&)> damage;
    RowPointer at;
  };
  const auto put32 = [](std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    PutU32(&b[at], v);
  };
  const std::vector<Case> cases = {
      {"an inline map past the end of the file",
       [&](auto& b) {
         put32(b, row + 1, 0x00100000);
         b[row + 5] = 1;
       },
       where},
      {"an unknown map type", [&](auto& b) { b[row] = 2; }, where},
      {"a reference to a page past the end",
       [&](auto& b) {
         b[row] = 1;
         put32(b, row + 1, 0x00FFFFFF);
       },
       where},
      {"a reference to a page that is no map page",
       [&](auto& b) {
         b[row] = 1;
         put32(b, row + 1, 2);
       },
       where},
      {"a row the page does not have", [](auto&) {}, RowPointer{where.page, 200}},
      {"a map on page 0", [](auto&) {}, RowPointer{0, 0}},
      {"a map on a definition page", [](auto&) {}, RowPointer{2, 0}},
      {"a map past the end of the file", [](auto&) {}, RowPointer{0x00FFFFFF, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto bytes = good;
    c.damage(bytes);
    MemoryFile file(bytes);
    PageFile pages(file, true);
    EXPECT_THROW(ReadUsageMap(pages, c.at), FormatError);
    FreePageMap free_pages(pages);
    EXPECT_THROW(WriteUsageMap(pages, free_pages, c.at, std::vector<PageNumber>{3}), FormatError);
    EXPECT_EQ(file.bytes, bytes);
  }
}

}  // namespace
}  // namespace cs::jetfile
