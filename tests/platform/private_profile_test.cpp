#include "platform/private_profile.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "test_support.h"

namespace cs::platform {
namespace {

class PrivateProfileTest : public ::testing::Test {
 protected:
  std::string Get(const char* section, const char* key, const char* def, std::uint32_t size,
                  std::uint32_t* result = nullptr, const char* file = "C:\\test.ini") {
    std::string buf(size + 4, '#');
    const std::uint32_t n = profile.GetPrivateProfileStringA(section, key, def, buf.data(), size, file);
    if (result != nullptr) *result = n;
    return buf.substr(0, size);
  }
  void Ini(const std::string& text) { test::WriteFile(prefix.drive_c() / "test.ini", text); }
  std::string IniText() { return test::ReadFile(prefix.drive_c() / "test.ini"); }

  test::TempPrefix prefix;
  WindowsPaths paths{prefix.root()};
  PrivateProfile profile{paths};
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
      {"open", "k", "in open"},       // a header without "]"; CR alone ends a line
      {"", "e", "def"},               // a section given as "" reads the default
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
  EXPECT_FALSE(std::filesystem::exists(prefix.drive_c() / "test.ini"));
  EXPECT_EQ(profile.WritePrivateProfileStringA("s", "k", "v", "C:\\NoDir\\test.ini"), 0);
  EXPECT_FALSE(std::filesystem::exists(prefix.drive_c() / "NoDir"));
  EXPECT_EQ(profile.WritePrivateProfileStringA("s", "k", "v", "Q:\\test.ini"), 0);
  // A new file is created with the section and the key.
  ASSERT_NE(profile.WritePrivateProfileStringA("s", "k", "v", "C:\\test.ini"), 0);
  EXPECT_EQ(IniText(), "[s]\r\nk=v\r\n");
  if (geteuid() != 0) {  // root writes anywhere
    std::filesystem::create_directories(prefix.drive_c() / "ro");
    chmod((prefix.drive_c() / "ro").c_str(), 0555);
    EXPECT_EQ(profile.WritePrivateProfileStringA("s", "k", "v", "C:\\ro\\x.ini"), 0);
  }
}

}  // namespace
}  // namespace cs::platform
