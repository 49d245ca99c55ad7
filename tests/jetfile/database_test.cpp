// The database front on the shared current databases: tables found and read whole, tables
// rewritten in place (with their own rows and with changed ones) and read back by libmdb and
// mdb-reader value for value, everything else left as it was; rows a table refuses and damaged
// files refused with the file untouched; and the writer's own check failing on damaged results.
#include "jetfile/database.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <string>

#include "jetfile/free_page_map.h"
#include "jetfile/index_pages.h"
#include "jetfile/table_pages.h"
#include "jetfile/usage_map.h"
#include "jetfile/table_definition_pages.h"
#include "fixture.h"
#include "readers.h"

namespace cs::jetfile::test {
namespace {

namespace fs = std::filesystem;
using cs::test::jetfile::BothReadersHold;
using cs::test::jetfile::Comparison;
using cs::test::jetfile::Dump;
using cs::test::jetfile::DumpsAgree;
using cs::test::jetfile::DumpTable;
using cs::test::jetfile::ReadWithLibmdb;
using cs::test::jetfile::ReadWithMdbReader;
using cs::test::jetfile::RowOrder;

const std::string kPassword = "qed5190";

std::u16string Wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }

Rows RowsOf(Database& db, std::u16string_view table) {
  Rows rows;
  db.ReadRows(table,
              [&](std::span<const Value> row) { rows.emplace_back(row.begin(), row.end()); });
  return rows;
}

void CheckEveryTable(Database& db) {
  for (const std::u16string& name : db.TableNames()) {
    EXPECT_NO_THROW(db.CheckTable(name)) << Utf8(name);
  }
}

TEST(Database, TablesAreFoundWithoutRegardToCaseAndReadWhole) {
  MemoryFile file(ReadFixture("current/YWCURRENT-ACCESS.mdb"));
  const Dump& dump = FixtureDump("current/YWCURRENT-ACCESS");
  Database db = Database::Open(file, false);
  EXPECT_EQ(db.TableNames().size(), dump.tables.size());
  for (const DumpTable& table : dump.tables) {
    const std::u16string name = Wide(table.name);
    std::u16string upper = name;
    for (char16_t& c : upper) c = (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c;
    EXPECT_EQ(db.FindTable(upper), db.FindTable(name));
    EXPECT_EQ(RowsOf(db, name).size(), table.rows.size()) << table.name;
  }
  EXPECT_THROW(db.FindTable(u"MSysObjectsX"), FormatError);
  EXPECT_THROW(
      {
        VectorRows none({});
        db.WriteTable(u"Ace", none);
      },
      std::invalid_argument);
}

// Ace rewritten with its own rows and Store (memos over chains, a non-unique index, a
// relationship) with changed ones, on both current databases: both readers read every table
// back value for value (every other table as its dump has it), header and password unchanged.
TEST(Database, RewrittenTablesReadBackValueForValue) {
  // Store's columns in number order: Sku, Description, Comp1..Comp5, OnHand, Notes.
  enum { kSku = 0, kDescription = 1, kComp1 = 2, kOnHand = 7, kNotes = 8 };
  const std::u16string euro_text = u"Pr\u00e9sident \u20ac \u2014 caf\u00e9";
  std::u16string long_memo;
  while (long_memo.size() < 100000) long_memo += u"\u20ac line\u00bd of a long note ";
  const std::u16string memos[] = {std::u16string(64, u'a'),
                                  std::u16string(65, u'b'),
                                  std::u16string(2030, u'c'),
                                  std::u16string(4000, u'd'),
                                  long_memo,
                                  euro_text,
                                  u""};
  struct Case {
    const char* file;
    const char* name;
    std::function<void(std::vector<Value>&, std::size_t)> change;  // each kept row
    std::size_t keep;                                              // rows of the original kept
    std::size_t extra;  // rows added, copies of the first with new Skus
  };
  const Case cases[] = {
      {"YWCURRENT", "fewer rows, every third with Nulls in every column that allows them",
       [](auto& r, std::size_t i) {
         if (i % 3 != 0) return;
         for (std::size_t c = kDescription; c <= kNotes; ++c) r[c] = std::monostate{};
       },
       300, 0},
      {"YWCURRENT-ACCESS",
       "more rows; memos of every size, texts with and without compression, numbers at their "
       "edges",
       [&](auto& r, std::size_t i) {
         if (i >= 14) return;
         r[kNotes] = memos[i % 7];
         r[kDescription] = i % 2 ? euro_text : std::u16string(50, u'z');
         r[kComp1] = Currency{-922337203685477 + static_cast<std::int64_t>(i)};
         r[kOnHand] = static_cast<std::int32_t>(i) - 2147483647;
       },
       1000, 500},
  };
  const TempDir dir;
  // Each file is written and read back in a thread of its own, its rows read twice (checked
  // first) and once.
  const auto rewrite = [&](const Case& c, Reading reading) {
    const std::string tag = std::string(c.file) + (reading == Reading::kOnce ? "-once" : "");
    SCOPED_TRACE(tag + ": " + c.name);
    const auto original = ReadFixture("current/" + std::string(c.file) + ".mdb");
    Dump expected = FixtureDump("current/" + std::string(c.file));
    MemoryFile file(original);
    Database db = Database::Open(file, true);
    const Rows store = RowsOf(db, u"Store");
    DumpTable& table = *const_cast<DumpTable*>(expected.Table("Store"));
    const std::vector<std::vector<std::string>> store_cells = table.rows;
    ASSERT_EQ(store.size(), store_cells.size());
    Rows rows;
    table.rows.clear();
    for (std::size_t i = 0; i < c.keep + c.extra; ++i) {
      const std::size_t from = i < c.keep ? i : 0;
      std::vector<Value> row = store[from];
      std::vector<std::string> cells = store_cells[from];
      if (i >= c.keep) row[kSku] = Wide("NEW" + std::to_string(i));
      c.change(row, i);
      for (std::size_t k = 0; k < row.size(); ++k) {
        if (row[k] != store[from][k]) cells[k] = DumpCell(row[k]);
      }
      rows.push_back(std::move(row));
      table.rows.push_back(std::move(cells));
    }
    table.row_count = rows.size();

    VectorRows ace(RowsOf(db, u"Ace"), false);
    db.WriteTable(u"Ace", ace, reading);
    VectorRows store_rows(rows);
    db.WriteTable(u"Store", store_rows, reading);
    db.Flush();
    CheckEveryTable(db);
    EXPECT_EQ(RowsOf(db, u"Store"), rows);
    EXPECT_TRUE(std::equal(original.begin(), original.begin() + kPageSize, file.bytes.begin()));
    EXPECT_TRUE(BothReadersHold(dir.Save(tag + ".mdb", file.bytes), kPassword, expected));
  };
  std::vector<std::future<void>> runs;
  for (const Case& c : cases) {
    for (const Reading reading : {Reading::kCheckFirst, Reading::kOnce}) {
      runs.push_back(std::async(std::launch::async, rewrite, std::cref(c), reading));
    }
  }
  for (auto& run : runs) run.get();
}

// The catalog itself (page 2, what every other table is found by) is a table like any other:
// rewritten with its own rows, it passes its check and every table reads back as before.
TEST(Database, TheCatalogRewrittenWithItsOwnRows) {
  const TempDir dir;
  MemoryFile file(ReadFixture("current/YWCURRENT-ACCESS.mdb"));
  Database db = Database::Open(file, true);
  VectorRows catalog(RowsOf(db, u"MSysObjects"));
  db.WriteTable(u"MSysObjects", catalog);
  db.CheckTable(u"MSysObjects");
  CheckEveryTable(db);
  const Dump& expected = FixtureDump("current/YWCURRENT-ACCESS");
  EXPECT_TRUE(DumpsAgree(expected, ReadWithLibmdb(dir.Save("catalog.mdb", file.bytes)),
                         cs::test::jetfile::WhatLibmdbTells()));
}

TEST(Database, RewritingATableAgainAndAgainDoesNotGrowTheFile) {
  MemoryFile file(ReadFixture("current/YWCURRENT.mdb"));
  Rows rows;
  {
    Database reader = Database::Open(file, false);
    rows = RowsOf(reader, u"Store");
  }
  std::size_t after_first = 0;
  // Twelve rewrites, each in a database opened anew, as twelve monthly imports would make them.
  for (int i = 0; i < 12; ++i) {
    Database each = Database::Open(file, true);
    std::rotate(rows.begin(), rows.begin() + 7, rows.end());  // a new order each time
    VectorRows source(rows);
    each.WriteTable(u"Store", source);
    each.Flush();
    if (i == 0) after_first = file.bytes.size();
  }
  Database db = Database::Open(file, true);
  // Each index's entry count is its distinct keys, as the file had it: 1,000 Skus, 995
  // descriptions.
  const TableDefinition def = db.Definition(u"Store");
  EXPECT_EQ(def.real_indexes[0].block_count, 1000u);
  EXPECT_EQ(def.real_indexes[1].block_count, 995u);
  db.CheckTable(u"Store");
  EXPECT_LE(file.bytes.size(), after_first * 12 / 10);
  // Emptied, the table is still sound, and takes rows again.
  VectorRows none({});
  db.WriteTable(u"Store", none);
  db.CheckTable(u"Store");
  EXPECT_TRUE(RowsOf(db, u"Store").empty());
  VectorRows again(rows);
  db.WriteTable(u"Store", again);
  CheckEveryTable(db);
  EXPECT_EQ(RowsOf(db, u"Store"), rows);
}

// Pages encoded with the file's key stay encoded and both readers read them as the plain file's;
// the Types table's every type at its edges is written (in reverse order) and read back the same
// by this layer and by both readers.
TEST(Database, EncodedFilesAndEveryTypeAtItsEdges) {
  const TempDir dir;
  // Each file, and the same database with plain pages as libmdb reads it.
  for (const auto& [fixture, plain, table] :
       {std::tuple{"ACEDATA0307-ENCODED.mdb", "ACEDATA0307.mdb", u"Ace"},
        std::tuple{"TYPES_V2000.mdb", "TYPES_V2000.mdb", u"Types"}}) {
    SCOPED_TRACE(fixture);
    const auto original = ReadFixture(fixture);
    const Dump before = ReadWithLibmdb(JetFixture(plain).string());
    if (const DumpTable* types = before.Table("Types")) {
      // The edges are there to agree on, each to its last digit.
      ASSERT_EQ(types->rows.size(), 5u);
      const auto cell = [&](std::size_t row, const std::string& column) {
        const auto at = std::find(types->header.begin(), types->header.end(), column);
        if (at == types->header.end()) throw std::runtime_error("no column " + column);
        return types->rows[row][static_cast<std::size_t>(at - types->header.begin())];
      };
      const std::tuple<std::size_t, const char*, const char*> edges[] = {
          {3, "Cur", "922337203685477.5807"}, {1, "Cur", "-1234.5678"}, {4, "Cur", "0.0001"},
          {3, "Dbl", "1.0E300"}, {1, "Dbl", "-2.5E-10"}, {4, "Dbl", "1.2345678912345679E8"},
          {0, "Sng", "0.1"}, {3, "Sng", "3.4E38"}, {1, "Lng", "-2147483648"},
          {1, "Intg", "-32768"}, {0, "Byt", "255"}, {2, "YN", "0"}, {2, "Cur", "\\N"},
          {3, "TxtC", ""}, {1, "DT", "1899-12-30 12:00:00"}, {3, "DT", "1850-06-15 23:59:59"},
          {4, "DT", "2099-12-31 23:59:59"}, {1, "TxtU", "日本語 テキスト"},
          {4, "TxtC", "line1\\r\\nline2\\ttab,comma"}, {4, "Memo", ""}};
      for (const auto& [row, column, value] : edges) {
        EXPECT_EQ(cell(row, column), value) << "row " << row + 1 << ", column " << column;
      }
      EXPECT_GT(cell(3, "Memo").size(), 16u * 1024) << "the memo over a chain of long-value pages";
    }
    MemoryFile file(original);
    Database db = Database::Open(file, true);
    Rows rows = RowsOf(db, table);
    std::reverse(rows.begin(), rows.end());
    VectorRows source(rows);
    db.WriteTable(table, source);
    CheckEveryTable(db);
    EXPECT_EQ(RowsOf(db, table), rows);
    EXPECT_TRUE(std::equal(original.begin(), original.begin() + kPageSize, file.bytes.begin()));
    if (db.header().database_key() != 0) {
      // The pages as stored are not the plain pages the layer reads.
      Page plain;
      db.pages().Read(3, plain);
      EXPECT_FALSE(std::equal(plain.begin(), plain.end(), file.bytes.begin() + 3 * kPageSize));
    }
    const std::string after_path = dir.Save("after.mdb", file.bytes);
    auto by_node = std::async(std::launch::async, [&] { return ReadWithMdbReader(after_path); });
    const Dump after = ReadWithLibmdb(after_path);
    Comparison any_order;
    any_order.order = RowOrder::kAnyOrder;
    EXPECT_TRUE(DumpsAgree(before, after, any_order, "before", "after"));
    Comparison what = cs::test::jetfile::WhatLibmdbTells();
    what.indexes = false;  // mdb-reader reads none
    EXPECT_TRUE(DumpsAgree(by_node.get(), after, what, "mdb-reader", "libmdb"));
  }
}

TEST(Database, AnAutoNumberKeepsItsCounter) {
  MemoryFile file(ReadFixture("current/YWCURRENT.mdb"));
  Database db = Database::Open(file, true);
  Rows rows = RowsOf(db, u"PriceHistory");  // ID AutoNumber 1..5000, counter 5000
  rows.resize(100);
  rows.push_back(rows[0]);
  rows.back()[0] = std::monostate{};  // numbered by the table: 5001
  rows.push_back(rows[1]);
  rows.back()[0] = std::int32_t{7000};
  VectorRows source(rows, false);
  db.WriteTable(u"PriceHistory", source);
  CheckEveryTable(db);
  const Rows back = RowsOf(db, u"PriceHistory");
  ASSERT_EQ(back.size(), 102u);
  EXPECT_EQ(back[100][0], Value(std::int32_t{5001}));
  EXPECT_EQ(db.Definition(u"PriceHistory").next_autonumber, 7000u);
}

// Rows a table cannot take are refused before anything is written.
TEST(Database, RowsATableRefusesLeaveTheFileUntouched) {
  const auto original = ReadFixture("current/YWCURRENT.mdb");
  MemoryFile source_file(original);
  Database source_db = Database::Open(source_file, false);
  const Rows ace = RowsOf(source_db, u"Ace");
  const Rows store = RowsOf(source_db, u"Store");
  struct Case {
    const char* name;
    const char16_t* table;
    std::function<void(Rows&)> change;
  };
  const Case cases[] = {
      {"a key twice in the primary key", u"Ace", [](Rows& r) { r[900][0] = r[3][0]; }},
      {"the same key in another letter case", u"Store",
       [](Rows& r) {
         r[5][0] = r[4][0];
         for (char16_t& c : std::get<std::u16string>(r[5][0])) c = char16_t(std::tolower(c));
       }},
      {"a Null in the primary key", u"Ace", [](Rows& r) { r[999][0] = std::monostate{}; }},
      {"text longer than its column", u"Ace",
       [](Rows& r) { r[500][1] = std::u16string(51, u'x'); }},
      {"a value of the wrong type", u"Store", [](Rows& r) { r[10][7] = 1.5; }},
      {"a row with a value too few", u"Store", [](Rows& r) { r[20].pop_back(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rows rows = c.table == std::u16string_view(u"Ace") ? ace : store;
    c.change(rows);
    MemoryFile file(original);
    Database db = Database::Open(file, true);
    VectorRows source(rows);
    EXPECT_THROW(db.WriteTable(c.table, source), FormatError);
    EXPECT_EQ(file.writes, 0);
    EXPECT_TRUE(file.bytes == original);
    // Read once, the rows are refused all the same, after part of the table was written.
    MemoryFile once_file(original);
    Database once = Database::Open(once_file, true);
    VectorRows again(rows);
    EXPECT_THROW(once.WriteTable(c.table, again, Reading::kOnce), FormatError);
  }
}

// A damaged file is refused with a FormatError by Open, WriteTable or CheckTable, and a file
// refused before writing is not written.
TEST(Database, DamagedFilesAreRefused) {
  const auto original = ReadFixture("current/YWCURRENT.mdb");
  MemoryFile probe(original);
  Database probe_db = Database::Open(probe, false);
  const PageNumber store = probe_db.FindTable(u"Store");
  const TableDefinition def = probe_db.Definition(u"Store");
  const PageNumber catalog_data = ReadTablePages(probe_db.pages(), 2,
                                                 ReadTableDefinition(2,
                                                                     [&](PageNumber n) {
                                                                       Page p;
                                                                       probe_db.pages().Read(n, p);
                                                                       return p;
                                                                     }))
                                      .data.at(0);
  const PageNumber index_leaf = def.real_indexes[1].root_page;
  struct Case {
    const char* name;
    std::function<void(std::vector<std::uint8_t>&)> damage;
  };
  auto at = [](PageNumber page, std::size_t offset) {
    return std::size_t{page} * kPageSize + offset;
  };
  const Case cases[] = {
      {"the file cut to its catalog", [](auto& b) { b.resize(3 * kPageSize); }},
      {"a catalog row's offset", [&](auto& b) { b[at(catalog_data, 0x0E + 1)] ^= 0x10; }},
      {"the catalog's definition", [&](auto& b) { b[at(2, 0x2D)] ^= 0x40; }},
      {"Store's column count", [&](auto& b) { b[at(store, 0x2D)] ^= 0x08; }},
      {"an index page of Store", [&](auto& b) { b[at(index_leaf, 0x1E0 + 1)] ^= 0xFF; }},
      {"an index page's type", [&](auto& b) { b[at(index_leaf, 0)] = 0x01; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::uint8_t> damaged = original;
    c.damage(damaged);
    MemoryFile file(damaged);
    bool refused = false;
    try {
      Database db = Database::Open(file, true);
      try {
        db.CheckTable(u"Store");
      } catch (const FormatError&) {
        refused = true;
      }
      if (!refused) {
        VectorRows rows({});
        EXPECT_THROW(db.WriteTable(u"Store", rows), FormatError);
        refused = true;
      }
    } catch (const FormatError&) {
      refused = true;
    }
    EXPECT_TRUE(refused);
    EXPECT_EQ(file.writes, 0);
  }
}

// The check fails on each kind of damage done by hand to a table just written.
TEST(Database, TheCheckCatchesDamagedResults) {
  const auto original = ReadFixture("current/YWCURRENT.mdb");
  struct Case {
    const char* name;
    std::function<void(Database&, const TableDefinition&, const TablePages&)> damage;
  };
  const Case cases[] = {
      {"a key changed",
       [](Database& db, const TableDefinition& def, const TablePages& pages) {
         IndexWalk walk = WalkIndexPages(def.real_indexes[0].root_page, db.FindTable(u"Store"),
                                         [&](PageNumber n) {
                                           Page p;
                                           db.pages().Read(n, p);
                                           return p;
                                         });
         // The last key's last letter code, on the last leaf: still in order, but wrong.
         (void)pages;
         Page leaf;
         const PageNumber last = walk.pages.back();
         db.pages().Read(last, leaf);
         const std::size_t end = kPageSize - GetU16(&leaf[2]);
         leaf[end - 4 - 3] += 2;
         db.pages().Write(last, leaf);
       }},
      {"a data page in another table's map",
       [](Database& db, const TableDefinition&, const TablePages& pages) {
         const TableDefinition ace = db.Definition(u"Ace");
         const RowPointer map{ace.owned_pages.page, ace.owned_pages.row};
         std::vector<PageNumber> listed = ReadUsageMap(db.pages(), map);
         listed.push_back(pages.data.front());
         WriteUsageMap(db.pages(), db.free_pages(), map, listed);
       }},
      {"a data page marked free",
       [](Database& db, const TableDefinition&, const TablePages& pages) {
         db.free_pages().Free(pages.data.back());
       }},
      {"a long-value page left out of its map",
       [](Database& db, const TableDefinition& def, const TablePages& pages) {
         std::vector<PageNumber> listed = pages.long_values[0];
         listed.pop_back();
         const UsageMapRef& owned = def.long_value_maps[0].owned;
         WriteUsageMap(db.pages(), db.free_pages(), RowPointer{owned.page, owned.row}, listed);
       }},
  };
  std::vector<std::uint8_t> written;
  {
    MemoryFile file(original);
    Database db = Database::Open(file, true);
    VectorRows rows(RowsOf(db, u"Store"));
    db.WriteTable(u"Store", rows);
    ASSERT_NO_THROW(db.CheckTable(u"Store"));
    written = file.bytes;
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryFile file(written);
    Database db = Database::Open(file, true);
    const TableDefinition def = db.Definition(u"Store");
    c.damage(db, def, ReadTablePages(db.pages(), db.FindTable(u"Store"), def));
    EXPECT_THROW(db.CheckTable(u"Store"), FormatError);
  }
}

}  // namespace
}  // namespace cs::jetfile::test
