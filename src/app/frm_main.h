// frmMain: the window object of the run. It holds the run options, the labels, and the
// procedures that report a run's progress: Status (label and log), LOG (log only, when logging
// is on), the label's change event and the closing pause GoSleep. It also owns the program-wide
// modules every procedure reaches: the error reporter, the registry and the run log.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "app/error_reporter.h"
#include "app/run_log.h"
#include "config/registry.h"
#include "config/vendor.h"
#include "platform/clock.h"
#include "platform/system.h"
#include "platform/ui.h"

namespace cs::app {

// The title of the message boxes that name none of their own.
inline constexpr char kAppTitle[] = "CatalogSync";

// The services of the machine the run uses.
struct Services {
  platform::System& system;
  platform::Ui& ui;
  platform::Clock& clock;
  platform::ProcessEnd& process_end;
};

class frmMain {
 public:
  explicit frmMain(Services services);
  frmMain(const frmMain&) = delete;
  frmMain& operator=(const frmMain&) = delete;

  Services services;
  ErrorReporter errors;
  config::Registry registry;
  RunLog log;

  // Run options.
  bool RunSilent = false;
  bool LogEnabled = false;

  // The run's vendor, made new for every run; the imports read its short name.
  std::unique_ptr<config::clsVendor> Vendor;
  // The vendor's Name, kept for the run: it names the vendor's registry date values.
  std::string RunVendorName;
  // Replaces Vendor with a new, empty vendor object.
  void NewVendor();

  // The run: Form_Load is the only entry. It chooses the registry key, starts the log and calls
  // DoProcess, which ends the process from inside itself in every normal run. Both return only
  // when Abort was answered to an error of the run driver; the window then stays open.
  void Form_Load();
  void DoProcess();
  // Finds and checks the current database and runs the import the data file asks for.
  bool ImporttoCurrentYWFile(const std::string& sDBFileName);
  // True when the path names an existing file; otherwise tells the user why not.
  bool CommandFileOK(const std::string& sDBFileName);
  // Writes the completion marker and the last log line, pauses unless silent, ends the process.
  void SlowClose(std::int32_t lSeconds);

  // The command line in upper case, and the data file's path built from it.
  std::string CommandLine;
  std::string DBFileName;
  bool ImportSucceeded = false;

  // "Status = " + text to the log; unless the run is silent, the text to lblStatus.
  void Status(const std::string& text);
  // One log line when logging is on. The password is masked in the caller's text too.
  void LOG(std::string& text);
  void LOG(const std::string& text);
  void LOG(std::string&& text) { LOG(text); }
  // Runs whenever lblStatus changes: repaint, then 200 ms.
  void lblStatus_Change();
  // Sleeps lSeconds seconds. Overflow when the milliseconds leave the 32-bit range.
  void GoSleep(std::int32_t lSeconds);

  // The labels; setting lblStatus to a new text fires its change event.
  void SetCaption(const std::string& caption);
  void SetLabel(platform::Label label, const std::string& text);
  const std::string& lblStatus() const { return lbl_status_; }
  const std::string& lblData() const { return lbl_data_; }

 private:
  std::string caption_;
  std::string lbl_data_ = "Processing Ace Data";
  std::string lbl_status_ = "Validating Files";
};

}  // namespace cs::app
