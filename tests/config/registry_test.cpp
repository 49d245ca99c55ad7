#include "config/registry.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace cs::config {
namespace {

constexpr char kQm[] = "[HKEY_CURRENT_USER\\Software\\Quillmarch\\Yield Warden]\r\n";
constexpr char kQmPrice[] = "[HKEY_CURRENT_USER\\Software\\Quillmarch\\Yield Warden\\PriceFiles]\r\n";
constexpr char kQmStartup[] = "[HKEY_CURRENT_USER\\Software\\Quillmarch\\Yield Warden\\Startup]\r\n";
constexpr char kBf[] = "[HKEY_CURRENT_USER\\Software\\Brackenfield Systems\\Yield Warden]\r\n";
constexpr char kBfPrice[] =
    "[HKEY_CURRENT_USER\\Software\\Brackenfield Systems\\Yield Warden\\PriceFiles]\r\n";

TEST(RegistryTest, ProductKeyFollowsWhichProductIsInstalled) {
  struct Case {
    std::string blocks;
    const char* product_key;
  } cases[] = {
      {"", "Software\\Quillmarch\\Yield Warden"},
      {kBf, "Software\\Brackenfield Systems\\Yield Warden"},
      {std::string(kBf) + kQm, "Software\\Quillmarch\\Yield Warden"},
      {"[HKEY_CURRENT_USER\\Software\\Quillmarch]\r\n" + std::string(kBf),
       "Software\\Quillmarch\\Yield Warden"},  // the company key alone decides
  };
  test::MemoryRun program;
  for (const auto& c : cases) {
    program.SetRegistry(c.blocks);
    EXPECT_EQ(program.registry.ProductKey, c.product_key) << c.blocks;
    EXPECT_EQ(program.registry.PriceFilesKey, std::string(c.product_key) + "\\PriceFiles");
  }
  EXPECT_TRUE(program.run.ui.boxes.empty());
}

TEST(RegistryTest, ValuesReadAsTextWhateverTheirType) {
  test::MemoryRun program;
  program.SetRegistry(std::string(kQmPrice) +
                      "\"WithNul\"=hex(1):41,42,00\r\n"
                      "\"WithoutNul\"=\"AB\"\r\n"
                      "\"Counter\"=dword:0000002a\r\n"
                      "\"Negative\"=dword:ffffffff\r\n"
                      "\"Blob\"=hex:01,02\r\n"
                      "\"Expand\"=hex(2):41,00\r\n");
  Registry& r = program.registry;
  const std::string key = r.PriceFilesKey;
  struct Case {
    const char* name;
    const char* text;
  } cases[] = {
      {"WithNul", "AB"}, {"WithoutNul", "AB"}, {"Counter", "42"}, {"Negative", "-1"},
      {"Blob", ""},      {"Expand", ""},       {"Missing", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ToText(r.QueryValue(HKEY_CURRENT_USER, key, c.name)), c.text) << c.name;
  }
  EXPECT_EQ(ToText(r.QueryValue(HKEY_CURRENT_USER, "Software\\Nowhere", "Counter")), "");
  EXPECT_TRUE(std::holds_alternative<std::int32_t>(r.QueryValue(HKEY_CURRENT_USER, key, "Counter")));
  EXPECT_TRUE(program.run.ui.boxes.empty());
}

TEST(RegistryTest, WritesStoreTextWithoutNulAndNeverCreateKeys) {
  test::MemoryRun program;
  Registry& r = program.registry;
  r.SetKeyValue(HKEY_CURRENT_USER, r.PriceFilesKey, "SetupComplete", std::string("TRUE"), REG_SZ);
  r.SetKeyValue(HKEY_CURRENT_USER, r.PriceFilesKey, "Count", std::string("42"), REG_DWORD);
  const std::string text = program.Read(program.user_reg());
  EXPECT_NE(text.find("\"SetupComplete\"=\"TRUE\"\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\"Count\"=dword:0000002a\r\n"), std::string::npos) << text;

  r.SetKeyValue(HKEY_CURRENT_USER, r.PriceFilesKey + "\\Missing", "X", std::string("1"), REG_SZ);
  r.SetKeyValue(HKEY_CURRENT_USER, r.PriceFilesKey, "Other", std::string("1"), 3);
  EXPECT_EQ(program.Read(program.user_reg()), text);
  EXPECT_TRUE(program.run.ui.boxes.empty());

  // A DWORD write of a text that is no number is a run-time error of SetValueEx.
  program.run.ui.answers = {platform::kIdAbort};
  r.SetKeyValue(HKEY_CURRENT_USER, r.PriceFilesKey, "Count", std::string("many"), REG_DWORD);
  ASSERT_EQ(program.run.ui.boxes.size(), 1u);
  EXPECT_NE(program.run.ui.boxes[0].text.find("CatalogSync.Registry.SetValueEx"), std::string::npos);
  EXPECT_EQ(program.Read(program.user_reg()), text);
}

TEST(RegistryTest, SettingsComeFromTheFixedStartupKey) {
  test::MemoryRun program;
  Registry& r = program.registry;
  EXPECT_EQ(r.NewKeyValue("Software\\VB and VBA Program Settings\\YieldWarden\\Startup"),
            "Software\\Quillmarch\\Yield Warden\\Startup");
  EXPECT_EQ(r.NewKeyValue("Software\\Brackenfield Systems\\Yield Warden"),
            "Software\\Quillmarch\\Yield Warden");
  EXPECT_EQ(r.NewKeyValue("software\\brackenfield systems"), "software\\brackenfield systems");
  program.SetRegistry(std::string(kQmStartup) + "\"Empty\"=\"\"\r\n\"DBName\"=\"my.yw\"\r\n");
  EXPECT_EQ(r.GetSetting("Startup", "Empty", ""), "");
  EXPECT_EQ(r.GetSetting("Startup", "Empty", "fallback"), "fallback");
  EXPECT_EQ(r.GetSetting("Startup", "DBName", "fallback"), "my.yw");
  EXPECT_EQ(r.GetSetting("Nowhere", "DBName", "fallback"), "fallback");
}

TEST(RegistryTest, InstallLocationsApplyTheirDefaults) {
  struct Case {
    std::string blocks;
    const char *drive, *app_dir, *db_dir, *db_name, *ini_identify, *ini_definitions;
  } cases[] = {
      {"", "C:\\", "C:\\", "C:\\YIELDWARDEN\\", "YIELDWARDEN.YW",
       "C:\\Program Files\\Yield Warden\\YWConfig.ini", "\\YWConfig.ini"},
      {std::string(kQmPrice) + "\"InstallDrive\"=\"D:\"\r\n", "D:\\", "D:\\", "D:\\YIELDWARDEN\\",
       "YIELDWARDEN.YW", "C:\\Program Files\\Yield Warden\\YWConfig.ini", "\\YWConfig.ini"},
      {std::string(kQm) + "\"InstallAppDir\"=\"C:\\\\Apps\"\r\n", "C:\\", "C:\\Apps\\",
       "C:\\YIELDWARDEN\\", "YIELDWARDEN.YW", "C:\\Apps\\YWConfig.ini", "C:\\Apps\\YWConfig.ini"},
      {std::string(kQm) + "\"InstallAppDir\"=\"C:\\\\Apps\\\\\"\r\n", "C:\\", "C:\\Apps\\\\",
       "C:\\YIELDWARDEN\\", "YIELDWARDEN.YW", "C:\\Apps\\\\YWConfig.ini",
       "C:\\Apps\\\\YWConfig.ini"},  // a stored trailing backslash is doubled
      {std::string(kQm) + "\"InstallAppDir\"=\"C:\\\\Apps\"\r\n\"YWConfigINI\"=\"E:\\\\none.ini\"\r\n",
       "C:\\", "C:\\Apps\\", "C:\\YIELDWARDEN\\", "YIELDWARDEN.YW", "E:\\none.ini", "E:\\none.ini"},
      {std::string(kQmStartup) + "\"DBDir\"=\"d:\\\\data\"\r\n\"DBName\"=\"shop.yw\"\r\n", "C:\\",
       "C:\\", "D:\\DATA\\", "SHOP.YW", "C:\\Program Files\\Yield Warden\\YWConfig.ini",
       "\\YWConfig.ini"},
      {std::string(kQmStartup) + "\"DBDir\"=\"\"\r\n", "C:\\", "C:\\", "C:\\YIELDWARDEN\\",
       "YIELDWARDEN.YW", "C:\\Program Files\\Yield Warden\\YWConfig.ini", "\\YWConfig.ini"},
  };
  test::MemoryRun program;
  Registry& r = program.registry;
  for (const auto& c : cases) {
    program.SetRegistry(c.blocks);
    EXPECT_EQ(r.DefaultDrive(), c.drive) << c.blocks;
    EXPECT_EQ(r.InstallAppDirectory(), c.app_dir) << c.blocks;
    EXPECT_EQ(r.DBDir(), c.db_dir) << c.blocks;
    EXPECT_EQ(r.DBName(), c.db_name) << c.blocks;
    EXPECT_EQ(r.ConfigINIPath(true), c.ini_identify) << c.blocks;
    EXPECT_EQ(r.ConfigINIPath(false), c.ini_definitions) << c.blocks;
  }
  EXPECT_TRUE(program.run.ui.boxes.empty());
}

// With the Brackenfield product chosen, the install values come from its key while the database
// is still found under Quillmarch's Startup key.
TEST(RegistryTest, DatabaseSettingsIgnoreTheChosenProductKey) {
  test::MemoryRun program;
  program.SetRegistry(std::string(kBf) + "\"InstallAppDir\"=\"C:\\\\BF\"\r\n" + kBfPrice +
                      "\"InstallDrive\"=\"E:\\\\\"\r\n" + kQmStartup +
                      "\"DBDir\"=\"C:\\\\QM\\\\\"\r\n");
  Registry& r = program.registry;
  r.ProductKey = "Software\\Brackenfield Systems\\Yield Warden";
  r.PriceFilesKey = r.ProductKey + "\\PriceFiles";
  EXPECT_EQ(r.DefaultDrive(), "E:\\");
  EXPECT_EQ(r.InstallAppDirectory(), "C:\\BF\\");
  EXPECT_EQ(r.ConfigINIPath(false), "C:\\BF\\YWConfig.ini");
  EXPECT_EQ(r.DBDir(), "C:\\QM\\");
  EXPECT_EQ(r.DBName(), "YIELDWARDEN.YW");
}

}  // namespace
}  // namespace cs::config
