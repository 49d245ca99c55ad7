#include "app/error_reporter.h"

#include "app/run_log.h"
#include "app/source_names.h"
#include "version.h"

namespace cs::app {
namespace {
// A report about a failing report about a failing report is where it stops.
constexpr int kMaxDepth = 3;
}  // namespace

std::string ErrorReporter::BuildReport(const std::string& number, const std::string& description,
                                       const std::string& source, const std::string& line) {
  const std::string version = std::to_string(platform::kVersionMajor) + "." +
                              std::to_string(platform::kVersionMinor) + "." +
                              std::to_string(platform::kVersionRevision);
  return "An unexpected Error has occured!\r\n\r\n"
         "ERROR DETAILS:\r\n"
         "  Number:     \t" + number + "\r\n"
         "  Description:\t" + description + "\r\n"
         "  Called from:\t" + source + "\r\n"
         "  in Version: \t" + version + "\r\n"
         "  at line:    \t" + line + "\r\n\r\n"
         "What would you like to do?";
}

int ErrorReporter::ErrorLog(const std::string& number, const std::string& description,
                            const std::string& line, const std::string& source) {
  return Report(number, description, line, source, true);
}

int ErrorReporter::DialogOnly::ErrorLog(const std::string& number,
                                        const std::string& description, const std::string& line,
                                        const std::string& source) {
  return owner_.Report(number, description, line, source, false);
}

int ErrorReporter::Report(const std::string& number, const std::string& description,
                          const std::string& line, const std::string& source, bool write_log) {
  int result = 0;
  if (depth_ >= kMaxDepth) return result;
  ++depth_;
  struct Leave {
    int& depth;
    ~Leave() { --depth; }
  } leave{depth_};
  Guard guard(write_log ? static_cast<ErrorSink&>(*this) : without_log_, source::Registry::ErrorLog);
  std::string report;
  guard.Step([&] { report = BuildReport(number, description, source, line); }) &&
      guard.Step([&] { if (write_log) log_->AddToLog(report); else log_->Mask(report); }) &&
      guard.Step([&] {
        result = ui_.MessageBox(report + line, "Application Error", platform::Icon::kCritical,
                                platform::Buttons::kAbortRetryIgnore);
      });
  return result;
}

}  // namespace cs::app
