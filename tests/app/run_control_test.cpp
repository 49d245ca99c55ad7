// The command line's path and switches, and the run driver's Abort that leaves the window open.
#include <gtest/gtest.h>

#include "app/command_line.h"
#include "test_support.h"

namespace cs {
namespace {

// The data file's path as the run driver builds it, and the switches it reads from it: a run
// whose current database is missing ends right after, so the log says what the run took.
TEST(CommandLineTest, PathAndSwitches) {
  struct Case {
    std::vector<std::string> args;
    const char* path;  // after the switches are removed
    bool log, silent;
  } cases[] = {
      {{"acedata.yw"}, "C:\\APP\\ACEDATA.YW", false, false},
      {{"d:\\x\\acedata.yw"}, "D:\\X\\ACEDATA.YW", false, false},
      {{"\\\\server\\share\\acedata.yw"}, "C:\\APP\\\\\\SERVER\\SHARE\\ACEDATA.YW", false, false},
      {{"C:\\DATA\\ACEDATA.YW", "-s", "-l"}, "C:\\DATA\\ACEDATA.YW  ", true, true},
      {{"-s", "-l", "C:\\DATA\\ACEDATA.YW"}, "  C:\\DATA\\ACEDATA.YW", true, true},
      {{"C:\\DATA-SET\\ACEDATA.YW", "-L"}, "C:\\DATA-SET\\ACEDATA.YW ", true, false},
      {{"C:/DATA/SALES/LEVEL/ACEDATA.YW", "/z", "/l"}, "C:/DATA/SALES/LEVEL/ACEDATA.YW  ", true, false},
      {{"C:\\A B\\-S\\ACEDATA.YW", "-L"}, "C:\\A B\\-S\\ACEDATA.YW ", true, false},
      {{"C:\\A -S\\ACEDATA.YW", "-L"}, "C:\\A -S\\ACEDATA.YW ", true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[0]);
    test::TestProgram program("", c.args);
    test::WriteFile(program.prefix.drive_c() / "YW" / "YWConfig.ini",
                    "[Vendors]\r\n1=Ace\r\n[Vendor-Ace]\r\nNameShort=ACE\r\nNameLong=Ace Wholesale\r\n");
    EXPECT_THROW(program.form.Form_Load(), test::ProcessEnded);
    EXPECT_EQ(program.form.DBFileName(), c.path);
    EXPECT_EQ(program.form.LogEnabled(), c.log);
    EXPECT_EQ(program.form.RunSilent(), c.silent);
    EXPECT_EQ(program.ui.shown, !c.silent);
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
  platform::System system(prefix.files(), prefix.root(), program_dir, {});
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
  platform::System system(prefix.files(), prefix.root(), prefix.drive_c() / "APP",
                          {"C:\\DATA\\ACEDATA.YW"});
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
