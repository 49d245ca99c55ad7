#include "platform/windows_paths.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace cs::platform {
namespace {

namespace fs = std::filesystem;

class WindowsPathsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::WriteFile(prefix.drive_c() / "YieldWarden" / "YieldWarden.yw", "db");
    test::WriteFile(prefix.drive_c() / "Data" / "ACEDATA0307.YW", "data");
    test::WriteFile(prefix.drive_c() / "Twins" / "file.txt", "lower");
    test::WriteFile(prefix.drive_c() / "Twins" / "FILE.TXT", "upper");
    fs::create_directories(prefix.root() / "elsewhere");
    fs::create_directory_symlink(prefix.root() / "elsewhere", prefix.root() / "dosdevices" / "d:");
    test::WriteFile(prefix.root() / "elsewhere" / "x" / "name.yw", "d");
  }
  test::TempPrefix prefix;
  WindowsPaths paths{prefix.root()};
};

TEST_F(WindowsPathsTest, ResolvesExistingFilesLikeWindows) {
  const fs::path db = prefix.drive_c() / "YieldWarden" / "YieldWarden.yw";
  const fs::path data = prefix.drive_c() / "Data" / "ACEDATA0307.YW";
  struct Case {
    const char* windows;
    std::optional<fs::path> host;
  } cases[] = {
      {"C:\\YieldWarden\\YieldWarden.yw", db},
      {"C:\\YIELDWARDEN\\YIELDWARDEN.YW", db},          // letter case ignored
      {"c:/yieldwarden/yieldwarden.yw", db},            // forward slashes, lower-case drive
      {"C:\\YieldWarden\\\\YieldWarden.yw", db},        // doubled separator
      {"C:\\YieldWarden. \\YieldWarden.yw . ", db},     // trailing blanks and dots of components
      {"   C:\\DATA\\ACEDATA0307.YW  ", data},          // blanks left by a removed switch
      {"C:\\Data\\..\\YieldWarden\\.\\YieldWarden.yw", db},
      {"C:\\..\\..\\Data\\ACEDATA0307.YW", data},       // ".." stops at the drive's root
      {"D:\\X\\NAME.YW", prefix.root() / "elsewhere" / "x" / "name.yw"},
      {"Q:\\YieldWarden\\YieldWarden.yw", std::nullopt},  // unknown drive
      {"\\\\server\\share\\YieldWarden.yw", std::nullopt},  // UNC
      {"YieldWarden\\YieldWarden.yw", std::nullopt},      // no drive
      {"C:YieldWarden.yw", std::nullopt},                 // drive without a separator
      {"C:\\YieldWarden\\Missing.yw", std::nullopt},
      {"C:\\YieldWarden\\YieldWarden.yw\\more", std::nullopt},  // a file is not a folder
  };
  for (const auto& c : cases) {
    const auto got = paths.Resolve(c.windows);
    EXPECT_EQ(got.has_value(), c.host.has_value()) << c.windows;
    if (got && c.host) {
      EXPECT_EQ(fs::canonical(*got), fs::canonical(*c.host)) << c.windows;
    }
  }
}

TEST_F(WindowsPathsTest, DriveZIsTheHostRoot) {
  std::string host = (prefix.drive_c() / "Data" / "ACEDATA0307.YW").string();
  std::string win = "Z:" + host;
  for (char& ch : win) {
    if (ch == '/') ch = '\\';
  }
  const auto got = paths.Resolve(win);
  ASSERT_TRUE(got);
  EXPECT_EQ(test::ReadFile(*got), "data");
}

TEST_F(WindowsPathsTest, ExactMatchWinsAmongNamesDifferingInCase) {
  EXPECT_EQ(test::ReadFile(*paths.Resolve("C:\\Twins\\FILE.TXT")), "upper");
  EXPECT_EQ(test::ReadFile(*paths.Resolve("C:\\Twins\\file.txt")), "lower");
  // Neither exact: the same one every time.
  EXPECT_EQ(*paths.Resolve("C:\\Twins\\File.txt"), *paths.Resolve("C:\\Twins\\fILE.TXT"));
}

TEST_F(WindowsPathsTest, NewFilesAreCreatedUnderTheGivenName) {
  auto log = paths.ResolveForCreate("C:\\YIELDWARDEN\\New.LOG ");
  ASSERT_TRUE(log);
  EXPECT_EQ(fs::weakly_canonical(*log), fs::canonical(prefix.drive_c()) / "YieldWarden" / "New.LOG");
  // An existing file of another case is reused.
  EXPECT_EQ(fs::canonical(*paths.ResolveForCreate("C:\\yieldwarden\\YIELDWARDEN.YW")),
            fs::canonical(prefix.drive_c() / "YieldWarden" / "YieldWarden.yw"));
  EXPECT_FALSE(paths.ResolveForCreate("C:\\NoSuchDir\\New.LOG"));
  EXPECT_FALSE(paths.ResolveForCreate("New.LOG"));
}

TEST_F(WindowsPathsTest, HostPathsGetTheirWindowsForm) {
  EXPECT_EQ(paths.ToWindows(prefix.drive_c() / "Data" / "ACEDATA0307.YW"),
            "C:\\Data\\ACEDATA0307.YW");
  EXPECT_EQ(paths.ToWindows(prefix.drive_c()), "C:\\");
  EXPECT_EQ(paths.ToWindows(prefix.root() / "elsewhere" / "x"), "D:\\x");
  EXPECT_EQ(paths.ToWindows("/srv/prices/ACEDATA0307.YW"), "Z:\\srv\\prices\\ACEDATA0307.YW");
  EXPECT_EQ(paths.ToWindows("/"), "Z:\\");
  // Through a relative path and a link: the deepest drive still wins.
  EXPECT_EQ(paths.ToWindows(prefix.root() / "dosdevices" / "c:" / "Data"), "C:\\Data");
}

TEST_F(WindowsPathsTest, CommandLineIsRebuiltWithHostPathsInWindowsForm) {
  struct Case {
    std::vector<std::string> args;
    std::string text;
  } cases[] = {
      {{}, ""},
      {{"/srv/prices/ACEDATA0307.YW", "-s"}, "Z:\\srv\\prices\\ACEDATA0307.YW -s"},
      {{"/S", "/l", "/Z", "/?", "name.yw"}, "/S /l /Z /? name.yw"},
      {{"c:\\data\\x.yw", "-L"}, "c:\\data\\x.yw -L"},
      {{"two words.yw"}, "two words.yw"},
  };
  for (const auto& c : cases) EXPECT_EQ(RebuildCommandLine(c.args, paths), c.text);
}

}  // namespace
}  // namespace cs::platform
