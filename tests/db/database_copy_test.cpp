// The whole-file copy an import keeps of the current database: every committed row is in it,
// whatever journal the file uses, and a copy that cannot be made leaves nothing behind.
#include "db/database_copy.h"
#include "db_support.h"

namespace cs::db {
namespace {

using test::DbTest;

// A plain connection for what the program itself never does to a file (a write-ahead log).
struct RawDb {
  explicit RawDb(const std::filesystem::path& path)
      : db(Database::Open(path, Database::Mode::kReadWrite, RunError(0, "cannot open"))) {}
  void Run(const std::string& sql) { db.Exec(sql); }
  std::string One(const std::string& sql) { return Query(db, sql).at(0); }
  Database db;
};

class DatabaseCopyTest : public DbTest {};

TEST_F(DatabaseCopyTest, TheCopyHoldsEveryCommittedRow) {
  for (const std::string journal : {"DELETE", "WAL"}) {
    SCOPED_TRACE(journal);
    const auto file = prefix.drive_c() / (journal + ".YW");
    const auto copy = prefix.drive_c() / (journal + ".YW.copy");
    db::CreateDatabase(file.string(), kDatabasePassword);
    // The writer stays open, so a log's rows have not been moved into the file itself.
    RawDb writer(file);
    writer.Run("PRAGMA journal_mode = " + journal);
    writer.Run("PRAGMA wal_autocheckpoint = 0; CREATE TABLE T (N INTEGER)");
    writer.Run("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 500) "
               "INSERT INTO T SELECT i FROM n");
    CopyDatabase(prefix.files(), file, copy);
    RawDb check(copy);
    EXPECT_EQ(check.One("SELECT count(*) || ' ' || sum(N) FROM T"), "500 125250");
  }
}

TEST_F(DatabaseCopyTest, ACopyThatCannotBeMadeLeavesNothing) {
  const auto file = prefix.drive_c() / "CUR.YW";
  db::CreateDatabase(file.string(), kDatabasePassword);
  const auto taken = prefix.drive_c() / "TAKEN";
  test::WriteFile(taken, "keep me");
  EXPECT_THROW(CopyDatabase(prefix.files(), file, taken), RunError);
  EXPECT_EQ(test::ReadFile(taken), "keep me");
  const auto copy = prefix.drive_c() / "NONE.YW.copy";
  EXPECT_THROW(CopyDatabase(prefix.files(), prefix.drive_c() / "NONE.YW", copy), RunError);
  EXPECT_FALSE(std::filesystem::exists(copy));
  EXPECT_FALSE(std::filesystem::exists(prefix.drive_c() / "NONE.YW"));
}

// The replacement takes the target's place whole, in either journal mode, and is gone afterwards;
// a reader of the target keeps reading; a replacement that cannot be used changes nothing.
TEST_F(DatabaseCopyTest, AReplacementTakesTheTargetsPlaceWhole) {
  for (const std::string journal : {"DELETE", "WAL"}) {
    SCOPED_TRACE(journal);
    const auto target = prefix.drive_c() / (journal + ".YW");
    const auto replacement = prefix.drive_c() / (journal + ".YW.new");
    db::CreateDatabase(target.string(), kDatabasePassword);
    {
      RawDb old(target);
      old.Run("PRAGMA journal_mode = " + journal);
      old.Run("CREATE TABLE T (N INTEGER); INSERT INTO T VALUES (1)");
    }
    CopyDatabase(prefix.files(), target, replacement);
    {
      RawDb work(replacement);
      work.Run("INSERT INTO T VALUES (2); CREATE TABLE U (X TEXT)");
    }
    RawDb reader(target);
    reader.Run("BEGIN; SELECT count(*) FROM T");
    EXPECT_THROW(ReplaceDatabase(prefix.files(), prefix.drive_c() / "MISSING.YW", target), RunError);
    reader.Run("COMMIT");
    ReplaceDatabase(prefix.files(), replacement, target);
    EXPECT_FALSE(std::filesystem::exists(replacement));
    RawDb check(target);
    EXPECT_EQ(check.One("SELECT group_concat(N) FROM T"), "1,2");
    EXPECT_EQ(check.One("SELECT count(*) FROM U"), "0");
    EXPECT_EQ(check.One("PRAGMA quick_check"), "ok");
  }
}

}  // namespace
}  // namespace cs::db
