#include "platform/private_profile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/prefix.h"
#include "test_support.h"

namespace cs::platform {
namespace {

constexpr char kTestIni[] = "/prefix/drive_c/test.ini";

// The INI functions over a prefix in memory.
class PrivateProfileTest : public ::testing::Test {
 protected:
  PrivateProfileTest() { EnsurePrefix(files, "/prefix"); }

  std::string Get(const char* section, const char* key, const char* def, std::uint32_t size,
                  std::uint32_t* result = nullptr, const char* file = "C:\\test.ini") {
    std::string buf(size + 4, '#');
    const std::uint32_t n = profile.GetPrivateProfileStringA(section, key, def, buf.data(), size, file);
    if (result != nullptr) *result = n;
    return buf.substr(0, size);
  }
  void Ini(const std::string& text) { files.AddFile(kTestIni, text); }
  std::string IniText() { return files.Contents(kTestIni).value_or("(none)"); }

  test::MemoryFileSystem files;
  WindowsPaths paths{files, "/prefix"};
  PrivateProfile profile{files, paths};
};

TEST_F(PrivateProfileTest, ValuesAreCutToTheByteAndCountedWithoutTheNul) {
  Ini("[section1]\r\nname1=val1\r\n");
  struct Case {
    std::uint32_t size;
    std::string buffer;
    std::uint32_t result;
  } cases[] = {
      {4, std::string("val\0", 4), 3},
      {5, std::string("val1\0", 5), 4},
      {1, std::string("\0", 1), 0},
      {0, "", 0},
  };
  for (const auto& c : cases) {
    std::uint32_t n = 99;
    EXPECT_EQ(Get("section1", "name1", "", c.size, &n), c.buffer) << c.size;
    EXPECT_EQ(n, c.result) << c.size;
  }
  // Size 0 leaves the buffer untouched.
  char untouched[2] = {'#', '#'};
  EXPECT_EQ(profile.GetPrivateProfileStringA("section1", "name1", "", untouched, 0, "C:\\test.ini"), 0u);
  EXPECT_EQ(untouched[0], '#');
}

TEST_F(PrivateProfileTest, ReadsTheFileAsWindowsDoes) {
  Ini("ghost=before any section\r\n"
      "[ section1 ]trailing\r\n"
      "  name1  =  spaced value  \r\n"
      "quoted=\"  in quotes  \"\r\n"
      "single='x'\r\n"
      "mismatched=\"x'\r\n"
      "; comment=no\r\n"
      "#hash=yes\r\n"
      "eol=v ;x\r\n"
      "eq=a=b\r\n"
      "dup=first\r\n"
      "DUP=second\r\n"
      "empty=\r\n"
      "[Section1]\r\n"
      "later=copy\r\n"
      "[open\n"
      "k=in open\r"
      "[]\n"
      "e=empty name\n");
  struct Case {
    const char* section;
    const char* key;
    const char* value;
  } cases[] = {
      {"section1", "name1", "spaced value"},
      {"SECTION1", "NAME1", "spaced value"},
      {"section1", "quoted", "  in quotes  "},
      {"section1", "single", "x"},
      {"section1", "mismatched", "\"x'"},
      {"section1", "; comment", "def"},
      {"section1", "#hash", "yes"},
      {"section1", "eol", "v ;x"},
      {"section1", "eq", "a=b"},
      {"section1", "dup", "first"},
      {"section1", "empty", ""},
      {"section1", "later", "def"},  // only the first copy of a section is searched
      {"section1", "ghost", "def"},
      {"", "ghost", "def"},
      {"open", "k", "in open"},  // a header without "]"; CR alone ends a line
      {"", "e", "empty name"},   // the section "" is the one headed "[]", as on Windows
      {"section1", "", "def"},
      {"missing", "name1", "def"},
  };
  for (const auto& c : cases) {
    std::uint32_t n = 0;
    const std::string got = Get(c.section, c.key, "def", 64, &n);
    EXPECT_EQ(got.substr(0, n), c.value) << c.section << "/" << c.key;
    EXPECT_EQ(got[n], '\0');
  }
}

TEST_F(PrivateProfileTest, DefaultsLoseTrailingBlanksOnly) {
  std::uint32_t n = 0;
  EXPECT_EQ(Get("s", "k", "default  ", 16, &n, "C:\\missing.ini").substr(0, n), "default");
  EXPECT_EQ(n, 7u);
  EXPECT_EQ(Get("s", "k", "  lead", 16, &n, "C:\\missing.ini").substr(0, n), "  lead");
  EXPECT_EQ(Get("s", "k", nullptr, 16, &n, "C:\\missing.ini").substr(0, n), "");
  EXPECT_EQ(Get("s", "k", "abcdef", 4, &n, "C:\\missing.ini"), std::string("abc\0", 4));
}

TEST_F(PrivateProfileTest, ListsAreCutSoThatTwoNulsStillFit) {
  Ini("[section1]\r\nname1=a\r\nname2=b\r\nname3=c\r\nno equals sign\r\n;c=1\r\nname1=again\r\n"
      "[section2]\r\n[section1]\r\nother=x\r\n");
  const std::string keys("name1\0name2\0name3\0name1\0", 24);
  const std::string sections("section1\0section2\0section1\0", 27);
  struct Case {
    const char* section;
    std::uint32_t size;
    std::string buffer;
    std::uint32_t result;
  } cases[] = {
      {"section1", 64, keys + '\0', 24},  // duplicates twice, comments and bare lines left out
      {"section1", 26, keys + '\0', 24},
      // An exact fit counts as too long: size - 2 bytes, so the last name loses its NUL.
      {"section1", 25, std::string("name1\0name2\0name3\0name1\0\0", 25), 23},
      {"section1", 16, std::string("name1\0name2\0na\0\0", 16), 14},
      {"section2", 8, std::string("\0", 1), 0},
      {nullptr, 64, sections + '\0', 27},
      {nullptr, 16, std::string("section1\0secti\0\0", 16), 14},
      {nullptr, 2, std::string("\0\0", 2), 0},
      {nullptr, 1, std::string("\0", 1), 0},
  };
  for (const auto& c : cases) {
    std::uint32_t n = 99;
    EXPECT_EQ(Get(c.section, nullptr, "def", c.size, &n).substr(0, c.buffer.size()), c.buffer)
        << (c.section ? c.section : "(sections)") << " " << c.size;
    EXPECT_EQ(n, c.result) << (c.section ? c.section : "(sections)") << " " << c.size;
  }
  std::uint32_t n = 99;
  EXPECT_EQ(Get(nullptr, nullptr, "def", 8, &n, "C:\\missing.ini")[0], '\0');
  EXPECT_EQ(n, 0u);
}

TEST_F(PrivateProfileTest, WritesKeepEveryOtherLine) {
  const std::string original =
      "; settings\r\n[Vendors]\r\n1=Ace\r\n\r\n; the vendor\r\n[Vendor-Ace]\r\nNameLong=Ace\n"
      "NameShort=ACE\r\n\r\n[Last]\r\nx=1";
  Ini(original);
  ASSERT_NE(profile.WritePrivateProfileStringA(" Vendor-ACE ", " NAMELONG ", " Ace Wholesale ",
                                               "C:\\test.ini"), 0);
  ASSERT_NE(profile.WritePrivateProfileStringA("Vendors", "2", "Beta", "C:\\test.ini"), 0);
  ASSERT_NE(profile.WritePrivateProfileStringA("Last", "y", "2", "C:\\test.ini"), 0);
  ASSERT_NE(profile.WritePrivateProfileStringA("New", "k", "v", "C:\\test.ini"), 0);
  EXPECT_EQ(IniText(),
            "; settings\r\n[Vendors]\r\n1=Ace\r\n2=Beta\r\n\r\n; the vendor\r\n[Vendor-Ace]\r\n"
            "NameLong= Ace Wholesale \n"
            "NameShort=ACE\r\n\r\n[Last]\r\nx=1\r\ny=2\r\n[New]\r\nk=v\r\n");

  ASSERT_NE(profile.WritePrivateProfileStringA("Vendors", "1", nullptr, "C:\\test.ini"), 0);
  ASSERT_NE(profile.WritePrivateProfileStringA("Vendors", "2", nullptr, "C:\\test.ini"), 0);
  ASSERT_NE(profile.WritePrivateProfileStringA("Vendors", "gone", nullptr, "C:\\test.ini"), 0);
  ASSERT_NE(profile.WritePrivateProfileStringA("vendor-ace", nullptr, "ignored", "C:\\test.ini"), 0);
  EXPECT_EQ(IniText(),
            "; settings\r\n[Vendors]\r\n\r\n; the vendor\r\n"
            "[Last]\r\nx=1\r\ny=2\r\n[New]\r\nk=v\r\n");
}

TEST_F(PrivateProfileTest, RefusedWritesChangeNothing) {
  EXPECT_EQ(profile.WritePrivateProfileStringA(nullptr, "k", "v", "C:\\test.ini"), 0);
  EXPECT_EQ(files.Stat(kTestIni).kind, FileKind::kMissing);
  EXPECT_EQ(profile.WritePrivateProfileStringA("s", "k", "v", "C:\\NoDir\\test.ini"), 0);
  EXPECT_EQ(files.Stat("/prefix/drive_c/NoDir").kind, FileKind::kMissing);
  EXPECT_EQ(profile.WritePrivateProfileStringA("s", "k", "v", "Q:\\test.ini"), 0);
  // A new file is created with the section and the key.
  ASSERT_NE(profile.WritePrivateProfileStringA("s", "k", "v", "C:\\test.ini"), 0);
  EXPECT_EQ(IniText(), "[s]\r\nk=v\r\n");
  files.AddDirectory("/prefix/drive_c/ro");
  files.SetReadOnly("/prefix/drive_c/ro", true);
  EXPECT_EQ(profile.WritePrivateProfileStringA("s", "k", "v", "C:\\ro\\x.ini"), 0);
  // A read-only file, a folder, a FIFO or a file that cannot be read is never replaced.
  files.SetReadOnly(kTestIni, true);
  EXPECT_EQ(profile.WritePrivateProfileStringA("s", "k", "w", "C:\\test.ini"), 0);
  files.AddDirectory("/prefix/drive_c/folder.ini");
  files.AddSpecial("/prefix/drive_c/fifo.ini");
  files.AddFile("/prefix/drive_c/locked.ini", "[s]\r\nk=secret\r\n");
  files.fault = [](std::string_view op, const std::filesystem::path& path) {
    return op == "ReadFile" && path.filename() == "locked.ini"
               ? std::make_error_code(std::errc::permission_denied)
               : std::error_code();
  };
  for (const char* path : {"C:\\folder.ini", "C:\\fifo.ini", "C:\\locked.ini"}) {
    EXPECT_EQ(profile.WritePrivateProfileStringA("s", "k", "v", path), 0) << path;
    EXPECT_EQ(Get("s", "k", "def", 16, nullptr, path).substr(0, 4), std::string("def\0", 4))
        << path;
  }
  files.fault = nullptr;
  EXPECT_EQ(IniText(), "[s]\r\nk=v\r\n");
  EXPECT_EQ(files.Stat("/prefix/drive_c/folder.ini").kind, FileKind::kDirectory);
  EXPECT_EQ(files.Stat("/prefix/drive_c/fifo.ini").kind, FileKind::kOther);
  EXPECT_EQ(files.Contents("/prefix/drive_c/locked.ini"), "[s]\r\nk=secret\r\n");
}

// A value written under the section "" reads back: Windows writes "[]" for it and reads the
// section "[]" for "" (the key "" likewise is a line "=value").
TEST_F(PrivateProfileTest, AnEmptySectionOrKeyNameIsANameLikeAnyOther) {
  ASSERT_NE(profile.WritePrivateProfileStringA("", "key", "string", "C:\\test.ini"), 0);
  EXPECT_EQ(IniText(), "[]\r\nkey=string\r\n");
  std::uint32_t n = 0;
  EXPECT_EQ(Get("", "key", "def", 16, &n).substr(0, n), "string");
  ASSERT_NE(profile.WritePrivateProfileStringA("App", "", "nameless", "C:\\test.ini"), 0);
  EXPECT_EQ(IniText(), "[]\r\nkey=string\r\n[App]\r\n=nameless\r\n");
  EXPECT_EQ(Get("App", "", "def", 16, &n).substr(0, n), "nameless");
  EXPECT_EQ(Get(" App ", "", "def", 16, &n).substr(0, n), "def");  // names read as given
  // As in the conformance tests of Windows: "[]" and "=value" are read, an absent one is not.
  Ini("\r\nkey=val_no_section\r\n[]\r\nkey=val_e_section\r\n[s]\r\n=val_no_key\r\n[t]\r\n");
  EXPECT_EQ(Get("", "key", "def", 32, &n).substr(0, n), "val_e_section");
  EXPECT_EQ(Get("s", "", "def", 32, &n).substr(0, n), "val_no_key");
  EXPECT_EQ(Get("t", "", "def", 32, &n).substr(0, n), "def");
  ASSERT_NE(profile.WritePrivateProfileStringA("", nullptr, nullptr, "C:\\test.ini"), 0);
  EXPECT_EQ(IniText(), "\r\nkey=val_no_section\r\n[s]\r\n=val_no_key\r\n[t]\r\n");
}

// Damaged and hostile files read as far as they make sense, and a write changes only its line.
TEST_F(PrivateProfileTest, HostileFilesAreReadAndKeptAsTheyAre) {
  const std::string huge(5'000'000, 'v');
  struct Case {
    const char* what;
    std::string text;
    std::string value;  // of [s] k, cut to the buffer of 64
  } cases[] = {
      {"a NUL in a line", "[s]\r\nk=" + std::string("a\0b", 3) + "\r\n", std::string("a\0b", 3)},
      {"NULs before the section", std::string("\0\0\r\n", 4) + "[s]\r\nk=v", "v"},
      {"a huge value", "[s]\nk=" + huge + "\n", huge.substr(0, 63)},
      {"a UTF-8 byte-order mark", "\xEF\xBB\xBF[s]\r\nk=v\r\n", "def"},
      {"bytes of no encoding", "[s]\r\nk=\xff\xfe\x80\r\n", "\xff\xfe\x80"},
      {"a cut-off line", "[s]\r\nk=v\r\nx=", "v"},
      {"a header never closed", "[s\r\nk=v", "v"},
  };
  for (const auto& c : cases) {
    Ini(c.text);
    std::uint32_t n = 0;
    EXPECT_EQ(Get("s", "k", "def", 64, &n).substr(0, n), c.value) << c.what;
    ASSERT_NE(profile.WritePrivateProfileStringA("t", "new", "1", "C:\\test.ini"), 0) << c.what;
    const std::string after = IniText();
    EXPECT_TRUE(after.starts_with(c.text)) << c.what;
    EXPECT_TRUE(after.ends_with("[t]\r\nnew=1\r\n")) << c.what;
  }
}

// On the real disk: a FIFO is never opened for reading (it would wait for a writer), and a
// read-only file is refused, as Windows refuses it.
TEST(PrivateProfileOnDiskTest, AFifoOrAReadOnlyFileIsLeftAlone) {
  test::TempPrefix prefix;
  WindowsPaths paths(prefix.files(), prefix.root());
  PrivateProfile profile(prefix.files(), paths);
  ASSERT_EQ(mkfifo((prefix.drive_c() / "fifo.ini").c_str(), 0644), 0);
  test::ExpectInChildWithoutWaiting([&] {
    char buffer[16];
    const auto n =
        profile.GetPrivateProfileStringA("s", "k", "def", buffer, sizeof buffer, "C:\\fifo.ini");
    const int written = profile.WritePrivateProfileStringA("s", "k", "v", "C:\\fifo.ini");
    return n == 3 && written == 0;
  });

  if (geteuid() != 0) {  // root writes anywhere
    test::WriteFile(prefix.drive_c() / "ro.ini", "[s]\r\nk=v\r\n");
    chmod((prefix.drive_c() / "ro.ini").c_str(), 0444);
    EXPECT_EQ(profile.WritePrivateProfileStringA("s", "k", "w", "C:\\ro.ini"), 0);
    EXPECT_EQ(test::ReadFile(prefix.drive_c() / "ro.ini"), "[s]\r\nk=v\r\n");
  }
}

}  // namespace
}  // namespace cs::platform
