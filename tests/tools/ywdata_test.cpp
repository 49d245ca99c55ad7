// The data maker, run as a user runs it.
#include <cstdlib>
#include <tuple>

#include "config/ini_file.h"
#include "db/jet/errors.h"
#include "db/jetfile/header.h"
#include "db_support.h"

namespace cs {
namespace {

class YwdataTest : public test::DbTest {
 protected:
  int Run(const std::string& args, std::string* out = nullptr) {
    const std::string file = (prefix.root() / "out.txt").string();
    const int rc = std::system((std::string(YWDATA_PATH) + " --prefix '" + prefix.root().string() + "' " + args +
                                " > '" + file + "' 2>&1").c_str());
    if (out != nullptr) *out = test::ReadFile(file);
    return rc;
  }
  std::size_t Count(db::Connection& cnn, const std::string& table) {
    return Rows(cnn, "SELECT * FROM " + table, {}).size();
  }
};

TEST_F(YwdataTest, MakesAnEnvironmentThatTheSettingsRead) {
  ASSERT_EQ(Run("env"), 0);
  platform::System system(prefix.files(), prefix.root(), prefix.drive_c(), {});
  test::FakeRun run(system);
  config::Registry registry(run);
  registry.SetRegistryKey();
  EXPECT_EQ(registry.DBDir() + registry.DBName(), "C:\\YIELDWARDEN\\YIELDWARDEN.YW");
  EXPECT_EQ(registry.InstallAppDirectory(), "C:\\Program Files\\Yield Warden\\");
  config::cInifile ini(run);
  ini.Path(registry.ConfigINIPath(true));
  ini.Section("Vendor-Ace");
  ini.Key("NameShort");
  EXPECT_EQ(ini.Value(), "ACE");
  std::vector<std::string> keys;
  std::int32_t count = 0;
  for (const auto& [section, n] : {std::pair{"Ace", 33}, std::pair{"PlanogramDetails", 2}, std::pair{"AdditionalDetails", 3}}) {
    ini.Section(section);
    ini.EnumerateCurrentSection(keys, count);
    EXPECT_EQ(count, n) << section;
    EXPECT_EQ(keys[0], "PrimaryKey");
  }
}

TEST_F(YwdataTest, MakesDatabasesWithTheRowsAskedFor) {
  const std::string dir = prefix.drive_c().string();
  ASSERT_EQ(Run("current-db " + dir + "/current.yw --rows 20 --date 2/1/2007 --program-format"), 0);
  ASSERT_EQ(Run("full " + dir + "/ACEDATA0307.YW --rows 30 --first-sku 1000010"), 0);
  ASSERT_EQ(Run("mtd " + dir + "/ACEMTD0307.YW --rows 10 --date 3/15/2007 --no-additional-details"), 0);
  ASSERT_EQ(Run("custom " + dir + "/CUSTOMDATA.YW --rows 5 --date \"\""), 0);
  ASSERT_EQ(Run("full " + dir + "/open.yw --rows 1 --password \"\""), 0);

  db::Connection cnn(engine);
  OpenOn(cnn, "C:\\current.yw");
  EXPECT_EQ(Count(cnn, "Ace"), 20u);
  EXPECT_EQ(Count(cnn, "Store"), 10u);
  EXPECT_EQ(Count(cnn, "Competitors"), 5u);
  EXPECT_EQ(Count(cnn, "ListBoxs"), 3u);
  EXPECT_EQ(Rows(cnn, "SELECT FileDate FROM AceFileDate;", {"FileDate"}), std::vector<std::string>{"2007-02-01 00:00:00"});
  cnn.Close();
  OpenOn(cnn, "C:\\ACEDATA0307.YW");
  EXPECT_EQ(Count(cnn, "Ace"), 30u);
  EXPECT_EQ(Rows(cnn, "SELECT SKU FROM Ace WHERE SKU = '1000039';", {"SKU"}).size(), 1u);
  EXPECT_EQ(Count(cnn, "AdditionalDetails"), 10u);
  EXPECT_GE(Count(cnn, "PlanogramDetails"), 1u);
  cnn.Close();
  OpenOn(cnn, "C:\\ACEMTD0307.YW");
  EXPECT_THROW(Count(cnn, "AdditionalDetails"), RunError);
  cnn.Close();
  OpenOn(cnn, "C:\\CUSTOMDATA.YW");
  EXPECT_EQ(Count(cnn, "Ace"), 5u);
  EXPECT_TRUE(Rows(cnn, "SELECT FileDate FROM AceFileDate;", {"FileDate"}).empty());
  cnn.Close();
  EXPECT_THROW(OpenOn(cnn, "C:\\ACEDATA0307.YW", "wrong"), RunError);
  EXPECT_NO_THROW(OpenOn(cnn, "C:\\open.yw", "wrong"));

  std::string out;
  ASSERT_EQ(Run("dump " + dir + "/current.yw Competitors", &out), 0);
  EXPECT_EQ(out, "Competitor\tName\nComp1\tCompetitor 1\nComp2\tCompetitor 2\nComp3\tCompetitor 3\n"
                 "Comp4\tCompetitor 4\nComp5\tCompetitor 5\n");
}

TEST_F(YwdataTest, RefusesBadRequestsClearly) {
  std::string out;
  EXPECT_EQ(Run("--help", &out), 0);
  for (const char* word : {"env", "current-db", "full", "mtd", "custom", "dump", "--rows", "--date"}) {
    EXPECT_NE(out.find(word), std::string::npos) << word;
  }
  EXPECT_NE(Run("", &out), 0);
  EXPECT_NE(Run("bake x", &out), 0);
  EXPECT_NE(out.find("unknown command"), std::string::npos);
  const std::string file = prefix.drive_c().string() + "/x.yw";
  ASSERT_EQ(Run("full " + file + " --rows 1"), 0);
  EXPECT_NE(Run("full " + file + " --rows 1", &out), 0);  // never overwrites a file
  EXPECT_NE(Run("dump " + file + " Nope", &out), 0);
  EXPECT_NE(out.find("cannot find the input table or query 'Nope'"), std::string::npos) << out;
  EXPECT_NE(Run("full " + file + "2 --rows many", &out), 0);
}

TEST_F(YwdataTest, ConvertsAJetDatabaseWithItsPassword) {
  std::string out;
  EXPECT_EQ(Run("--help", &out), 0);
  EXPECT_NE(out.find("convert SOURCE FILE"), std::string::npos);
  const std::string jet = std::string(SHARED_DIR) + "/fixtures/jet/ACEDATA0407-OTHERPW.mdb";
  const std::string file = (prefix.drive_c() / "converted.yw").string();
  ASSERT_EQ(Run("convert '" + jet + "' '" + file + "'", &out), 0) << out;
  db::Connection cnn(engine);
  OpenOn(cnn, "C:\\converted.yw", "other99");  // the Jet file's own password
  EXPECT_EQ(Count(cnn, "Ace"), 50u);
  EXPECT_EQ(Count(cnn, "PlanogramDetails"), 5u);
  cnn.Close();
  EXPECT_THROW(OpenOn(cnn, "C:\\converted.yw", "qed5190"), RunError);
  EXPECT_NE(Run("convert '" + jet + "' '" + file + "'", &out), 0);  // never overwrites a file
  // And back into a Jet file, with the password that opens the converted file.
  const std::string back = (prefix.drive_c() / "back.mdb").string();
  EXPECT_NE(Run("convert '" + file + "' '" + back + "'", &out), 0);
  EXPECT_NE(out.find("Not a valid password."), std::string::npos) << out;
  ASSERT_EQ(Run("convert '" + file + "' '" + back + "' --password other99", &out), 0) << out;
  const auto header = db::jetfile::ReadHeader(back);
  ASSERT_TRUE(header);
  EXPECT_EQ(header->password.value_or(""), "other99");
  test::WriteFile(prefix.drive_c() / "junk.yw", "not a database");
  EXPECT_NE(Run("convert '" + (prefix.drive_c() / "junk.yw").string() + "' '" + file + "3'", &out), 0);
  EXPECT_NE(out.find("Unrecognized database format"), std::string::npos) << out;
}

TEST_F(YwdataTest, MakesJetCurrentDatabasesAndDataFiles) {
  std::string out;
  const std::string current = (prefix.drive_c() / "current.mdb").string();
  const std::string data = (prefix.drive_c() / "ACEDATA0307.mdb").string();
  ASSERT_EQ(Run("current-db '" + current + "' --rows 30", &out), 0) << out;  // Jet unless told otherwise
  ASSERT_EQ(Run("full '" + data + "' --jet --rows 12", &out), 0) << out;
  for (const auto& [file, table, rows] : {std::tuple{current, "Store", 15u}, std::tuple{data, "Ace", 12u}}) {
    const auto header = db::jetfile::ReadHeader(file);
    ASSERT_TRUE(header) << file;
    EXPECT_EQ(header->version, db::jetfile::JetVersion::kJet4);
    EXPECT_EQ(header->password.value_or(""), "qed5190");
    const std::string converted = file + ".yw";
    ASSERT_EQ(Run("convert '" + file + "' '" + converted + "'", &out), 0) << out;
    db::Connection cnn(engine);
    OpenOn(cnn, "C:\\" + std::filesystem::path(converted).filename().string(), "qed5190");
    EXPECT_EQ(Count(cnn, table), rows);
  }
  // Nothing but the two files and their conversions is left in the folder.
  std::size_t entries = 0;
  for (const auto& e : std::filesystem::directory_iterator(prefix.drive_c())) entries += e.is_regular_file();
  EXPECT_EQ(entries, 4u);
  EXPECT_NE(Run("dump '" + current + "' Store --jet", &out), 0);
  EXPECT_NE(out.find("--jet and --program-format go with current-db, full, mtd or custom"), std::string::npos) << out;
  EXPECT_NE(Run("current-db '" + current + "2' --jet --program-format", &out), 0);
  EXPECT_NE(out.find("exclude each other"), std::string::npos) << out;
}

}  // namespace
}  // namespace cs
