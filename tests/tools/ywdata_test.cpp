// The data maker, run as a user runs it.
#include <cstdlib>

#include "config/ini_file.h"
#include "db/jet/errors.h"
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
  ASSERT_EQ(Run("current-db " + dir + "/current.yw --rows 20 --date 2/1/2007"), 0);
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
  EXPECT_NE(out.find("convert JETFILE FILE"), std::string::npos);
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
  EXPECT_NE(Run("convert '" + file + "' '" + file + "2'", &out), 0);
  EXPECT_NE(out.find("Unrecognized database format"), std::string::npos) << out;
}

}  // namespace
}  // namespace cs
