// Real Jet 4 files: keys computed from the rows' values equal the stored ones byte for byte, and
// the same entries built into pages walk back and, where the file's writer filled its pages in
// one go, lie on pages as the file has them.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "jetfile/general_sort_order.h"
#include "jetfile/index_key.h"
#include "jetfile/index_pages.h"

namespace cs::jetfile {
namespace {

const std::string kFixtures = std::string(SHARED_DIR) + "/fixtures/jet/";

// A whole file in memory, read by page (these fixtures' pages are not encoded).
struct JetFile {
  std::vector<std::uint8_t> bytes;
  explicit JetFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    bytes.resize(in ? static_cast<std::size_t>(in.tellg()) : 0);
    in.seekg(0);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!in || bytes.size() % kPageSize != 0) throw std::runtime_error("cannot read " + path);
  }
  PageNumber PageCount() const { return static_cast<PageNumber>(bytes.size() / kPageSize); }
  ReadIndexPage Reader() const {
    return [this](PageNumber n) {
      if (n >= PageCount()) throw FormatError("page " + std::to_string(n) + " is past the end");
      Page page;
      std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(n) * kPageSize, kPageSize,
                  page.begin());
      return page;
    };
  }
};

// What these tests need of a table definition: its columns and its real indexes.
struct TableDef {
  struct Column {
    ColumnType type;
    std::uint16_t number;
    SortOrder sort_order;
    std::string name;
  };
  struct Index {
    std::vector<std::pair<std::uint16_t, bool>> columns;  // column number, ascending
    PageNumber root = 0;
  };
  PageNumber page = 0;
  std::vector<Column> columns;
  std::vector<Index> indexes;
};

// Every table definition of a file: pages of type 2 with 1625 at 0x0C, continuation pages joined.
std::vector<TableDef> AllTableDefs(const JetFile& file) {
  std::vector<TableDef> defs;
  for (PageNumber p = 1; p < file.PageCount(); ++p) {
    Page page = file.Reader()(p);
    if (page[0] != 0x02 || GetU32(&page[0x0C]) != 1625) continue;
    Bytes d(page.begin(), page.end());
    for (PageNumber next = GetU32(&page[4]); next != 0; next = GetU32(&page[4])) {
      page = file.Reader()(next);
      d.insert(d.end(), page.begin() + 8, page.end());
    }
    TableDef t;
    t.page = p;
    const std::size_t real_count = GetU32(&d[0x33]);
    std::size_t at = 0x3F + 12 * real_count;
    for (std::size_t i = 0; i < GetU16(&d[0x2D]); ++i, at += 25) {
      t.columns.push_back({static_cast<ColumnType>(d.at(at)), GetU16(&d.at(at + 5)),
                           ReadSortOrder(&d.at(at + 11)), ""});
    }
    for (auto& c : t.columns) {
      for (std::size_t i = 0; i < GetU16(&d.at(at)); i += 2)
        c.name += static_cast<char>(d.at(at + 2 + i));
      at += 2 + GetU16(&d[at]);
    }
    for (std::size_t i = 0; i < real_count; ++i, at += 52) {
      TableDef::Index index{{}, GetU32(&d.at(at + 38))};
      for (std::size_t k = 0; k < 10; ++k) {
        const std::uint16_t number = GetU16(&d.at(at + 4 + 3 * k));
        if (number != 0xFFFF) index.columns.push_back({number, d[at + 6 + 3 * k] == 0x01});
      }
      t.indexes.push_back(index);
    }
    defs.push_back(t);
  }
  return defs;
}

// A table of a .dump.txt file: column names and types, rows as text (nullopt for \N).
struct DumpTable {
  std::string name;
  std::vector<std::string> columns, types;
  std::vector<std::vector<std::optional<std::string>>> rows;
};

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  for (std::size_t start = 0;;) {
    const std::size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab - start));
    if (tab == std::string::npos) return fields;
    start = tab + 1;
  }
}

std::vector<DumpTable> ReadDump(const std::string& path) {
  std::ifstream in(path);
  std::vector<DumpTable> tables;
  std::string line;
  int rows_state = 0;  // 0 none, 1 header line next, 2 rows
  while (std::getline(in, line)) {
    if (line.rfind("TABLE ", 0) == 0) {
      tables.push_back({line.substr(6), {}, {}, {}});
      rows_state = 0;
    } else if (line.rfind("END", 0) == 0) {
      rows_state = 0;
    } else if (line.rfind("  COLUMN ", 0) == 0) {
      const auto fields = SplitTabs(line.substr(9));
      tables.back().columns.push_back(fields.at(0));
      tables.back().types.push_back(fields.at(1).substr(5));  // after "type="
    } else if (line == "  ROWS" || rows_state == 1) {
      ++rows_state;
    } else if (rows_state == 2) {
      tables.back().rows.emplace_back();
      for (const std::string& f : SplitTabs(line)) {
        tables.back().rows.back().push_back(f == "\\N" ? std::nullopt : std::optional(f));
      }
    }
  }
  return tables;
}

// A dump's value of an indexed column (these fixtures index Text and Long columns).
Value DumpValue(const std::string& type, const std::optional<std::string>& text) {
  if (!text) return std::monostate{};
  if (type == "LONG") return static_cast<std::int32_t>(std::stol(*text));
  if (type != "TEXT") throw std::runtime_error("no keyed dump values of type " + type);
  std::u16string out;  // UTF-8 of up to three bytes, with \t \n \r \\ escapes
  for (std::size_t i = 0; i < text->size(); ++i) {
    auto b = static_cast<unsigned char>((*text)[i]);
    if (b == '\\') {
      const char e = (*text).at(++i);
      out += e == 't' ? u'\t' : e == 'n' ? u'\n' : e == 'r' ? u'\r' : static_cast<char16_t>(e);
      continue;
    }
    const int extra = b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
    std::uint32_t cp = extra == 2 ? b & 0x0F : extra == 1 ? b & 0x1F : b;
    for (int k = 0; k < extra; ++k) cp = (cp << 6) | ((*text).at(++i) & 0x3F);
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
int CheckFile(const std::string& mdb_name, const std::string& dump_name,
              const std::set<std::pair<std::string, int>>& same_layout) {
  const JetFile file(kFixtures + mdb_name);
  const std::vector<TableDef> defs = AllTableDefs(file);
  int checked = 0;
  for (const DumpTable& table : ReadDump(kFixtures + dump_name)) {
    SCOPED_TRACE(mdb_name + " " + table.name);
    const auto def = std::find_if(defs.begin(), defs.end(), [&](const TableDef& d) {
      std::set<std::string> names;
      for (const auto& c : d.columns) names.insert(c.name);
      return names == std::set<std::string>(table.columns.begin(), table.columns.end());
    });
    if (def == defs.end()) throw std::runtime_error("no definition of " + table.name);
    for (std::size_t i = 0; i < def->indexes.size(); ++i, ++checked) {
      std::vector<IndexKeyColumn> columns;
      std::vector<std::size_t> dump_columns;
      for (const auto& [number, ascending] : def->indexes[i].columns) {
        const auto c = std::find_if(def->columns.begin(), def->columns.end(),
                                    [&](const auto& col) { return col.number == number; });
        if (c->type == ColumnType::kText) RequireGeneralSortOrder(c->sort_order, c->name);
        columns.push_back({c->type, ascending});
        dump_columns.push_back(static_cast<std::size_t>(
            std::find(table.columns.begin(), table.columns.end(), c->name) -
            table.columns.begin()));
      }
      // The keys of the dump's rows, sorted, against the keys the walk finds in order.
      std::vector<Bytes> keys;
      for (const auto& row : table.rows) {
        std::vector<Value> values;
        for (std::size_t k : dump_columns) values.push_back(DumpValue(table.types[k], row.at(k)));
        keys.push_back(MakeIndexKey(columns, values));
      }
      std::sort(keys.begin(), keys.end());
      const IndexWalk walk = WalkIndexPages(def->indexes[i].root, def->page, file.Reader());
      std::vector<Bytes> stored;
      for (const IndexEntry& e : walk.entries) stored.push_back(e.key);
      EXPECT_TRUE(stored == keys) << "index " << i;

      const Layout layout = Rebuild(walk.entries, def->page);
      if (same_layout.count({table.name, static_cast<int>(i)})) {
        EXPECT_EQ(layout, LayoutOf(def->indexes[i].root, file.Reader())) << "index " << i;
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
  EXPECT_EQ(CheckFile("current/YWCURRENT.mdb", "current/YWCURRENT.dump.txt", same), 6);
  EXPECT_EQ(CheckFile("current/YWCURRENT-ACCESS.mdb", "current/YWCURRENT-ACCESS.dump.txt", same),
            7);
}

// Every index, system tables' included, of files whose catalog Access wrote; where Access wrote
// an index (each on one page here) the rebuilt pages lie as Access laid them.
TEST(IndexFixtures, EveryIndexOfAnAccessMadeFileWalksAndRebuilds) {
  for (const char* name : {"access-made/V2003-TEST.mdb", "current/YWCURRENT-ACCESS.mdb"}) {
    SCOPED_TRACE(name);
    const JetFile file(kFixtures + name);
    int walked = 0;
    for (const TableDef& def : AllTableDefs(file)) {
      for (const TableDef::Index& index : def.indexes) {
        const Layout layout =
            Rebuild(WalkIndexPages(index.root, def.page, file.Reader()).entries, def.page);
        const Layout stored = LayoutOf(index.root, file.Reader());
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
  JetFile file(kFixtures + "current/YWCURRENT.mdb");
  const auto defs = AllTableDefs(file);
  const auto store = std::find_if(defs.begin(), defs.end(),
                                  [](const TableDef& d) { return d.columns.size() == 9; });
  ASSERT_NE(store, defs.end());
  const PageNumber root = store->indexes.at(1).root;  // Description: a root and 11 leaves
  const PageNumber first_leaf = WalkIndexPages(root, store->page, file.Reader()).pages.at(1);
  file.bytes[first_leaf * kPageSize + 0x1E0 + 40] ^= 0xFF;  // inside its entries
  EXPECT_THROW(WalkIndexPages(root, store->page, file.Reader()), FormatError);
  file.bytes.resize(root * kPageSize);  // a cut file: the index is past its end
  EXPECT_THROW(WalkIndexPages(root, store->page, file.Reader()), FormatError);
}

}  // namespace
}  // namespace cs::jetfile
