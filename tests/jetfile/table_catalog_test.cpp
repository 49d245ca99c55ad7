// Tables laid out, created, filled and dropped in copies of the current-database fixtures: the
// definitions Access and the files' writer gave the same schemas, both independent readers
// reading the result, the catalog's indexes holding one entry per row, pages freed and reused,
// and bad names, missing tables and damaged catalogs refused with the file untouched.
#include "jetfile/catalog.h"
#include "jetfile/table_catalog.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <set>

#include "jetfile/database.h"
#include "jetfile/free_page_map.h"
#include "jetfile/index_entries.h"
#include "jetfile/index_pages.h"
#include "jetfile/new_database.h"
#include "jetfile/page_file.h"
#include "jetfile/data_page.h"
#include "jetfile/table_layout.h"
#include "jetfile/table_rows.h"
#include "jetfile/usage_map.h"
#include "jetfile/table_definition_pages.h"
#include "fixture.h"
#include "readers.h"

namespace cs::jetfile {
namespace {

namespace fs = std::filesystem;
using test::MemoryFile;
using test::ReadFixture;
using test::VectorRows;
using namespace cs::test::jetfile;

constexpr double kNow = 46000.5;  // 2025-12-09 12:00

// The schema a definition was made from: columns in stored order, indexes without those of
// relationships.
TableSchema SchemaOf(const TableDefinition& def, std::u16string name) {
  TableSchema s{std::move(name), {}, {}};
  for (const ColumnDefinition& c : def.columns) {
    ColumnSpec spec{c.name, c.type, 0, c.IsAutoNumber(), c.IsCompressedUnicode(), false};
    if (c.type == ColumnType::kText) spec.length = static_cast<std::uint16_t>(c.length / 2);
    if (c.type == ColumnType::kBinary) spec.length = c.length;
    s.columns.push_back(spec);
  }
  for (const LogicalIndex& l : def.logical_indexes) {
    if (l.kind == kLogicalIndexForeignKey) continue;
    const RealIndex& r = def.real_indexes.at(l.real_index);
    IndexSpec spec{l.name, {}, l.kind == kLogicalIndexPrimaryKey, false, false, false};
    for (const IndexColumn& c : r.columns) {
      if (c.number != kUnusedIndexColumn) {
        spec.columns.emplace_back(def.FindColumn(c.number)->name, c.order == kIndexAscending);
      }
    }
    if (!spec.primary_key) {
      spec.unique = (r.flags & kIndexUnique) != 0;
      spec.ignore_nulls = (r.flags & kIndexIgnoreNulls) != 0;
      spec.required = (r.flags & kIndexRequired) != 0;
    }
    s.indexes.push_back(spec);
  }
  return s;
}

// A definition as a new, empty table has it: no pages, no rows, no relationships.
TableDefinition AsNew(TableDefinition def) {
  def.row_count = 0;
  def.next_autonumber = 0;
  def.owned_pages = def.free_space_pages = {};
  for (RealIndex& r : def.real_indexes) {
    r.block_unknown0 = r.block_count = r.block_unknown8 = 0;
    r.usage_map = {};
    r.root_page = 0;
  }
  std::erase_if(def.logical_indexes,
                [](const LogicalIndex& l) { return l.kind == kLogicalIndexForeignKey; });
  for (LongValueMaps& m : def.long_value_maps) m.owned = m.free = {};
  return def;
}

// The format facts checker passes the file.
::testing::AssertionResult FactsHold(const std::string& path) {
  const std::string command =
      "python3 " + std::string(SHARED_DIR) + "/tools/jet4-facts/verify.py " + path + " > /dev/null";
  if (std::system(command.c_str()) == 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "the format facts do not hold in " << path;
}

// Every index of a table holds exactly one entry per row, keyed by the row's values.
void ExpectIndexesHoldTheRows(PageFile& pages, PageNumber definition) {
  TableRows table(pages, definition);
  const TableDefinition& def = table.definition();
  EXPECT_EQ(def.row_count, table.rows().size());
  for (const RealIndex& index : def.real_indexes) {
    std::vector<IndexKeyColumn> columns;
    std::vector<std::size_t> at;
    for (const IndexColumn& c : index.columns) {
      for (std::size_t k = 0; c.number != kUnusedIndexColumn && k < def.columns.size(); ++k) {
        if (def.columns[k].number == c.number) {
          at.push_back(k);
          columns.push_back({def.columns[k].type, c.order == kIndexAscending});
        }
      }
    }
    std::vector<IndexedRow> rows;
    for (const TableRows::Row& r : table.rows()) {
      rows.push_back({r.where, {}});
      for (std::size_t k : at) rows.back().values.push_back(r.values[k]);
    }
    const IndexWalk walk = WalkIndexPages(index.root_page, definition, [&](PageNumber n) {
      Page p;
      pages.Read(n, p);
      return p;
    });
    EXPECT_NO_THROW(CheckIndexEntries(walk.entries, columns, IndexRulesFromFlags(index.flags),
                                      rows))
        << "definition page " << definition;
  }
}

// The user tables of the catalog, with their definition pages.
std::vector<std::pair<std::u16string, PageNumber>> UserTables(PageFile& pages) {
  std::vector<std::pair<std::u16string, PageNumber>> out;
  for (const CatalogEntry& entry : ReadCatalog(pages)) {
    if (IsUserTable(entry)) out.emplace_back(entry.name, DefinitionPageOf(entry, pages.page_count()));
  }
  return out;
}

PageNumber CatalogTable(PageFile& pages, std::u16string_view name) {
  for (const auto& [n, page] : UserTables(pages)) {
    if (n == name) return page;
  }
  // System tables: the catalog's own rows.
  return name == u"MSysACEs" ? 3 : 0;
}

TEST(TableLayoutTest, GivesTheDefinitionsOfTheFixturesTables) {
  for (const char* file : {"YWCURRENT.mdb", "YWCURRENT-ACCESS.mdb"}) {
    MemoryFile memory(ReadFixture(std::string("current/") + file));
    PageFile pages(memory, false);
    const auto tables = UserTables(pages);
    ASSERT_GE(tables.size(), 7u) << file;
    for (const auto& [name, page] : tables) {
      SCOPED_TRACE(std::string(file) + " " + std::string(name.begin(), name.end()));
      const TableDefinition stored = ReadTableDefinition(page, [&](PageNumber n) {
        Page p;
        pages.Read(n, p);
        return p;
      });
      const TableDefinition laid = LayOutTable(SchemaOf(stored, name));
      TableDefinition expected = AsNew(stored);
      // Access writes 4 into both cascade fields of its own tables' indexes and the General
      // sort order into every column; the files' other writer, whose layout is followed, 0 and
      // the sort order into Text and Memo columns only.
      if (name == u"Table1") {
        for (LogicalIndex& l : expected.logical_indexes) l.cascade_updates = l.cascade_deletes = 0;
        for (ColumnDefinition& c : expected.columns) {
          if (c.type != ColumnType::kText) c.sort_order_or_precision = {};
        }
      }
      EXPECT_EQ(SerializeTableDefinition(laid), SerializeTableDefinition(expected));
    }
  }
}

TEST(TableLayoutTest, RefusesSchemasNoTableCanHave) {
  const ColumnSpec id{u"Id", ColumnType::kLong};
  const ColumnSpec text{u"T", ColumnType::kText, 10};
  struct Case {
    const char* what;
    TableSchema schema;
  };
  const Case cases[] = {
      {"no columns", {u"X", {}, {}}},
      {"empty name", {u"", {id}, {}}},
      {"a dot", {u"a.b", {id}, {}}},
      {"a bracket", {u"a[b", {id}, {}}},
      {"leading space", {u" ab", {id}, {}}},
      {"control character", {u"a\tb", {id}, {}}},
      {"65 characters", {std::u16string(65, u'x'), {id}, {}}},
      {"a column twice, case aside", {u"X", {id, {u"ID", ColumnType::kText, 5}}, {}}},
      {"Text of 0 characters", {u"X", {{u"T", ColumnType::kText, 0}}, {}}},
      {"Text of 256 characters", {u"X", {{u"T", ColumnType::kText, 256}}, {}}},
      {"AutoNumber Text", {u"X", {{u"T", ColumnType::kText, 5, true}}, {}}},
      {"two AutoNumbers",
       {u"X", {{u"A", ColumnType::kLong, 0, true}, {u"B", ColumnType::kLong, 0, true}}, {}}},
      {"a required column", {u"X", {{u"A", ColumnType::kLong, 0, false, true, true}}, {}}},
      {"Numeric", {u"X", {{u"N", ColumnType::kNumeric}}, {}}},
      {"an index of no column", {u"X", {id}, {{u"I", {}}}}},
      {"an index of a missing column", {u"X", {id}, {{u"I", {{u"Nope", true}}}}}},
      {"an index of a Memo", {u"X", {id, {u"M", ColumnType::kMemo}}, {{u"I", {{u"M", true}}}}}},
      {"a column twice in an index", {u"X", {id}, {{u"I", {{u"Id", true}, {u"id", false}}}}}},
      {"two primary keys",
       {u"X", {id, text}, {{u"P", {{u"Id", true}}, true}, {u"Q", {{u"T", true}}, true}}}},
      {"an index name twice", {u"X", {id, text}, {{u"I", {{u"Id", true}}}, {u"i", {{u"T", true}}}}}},
  };
  for (const Case& c : cases) {
    EXPECT_THROW(LayOutTable(c.schema), FormatError) << c.what;
  }
}

// A table of every type the writer creates, with indexes of every kind.
TableSchema EveryType() {
  return {u"Every Type",
          {{u"Id", ColumnType::kLong, 0, true},
           {u"Name", ColumnType::kText, 40},
           {u"Wide", ColumnType::kText, 10, false, false},
           {u"Flag", ColumnType::kBoolean},
           {u"Small", ColumnType::kByte},
           {u"Count", ColumnType::kInteger},
           {u"Price", ColumnType::kCurrency},
           {u"Ratio", ColumnType::kSingle},
           {u"Measure", ColumnType::kDouble},
           {u"When", ColumnType::kDateTime},
           {u"Note", ColumnType::kMemo},
           {u"Blob", ColumnType::kOle},
           {u"Raw", ColumnType::kBinary, 8}},
          {{u"PrimaryKey", {{u"Id", true}}, true},
           {u"NameUnique", {{u"Name", true}}, false, true, true},
           {u"PriceWhen", {{u"Price", false}, {u"When", true}}},
           {u"Count", {{u"Count", true}}},
           {u"MeasureDown", {{u"Measure", false}}}}};
}

std::vector<std::vector<Value>> EveryTypeRows() {
  std::vector<std::vector<Value>> rows;
  for (int i = 1; i <= 40; ++i) {
    std::vector<Value> r(13);
    r[0] = std::int32_t{i};
    r[1] = i % 7 == 0 ? Value{} : Value{u"Item " + std::u16string(1, char16_t(u'A' + i % 26)) +
                                        u"\u00e9" + std::u16string(1, char16_t(u'0' + i % 10))};
    r[2] = std::u16string(u"\u20ac") + std::u16string(1, char16_t(u'a' + i % 26));
    r[3] = i % 2 == 0;
    r[4] = static_cast<std::uint8_t>(i * 5);
    r[5] = static_cast<std::int16_t>(i % 5 - 2);
    r[6] = i % 9 == 0 ? Value{} : Value{Currency{i * 12345 - 100000}};
    r[7] = static_cast<float>(i) / 4;
    r[8] = i % 3 == 0 ? -1.0 / i : 1e10 / i;
    r[9] = DateTime{40000.0 + i * 0.25};
    // Memo in the row, on one long-value row and on a chain of them; OLE likewise.
    const std::u16string words = u"\u00bd \u00b0 \u00d1 \u20ac note\r\n";
    std::u16string memo;
    while (memo.size() < (i % 4 == 1 ? 10u : i % 4 == 2 ? 1500u : 6000u)) memo += words;
    r[10] = i % 4 == 0 ? Value{} : Value{memo};
    r[11] = i % 3 == 0 ? Value{} : Value{Bytes(i % 3 == 1 ? 40 : 9000, static_cast<std::uint8_t>(i))};
    r[12] = i % 5 == 0 ? Value{} : Value{Bytes{1, 2, static_cast<std::uint8_t>(i)}};
    rows.push_back(r);
  }
  return rows;
}

// Creates the table of every type and writes its rows with the writer, which checks its work.
PageNumber CreateEveryType(Database& db) {
  const PageNumber table = CreateTable(db, EveryType(), kNow);
  VectorRows rows(EveryTypeRows());
  db.WriteTable(u"every type", rows);
  db.CheckTable(u"Every Type");
  return table;
}

void Fill(PageFile& pages, FreePageMap& free, PageNumber table,
          const std::vector<std::vector<Value>>& rows) {
  TableRows editor(pages, table);
  for (const auto& r : rows) editor.Insert(r);
  editor.Commit(free);
}

// The fixture's dump with a copy of `table` under `copy`, its relationship index left out.
void AddCopy(Dump& dump, const std::string& table, const std::string& copy) {
  DumpTable t = *dump.Table(table);
  t.name = copy;
  std::erase_if(t.indexes, [](const DumpItem& i) {
    return i.attributes.count("foreignKey") && i.attributes.at("foreignKey") == "1";
  });
  dump.tables.push_back(t);
  std::sort(dump.tables.begin(), dump.tables.end(),
            [](const DumpTable& a, const DumpTable& b) { return a.name < b.name; });
}

TEST(TableCatalogTest, CreatedTablesReadBackAndDropLeavesTheRestAsItWas) {
  const test::TempDir dir;
  // Each file in a thread of its own.
  const auto create_and_drop = [&](const char* name) {
    SCOPED_TRACE(name);
    MemoryFile memory(ReadFixture(std::string("current/") + name + ".mdb"));
    ASSERT_FALSE(memory.bytes.empty());
    const std::vector<std::uint8_t> original = memory.bytes;
    Database db = Database::Open(memory, true);
    PageFile& pages = db.pages();
    FreePageMap& free = db.free_pages();

    // Copies of two tables, filled with their rows, and a table of every type.
    Dump expected = test::FixtureDump(std::string("current/") + name);
    for (const char* t : {"PlanogramDetails", "Competitors"}) {
      const std::u16string source(t, t + std::strlen(t));
      TableRows rows(pages, CatalogTable(pages, source));
      const PageNumber copy =
          CreateTable(pages, free, SchemaOf(rows.definition(), source + u"Copy"), kNow);
      std::vector<std::vector<Value>> values;
      for (const auto& r : rows.rows()) values.push_back(r.values);
      Fill(pages, free, copy, values);
      AddCopy(expected, t, std::string(t) + "Copy");
    }
    const PageNumber every = CreateEveryType(db);
    for (PageNumber t : {PageNumber{2}, PageNumber{3}, every}) ExpectIndexesHoldTheRows(pages, t);
    if (const PageNumber by_access = CatalogTable(pages, u"Table1")) {
      // The access entries Access gave the table it created itself.
      const TableRows aces(pages, 3);
      const std::size_t object = aces.Column(u"ObjectId");
      auto entries_of = [&](PageNumber table) {
        std::vector<std::vector<Value>> out;
        for (const TableRows::Row& r : aces.rows()) {
          if (r.values[object] != Value{static_cast<std::int32_t>(table)}) continue;
          out.push_back(r.values);
          out.back()[object] = Value{};
        }
        return out;
      };
      EXPECT_EQ(entries_of(every).size(), 3u);
      EXPECT_EQ(entries_of(every), entries_of(by_access));
      // And the catalog row's owner, type and flags.
      const TableRows catalog(pages, 2);
      auto row_of = [&](PageNumber table) {
        std::vector<Value> out;
        for (const TableRows::Row& r : catalog.rows()) {
          if (r.values[catalog.Column(u"Id")] == Value{static_cast<std::int32_t>(table)}) {
            for (const char16_t* c : {u"ParentId", u"Type", u"Flags", u"Owner"}) {
              out.push_back(r.values[catalog.Column(c)]);
            }
          }
        }
        return out;
      };
      EXPECT_EQ(row_of(every).size(), 4u);
      EXPECT_EQ(row_of(every), row_of(by_access));
    }

    const std::string written = dir.Save(std::string(name) + "-created.mdb", memory.bytes);
    // mdb-reader and the format facts checker (on the file whose catalog Access wrote; the
    // other's tables are written by the same code) read the file in threads of their own while
    // the test goes on with the file in memory.
    auto by_node = std::async(std::launch::async,
                              [written] { return ReadWithMdbReader(written, "qed5190"); });
    auto facts = std::async(std::launch::async, [written, check = std::string(name) != "YWCURRENT"] {
      return check ? FactsHold(written) : ::testing::AssertionSuccess();
    });
    Comparison what;
    what.order = RowOrder::kAnyOrder;
    for (const DumpTable& t : expected.tables) what.tables.insert(t.name);
    const Dump by_libmdb = ReadWithLibmdb(written);
    EXPECT_TRUE(DumpsAgree(expected, by_libmdb, WhatLibmdbTells(what), "expected", "libmdb"));
    ASSERT_NE(by_libmdb.Table("Every Type"), nullptr);
    EXPECT_EQ(by_libmdb.Table("Every Type")->rows.size(), 40u);
    EXPECT_EQ(by_libmdb.Table("Every Type")->indexes.size(), 5u);

    // Dropped again, with ListBoxs: gone, their pages free, the rest as it was.
    const PageNumber listboxs = CatalogTable(pages, u"ListBoxs");
    TableRows listboxs_rows(pages, listboxs);
    std::vector<PageNumber> owned = ReadUsageMap(
        pages, {listboxs_rows.definition().owned_pages.page,
                listboxs_rows.definition().owned_pages.row});
    owned.push_back(listboxs);
    for (const char16_t* t : {u"PlanogramDetailsCopy", u"competitorscopy", u"Every Type", u"ListBoxs"}) {
      DropTable(pages, free, t);
    }
    for (PageNumber t : {PageNumber{2}, PageNumber{3}}) ExpectIndexesHoldTheRows(pages, t);
    FreePageMap reread(pages);
    for (PageNumber n : owned) EXPECT_TRUE(reread.IsFree(n)) << "page " << n;

    Dump after = test::FixtureDump(std::string("current/") + name);
    std::erase_if(after.tables, [](const DumpTable& t) { return t.name == "ListBoxs"; });
    const std::string dropped = dir.Save(std::string(name) + "-dropped.mdb", memory.bytes);
    EXPECT_TRUE(DumpsAgree(after, ReadWithLibmdb(dropped), WhatLibmdbTells(), "expected", "libmdb"));
    // Page 0 and the other tables' pages are the same bytes.
    EXPECT_TRUE(std::equal(original.begin(), original.begin() + kPageSize, memory.bytes.begin()));

    const Dump by_mdb_reader = by_node.get();
    EXPECT_TRUE(
        DumpsAgree(expected, by_mdb_reader, WhatMdbReaderTells(what), "expected", "mdb-reader"));
    Comparison every_table;
    every_table.tables = {"Every Type"};
    every_table.relationships = false;
    EXPECT_TRUE(DumpsAgree(by_mdb_reader, by_libmdb,
                           WhatLibmdbTells(WhatMdbReaderTells(every_table)), "mdb-reader", "libmdb"));
    EXPECT_TRUE(facts.get());
  };
  std::vector<std::future<void>> runs;
  for (const char* name : {"YWCURRENT", "YWCURRENT-ACCESS"}) {
    runs.push_back(std::async(std::launch::async, create_and_drop, name));
  }
  for (auto& run : runs) run.get();
}

TEST(TableCatalogTest, CreatingAndDroppingAgainDoesNotGrowTheFile) {
  MemoryFile memory(ReadFixture("current/YWCURRENT.mdb"));
  Database db = Database::Open(memory, true);
  std::size_t after_first = 0;
  for (int round = 0; round < 8; ++round) {
    CreateEveryType(db);
    DropTable(db, u"Every Type");
    if (round == 0) after_first = memory.bytes.size();
  }
  EXPECT_LE(memory.bytes.size(), after_first + 4 * kPageSize);
  EXPECT_EQ(UserTables(db.pages()).size(), 7u);
}

TEST(TableCatalogTest, BadRequestsAndDamagedCatalogsLeaveTheFileUntouched) {
  const std::vector<std::uint8_t> fixture = ReadFixture("current/YWCURRENT.mdb");
  ASSERT_FALSE(fixture.empty());
  TableSchema existing = EveryType();
  existing.name = u"store";
  TableSchema invalid = EveryType();
  invalid.name = u"Bad!Name";
  struct Case {
    const char* what;
    std::function<void(std::vector<std::uint8_t>&)> damage;
    std::function<void(PageFile&, FreePageMap&)> act;
  };
  auto none = [](std::vector<std::uint8_t>&) {};
  auto create = [](const TableSchema& s) {
    return [s](PageFile& p, FreePageMap& f) { CreateTable(p, f, s, kNow); };
  };
  auto drop = [](std::u16string name) {
    return [name](PageFile& p, FreePageMap& f) { DropTable(p, f, name); };
  };
  // The catalog's column count, and the row table of its first data page.
  auto catalog_columns = [](std::vector<std::uint8_t>& b) { b[2 * kPageSize + 0x2D] = 0xFF; };
  auto catalog_rows = [&](std::vector<std::uint8_t>& b) {
    MemoryFile m(b);
    PageFile p(m, false);
    TableRows rows(p, 2);
    const PageNumber first = rows.rows().front().where.page;
    b[first * kPageSize + 0x0E] ^= 0xFF;
  };
  // ListBoxs's definition (its column count) and its usage map of owned pages (the map's type).
  auto listboxs_definition = [&](std::vector<std::uint8_t>& b) {
    MemoryFile m(b);
    PageFile p(m, false);
    b[CatalogTable(p, u"ListBoxs") * kPageSize + 0x2D] = 0xFF;
  };
  auto listboxs_map = [&](std::vector<std::uint8_t>& b) {
    MemoryFile m(b);
    PageFile p(m, false);
    const TableRows rows(p, CatalogTable(p, u"ListBoxs"));
    const UsageMapRef map = rows.definition().owned_pages;
    Page page = m.PageAt(map.page);
    b[map.page * kPageSize + LocateRow(page, {map.page, map.row}).begin] = 0x07;
  };
  // Two catalog rows with one Id, which the catalog's unique Id index cannot hold.
  auto catalog_twice = [&](std::vector<std::uint8_t>& b) {
    MemoryFile m(b);
    PageFile p(m, false);
    const TableRows rows(p, 2);
    const std::size_t id = rows.Column(u"Id"), name = rows.Column(u"Name");
    for (const TableRows::Row& r : rows.rows()) {
      if (std::get<std::u16string>(r.values[name]) != u"ListBoxs") continue;
      const Page page = m.PageAt(r.where.page);
      const auto bytes = RowBytes(page, r.where.page, r.where.row);
      const std::size_t at = r.where.page * kPageSize +
                             static_cast<std::size_t>(bytes.data() - page.data()) + 2 +
                             rows.definition().columns[id].fixed_offset;
      PutU32(b.data() + at, CatalogTable(p, u"Store"));
    }
  };
  const Case cases[] = {
      {"create, two catalog rows with one Id", catalog_twice, create(EveryType())},
      {"drop, two catalog rows with one Id", catalog_twice, drop(u"AceFileDate")},
      {"drop, damaged definition", listboxs_definition, drop(u"ListBoxs")},
      {"drop, damaged usage map", listboxs_map, drop(u"ListBoxs")},
      {"an existing name, case aside", none, create(existing)},
      {"an invalid name", none, create(invalid)},
      {"a missing table", none, drop(u"Nothing")},
      {"a table in a relationship", none, drop(u"Store")},
      {"the other table of the relationship", none, drop(u"PriceHistory")},
      {"a system table", none, drop(u"MSysObjects")},
      {"create, damaged catalog definition", catalog_columns, create(EveryType())},
      {"drop, damaged catalog definition", catalog_columns, drop(u"ListBoxs")},
      {"create, damaged catalog page", catalog_rows, create(EveryType())},
      {"drop, damaged catalog page", catalog_rows, drop(u"ListBoxs")},
  };
  for (const Case& c : cases) {
    std::vector<std::uint8_t> bytes = fixture;
    c.damage(bytes);
    MemoryFile memory(bytes);
    PageFile pages(memory, true);
    FreePageMap free(pages);
    EXPECT_THROW(c.act(pages, free), FormatError) << c.what;
    EXPECT_EQ(memory.writes, 0) << c.what;
    EXPECT_TRUE(memory.bytes == bytes) << c.what;
  }
}

TEST(NewDatabaseTest, SystemTablesAreDefinedAsAccessDefinesThem) {
  MemoryFile access(ReadFixture("access-made/V2000-PASSWORD.mdb"));
  MemoryFile made;
  CreateEmptyDatabase(made, u"", kNow);
  PageFile access_pages(access, false), made_pages(made, false);
  auto normal = [](PageFile& pages, PageNumber n) {
    TableDefinition def = AsNew(ReadTableDefinition(n, [&](PageNumber k) {
      Page p;
      pages.Read(k, p);
      return p;
    }));
    return SerializeTableDefinition(def);
  };
  for (PageNumber n : {2u, 3u, 4u, 5u}) {
    EXPECT_EQ(normal(made_pages, n), normal(access_pages, n)) << "definition page " << n;
  }
}

TEST(NewDatabaseTest, BothReadersOpenItAndItTakesTablesAndRows) {
  const test::TempDir dir;
  // Empty, without a password.
  MemoryFile empty;
  CreateEmptyDatabase(empty, u"", kNow);
  Dump expected;
  expected.format = "V2000 [VERSION_4]";
  expected.password = "\\N";
  EXPECT_TRUE(BothReadersHold(dir.Save("empty.mdb", empty.bytes), "", expected));

  // With a password of accented letters, and a table of every type filled.
  const std::u16string password = u"\u00e9t\u00e9 2025";
  MemoryFile memory;
  CreateEmptyDatabase(memory, password, kNow);
  Database db = Database::Open(memory, true);
  PageFile& pages = db.pages();
  EXPECT_EQ(pages.header().password(), password);
  const PageNumber every = CreateEveryType(db);
  for (PageNumber t : {PageNumber{2}, PageNumber{3}, every}) ExpectIndexesHoldTheRows(pages, t);
  const std::string filled = dir.Save("filled.mdb", memory.bytes);
  const Dump by_libmdb = ReadWithLibmdb(filled);
  ASSERT_EQ(by_libmdb.tables.size(), 1u);
  EXPECT_EQ(by_libmdb.tables[0].rows.size(), 40u);
  const Dump by_mdb_reader = ReadWithMdbReader(filled, test::Utf8(password));
  EXPECT_EQ(by_mdb_reader.format, expected.format);
  EXPECT_EQ(by_mdb_reader.password, test::Utf8(password));
  Comparison all;
  all.relationships = false;
  EXPECT_TRUE(DumpsAgree(by_mdb_reader, by_libmdb, WhatLibmdbTells(WhatMdbReaderTells(all)),
                         "mdb-reader", "libmdb"));
  EXPECT_TRUE(FactsHold(filled));
  MemoryFile not_empty(std::vector<std::uint8_t>(kPageSize, 0));
  EXPECT_THROW(CreateEmptyDatabase(not_empty, u"", kNow), std::invalid_argument);
}

}  // namespace
}  // namespace cs::jetfile
