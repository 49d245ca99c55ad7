// ErrorLog: the report of an unexpected error. The report goes to the run log in every run (with
// or without -L), then a modal box with Abort, Retry and Ignore asks what to do; its button code
// is the answer.
#pragma once

#include <string>

#include "app/guard.h"
#include "platform/ui.h"

namespace cs::app {

class RunLog;

class ErrorReporter : public ErrorSink {
 public:
  ErrorReporter(platform::Ui& ui, RunLog& log) : ui_(ui), log_(&log) {}

  int ErrorLog(const std::string& number, const std::string& description,
               const std::string& line, const std::string& source) override;

  // The same dialog without the log entry: the log writer reports its own failures here, so
  // that a log that cannot be written is not written to again.
  ErrorSink& WithoutLog() { return without_log_; }

  // The report's text, as the log and the dialog show it (before masking).
  static std::string BuildReport(const std::string& number, const std::string& description,
                                 const std::string& source, const std::string& line);

 private:
  class DialogOnly : public ErrorSink {
   public:
    explicit DialogOnly(ErrorReporter& owner) : owner_(owner) {}
    int ErrorLog(const std::string& number, const std::string& description,
                 const std::string& line, const std::string& source) override;

   private:
    ErrorReporter& owner_;
  };

  int Report(const std::string& number, const std::string& description, const std::string& line,
             const std::string& source, bool write_log);

  platform::Ui& ui_;
  RunLog* log_;
  DialogOnly without_log_{*this};
  int depth_ = 0;  // nesting of reports, so a failing report cannot recurse without end
};

}  // namespace cs::app
