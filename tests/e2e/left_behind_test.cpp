// What a run leaves behind and what it says: no private copy stays in the temporary folder,
// whatever way the run ends; a silent run prints nothing; every reason a run fails for reaches the
// log, whatever -L says.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <fstream>

#include "e2e_support.h"

namespace cs {
namespace {

namespace fs = std::filesystem;
using ywdata::DataKind;

std::filesystem::path Fixture(const std::string& name) {
  return fs::path(SHARED_DIR) / "fixtures" / "jet" / name;
}

class LeftBehindTest : public test::EndToEndTest {
 protected:
  LeftBehindTest() {
    std::string tmpl = (fs::temp_directory_path() / "cs-tmpdir-XXXXXX").string();
    tmpdir_ = mkdtemp(tmpl.data());
    environment = "TMPDIR=" + test::ShellQuote(tmpdir_.string()) + " ";
  }
  ~LeftBehindTest() override {
    std::error_code ec;
    fs::remove_all(tmpdir_, ec);
  }

  std::vector<std::string> InTmpdir() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(tmpdir_)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  std::string PutJet(const std::string& fixture, const std::string& name) {
    fs::create_directories(prefix.drive_c() / "DATA");
    fs::copy_file(Fixture(fixture), prefix.drive_c() / "DATA" / name, fs::copy_options::overwrite_existing);
    return "C:\\DATA\\" + name;
  }
  std::string MakeData(const std::string& name, DataKind kind, const ywdata::DataOptions& o = {}) {
    ywdata::MakeDataFile(prefix.root(), prefix.drive_c() / "DATA" / name, kind, o);
    return "C:\\DATA\\" + name;
  }
  bool Logged(const std::string& line) const {
    const auto log = LogMessages();
    return std::find(log.begin(), log.end(), line) != log.end();
  }
  // A folder as a run leaves it, with its lock file last changed `age` ago.
  fs::path RunFolder(const std::string& name, bool with_lock, std::chrono::seconds age) {
    const fs::path folder = tmpdir_ / name;
    fs::create_directories(folder);
    test::WriteFile(folder / "data1.yw", "private copy");
    test::WriteFile(folder / "data1.yw-journal", "");
    const auto when = fs::file_time_type::clock::now() - age;
    if (with_lock) {
      test::WriteFile(folder / ".owner.lock", "");
      fs::last_write_time(folder / ".owner.lock", when);
    }
    fs::last_write_time(folder, when);
    return folder;
  }

  fs::path tmpdir_;
};

TEST_F(LeftBehindTest, NoRunLeavesItsPrivateCopyBehind) {
  // Each run reads a Jet data file into a private copy: a success, a refusal after the copy was
  // read (a month-to-date file of another month), an import answered Abort, and the process end
  // of an unknown vendor (no private copy made) all leave the temporary folder empty.
  const std::string full = PutJet("ACEDATA0307.mdb", "ACEDATA0307.YW");
  const std::string mtd = PutJet("ACEMTD0315.mdb", "ACEMTD0315.YW");
  struct Case {
    std::string name;
    std::vector<std::string> args;
    std::string current_date;  // the current database made anew with this date first, or ""
    std::string marker;
  } cases[] = {
      {"a full import", {full, "-s"}, "", "TRUE"},
      {"a month-to-date file of another month", {mtd, "-s"}, "2/1/2007", "FALSE"},
      {"a vendor nobody knows", {"C:\\DATA\\OTHER.YW", "-s"}, "", "FALSE"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (!c.current_date.empty()) {
      fs::remove(Current());
      ywdata::MakeCurrentDatabase(prefix.root(), Current(), {.rows = 20, .date = c.current_date});
    }
    Run(c.args);
    EXPECT_EQ(SetupComplete(), c.marker);
    EXPECT_EQ(InTmpdir(), std::vector<std::string>{});
  }
}

TEST_F(LeftBehindTest, TheNextRunRemovesWhatAKilledRunLeft) {
  // A lock nobody holds is a killed run's; a lock held is a live run's; a folder without a lock is
  // a killed run's only when it is old; other names are not the program's.
  RunFolder("catalogsync-KILLED", true, std::chrono::seconds(30));
  RunFolder("catalogsync-OLDREL", false, std::chrono::hours(1));
  RunFolder("catalogsync-MAKING", false, std::chrono::seconds(1));
  const fs::path users = RunFolder("catalogsync-backup", false, std::chrono::hours(1));
  test::WriteFile(users / "notes.txt", "a user's own folder of the same shape");
  fs::last_write_time(users, fs::file_time_type::clock::now() - std::chrono::hours(1));
  RunFolder("catalogsync-other1", true, std::chrono::seconds(30));
  const fs::path live = RunFolder("catalogsync-LIVING", true, std::chrono::seconds(30));
  fs::rename(tmpdir_ / "catalogsync-other1", tmpdir_ / "catalogsync-other");  // not six letters
  const int fd = ::open((live / ".owner.lock").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
  Run({PutJet("ACEDATA0307.mdb", "ACEDATA0307.YW"), "-s"});
  ::close(fd);
  EXPECT_EQ(SetupComplete(), "TRUE");
  EXPECT_EQ(InTmpdir(), (std::vector<std::string>{"catalogsync-LIVING", "catalogsync-MAKING", "catalogsync-backup",
                                      "catalogsync-other"}));
}

TEST_F(LeftBehindTest, ASilentRunThatSucceedsPrintsNothing) {
  const auto silent = Run({MakeData("ACEDATA0307.YW", DataKind::kFull, {.rows = 5}), "-s"});
  EXPECT_EQ(SetupComplete(), "TRUE");
  EXPECT_EQ(silent.Text(), "");
  // A visible run shows the window first, then its statuses, the first one included.
  const auto visible = Run({"C:\\DATA\\ACEDATA0307.YW", "-z"});
  ASSERT_GE(visible.lines.size(), 4u);
  EXPECT_EQ(std::vector<std::string>(visible.lines.begin(), visible.lines.begin() + 4),
            (std::vector<std::string>{"Yield Warden Data Installer", "Importing Ace Wholesale Data",
                                      "Status: Opening Application", "Status: Inspecting Command line"}));
}

TEST_F(LeftBehindTest, TheLogSaysWhyASilentRunFailed) {
  // Each box's text reaches the log, whatever -L says.
  MakeData("ACEMTD0407.YW", DataKind::kMonthToDate, {.rows = 5, .date = "4/2/2007"});
  struct Case {
    std::vector<std::string> args;
    std::string logged;
  } cases[] = {
      {{"C:\\DATA\\ACEDATA-GONE.YW", "-s"},
       "Message box \"ERROR - File Not Found\": The Filename specified on the Command Line / "
       "'C:\\DATA\\ACEDATA-GONE.YW ' does not exist. / Proper Syntax:    / Execution Path:  C:\\APP\\      / "
       "EXE File:        AceFeedPump.exe / CommandLine:     'databasename.yw' / Example:         "
       "AceFeedPump.exe databasename.exe / The application will now terminate!"},
      {{"C:\\DATA\\ACEMTD0407.YW", "-s"},
       "Message box \"CatalogSync\": Month to Date Files require exisiting data  / from the current month.  "
       "This update file is / invalid for your current database. / Download and install the FULL Data Update."},
      {{"C:\\DATA\\OTHER.YW", "-s"}, "Message box \"CatalogSync\": Unable to identify file vendor for C:\\DATA\\OTHER.YW -S"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.logged);
    const auto out = Run(c.args);
    EXPECT_TRUE(Logged(c.logged)) << test::ReadFile(LogPath());
  }
}

TEST_F(LeftBehindTest, AFreshSetupSaysWhichConfigurationFileItLookedFor) {
  const std::string data = MakeData("ACEDATA0307.YW", DataKind::kFull, {.rows = 5});
  const fs::path ini = prefix.drive_c() / "Program Files" / "Yield Warden" / "YWConfig.ini";
  // Vendors missing from the file, then the file itself missing.
  test::WriteFile(ini, "[Other]\r\nKey=Value\r\n");
  Run({data, "-s"});
  EXPECT_TRUE(Logged("No vendors are listed in [Vendors] of the configuration file "
                     "'C:\\Program Files\\Yield Warden\\YWConfig.ini'."));
  fs::remove(ini);
  Run({data, "-s"});
  EXPECT_TRUE(Logged("The configuration file 'C:\\Program Files\\Yield Warden\\YWConfig.ini' was not found."));
}

TEST_F(LeftBehindTest, AnAdditionalDetailsCopyThatFailsIsSaidInTheLog) {
  // A full file without AdditionalDetails imports; the log names what was passed over.
  const std::string data = MakeData("ACEDATA0307.YW", DataKind::kFull, {.rows = 5, .additional_details = false});
  Run({data, "-s"});
  EXPECT_EQ(SetupComplete(), "TRUE");
  const auto log = LogMessages();
  const auto line = std::find_if(log.begin(), log.end(), [](const std::string& l) {
    return l.starts_with("AdditionalDetails was not copied: ");
  });
  ASSERT_NE(line, log.end()) << test::ReadFile(LogPath());
  EXPECT_NE(line->find("AdditionalDetails"), std::string::npos);
}

}  // namespace
}  // namespace cs
