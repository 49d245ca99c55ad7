// The window of the run and the message boxes. Two implementations: the console (here) and the
// FLTK window; tests use a scripted fake.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <memory>
#include <string>

#include "platform/file_system.h"

namespace cs::platform {

enum class Icon { kNone, kInformation, kCritical };
enum class Buttons { kOk, kAbortRetryIgnore };

// Button codes as the Windows message box returns them.
inline constexpr int kIdOk = 1;
inline constexpr int kIdAbort = 3;
inline constexpr int kIdRetry = 4;
inline constexpr int kIdIgnore = 5;

// The labels of the window.
enum class Label { kData, kLabel1, kStatus };

class Ui {
 public:
  virtual ~Ui() = default;
  virtual void SetCaption(const std::string& caption) = 0;
  virtual void SetLabel(Label label, const std::string& text) = 0;
  // Makes the window visible (not modal).
  virtual void Show() = 0;
  // Lets the window process its pending events, repaints included.
  virtual void ProcessEvents() = 0;
  // A modal box; returns the button pressed. Abort is the default of Abort/Retry/Ignore.
  virtual int MessageBox(const std::string& text, const std::string& title, Icon icon,
                         Buttons buttons) = 0;
  // Runs the window's event loop until the user closes it.
  virtual void RunUntilClosed() = 0;
};

// The console: once the window is shown, its caption, lblData and status go to `err` as text, and
// each later status too (a window never shown, as in a silent run, prints none); every message box
// is printed between "== title [icon] buttons ==" and "== end ==", and a box with a choice says
// which letters to type and reads one line from `in` (the button's name or first letter, any case;
// anything else is Abort).
class ConsoleUi : public Ui {
 public:
  ConsoleUi(std::istream& in, std::ostream& err);
  void SetCaption(const std::string& caption) override;
  void SetLabel(Label label, const std::string& text) override;
  void Show() override;
  void ProcessEvents() override;
  int MessageBox(const std::string& text, const std::string& title, Icon icon,
                 Buttons buttons) override;
  void RunUntilClosed() override;

 private:
  std::istream& in_;
  std::ostream& err_;
  std::string caption_;
  std::string data_;
  std::string status_;
  bool shown_ = false;
};

// The window of an FLTK display: the caption, the three labels over the background picture (a
// GIF file; a plain background when it cannot be read), centred on the screen, and modal boxes.
// An empty `picture` means there is none: the background is plain and nothing is said about it.
std::unique_ptr<Ui> MakeWindowUi(const std::filesystem::path& picture);

// The window's background picture "acefeedpump.gif": beside the program (as the build puts it),
// else in the installed share folder beside the program's bin folder
// (<bin>/../share/catalogsync/). Empty when neither holds a regular file of that name, so that a
// program copied elsewhere runs with a plain window instead of warning on the console.
std::filesystem::path FindWindowPicture(const FileSystem& files,
                                        const std::filesystem::path& program_dir);

// The window when CATALOGSYNC_UI is "window", or when it is unset and a display is named
// (DISPLAY or WAYLAND_DISPLAY); the console otherwise, and when the display cannot be opened.
std::unique_ptr<Ui> MakeUi(std::istream& in, std::ostream& err,
                           const std::filesystem::path& picture);

}  // namespace cs::platform
