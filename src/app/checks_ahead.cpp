// The whole-file integrity checks of the two database files a run opens (the data file named on
// the command line and the current database named in the registry), started at start-up, side by
// side on threads of their own, so that they run during the start-up pause and each other.
#include "app/command_line.h"
#include "app/frm_main.h"
#include "db/database_file.h"

namespace cs::app {
namespace {

// The run as the lookups made here see it: the machine and the clock, and no report, status or
// log line of any error.
class QuietRun : public core::RunContext {
 public:
  explicit QuietRun(core::RunContext& run) : run_(run) {}
  void Status(const std::string&) override {}
  void LOG(std::string&) override {}
  void AddToLog(std::string&) override {}
  int ErrorLog(const std::string&, const std::string&, const std::string&, const std::string&) override {
    return platform::kIdAbort;
  }
  int MessageBox(const std::string&, const std::string&, platform::Icon, platform::Buttons) override {
    return platform::kIdOk;
  }
  platform::System& machine() override { return run_.machine(); }
  platform::Clock& clock() override { return run_.clock(); }

 private:
  core::RunContext& run_;
};

}  // namespace

// Works the two paths out as the run driver will, without a report or a log line of its own. A
// path that cannot be worked out here is checked when it is opened.
void frmMain::StartChecksAhead() {
  std::string data = BuildDBFileName(machine().CommandLineText(), machine().ProgramDirectory());
  if (HasSwitch(data, "/?") || HasSwitch(data, "-?")) return;  // the run only shows its help
  for (const char* sw : {"/L", "-L", "/Z", "-Z", "/S", "-S"}) RemoveSwitch(data, sw);
  QuietRun quiet(*this);
  config::Registry registry(quiet);
  registry.ProductKey = registry_.ProductKey;
  registry.PriceFilesKey = registry_.PriceFilesKey;
  for (const std::string& path : {data, registry.DBDir() + registry.DBName()}) {
    if (const auto host = db::SqliteFile(engine_, path)) engine_.checks().StartAhead(*host);
  }
}

}  // namespace cs::app
