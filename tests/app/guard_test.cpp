#include "app/guard.h"

#include <gtest/gtest.h>

#include "app/source_names.h"
#include "test_support.h"
#include "version.h"

namespace cs::app {
namespace {

using platform::kIdAbort;
using platform::kIdIgnore;
using platform::kIdRetry;

// A procedure of three steps; the second fails `failures` times.
struct Procedure {
  ErrorSink& sink;
  int failures = 0;
  std::vector<int> ran;
  bool Run() {
    bool result = false;
    Guard guard(sink, source::frmMain::ImportFile);
    if (!guard.Step([&] { ran.push_back(1); })) return result;
    if (!guard.Step([&] {
          ran.push_back(2);
          if (failures > 0) {
            --failures;
            throw RunError(-2147217865, "The Microsoft Jet database engine cannot find the input table or query 'Ace'.");
          }
        })) {
      return result;
    }
    if (!guard.Step([&] { ran.push_back(3); })) return result;
    result = true;
    return result;
  }
};

TEST(GuardTest, AbortRetryAndIgnoreActOnTheFailingStep) {
  struct Case {
    std::deque<int> answers;
    int failures;
    bool result;
    std::vector<int> ran;
    std::size_t boxes;
  } cases[] = {
      {{}, 0, true, {1, 2, 3}, 0},
      {{kIdAbort}, 1, false, {1, 2}, 1},
      {{kIdRetry}, 1, true, {1, 2, 2, 3}, 1},
      {{kIdRetry, kIdRetry, kIdAbort}, 5, false, {1, 2, 2, 2}, 3},
      {{kIdIgnore}, 1, true, {1, 2, 3}, 1},
      {{99}, 1, false, {1, 2}, 1},  // an unknown answer leaves, as Abort does
  };
  for (const auto& c : cases) {
    test::TestProgram program;
    program.ui.answers = c.answers;
    Procedure p{program.form.errors, c.failures, {}};
    EXPECT_EQ(p.Run(), c.result);
    EXPECT_EQ(p.ran, c.ran);
    EXPECT_EQ(program.ui.boxes.size(), c.boxes);
  }
}

TEST(GuardTest, TheReportGoesToTheLogAndTheDialogWithoutThePassword) {
  test::TestProgram program;  // logging is off: the report is written all the same
  program.ui.answers = {kIdAbort};
  Guard guard(program.form.errors, source::frmMain::MaketblAce);
  const unsigned line = __LINE__ + 1;
  guard.Step([] { throw RunError(-2147217900, "Syntax error near ;PWD=qed5190]"); });

  const std::string version = std::to_string(platform::kVersionMajor) + "." +
                              std::to_string(platform::kVersionMinor) + "." +
                              std::to_string(platform::kVersionRevision);
  const std::string report =
      "An unexpected Error has occured!\r\n\r\nERROR DETAILS:\r\n"
      "  Number:     \t-2147217900\r\n"
      "  Description:\tSyntax error near ;PWD=xxxxxxxxxx]\r\n"
      "  Called from:\tCatalogSync.frmMain.MaketblAce\r\n"
      "  in Version: \t" + version + "\r\n"
      "  at line:    \t" + std::to_string(line) + "\r\n\r\n"
      "What would you like to do?";
  ASSERT_EQ(program.ui.boxes.size(), 1u);
  EXPECT_EQ(program.ui.boxes[0].text, report + std::to_string(line));
  EXPECT_EQ(program.ui.boxes[0].title, "Application Error");
  EXPECT_EQ(program.ui.boxes[0].icon, platform::Icon::kCritical);
  EXPECT_EQ(program.ui.boxes[0].buttons, platform::Buttons::kAbortRetryIgnore);
  const std::string log = test::ReadFile(program.LogPath());
  EXPECT_EQ(log.substr(21), report + "\r\n");
  EXPECT_EQ(log.find("qed5190"), std::string::npos);
}

TEST(GuardTest, IgnoreLeavesAFailedAssignmentUnchanged) {
  test::TestProgram program;
  program.ui.answers = {kIdIgnore};
  Guard guard(program.form.errors, source::frmMain::DoProcess);
  std::string value = "before";
  const auto compute = []() -> std::string { throw RunError(13, "Type mismatch"); };
  EXPECT_TRUE(guard.Step([&] { value = compute(); }));
  EXPECT_EQ(value, "before");
}

// A log that cannot be written: its failure is shown once, without being written to the log
// again, and the procedure's own error is still reported.
TEST(GuardTest, AFailingLogWriterIsReportedWithoutLoopingBackIntoTheLog) {
  test::TestProgram program;
  program.SetRegistry(
      "[HKEY_CURRENT_USER\\Software\\Quillmarch\\Yield Warden]\r\n"
      "\"InstallAppDir\"=\"C:\\\\NoSuchDir\"\r\n");
  program.ui.answers = {kIdAbort, kIdAbort};
  Guard guard(program.form.errors, source::frmMain::ImportFile);
  EXPECT_FALSE(guard.Step([] { throw RunError(-2147467259, "Could not find file 'X'."); }));
  ASSERT_EQ(program.ui.boxes.size(), 2u);
  EXPECT_NE(program.ui.boxes[0].text.find("CatalogSync.Registry.AddToLog"), std::string::npos);
  EXPECT_NE(program.ui.boxes[0].text.find("Path not found"), std::string::npos);
  EXPECT_NE(program.ui.boxes[1].text.find("CatalogSync.frmMain.ImportFile"), std::string::npos);

  // Retry on the writer repeats only the write; Ignore goes on.
  program.ui.boxes.clear();
  program.ui.answers = {kIdRetry, kIdIgnore, kIdAbort};
  guard.Step([] { throw RunError(5, "x"); });
  EXPECT_EQ(program.ui.boxes.size(), 3u);
}

TEST(GuardTest, TheSourceNamesAreTheProgramsOwn) {
  EXPECT_STREQ(source::frmMain::lblStatus_Change, "CatalogSync.frmMain.lblstatus_Change");
  EXPECT_STREQ(source::clsVendor::VendorID, "CatalogSync.clsVendor.VendorID");
  EXPECT_STREQ(source::clsVendor::OptionsTab, "CatalogSync.clsVendor.OptionsTab");
  EXPECT_STREQ(source::clsVendor::FTPServer, "YieldWarden.clsVendor.FTPServer");
  EXPECT_STREQ(source::Registry::AddToLog, "CatalogSync.Registry.AddToLog");
}

}  // namespace
}  // namespace cs::app
