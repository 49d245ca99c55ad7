// Start-up: the window's load event and the check of the data file's path.
#include "app/command_line.h"
#include "app/frm_main.h"
#include "core/source_names.h"
#include "db/database_access.h"

namespace cs::app {

using core::Procedure;
using core::RunProcedure;

void frmMain::Form_Load() {
  RunProcedure(*this, source::frmMain::Form_Load, [&](Procedure& p) {
    registry_.SetRegistryKey();
    core::IgnoreErrors([&] { StartChecksAhead(); });
    p.step([&] { SetCaption("Yield Warden Data Installer"); });
    LogEnabled_ = true;
    LOG("START APPLICATION");
    Status("Opening Application");
    DoProcess();
  });
}

bool frmMain::CommandFileOK(const std::string& sDBFileName) {
  return RunProcedure(*this, source::frmMain::CommandFileOK, false, [&](Procedure& p, bool& result) {
    const std::string program_dir = machine().ProgramDirectory();
    Status("Inspecting Command line");
    const std::string help = SyntaxHelp(program_dir);
    if (HoldsNoFileName(sDBFileName, program_dir)) {
      Status("No Filename was given");
      p.step([&] {
        MessageBox("The Database Filename must be included on the\rCommand Line.\r\r" + help,
                   "ERROR - No Filename", platform::Icon::kCritical, platform::Buttons::kOk);
      });
      return;
    }
    if (db::DoesFileExist(*this, sDBFileName)) {
      result = true;
      return;
    }
    Status("File Not Found");
    p.step([&] {
      MessageBox("The Filename specified on the Command Line\r\n'" + sDBFileName + "' does not exist.\r\r" + help,
                 "ERROR - File Not Found", platform::Icon::kCritical, platform::Buttons::kOk);
    });
  });
}

}  // namespace cs::app
