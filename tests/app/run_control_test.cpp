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

TEST(CommandLineTest, NoFileNameOnlyWhenThePathIsTheProgramDirectoryAlone) {
  struct Case {
    const char* path;
    const char* program_dir;
    bool no_name;
  } cases[] = {
      {"C:\\APP\\", "C:\\APP", true},
      {"C:\\APP\\   ", "C:\\App", true},
      {"C:\\APP\\X", "C:\\APP", false},
      {"C:\\APPX", "C:\\APP", false},
      // One character longer than the program directory, yet a name.
      {"C:\\DATA\\ACEDATA0307.YW ", "C:\\PROGRAMS\\CATSYNCAPP", false},
      {"", "C:\\APP", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(app::HoldsNoFileName(c.path, c.program_dir), c.no_name);
  }
}

// The program in a folder whose Windows form is 22 characters long, and a data path of 23 (the
// switch's blank included): the file is found, no "No Filename" box.
TEST(RunDriverTest, DataPathOneLongerThanTheProgramDirectoryIsAName) {
  test::TempPrefix prefix;
  const auto program_dir = prefix.drive_c() / "PROGRAMS" / "CATSYNCAPP";
  std::filesystem::create_directories(program_dir);
  test::WriteFile(prefix.drive_c() / "DATA" / "ACEDATA0307.YW", "x");
  platform::System system(prefix.root(), program_dir, {});
  ASSERT_EQ(system.ProgramDirectory().size(), 22u);
  test::FakeUi ui;
  test::FakeClock clock;
  test::FakeProcessEnd end;
  app::frmMain form(app::Services{system, ui, clock, end});
  EXPECT_TRUE(form.CommandFileOK("C:\\DATA\\ACEDATA0307.YW "));
  EXPECT_TRUE(ui.boxes.empty());
}

// A UI whose window cannot be shown: the run driver's own step fails.
class BrokenWindow : public test::FakeUi {
 public:
  void Show() override { throw RunError(5, "Invalid procedure call or argument"); }
};

TEST(RunDriverTest, AbortInTheDriverLeavesTheRunWithoutClosing) {
  test::TempPrefix prefix;
  platform::System system(prefix.root(), prefix.drive_c() / "APP", {"C:\\DATA\\ACEDATA.YW"});
  std::filesystem::create_directories(prefix.drive_c() / "APP");
  test::WriteFile(prefix.drive_c() / "YW" / "YWConfig.ini",
                  "[Vendors]\r\n1=Ace\r\n\r\n[Vendor-Ace]\r\nNameShort=ACE\r\nNameLong=Ace Wholesale\r\n");
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
  EXPECT_EQ(form.lblData(), "Importing Ace Wholesale Data");
}

}  // namespace
}  // namespace cs
