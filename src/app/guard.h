// The procedure guard. Each procedure runs its steps through a Guard that carries its source
// name. A step that throws is reported through ErrorLog; then Retry runs the step again, Ignore
// goes on with the next step, and Abort (or any other answer) leaves the procedure with the
// result it holds:
//
//   bool result = false;
//   Guard guard(errors, source::frmMain::MaketblAce);
//   if (!guard.Step([&] { cnn.Execute(sql); })) return result;
//
// The line reported is the source line of the step.
#pragma once

#include <exception>
#include <new>
#include <source_location>
#include <string>
#include <string_view>

#include "platform/run_error.h"
#include "platform/ui.h"

namespace cs::app {

// Where unexpected errors are reported: ErrorLog returns the button code of its dialog.
class ErrorSink {
 public:
  virtual ~ErrorSink() = default;
  virtual int ErrorLog(const std::string& number, const std::string& description,
                       const std::string& line, const std::string& source) = 0;
};

class Guard {
 public:
  Guard(ErrorSink& sink, std::string_view source) : sink_(sink), source_(source) {}

  // Runs one step. True: go on with the next step. False: leave the procedure.
  template <class F>
  bool Step(F&& step, std::source_location where = std::source_location::current()) {
    while (true) {
      int code = 0;
      try {
        step();
        return true;
      } catch (const RunError& e) {
        code = Report(e.number(), e.description(), where.line());
      } catch (const std::bad_alloc&) {
        code = Report(7, "Out of memory", where.line());
      } catch (const std::exception& e) {
        code = Report(5, e.what(), where.line());
      }
      if (code == platform::kIdRetry) continue;
      if (code == platform::kIdIgnore) return true;
      return false;
    }
  }

 private:
  int Report(std::int32_t number, const std::string& description, unsigned line) {
    return sink_.ErrorLog(std::to_string(number), description, std::to_string(line),
                          std::string(source_));
  }

  ErrorSink& sink_;
  std::string_view source_;
};

// Runs a step whose errors are ignored: a failure skips it without a report.
template <class F>
void IgnoreErrors(F&& step) {
  try {
    step();
  } catch (const std::exception&) {
  }
}

}  // namespace cs::app
