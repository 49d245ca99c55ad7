#include "app/checks_ahead.h"

#include "app/command_line.h"
#include "app/frm_main.h"
#include "db/connection.h"
#include "platform/ui.h"

namespace cs::app {
namespace {

// Every error of the lookups made here is passed over without a dialog.
class Unreported : public ErrorSink {
 public:
  int ErrorLog(const std::string&, const std::string&, const std::string&, const std::string&) override {
    return platform::kIdAbort;
  }
};

}  // namespace

void StartChecksAhead(frmMain& form) {
  std::string data = BuildDBFileName(form.services.system.CommandLineText(),
                                     form.services.system.ProgramDirectory());
  if (HasSwitch(data, "/?") || HasSwitch(data, "-?")) return;  // the run only shows its help
  for (const char* sw : {"/L", "-L", "/Z", "-Z", "/S", "-S"}) RemoveSwitch(data, sw);
  Unreported unreported;
  config::Registry registry(form.services.system.registry(), unreported);
  registry.ProductKey = form.registry.ProductKey;
  registry.PriceFilesKey = form.registry.PriceFilesKey;
  const std::string current = registry.DBDir() + registry.DBName();
  for (const std::string& path : {data, current}) {
    if (const auto host = form.services.system.paths().Resolve(path)) db::CheckAhead(*host);
  }
}

}  // namespace cs::app
