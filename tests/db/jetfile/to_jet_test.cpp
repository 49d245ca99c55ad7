// A database of the program's format written out as a Jet 4 file: read back by the program's own
// reader (libmdb) into its format again, every value equal to the source's; read by libmdb's and
// mdb-reader's dumps alike; and refused, with nothing left behind, where it cannot be written.
#include "db/jetfile/to_jet.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "../../jetfile/readers.h"
#include "db/connection.h"
#include "db/jetfile/copy.h"
#include "db/jetfile/header.h"
#include "db/password.h"
#include "db/sqlite.h"
#include "platform/posix_file_system.h"
#include "test_support.h"
#include "ywdata.h"

namespace cs::test {
namespace {

namespace fs = std::filesystem;

class ToJetTest : public ::testing::Test {
 protected:
  ToJetTest() {
    std::string tmpl = (fs::temp_directory_path() / "cs-tojet-XXXXXX").string();
    dir_ = mkdtemp(tmpl.data());
  }
  ~ToJetTest() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  // A database of the program's format made with SQL, its password recorded.
  fs::path MakeSource(const std::string& name, const std::vector<std::string>& statements,
                      const std::string& password = "qed5190") {
    const fs::path file = dir_ / name;
    db::CreateDatabase(file.string(), password);
    const db::Database db = db::Database::Open(file, db::Database::Mode::kReadWrite, RunError(0, "cannot open"));
    for (const auto& sql : statements) db.Exec(sql);
    return file;
  }

  // Every row of a table, each value as text, sorted.
  static std::vector<std::string> Rows(const fs::path& file, const std::string& table) {
    const db::Database db = db::Database::Open(file, db::Database::Mode::kReadOnly, RunError(0, "cannot open"));
    db::Statement select(db, "SELECT * FROM \"" + table + "\"");
    std::vector<std::string> rows;
    while (select.Step()) {
      std::string row;
      for (int i = 0; i < select.ColumnCount(); ++i) {
        const db::Value v = select.Column(i);
        row += (i ? "\t" : "") + (v.IsNull() ? std::string("\\N") : v.ToText());
      }
      rows.push_back(row);
    }
    std::sort(rows.begin(), rows.end());
    return rows;
  }

  std::vector<std::string> FilesInDir() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  platform::PosixFileSystem files_;
  fs::path dir_;
};

TEST_F(ToJetTest, EveryTypeGoesThereAndBackValueForValue) {
  const std::string memo(20000, 'm');
  const fs::path source = MakeSource("types.yw", {
      "CREATE TABLE Types (Id LONG NOT NULL PRIMARY KEY, Name TEXT(20) COLLATE NOCASE, Note MEMO TEXT, "
      "Small BYTE, Short SHORT, Price CURRENCY, Ratio SINGLE, Amount DOUBLE, Flag YESNO NOT NULL DEFAULT 0, "
      "Stamp DATETIME, Raw BINARY BLOB(8))",
      "CREATE UNIQUE INDEX ByName ON Types (Name)",
      "CREATE INDEX ByPrice ON Types (Price DESC, Stamp)",
      "INSERT INTO Types VALUES (1, 'plain', 'a short note', 0, -32768, -1234.5678, 1.5, 1e300, -1, "
      "'1850-06-15 23:59:59', x'0001FEFF')",
      "INSERT INTO Types VALUES (2, 'caf\xc3\xa9 \xe2\x82\xac\xc2\xbd', '" + memo + "', 255, 32767, 123456789012.3456, "
      "-0.25, -2.5e-300, 0, '2007-03-01 00:00:00', x'00')",
      "INSERT INTO Types VALUES (3, NULL, NULL, NULL, NULL, NULL, NULL, NULL, 0, NULL, NULL)",
      "INSERT INTO Types VALUES (-2147483648, 'tab\there', 'line\r\nbreak', 7, 0, 0.0001, 0, 0, -1, "
      "'9999-12-31 23:59:59', x'FF')",
  });
  const fs::path jet = dir_ / "types.mdb";
  db::jetfile::CopyToJetFile(files_, source, jet, "qed5190");
  const auto header = db::jetfile::ReadHeader(jet);
  ASSERT_TRUE(header);
  EXPECT_EQ(header->version, db::jetfile::JetVersion::kJet4);
  EXPECT_EQ(header->password.value_or(""), "qed5190");

  // Through the program's reader into its format again: the same rows.
  const fs::path back = dir_ / "back.yw";
  db::jetfile::CopyToDatabase(jet, back, jet.string(), {});
  EXPECT_EQ(Rows(back, "Types"), Rows(source, "Types"));

  // And libmdb's and mdb-reader's dumps hold the same rows.
  const auto libmdb = jetfile::ReadWithLibmdb(jet.string(), "qed5190");
  const auto mdb_reader = jetfile::ReadWithMdbReader(jet.string(), "qed5190");
  jetfile::Comparison rows_only;
  rows_only.columns = rows_only.indexes = rows_only.relationships = rows_only.format_and_password = false;
  EXPECT_TRUE(jetfile::DumpsAgree(libmdb, mdb_reader, rows_only, "libmdb", "mdb-reader"));
}

TEST_F(ToJetTest, ACurrentDatabaseConvertedBothWaysKeepsItsTables) {
  const fs::path source = dir_ / "current.yw";
  ywdata::MakeCurrentDatabase(dir_ / "prefix", source, {.rows = 300});
  const fs::path jet = dir_ / "current.mdb";
  db::jetfile::CopyToJetFile(files_, source, jet, "qed5190");
  const fs::path back = dir_ / "back.yw";
  db::jetfile::CopyOptions copy;
  copy.record_password = true;
  db::jetfile::CopyToDatabase(jet, back, jet.string(), copy);
  for (const char* table : {"Ace", "PlanogramDetails", "AceFileDate", "ListBoxs", "Store", "Competitors"}) {
    SCOPED_TRACE(table);
    EXPECT_EQ(Rows(back, table), Rows(source, table));
  }
}

TEST_F(ToJetTest, WhatCannotBeWrittenIsRefusedAndLeavesNothing) {
  const fs::path good = MakeSource("good.yw", {"CREATE TABLE T (A LONG)", "INSERT INTO T VALUES (1)"});
  const fs::path guid = MakeSource("guid.yw", {"CREATE TABLE G (Id GUID TEXT)"});
  const fs::path wide = MakeSource("wide.yw", {"CREATE TABLE W (N SHORT)", "INSERT INTO W VALUES (70000)"});
  const fs::path no_date = MakeSource("nodate.yw", {"CREATE TABLE D (S DATETIME)", "INSERT INTO D VALUES ('soon')"});
  test::WriteFile(dir_ / "exists.mdb", "keep me");
  const auto before = FilesInDir();
  struct Case {
    fs::path source;
    std::string target, password, error;
  } cases[] = {
      {good, "exists.mdb", "qed5190", "File already exists"},
      {good, "new.mdb", "other", "Not a valid password."},
      {guid, "new.mdb", "qed5190", "The table 'G' cannot be written as a Jet table: column 'Id' is of the type 'GUID TEXT'"},
      {wide, "new.mdb", "qed5190", "The table 'W' cannot be written as a Jet table: column 'N' holds 70000"},
      {no_date, "new.mdb", "qed5190", "The table 'D' cannot be written as a Jet table: column 'S' holds 'soon'"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    try {
      db::jetfile::CopyToJetFile(files_, c.source, dir_ / c.target, c.password);
      ADD_FAILURE() << "written";
    } catch (const RunError& e) {
      EXPECT_TRUE(e.description().starts_with(c.error)) << e.description();
    }
    EXPECT_EQ(FilesInDir(), before);
    EXPECT_EQ(test::ReadFile(dir_ / "exists.mdb"), "keep me");
  }
}

}  // namespace
}  // namespace cs::test
