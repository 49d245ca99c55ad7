// The closing step of every run that gets past vendor identification and the help switch.
#include "app/frm_main.h"
#include "app/source_names.h"

namespace cs::app {

void frmMain::SlowClose(std::int32_t lSeconds) {
  Guard guard(errors, source::frmMain::SlowClose);
  if (!guard.Step([&] { services.ui.ProcessEvents(); })) return;
  if (!guard.Step([&] {
        const std::string marker = ImportSucceeded ? "TRUE" : "FALSE";
        const long status = registry.SetKeyValue(config::HKEY_CURRENT_USER, registry.PriceFilesKey,
                                                 "SetupComplete", marker, config::REG_SZ);
        // A caller reads the outcome from the marker: one that is not written is said in the log,
        // whatever -L says, so that an earlier run's marker is not taken for this run's.
        if (status != 0) {
          std::string report = config::Registry::NotRecordedReport(
              registry.PriceFilesKey, "SetupComplete", marker, status);
          log.AddToLog(report);
        }
      })) {
    return;
  }
  if (!guard.Step([&] { LOG("CLOSING APPLICATION"); })) return;
  if (!guard.Step([&] {
        if (!RunSilent) GoSleep(lSeconds);
      })) {
    return;
  }
  services.process_end.EndNow();
}

}  // namespace cs::app
