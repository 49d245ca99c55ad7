// The closing step of every run that gets past vendor identification and the help switch.
#include "app/frm_main.h"
#include "core/source_names.h"

namespace cs::app {

void frmMain::SlowClose(std::int32_t lSeconds) {
  core::RunProcedure(*this, source::frmMain::SlowClose, [&](core::Procedure& p) {
    p.step([&] { services_.ui.ProcessEvents(); });
    const std::string marker = ImportSucceeded_ ? "TRUE" : "FALSE";
    const long status = registry_.SetKeyValue(config::HKEY_CURRENT_USER, registry_.PriceFilesKey,
                                              "SetupComplete", marker, config::REG_SZ);
    // A caller reads the outcome from the marker: one that is not written is said in the log,
    // whatever -L says, so that an earlier run's marker is not taken for this run's.
    if (status != 0) {
      AddToLog(config::Registry::NotRecordedReport(registry_.PriceFilesKey, "SetupComplete", marker, status));
    }
    LOG("CLOSING APPLICATION");
    if (!RunSilent_) GoSleep(lSeconds);
    services_.process_end.EndNow();
  });
}

}  // namespace cs::app
