// frmMain: the window object of the run, and the run itself. Its load event Form_Load is the
// program's only entry; DoProcess runs the whole run from the command line to the closing step.
// It is the RunContext of every procedure below it: the status line and its label, the run log,
// the report of unexpected errors, the message boxes, the machine and the clock.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "app/run_log.h"
#include "config/registry.h"
#include "config/vendor.h"
#include "core/error_reporter.h"
#include "core/run_context.h"
#include "db/engine.h"
#include "platform/clock.h"
#include "platform/system.h"
#include "platform/ui.h"

namespace cs::app {

// The services of the machine the run uses.
struct Services {
  platform::System& system;
  platform::Ui& ui;
  platform::Clock& clock;
  platform::ProcessEnd& process_end;
};

class frmMain : public core::RunContext {
 public:
  explicit frmMain(Services services);
  frmMain(const frmMain&) = delete;
  frmMain& operator=(const frmMain&) = delete;

  // The run: Form_Load chooses the registry key, starts the log and calls DoProcess, which ends
  // the process from inside itself in every normal run. Both return only when Abort was answered
  // to an error of the run driver; the window then stays open.
  void Form_Load();
  void DoProcess();
  // Finds and checks the current database and runs the import the data file asks for.
  bool ImporttoCurrentYWFile(const std::string& sDBFileName);
  // True when the path names an existing file; otherwise tells the user why not.
  bool CommandFileOK(const std::string& sDBFileName);
  // Writes the completion marker and the last log line, pauses unless silent, ends the process.
  void SlowClose(std::int32_t lSeconds);
  // Runs whenever lblStatus changes: repaint, then 200 ms.
  void lblStatus_Change();
  // Sleeps lSeconds seconds. Overflow when the milliseconds leave the 32-bit range.
  void GoSleep(std::int32_t lSeconds);

  // RunContext.
  void Status(const std::string& text) override;
  void LOG(std::string& text) override;
  using RunContext::LOG;
  void AddToLog(std::string& text) override { log_.AddToLog(text); }
  using RunContext::AddToLog;
  int ErrorLog(const std::string& number, const std::string& description, const std::string& line,
               const std::string& source) override {
    return errors_.ErrorLog(number, description, line, source);
  }
  // Shows a box; its text also goes to the log, whatever -L says, so that a silent run's log says
  // what its box said.
  int MessageBox(const std::string& text, const std::string& title, platform::Icon icon,
                 platform::Buttons buttons) override;
  platform::System& machine() override { return services_.system; }
  platform::Clock& clock() override { return services_.clock; }

  // The run's state, as the run has set it.
  bool RunSilent() const { return RunSilent_; }
  bool LogEnabled() const { return LogEnabled_; }
  const std::string& CommandLine() const { return CommandLine_; }
  const std::string& DBFileName() const { return DBFileName_; }
  const std::string& RunVendorName() const { return RunVendorName_; }
  const config::clsVendor& Vendor() const { return *Vendor_; }
  const std::string& lblStatus() const { return lbl_status_; }
  const std::string& lblData() const { return lbl_data_; }
  config::Registry& registry() { return registry_; }

 private:
  // Reads the switches from DBFileName and removes them; the help switch ends the process.
  void ReadSwitches();
  // Starts the whole-file checks of the data file and the current database during start-up.
  void StartChecksAhead();
  // The labels; setting lblStatus to a new text fires its change event.
  void SetCaption(const std::string& caption);
  void SetLabel(platform::Label label, const std::string& text);

  Services services_;
  core::ErrorReporter errors_;
  config::Registry registry_;
  RunLog log_;
  db::Engine engine_;

  // Run options.
  bool RunSilent_ = false;
  bool LogEnabled_ = false;
  // The command line in upper case, and the data file's path built from it.
  std::string CommandLine_;
  std::string DBFileName_;
  bool ImportSucceeded_ = false;
  // The run's vendor, made new for every run; its Name kept for the imports' registry values.
  std::unique_ptr<config::clsVendor> Vendor_;
  std::string RunVendorName_;

  std::string caption_;
  std::string lbl_data_ = "Processing Ace Data";
  std::string lbl_status_ = "Validating Files";
};

}  // namespace cs::app
