// The run driver: from the command line to the closing step.
#include "app/command_line.h"
#include "app/frm_main.h"
#include "app/source_names.h"
#include "db/database_access.h"
#include "import/imports.h"
#include "platform/text.h"

namespace cs::app {
namespace {

// Reads the switches from the path and removes them; the help switch ends the process.
void ReadSwitches(frmMain& form) {
  std::string& path = form.DBFileName;
  if (HasSwitch(path, "/?") || HasSwitch(path, "-?")) {
    form.services.ui.MessageBox(kHelpText, "Command Line Help", platform::Icon::kInformation,
                                platform::Buttons::kOk);
    form.services.process_end.EndNow();
  }
  if (HasSwitch(path, "/L") || HasSwitch(path, "-L")) {
    RemoveSwitch(path, "/L");
    RemoveSwitch(path, "-L");
    form.LogEnabled = true;
  } else {
    form.LogEnabled = false;
  }
  if (HasSwitch(path, "/Z") || HasSwitch(path, "-Z")) {
    RemoveSwitch(path, "/Z");
    RemoveSwitch(path, "-Z");
  }
  if (HasSwitch(path, "/S") || HasSwitch(path, "-S")) {
    form.RunSilent = true;
    RemoveSwitch(path, "/S");
    RemoveSwitch(path, "-S");
  } else {
    form.RunSilent = false;
    form.services.ui.Show();
  }
}

}  // namespace

void frmMain::DoProcess() {
  Guard guard(errors, source::frmMain::DoProcess);
  std::int16_t vendor_id = config::kNoVendor;
  bool ok = false;
  if (!guard.Step([&] { LOG("Begin Processing"); })) return;
  if (!guard.Step([&] {
        CommandLine = platform::UCase(services.system.CommandLineText());
        LOG("CommandLine = " + CommandLine);
      })) {
    return;
  }
  if (!guard.Step([&] { NewVendor(); })) return;
  if (!guard.Step([&] {
        DBFileName = BuildDBFileName(services.system.CommandLineText(),
                                     services.system.ProgramDirectory());
      })) {
    return;
  }
  if (!guard.Step([&] {
        vendor_id = config::GetVendorFromFileName(DBFileName, services.system.ProgramDirectory(),
                                                  registry, services.system.profile(), errors);
      })) {
    return;
  }
  if (vendor_id == config::kNoVendor) {
    if (!guard.Step([&] {
          services.ui.MessageBox("Unable to identify file vendor for " + DBFileName, kAppTitle,
                                 platform::Icon::kNone, platform::Buttons::kOk);
        })) {
      return;
    }
    services.process_end.EndNow();
  }
  if (!guard.Step([&] { Vendor->VendorID(vendor_id); })) return;
  if (!guard.Step([&] { SetLabel(platform::Label::kData, "Importing " + Vendor->NameLong() + " Data"); })) return;
  if (!guard.Step([&] { RunVendorName = Vendor->Name(); })) return;
  if (!guard.Step([&] { ReadSwitches(*this); })) return;
  if (!guard.Step([&] { LOG("DBFileName = " + DBFileName); })) return;

  if (!guard.Step([&] { ok = CommandFileOK(DBFileName); })) return;
  if (!ok) {
    ImportSucceeded = false;
    SlowClose(0);
    return;
  }
  if (!guard.Step([&] { ok = db::CanOpenDBFile(*this, DBFileName); })) return;
  if (!ok) {
    ImportSucceeded = false;
    SlowClose(5);
    return;
  }
  if (!guard.Step([&] { Status("Validating Current Yield Warden File"); })) return;
  if (!guard.Step([&] { ok = ImporttoCurrentYWFile(DBFileName); })) return;
  ImportSucceeded = ok;
  SlowClose(ok ? 2 : 5);
}

bool frmMain::ImporttoCurrentYWFile(const std::string& sDBFileName) {
  bool result = false;
  Guard guard(errors, source::frmMain::ImporttoCurrentYWFile);
  std::string YWFile;
  bool ok = false;
  if (!guard.Step([&] { YWFile = registry.DBDir() + registry.DBName(); })) return result;
  if (!guard.Step([&] { LOG("YWFile = " + YWFile); })) return result;
  if (!guard.Step([&] { ok = db::DoesFileExist(*this, YWFile); })) return result;
  if (!ok) {
    guard.Step([&] { Status("Current Yield Warden File Not Found"); }) && guard.Step([&] {
      services.ui.MessageBox("The Current Yield Warden Database\r\n'" + YWFile +
                                 "'\r\ncannot be found!\r\n\r\nRun Yield Warden to Validate this\r\n"
                                 "file and retry!",
                             "Yield Warden Database Not Found", platform::Icon::kCritical,
                             platform::Buttons::kOk);
    });
    return false;
  }
  if (!guard.Step([&] { ok = db::CanOpenDBFile(*this, YWFile); })) return result;
  if (!ok) {
    guard.Step([&] { Status("Current Yield Warden File Error"); });
    return false;
  }
  if (!guard.Step([&] {
        result = sDBFileName.find("CUSTOMDATA.YW") != std::string::npos
                     ? import::ImportCustom(*this, sDBFileName, YWFile)
                     : import::ImportFile(*this, sDBFileName, YWFile);
      })) {
    return result;
  }
  guard.Step([&] { Status(result ? "Import Completed Successfully" : "Import Failed"); });
  return result;
}

}  // namespace cs::app
