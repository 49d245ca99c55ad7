#include "platform/windows_paths.h"

#include <gtest/gtest.h>

#include "platform/prefix.h"
#include "platform/run_error.h"
#include "platform/text.h"
#include "test_support.h"

namespace cs::platform {
namespace {

namespace fs = std::filesystem;

// A prefix in memory, made by EnsurePrefix, with a few files and a drive D: of its own.
class WindowsPathsTest : public ::testing::Test {
 protected:
  struct Prefix {
    fs::path root() const { return "/prefix"; }
    fs::path drive_c() const { return "/prefix/drive_c"; }
  };
  void SetUp() override {
    EnsurePrefix(files, prefix.root());
    files.AddFile(prefix.drive_c() / "YieldWarden" / "YieldWarden.yw", "db");
    files.AddFile(prefix.drive_c() / "Data" / "ACEDATA0307.YW", "data");
    files.AddFile(prefix.drive_c() / "Twins" / "file.txt", "lower");
    files.AddFile(prefix.drive_c() / "Twins" / "FILE.TXT", "upper");
    files.AddDirectory(prefix.root() / "elsewhere");
    files.AddSymlink(prefix.root() / "dosdevices" / "d:", prefix.root() / "elsewhere");
    files.AddFile(prefix.root() / "elsewhere" / "x" / "name.yw", "d");
  }
  fs::path Canonical(const fs::path& p) const { return files.Canonical(p); }
  std::string Contents(const fs::path& p) const { return files.Contents(p).value_or("(none)"); }

  Prefix prefix;
  test::MemoryFileSystem files;
  WindowsPaths paths{files, prefix.root()};
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
      EXPECT_EQ(Canonical(*got), Canonical(*c.host)) << c.windows;
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
  EXPECT_EQ(Contents(*got), "data");
}

TEST_F(WindowsPathsTest, ExactMatchWinsAmongNamesDifferingInCase) {
  EXPECT_EQ(Contents(*paths.Resolve("C:\\Twins\\FILE.TXT")), "upper");
  EXPECT_EQ(Contents(*paths.Resolve("C:\\Twins\\file.txt")), "lower");
  // Neither exact: the same one every time.
  EXPECT_EQ(*paths.Resolve("C:\\Twins\\File.txt"), *paths.Resolve("C:\\Twins\\fILE.TXT"));
}

TEST_F(WindowsPathsTest, NewFilesAreCreatedUnderTheGivenName) {
  auto log = paths.ResolveForCreate("C:\\YIELDWARDEN\\New.LOG ");
  ASSERT_TRUE(log);
  EXPECT_EQ(Canonical(*log), Canonical(prefix.drive_c()) / "YieldWarden" / "New.LOG");
  // An existing file of another case is reused.
  EXPECT_EQ(Canonical(*paths.ResolveForCreate("C:\\yieldwarden\\YIELDWARDEN.YW")),
            Canonical(prefix.drive_c() / "YieldWarden" / "YieldWarden.yw"));
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

// On the real disk: the links of a real prefix, followed by the real file system.
TEST(WindowsPathsOnDiskTest, ResolvesThroughTheRealLinks) {
  test::TempPrefix prefix;
  test::WriteFile(prefix.drive_c() / "Data" / "ACEDATA0307.YW", "data");
  WindowsPaths paths(prefix.files(), prefix.root());
  const auto got = paths.Resolve("c:\\DATA\\acedata0307.yw");
  ASSERT_TRUE(got);
  EXPECT_EQ(test::ReadFile(*got), "data");
  EXPECT_EQ(paths.ToWindows(*got), "C:\\Data\\ACEDATA0307.YW");
  EXPECT_EQ(
      paths.ToWindows(prefix.root() / "elsewhere"),
      "Z:" + ReplaceAll(fs::weakly_canonical(prefix.root() / "elsewhere").string(), "/", "\\"));
  const auto fresh = paths.ResolveForCreate("C:\\data\\New.LOG");
  ASSERT_TRUE(fresh);
  EXPECT_EQ(fs::weakly_canonical(*fresh), fs::canonical(prefix.drive_c()) / "Data" / "New.LOG");
}

// The prefix made from nothing, and what it leaves alone when parts exist.
TEST(PrefixTest, EnsurePrefixMakesWhatIsMissingAndKeepsTheRest) {
  test::MemoryFileSystem files;
  EnsurePrefix(files, "/p");
  EXPECT_EQ(files.Stat("/p/drive_c").kind, FileKind::kDirectory);
  EXPECT_EQ(files.Canonical("/p/dosdevices/c:"), "/p/drive_c");
  EXPECT_EQ(files.Canonical("/p/dosdevices/z:"), "/");
  const auto reg = files.Contents("/p/user.reg");
  ASSERT_TRUE(reg);
  EXPECT_TRUE(
      reg->starts_with("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Quillmarch\\Yield Warden]"));

  files.AddFile("/p/user.reg", "REGEDIT4\r\n; mine\r\n");
  files.Remove("/p/dosdevices/c:");
  files.AddSymlink("/p/dosdevices/c:", "/nowhere");  // the user's, even pointing nowhere
  EnsurePrefix(files, "/p");
  EXPECT_EQ(files.Contents("/p/user.reg"), "REGEDIT4\r\n; mine\r\n");
  EXPECT_TRUE(files.Paths().contains("/p/dosdevices/c:"));
  EXPECT_EQ(files.Stat("/p/dosdevices/c:").kind, FileKind::kMissing);  // still pointing nowhere

  // A part that cannot be made is an error, never a prefix without it.
  test::MemoryFileSystem broken;
  broken.AddFile("/q/dosdevices", "a file where a folder belongs");
  EXPECT_THROW(EnsurePrefix(broken, "/q"), RunError);
  test::MemoryFileSystem full;
  full.fault = [](std::string_view op, const fs::path&) {
    return op == "WriteFileAtomically" ? std::make_error_code(std::errc::no_space_on_device)
                                       : std::error_code();
  };
  EXPECT_THROW(EnsurePrefix(full, "/r"), RunError);
}

}  // namespace
}  // namespace cs::platform
