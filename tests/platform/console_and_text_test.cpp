#include <gtest/gtest.h>

#include <sstream>

#include "platform/text.h"
#include "platform/ui.h"
#include "test_support.h"

namespace cs::platform {
namespace {

TEST(TextTest, Windows1252RoundTripsAndReplacesWhatItLacks) {
  struct Case {
    std::string utf8;
    std::string ansi;
  } cases[] = {
      {"plain", "plain"},
      {"caf\xc3\xa9", "caf\xe9"},
      {"\xe2\x82\xac 5", "\x80 5"},        // the euro sign
      {"\xe2\x80\x9cq\xe2\x80\x9d", "\x93q\x94"},
      {"\xe4\xb8\xad", "?"},               // not in Windows-1252
      {"\xc2\x81", "\x81"},                // an undefined byte survives
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Utf8ToAnsi(c.utf8), c.ansi) << c.utf8;
    if (c.ansi != "?") {
      EXPECT_EQ(AnsiToUtf8(c.ansi), c.utf8) << c.utf8;
    }
  }
  EXPECT_EQ(Utf8ToAnsi("bad \xff byte"), "bad ? byte");
  EXPECT_EQ(UCase("c:\\caf\xc3\xa9\\acedata.yw"), "C:\\CAF\xc3\x89\\ACEDATA.YW");
  EXPECT_TRUE(EqualsNoCase("Vendor-ALPHA", "vendor-alpha"));
  EXPECT_FALSE(EqualsNoCase("Vendor-ALPHA", "vendor-alph"));
}

TEST(TextTest, Utf16AsJetFilesHoldText) {
  const struct {
    std::string utf8;
    std::u16string utf16;
  } cases[] = {
      {"", u""},
      {"SKU 3505", u"SKU 3505"},
      {"\xc2\xbd \xc2\xb0 \xc3\x91 \xe2\x82\xac", u"\u00bd \u00b0 \u00d1 \u20ac"},
      {"a\xf0\x9f\x98\x80" "b", u"a\U0001F600b"},  // beyond the BMP: a surrogate pair
      {"x\xffy", u"x\ufffdy"},                    // malformed: the replacement character
      {"tab\tCR\r\nend", u"tab\tCR\r\nend"},
  };
  for (const auto& c : cases) {
    EXPECT_TRUE(Utf8ToUtf16(c.utf8) == c.utf16) << c.utf8;
    if (c.utf8.find('\xff') == std::string::npos) {
      EXPECT_EQ(Utf16ToUtf8(c.utf16), c.utf8);
    }
  }
}

TEST(ConsoleUiTest, PrintsBoxesAndReadsTheAnswer) {
  struct Case {
    std::string input;
    int answer;
  } cases[] = {
      {"retry\n", kIdRetry}, {"R\n", kIdRetry},    {"i\n", kIdIgnore}, {"IGNORE\n", kIdIgnore},
      {"a\n", kIdAbort},     {"\n", kIdAbort},     {"", kIdAbort},     {"maybe\n", kIdAbort},
  };
  for (const auto& c : cases) {
    std::istringstream in(c.input);
    std::ostringstream err;
    ConsoleUi ui(in, err);
    EXPECT_EQ(ui.MessageBox("one\r\ntwo\rthree\nfour", "Application Error", Icon::kCritical,
                            Buttons::kAbortRetryIgnore),
              c.answer)
        << c.input;
    EXPECT_EQ(err.str(),
              "== Application Error [critical] Abort/Retry/Ignore ==\none\ntwo\nthree\nfour\n"
              "== end ==\nType A for Abort, R for Retry or I for Ignore, then Enter.\n");
  }
  std::istringstream in("ignored\n");
  std::ostringstream err;
  ConsoleUi ui(in, err);
  ui.SetCaption("Yield Warden Data Installer");
  ui.SetLabel(Label::kStatus, "Opening Application");
  EXPECT_EQ(err.str(), "");  // the window is not shown yet
  ui.SetLabel(Label::kData, "Importing Ace Wholesale Data");
  ui.Show();
  ui.SetLabel(Label::kStatus, "Inspecting Command line");
  EXPECT_EQ(ui.MessageBox("Help", "Command Line Help", Icon::kInformation, Buttons::kOk), kIdOk);
  EXPECT_EQ(err.str(),
            "Yield Warden Data Installer\nImporting Ace Wholesale Data\n"
            "Status: Opening Application\nStatus: Inspecting Command line\n"
            "== Command Line Help [information] OK ==\nHelp\n== end ==\n");
  std::string rest;
  std::getline(in, rest);
  EXPECT_EQ(rest, "ignored");  // a box with one button reads nothing
}

TEST(SystemTest, ProgramDirectoryIsTheWindowsFormWithoutSeparator) {
  test::TempPrefix prefix;
  std::filesystem::create_directories(prefix.drive_c() / "Program Files" / "CatalogSync");
  System system(prefix.files(), prefix.root(), prefix.drive_c() / "Program Files" / "CatalogSync",
                {});
  EXPECT_EQ(system.ProgramDirectory(), "C:\\Program Files\\CatalogSync");
  System at_root(prefix.files(), prefix.root(), prefix.drive_c(), {"-s"});
  EXPECT_EQ(at_root.ProgramDirectory(), "C:");
  EXPECT_EQ(at_root.CommandLineText(), "-s");
  test::WriteFile(prefix.drive_c() / "file.yw", "x");
  EXPECT_TRUE(system.FileExists("c:\\FILE.YW"));
  EXPECT_EQ(system.DirQuery("c:\\FILE.YW"), "file.yw");
  EXPECT_FALSE(system.FileExists("C:\\Program Files"));  // a folder is no file
  EXPECT_EQ(system.DirQuery("C:\\Program Files"), "");
}

}  // namespace
}  // namespace cs::platform
