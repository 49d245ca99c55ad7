#include "app/run_log.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace cs::app {
namespace {

TEST(RunLogTest, TimestampsUseTheTwelveHourClock) {
  struct Case {
    platform::LocalTime t;
    const char* stamp;
  } cases[] = {
      {{2007, 3, 15, 21, 5, 7}, "03/15/2007 09:05:07PM"},
      {{2007, 1, 2, 0, 5, 0}, "01/02/2007 12:05:00AM"},
      {{2007, 1, 2, 13, 0, 0}, "01/02/2007 01:00:00PM"},
      {{2007, 12, 31, 12, 0, 0}, "12/31/2007 12:00:00PM"},
      {{2007, 12, 31, 11, 59, 59}, "12/31/2007 11:59:59AM"},
  };
  for (const auto& c : cases) EXPECT_EQ(RunLog::Timestamp(c.t), c.stamp);
}

TEST(RunLogTest, WritesOneStampedLinePerEntryAndMasksThePassword) {
  test::TestProgram program;
  test::WriteFile(program.LogPath(), "last run's log\r\n");
  program.clock.now = {2007, 1, 2, 0, 5, 0};
  std::string first = "START APPLICATION";
  std::string secret = "PWD=qed5190;x qed5190 QED5190";
  std::string blank = "BLANK";
  std::string lower_blank = "blank";
  std::string two_lines = "line one\r\nline two";
  std::string accented = "caf\xc3\xa9";
  program.form.AddToLog(first);
  program.form.AddToLog(secret);
  program.form.AddToLog(blank);
  program.form.AddToLog(lower_blank);
  program.form.AddToLog(two_lines);
  program.form.AddToLog(accented);
  EXPECT_EQ(secret, "PWD=xxxxxxxxxx;x xxxxxxxxxx QED5190");  // the caller's text is masked
  EXPECT_EQ(test::ReadFile(program.LogPath()),
            "01/02/2007 12:05:00AMSTART APPLICATION\r\n"
            "01/02/2007 12:05:00AMPWD=xxxxxxxxxx;x xxxxxxxxxx QED5190\r\n"
            " \r\n"
            "01/02/2007 12:05:00AMblank\r\n"
            "01/02/2007 12:05:00AMline one\r\nline two\r\n"
            "01/02/2007 12:05:00AMcaf\xe9\r\n");
  EXPECT_TRUE(program.ui.boxes.empty());
}

// A data file of a vendor the configuration knows, in C:\DATA, and the current database missing:
// a run gets past its switches and ends at the missing database.
void Prepare(test::TestProgram& program) {
  test::WriteFile(program.prefix.drive_c() / "YW" / "YWConfig.ini",
                  "[Vendors]\r\n1=Ace\r\n[Vendor-Ace]\r\nNameShort=ACE\r\nNameLong=Ace Wholesale\r\n");
  test::WriteFile(program.prefix.drive_c() / "DATA" / "ACEDATA.YW", "not a database");
}

TEST(RunLogTest, LogFollowsTheSwitchWhileStatusAlwaysLogsThroughLog) {
  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> log;
  } cases[] = {
      // Without -L the log keeps the lines written before the switches were read.
      {{"C:\\DATA\\ACEDATA.YW", "-s"},
       {"START APPLICATION", "Status = Opening Application", "Begin Processing",
        "CommandLine = C:\\DATA\\ACEDATA.YW -S"}},
      {{"C:\\DATA\\ACEDATA.YW", "-s", "-l"},
       {"START APPLICATION", "Status = Opening Application", "Begin Processing",
        "CommandLine = C:\\DATA\\ACEDATA.YW -S -L", "DBFileName = C:\\DATA\\ACEDATA.YW  ",
        "Status = Inspecting Command line", "Status = Validating Database File",
        "FileName: C:\\DATA\\ACEDATA.YW   is NOT OK", "CLOSING APPLICATION"}},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.args.back());
    test::TestProgram program("", c.args);
    Prepare(program);
    EXPECT_THROW(program.form.Form_Load(), test::ProcessEnded);
    EXPECT_EQ(program.LogMessages(), c.log);
    // An error report is written whatever the switch says.
    program.form.AddToLog("An unexpected Error");
    EXPECT_EQ(program.LogMessages().back(), "An unexpected Error");
  }
}

// Each change of the status line holds the run for 200 ms, in a visible run only; a silent run
// shows (and pauses for) the start-up status alone.
TEST(RunLogTest, StatusChangesPauseOnlyWhenTheWindowShowsThem) {
  test::TestProgram visible("", {"C:\\DATA\\ACEDATA.YW"});
  Prepare(visible);
  EXPECT_THROW(visible.form.Form_Load(), test::ProcessEnded);
  EXPECT_EQ(visible.ui.statuses, (std::vector<std::string>{"Opening Application", "Inspecting Command line",
                                                          "Validating Database File"}));
  EXPECT_EQ(visible.ui.events_processed, 3 + 1);  // the last one by the closing step
  EXPECT_EQ(visible.clock.slept_ms, 3 * 200u + 5000u);
  EXPECT_EQ(visible.form.lblStatus(), "Validating Database File");

  test::TestProgram silent("", {"C:\\DATA\\ACEDATA.YW", "-s"});
  Prepare(silent);
  EXPECT_THROW(silent.form.Form_Load(), test::ProcessEnded);
  EXPECT_EQ(silent.ui.statuses, std::vector<std::string>{"Opening Application"});
  EXPECT_EQ(silent.clock.slept_ms, 200u);
  EXPECT_EQ(silent.form.lblStatus(), "Opening Application");
}

TEST(RunLogTest, GoSleepSleepsSecondsAndOverflowsBeyondTheRange) {
  test::TestProgram program;
  program.form.GoSleep(2);
  program.form.GoSleep(0);
  EXPECT_EQ(program.clock.slept_ms, 2000u);
  EXPECT_TRUE(program.ui.boxes.empty());
  program.form.GoSleep(3000000);
  EXPECT_EQ(program.clock.slept_ms, 2000u);
  ASSERT_EQ(program.ui.boxes.size(), 1u);
  EXPECT_NE(program.ui.boxes[0].text.find("Overflow"), std::string::npos);
  EXPECT_NE(program.ui.boxes[0].text.find("CatalogSync.frmMain.GoSleep"), std::string::npos);
}

}  // namespace
}  // namespace cs::app
