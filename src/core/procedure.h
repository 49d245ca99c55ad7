// The error convention every procedure of the program follows. A procedure's body is the list of
// its steps; a step that fails is reported through ErrorLog, whose dialog asks what to do: Retry
// runs the step again, Ignore goes on with the next step, and Abort (or any other answer) leaves
// the whole procedure at once, with the result it holds at that moment.
//
//   bool MaketblAce(...) {
//     return RunProcedure(run, source::frmMain::MaketblAce, false, [&](Procedure& p, bool& result) {
//       for (const auto& statement : statements) p.step([&] { cnn.Execute(statement); });
//       result = true;
//     });
//   }
//
// A step reports the source line it stands on. Code that cannot fail is not made a step: it runs
// as it is, between the steps.
#pragma once

#include <cstdint>
#include <exception>
#include <new>
#include <source_location>
#include <string>
#include <string_view>
#include <utility>

#include "platform/run_error.h"
#include "platform/ui.h"

namespace cs::core {

// Where unexpected errors are reported: ErrorLog returns the button code of its dialog.
class ErrorSink {
 public:
  virtual ~ErrorSink() = default;
  virtual int ErrorLog(const std::string& number, const std::string& description,
                       const std::string& line, const std::string& source) = 0;
};

class Procedure {
 public:
  Procedure(ErrorSink& errors, std::string_view source) : errors_(errors), source_(source) {}
  Procedure(const Procedure&) = delete;
  Procedure& operator=(const Procedure&) = delete;

  // Runs one step under the convention. On Abort it does not return: it leaves the procedure.
  template <class F>
  void step(F&& body, std::source_location where = std::source_location::current()) {
    while (true) {
      int code = 0;
      try {
        body();
        return;
      } catch (const RunError& e) {
        code = Report(e.number(), e.description(), where.line());
      } catch (const std::bad_alloc&) {
        code = Report(7, "Out of memory", where.line());
      } catch (const std::exception& e) {
        code = Report(5, e.what(), where.line());
      }
      if (code == platform::kIdRetry) continue;
      if (code == platform::kIdIgnore) return;
      throw Leave{this};
    }
  }

 private:
  template <class Result, class Body>
  friend Result RunProcedure(ErrorSink&, std::string_view, Result, Body&&);

  // Thrown by a step answered with Abort; only the boundary of its own procedure catches it.
  struct Leave {
    const Procedure* owner;
  };

  int Report(std::int32_t number, const std::string& description, unsigned line) {
    return errors_.ErrorLog(std::to_string(number), description, std::to_string(line),
                            std::string(source_));
  }

  ErrorSink& errors_;
  std::string_view source_;
};

// Runs a procedure: `body(procedure, result)` from the initial result; returns the result it holds
// when the body ends or a step is answered with Abort.
template <class Result, class Body>
Result RunProcedure(ErrorSink& errors, std::string_view source, Result result, Body&& body) {
  Procedure procedure(errors, source);
  try {
    body(procedure, result);
  } catch (const Procedure::Leave& leave) {
    if (leave.owner != &procedure) throw;
  }
  return result;
}

// A procedure without a result.
template <class Body>
void RunProcedure(ErrorSink& errors, std::string_view source, Body&& body) {
  RunProcedure(errors, source, 0, [&](Procedure& p, int&) { body(p); });
}

// Runs code whose errors are passed over without a report (the procedures that handle their own
// errors so).
template <class F>
void IgnoreErrors(F&& body) {
  try {
    body();
  } catch (const std::exception&) {
  }
}

// The same, handing the error that was passed over ("<number> <description>") to `passed_over`.
template <class F, class G>
void IgnoreErrors(F&& body, G&& passed_over) {
  try {
    body();
  } catch (const RunError& e) {
    passed_over(std::to_string(e.number()) + " " + e.description());
  } catch (const std::exception& e) {
    passed_over(std::string(e.what()));
  }
}

}  // namespace cs::core
