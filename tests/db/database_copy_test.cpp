// The whole-file copy an import keeps of the current database: every committed row is in it,
// whatever journal the file uses, and a copy that cannot be made leaves nothing behind.
#include <sqlite3.h>

#include "db/database_copy.h"
#include "db_support.h"

namespace cs::db {
namespace {

using test::DbTest;

// A raw connection for what the program itself never does to a file (a write-ahead log).
struct RawDb {
  explicit RawDb(const std::filesystem::path& path) { sqlite3_open(path.c_str(), &db); }
  ~RawDb() { sqlite3_close(db); }
  void Run(const std::string& sql) { ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sql; }
  sqlite3* db = nullptr;
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
    CopyDatabase(file, copy);
    RawDb check(copy);
    sqlite3_stmt* stmt = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(check.db, "SELECT count(*), sum(N) FROM T", -1, &stmt, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(stmt, 0), 500);
    EXPECT_EQ(sqlite3_column_int(stmt, 1), 125250);
    sqlite3_finalize(stmt);
  }
}

TEST_F(DatabaseCopyTest, ACopyThatCannotBeMadeLeavesNothing) {
  const auto file = prefix.drive_c() / "CUR.YW";
  db::CreateDatabase(file.string(), kDatabasePassword);
  const auto taken = prefix.drive_c() / "TAKEN";
  test::WriteFile(taken, "keep me");
  EXPECT_THROW(CopyDatabase(file, taken), RunError);
  EXPECT_EQ(test::ReadFile(taken), "keep me");
  const auto copy = prefix.drive_c() / "NONE.YW.copy";
  EXPECT_THROW(CopyDatabase(prefix.drive_c() / "NONE.YW", copy), RunError);
  EXPECT_FALSE(std::filesystem::exists(copy));
  EXPECT_FALSE(std::filesystem::exists(prefix.drive_c() / "NONE.YW"));
}

}  // namespace
}  // namespace cs::db
