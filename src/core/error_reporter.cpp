#include "core/error_reporter.h"

#include "core/source_names.h"
#include "platform/text.h"
#include "version.h"

namespace cs::core {
namespace {
// A report about a failing report about a failing report is where it stops.
constexpr int kMaxDepth = 3;
}  // namespace

void MaskPassword(std::string& text) {
  text = platform::ReplaceAll(text, kDatabasePassword, "xxxxxxxxxx");
}

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

int ErrorReporter::Report(const std::string& number, const std::string& description,
                          const std::string& line, const std::string& source, bool write_log) {
  if (depth_ >= kMaxDepth) return 0;
  ++depth_;
  struct Leave {
    int& depth;
    ~Leave() { --depth; }
  } leave{depth_};
  ErrorSink& nested = write_log ? static_cast<ErrorSink&>(*this) : without_log_;
  return RunProcedure(nested, source::Registry::ErrorLog, 0, [&](Procedure& p, int& result) {
    std::string report = BuildReport(number, description, source, line);
    p.step([&] {
      if (write_log) {
        log_.AddToLog(report);
      } else {
        MaskPassword(report);
      }
    });
    p.step([&] {
      result = ui_.MessageBox(report + line, "Application Error", platform::Icon::kCritical,
                              platform::Buttons::kAbortRetryIgnore);
    });
  });
}

}  // namespace cs::core
