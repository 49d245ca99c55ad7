// ErrorLog: the report of an unexpected error. The report goes to the run log in every run (with
// or without -L), then a modal box with Abort, Retry and Ignore asks what to do; its button code
// is the answer. The database password never shows: the report is masked before it is logged or
// shown.
#pragma once

#include <string>

#include "core/procedure.h"
#include "platform/ui.h"

namespace cs::core {

// The database password that protects the current database and every data file alike. The run
// log and the dialogs never show it.
inline constexpr char kDatabasePassword[] = "qed5190";

// Replaces every occurrence of the database password (exact, case-sensitive) by ten x characters.
void MaskPassword(std::string& text);

// Where the reports are written: the run log's writer (AddToLog).
class LogWriter {
 public:
  virtual ~LogWriter() = default;
  virtual void AddToLog(std::string& text) = 0;
};

class ErrorReporter : public ErrorSink {
 public:
  ErrorReporter(platform::Ui& ui, LogWriter& log) : ui_(ui), log_(log) {}

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
                 const std::string& line, const std::string& source) override {
      return owner_.Report(number, description, line, source, false);
    }

   private:
    ErrorReporter& owner_;
  };

  int Report(const std::string& number, const std::string& description, const std::string& line,
             const std::string& source, bool write_log);

  platform::Ui& ui_;
  LogWriter& log_;
  DialogOnly without_log_{*this};
  int depth_ = 0;  // nesting of reports, so a failing report cannot recurse without end
};

}  // namespace cs::core
