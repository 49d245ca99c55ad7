// A Jet current database whose tables' rows are read in only when a statement uses them: every
// statement sees exactly the rows a whole copy holds, whichever way it uses a table, and the
// import's working copy tells which tables it never read and which it replaced unread.
#include "db/lazy_rows.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "db/database_copy.h"
#include "db/jetfile/copy.h"
#include "db/sqlite.h"
#include "db_support.h"

namespace cs::test {
namespace {

namespace fs = std::filesystem;

const std::string kCurrent = std::string(SHARED_DIR) + "/fixtures/jet/current/YWCURRENT.mdb";
constexpr char kJet[] = "C:\\YW.mdb";

class LazyRowsTest : public DbTest {
 protected:
  LazyRowsTest() {
    WriteFile(host_, ReadFile(kCurrent));
    engine.ReadRowsWhenUsed(host_);
  }

  // What a whole copy of the Jet file answers to `sql` (one number).
  std::string Whole(const std::string& sql) {
    if (!fs::exists(whole_)) db::jetfile::CopyToDatabase(host_, whole_, kJet);
    const auto db = db::Database::Open(whole_, db::Database::Mode::kReadOnly, RunError(0, "whole copy"));
    return db::Query(db, sql).at(0);
  }
  // The rows of a table in a file of the program's format.
  static std::string Count(const fs::path& file, const std::string& table) {
    const auto db = db::Database::Open(file, db::Database::Mode::kReadOnly, RunError(0, "count"));
    return db::Query(db, "SELECT count(*) FROM \"" + table + "\"").at(0);
  }

  fs::path host_ = prefix.drive_c() / "YW.mdb";
  fs::path whole_ = prefix.root() / "whole.yw";
};

TEST_F(LazyRowsTest, EveryStatementSeesTheRowsOfTheTablesItUses) {
  db::Connection cnn(engine);
  OpenOn(cnn, kJet);
  // Nothing is read until used: the copy holds the tables, without rows.
  const fs::path copy = engine.JetCopy(host_, kJet, db::kDatabasePassword);
  EXPECT_EQ(Count(copy, "Store"), "0");
  EXPECT_EQ(engine.lazy_rows().Of(copy).unread.size(), 7u);

  struct Case {
    std::string statement;  // run first (may be empty)
    std::string query;      // then asked: its rows are counted
    std::string field;
    std::string whole;      // the count in the whole copy
  };
  const std::string sku = Whole("SELECT min(SKU) FROM Ace");
  const std::vector<Case> cases = {
      // Two tables of one statement, one of them only read.
      {"UPDATE Store INNER JOIN PriceHistory ON Store.Sku = PriceHistory.Sku SET Store.OnHand = 7",
       "SELECT Sku FROM Store WHERE OnHand = 7", "Sku",
       "SELECT count(*) FROM Store WHERE Sku IN (SELECT Sku FROM PriceHistory)"},
      {"", "SELECT Sku FROM PriceHistory", "Sku", "SELECT count(*) FROM PriceHistory"},
      // Through its key's index only.
      {"", "SELECT SKU FROM Ace WHERE SKU = '" + sku + "'", "SKU", "SELECT 1"},
      // A column added before any row was read: the rows are there, with the new column empty.
      {"ALTER TABLE PlanogramDetails ADD COLUMN Extra TEXT(5)", "SELECT POG FROM PlanogramDetails WHERE Extra Is Null",
       "POG", "SELECT count(*) FROM PlanogramDetails"},
  };
  for (const auto& c : cases) {
    if (!c.statement.empty()) cnn.Execute(c.statement);
    EXPECT_EQ(std::to_string(Rows(cnn, c.query, {c.field}).size()), Whole(c.whole)) << c.query;
  }
  // Emptied without being read: no row of it comes in, and it is the statements' own from then on.
  cnn.Execute("DELETE * FROM ListBoxs");
  cnn.Execute("INSERT INTO ListBoxs SELECT * FROM ListBoxs");
  EXPECT_EQ(Rows(cnn, "SELECT ListName FROM ListBoxs", {"ListName"}).size(), 0u);
  const auto tables = engine.lazy_rows().Of(copy);
  EXPECT_EQ(tables.replaced, std::vector<std::string>{"ListBoxs"});
  EXPECT_EQ(tables.unread, (std::vector<std::string>{"AceFileDate", "Competitors"}));
  cnn.Close();
}

TEST_F(LazyRowsTest, AWorkingCopyReadsThroughTheCopyTheRunBeganFrom) {
  const fs::path before = engine.JetCopy(host_, kJet, db::kDatabasePassword);
  const fs::path working = prefix.root() / "working.yw";
  db::CopyDatabase(prefix.files(), before, working);
  engine.lazy_rows().Derive(before, working);
  engine.SetStandIn(host_, working);

  // The statements reach the working copy; what they read comes into both.
  db::Connection cnn(engine);
  OpenOn(cnn, kJet);
  const std::string stores = Whole("SELECT count(*) FROM Store");
  EXPECT_EQ(std::to_string(Rows(cnn, "SELECT Sku FROM Store", {"Sku"}).size()), stores);
  EXPECT_EQ(Count(before, "Store"), stores);
  EXPECT_EQ(Count(working, "Store"), stores);
  // A table dropped unread is replaced in the working copy only, and none of its rows comes in.
  cnn.Execute("DROP TABLE Ace");
  cnn.Execute("CREATE TABLE Ace (SKU TEXT(20))");
  cnn.Execute("INSERT INTO Ace (SKU) VALUES ('1')");
  EXPECT_EQ(Rows(cnn, "SELECT SKU FROM Ace", {"SKU"}).size(), 1u);
  EXPECT_EQ(Count(before, "Ace"), "0");
  cnn.Close();
  const auto after = engine.lazy_rows().Of(working);
  EXPECT_EQ(after.replaced, std::vector<std::string>{"Ace"});
  EXPECT_EQ(std::count(after.unread.begin(), after.unread.end(), "Store"), 0);
  EXPECT_EQ(std::count(after.unread.begin(), after.unread.end(), "PriceHistory"), 1);
  // The copy the run began from still lacks only what was read, Ace's rows among them.
  EXPECT_EQ(engine.lazy_rows().Of(before).unread.size(), after.unread.size() + 1);
}

TEST_F(LazyRowsTest, AJetFileChangedMeanwhileIsNotReadIntoTheCopy) {
  db::Connection cnn(engine);
  OpenOn(cnn, kJet);
  const fs::path copy = engine.JetCopy(host_, kJet, db::kDatabasePassword);
  // Another program writes the file after its copy was made.
  std::string bytes = ReadFile(host_);
  bytes.append(4096, '\0');
  WriteFile(host_, bytes);
  try {
    Rows(cnn, "SELECT Sku FROM Store", {"Sku"});
    ADD_FAILURE() << "rows read from a changed file";
  } catch (const RunError& e) {
    EXPECT_NE(e.description().find("was changed by another program"), std::string::npos) << e.description();
  }
  EXPECT_EQ(Count(copy, "Store"), "0");
  cnn.Close();
}

}  // namespace
}  // namespace cs::test
