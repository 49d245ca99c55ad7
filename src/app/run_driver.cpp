// The run driver: from the command line to the closing step.
#include "app/command_line.h"
#include "app/frm_main.h"
#include "core/source_names.h"
#include "db/database_access.h"
#include "import/imports.h"
#include "platform/text.h"

namespace cs::app {

using core::Procedure;
using core::RunProcedure;

void frmMain::ReadSwitches() {
  std::string& path = DBFileName_;
  if (HasSwitch(path, "/?") || HasSwitch(path, "-?")) {
    MessageBox(kHelpText, "Command Line Help", platform::Icon::kInformation, platform::Buttons::kOk);
    services_.process_end.EndNow();
  }
  LogEnabled_ = HasSwitch(path, "/L") || HasSwitch(path, "-L");
  if (LogEnabled_) {
    RemoveSwitch(path, "/L");
    RemoveSwitch(path, "-L");
  }
  if (HasSwitch(path, "/Z") || HasSwitch(path, "-Z")) {
    RemoveSwitch(path, "/Z");
    RemoveSwitch(path, "-Z");
  }
  RunSilent_ = HasSwitch(path, "/S") || HasSwitch(path, "-S");
  if (RunSilent_) {
    RemoveSwitch(path, "/S");
    RemoveSwitch(path, "-S");
  } else {
    services_.ui.Show();
  }
}

void frmMain::DoProcess() {
  RunProcedure(*this, source::frmMain::DoProcess, [&](Procedure& p) {
    LOG("Begin Processing");
    CommandLine_ = platform::UCase(machine().CommandLineText());
    LOG("CommandLine = " + CommandLine_);
    Vendor_ = std::make_unique<config::clsVendor>(*this, registry_);
    DBFileName_ = BuildDBFileName(machine().CommandLineText(), machine().ProgramDirectory());
    const std::int16_t vendor_id =
        config::GetVendorFromFileName(*this, registry_, DBFileName_, machine().ProgramDirectory());
    if (vendor_id == config::kNoVendor) {
      p.step([&] {
        MessageBox("Unable to identify file vendor for " + DBFileName_, core::kAppTitle,
                   platform::Icon::kNone, platform::Buttons::kOk);
      });
      services_.process_end.EndNow();
    }
    Vendor_->VendorID(vendor_id);
    p.step([&] { SetLabel(platform::Label::kData, "Importing " + Vendor_->NameLong() + " Data"); });
    RunVendorName_ = Vendor_->Name();
    p.step([&] { ReadSwitches(); });
    LOG("DBFileName = " + DBFileName_);

    if (!CommandFileOK(DBFileName_)) {
      ImportSucceeded_ = false;
      SlowClose(0);
      return;
    }
    if (!db::CanOpenDBFile(*this, engine_, DBFileName_)) {
      ImportSucceeded_ = false;
      SlowClose(5);
      return;
    }
    Status("Validating Current Yield Warden File");
    ImportSucceeded_ = ImporttoCurrentYWFile(DBFileName_);
    SlowClose(ImportSucceeded_ ? 2 : 5);
  });
}

bool frmMain::ImporttoCurrentYWFile(const std::string& sDBFileName) {
  return RunProcedure(*this, source::frmMain::ImporttoCurrentYWFile, false, [&](Procedure& p, bool& result) {
    const std::string YWFile = registry_.DBDir() + registry_.DBName();
    LOG("YWFile = " + YWFile);
    if (!db::DoesFileExist(*this, YWFile)) {
      Status("Current Yield Warden File Not Found");
      p.step([&] {
        MessageBox("The Current Yield Warden Database\r\n'" + YWFile +
                       "'\r\ncannot be found!\r\n\r\nRun Yield Warden to Validate this\r\nfile and retry!",
                   "Yield Warden Database Not Found", platform::Icon::kCritical, platform::Buttons::kOk);
      });
      return;
    }
    if (!db::CanOpenDBFile(*this, engine_, YWFile, db::Use::kWrite)) {
      Status("Current Yield Warden File Error");
      return;
    }
    const import::ImportRun run{*this, registry_, engine_, Vendor_->NameShort(), RunVendorName_};
    result = sDBFileName.find("CUSTOMDATA.YW") != std::string::npos
                 ? import::ImportCustom(run, sDBFileName, YWFile)
                 : import::ImportFile(run, sDBFileName, YWFile);
    Status(result ? "Import Completed Successfully" : "Import Failed");
  });
}

}  // namespace cs::app
