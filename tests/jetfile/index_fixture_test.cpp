// Real Jet 4 files: keys computed from the rows' values equal the stored ones byte for byte, and
// the same entries built into pages walk back and, where the file's writer filled its pages in
// one go, lie on pages as the file has them.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "jetfile/general_sort_order.h"
#include "jetfile/index_key.h"
#include "jetfile/index_pages.h"
#include "jetfile/table_definition.h"
#include "jetfile/table_definition_pages.h"
#include "fixture.h"
#include "readers.h"

namespace cs::jetfile {
namespace {

using test::JetFile;

// What these tests need of a table: its definition page and definition.
struct TableDef {
  PageNumber page;
  TableDefinition def;
};

// Every table of a file, system tables included.
std::vector<TableDef> AllTableDefs(const JetFile& file) {
  std::vector<TableDef> defs;
  for (const auto& [name, page] : file.Tables(true)) {
    defs.push_back({page, ReadTableDefinition(page, file.Reader())});
  }
  return defs;
}

// A dump's value of an indexed column (these fixtures index Text and Long columns).
Value DumpValue(const std::string& type, const std::string& text) {
  if (text == "\\N") return std::monostate{};
  if (type == "LONG") return static_cast<std::int32_t>(std::stol(text));
  if (type != "TEXT") throw std::runtime_error("no keyed dump values of type " + type);
  std::u16string out;  // UTF-8 of up to three bytes, with \t \n \r \\ escapes
  for (std::size_t i = 0; i < text.size(); ++i) {
    auto b = static_cast<unsigned char>(text[i]);
    if (b == '\\') {
      const char e = text.at(++i);
      out += e == 't' ? u'\t' : e == 'n' ? u'\n' : e == 'r' ? u'\r' : static_cast<char16_t>(e);
      continue;
    }
    const int extra = b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
    std::uint32_t cp = extra == 2 ? b & 0x0F : extra == 1 ? b & 0x1F : b;
    for (int k = 0; k < extra; ++k) cp = (cp << 6) | (text.at(++i) & 0x3F);
    out += static_cast<char16_t>(cp);
  }
  return out;
}

// Per level, top down: (page type, entries, prefix length, free space) of each page.
using Layout = std::vector<std::vector<std::tuple<int, int, int, int>>>;

Layout LayoutOf(PageNumber root, const ReadIndexPage& read) {
  Layout layout;
  for (std::vector<PageNumber> level = {root}; !level.empty();) {
    std::vector<PageNumber> below;
    layout.emplace_back();
    for (PageNumber n : level) {
      const Page page = read(n);
      int entries = 0;
      for (std::size_t bit = 1; bit <= kIndexPageEntryBytes; ++bit) {
        if (!(page[0x1B + bit / 8] & (1u << (bit % 8)))) continue;
        if (page[0] == 0x03) below.push_back(GetU32BigEndian(&page[0x1E0 + bit - 4]));
        ++entries;
      }
      if (page[0] == 0x03 && GetU32(&page[0x14]) != 0) below.push_back(GetU32(&page[0x14]));
      layout.back().emplace_back(page[0], entries, GetU16(&page[0x18]), GetU16(&page[0x02]));
    }
    level = below;
  }
  return layout;
}

// Builds `entries` into pages in memory, checks they walk back, and returns their layout.
Layout Rebuild(const std::vector<IndexEntry>& entries, PageNumber owner) {
  std::map<PageNumber, Page> built;
  PageNumber next = 1;
  const IndexPages pages = BuildIndexPages(
      entries, owner, [&] { return next++; }, [&](PageNumber n, const Page& p) { built[n] = p; });
  const ReadIndexPage read = [&](PageNumber n) { return built.at(n); };
  EXPECT_EQ(WalkIndexPages(pages.root, owner, read).entries, entries);
  return LayoutOf(pages.root, read);
}

// Checks every index of every table in `dump_name` against `mdb_name`; returns how many.
int CheckFile(const std::string& name, const std::set<std::pair<std::string, int>>& same_layout) {
  const JetFile file(name + ".mdb");
  const auto tables = file.Tables();
  int checked = 0;
  for (const auto& table : test::FixtureDump(name).tables) {
    SCOPED_TRACE(name + " " + table.name);
    const PageNumber page = tables.at(std::u16string(table.name.begin(), table.name.end()));
    const TableDefinition def = ReadTableDefinition(page, file.Reader());
    for (std::size_t i = 0; i < def.real_indexes.size(); ++i, ++checked) {
      std::vector<IndexKeyColumn> columns;
      std::vector<std::size_t> dump_columns;
      for (const IndexColumn& ic : def.real_indexes[i].columns) {
        if (ic.number == kUnusedIndexColumn) continue;
        const ColumnDefinition* c = def.FindColumn(ic.number);
        if (c->type == ColumnType::kText) {
          const std::uint8_t order[] = {c->sort_order_or_precision[0], c->sort_order_or_precision[1],
                                        static_cast<std::uint8_t>(c->unknown13),
                                        static_cast<std::uint8_t>(c->unknown13 >> 8)};
          RequireGeneralSortOrder(ReadSortOrder(order), test::Utf8(c->name));
        }
        columns.push_back({c->type, ic.order == kIndexAscending});
        dump_columns.push_back(static_cast<std::size_t>(
            std::find(table.header.begin(), table.header.end(), test::Utf8(c->name)) -
            table.header.begin()));
      }
      // The keys of the dump's rows, sorted, against the keys the walk finds in order.
      std::vector<Bytes> keys;
      for (const auto& row : table.rows) {
        std::vector<Value> values;
        for (std::size_t k : dump_columns) {
          values.push_back(DumpValue(table.columns.at(k).attributes.at("type"), row.at(k)));
        }
        keys.push_back(MakeIndexKey(columns, values));
      }
      std::sort(keys.begin(), keys.end());
      const PageNumber root = def.real_indexes[i].root_page;
      const IndexWalk walk = WalkIndexPages(root, page, file.Reader());
      std::vector<Bytes> stored;
      for (const IndexEntry& e : walk.entries) stored.push_back(e.key);
      EXPECT_TRUE(stored == keys) << "index " << i;

      const Layout layout = Rebuild(walk.entries, page);
      if (same_layout.count({table.name, static_cast<int>(i)})) {
        EXPECT_EQ(layout, LayoutOf(root, file.Reader())) << "index " << i;
      }
    }
  }
  return checked;
}

TEST(IndexFixtures, KeysAndPagesOfTheCurrentDatabase) {
  // Indexes of tables whose rows were written in one go (PriceHistory's came in batches).
  const std::set<std::pair<std::string, int>> same = {
      {"Ace", 0}, {"Competitors", 0}, {"Store", 0}, {"Store", 1}, {"Table1", 0}};
  // Ace, Competitors, PriceHistory (2), Store (2: its relationship's index shares the key's);
  // and in the second file Table1, made by Access.
  EXPECT_EQ(CheckFile("current/YWCURRENT", same), 6);
  EXPECT_EQ(CheckFile("current/YWCURRENT-ACCESS", same), 7);
}

// Every index, system tables' included, of files whose catalog Access wrote; where Access wrote
// an index (each on one page here) the rebuilt pages lie as Access laid them.
TEST(IndexFixtures, EveryIndexOfAnAccessMadeFileWalksAndRebuilds) {
  for (const char* name : {"access-made/V2003-TEST.mdb", "current/YWCURRENT-ACCESS.mdb"}) {
    SCOPED_TRACE(name);
    const JetFile file(name);
    int walked = 0;
    for (const TableDef& t : AllTableDefs(file)) {
      for (const RealIndex& index : t.def.real_indexes) {
        const Layout layout =
            Rebuild(WalkIndexPages(index.root_page, t.page, file.Reader()).entries, t.page);
        const Layout stored = LayoutOf(index.root_page, file.Reader());
        if (stored.size() == 1) {
          EXPECT_EQ(layout, stored);
        }
        ++walked;
      }
    }
    EXPECT_GT(walked, 5);
  }
}

TEST(IndexFixtures, ADamagedIndexPageOfARealFileIsRefused) {
  JetFile file("current/YWCURRENT.mdb");
  const PageNumber store = file.Tables().at(u"Store");
  // Description: a root and 11 leaves.
  const PageNumber root = ReadTableDefinition(store, file.Reader()).real_indexes.at(1).root_page;
  const PageNumber first_leaf = WalkIndexPages(root, store, file.Reader()).pages.at(1);
  file.bytes[first_leaf * kPageSize + 0x1E0 + 40] ^= 0xFF;  // inside its entries
  EXPECT_THROW(WalkIndexPages(root, store, file.Reader()), FormatError);
  file.bytes.resize(root * kPageSize);  // a cut file: the index is past its end
  EXPECT_THROW(WalkIndexPages(root, store, file.Reader()), FormatError);
}

}  // namespace
}  // namespace cs::jetfile
