// Helpers shared by the suites: a temporary prefix on disk, a file system in memory
// (platform/memory_file_system.h), a scripted message box and window, a clock that does not sleep,
// and a process end that can be caught.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <deque>
#include <functional>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/frm_main.h"
#include "config/registry.h"
#include "core/error_reporter.h"
#include "core/run_context.h"
#include "db/engine.h"
#include "platform/clock.h"
#include "platform/memory_file_system.h"
#include "platform/posix_file_system.h"
#include "platform/prefix.h"
#include "platform/system.h"
#include "platform/ui.h"

namespace cs::test {

inline std::string ReadFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void WriteFile(const std::filesystem::path& p, const std::string& bytes) {
  std::filesystem::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out << bytes;
}

// The bytes of a database file with its third page scrambled: the header still says SQLite, the
// integrity check does not pass.
inline std::string Damaged(std::string bytes) {
  for (std::size_t i = 4096 * 2; i < 4096 * 2 + 600 && i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
  return bytes;
}

// The lines of a run log without their timestamps (the first 21 characters of a stamped line).
inline std::vector<std::string> LogFileMessages(const std::filesystem::path& log) {
  std::vector<std::string> out;
  std::istringstream in(ReadFile(log));
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    out.push_back(line.size() >= 21 && line[2] == '/' ? line.substr(21) : line);
  }
  return out;
}

// Runs `body` in a child process and expects it to return true within ten seconds: for what must
// never wait (a FIFO opened, a lock taken); a child that waits longer is killed and the test fails.
inline void ExpectInChildWithoutWaiting(const std::function<bool()>& body) {
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) _exit(body() ? 0 : 1);
  int status = 0;
  pid_t done = 0;
  for (int i = 0; i < 1000 && done == 0; ++i) {
    done = waitpid(pid, &status, WNOHANG);
    if (done == 0) usleep(10'000);
  }
  if (done == 0) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    FAIL() << "the child waited";
  }
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

// The files beside `file` whose names are its own followed by `tail`.
inline std::vector<std::filesystem::path> Beside(const std::filesystem::path& file, const std::string& tail) {
  std::vector<std::filesystem::path> out;
  for (const auto& e : std::filesystem::directory_iterator(file.parent_path())) {
    if (e.path().filename().string().starts_with(file.filename().string() + tail)) out.push_back(e.path());
  }
  return out;
}

// A fresh prefix in a temporary folder, removed again at the end of the test.
class TempPrefix {
 public:
  TempPrefix() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "cs-test-XXXXXX").string();
    root_ = mkdtemp(tmpl.data());
    platform::EnsurePrefix(files_, root_);
  }
  ~TempPrefix() {
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }
  TempPrefix(const TempPrefix&) = delete;
  TempPrefix& operator=(const TempPrefix&) = delete;

  const std::filesystem::path& root() const { return root_; }
  // The real file system, for the services made over this prefix.
  platform::PosixFileSystem& files() const { return files_; }
  std::filesystem::path drive_c() const { return root_ / "drive_c"; }
  std::filesystem::path user_reg() const { return root_ / "user.reg"; }
  void SetUserReg(const std::string& text) const { WriteFile(user_reg(), text); }

 private:
  mutable platform::PosixFileSystem files_;
  std::filesystem::path root_;
};

struct ShownBox {
  std::string text, title;
  platform::Icon icon;
  platform::Buttons buttons;
};

// Answers message boxes from a script (Abort once the script is used up) and records them.
class FakeUi : public platform::Ui {
 public:
  std::deque<int> answers;
  std::vector<ShownBox> boxes;
  std::vector<std::string> statuses;
  std::string caption;
  bool shown = false;
  int events_processed = 0;

  void SetCaption(const std::string& c) override { caption = c; }
  void SetLabel(platform::Label label, const std::string& text) override {
    if (label == platform::Label::kStatus) statuses.push_back(text);
  }
  void Show() override { shown = true; }
  void ProcessEvents() override { ++events_processed; }
  int MessageBox(const std::string& text, const std::string& title, platform::Icon icon,
                 platform::Buttons buttons) override {
    boxes.push_back({text, title, icon, buttons});
    if (buttons == platform::Buttons::kOk) return platform::kIdOk;
    if (answers.empty()) return platform::kIdAbort;
    const int a = answers.front();
    answers.pop_front();
    return a;
  }
  void RunUntilClosed() override {}
};

class FakeClock : public platform::Clock {
 public:
  platform::LocalTime now{2007, 3, 15, 21, 5, 7};
  std::uint64_t slept_ms = 0;
  platform::LocalTime Now() override { return now; }
  void Sleep(std::uint32_t ms) override { slept_ms += ms; }
};

struct ProcessEnded {};
class FakeProcessEnd : public platform::ProcessEnd {
 public:
  [[noreturn]] void EndNow() override { throw ProcessEnded{}; }
};

// A run below the window: the RunContext that config, db, schema and import tests hand to the code
// they test. Its log is kept in memory, line by line, as the run log's lines read without their
// timestamps; unexpected errors are reported through the program's own ErrorLog, whose dialog the
// scripted FakeUi answers.
class FakeRun : public core::RunContext, public core::LogWriter {
 public:
  explicit FakeRun(platform::System& system) : system_(system) {}

  FakeUi ui;
  FakeClock time;
  bool logging = true;             // as -L sets it
  std::vector<std::string> log;    // every line written, without timestamps

  void Status(const std::string& text) override {
    LOG("Status = " + text);
    ui.SetLabel(platform::Label::kStatus, text);
  }
  void LOG(std::string& text) override {
    if (logging) AddToLog(text);
  }
  using RunContext::LOG;
  void AddToLog(std::string& text) override {
    core::MaskPassword(text);
    if (text == "BLANK") {
      log.push_back(" ");
      return;
    }
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      log.push_back(line);
    }
  }
  using RunContext::AddToLog;
  int ErrorLog(const std::string& number, const std::string& description, const std::string& line,
               const std::string& source) override {
    return errors_.ErrorLog(number, description, line, source);
  }
  int MessageBox(const std::string& text, const std::string& title, platform::Icon icon,
                 platform::Buttons buttons) override {
    return ui.MessageBox(text, title, icon, buttons);
  }
  platform::System& machine() override { return system_; }
  platform::Clock& clock() override { return time; }

 private:
  platform::System& system_;
  core::ErrorReporter errors_{ui, *this};
};

// The registry every TestRun and TestProgram starts from: Yield Warden's keys, the install
// directory C:\YW (so the log is drive_c/YW/YW_VendorData_Install.LOG).
inline std::string TestRegistry(const std::string& extra_reg) {
  return "REGEDIT4\r\n\r\n"
         "[HKEY_CURRENT_USER\\Software\\Quillmarch\\Yield Warden]\r\n"
         "\"InstallAppDir\"=\"C:\\\\YW\"\r\n\r\n"
         "[HKEY_CURRENT_USER\\Software\\Quillmarch\\Yield Warden\\PriceFiles]\r\n\r\n"
         "[HKEY_CURRENT_USER\\Software\\Quillmarch\\Yield Warden\\Startup]\r\n\r\n" +
         extra_reg;
}

// A run below the window over a temporary prefix: the RunContext, the Registry module with the
// product key chosen, and the database engine.
class TestRun {
 public:
  explicit TestRun(const std::string& extra_reg = "")
      : system(prefix.files(), prefix.root(), prefix.drive_c() / "APP", {}), run(system), registry(run),
        engine(system.files(), system.paths()) {
    std::filesystem::create_directories(prefix.drive_c() / "APP");
    std::filesystem::create_directories(prefix.drive_c() / "YW");
    prefix.SetUserReg(TestRegistry(extra_reg));
    registry.SetRegistryKey();
  }

  // Replaces the whole registry (key blocks after the header) and chooses the product key again.
  void SetRegistry(const std::string& blocks) {
    prefix.SetUserReg("REGEDIT4\r\n\r\n" + blocks);
    registry.SetRegistryKey();
  }

  TempPrefix prefix;
  platform::System system;
  FakeRun run;
  config::Registry registry;
  db::Engine engine;
};

// A run below the window over a prefix held in memory (/prefix, drive C: at /prefix/drive_c):
// for the tests that need no database file on disk.
class MemoryRun {
 public:
  explicit MemoryRun(const std::string& extra_reg = "")
      : system(files, "/prefix", "/prefix/drive_c/APP", {}), run(system), registry(run) {
    platform::EnsurePrefix(files, "/prefix");
    files.AddDirectory(drive_c() / "APP");
    files.AddDirectory(drive_c() / "YW");
    files.AddFile(user_reg(), TestRegistry(extra_reg));
    registry.SetRegistryKey();
  }

  std::filesystem::path drive_c() const { return "/prefix/drive_c"; }
  std::filesystem::path user_reg() const { return "/prefix/user.reg"; }
  // Replaces the whole registry (key blocks after the header) and chooses the product key again.
  void SetRegistry(const std::string& blocks) {
    files.AddFile(user_reg(), "REGEDIT4\r\n\r\n" + blocks);
    registry.SetRegistryKey();
  }
  std::string Read(const std::filesystem::path& file) const { return files.Contents(file).value_or(""); }

  MemoryFileSystem files;
  platform::System system;
  FakeRun run;
  config::Registry registry;
};

// A whole program over a temporary prefix, with the fakes above, its window object loaded.
class TestProgram {
 public:
  explicit TestProgram(const std::string& extra_reg = "", std::vector<std::string> args = {})
      : system(prefix.files(), prefix.root(), prefix.drive_c() / "APP", std::move(args)),
        form(app::Services{system, ui, clock, process_end}) {
    std::filesystem::create_directories(prefix.drive_c() / "APP");
    std::filesystem::create_directories(prefix.drive_c() / "YW");
    prefix.SetUserReg(TestRegistry(extra_reg));
    form.registry().SetRegistryKey();
  }

  // Replaces the whole registry (key blocks after the header) and chooses the product key again.
  void SetRegistry(const std::string& blocks) {
    prefix.SetUserReg("REGEDIT4\r\n\r\n" + blocks);
    form.registry().SetRegistryKey();
  }

  std::filesystem::path LogPath() const {
    return prefix.drive_c() / "YW" / "YW_VendorData_Install.LOG";
  }
  // The log's lines without their timestamps.
  std::vector<std::string> LogMessages() const {
    return LogFileMessages(LogPath());
  }

  TempPrefix prefix;
  FakeUi ui;
  FakeClock clock;
  FakeProcessEnd process_end;
  platform::System system;
  app::frmMain form;
};

}  // namespace cs::test
