// The real acefeedpump killed (SIGKILL) at many moments of an import of 100,000 rows into a current
// database of the program's format, and of 10,000 rows into a Jet (Access) one: after each kill,
// and again after the next run, the current database holds exactly its old content or exactly its
// new content (a Jet one: byte for byte the old file, or a new one that reads back whole and passes
// the writer's checks), and nothing beside it claims to be a usable copy.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>

#include "db/jetfile/copy.h"
#include "db/sqlite.h"
#include "e2e_support.h"
#include "jetfile/database.h"
#include "platform/posix_file_system.h"

extern char** environ;

namespace cs {
namespace {

using Clock = std::chrono::steady_clock;
using ywdata::DataKind;

constexpr int kRows = 100000;
constexpr int kJetRows = 10000;

// A fingerprint of what an import changes: every row of Ace, PlanogramDetails, AceFileDate and
// ListBoxs, read as the program would read the file (a transaction left behind is rolled back
// by the open, as SQLite rolls it back for every reader).
std::string Fingerprint(const std::filesystem::path& file) {
  const db::Database db = db::Database::Open(file, db::Database::Mode::kReadWrite, RunError(0, "cannot open"));
  std::string out;
  for (const char* table : {"Ace", "PlanogramDetails", "AceFileDate", "ListBoxs", "AceMTD"}) {
    std::uint64_t hash = 1469598103934665603ULL;
    std::size_t rows = 0;
    try {
      db::Statement s(db, std::string("SELECT * FROM \"") + table + "\" ORDER BY 1");
      while (s.Step()) {
        ++rows;
        for (int i = 0; i < s.ColumnCount(); ++i) {
          for (const char c : s.ColumnText(i) + "\x1f") hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
        }
      }
    } catch (const RunError&) {
      out += std::string(table) + ":missing ";
      continue;
    }
    out += std::string(table) + ":" + std::to_string(rows) + ":" + std::to_string(hash) + " ";
  }
  return out;
}

// A Jet current database's state: "the old file" when its bytes are `old`'s; else its fingerprint,
// read through the program's Jet reader, after every table has passed the writer's own checks.
std::string JetState(const std::filesystem::path& file, const std::string& old) {
  const std::string bytes = test::ReadFile(file);
  if (bytes == old) return "the old file";
  platform::PosixFileSystem files;
  std::unique_ptr<platform::RandomAccessFile> access;
  if (files.OpenRandomAccess(file, false, access)) return "cannot be opened";
  try {
    auto jet = jetfile::Database::Open(*access, false);
    for (const auto& table : jet.TableNames()) jet.CheckTable(table);
  } catch (const std::exception& e) {
    return std::string("unsound: ") + e.what();
  }
  const auto copy = file.parent_path().parent_path() / "state.yw";
  std::filesystem::remove(copy);
  try {
    db::jetfile::CopyToDatabase(file, copy, file.string());
  } catch (const std::exception& e) {
    return std::string("unreadable: ") + e.what();
  }
  std::string out = "new: " + Fingerprint(copy);
  std::filesystem::remove(copy);
  return out;
}

// The three databases of the campaigns, made once for every test process of one build (they take a
// while to make) and kept in the build folder.
std::filesystem::path CampaignData() {
  namespace fs = std::filesystem;
  const fs::path dir = KILL_DATA_DIR;
  fs::create_directories(dir);
  const int lock = open((dir / ".lock").c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0644);
  flock(lock, LOCK_EX);  // the other test waits while one makes them
  const std::string stamp =
      std::to_string(fs::last_write_time("/proc/self/exe").time_since_epoch().count()) + " " + std::to_string(kRows) +
      " " + std::to_string(kJetRows);
  if (test::ReadFile(dir / "made") != stamp) {
    const fs::path maker = dir / "prefix";
    fs::remove_all(maker);
    fs::remove(dir / "current.yw");
    fs::remove(dir / "ACEDATA0307.YW");
    fs::remove(dir / "ACEMTD0307.YW");
    fs::remove_all(dir / "JET");
    ywdata::MakeCurrentDatabase(maker, dir / "current.yw", {.rows = kRows, .first_sku = 1000000, .date = "3/1/2007"});
    ywdata::MakeDataFile(maker, dir / "ACEDATA0307.YW", DataKind::kFull,
                         {.rows = kRows, .first_sku = 1000001, .date = "3/2/2007"});
    ywdata::MakeDataFile(maker, dir / "ACEMTD0307.YW", DataKind::kMonthToDate,
                         {.rows = kRows / 5, .first_sku = 1000000 + kRows - kRows / 10, .date = "3/15/2007"});
    // The Jet campaign's: a Jet current database and smaller files of the same kinds.
    fs::create_directories(dir / "JET");
    ywdata::MakeCurrentDatabase(maker, dir / "JET" / "current.mdb",
                                {.rows = kJetRows, .first_sku = 1000000, .date = "3/1/2007", .jet = true});
    ywdata::MakeDataFile(maker, dir / "JET" / "ACEDATA0307.YW", DataKind::kFull,
                         {.rows = kJetRows, .first_sku = 1000001, .date = "3/2/2007"});
    ywdata::MakeDataFile(maker, dir / "JET" / "ACEMTD0307.YW", DataKind::kMonthToDate,
                         {.rows = kJetRows / 5, .first_sku = 1000000 + kJetRows - kJetRows / 10, .date = "3/15/2007"});
    ywdata::MakeDataFile(maker, dir / "JET" / "CUSTOMDATA.YW", DataKind::kCustom,
                         {.rows = kJetRows / 2, .first_sku = 1000000, .date = "3/15/2007"});
    test::WriteFile(dir / "made", stamp);
  }
  close(lock);
  return dir;
}

class KillTest : public test::EndToEndTest {
 protected:
  KillTest() {
    const auto data = CampaignData();
    std::filesystem::copy_file(data / "current.yw", Pristine());
    std::filesystem::copy_file(data / "JET" / "current.mdb", PristineJet());
    std::filesystem::create_directories(prefix.drive_c() / "DATA" / "JET");
    for (const char* name : {"ACEDATA0307.YW", "ACEMTD0307.YW"}) {
      std::filesystem::copy_file(data / name, prefix.drive_c() / "DATA" / name);
    }
    for (const char* name : {"ACEDATA0307.YW", "ACEMTD0307.YW", "CUSTOMDATA.YW"}) {
      std::filesystem::copy_file(data / "JET" / name, prefix.drive_c() / "DATA" / "JET" / name);
    }
  }

  std::filesystem::path Pristine() const { return prefix.root() / "pristine.yw"; }
  std::filesystem::path PristineJet() const { return prefix.root() / "pristine.mdb"; }

  void Restore(const std::filesystem::path& from) {
    std::filesystem::remove(Current());
    std::filesystem::copy_file(from, Current());
    std::filesystem::permissions(Current(), std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
  }

  // Starts the program on the console; its standard error comes back on `err`.
  pid_t Start(const std::vector<std::string>& args, int& err) {
    int fds[2];
    EXPECT_EQ(pipe2(fds, O_CLOEXEC), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
    std::vector<std::string> env = {"CATALOGSYNC_PREFIX=" + prefix.root().string(), "CATALOGSYNC_UI=console"};
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string v = *e;
      if (!v.starts_with("CATALOGSYNC_") && !v.starts_with("DISPLAY=")) env.push_back(v);
    }
    std::vector<char*> envp, argv;
    for (auto& v : env) envp.push_back(v.data());
    envp.push_back(nullptr);
    std::string program = Program().string();
    argv.push_back(program.data());
    std::vector<std::string> copy = args;
    for (auto& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    EXPECT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    fcntl(fds[0], F_SETFL, O_NONBLOCK);
    err = fds[0];
    return pid;
  }

  // Runs the program to its end; true when it recorded a completed import.
  bool Complete(const std::vector<std::string>& args) {
    int err = -1;
    const pid_t pid = Start(args, err);
    int status = 0;
    waitpid(pid, &status, 0);
    close(err);
    return SetupComplete() == "TRUE";
  }

  // Runs the program until `moment` says so (it is asked every millisecond with what the program
  // printed so far), then kills it. False when the run ended first.
  bool KillWhen(const std::vector<std::string>& args, const std::function<bool(const std::string&)>& moment) {
    int err = -1;
    const pid_t pid = Start(args, err);
    std::string printed;
    bool killed = false;
    while (true) {
      char buf[4096];
      for (ssize_t n; (n = read(err, buf, sizeof buf)) > 0;) printed.append(buf, static_cast<std::size_t>(n));
      int status = 0;
      if (waitpid(pid, &status, WNOHANG) == pid) break;
      if (moment(printed)) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        killed = true;
        break;
      }
      std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    close(err);
    return killed;
  }

  // Kills imports of `args` at each moment, from the database `before`; checks the database after
  // each kill and after the next, complete, run. `state` tells what a database holds (by default
  // the fingerprint of a database of the program's format).
  void Campaign(const std::filesystem::path& before, const std::vector<std::string>& args,
                const std::vector<std::pair<std::string, std::function<bool(const std::string&)>>>& moments,
                std::function<std::string(const std::filesystem::path&)> state = Fingerprint) {
    Restore(before);
    const std::string old_content = state(Current());
    ASSERT_TRUE(Complete(args));
    const std::string new_content = state(Current());
    ASSERT_NE(old_content, new_content);
    int kills = 0;
    for (const auto& [name, moment] : moments) {
      SCOPED_TRACE(name);
      Restore(before);
      if (!KillWhen(args, moment)) continue;
      ++kills;
      const std::string after_kill = state(Current());
      EXPECT_TRUE(after_kill == old_content || after_kill == new_content) << after_kill;
      for (const auto& name_beside : Beside()) {
        // A working copy cut short says by its name that it is not a database to use.
        EXPECT_NE(name_beside.find(".unfinished-import"), std::string::npos) << name_beside;
      }
      ASSERT_TRUE(Complete(args));
      EXPECT_EQ(state(Current()), new_content);
      EXPECT_EQ(Beside(), std::vector<std::string>{});
    }
    EXPECT_GE(kills, static_cast<int>(moments.size()) * 3 / 4) << "most moments came before the run ended";
  }

  static std::function<bool(const std::string&)> After(double seconds) {
    const auto start = std::make_shared<Clock::time_point>(Clock::now());
    return [start, seconds](const std::string&) {
      return std::chrono::duration<double>(Clock::now() - *start).count() >= seconds;
    };
  }
  // When the run log holds the line, and `then` seconds later.
  std::function<bool(const std::string&)> Logged(const std::string& text, double then = 0) const {
    const auto seen = std::make_shared<std::optional<Clock::time_point>>();
    return [seen, text, then, log = LogPath()](const std::string&) {
      if (!*seen && test::ReadFile(log).find(text) != std::string::npos) *seen = Clock::now();
      return *seen && std::chrono::duration<double>(Clock::now() - **seen).count() >= then;
    };
  }
  std::function<bool(const std::string&)> WorkingCopyGrowing() const {
    const auto copy = std::filesystem::path(Current().string() + ".unfinished-import");
    return [copy](const std::string&) {
      std::error_code ec;
      const auto size = std::filesystem::file_size(copy, ec);
      return !ec && size > 0;
    };
  }
  // `then` seconds after the working copy beside the database appeared.
  std::function<bool(const std::string&)> AfterWorkingCopy(double then) const {
    const auto seen = std::make_shared<std::optional<Clock::time_point>>();
    const auto copy = std::filesystem::path(Current().string() + ".unfinished-import");
    return [seen, copy, then](const std::string&) {
      std::error_code ec;
      if (!*seen && std::filesystem::exists(copy, ec)) *seen = Clock::now();
      return *seen && std::chrono::duration<double>(Clock::now() - **seen).count() >= then;
    };
  }
  // Moments spread over a run that lasts about `seconds`, plus the ones that matter.
  std::vector<std::pair<std::string, std::function<bool(const std::string&)>>> Moments(
      double seconds, const std::string& copying) {
    std::vector<std::pair<std::string, std::function<bool(const std::string&)>>> out;
    for (int k = 1; k <= 8; ++k) {
      const double t = seconds * k / 9;
      out.emplace_back("after " + std::to_string(t) + " s", After(t));
    }
    out.emplace_back("the working copy being written", WorkingCopyGrowing());
    for (const double d : {0.0, 0.05, 0.12}) {
      out.emplace_back(copying + " + " + std::to_string(d) + " s", Logged("Status = " + copying, d));
    }
    return out;
  }
};

TEST_F(KillTest, AFullImportKilledAnywhereLeavesTheOldOrTheNewDatabase) {
  const std::vector<std::string> args = {"C:\\DATA\\ACEDATA0307.YW", "-s", "-L"};
  Restore(Pristine());
  const auto start = Clock::now();
  ASSERT_TRUE(Complete(args));
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  Campaign(Pristine(), args, Moments(seconds, "Processing Monthly Data"));
}

TEST_F(KillTest, AMonthToDateMergeKilledAnywhereLeavesTheOldOrTheNewDatabase) {
  const std::vector<std::string> args = {"C:\\DATA\\ACEMTD0307.YW", "-s", "-L"};
  Restore(Pristine());
  const auto start = Clock::now();
  ASSERT_TRUE(Complete(args));
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  auto moments = Moments(seconds, "Processing MTD Data");
  // The merge itself: after the staging copy, until the end.
  for (const double d : {0.0, 0.02, 0.05}) {
    moments.emplace_back("the merge + " + std::to_string(d) + " s", Logged("Is Month to date - Opening To DB", d));
  }
  Campaign(Pristine(), args, moments);
}

// The imports into a Jet current database, killed anywhere, and at the moments of its writing: the
// copy beside it appearing, being written and proved, and around the rename.
TEST_F(KillTest, ImportsIntoAJetDatabaseKilledAnywhereLeaveTheOldOrTheNewFile) {
  const std::string old = test::ReadFile(PristineJet());
  const auto state = [&old](const std::filesystem::path& file) { return JetState(file, old); };
  for (const auto& [file, status] : {std::pair{"ACEDATA0307.YW", "Processing Monthly Data"},
                                     std::pair{"ACEMTD0307.YW", "Processing MTD Data"},
                                     std::pair{"CUSTOMDATA.YW", "Processing Custom Data"}}) {
    SCOPED_TRACE(file);
    const std::vector<std::string> args = {std::string("C:\\DATA\\JET\\") + file, "-s", "-L"};
    Restore(PristineJet());
    const auto start = Clock::now();
    ASSERT_TRUE(Complete(args));
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::vector<std::pair<std::string, std::function<bool(const std::string&)>>> moments;
    for (int k = 1; k <= 3; ++k) moments.emplace_back("after " + std::to_string(seconds * k / 4) + " s", After(seconds * k / 4));
    moments.emplace_back(status, Logged(std::string("Status = ") + status));
    for (const double d : {0.0, 0.01, 0.03, 0.06, 0.1, 0.15}) {
      moments.emplace_back("the new file + " + std::to_string(d) + " s", AfterWorkingCopy(d));
    }
    Campaign(PristineJet(), args, moments, state);
  }
}

}  // namespace
}  // namespace cs
