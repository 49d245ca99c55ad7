#include "app/run_log.h"

#include <cstdio>

#include "app/source_names.h"
#include "db/password.h"
#include "platform/text.h"

namespace cs::app {

RunLog::RunLog(platform::System& system, platform::Clock& clock, config::Registry& registry,
               ErrorSink& writer_failures)
    : system_(system), clock_(clock), registry_(registry), writer_failures_(writer_failures) {}

void RunLog::Mask(std::string& text) {
  text = platform::ReplaceAll(text, db::kDatabasePassword, "xxxxxxxxxx");
}

std::string RunLog::Timestamp(const platform::LocalTime& t) {
  const int hour12 = t.hour % 12 == 0 ? 12 : t.hour % 12;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d/%02d/%04d %02d:%02d:%02d%s", t.month, t.day, t.year,
                hour12, t.minute, t.second, t.hour < 12 ? "AM" : "PM");
  return buf;
}

void RunLog::AddToLog(std::string& text) {
  Guard guard(writer_failures_, source::Registry::AddToLog);
  std::string path;
  bool append = true;
  std::string line;
  guard.Step([&] { path = registry_.InstallAppDirectory() + "YW_VendorData_Install.LOG"; }) &&
      guard.Step([&] {
        if (!log_started_) {
          log_started_ = true;
          append = false;
        }
      }) &&
      guard.Step([&] { Mask(text); }) &&
      guard.Step([&] {
        line = text == "BLANK" ? std::string(" ") : Timestamp(clock_.Now()) + text;
        system_.WriteText(path, platform::Utf8ToAnsi(line) + "\r\n", append);
      });
}

}  // namespace cs::app
