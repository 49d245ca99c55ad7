#include "core/procedure.h"

#include <gtest/gtest.h>

#include "core/source_names.h"
#include "test_support.h"
#include "version.h"

namespace cs::core {
namespace {

using platform::kIdAbort;
using platform::kIdIgnore;
using platform::kIdRetry;

// A procedure of three steps; the second fails `failures` times.
struct ThreeSteps {
  ErrorSink& sink;
  int failures = 0;
  std::vector<int> ran;
  bool Run() {
    return RunProcedure(sink, source::frmMain::ImportFile, false, [&](Procedure& p, bool& result) {
      p.step([&] { ran.push_back(1); });
      p.step([&] {
        ran.push_back(2);
        if (failures > 0) {
          --failures;
          throw RunError(-2147217865, "The Microsoft Jet database engine cannot find the input table or query 'Ace'.");
        }
      });
      p.step([&] { ran.push_back(3); });
      result = true;
    });
  }
};

TEST(ProcedureTest, AbortRetryAndIgnoreActOnTheFailingStep) {
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
    ThreeSteps p{program.form, c.failures, {}};
    EXPECT_EQ(p.Run(), c.result);
    EXPECT_EQ(p.ran, c.ran);
    EXPECT_EQ(program.ui.boxes.size(), c.boxes);
  }
}

TEST(ProcedureTest, TheReportGoesToTheLogAndTheDialogWithoutThePassword) {
  test::TestProgram program;  // logging is off: the report is written all the same
  program.ui.answers = {kIdAbort};
  unsigned line = 0;
  RunProcedure(program.form, source::frmMain::MaketblAce, [&](Procedure& p) {
    line = __LINE__ + 1;
    p.step([] { throw RunError(-2147217900, "Syntax error near ;PWD=qed5190]"); });
  });

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

TEST(ProcedureTest, IgnoreLeavesAFailedAssignmentUnchanged) {
  test::TestProgram program;
  program.ui.answers = {kIdIgnore};
  std::string value = "before";
  bool went_on = false;
  RunProcedure(program.form, source::frmMain::DoProcess, [&](Procedure& p) {
    const auto compute = []() -> std::string { throw RunError(13, "Type mismatch"); };
    p.step([&] { value = compute(); });
    went_on = true;
  });
  EXPECT_TRUE(went_on);
  EXPECT_EQ(value, "before");
}

// Abort in a procedure called from another leaves the inner one only; the outer goes on with the
// result the inner held.
TEST(ProcedureTest, AbortLeavesOnlyTheProcedureWhoseStepFailed) {
  test::TestProgram program;
  program.ui.answers = {kIdAbort};
  std::vector<std::string> ran;
  const bool outer = RunProcedure(program.form, source::frmMain::ImportFile, false, [&](Procedure& p, bool& result) {
    const int inner = RunProcedure(program.form, source::frmMain::MaketblAce, 7, [&](Procedure& q, int& r) {
      q.step([&] { ran.push_back("inner 1"); });
      r = 8;
      q.step([&] { throw RunError(5, "x"); });
      ran.push_back("inner 3");
    });
    ran.push_back("outer after " + std::to_string(inner));
    p.step([&] { ran.push_back("outer step"); });
    result = true;
  });
  EXPECT_TRUE(outer);
  EXPECT_EQ(ran, (std::vector<std::string>{"inner 1", "outer after 8", "outer step"}));
}

// A log that cannot be written: its failure is shown once, without being written to the log
// again, and the procedure's own error is still reported.
TEST(ProcedureTest, AFailingLogWriterIsReportedWithoutLoopingBackIntoTheLog) {
  test::TestProgram program;
  program.SetRegistry(
      "[HKEY_CURRENT_USER\\Software\\Quillmarch\\Yield Warden]\r\n"
      "\"InstallAppDir\"=\"C:\\\\NoSuchDir\"\r\n");
  program.ui.answers = {kIdAbort, kIdAbort};
  const auto failing = [&](int number) {
    return RunProcedure(program.form, source::frmMain::ImportFile, true, [&](Procedure& p, bool& result) {
      p.step([&] { throw RunError(number, "Could not find file 'X'."); });
      result = false;
    });
  };
  EXPECT_TRUE(failing(-2147467259));  // left at once, with the result it held
  ASSERT_EQ(program.ui.boxes.size(), 2u);
  EXPECT_NE(program.ui.boxes[0].text.find("CatalogSync.Registry.AddToLog"), std::string::npos);
  EXPECT_NE(program.ui.boxes[0].text.find("Path not found"), std::string::npos);
  EXPECT_NE(program.ui.boxes[1].text.find("CatalogSync.frmMain.ImportFile"), std::string::npos);

  // Retry on the writer repeats only the write; Ignore goes on.
  program.ui.boxes.clear();
  program.ui.answers = {kIdRetry, kIdIgnore, kIdAbort};
  failing(5);
  EXPECT_EQ(program.ui.boxes.size(), 3u);
}

}  // namespace
}  // namespace cs::core
