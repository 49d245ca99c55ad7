// A Jet (Access) current database, as every existing installation has it, imported into by the
// real acefeedpump: the wholesaler's full, month-to-date and custom files, the column repair, a
// table laid out by the INI, an import answered Abort. Each result is read back by libmdb and by
// mdb-reader and compared with what the import means the tables to hold: the rows the data files
// bring (read from the data files by libmdb), the untouched tables as the fixture's dump has them,
// the password and the relationship kept.
#include <fcntl.h>
#include <unistd.h>

#include <map>

#include "db/sqlite.h"
#include "e2e_support.h"
#include "jetfile/database.h"
#include "jetfile/table_pages.h"
#include "jetfile/readers.h"
#include "platform/posix_file_system.h"

namespace cs {
namespace {

namespace fs = std::filesystem;
using test::jetfile::Comparison;
using test::jetfile::Dump;
using test::jetfile::DumpTable;
using test::jetfile::RowOrder;

fs::path Fixture(const std::string& name) { return fs::path(SHARED_DIR) / "fixtures" / "jet" / name; }

DumpTable& TableOf(Dump& dump, const std::string& name) {
  for (auto& t : dump.tables) {
    if (t.name == name) return t;
  }
  throw std::runtime_error("no table " + name + " in the dump");
}

std::size_t ColumnOf(const DumpTable& t, const std::string& name) {
  const auto it = std::find(t.header.begin(), t.header.end(), name);
  if (it == t.header.end()) throw std::runtime_error("no column " + name + " in " + t.name);
  return static_cast<std::size_t>(it - t.header.begin());
}

// A table's rows laid out in another table's column order (by name).
std::vector<std::vector<std::string>> RowsAs(const DumpTable& from, const DumpTable& layout) {
  std::vector<std::vector<std::string>> out;
  for (const auto& row : from.rows) {
    std::vector<std::string> r;
    for (const auto& column : layout.header) r.push_back(row[ColumnOf(from, column)]);
    out.push_back(r);
  }
  return out;
}

void SetRows(DumpTable& t, std::vector<std::vector<std::string>> rows) {
  t.rows = std::move(rows);
  t.row_count = t.rows.size();
}

class JetCurrentTest : public test::EndToEndTest {
 protected:
  void UseCurrent(const fs::path& jet) {
    fs::remove(Current());
    fs::copy_file(jet, Current());
    fs::permissions(Current(), fs::perms::owner_write, fs::perm_options::add);
  }
  std::string PutData(const std::string& fixture, const std::string& name) {
    const auto to = prefix.drive_c() / "DATA" / name;
    fs::create_directories(to.parent_path());
    fs::copy_file(Fixture(fixture), to, fs::copy_options::overwrite_existing);
    return "C:\\DATA\\" + name;
  }
  // Both readers hold `expected` in the current database: the tables the import wrote in any
  // row order, every other one as it was; `loose` tables (made by the import from the INI) by
  // their rows only.
  void ExpectCurrent(const Dump& expected, const std::set<std::string>& loose = {}) {
    Comparison what;
    what.order = RowOrder::kAnyOrder;
    for (const auto& t : expected.tables) {
      if (!loose.count(t.name)) what.tables.insert(t.name);
    }
    EXPECT_TRUE(test::jetfile::BothReadersHold(Current().string(), "qed5190", expected, what));
    if (loose.empty()) return;
    Comparison rows_only = what;
    rows_only.tables = loose;
    rows_only.columns = rows_only.indexes = rows_only.relationships = false;
    EXPECT_TRUE(test::jetfile::BothReadersHold(Current().string(), "qed5190", expected, rows_only));
  }
};

// The full monthly file, the month-to-date file and the custom file, on both current databases
// (one whose catalog Microsoft Access wrote).
TEST_F(JetCurrentTest, ImportsAreWrittenIntoTheJetFile) {
  const Dump full = test::jetfile::ReadWithLibmdb(Fixture("ACEDATA0307.mdb").string());
  const Dump mtd = test::jetfile::ReadWithLibmdb(Fixture("ACEMTD0315.mdb").string());
  const Dump custom = test::jetfile::ReadWithLibmdb(Fixture("CUSTOMDATA.mdb").string());
  // Made anew from the INI; the data file's own, of another layout, is not copied (passed over).
  DumpTable details;
  details.name = "AdditionalDetails";
  details.header = {"SKU", "UPC", "Weight"};
  for (const char* current : {"YWCURRENT", "YWCURRENT-ACCESS"}) {
    const Dump before = test::jetfile::ParseDumpFile(Fixture(std::string("current/") + current + ".dump.txt").string());
    SCOPED_TRACE(current);
    {
      SCOPED_TRACE("full");
      UseCurrent(Fixture(std::string("current/") + current + ".mdb"));
      const auto out = Run({PutData("ACEDATA0307.mdb", "ACEDATA0307.YW"), "-s"});
      ASSERT_EQ(SetupComplete(), "TRUE") << out.Text();
      Dump expected = before;
      for (const char* table : {"Ace", "PlanogramDetails", "AceFileDate"}) {
        SetRows(TableOf(expected, table), RowsAs(*full.Table(table), TableOf(expected, table)));
      }
      SetRows(TableOf(expected, "ListBoxs"), {});
      expected.tables.push_back(details);
      ExpectCurrent(expected, {"AdditionalDetails"});
      EXPECT_TRUE(Beside().empty());
    }
    {
      SCOPED_TRACE("month to date");
      UseCurrent(Fixture(std::string("current/") + current + ".mdb"));
      const auto out = Run({PutData("ACEMTD0315.mdb", "ACEMTD0315.YW"), "-s"});
      ASSERT_EQ(SetupComplete(), "TRUE") << out.Text();
      Dump expected = before;
      DumpTable& ace = TableOf(expected, "Ace");
      // Known SKUs take the file's values but keep SKU and DEPT; new SKUs come whole.
      std::map<std::string, std::size_t> at;
      for (std::size_t i = 0; i < ace.rows.size(); ++i) at[ace.rows[i][0]] = i;
      const std::size_t dept = ColumnOf(ace, "DEPT");
      auto rows = ace.rows;
      int known = 0;
      for (auto row : RowsAs(*mtd.Table("Ace"), ace)) {
        if (const auto it = at.find(row[0]); it != at.end()) {
          row[dept] = rows[it->second][dept];
          rows[it->second] = row;
          ++known;
        } else {
          rows.push_back(row);
        }
      }
      EXPECT_EQ(known, 39);
      SetRows(ace, rows);
      SetRows(TableOf(expected, "AceFileDate"), mtd.Table("AceFileDate")->rows);
      SetRows(TableOf(expected, "ListBoxs"), {});
      expected.tables.push_back(details);
      ExpectCurrent(expected, {"AdditionalDetails"});
    }
    {
      SCOPED_TRACE("custom");
      UseCurrent(Fixture(std::string("current/") + current + ".mdb"));
      const auto out = Run({PutData("CUSTOMDATA.mdb", "CUSTOMDATA.YW"), "-s"});
      ASSERT_EQ(SetupComplete(), "TRUE") << out.Text();
      Dump expected = before;
      // Comp5 is 0, or the custom file's retail price of the SKU.
      std::map<std::string, std::string> retail;
      const DumpTable& prices = *custom.Table("Ace");
      for (const auto& row : prices.rows) retail[row[ColumnOf(prices, "SKU")]] = row[ColumnOf(prices, "AceRetail")];
      DumpTable& store = TableOf(expected, "Store");
      int priced = 0;
      for (auto& row : store.rows) {
        const auto it = retail.find(row[ColumnOf(store, "Sku")]);
        row[ColumnOf(store, "Comp5")] = it == retail.end() ? "0.0000" : it->second;
        priced += it != retail.end();
      }
      EXPECT_GT(priced, 0);
      DumpTable& competitors = TableOf(expected, "Competitors");
      for (auto& row : competitors.rows) {
        if (row[0] == "Comp5") row[1] = "CustRetail";
      }
      ExpectCurrent(expected);
    }
  }
}

// An Ace without two of the columns the custom import repairs: the table is made again with them
// (at its end, No and Null), every other value kept; the other tables as they were.
TEST_F(JetCurrentTest, TheColumnRepairMakesTheTableAgain) {
  const fs::path program = prefix.root() / "program.yw";
  const auto convert = [](const fs::path& from, const fs::path& to) {
    return std::system(("'" + std::string(YWDATA_PATH) + "' convert '" + from.string() + "' '" + to.string() +
                        "' >/dev/null")
                           .c_str());
  };
  ASSERT_EQ(convert(Fixture("current/YWCURRENT.mdb"), program), 0);
  {
    const db::Database db = db::Database::Open(program, db::Database::Mode::kReadWrite, RunError(0, "cannot open"));
    db.Exec("ALTER TABLE Ace DROP COLUMN MfgNumber; ALTER TABLE Ace DROP COLUMN Active");
  }
  fs::remove(Current());
  ASSERT_EQ(convert(program, Current()), 0);
  Dump before = test::jetfile::ReadWithLibmdb(Current().string());
  before.password = "qed5190";

  const auto out = Run({PutData("CUSTOMDATA.mdb", "CUSTOMDATA.YW"), "-s", "-L"});
  ASSERT_EQ(SetupComplete(), "TRUE") << out.Text();
  Dump expected = before;
  DumpTable& ace = TableOf(expected, "Ace");
  ace.header.push_back("Active");
  ace.header.push_back("MfgNumber");
  for (auto& row : ace.rows) {
    row.push_back("0");
    row.push_back("\\N");
  }
  DumpTable& store = TableOf(expected, "Store");
  store.rows = test::jetfile::ReadWithLibmdb(Current().string()).Table("Store")->rows;  // Comp5: the custom test above
  TableOf(expected, "Competitors").rows[4][1] = "CustRetail";
  ExpectCurrent(expected, {"Ace"});
  const Dump after = test::jetfile::ReadWithLibmdb(Current().string());
  const DumpTable& remade = *after.Table("Ace");
  ASSERT_GE(remade.columns.size(), 2u);
  EXPECT_EQ(remade.columns[remade.columns.size() - 2].attributes.at("type"), "BOOLEAN");
  EXPECT_EQ(remade.columns.back().name, "MfgNumber");
  EXPECT_EQ(remade.columns.back().attributes.at("chars"), "25");
  EXPECT_TRUE(std::any_of(remade.indexes.begin(), remade.indexes.end(), [](const auto& index) {
    return index.attributes.at("primaryKey") == "1" && index.attributes.at("columns") == "(SKU ASC)";
  })) << "the primary key is kept";
  bool logged = false;
  for (const auto& line : LogMessages()) logged |= line.find("made again: Ace") != std::string::npos;
  EXPECT_TRUE(logged);
}

// The INI lays out Ace with a column more than the current database's Ace has: a full import
// makes the table again with it; AdditionalDetails is made as the INI lays it out.
TEST_F(JetCurrentTest, TablesLaidOutByTheIniAreMadeAsTheIniSays) {
  UseCurrent(Fixture("current/YWCURRENT.mdb"));
  const fs::path ini = prefix.drive_c() / "Program Files" / "Yield Warden" / "YWConfig.ini";
  std::string text = test::ReadFile(ini);
  const auto ace = text.find("[Ace]\r\n");
  ASSERT_NE(ace, std::string::npos);
  text.insert(text.find("\r\n[", ace + 1) + 2, "ShelfTag=TEXT(12)\r\n");
  test::WriteFile(ini, text);
  const auto out = Run({PutData("ACEDATA0307.mdb", "ACEDATA0307.YW"), "-s"});
  ASSERT_EQ(SetupComplete(), "TRUE") << out.Text();
  const Dump after = test::jetfile::ReadWithLibmdb(Current().string());
  const DumpTable& table = *after.Table("Ace");
  ASSERT_EQ(table.header.back(), "ShelfTag");
  EXPECT_EQ(table.columns.back().attributes.at("chars"), "12");
  const Dump full = test::jetfile::ReadWithLibmdb(Fixture("ACEDATA0307.mdb").string());
  Dump expected = after;
  expected.password = "qed5190";
  DumpTable& expected_ace = TableOf(expected, "Ace");
  auto rows = RowsAs(*full.Table("Ace"), [&] {
    DumpTable layout = expected_ace;
    layout.header.pop_back();
    return layout;
  }());
  for (auto& row : rows) row.push_back("\\N");
  SetRows(expected_ace, rows);
  Comparison what;
  what.order = RowOrder::kAnyOrder;
  what.tables = {"Ace"};
  EXPECT_TRUE(test::jetfile::BothReadersHold(Current().string(), "qed5190", expected, what));
  ASSERT_NE(after.Table("AdditionalDetails"), nullptr);
  EXPECT_EQ(after.Table("AdditionalDetails")->header, (std::vector<std::string>{"SKU", "UPC", "Weight"}));
}

// An import that fails half-way and is answered Abort, and one that ends FALSE before its first
// write: the Jet file is byte for byte as it was and nothing is left beside it.
TEST_F(JetCurrentTest, AnImportThatDoesNotCompleteLeavesTheFileAsItWas) {
  UseCurrent(Fixture("current/YWCURRENT.mdb"));
  const std::string old = test::ReadFile(Current());
  // A full file without PlanogramDetails: the copy fails after the receiving tables were made.
  ywdata::MakeDataFile(prefix.root(), prefix.root() / "full.yw", ywdata::DataKind::kFull, {.rows = 20, .date = "3/1/2007"});
  {
    const db::Database db = db::Database::Open(prefix.root() / "full.yw", db::Database::Mode::kReadWrite, RunError(0, "cannot open"));
    db.Exec("DROP TABLE PlanogramDetails");
  }
  fs::create_directories(prefix.drive_c() / "DATA");
  fs::copy_file(prefix.root() / "full.yw", prefix.drive_c() / "DATA" / "ACEDATA0307.YW");
  auto out = Run({"C:\\DATA\\ACEDATA0307.YW", "-s"}, "A\n");
  EXPECT_EQ(SetupComplete(), "FALSE");
  EXPECT_NE(out.Text().find("== Application Error [critical] Abort/Retry/Ignore =="), std::string::npos) << out.Text();
  EXPECT_TRUE(test::ReadFile(Current()) == old) << "the current database changed";
  EXPECT_TRUE(Beside().empty());

  // A month-to-date file of another month is refused before anything is written.
  ywdata::MakeDataFile(prefix.root(), prefix.drive_c() / "DATA" / "ACEMTD0415.YW", ywdata::DataKind::kMonthToDate,
                       {.rows = 20, .date = "4/15/2007"});
  out = Run({"C:\\DATA\\ACEMTD0415.YW", "-s"});
  EXPECT_EQ(SetupComplete(), "FALSE") << out.Text();
  EXPECT_TRUE(test::ReadFile(Current()) == old) << "the current database changed";
  EXPECT_TRUE(Beside().empty());
}

// Twelve monthly full imports in a row: the pages each gives up are used again, so the file after
// the twelfth is at most 1.2 times its size after the first.
TEST_F(JetCurrentTest, TwelveMonthlyImportsKeepTheFileSize) {
  UseCurrent(Fixture("current/YWCURRENT.mdb"));
  std::uintmax_t first = 0;
  for (int month = 1; month <= 12; ++month) {
    SCOPED_TRACE(month);
    const std::string name = "ACEDATA" + std::string(month < 10 ? "0" : "") + std::to_string(month) + "07.YW";
    ywdata::MakeDataFile(prefix.root(), prefix.drive_c() / "DATA" / name, ywdata::DataKind::kFull,
                         {.rows = 1000, .first_sku = 1000000 + 50 * month, .date = std::to_string(month) + "/1/2007"});
    const auto out = Run({"C:\\DATA\\" + name, "-s"});
    ASSERT_EQ(SetupComplete(), "TRUE") << out.Text();
    if (month == 1) first = fs::file_size(Current());
  }
  EXPECT_LE(fs::file_size(Current()), first + first / 5) << "after the first: " << first;
  Comparison what;
  what.order = RowOrder::kAnyOrder;
  what.tables = {"Store", "PriceHistory", "Competitors"};
  EXPECT_TRUE(test::jetfile::BothReadersHold(
      Current().string(), "qed5190", test::jetfile::ParseDumpFile(Fixture("current/YWCURRENT.dump.txt").string()), what));
}

// Damaged current databases: one the reader refuses is a current database that does not open;
// one whose damage only the writer meets (the root page of Ace's index, which libmdb does not
// read) fails the import when it is written, also when that failure is passed over with Ignore.
// Either way nothing is written, nothing left beside, and no success reported.
TEST_F(JetCurrentTest, DamagedCurrentDatabasesAreNotWritten) {
  const std::string good = test::ReadFile(Fixture("current/YWCURRENT.mdb"));
  std::uint32_t index_root = 0;
  {
    UseCurrent(Fixture("current/YWCURRENT.mdb"));
    platform::PosixFileSystem files;
    std::unique_ptr<platform::RandomAccessFile> file;
    ASSERT_FALSE(files.OpenRandomAccess(Current(), false, file));
    auto jet = jetfile::Database::Open(*file, false);
    index_root = jet.Definition(u"Ace").real_indexes.at(0).root_page;
  }
  std::string catalog = good;
  for (std::size_t i = 2 * 4096 + 600; i < 2 * 4096 + 900; ++i) catalog[i] = static_cast<char>(i * 7);
  std::string index = good;
  index[std::size_t{index_root} * 4096] = '\x01';  // a data page's type where an index page was
  struct Case {
    const char* name;
    std::string bytes;
    bool opens;
  } cases[] = {{"catalog damaged", catalog, false}, {"cut in half", good.substr(0, good.size() / 2 / 4096 * 4096), false},
               {"Ace's index damaged", index, true}};
  const std::string data = PutData("ACEDATA0307.mdb", "ACEDATA0307.YW");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(Current());
    test::WriteFile(Current(), c.bytes);
    const auto out = Run({data, "-s", "-L"}, "A\n");
    EXPECT_EQ(SetupComplete(), "FALSE") << out.Text();
    const auto log = LogMessages();
    EXPECT_EQ(std::find(log.begin(), log.end(), "FileName: C:\\YIELDWARDEN\\YIELDWARDEN.YW is NOT OK") == log.end(),
              c.opens)
        << out.Text();
    if (c.opens) {
      EXPECT_NE(out.Text().find("The table 'Ace' cannot be written into the current database"),
                std::string::npos)
          << out.Text();
    }
    EXPECT_TRUE(test::ReadFile(Current()) == c.bytes) << "the current database changed";
    EXPECT_TRUE(Beside().empty());
    if (c.opens) {
      // The failed write passed over with Ignore: still no success, and no date recorded for it.
      const std::string reg = test::ReadFile(prefix.user_reg());
      const auto ignored = Run({data, "-s"}, "I\n");
      EXPECT_EQ(SetupComplete(), "FALSE") << ignored.Text();
      EXPECT_EQ(ignored.Text().find("Import Completed Successfully"), std::string::npos) << ignored.Text();
      EXPECT_TRUE(test::ReadFile(Current()) == c.bytes) << "the current database changed";
      EXPECT_EQ(test::ReadFile(prefix.user_reg()).find("\"Ace\"=\"20070301\""), reg.find("\"Ace\"=\"20070301\""));
    }
  }
}

// A table's rows are read only when the import uses the table: damage in the rows of one it reads
// (Ace, for a month-to-date merge) fails the import naming it, with nothing written; damage in
// one it never reads (Store, for a full import) is neither read nor written: its pages stay as
// they were, byte for byte.
TEST_F(JetCurrentTest, DamagedRowsFailTheImportThatReadsThemAndNoOther) {
  UseCurrent(Fixture("current/YWCURRENT.mdb"));
  const auto first_data_page = [&](const std::u16string& table) {
    platform::PosixFileSystem files;
    std::unique_ptr<platform::RandomAccessFile> file;
    EXPECT_FALSE(files.OpenRandomAccess(Current(), false, file));
    auto jet = jetfile::Database::Open(*file, false);
    return jetfile::ReadTablePages(jet.pages(), jet.FindTable(table), jet.Definition(table)).data.at(0);
  };
  // The page's count of rows (at byte 12) says it holds none: the table reads fewer rows than
  // its definition counts.
  const auto without_rows = [&](std::uint32_t page) {
    std::string bytes = test::ReadFile(Current());
    bytes[std::size_t{page} * 4096 + 12] = 0;
    bytes[std::size_t{page} * 4096 + 13] = 0;
    return bytes;
  };
  const std::string ace_damaged = without_rows(first_data_page(u"Ace"));
  const std::uint32_t store_page = first_data_page(u"Store");
  const std::string store_damaged = without_rows(store_page);

  fs::remove(Current());
  test::WriteFile(Current(), ace_damaged);
  const auto mtd = Run({PutData("ACEMTD0315.mdb", "ACEMTD0315.YW"), "-s"}, "A\n");
  EXPECT_EQ(SetupComplete(), "FALSE") << mtd.Text();
  EXPECT_NE(mtd.Text().find("The rows of Ace could not be read"), std::string::npos) << mtd.Text();
  EXPECT_TRUE(test::ReadFile(Current()) == ace_damaged) << "the current database changed";
  EXPECT_TRUE(Beside().empty());
  // Every failure passed over with Ignore: still nothing written and no success.
  std::string ignore_all;
  for (int i = 0; i < 60; ++i) ignore_all += "I\n";
  const auto ignored = Run({PutData("ACEMTD0315.mdb", "ACEMTD0315.YW"), "-s"}, ignore_all);
  EXPECT_EQ(SetupComplete(), "FALSE") << ignored.Text();
  EXPECT_EQ(ignored.Text().find("Import Completed Successfully"), std::string::npos) << ignored.Text();
  EXPECT_TRUE(test::ReadFile(Current()) == ace_damaged) << "the current database changed";
  EXPECT_TRUE(Beside().empty());

  fs::remove(Current());
  test::WriteFile(Current(), store_damaged);
  const auto full = Run({PutData("ACEDATA0307.mdb", "ACEDATA0307.YW"), "-s"});
  EXPECT_EQ(SetupComplete(), "TRUE") << full.Text();
  std::string after = test::ReadFile(Current());
  ASSERT_GT(after.size(), std::size_t{store_page + 1} * 4096);
  EXPECT_TRUE(after.compare(std::size_t{store_page} * 4096, 4096, store_damaged, std::size_t{store_page} * 4096,
                            4096) == 0)
      << "Store's damaged page was written";
  EXPECT_TRUE(Beside().empty());
}

// No room for the new file (the file size limit a full disk would set, here the database's own size:
// the copy beside it can be made but not grow): FALSE, the error dialog, the database untouched,
// nothing left beside it or in the temporary folder.
TEST_F(JetCurrentTest, NoRoomForTheNewFileLeavesTheOldOne) {
  UseCurrent(Fixture("current/YWCURRENT.mdb"));
  const std::string old = test::ReadFile(Current());
  const fs::path tmp = prefix.root() / "tmp";
  fs::create_directories(tmp);
  environment = "ulimit -f " + std::to_string(old.size() / 512) + "; trap '' XFSZ; TMPDIR=" +
                test::ShellQuote(tmp.string()) + " ";
  const auto out = Run({PutData("ACEDATA0307.mdb", "ACEDATA0307.YW"), "-s"}, "A\n");
  EXPECT_EQ(SetupComplete(), "FALSE") << out.Text();
  EXPECT_NE(out.Text().find("YieldWarden.yw.unfinished-import: File too large"), std::string::npos) << out.Text();
  EXPECT_TRUE(test::ReadFile(Current()) == old) << "the current database changed";
  EXPECT_TRUE(Beside().empty());
  EXPECT_TRUE(fs::is_empty(tmp));
}

// While another program holds a range of the database's lock file, as Jet does while Yield Warden
// or Access has the database open, the import fails with Jet's message and writes nothing; the
// lock file left behind once that program has gone is no obstacle.
TEST_F(JetCurrentTest, ADatabaseInUseIsNotReplaced) {
  UseCurrent(Fixture("current/YWCURRENT.mdb"));
  const std::string old = test::ReadFile(Current());
  const fs::path ldb = Current().parent_path() / "YieldWarden.ldb";
  test::WriteFile(ldb, std::string(64, '\0'));
  const std::string data = PutData("ACEDATA0307.mdb", "ACEDATA0307.YW");
  {
    const int fd = ::open(ldb.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    struct flock range {};
    range.l_type = F_WRLCK;
    range.l_whence = SEEK_SET;
    range.l_start = 0x10000000;  // where Jet locks its user slots
    range.l_len = 1;
    ASSERT_EQ(fcntl(fd, F_SETLK, &range), 0);
    const auto out = Run({data, "-s"}, "A\n");
    ::close(fd);
    EXPECT_EQ(SetupComplete(), "FALSE") << out.Text();
    EXPECT_NE(out.Text().find("Could not use 'C:\\YIELDWARDEN\\YIELDWARDEN.YW'; file already in use."),
              std::string::npos)
        << out.Text();
    EXPECT_TRUE(test::ReadFile(Current()) == old) << "the current database changed";
    EXPECT_EQ(Beside(), std::vector<std::string>{"YieldWarden.ldb"});
  }
  const auto out = Run({data, "-s"});
  EXPECT_EQ(SetupComplete(), "TRUE") << out.Text();
  EXPECT_EQ(Beside(), std::vector<std::string>{"YieldWarden.ldb"});
}

// Another program writes the database while the import works on its copy (here: its time changes
// once the import is under way): the import does not replace it, and says why.
TEST_F(JetCurrentTest, ADatabaseChangedMeanwhileIsNotReplaced) {
  UseCurrent(Fixture("current/YWCURRENT.mdb"));
  const std::string data = PutData("ACEDATA0307.mdb", "ACEDATA0307.YW");
  environment = "(while ! grep -qs 'Processing Monthly Data' " + test::ShellQuote(LogPath().string()) +
                "; do sleep 0.01; done; touch -d '2030-01-01' " + test::ShellQuote(Current().string()) + ") & ";
  const auto out = Run({data, "-s", "-L"}, "A\n");
  EXPECT_EQ(SetupComplete(), "FALSE") << out.Text();
  EXPECT_NE(out.Text().find("was changed by another program while the import ran"), std::string::npos) << out.Text();
  EXPECT_TRUE(test::ReadFile(Current()) == test::ReadFile(Fixture("current/YWCURRENT.mdb")));
  EXPECT_TRUE(Beside().empty());
}

}  // namespace
}  // namespace cs
