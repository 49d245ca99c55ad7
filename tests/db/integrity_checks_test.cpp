// The record of the databases the program wrote whole: trusted by a later run while they keep their
// state, checked again as soon as anything else writes them; a record that does not read is none.
#include "db/integrity_checks.h"

#include "db/jet/errors.h"
#include "db_support.h"

namespace cs::db {
namespace {

using test::DbTest;

class IntegrityRecordTest : public DbTest {
 protected:
  bool Opens(IntegrityChecks& checks, const std::filesystem::path& file) {
    const Database db = Database::Open(file, Database::Mode::kReadOnly, RunError(0, "open"));
    return checks.Verify(db, "main", file);
  }
  std::filesystem::path Record() const { return prefix.root() / "checked-databases"; }
};

TEST_F(IntegrityRecordTest, ADatabaseWrittenByAnotherProgramIsCheckedAgain) {
  MakeDb("kept.yw");
  {
    Connection cnn(engine);
    OpenOn(cnn, "C:\\kept.yw");
    cnn.Execute("CREATE TABLE T ([K] TEXT(20) CONSTRAINT P PRIMARY KEY, [D] TEXT(200))");
    for (int i = 0; i < 300; ++i) {
      cnn.Execute("INSERT INTO T ( K, D ) VALUES ( '" + std::to_string(i) + "', '" + std::string(150, 'd') + "' )");
    }
  }
  const auto file = prefix.drive_c() / "kept.yw";
  {
    IntegrityChecks checks(prefix.files(), Record());
    ASSERT_TRUE(Opens(checks, file));
    checks.Keep(file);
  }
  EXPECT_NE(test::ReadFile(Record()).find(file.filename().string()), std::string::npos);
  // Another program damages it: its state changes, and the next run reads it whole again.
  test::WriteFile(file, test::Damaged(test::ReadFile(file)));
  IntegrityChecks later(prefix.files(), Record());
  EXPECT_FALSE(Opens(later, file));

  // A record that does not read trusts nothing.
  for (const std::string& garbage : {std::string("not a record\n"), std::string("1 2 3\n"), std::string(4096, '\xff')}) {
    test::WriteFile(Record(), garbage);
    IntegrityChecks again(prefix.files(), Record());
    EXPECT_FALSE(Opens(again, file));
  }
}

}  // namespace
}  // namespace cs::db
