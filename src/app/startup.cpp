// Start-up: the window's load event and the check of the data file's path.
#include "app/checks_ahead.h"
#include "app/command_line.h"
#include "app/frm_main.h"
#include "app/source_names.h"
#include "db/database_access.h"

namespace cs::app {

void frmMain::Form_Load() {
  Guard guard(errors, source::frmMain::Form_Load);
  guard.Step([&] { registry.SetRegistryKey(); }) &&
      guard.Step([&] { IgnoreErrors([&] { StartChecksAhead(*this); }); }) &&
      guard.Step([&] { SetCaption("Yield Warden Data Installer"); }) &&
      guard.Step([&] { LogEnabled = true; }) && guard.Step([&] { LOG("START APPLICATION"); }) &&
      guard.Step([&] { Status("Opening Application"); }) && guard.Step([&] { DoProcess(); });
}

bool frmMain::CommandFileOK(const std::string& sDBFileName) {
  bool result = false;
  Guard guard(errors, source::frmMain::CommandFileOK);
  std::string help;
  const std::string program_dir = services.system.ProgramDirectory();
  if (!guard.Step([&] { Status("Inspecting Command line"); })) return result;
  if (!guard.Step([&] { help = SyntaxHelp(program_dir); })) return result;
  if (HoldsNoFileName(sDBFileName, program_dir)) {
    guard.Step([&] { Status("No Filename was given"); }) && guard.Step([&] {
      services.ui.MessageBox("The Database Filename must be included on the\rCommand Line.\r\r" + help,
                             "ERROR - No Filename", platform::Icon::kCritical, platform::Buttons::kOk);
    });
    return false;
  }
  bool exists = false;
  if (!guard.Step([&] { exists = db::DoesFileExist(*this, sDBFileName); })) return result;
  if (exists) return true;
  guard.Step([&] { Status("File Not Found"); }) && guard.Step([&] {
    services.ui.MessageBox("The Filename specified on the Command Line\r\n'" + sDBFileName +
                               "' does not exist.\r\r" + help,
                           "ERROR - File Not Found", platform::Icon::kCritical, platform::Buttons::kOk);
  });
  return false;
}

}  // namespace cs::app
