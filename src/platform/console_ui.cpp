#include <istream>
#include <ostream>

#include "platform/text.h"
#include "platform/ui.h"

namespace cs::platform {

ConsoleUi::ConsoleUi(std::istream& in, std::ostream& err) : in_(in), err_(err) {}

void ConsoleUi::SetCaption(const std::string& caption) { caption_ = caption; }

void ConsoleUi::SetLabel(Label label, const std::string& text) {
  if (label == Label::kData) data_ = text;
  if (label != Label::kStatus) return;
  status_ = text;
  // A window that is not shown shows no status: a silent run prints none.
  if (shown_) err_ << "Status: " << text << std::endl;
}

void ConsoleUi::Show() {
  if (shown_) return;
  shown_ = true;
  err_ << caption_ << "\n" << data_ << std::endl;
  // The status the label held before the window appeared is what it shows first.
  if (!status_.empty()) err_ << "Status: " << status_ << std::endl;
}

void ConsoleUi::ProcessEvents() {}

int ConsoleUi::MessageBox(const std::string& text, const std::string& title, Icon icon,
                          Buttons buttons) {
  const char* icon_name = icon == Icon::kCritical      ? "critical"
                          : icon == Icon::kInformation ? "information"
                                                       : "none";
  const bool choice = buttons == Buttons::kAbortRetryIgnore;
  err_ << "== " << title << " [" << icon_name << "] " << (choice ? "Abort/Retry/Ignore" : "OK")
       << " ==\n";
  // Each CR, LF or CR LF is one line break.
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      err_ << '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      err_ << text[i];
    }
  }
  err_ << "\n== end ==" << std::endl;
  if (!choice) return kIdOk;
  err_ << "Type A for Abort, R for Retry or I for Ignore, then Enter." << std::endl;
  std::string answer;
  if (!std::getline(in_, answer)) return kIdAbort;
  const std::string a = LCase(Trim(answer, " \t\r"));
  if (a == "r" || a == "retry") return kIdRetry;
  if (a == "i" || a == "ignore") return kIdIgnore;
  return kIdAbort;
}

void ConsoleUi::RunUntilClosed() {
  // Nothing to wait for on a console: the window is "closed" at once.
}

}  // namespace cs::platform
