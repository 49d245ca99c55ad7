// The wholesaler's real Jet (Access) files as the data file of acefeedpump, run as a user runs it:
// every value of Ace compared with the fixture's expected rows, the data file's bytes unchanged,
// refused files refused, current databases of other Access versions refused untouched.
#include <map>

#include "db/connection.h"
#include "db/sqlite.h"
#include "e2e_support.h"

namespace cs {
namespace {

using Row = std::vector<std::string>;

std::filesystem::path Fixture(const std::string& name) {
  return std::filesystem::path(SHARED_DIR) / "fixtures" / "jet" / name;
}

// A NAME.expected.tsv: its column names and its rows by SKU.
struct Expected {
  Row columns;
  std::map<std::string, Row> rows;
};

Expected ReadTsv(const std::string& name) {
  Expected out;
  std::istringstream in(test::ReadFile(Fixture(name)));
  std::string line;
  bool first = true;
  while (std::getline(in, line)) {
    Row fields;
    for (std::size_t start = 0;;) {
      const auto tab = line.find('\t', start);
      fields.push_back(line.substr(start, tab - start));
      if (tab == std::string::npos) break;
      start = tab + 1;
    }
    if (first) {
      out.columns = fields;
      first = false;
    } else {
      out.rows[fields[0]] = fields;
    }
  }
  return out;
}

class JetEndToEndTest : public test::EndToEndTest {
 protected:
  // Puts a fixture where a data file goes, under the name the run is given.
  std::string PutData(const std::string& fixture, const std::string& name) {
    const auto to = prefix.drive_c() / "DATA" / name;
    std::filesystem::create_directories(to.parent_path());
    std::filesystem::copy_file(Fixture(fixture), to, std::filesystem::copy_options::overwrite_existing);
    return "C:\\DATA\\" + name;
  }
  std::filesystem::path Host(const std::string& windows) const {
    return prefix.drive_c() / windows.substr(3);
  }
  bool Logged(const std::string& line) {
    const auto log = LogMessages();
    return std::find(log.begin(), log.end(), line) != log.end();
  }

  // The current database's Ace as the fixtures' expected rows write values: \N for Null, currency
  // with four decimals, Yes/No as 1 and 0; reals as they are stored.
  std::map<std::string, Row> CurrentAce(Row* columns = nullptr) {
    const db::Database db = db::Database::Open(Current(), db::Database::Mode::kReadOnly, RunError(0, "cannot open"));
    db::Statement s(db, "SELECT * FROM Ace");
    std::vector<std::string> types;
    for (const auto& t : db::Query(db, "SELECT type FROM pragma_table_info('Ace') ORDER BY cid")) types.push_back(t);
    std::map<std::string, Row> rows;
    while (s.Step()) {
      Row row;
      for (int i = 0; i < s.ColumnCount(); ++i) {
        const db::Value v = s.Column(i);
        const std::string& type = types[static_cast<std::size_t>(i)];
        if (v.IsNull()) {
          row.push_back("\\N");
        } else if (type.starts_with("CURRENCY")) {
          char buf[64];
          std::snprintf(buf, sizeof buf, "%.4f", std::get_if<double>(&v.data) ? std::get<double>(v.data)
                                                                             : static_cast<double>(std::get<std::int64_t>(v.data)));
          row.push_back(buf);
        } else if (type.starts_with("YESNO")) {
          row.push_back(v.ToText() == "-1" ? "1" : v.ToText());
        } else if (const auto* d = std::get_if<double>(&v.data)) {
          char buf[64];
          std::snprintf(buf, sizeof buf, "%.17g", *d);
          row.push_back(buf);
        } else {
          row.push_back(v.ToText());
        }
      }
      rows[row[0]] = row;
    }
    if (columns != nullptr) {
      columns->clear();
      for (int i = 0; i < s.ColumnCount(); ++i) columns->push_back(s.ColumnName(i));
    }
    return rows;
  }

  // Every value of every row, the reals compared as numbers.
  void ExpectAce(const Expected& expected) {
    Row columns;
    const auto got = CurrentAce(&columns);
    ASSERT_EQ(columns, expected.columns);
    ASSERT_EQ(got.size(), expected.rows.size());
    int mismatches = 0;
    for (const auto& [sku, row] : expected.rows) {
      const auto it = got.find(sku);
      ASSERT_NE(it, got.end()) << sku;
      for (std::size_t c = 0; c < row.size() && mismatches < 10; ++c) {
        const std::string& a = it->second[c];
        const std::string& e = row[c];
        const bool same = a == e || (a != "\\N" && e != "\\N" && !a.empty() && !e.empty() &&
                                     (std::isdigit(static_cast<unsigned char>(e[0])) || e[0] == '-') &&
                                     e.find_first_not_of("0123456789.-e+") == std::string::npos &&
                                     std::strtod(a.c_str(), nullptr) == std::strtod(e.c_str(), nullptr));
        if (!same) {
          ADD_FAILURE() << "SKU " << sku << " column " << expected.columns[c] << ": " << a << " instead of " << e;
          ++mismatches;
        }
      }
    }
  }
};

TEST_F(JetEndToEndTest, FullFilesImportAsTheyAre) {
  const Expected full = ReadTsv("ACEDATA0307.expected.tsv");
  struct Case {
    const char* fixture;
    const char* expected;
  } cases[] = {
      {"ACEDATA0307.mdb", "ACEDATA0307.expected.tsv"},
      {"ACEDATA0307-ENCODED.mdb", "ACEDATA0307.expected.tsv"},  // pages RC4-encoded
      {"ACEDATA0407-NOPW.mdb", "ACEDATA0407-NOPW.expected.tsv"},  // no password: opens with any
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fixture);
    const std::string data = PutData(c.fixture, "ACEDATA0307.YW");
    const std::string before = test::ReadFile(Host(data));
    const auto out = Run({data, "-s", "-L"});
    EXPECT_EQ(SetupComplete(), "TRUE") << out.Text();
    EXPECT_TRUE(Logged("FileName: " + data + "   is OK"));
    ExpectAce(ReadTsv(c.expected));
    EXPECT_EQ(Count("PlanogramDetails"), 5u);
    EXPECT_EQ(test::ReadFile(Host(data)), before);  // the wholesaler's file is never written
  }
  // The registry and the date table hold what an SQLite data file gives them.
  const auto log = LogMessages();
  EXPECT_TRUE(Logged("fromFileDate = 4/1/2007"));
  EXPECT_NE(test::ReadFile(prefix.user_reg()).find("\"Ace\"=\"20070301\""), std::string::npos);
}

// A vendor prefix reaches the imported rows; the data file's bytes stay as they were.
TEST_F(JetEndToEndTest, APrefixIsWrittenIntoThePrivateCopyOnly) {
  const std::string data = PutData("ACEDATA0307.mdb", "ACEDATA0307.YW");
  const std::string before = test::ReadFile(Host(data));
  std::string reg = test::ReadFile(prefix.user_reg());
  const std::string key = "[HKEY_CURRENT_USER\\Software\\Quillmarch\\Yield Warden]\r\n";
  reg.insert(reg.find(key) + key.size(), "\"VendorPrefix_ACE\"=\"AW-\"\r\n");
  test::WriteFile(prefix.user_reg(), reg);
  const auto out = Run({data, "-s", "-L"});
  EXPECT_EQ(SetupComplete(), "TRUE") << out.Text();
  EXPECT_TRUE(Logged("Added Prefix AW-"));
  Expected prefixed = ReadTsv("ACEDATA0307.expected.tsv");
  std::map<std::string, Row> rows;
  for (auto [sku, row] : prefixed.rows) {
    row[0] = "AW-" + sku;
    rows[row[0]] = row;
  }
  prefixed.rows = rows;
  ExpectAce(prefixed);
  EXPECT_EQ(test::ReadFile(Host(data)), before);
}

// A month-to-date file merged into a current database made from the full file's rows: known SKUs
// take the file's 31 columns and keep DEPT, new ones come whole.
TEST_F(JetEndToEndTest, AMonthToDateFileMergesIntoTheFullFilesRows) {
  ASSERT_EQ((Run({PutData("ACEDATA0307.mdb", "ACEDATA0307.YW"), "-s"}), SetupComplete()), "TRUE");
  const std::string data = PutData("ACEMTD0315.mdb", "ACEMTD0315.YW");
  const std::string before = test::ReadFile(Host(data));
  const auto out = Run({data, "-s", "-L"});
  EXPECT_EQ(SetupComplete(), "TRUE") << out.Text();
  Expected merged = ReadTsv("ACEDATA0307.expected.tsv");
  const Expected mtd = ReadTsv("ACEMTD0315.expected.tsv");
  const auto dept = std::find(merged.columns.begin(), merged.columns.end(), "DEPT") - merged.columns.begin();
  int known = 0;
  for (const auto& [sku, row] : mtd.rows) {
    auto it = merged.rows.find(sku);
    if (it == merged.rows.end()) {
      merged.rows[sku] = row;
      continue;
    }
    ++known;
    Row updated = row;
    updated[static_cast<std::size_t>(dept)] = it->second[static_cast<std::size_t>(dept)];
    it->second = updated;
  }
  EXPECT_EQ(known, 39);
  ExpectAce(merged);
  EXPECT_EQ(test::ReadFile(Host(data)), before);
}

TEST_F(JetEndToEndTest, ACustomFileSetsTheCompetitorColumn) {
  // Store rows for every other SKU from 1000 on.
  ywdata::MakeCurrentDatabase(prefix.root(), prefix.root() / "store.yw", {.rows = 8000, .first_sku = 1000, .date = "3/1/2007"});
  std::filesystem::copy_file(prefix.root() / "store.yw", Current(), std::filesystem::copy_options::overwrite_existing);
  const std::string data = PutData("CUSTOMDATA.mdb", "CUSTOMDATA.YW");
  const auto out = Run({data, "-s", "-L"});
  EXPECT_EQ(SetupComplete(), "TRUE") << out.Text();
  const Expected custom = ReadTsv("CUSTOMDATA.expected.tsv");
  const auto retail = std::find(custom.columns.begin(), custom.columns.end(), "AceRetail") - custom.columns.begin();
  const db::Database db = db::Database::Open(Current(), db::Database::Mode::kReadOnly, RunError(0, "cannot open"));
  int matched = 0;
  for (const auto& row : [&] {
         std::vector<Row> rows;
         db::Statement s(db, "SELECT Sku, Comp5 FROM Store");
         while (s.Step()) rows.push_back({s.ColumnText(0), s.ColumnText(1)});
         return rows;
       }()) {
    const auto it = custom.rows.find(row[0]);
    const std::string expected = it == custom.rows.end() ? "0" : it->second[static_cast<std::size_t>(retail)];
    if (it != custom.rows.end()) ++matched;
    EXPECT_EQ(std::strtod(row[1].c_str(), nullptr), std::strtod(expected.c_str(), nullptr)) << row[0];
  }
  EXPECT_GT(matched, 0);
  EXPECT_EQ(db::Query(db, "SELECT Name FROM Competitors WHERE Competitor = 'Comp5'"), std::vector<std::string>{"CustRetail"});
}

// Files that do not open, and a file that opens but is no product file: the run fails, says so,
// and the current database keeps its rows.
TEST_F(JetEndToEndTest, FilesThatDoNotImportLeaveTheCurrentDatabase) {
  const std::string rows_before = test::ReadFile(Current());
  const std::string full = test::ReadFile(Fixture("ACEDATA0307.mdb"));
  std::string header_damaged = full;
  for (std::size_t i = 0x18; i < 0x60; ++i) header_damaged[i] = static_cast<char>(i);
  std::string catalog_damaged = full;
  for (std::size_t i = 2 * 4096; i < 3 * 4096; ++i) catalog_damaged[i] = static_cast<char>(i * 13);
  struct Case {
    std::string name;
    std::string bytes;
    bool opens;  // opens, and the import then fails
  } cases[] = {
      {"other password", test::ReadFile(Fixture("ACEDATA0407-OTHERPW.mdb")), false},
      {"Access's own password", test::ReadFile(Fixture("access-made/V2000-PASSWORD.mdb")), false},
      {"cut in half", full.substr(0, full.size() / 2), false},
      {"cut after its header", full.substr(0, 4096), false},
      {"header damaged", header_damaged, false},
      {"catalog damaged", catalog_damaged, false},
      {"Jet 3, the database password, no product table", test::ReadFile(Fixture("access-made/V1997-QED5190.mdb")), true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::WriteFile(prefix.drive_c() / "DATA" / "ACEDATAX.YW", c.bytes);
    const auto out = Run({"C:\\DATA\\ACEDATAX.YW", "-s", "-L"});
    EXPECT_EQ(SetupComplete(), "FALSE") << out.Text();
    EXPECT_EQ(Logged("FileName: C:\\DATA\\ACEDATAX.YW   is NOT OK"), !c.opens) << out.Text();
    if (c.opens) {
      EXPECT_NE(out.Text().find("== Application Error [critical] Abort/Retry/Ignore =="), std::string::npos);
    }
    EXPECT_EQ(test::ReadFile(Current()), rows_before);
    EXPECT_EQ(test::ReadFile(prefix.drive_c() / "DATA" / "ACEDATAX.YW"), c.bytes);
  }
}

// One byte changed in the Ace table's definition (a column number: libmdb then moves the column HC
// to the end and reads it empty in every row) is a file that does not open: the import ends
// FALSE, the current database and the data file stay as they were.
TEST_F(JetEndToEndTest, ADamagedTableDefinitionIsRefused) {
  const std::string before = test::ReadFile(Current());
  const std::size_t rows = Count("Ace");
  std::string bytes = test::ReadFile(Fixture("ACEDATA0307.mdb"));
  ASSERT_EQ(bytes[98634], '\x0A');
  bytes[98634] = '\xEB';
  test::WriteFile(prefix.drive_c() / "DATA" / "ACEDATA0307.YW", bytes);
  const auto out = Run({"C:\\DATA\\ACEDATA0307.YW", "-s", "-L"});
  EXPECT_EQ(SetupComplete(), "FALSE") << out.Text();
  EXPECT_TRUE(Logged("FileName: C:\\DATA\\ACEDATA0307.YW   is NOT OK")) << out.Text();
  // The log says what was damaged, whatever -L says.
  const auto log = LogMessages();
  const auto why = std::find_if(log.begin(), log.end(), [](const std::string& line) {
    return line.starts_with("The Jet file C:\\DATA\\ACEDATA0307.YW   was refused: ");
  });
  ASSERT_NE(why, log.end()) << test::ReadFile(LogPath());
  EXPECT_NE(why->find("Ace"), std::string::npos) << *why;
  EXPECT_NE(why->find("column 235"), std::string::npos) << *why;
  EXPECT_TRUE(test::ReadFile(Current()) == before) << "the current database changed";
  EXPECT_EQ(Count("Ace"), rows);
  EXPECT_TRUE(test::ReadFile(prefix.drive_c() / "DATA" / "ACEDATA0307.YW") == bytes)
      << "the data file changed";
}

// Damaged Access 97 files on which libmdb looped, printing hundreds of megabytes of warnings, until
// the reader's limits stopped it half a minute later: refused at once, and nothing libmdb prints
// reaches the console.
TEST_F(JetEndToEndTest, DamagedAccess97FilesAreRefusedAtOnceAndQuietly) {
  const std::string before = test::ReadFile(Current());
  const std::string v97 = test::ReadFile(Fixture("access-made/V1997-TEST.mdb"));
  for (const std::size_t length : {std::size_t{46 * 2048}, std::size_t{96267}}) {
    SCOPED_TRACE(length);
    test::WriteFile(prefix.drive_c() / "DATA" / "ACEDATAX.YW", v97.substr(0, length));
    const auto out = Run({"C:\\DATA\\ACEDATAX.YW", "-s", "-L"});
    EXPECT_EQ(SetupComplete(), "FALSE") << out.Text();
    EXPECT_TRUE(Logged("FileName: C:\\DATA\\ACEDATAX.YW   is NOT OK")) << out.Text();
    // A whole run takes a fraction of a second; the reader stopped by its limits, ten or more.
    EXPECT_LT(out.seconds, 5) << "refused only by the reader's limits";
    for (const char* chatter : {"Warning", "offset", "mdb_", "beyond EOF"}) {
      EXPECT_EQ(out.Text().find(chatter), std::string::npos) << out.Text();
    }
    EXPECT_TRUE(test::ReadFile(Current()) == before) << "the current database changed";
  }
}

// Current databases of an Access this program does not write: refused untouched, the log saying
// why and what to do, whatever -L says.
TEST_F(JetEndToEndTest, CurrentDatabasesOfOtherAccessVersionsAreRefusedWithAdvice) {
  std::string later = test::ReadFile(Fixture("ACEDATA0307.mdb"));
  later.replace(4, 15, "Standard ACE DB");
  later[0x14] = 2;
  struct Case {
    std::string bytes, advice;
  } cases[] = {
      {test::ReadFile(Fixture("access-made/V1997-TEST.mdb")),
       "The current database C:\\YIELDWARDEN\\YIELDWARDEN.YW is an Access 97 (Jet 3) database, which "
       "this program never writes. Convert it in Access to the Access 2000 file format (Tools, Database "
       "Utilities, Convert Database) and let the registry's DBDir and DBName name the converted file, "
       "then run the import again."},
      {later,
       "The current database C:\\YIELDWARDEN\\YIELDWARDEN.YW is an Access 2007 or later database, "
       "which Yield Warden does not open and this program never writes. Save it in Access as an Access "
       "2002-2003 database (.mdb) and let the registry's DBDir and DBName name that file, then run the "
       "import again."},
  };
  ywdata::MakeDataFile(prefix.root(), prefix.drive_c() / "DATA" / "ACEDATA0407.YW", ywdata::DataKind::kFull,
                       {.rows = 5, .first_sku = 5000, .date = "4/1/2007"});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.advice.substr(48, 30));
    test::WriteFile(Current(), c.bytes);
    const auto out = Run({"C:\\DATA\\ACEDATA0407.YW", "-s"});
    EXPECT_EQ(SetupComplete(), "FALSE");
    EXPECT_TRUE(Logged(c.advice)) << test::ReadFile(LogPath());
    EXPECT_TRUE(test::ReadFile(Current()) == c.bytes) << "the current database changed";
    EXPECT_EQ(test::Beside(Current(), "").size(), 1u);  // nothing made beside it
  }
}

}  // namespace
}  // namespace cs
