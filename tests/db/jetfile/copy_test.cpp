// The copy of a Jet file into a new database of the program's format.
#include "db/jetfile/copy.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "db/connection.h"
#include "db/jet/errors.h"
#include "jet_support.h"
#include "test_support.h"

namespace cs::test {
namespace {

namespace fs = std::filesystem;

// The new database, read with SQLite itself.
class Database {
 public:
  explicit Database(const fs::path& file) {
    EXPECT_EQ(sqlite3_open_v2(file.c_str(), &db_, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  }
  ~Database() { sqlite3_close(db_); }
  // The rows of a query, each value as text (\N for Null) or, for typeof, as its storage class.
  std::vector<std::vector<std::string>> Rows(const std::string& sql) {
    sqlite3_stmt* stmt = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr), SQLITE_OK)
        << sqlite3_errmsg(db_);
    std::vector<std::vector<std::string>> out;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      std::vector<std::string> row;
      for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
        if (sqlite3_column_type(stmt, i) == SQLITE_NULL) {
          row.push_back("\\N");
        } else if (sqlite3_column_type(stmt, i) == SQLITE_FLOAT) {
          char buf[40];
          std::snprintf(buf, sizeof buf, "%.17g", sqlite3_column_double(stmt, i));
          row.push_back(buf);
        } else {
          const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
          row.emplace_back(t, static_cast<std::size_t>(sqlite3_column_bytes(stmt, i)));
        }
      }
      out.push_back(std::move(row));
    }
    sqlite3_finalize(stmt);
    return out;
  }

 private:
  sqlite3* db_ = nullptr;
};

void ExpectError(const std::function<void()>& action, std::int32_t number,
                 const std::string& description) {
  try {
    action();
    ADD_FAILURE() << "no error, expected " << description;
  } catch (const RunError& e) {
    EXPECT_EQ(e.number(), number);
    EXPECT_EQ(e.description(), description);
  }
}

std::vector<std::string> FolderNames(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(JetCopy, WholesalerFileBecomesTheProgramsTables) {
  TempDir dir;
  const auto jet = dir.Copy("ACEDATA0307.mdb");
  const std::string before = FileBytes(jet);
  jetfile::CopyOptions options;
  options.password = "qed5190";
  jetfile::CopyToDatabase(jet, dir / "copy.yw", "C:\\DATA\\ACEDATA0307.YW", options);
  EXPECT_EQ(FileBytes(jet), before);
  Database db(dir / "copy.yw");
  EXPECT_EQ(db.Rows("SELECT name FROM sqlite_schema WHERE type = 'table' ORDER BY rowid"),
            (std::vector<std::vector<std::string>>{
                {"Ace"}, {"PlanogramDetails"}, {"AceFileDate"}, {"AdditionalDetails"}}));
  // The program's column definitions with Jet's type words, and the primary key.
  const auto columns = db.Rows("SELECT name, type, \"notnull\", pk FROM pragma_table_info('Ace')");
  ASSERT_EQ(columns.size(), 33u);
  EXPECT_EQ(columns[0], (std::vector<std::string>{"SKU", "TEXT(20)", "1", "1"}));
  EXPECT_EQ(columns[2], (std::vector<std::string>{"AceRetail", "CURRENCY", "0", "0"}));
  EXPECT_EQ(columns[8], (std::vector<std::string>{"DealerCost", "DOUBLE", "0", "0"}));
  EXPECT_EQ(columns[19], (std::vector<std::string>{"RSCCount", "LONG", "0", "0"}));
  EXPECT_EQ(columns[25][1], "YESNO");
  EXPECT_EQ(columns[29][1], "DATETIME");
  // Every value as the fixture lists it (the program's Yes is -1; currency is a REAL).
  const auto expected = ReadTsv("ACEDATA0307.expected.tsv");
  const auto rows = db.Rows("SELECT * FROM Ace ORDER BY rowid");
  ASSERT_EQ(rows.size() + 1, expected.size());
  int mismatches = 0;
  for (std::size_t r = 0; r < rows.size() && mismatches < 10; ++r) {
    for (std::size_t c = 0; c < rows[r].size(); ++c) {
      const std::string& want = expected[r + 1][c];
      const std::string& got = rows[r][c];
      const std::string& type = columns[c][1];
      const bool same = type == "CURRENCY" || type == "DOUBLE"
                            ? (want == "\\N" ? got == want
                                             : std::strtod(got.c_str(), nullptr) ==
                                                   std::strtod(want.c_str(), nullptr))
                        : type == "YESNO" ? got == (want == "1" ? "-1" : "0")
                                          : got == want;
      if (!same) {
        ADD_FAILURE() << "row " << r + 1 << " " << columns[c][0] << ": " << got << " vs " << want;
        ++mismatches;
      }
    }
  }
  EXPECT_EQ(db.Rows("SELECT count(*) FROM sqlite_schema WHERE name = 'MSysPassword'")[0][0], "0");
  // A key that Jet keeps unique without regard to case stays so.
  EXPECT_EQ(db.Rows("SELECT count(*) FROM Ace WHERE SKU = '1004'")[0][0], "1");
}

TEST(JetCopy, TheTypesKeepTheirMeaning) {
  TempDir dir;
  jetfile::CopyToDatabase(dir.Copy("TYPES_V2000.mdb"), dir / "types.yw", "TYPES");
  Database db(dir / "types.yw");
  EXPECT_EQ(db.Rows("SELECT type FROM pragma_table_info('Types')"),
            (std::vector<std::vector<std::string>>{{"LONG"},
                                                   {"TEXT(50)"},
                                                   {"TEXT(50)"},
                                                   {"CURRENCY"},
                                                   {"DOUBLE"},
                                                   {"SINGLE"},
                                                   {"LONG"},
                                                   {"SHORT"},
                                                   {"BYTE"},
                                                   {"YESNO"},
                                                   {"DATETIME"},
                                                   {"MEMO TEXT"}}));
  const auto rows = db.Rows(
      "SELECT typeof(TxtC), TxtC, Cur, Dbl, YN, DT, typeof(Memo), length(Memo) FROM Types ORDER BY "
      "ID");
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[0],
            (std::vector<std::string>{"text", "abc", "19.989999999999998", "0.10000000000000001",
                                      "-1", "2007-03-01 00:00:00", "text", "10"}));
  EXPECT_EQ(rows[1][1], "Größe ½\" – “quoted”");
  EXPECT_EQ(rows[1][2], "-1234.5678");
  EXPECT_EQ(rows[2],
            (std::vector<std::string>{"null", "\\N", "\\N", "\\N", "0", "\\N", "null", "\\N"}));
  EXPECT_EQ(rows[3][0], "text");  // "" is not Null
  EXPECT_EQ(rows[3][1], "");
  EXPECT_EQ(rows[3][3], "1.0000000000000001e+300");
  EXPECT_EQ(rows[3][5], "1850-06-15 23:59:59");
  EXPECT_GT(std::stoi(rows[3][7]), 16384);
  EXPECT_EQ(rows[4][6], "text");
  EXPECT_EQ(rows[4][7], "0");
}

TEST(JetCopy, Jet3FilesWithReplicationIdsCopy) {
  TempDir dir;
  jetfile::CopyToDatabase(dir.Copy("access-made/V1997-TEST.mdb"), dir / "v1997.yw", "V1997");
  Database db(dir / "v1997.yw");
  EXPECT_EQ(db.Rows("SELECT type FROM pragma_table_info('Table4') WHERE name = 'data'")[0][0],
            "GUID TEXT");
  EXPECT_EQ(db.Rows("SELECT count(*) FROM Table2")[0][0], "0");
  EXPECT_EQ(
      db.Rows("SELECT A, C, H, I FROM Table1 ORDER BY A"),
      (std::vector<std::vector<std::string>>{{"a", "0", "0", "0"}, {"abcdefg", "2", "3.5", "-1"}}));
}

TEST(JetCopy, ThePasswordGate) {
  TempDir dir;
  TempPrefix prefix;
  platform::WindowsPaths paths(prefix.files(), prefix.root());
  db::Engine engine(prefix.files(), paths);
  const auto open = [&](const fs::path& file, const std::string& password) {
    db::Connection cnn(engine);
    cnn.Open("Provider=Microsoft.Jet.OLEDB.4.0; Data Source=" + paths.ToWindows(file) +
             ";Jet OLEDB:Database Password=" + password);
  };
  jetfile::CopyOptions record;
  record.record_password = true;
  jetfile::CopyToDatabase(dir.Copy("ACEDATA0407-OTHERPW.mdb"), dir / "other.yw", "OTHER", record);
  EXPECT_NO_THROW(open(dir / "other.yw", "other99"));
  ExpectError([&] { open(dir / "other.yw", "qed5190"); }, db::jet::kErrPassword,
              "Not a valid password.");
  jetfile::CopyToDatabase(dir.Copy("ACEDATA0407-NOPW.mdb"), dir / "nopw.yw", "NOPW", record);
  EXPECT_NO_THROW(open(dir / "nopw.yw", "anything"));
  EXPECT_EQ(Database(dir / "nopw.yw").Rows("SELECT count(*) FROM Ace")[0][0], "50");
}

TEST(JetCopy, AWrongPasswordFailsBeforeAnyReading) {
  TempDir dir;
  const auto jet = dir.Copy("ACEDATA0307.mdb");
  jetfile::CopyOptions options;
  options.password = "QED5190";
  // A reader that leaves a mark if it is ever started.
  options.reader.reader = dir.Script("reader.sh", "touch '" + (dir / "started").string() + "'");
  ExpectError([&] { jetfile::CopyToDatabase(jet, dir / "copy.yw", "X", options); },
              db::jet::kErrPassword, "Not a valid password.");
  EXPECT_FALSE(fs::exists(dir / "started"));
  EXPECT_FALSE(fs::exists(dir / "copy.yw"));
  // A file without a password opens with any.
  options.reader = {};
  options.password = "whatever";
  EXPECT_NO_THROW(
      jetfile::CopyToDatabase(dir.Copy("ACEDATA0407-NOPW.mdb"), dir / "nopw.yw", "X", options));
}

TEST(JetCopy, AFailedCopyLeavesNothingAndAnExistingFileIsKept) {
  TempDir dir;
  const auto jet = dir.Copy("ACEDATA0307.mdb");
  PutFile(dir / "existing.yw", "keep me");
  ExpectError([&] { jetfile::CopyToDatabase(jet, dir / "existing.yw", "X"); },
              err::kFileAlreadyExists, "File already exists");
  EXPECT_EQ(FileBytes(dir / "existing.yw"), "keep me");
  // The reader fails after the first table has been written.
  std::string damaged = FileBytes(jet);
  PutFile(dir / "cut.mdb", damaged.substr(0, damaged.size() / 2));
  const auto before = FolderNames(dir.root());
  ExpectError([&] { jetfile::CopyToDatabase(dir / "cut.mdb", dir / "copy.yw", "C:\\CUT.MDB"); },
              db::jet::kErrGeneral, "Unrecognized database format 'C:\\CUT.MDB'.");
  EXPECT_EQ(FolderNames(dir.root()), before);
  PutFile(dir / "sqlite.yw", std::string("SQLite format 3\0", 16) + std::string(4080, '\0'));
  ExpectError([&] { jetfile::CopyToDatabase(dir / "sqlite.yw", dir / "copy.yw", "C:\\S.YW"); },
              db::jet::kErrGeneral, "Unrecognized database format 'C:\\S.YW'.");
  EXPECT_FALSE(fs::exists(dir / "copy.yw"));
}

}  // namespace
}  // namespace cs::test
