// The run log "YW_VendorData_Install.LOG" in the install directory: emptied at the first entry of
// a run, then appended to; one line per entry, the timestamp "mm/dd/yyyy hh:mm:ssAMPM" directly
// followed by the text. The file is opened and closed for every entry. The database password
// never reaches it.
#pragma once

#include <string>

#include "config/registry.h"
#include "core/error_reporter.h"
#include "platform/clock.h"
#include "platform/system.h"

namespace cs::app {

class RunLog : public core::LogWriter {
 public:
  // `writer_failures` receives the log writer's own errors; it must not write to the log.
  RunLog(platform::System& system, platform::Clock& clock, config::Registry& registry,
         core::ErrorSink& writer_failures);

  // Appends one entry. Every occurrence of the database password in `text` is replaced by ten
  // x characters, in the caller's text as well. "BLANK" writes a line of one blank.
  void AddToLog(std::string& text) override;

  static std::string Timestamp(const platform::LocalTime& t);

 private:
  platform::System& system_;
  platform::Clock& clock_;
  config::Registry& registry_;
  core::ErrorSink& writer_failures_;
  bool log_started_ = false;
};

}  // namespace cs::app
