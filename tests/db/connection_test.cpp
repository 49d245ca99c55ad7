#include <dirent.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "db/jet/errors.h"
#include "db_support.h"

namespace cs::db {
namespace {

using test::DbTest;

int OpenFileCount() {
  int n = 0;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (readdir(d) != nullptr) ++n;
    closedir(d);
  }
  return n;
}

int Shell(const std::string& command) { return std::system(command.c_str()); }

TEST_F(DbTest, OpensOnlyDatabaseFilesWithTheirPassword) {
  MakeDb("good.yw");
  MakeDb("other.yw", "another");
  MakeDb("open.yw", "");
  test::WriteFile(prefix.drive_c() / "empty.yw", "");
  test::WriteFile(prefix.drive_c() / "text.yw", "SQLite format 2 but really just text\n");
  test::WriteFile(prefix.drive_c() / "fake.yw", std::string("SQLite format 3\0", 16) + std::string(200, 'x'));
  std::filesystem::create_directories(prefix.drive_c() / "dir.yw");
  struct Case {
    const char* path;
    const char* password;
    std::int32_t error;  // 0: opens
  } cases[] = {
      {"C:\\good.yw", "qed5190", 0},
      {"c:\\GOOD.YW  ", "qed5190", 0},       // case and trailing blanks as on Windows
      {"C:\\good.yw", "QED5190", jet::kErrPassword},
      {"C:\\other.yw", "qed5190", jet::kErrPassword},
      {"C:\\open.yw", "anything", 0},        // no password recorded
      {"C:\\missing.yw", "qed5190", jet::kErrGeneral},
      {"C:\\empty.yw", "qed5190", jet::kErrGeneral},
      {"C:\\text.yw", "qed5190", jet::kErrGeneral},
      {"C:\\fake.yw", "qed5190", jet::kErrGeneral},
      {"C:\\dir.yw", "qed5190", jet::kErrGeneral},
      {"Q:\\good.yw", "qed5190", jet::kErrGeneral},
  };
  for (const auto& c : cases) {
    Connection cnn(engine);
    try {
      OpenOn(cnn, c.path, c.password);
      EXPECT_EQ(c.error, 0) << c.path;
      EXPECT_TRUE(cnn.IsOpen());
    } catch (const RunError& e) {
      EXPECT_EQ(e.number(), c.error) << c.path << ": " << e.description();
      EXPECT_FALSE(cnn.IsOpen());
    }
  }
  EXPECT_FALSE(std::filesystem::exists(prefix.drive_c() / "missing.yw"));  // never created
  EXPECT_EQ(test::ReadFile(prefix.drive_c() / "empty.yw"), "");
  Connection cnn(engine);
  try {
    cnn.Open("Provider=Microsoft.ACE.OLEDB.12.0; Data Source=C:\\good.yw");
    ADD_FAILURE();
  } catch (const RunError& e) {
    EXPECT_EQ(e.number(), jet::kErrProvider);
  }
}

TEST_F(DbTest, OneConnectionServesOneFileAfterAnother) {
  MakeDb("a.yw");
  MakeDb("b.yw");
  Connection cnn(engine);
  OpenOn(cnn, "C:\\a.yw");
  cnn.Execute("CREATE TABLE T ([x] TEXT(5));");
  cnn.Close();
  OpenOn(cnn, "C:\\b.yw");
  ExpectError(cnn, "INSERT INTO T ( x ) VALUES ( 'b' );", jet::kErrTableNotFound);
  cnn.Close();
  EXPECT_THROW(cnn.Execute("DELETE * FROM T"), RunError);
}

// A product database made with the sqlite3 shell and sha256sum alone opens with the password;
// one the layer wrote opens in the shell.
TEST_F(DbTest, FilesMadeByTheShellAndByTheLayerAreInterchangeable) {
  const std::string file = (prefix.drive_c() / "shell.yw").string();
  const std::string salt = "00112233445566778899aabbccddeeff";
  ASSERT_EQ(Shell("hash=$( (printf '" + std::string("\\000\\021\\042\\063\\104\\125\\146\\167\\210\\231\\252\\273\\314\\335\\356\\377") +
                  "'; printf 'qed5190') | sha256sum | cut -d' ' -f1) && sqlite3 '" + file +
                  "' \"CREATE TABLE MSysPassword (Algorithm TEXT NOT NULL, Salt TEXT NOT NULL, Hash TEXT NOT NULL);"
                  " INSERT INTO MSysPassword VALUES ('sha256', '" + salt + "', '$hash');"
                  " CREATE TABLE Ace (SKU TEXT(20) PRIMARY KEY, Description TEXT(50)); INSERT INTO Ace VALUES ('A1', 'Hammer');\""),
            0);
  Connection cnn(engine);
  OpenOn(cnn, "C:\\shell.yw");
  EXPECT_EQ(Rows(cnn, "SELECT SKU, Description FROM Ace;", {"SKU", "Description"}),
            std::vector<std::string>{"A1|Hammer"});
  cnn.Close();
  EXPECT_THROW(OpenOn(cnn, "C:\\shell.yw", "other"), RunError);

  MakeDb("layer.yw");
  OpenOn(cnn, "C:\\layer.yw");
  Exec(cnn, schema::AceStatements("Ace"));
  cnn.Execute("INSERT INTO Ace ( SKU, Description ) VALUES ( 'B2', 'Saw' );");
  cnn.Close();
  const std::string out = (prefix.root() / "out.txt").string();
  ASSERT_EQ(Shell("sqlite3 '" + (prefix.drive_c() / "layer.yw").string() +
                  "' 'SELECT SKU || \"|\" || Description FROM Ace' > '" + out + "'"), 0);
  EXPECT_EQ(test::ReadFile(out), "B2|Saw\n");
}

TEST_F(DbTest, HostileFilesAreRefusedOrFailWithoutACrash) {
  // A database with enough rows to span many pages, then damaged in the middle.
  MakeDb("big.yw");
  {
    Connection cnn(engine);
    OpenOn(cnn, "C:\\big.yw");
    cnn.Execute("CREATE TABLE T ([SKU] TEXT(20) CONSTRAINT K PRIMARY KEY, [D] TEXT(200))");
    for (int i = 0; i < 300; ++i) {
      cnn.Execute("INSERT INTO T ( SKU, D ) VALUES ( '" + std::to_string(i) + "', '" + std::string(150, 'd') + "' )");
    }
  }
  test::WriteFile(prefix.drive_c() / "damaged.yw", test::Damaged(test::ReadFile(prefix.drive_c() / "big.yw")));

  // A schema that names a function and a view: refused work, not run.
  const std::string crafted = (prefix.drive_c() / "crafted.yw").string();
  ASSERT_EQ(Shell("sqlite3 '" + crafted + "' \"CREATE TABLE Ace (SKU TEXT); CREATE VIEW V AS SELECT load_extension('x') AS SKU;"
                  " PRAGMA writable_schema=ON; UPDATE sqlite_schema SET sql='CREATE TABLE Ace (SKU TEXT' WHERE name='Ace';\" 2>/dev/null"),
            0);
  // Rows written around the file's own column rules: the file is not intact, so a copy of its
  // table into one of the same layout, made as stored, never meets them.
  const std::string rulebreak = (prefix.drive_c() / "rulebreak.yw").string();
  ASSERT_EQ(Shell("sqlite3 '" + rulebreak + "' \"CREATE TABLE Ace (SKU TEXT(20) CHECK (length(SKU) <= 20));"
                  " PRAGMA ignore_check_constraints=ON; INSERT INTO Ace VALUES ('" + std::string(30, 'x') + "');\""),
            0);
  {
    Connection cnn(engine);
    EXPECT_THROW(OpenOn(cnn, "C:\\rulebreak.yw"), RunError);
  }
  // A password record whose salt is not hexadecimal proves no password: the file does not open,
  // with Jet's words rather than a library's.
  const std::string badsalt = (prefix.drive_c() / "badsalt.yw").string();
  ASSERT_EQ(Shell("sqlite3 '" + badsalt + "' \"CREATE TABLE MSysPassword (Algorithm TEXT NOT NULL, "
                  "Salt TEXT NOT NULL, Hash TEXT NOT NULL); INSERT INTO MSysPassword VALUES "
                  "('sha256', 'zz', '00');\""),
            0);
  {
    Connection cnn(engine);
    try {
      OpenOn(cnn, "C:\\badsalt.yw");
      ADD_FAILURE() << "opened";
    } catch (const RunError& e) {
      EXPECT_EQ(e.number(), jet::kErrGeneral);
      EXPECT_EQ(e.description(), "Unrecognized database format 'C:\\badsalt.yw'.");
    }
  }
  for (const char* path : {"C:\\damaged.yw", "C:\\crafted.yw"}) {
    Connection cnn(engine);
    try {
      OpenOn(cnn, path);
      cnn.Execute("DELETE * FROM T");
      cnn.Execute("SELECT SKU FROM V");
    } catch (const RunError& e) {
      EXPECT_NE(e.description(), "") << path;
      continue;
    }
    ADD_FAILURE() << path << " was used";
  }
}

// A file checked ahead opens only when it passed and has not changed since; a check ahead of a
// file that is not there makes none.
TEST_F(DbTest, AFileCheckedAheadOpensOnlyAsItWasChecked) {
  MakeDb("intact.yw");
  {
    Connection cnn(engine);
    OpenOn(cnn, "C:\\intact.yw");
    Exec(cnn, schema::AceStatements("Ace"));
    for (int i = 0; i < 200; ++i) cnn.Execute("INSERT INTO Ace ( SKU, Description ) VALUES ( '" + std::to_string(i) + "', 'Nails' )");
  }
  const std::string intact = test::ReadFile(prefix.drive_c() / "intact.yw");
  struct Case {
    const char* name;
    bool damaged_before, damaged_after, opens;
  } cases[] = {
      {"good.yw", false, false, true},
      {"bad.yw", true, true, false},
      {"spoilt.yw", false, true, false},  // damaged after its check began
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto file = prefix.drive_c() / c.name;
    test::WriteFile(file, c.damaged_before ? test::Damaged(intact) : intact);
    engine.checks().StartAhead(file);
    if (c.damaged_after) {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));  // let the check pass first
      test::WriteFile(file, test::Damaged(intact));
    }
    Connection cnn(engine);
    try {
      OpenOn(cnn, std::string("C:\\") + c.name);
      EXPECT_TRUE(c.opens);
      EXPECT_EQ(Rows(cnn, "SELECT SKU FROM Ace", {"SKU"}).size(), 200u);
    } catch (const RunError& e) {
      EXPECT_FALSE(c.opens) << e.description();
      EXPECT_EQ(e.description(), std::string("Unrecognized database format 'C:\\") + c.name + "'.");
    }
  }
  engine.checks().StartAhead(prefix.drive_c() / "none.yw");
  EXPECT_FALSE(std::filesystem::exists(prefix.drive_c() / "none.yw"));
}

TEST_F(DbTest, CanOpenDBFileSaysWhetherTheFileOpensAndLeavesNothingOpen) {
  test::TestRun program;
  const auto& drive = program.prefix.drive_c();
  db::CreateDatabase((drive / "good.yw").string(), "qed5190");
  db::CreateDatabase((drive / "nopw.yw").string(), "");
  db::CreateDatabase((drive / "other.yw").string(), "xyz");
  test::WriteFile(drive / "empty.yw", "");
  test::WriteFile(drive / "text.yw", "just text");
  std::filesystem::create_directories(drive / "folder.yw");
  struct Case {
    const char* path;
    bool ok;
  } cases[] = {{"C:\\GOOD.YW", true},   {"C:\\NOPW.YW", true},  {"C:\\MISSING.YW", false},
               {"C:\\EMPTY.YW", false}, {"C:\\TEXT.YW", false}, {"C:\\FOLDER.YW", false},
               {"C:\\OTHER.YW", false}};
  const int fds = OpenFileCount();
  std::vector<std::string> expected;
  for (const auto& c : cases) {
    EXPECT_EQ(CanOpenDBFile(program.run, program.engine, c.path), c.ok) << c.path;
    expected.push_back("Status = Validating Database File");
    expected.push_back(std::string("FileName: ") + c.path + (c.ok ? " is OK" : " is NOT OK"));
  }
  EXPECT_EQ(OpenFileCount(), fds);
  EXPECT_EQ(program.run.log, expected);
  EXPECT_TRUE(program.run.ui.boxes.empty());
  EXPECT_TRUE(DoesFileExist(program.run, "C:\\GOOD.YW"));
  EXPECT_FALSE(DoesFileExist(program.run, "C:\\FOLDER.YW"));
  EXPECT_FALSE(DoesFileExist(program.run, "C:\\MISSING.YW"));
}

}  // namespace
}  // namespace cs::db
