// The keys and index pages of real Jet 4 files: keys computed from the rows' values must equal the
// stored ones byte for byte, and the same entries built into pages must walk back and, where the
// file's writer filled its pages in one go, lie on the pages as the file has them.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "jetfile/general_sort_order.h"
#include "jetfile/index_key.h"
#include "jetfile/index_pages.h"

namespace cs::jetfile {
namespace {

const std::string kFixtures = std::string(SHARED_DIR) + "/fixtures/jet/";

// A whole file in memory, read by page. Only for files whose pages are not encoded.
struct JetFile {
  std::vector<std::uint8_t> bytes;

  explicit JetFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    bytes.resize(in ? static_cast<std::size_t>(in.tellg()) : 0);
    in.seekg(0);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!in) bytes.clear();
    if (bytes.size() < kPageSize || bytes.size() % kPageSize != 0) {
      throw std::runtime_error("cannot read " + path);
    }
  }
  std::size_t PageCount() const { return bytes.size() / kPageSize; }
  Page Read(PageNumber n) const {
    if (n >= PageCount())
      throw FormatError("page " + std::to_string(n) + " is past the file's end");
    Page page;
    std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(n * kPageSize), kPageSize,
                page.begin());
    return page;
  }
  ReadIndexPage Reader() const {
    return [this](PageNumber n) { return Read(n); };
  }
};

// What the tests need of a table definition (the table block, columns, names, real indexes).
struct TableDef {
  struct Column {
    ColumnType type;
    std::uint16_t number;
    SortOrder sort_order;
    std::string name;
  };
  struct Index {
    std::vector<std::pair<std::uint16_t, bool>> columns;  // column number, ascending
    PageNumber root;
  };
  PageNumber page = 0;
  std::vector<Column> columns;
  std::vector<Index> indexes;
};

// Reads the definition starting at `page`, or nothing when the page does not start one.
std::optional<TableDef> ReadTableDef(const JetFile& file, PageNumber page) {
  Bytes def;
  Page first = file.Read(page);
  if (first[0] != 0x02 || first[1] != 0x01 || GetU32(&first[0x0C]) != 1625) return std::nullopt;
  def.assign(first.begin(), first.end());
  std::set<PageNumber> seen = {page};
  for (PageNumber next = GetU32(&first[4]); next != 0;) {
    if (!seen.insert(next).second) return std::nullopt;
    const Page more = file.Read(next);
    def.insert(def.end(), more.begin() + 8, more.end());
    next = GetU32(&more[4]);
  }
  std::size_t at = 0;
  auto need = [&](std::size_t n) {
    if (at + n > def.size()) throw FormatError("definition runs past its pages");
  };
  TableDef t;
  t.page = page;
  const std::size_t column_count = GetU16(&def[0x2D]);
  const std::size_t real_count = GetU32(&def[0x33]);
  if (real_count > 64) return std::nullopt;
  at = 0x3F + 12 * real_count;
  for (std::size_t i = 0; i < column_count; ++i) {
    need(25);
    t.columns.push_back(
        {static_cast<ColumnType>(def[at]), GetU16(&def[at + 5]), ReadSortOrder(&def[at + 11]), ""});
    at += 25;
  }
  for (auto& c : t.columns) {
    need(2);
    const std::size_t length = GetU16(&def[at]);
    need(2 + length);
    for (std::size_t i = 0; i + 1 < length; i += 2) {
      const char16_t unit = static_cast<char16_t>(GetU16(&def[at + 2 + i]));
      c.name += unit < 0x80 ? static_cast<char>(unit) : '?';
    }
    at += 2 + length;
  }
  for (std::size_t i = 0; i < real_count; ++i) {
    need(52);
    TableDef::Index index;
    for (std::size_t k = 0; k < 10; ++k) {
      const std::uint16_t number = GetU16(&def[at + 4 + 3 * k]);
      if (number != 0xFFFF) index.columns.push_back({number, def[at + 6 + 3 * k] == 0x01});
    }
    index.root = GetU32(&def[at + 38]);
    t.indexes.push_back(index);
    at += 52;
  }
  return t;
}

std::vector<TableDef> AllTableDefs(const JetFile& file) {
  std::vector<TableDef> defs;
  for (PageNumber p = 1; p < file.PageCount(); ++p) {
    if (auto def = ReadTableDef(file, p)) defs.push_back(*def);
  }
  return defs;
}

// A table of a .dump.txt file: its columns' names and types and its rows (nullopt for \N).
struct DumpTable {
  std::string name;
  std::vector<std::string> columns;
  std::vector<std::string> types;
  std::vector<std::vector<std::optional<std::string>>> rows;
};

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  while (true) {
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
  bool in_rows = false;
  bool header_read = false;
  while (std::getline(in, line)) {
    if (line.rfind("TABLE ", 0) == 0) {
      tables.push_back({line.substr(6), {}, {}, {}});
      in_rows = false;
    } else if (line.rfind("END TABLE", 0) == 0) {
      in_rows = false;
    } else if (tables.empty()) {
      continue;
    } else if (line.rfind("  COLUMN ", 0) == 0) {
      const auto fields = SplitTabs(line.substr(9));
      tables.back().columns.push_back(fields.at(0));
      tables.back().types.push_back(fields.at(1).substr(5));
    } else if (line == "  ROWS") {
      in_rows = true;
      header_read = false;
    } else if (in_rows && !header_read) {
      header_read = true;
    } else if (in_rows) {
      std::vector<std::optional<std::string>> row;
      for (const std::string& f : SplitTabs(line)) {
        row.push_back(f == "\\N" ? std::nullopt : std::optional<std::string>(f));
      }
      tables.back().rows.push_back(row);
    }
  }
  return tables;
}

// Dump text (UTF-8 with \t \n \r \\ \xNN escapes) as UTF-16.
std::u16string DumpText(const std::string& s) {
  std::string raw;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\' || i + 1 >= s.size()) {
      raw += s[i];
      continue;
    }
    const char c = s[++i];
    if (c == 't')
      raw += '\t';
    else if (c == 'n')
      raw += '\n';
    else if (c == 'r')
      raw += '\r';
    else if (c == 'x' && i + 2 < s.size()) {
      raw += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else
      raw += c;
  }
  std::u16string out;
  for (std::size_t i = 0; i < raw.size();) {
    const auto b = static_cast<unsigned char>(raw[i]);
    std::uint32_t cp = b;
    int extra = 0;
    if (b >= 0xF0) {
      cp = b & 0x07;
      extra = 3;
    } else if (b >= 0xE0) {
      cp = b & 0x0F;
      extra = 2;
    } else if (b >= 0xC0) {
      cp = b & 0x1F;
      extra = 1;
    }
    for (int k = 1; k <= extra && i + k < raw.size(); ++k) {
      cp = (cp << 6) | (static_cast<unsigned char>(raw[i + k]) & 0x3F);
    }
    i += 1 + extra;
    if (cp >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

Value DumpValue(const std::string& type, const std::optional<std::string>& text) {
  if (!text) return std::monostate{};
  if (type == "TEXT" || type == "MEMO") return DumpText(*text);
  if (type == "LONG") return static_cast<std::int32_t>(std::stol(*text));
  if (type == "INT") return static_cast<std::int16_t>(std::stoi(*text));
  if (type == "BYTE") return static_cast<std::uint8_t>(std::stoi(*text));
  if (type == "DOUBLE") return std::stod(*text);
  if (type == "BOOLEAN") return *text == "1";
  if (type == "MONEY") {
    const std::size_t dot = text->find('.');
    const bool negative = (*text)[0] == '-';
    std::int64_t whole = std::stoll(text->substr(0, dot));
    std::int64_t part = std::stoll(text->substr(dot + 1));
    return Currency{whole * 10000 + (negative ? -part : part)};
  }
  throw std::runtime_error("no dump value of type " + type + " is keyed in these fixtures");
}

// Per level, top down: (page type, entries, prefix length, free space) of each page.
using Layout = std::vector<std::vector<std::tuple<int, int, int, int>>>;

Layout LayoutOf(PageNumber root, const ReadIndexPage& read) {
  Layout layout;
  std::vector<PageNumber> level = {root};
  while (!level.empty()) {
    std::vector<PageNumber> below;
    layout.emplace_back();
    for (PageNumber n : level) {
      const Page page = read(n);
      int entries = 0;
      for (std::size_t bit = 1; bit <= kIndexPageEntryBytes; ++bit) {
        if (!(page[0x1B + bit / 8] & (1u << (bit % 8)))) continue;
        if (page[0] == 0x03) {
          const std::size_t end = 0x1E0 + bit;
          below.push_back(GetU32BigEndian(&page[end - 4]));
        }
        ++entries;
      }
      if (page[0] == 0x03 && GetU32(&page[0x14]) != 0) below.push_back(GetU32(&page[0x14]));
      layout.back().emplace_back(page[0], entries, GetU16(&page[0x18]), GetU16(&page[0x02]));
    }
    level = below;
  }
  return layout;
}

struct IndexCheck {
  std::string file;
  std::string table;
  int index;
  bool same_layout;  // written in one go by the reference writer
};

// Checks every index of every table of `dump_name` against `mdb_name`; returns the number checked.
int CheckFile(const std::string& mdb_name, const std::string& dump_name,
              const std::set<std::pair<std::string, int>>& same_layout) {
  const JetFile file(kFixtures + mdb_name);
  const std::vector<TableDef> defs = AllTableDefs(file);
  int checked = 0;
  for (const DumpTable& table : ReadDump(kFixtures + dump_name)) {
    SCOPED_TRACE(mdb_name + " " + table.name);
    const std::set<std::string> names(table.columns.begin(), table.columns.end());
    const TableDef* def = nullptr;
    for (const TableDef& d : defs) {
      std::set<std::string> def_names;
      for (const auto& c : d.columns) def_names.insert(c.name);
      if (def_names == names) def = &d;
    }
    if (def == nullptr) {
      ADD_FAILURE() << "no table definition";
      continue;
    }
    for (std::size_t i = 0; i < def->indexes.size(); ++i) {
      SCOPED_TRACE("index " + std::to_string(i));
      const TableDef::Index& index = def->indexes[i];
      std::vector<IndexKeyColumn> columns;
      std::vector<std::size_t> dump_columns;
      for (const auto& [number, ascending] : index.columns) {
        const auto c = std::find_if(def->columns.begin(), def->columns.end(),
                                    [&](const auto& col) { return col.number == number; });
        if (c == def->columns.end()) throw std::runtime_error("index on a missing column");
        if (c->type == ColumnType::kText || c->type == ColumnType::kMemo) {
          RequireGeneralSortOrder(c->sort_order, c->name);
        }
        columns.push_back({c->type, ascending});
        dump_columns.push_back(static_cast<std::size_t>(
            std::find(table.columns.begin(), table.columns.end(), c->name) -
            table.columns.begin()));
      }
      // The keys of the dump's rows, sorted, against the keys the walk finds in order.
      std::vector<Bytes> keys;
      for (const auto& row : table.rows) {
        std::vector<Value> values;
        for (std::size_t k = 0; k < columns.size(); ++k) {
          values.push_back(DumpValue(table.types.at(dump_columns[k]), row.at(dump_columns[k])));
        }
        keys.push_back(MakeIndexKey(columns, values));
      }
      std::sort(keys.begin(), keys.end());
      const IndexWalk walk = WalkIndexPages(index.root, def->page, file.Reader());
      EXPECT_EQ(walk.entries.size(), keys.size());
      for (std::size_t k = 0; k < keys.size() && k < walk.entries.size(); ++k) {
        if (walk.entries[k].key != keys[k]) {
          ADD_FAILURE() << "entry " << k << " differs";
          break;
        }
      }

      // The same entries built into pages walk back, and lie as the file has them.
      std::map<PageNumber, Page> built;
      PageNumber next = static_cast<PageNumber>(file.PageCount());
      const IndexPages pages = BuildIndexPages(
          walk.entries, def->page, [&] { return next++; },
          [&](PageNumber n, const Page& p) { built[n] = p; });
      const ReadIndexPage read_built = [&](PageNumber n) { return built.at(n); };
      EXPECT_EQ(WalkIndexPages(pages.root, def->page, read_built).entries, walk.entries);
      if (same_layout.count({table.name, static_cast<int>(i)})) {
        EXPECT_EQ(LayoutOf(pages.root, read_built), LayoutOf(index.root, file.Reader()));
      }
      ++checked;
    }
  }
  return checked;
}

TEST(IndexFixtures, KeysAndPagesOfTheCurrentDatabase) {
  // Tables whose rows were added in one go; PriceHistory's came in batches, filled otherwise.
  const std::set<std::pair<std::string, int>> same = {
      {"Ace", 0}, {"Competitors", 0}, {"Store", 0}, {"Store", 1}, {"Table1", 0}};
  // Ace, Competitors, PriceHistory (2), Store (2: its relationship's index shares the key's);
  // Table1, made by Access, in the second file.
  EXPECT_EQ(CheckFile("current/YWCURRENT.mdb", "current/YWCURRENT.dump.txt", same), 6);
  EXPECT_EQ(CheckFile("current/YWCURRENT-ACCESS.mdb", "current/YWCURRENT-ACCESS.dump.txt", same),
            7);
}

// Every index of every table, system tables included. Access made the first file and the
// catalog of the second; where Access wrote an index (on one page in these files) the rebuilt
// pages lie as Access laid them.
TEST(IndexFixtures, EveryIndexOfAnAccessMadeFileWalksAndRebuilds) {
  for (const char* name : {"access-made/V2003-TEST.mdb", "current/YWCURRENT-ACCESS.mdb"}) {
    SCOPED_TRACE(name);
    const JetFile file(kFixtures + name);
    int walked = 0;
    for (const TableDef& def : AllTableDefs(file)) {
      for (const TableDef::Index& index : def.indexes) {
        const IndexWalk walk = WalkIndexPages(index.root, def.page, file.Reader());
        std::map<PageNumber, Page> built;
        PageNumber next = 1;
        const IndexPages pages = BuildIndexPages(
            walk.entries, def.page, [&] { return next++; },
            [&](PageNumber n, const Page& p) { built[n] = p; });
        const ReadIndexPage read_built = [&](PageNumber n) { return built.at(n); };
        EXPECT_EQ(WalkIndexPages(pages.root, def.page, read_built).entries, walk.entries);
        const Layout stored = LayoutOf(index.root, file.Reader());
        if (stored.size() == 1) {
          EXPECT_EQ(LayoutOf(pages.root, read_built), stored);
        }
        ++walked;
      }
    }
    EXPECT_GT(walked, 5);
  }
}

TEST(IndexFixtures, ADamagedIndexPageOfARealFileIsRefused) {
  JetFile file(kFixtures + "current/YWCURRENT.mdb");
  std::optional<TableDef> store;
  for (const TableDef& def : AllTableDefs(file)) {
    for (const auto& c : def.columns) {
      if (c.name == "OnHand") store = def;
    }
  }
  ASSERT_TRUE(store);
  const PageNumber root = store->indexes.at(1).root;  // Description: a root and 11 leaves
  // Flip one byte in the middle of the first leaf's entries.
  const Page root_page = file.Read(root);
  std::size_t first_end = 0;
  for (std::size_t bit = 1; bit <= kIndexPageEntryBytes && first_end == 0; ++bit) {
    if (root_page[0x1B + bit / 8] & (1u << (bit % 8))) first_end = bit;
  }
  const PageNumber first_leaf = GetU32BigEndian(&root_page[0x1E0 + first_end - 4]);
  file.bytes[first_leaf * kPageSize + 0x1E0 + 40] ^= 0xFF;
  EXPECT_THROW(WalkIndexPages(root, store->page, file.Reader()), FormatError);
  // A cut file: the index's pages are past its end.
  file.bytes.resize(root * kPageSize);
  EXPECT_THROW(WalkIndexPages(root, store->page, file.Reader()), FormatError);
}

}  // namespace
}  // namespace cs::jetfile
