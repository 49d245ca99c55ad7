// The command line's path and switches, and the run driver's Abort that leaves the window open.
#include <gtest/gtest.h>

#include "app/command_line.h"
#include "test_support.h"

namespace cs {
namespace {

TEST(CommandLineTest, PathAndSwitches) {
  struct Case {
    const char* argument_text;
    const char* path;       // after the switches are removed
    const char* switches;   // those found, in the order L Z S
  } cases[] = {
      {"acedata.yw", "C:\\APP\\ACEDATA.YW", ""},
      {"d:\\x\\name.yw", "D:\\X\\NAME.YW", ""},
      {"\\\\server\\share\\name.yw", "C:\\APP\\\\\\SERVER\\SHARE\\NAME.YW", ""},
      {"C:\\DATA\\ACEDATA.YW -s", "C:\\DATA\\ACEDATA.YW ", "S"},
      {"-s -l C:\\DATA\\ACEDATA.YW", "  C:\\DATA\\ACEDATA.YW", "LS"},
      {"C:\\DATA-SET\\ACEDATA.YW", "C:\\DATA-SET\\ACEDATA.YW", ""},
      {"C:/DATA/SALES/LEVEL/ACEDATA.YW /z", "C:/DATA/SALES/LEVEL/ACEDATA.YW ", "Z"},
      {"C:\\A B\\-S\\X.YW", "C:\\A B\\-S\\X.YW", ""},
      {"C:\\A -S\\X.YW -L", "C:\\A -S\\X.YW ", "L"},
      {"", "C:\\APP\\", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.argument_text);
    std::string path = app::BuildDBFileName(c.argument_text, "C:\\APP");
    std::string found;
    for (const char* sw : {"L", "Z", "S"}) {
      const std::string slash = std::string("/") + sw, dash = std::string("-") + sw;
      if (app::HasSwitch(path, slash) || app::HasSwitch(path, dash)) {
        found += sw;
        app::RemoveSwitch(path, slash);
        app::RemoveSwitch(path, dash);
      }
    }
    EXPECT_EQ(path, c.path);
    EXPECT_EQ(found, c.switches);
  }
}

// A UI whose window cannot be shown: the run driver's own step fails.
class BrokenWindow : public test::FakeUi {
 public:
  void Show() override { throw RunError(5, "Invalid procedure call or argument"); }
};

TEST(RunDriverTest, AbortInTheDriverLeavesTheRunWithoutClosing) {
  test::TempPrefix prefix;
  platform::System system(prefix.files(), prefix.root(), prefix.drive_c() / "APP",
                          {"C:\\DATA\\ACEDATA.YW"});
  std::filesystem::create_directories(prefix.drive_c() / "APP");
  test::WriteFile(prefix.drive_c() / "YW" / "YWConfig.ini",
                  "[Vendors]\r\n1=Ace\r\n\r\n[Vendor-Ace]\r\nNameShort=ACE\r\nNameLong=Ace Hardware\r\n");
  prefix.SetUserReg(
      "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Quillmarch\\Yield Warden]\r\n"
      "\"InstallAppDir\"=\"C:\\\\YW\"\r\n\"YWConfigINI\"=\"C:\\\\YW\\\\YWConfig.ini\"\r\n\r\n"
      "[HKEY_CURRENT_USER\\Software\\Quillmarch\\Yield Warden\\PriceFiles]\r\n\r\n"
      "[HKEY_CURRENT_USER\\Software\\Quillmarch\\Yield Warden\\Startup]\r\n\r\n");
  BrokenWindow ui;
  test::FakeClock clock;
  test::FakeProcessEnd end;
  app::frmMain form(app::Services{system, ui, clock, end});
  ui.answers = {platform::kIdAbort};
  EXPECT_NO_THROW(form.Form_Load());  // returns: the process was not ended
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_NE(ui.boxes[0].text.find("CatalogSync.frmMain.DoProcess"), std::string::npos);
  EXPECT_EQ(test::ReadFile(prefix.user_reg()).find("SetupComplete"), std::string::npos);
  EXPECT_EQ(form.lblData(), "Importing Ace Hardware Data");
}

}  // namespace
}  // namespace cs
