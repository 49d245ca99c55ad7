#include "config/ini_file.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace cs::config {
namespace {

class IniFileTest : public ::testing::Test {
 protected:
  cInifile Ini() {
    cInifile ini(program.run);
    ini.Path("C:\\YW\\YWConfig.ini");
    return ini;
  }
  void Write(const std::string& text) { program.files.AddFile(program.drive_c() / "YW" / "YWConfig.ini", text); }
  std::string Text() { return program.Read(program.drive_c() / "YW" / "YWConfig.ini"); }
  test::MemoryRun program;
};

TEST_F(IniFileTest, ReadsValuesOfAtMost254Characters) {
  Write("[Ace]\r\nlong=" + std::string(300, 'x') + "\r\nSKU=TEXT(20)\r\n[Caf\xe9]\r\nk=\xe9t\xe9\r\n");
  cInifile ini = Ini();
  ini.Section("ace");
  ini.Key("LONG");
  EXPECT_EQ(ini.Value(), std::string(254, 'x'));
  ini.Key("missing");
  EXPECT_EQ(ini.Value(), "");
  ini.Default("fallback");
  EXPECT_EQ(ini.Value(), "fallback");
  ini.Section("Café");  // UTF-8 here, Windows-1252 in the file
  ini.Key("k");
  EXPECT_EQ(ini.Value(), "été");
}

TEST_F(IniFileTest, ListsKeysInFileOrder) {
  Write("[Vendors]\r\nb=2\r\na=1\r\nc=3\r\n[Empty]\r\n[Other]\r\nx=1\r\n");
  struct Case {
    const char* section;
    std::vector<std::string> keys;
  } cases[] = {
      {"Vendors", {"b", "a", "c"}},
      {"Empty", {}},
      {"Missing", {}},
  };
  for (const auto& c : cases) {
    cInifile ini = Ini();
    ini.Section(c.section);
    std::vector<std::string> keys{"stale"};
    std::int32_t count = -1;
    ini.EnumerateCurrentSection(keys, count);
    EXPECT_EQ(keys, c.keys) << c.section;
    EXPECT_EQ(count, static_cast<std::int32_t>(c.keys.size()));
  }
  cInifile nowhere(program.run);
  nowhere.Path("C:\\nowhere.ini");
  nowhere.Section("Vendors");
  std::vector<std::string> keys;
  std::int32_t count = -1;
  nowhere.EnumerateCurrentSection(keys, count);
  EXPECT_EQ(count, 0);
  cInifile all = Ini();
  all.EnumerateAllSections(keys, count);
  EXPECT_EQ(keys, (std::vector<std::string>{"Vendors", "Empty", "Other"}));
}

TEST_F(IniFileTest, AListCutByTheBufferLeavesOutTheCutName) {
  // 8190 characters fit; the last key is cut and so left out.
  std::string text = "[Big]\r\n";
  std::vector<std::string> expected;
  for (int i = 0; i < 1000; ++i) {
    const std::string key = "key" + std::to_string(10000 + i);  // 8 characters and a NUL
    text += key + "=1\r\n";
    if ((i + 1) * 9 <= 8190) expected.push_back(key);
  }
  Write(text);
  cInifile ini = Ini();
  ini.Section("Big");
  std::vector<std::string> keys;
  std::int32_t count = 0;
  ini.EnumerateCurrentSection(keys, count);
  EXPECT_EQ(count, 910);
  EXPECT_EQ(keys, expected);
}

TEST_F(IniFileTest, WritesAndDeletesThroughTheProfileFunctions) {
  Write("; keep me\r\n[A]\r\nx=1\r\n[B]\r\ny=2\r\n");
  cInifile ini = Ini();
  EXPECT_FALSE(ini.Success());
  EXPECT_EQ(ini.LastReturnCode(), 0);
  ini.Section("A");
  ini.Key("x");
  (void)ini.Value();
  (void)ini.INISection();
  (void)ini.Sections();
  EXPECT_FALSE(ini.Success());  // reads never change it

  std::string value("a\0b\0c", 5);
  ini.Key("z");
  ini.Value(value);
  EXPECT_EQ(value, "abc");  // the caller's text is cleaned too
  EXPECT_TRUE(ini.Success());
  EXPECT_EQ(Text(), "; keep me\r\n[A]\r\nx=1\r\nz=abc\r\n[B]\r\ny=2\r\n");

  ini.INISection("anything");
  EXPECT_EQ(Text(), "; keep me\r\n[B]\r\ny=2\r\n");
  ini.Section("B");
  ini.DeleteSection();
  EXPECT_EQ(Text(), "; keep me\r\n");
  EXPECT_TRUE(ini.Success());

  cInifile bad(program.run);
  bad.Path("C:\\NoSuchDir\\x.ini");
  bad.Section("A");
  bad.Key("k");
  std::string v = "1";
  bad.Value(v);
  EXPECT_FALSE(bad.Success());
}

}  // namespace
}  // namespace cs::config
