// What a procedure below the window can reach of the run: the status line and the run log, the
// report of unexpected errors (ErrorLog), the message boxes, the machine (files named by Windows
// paths, the registry, the INI functions) and the clock. The window object frmMain implements it; tests use a
// fake. The layers above this one take a RunContext&, never the window.
#pragma once

#include <string>

#include "core/procedure.h"
#include "platform/clock.h"
#include "platform/system.h"
#include "platform/ui.h"

namespace cs::core {

class RunContext : public ErrorSink {
 public:
  // "Status = " + text to the log (when logging is on); unless the run is silent, the text to the
  // status line, which holds the run for 200 ms.
  virtual void Status(const std::string& text) = 0;
  // One log line when logging is on. The database password is masked in the caller's text too.
  virtual void LOG(std::string& text) = 0;
  void LOG(const std::string& text) {
    std::string copy = text;
    LOG(copy);
  }
  // One log line whatever -L says (error reports and what a user must find in the log).
  virtual void AddToLog(std::string& text) = 0;
  void AddToLog(const std::string& text) {
    std::string copy = text;
    AddToLog(copy);
  }
  // A modal message box; the button pressed.
  virtual int MessageBox(const std::string& text, const std::string& title, platform::Icon icon,
                         platform::Buttons buttons) = 0;

  // The machine: its files named by Windows paths, the registry, the INI functions, the process.
  virtual platform::System& machine() = 0;
  virtual platform::Clock& clock() = 0;

  platform::RegistryStore& registry() { return machine().registry(); }
  const platform::PrivateProfile& profile() { return machine().profile(); }
  const platform::WindowsPaths& paths() { return machine().paths(); }
};

// The title of the message boxes that name none of their own.
inline constexpr char kAppTitle[] = "CatalogSync";

}  // namespace cs::core
