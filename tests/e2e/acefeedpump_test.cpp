// acefeedpump run as a user runs it: one test per outcome of a run, and the command-line cases
// that matter. Runs are silent (-s) unless the window's pauses are what is looked at.
#include <fstream>

#include "db/connection.h"

#include "e2e_support.h"

namespace cs {
namespace {

using ywdata::DataKind;

class AcefeedpumpTest : public test::EndToEndTest {
 protected:
  std::string MakeData(const std::string& relative, DataKind kind, const ywdata::DataOptions& o = {}) {
    ywdata::MakeDataFile(prefix.root(), prefix.drive_c() / relative, kind, o);
    return "C:\\" + relative;
  }
  bool Printed(const test::Outcome& out, const std::string& text) {
    return out.Text().find(text) != std::string::npos;
  }
  void PresetMarker() {
    std::ofstream(prefix.user_reg(), std::ios::app)
        << "\r\n[HKEY_CURRENT_USER\\Software\\Quillmarch\\Yield Warden\\PriceFiles]\r\n"
           "\"SetupComplete\"=\"EARLIER\"\r\n";
  }
};

TEST_F(AcefeedpumpTest, VisibleSuccessfulRunLogsEveryStepAndEndsTwoSecondsLater) {
  MakeData("DATA/ACEDATA0307.YW", DataKind::kFull, {.rows = 30, .first_sku = 2000000});
  const auto out = Run({"C:\\DATA\\ACEDATA0307.YW", "-L"});
  EXPECT_EQ(SetupComplete(), "TRUE");
  EXPECT_EQ(Count("Ace"), 30u);
  EXPECT_EQ(out.lines.back(), "Status: Import Completed Successfully");
  EXPECT_TRUE(Printed(out, "Yield Warden Data Installer\nImporting Ace Wholesale Data\n"));
  EXPECT_GE(out.seconds_after_last_line, 1.9);
  EXPECT_LT(out.seconds_after_last_line, 3.5);
  const auto log = LogMessages();
  ASSERT_GE(log.size(), 14u);
  EXPECT_EQ(std::vector<std::string>(log.begin(), log.begin() + 12), (std::vector<std::string>{
      "START APPLICATION",
      "Status = Opening Application",
      "Begin Processing",
      "CommandLine = C:\\DATA\\ACEDATA0307.YW -L",
      "DBFileName = C:\\DATA\\ACEDATA0307.YW ",
      "Status = Inspecting Command line",
      "Status = Validating Database File",
      "FileName: C:\\DATA\\ACEDATA0307.YW  is OK",
      "Status = Validating Current Yield Warden File",
      "YWFile = C:\\YIELDWARDEN\\YIELDWARDEN.YW",
      "Status = Validating Database File",
      "FileName: C:\\YIELDWARDEN\\YIELDWARDEN.YW is OK"}));
  EXPECT_EQ(std::vector<std::string>(log.end() - 3, log.end()), (std::vector<std::string>{
      "Import Complete", "Status = Import Completed Successfully", "CLOSING APPLICATION"}));
}

TEST_F(AcefeedpumpTest, VisibleFailedImportEndsFiveSecondsLater) {
  // A month-to-date file of another month.
  MakeData("DATA/ACEMTD0407.YW", DataKind::kMonthToDate, {.rows = 5, .date = "4/2/2007"});
  const auto out = Run({"c:\\data\\acemtd0407.yw"});
  EXPECT_TRUE(Printed(out, "== CatalogSync [critical] OK ==\nMonth to Date Files require exisiting data \n"
                           "from the current month.  This update file is\ninvalid for your current database.\n\n"
                           "Download and install the FULL Data Update.\n== end ==\n"));
  EXPECT_EQ(out.lines.back(), "Status: Import Failed");
  EXPECT_EQ(SetupComplete(), "FALSE");
  EXPECT_GE(out.seconds_after_last_line, 4.9);
  EXPECT_LT(out.seconds_after_last_line, 6.5);
  // Without -L the log keeps its four first lines and the box's text.
  EXPECT_EQ(LogMessages(), (std::vector<std::string>{
      "START APPLICATION", "Status = Opening Application", "Begin Processing", "CommandLine = C:\\DATA\\ACEMTD0407.YW",
      "Message box \"CatalogSync\": Month to Date Files require exisiting data  / from the current month.  This "
      "update file is / invalid for your current database. / Download and install the FULL Data Update."}));
}

// Runs that end before the closing step leave the marker as it was.
TEST_F(AcefeedpumpTest, RunsEndedWithoutTheClosingStep) {
  MakeData("DATA/ACEDATA0307.YW", DataKind::kFull, {.rows = 3});
  PresetMarker();
  struct Case {
    std::vector<std::string> args;
    std::string box;
  } cases[] = {
      {{"C:\\DATA\\OTHER.YW", "-s"}, "== CatalogSync [none] OK ==\nUnable to identify file vendor for C:\\DATA\\OTHER.YW -S\n== end =="},
      {{}, "== CatalogSync [none] OK ==\nUnable to identify file vendor for C:\\APP\\\n== end =="},
      // Help needs an identified vendor first.
      {{"-?"}, "Unable to identify file vendor for C:\\APP\\-?"},
      {{"C:\\DATA\\ACEDATA0307.YW", "/?"},
       "== Command Line Help [information] OK ==\nCommand Line Options\n\n-z = Zero Delay\n"
       "-s = Run Silent (No Screen Displayed)\n-? = This help Screen\n== end =="},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.box);
    const auto out = Run(c.args);
    EXPECT_TRUE(Printed(out, c.box)) << out.Text();
    EXPECT_EQ(SetupComplete(), "EARLIER");
    EXPECT_EQ(LogMessages().size(), 5u);  // the first four and the box
    EXPECT_LT(out.seconds_after_last_line, 1.0);
  }
}

TEST_F(AcefeedpumpTest, RefusedRunsWriteFalse) {
  MakeData("DATA/ACEDATA0307.YW", DataKind::kFull, {.rows = 3});
  test::WriteFile(prefix.drive_c() / "DATA" / "ACEDATAJUNK.YW", "not a database");
  test::WriteFile(prefix.drive_c() / "DATA" / "ACEDATABAD.YW",
                  test::Damaged(test::ReadFile(prefix.drive_c() / "DATA" / "ACEDATA0307.YW")));
  struct Case {
    std::vector<std::string> args;
    std::string printed;
    std::string logged;  // a line the log must hold ("" for none)
  } cases[] = {
      {{"C:\\DATA\\ACEDATA-GONE.YW", "-s"},
       "== ERROR - File Not Found [critical] OK ==\nThe Filename specified on the Command Line\n"
       "'C:\\DATA\\ACEDATA-GONE.YW ' does not exist.\n\nProper Syntax:   \nExecution Path:  C:\\APP\\     \n"
       "EXE File:        AceFeedPump.exe\nCommandLine:     'databasename.yw'\n\nExample:         "
       "AceFeedPump.exe databasename.exe\n\nThe application will now terminate!\n== end ==",
       ""},
      {{"-s", "-l", "C:\\DATA\\ACEDATAJUNK.YW"}, "", "FileName:   C:\\DATA\\ACEDATAJUNK.YW is NOT OK"},
      {{"-s", "-l", "C:\\DATA\\ACEDATABAD.YW"}, "", "FileName:   C:\\DATA\\ACEDATABAD.YW is NOT OK"},
      // A quoted path keeps its quotes and is not found.
      {{"\"C:\\DATA\\ACEDATA0307.YW\"", "-s"}, "== ERROR - File Not Found [critical] OK ==", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.back());
    const auto out = Run(c.args);
    if (!c.printed.empty()) {
      EXPECT_TRUE(Printed(out, c.printed)) << out.Text();
    }
    const auto log = LogMessages();
    if (!c.logged.empty()) {
      EXPECT_NE(std::find(log.begin(), log.end(), c.logged), log.end()) << out.Text();
    }
    EXPECT_EQ(SetupComplete(), "FALSE");
    EXPECT_LT(out.seconds_after_last_line, 1.0);
    EXPECT_EQ(Count("Ace"), 20u);
  }
}

TEST_F(AcefeedpumpTest, MissingOrUnopenableCurrentDatabase) {
  const std::string data = MakeData("DATA/ACEDATA0307.YW", DataKind::kFull, {.rows = 3});
  const auto current = Current();
  std::filesystem::rename(current, current.string() + ".away");
  auto out = Run({data, "-s", "-l"});
  EXPECT_TRUE(Printed(out, "== Yield Warden Database Not Found [critical] OK ==\nThe Current Yield Warden Database\n"
                           "'C:\\YIELDWARDEN\\YIELDWARDEN.YW'\ncannot be found!\n\nRun Yield Warden to Validate this\n"
                           "file and retry!\n== end ==")) << out.Text();
  EXPECT_EQ(SetupComplete(), "FALSE");
  auto log = LogMessages();
  EXPECT_NE(std::find(log.begin(), log.end(), "Status = Current Yield Warden File Not Found"), log.end());
  EXPECT_EQ(std::find(log.begin(), log.end(), "Status = Import Failed"), log.end());

  // Not a database at all, and a database damaged inside.
  const std::string intact = test::ReadFile(current.string() + ".away");
  for (const std::string& bytes : {std::string("junk"), test::Damaged(intact)}) {
    test::WriteFile(current, bytes);
    out = Run({data, "-s", "-l"});
    EXPECT_FALSE(Printed(out, "== ")) << out.Text();
    log = LogMessages();
    EXPECT_NE(std::find(log.begin(), log.end(), "Status = Current Yield Warden File Error"), log.end());
    EXPECT_EQ(SetupComplete(), "FALSE");
    EXPECT_EQ(test::ReadFile(current), bytes);
  }
}

// Bare names, switches anywhere and in any case, and letters of a switch inside a path.
TEST_F(AcefeedpumpTest, CommandLinesThatFindTheFile) {
  MakeData("APP/ACEDATA0307.YW", DataKind::kFull, {.rows = 4, .first_sku = 3000000});
  MakeData("DATA-SET/ACEDATA0307.YW", DataKind::kFull, {.rows = 5, .first_sku = 3000000});
  MakeData("DATA/SALES/ACEDATA0307.YW", DataKind::kFull, {.rows = 6, .first_sku = 3000000});
  MakeData("DATA/LEVEL/ACEDATA0307.YW", DataKind::kFull, {.rows = 7, .first_sku = 3000000});
  struct Case {
    std::vector<std::string> args;
    std::size_t rows;
  } cases[] = {
      {{"acedata0307.yw", "-s"}, 4},
      {{"-S", "/l", "C:\\DATA-SET\\ACEDATA0307.YW"}, 5},
      {{"c:/data/sales/acedata0307.yw", "/s", "-z"}, 6},
      {{"/S", "C:\\DATA\\LEVEL\\ACEDATA0307.YW", "-L"}, 7},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[0]);
    const auto out = Run(c.args);
    EXPECT_EQ(SetupComplete(), "TRUE") << out.Text();
    EXPECT_EQ(Count("Ace"), c.rows);
    EXPECT_LT(out.seconds_after_last_line, 1.0);
    EXPECT_FALSE(Printed(out, "Status: Inspecting")) << "a silent run shows no status";
  }
}

// A marker that cannot be written is said in the log, with or without -L, and the run still ends
// normally; nothing is created in the registry for it.
TEST_F(AcefeedpumpTest, AnOutcomeThatCannotBeRecordedIsSaidInTheLog) {
  const std::string data = MakeData("DATA/ACEDATA0307.YW", DataKind::kFull, {.rows = 3});
  std::string reg = test::ReadFile(prefix.user_reg());
  const std::string block = "[HKEY_CURRENT_USER\\Software\\Quillmarch\\Yield Warden\\PriceFiles]";
  const auto at = reg.find(block);
  ASSERT_NE(at, std::string::npos);
  reg.replace(at, block.size(), "[HKEY_CURRENT_USER\\Software\\Elsewhere]");
  test::WriteFile(prefix.user_reg(), reg);
  const auto out = Run({data, "-s"});
  const auto log = LogMessages();
  EXPECT_NE(std::find(log.begin(), log.end(),
                      "The value \"SetupComplete\"=\"TRUE\" could not be recorded under "
                      "HKEY_CURRENT_USER\\Software\\Quillmarch\\Yield Warden\\PriceFiles: the key does not "
                      "exist."),
            log.end())
      << out.Text();
  EXPECT_EQ(SetupComplete(), "");
  EXPECT_EQ(test::ReadFile(prefix.user_reg()).find("Yield Warden\\PriceFiles]"), std::string::npos);
}

TEST_F(AcefeedpumpTest, CustomFileIsRecognisedByItsName) {
  MakeData("DATA/customdata.yw", DataKind::kCustom, {.rows = 4});
  const auto out = Run({"C:\\DATA\\customdata.yw", "-s", "-L"});
  EXPECT_EQ(SetupComplete(), "TRUE") << out.Text();
  const auto log = LogMessages();
  EXPECT_NE(std::find(log.begin(), log.end(), "UPDATE Store Set Store.Comp5 = 0;"), log.end());
  EXPECT_EQ(Count("Ace"), 20u);
}

TEST_F(AcefeedpumpTest, AbortAndIgnoreAnsweredOnTheConsole) {
  const std::string data = MakeData("DATA/ACEDATA0307.YW", DataKind::kFull, {.rows = 3});
  // Make the copy of the data file's Ace table fail: a column the current database lacks.
  {
    platform::WindowsPaths paths(prefix.files(), prefix.root());
    db::Engine engine(prefix.files(), paths);
    db::Connection cnn(engine);
    cnn.Open("Provider=Microsoft.Jet.OLEDB.4.0; Data Source=" + data + ";Jet OLEDB:Database Password=qed5190");
    cnn.Execute("ALTER TABLE Ace ADD COLUMN Colour TEXT(10)");
  }
  auto out = Run({data, "-s"}, "a\n");
  EXPECT_TRUE(Printed(out, "== Application Error [critical] Abort/Retry/Ignore ==")) << out.Text();
  EXPECT_EQ(SetupComplete(), "FALSE");
  EXPECT_EQ(Count("Ace"), 20u);  // put back as it was
  out = Run({data, "-s"}, "i\n");
  EXPECT_EQ(SetupComplete(), "TRUE");
  EXPECT_EQ(Count("Ace"), 0u);
}

}  // namespace
}  // namespace cs
