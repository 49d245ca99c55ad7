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
  program.form.log.AddToLog(first);
  program.form.log.AddToLog(secret);
  program.form.log.AddToLog(blank);
  program.form.log.AddToLog(lower_blank);
  program.form.log.AddToLog(two_lines);
  program.form.log.AddToLog(accented);
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

TEST(RunLogTest, LogFollowsTheSwitchWhileStatusAlwaysLogsThroughLog) {
  test::TestProgram program;
  app::frmMain& form = program.form;
  form.LogEnabled = true;
  form.LOG("START APPLICATION");
  form.Status("Opening Application");
  form.LogEnabled = false;
  form.LOG("not written");
  form.Status("Validating Files");
  std::string report = "An unexpected Error";
  form.log.AddToLog(report);  // error reports are written whatever the switch says
  EXPECT_EQ(program.LogMessages(),
            (std::vector<std::string>{"START APPLICATION", "Status = Opening Application",
                                      "An unexpected Error"}));
}

TEST(RunLogTest, StatusChangesPauseOnlyWhenTheWindowShowsThem) {
  test::TestProgram program;
  app::frmMain& form = program.form;
  for (const char* s : {"one", "two", "three", "four", "five"}) form.Status(s);
  EXPECT_EQ(program.clock.slept_ms, 1000u);
  EXPECT_EQ(program.ui.events_processed, 5);
  EXPECT_EQ(program.ui.statuses.size(), 5u);
  form.Status("five");  // the same text again is no change
  EXPECT_EQ(program.clock.slept_ms, 1000u);
  form.RunSilent = true;
  for (const char* s : {"six", "seven"}) form.Status(s);
  EXPECT_EQ(program.clock.slept_ms, 1000u);
  EXPECT_EQ(form.lblStatus(), "five");
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
