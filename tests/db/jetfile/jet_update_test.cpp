// A Jet current database brought to what SQL made of the program's copy of it: the changes a run
// can make, read back by both readers; and the changes it must refuse (a broken relationship, a
// table in a relationship whose columns changed, a value its column cannot hold, a file that is
// damaged), each naming the table where there is one, leaving the file as it was and
// nothing beside it.
#include "db/jetfile/jet_update.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "../../jetfile/readers.h"
#include "db/jetfile/copy.h"
#include "db/sqlite.h"
#include "platform/posix_file_system.h"
#include "test_support.h"

namespace cs::test {
namespace {

namespace fs = std::filesystem;
using jetfile::Comparison;
using jetfile::Dump;
using jetfile::RowOrder;

fs::path Fixture(const std::string& name) { return fs::path(SHARED_DIR) / "fixtures" / "jet" / name; }

class JetUpdateTest : public ::testing::Test {
 protected:
  JetUpdateTest() {
    std::string tmpl = (fs::temp_directory_path() / "cs-jetupdate-XXXXXX").string();
    dir_ = mkdtemp(tmpl.data());
    fs::copy_file(Fixture("current/YWCURRENT.mdb"), Jet());
    fs::permissions(Jet(), fs::perms::owner_write, fs::perm_options::add);
    db::jetfile::CopyToDatabase(Jet(), Before(), "YWCURRENT.mdb");
  }
  ~JetUpdateTest() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  fs::path Jet() const { return dir_ / "current.mdb"; }
  fs::path Before() const { return dir_ / "before.yw"; }
  fs::path After() const { return dir_ / "after.yw"; }
  fs::path Written() const { return dir_ / "current.mdb.unfinished-import"; }

  // The program's copy changed by the statements, then written.
  db::jetfile::JetUpdateResult Update(const std::string& statements) {
    fs::remove(After());
    fs::copy_file(Before(), After());
    {
      const db::Database db = db::Database::Open(After(), db::Database::Mode::kReadWrite, RunError(0, "cannot open"));
      if (!statements.empty()) db.Exec(statements);
    }
    return db::jetfile::WriteJetUpdate(files_, {Jet(), Before(), After(), Written()}, "C:\\YW\\CURRENT.MDB");
  }

  Dump FixtureDump() const { return jetfile::ParseDumpFile(test::Fixture("current/YWCURRENT.dump.txt").string()); }

  fs::path dir_;
  platform::PosixFileSystem files_;
};

jetfile::DumpTable& TableOf(Dump& dump, const std::string& name) {
  for (auto& t : dump.tables) {
    if (t.name == name) return t;
  }
  throw std::runtime_error("no table " + name);
}

// The changes a run makes: rows of a table in a relationship (kept, with its indexes), a table
// dropped, a table made; and nothing at all, which writes no table.
TEST_F(JetUpdateTest, ChangedTablesAreWrittenAndTheRestKept) {
  const auto none = Update("");
  EXPECT_FALSE(none.Changed());
  fs::remove(Written());

  const auto result = Update(
      "UPDATE Store SET Comp5 = 1.5 WHERE Sku IN (SELECT Sku FROM Store LIMIT 3);"
      "DROP TABLE ListBoxs;"
      "CREATE TABLE Notes (Id LONG PRIMARY KEY, Body MEMO);"
      "INSERT INTO Notes VALUES (1, 'first'), (2, NULL);");
  EXPECT_EQ(result.rewritten, std::vector<std::string>{"Store"});
  EXPECT_EQ(result.dropped, std::vector<std::string>{"ListBoxs"});
  EXPECT_EQ(result.created, std::vector<std::string>{"Notes"});
  EXPECT_TRUE(result.remade.empty());
  ASSERT_TRUE(fs::exists(Written()));
  EXPECT_EQ(test::ReadFile(Jet()), test::ReadFile(Fixture("current/YWCURRENT.mdb"))) << "the file itself is never written";

  Dump expected = FixtureDump();
  auto& store = TableOf(expected, "Store");
  for (std::size_t i = 0; i < 3; ++i) store.rows[i][6] = "1.5000";
  expected.tables.erase(std::find_if(expected.tables.begin(), expected.tables.end(),
                                     [](const auto& t) { return t.name == "ListBoxs"; }));
  Comparison what;
  what.order = RowOrder::kAnyOrder;
  for (const auto& t : expected.tables) what.tables.insert(t.name);
  EXPECT_TRUE(jetfile::BothReadersHold(Written().string(), "qed5190", expected, what));
  const Dump written = jetfile::ReadWithLibmdb(Written().string());
  EXPECT_EQ(written.Table("ListBoxs"), nullptr);
  ASSERT_NE(written.Table("Notes"), nullptr);
  EXPECT_EQ(written.Table("Notes")->rows, (std::vector<std::vector<std::string>>{{"1", "first"}, {"2", "\\N"}}));
}

// What must not be written: refused naming the table, the file as it was, nothing written left.
TEST_F(JetUpdateTest, ChangesJetWouldRefuseAreRefused) {
  const std::string original = test::ReadFile(Jet());
  struct Case {
    const char* name;
    std::string statements;
    std::string message;  // a part of the error's text
  } cases[] = {
      {"a price change of a SKU no store row has", "UPDATE PriceHistory SET Sku = 'NO-SUCH-SKU' WHERE ID = 1",
       "The table 'PriceHistory' cannot be written into the current database: rows of it would have no row in 'Store'"},
      {"a store row that price changes refer to, deleted",
       "DELETE FROM Store WHERE Sku = (SELECT Sku FROM PriceHistory LIMIT 1)",
       "rows of it would have no row in 'Store' (relationship StorePriceHistory)"},
      {"a column added to a table in a relationship", "ALTER TABLE Store ADD COLUMN Aisle TEXT(10)",
       "The table 'Store' cannot be written into the current database"},
      {"a number beyond its column", "UPDATE Store SET OnHand = 3000000000 WHERE rowid = 2",
       "The table 'Store' cannot be written as a Jet table: column 'OnHand' holds 3000000000"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      Update(c.statements);
      ADD_FAILURE() << "written";
    } catch (const RunError& e) {
      EXPECT_NE(std::string(e.description()).find(c.message), std::string::npos) << e.description();
    }
    EXPECT_FALSE(fs::exists(Written()));
    EXPECT_TRUE(test::ReadFile(Jet()) == original);
  }
}

// A Jet file damaged where the writer reads, or cut short: refused, nothing written, nothing left.
TEST_F(JetUpdateTest, ADamagedFileIsRefused) {
  const std::string original = test::ReadFile(Jet());
  std::string damaged_catalog = original;
  for (std::size_t i = 2 * 4096 + 700; i < 2 * 4096 + 760; ++i) damaged_catalog[i] = '\x7F';
  struct Case {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"catalog damaged", damaged_catalog},
      {"cut after its catalog", original.substr(0, 4 * 4096)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::WriteFile(Jet(), c.bytes);
    EXPECT_THROW(Update("UPDATE Competitors SET Name = 'CustRetail' WHERE Competitor = 'Comp5'"), RunError);
    EXPECT_FALSE(fs::exists(Written()));
    EXPECT_TRUE(test::ReadFile(Jet()) == c.bytes);
  }
}

}  // namespace
}  // namespace cs::test
