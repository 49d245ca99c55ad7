// Usage maps: the fixtures' table maps against the pages the tables own, sets written and read
// back (inline, moved, turned into reference maps), and maps that point where they must not.
#include "jetfile/usage_map.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>

#include "jetfile/catalog.h"
#include "jetfile/free_page_map.h"
#include "jetfile/page_file.h"
#include "jetfile/table_definition.h"
#include "jetfile/table_definition_pages.h"
#include "fixture.h"

namespace cs::jetfile {
namespace {

using test::MemoryFile;
using test::ReadFixture;

RowPointer At(const UsageMapRef& map) { return {map.page, map.row}; }

// A table's definition, read through the page file (whose pages may be encoded).
TableDefinition DefinitionAt(PageFile& pages, PageNumber n) {
  return ReadTableDefinition(n, [&](PageNumber k) {
    Page p;
    pages.Read(k, p);
    return p;
  });
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
    std::vector<PageNumber> tables;
    for (const CatalogEntry& e : ReadCatalog(pages)) {
      if (e.type == 1) tables.push_back(DefinitionPageOf(e, pages.page_count()));
    }
    EXPECT_GE(tables.size(), 5u);
    for (const PageNumber tdef : tables) {
      const TableDefinition def = DefinitionAt(pages, tdef);
      const auto owned = ReadUsageMap(pages, At(def.owned_pages));
      EXPECT_EQ(owned, data_pages[tdef]) << "table at page " << tdef;
      const auto with_space = ReadUsageMap(pages, At(def.free_space_pages));
      EXPECT_TRUE(std::includes(owned.begin(), owned.end(), with_space.begin(), with_space.end()))
          << "table at page " << tdef;
      // Each index's map lists index pages of this table, and no two indexes share one.
      std::set<PageNumber> seen;
      for (const RealIndex& index : def.real_indexes) {
        for (const PageNumber n : ReadUsageMap(pages, At(index.usage_map))) {
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
  const RowPointer where = At(DefinitionAt(pages, 2).owned_pages);
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
  const RowPointer where = At(DefinitionAt(probe_pages, 2).owned_pages);
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
