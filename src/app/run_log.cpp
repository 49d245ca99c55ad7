#include "app/run_log.h"

#include <cstdio>

#include "core/source_names.h"
#include "platform/text.h"

namespace cs::app {

RunLog::RunLog(platform::System& system, platform::Clock& clock, config::Registry& registry,
               core::ErrorSink& writer_failures)
    : system_(system), clock_(clock), registry_(registry), writer_failures_(writer_failures) {}

std::string RunLog::Timestamp(const platform::LocalTime& t) {
  const int hour12 = t.hour % 12 == 0 ? 12 : t.hour % 12;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%02d/%02d/%04d %02d:%02d:%02d%s", t.month, t.day, t.year,
                hour12, t.minute, t.second, t.hour < 12 ? "AM" : "PM");
  return buf;
}

void RunLog::AddToLog(std::string& text) {
  core::RunProcedure(writer_failures_, source::Registry::AddToLog, [&](core::Procedure& p) {
    const std::string path = registry_.InstallAppDirectory() + "YW_VendorData_Install.LOG";
    const bool append = log_started_;
    log_started_ = true;
    core::MaskPassword(text);
    const std::string line = text == "BLANK" ? std::string(" ") : Timestamp(clock_.Now()) + text;
    p.step([&] { system_.WriteText(path, platform::Utf8ToAnsi(line) + "\r\n", append); });
  });
}

}  // namespace cs::app
