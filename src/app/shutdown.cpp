// The closing step of every run that gets past vendor identification and the help switch.
#include "app/frm_main.h"
#include "app/source_names.h"

namespace cs::app {

void frmMain::SlowClose(std::int32_t lSeconds) {
  Guard guard(errors, source::frmMain::SlowClose);
  if (!guard.Step([&] { services.ui.ProcessEvents(); })) return;
  if (!guard.Step([&] {
        registry.SetKeyValue(config::HKEY_CURRENT_USER, registry.PriceFilesKey, "SetupComplete",
                             std::string(ImportSucceeded ? "TRUE" : "FALSE"), config::REG_SZ);
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
