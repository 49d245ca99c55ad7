#include "app/frm_main.h"

#include "core/source_names.h"
#include "platform/run_error.h"

namespace cs::app {

using core::Procedure;
using core::RunProcedure;

frmMain::frmMain(Services s)
    : services_(s),
      errors_(s.ui, log_),
      registry_(*this),
      log_(s.system, s.clock, registry_, errors_.WithoutLog()),
      engine_(s.system.files(), s.system.paths(), s.system.paths().prefix() / "checked-databases"),
      Vendor_(std::make_unique<config::clsVendor>(*this, registry_)) {}

void frmMain::Status(const std::string& text) {
  RunProcedure(*this, source::frmMain::Status, [&](Procedure& p) {
    LOG("Status = " + text);
    if (!RunSilent_) p.step([&] { SetLabel(platform::Label::kStatus, text); });
  });
}

void frmMain::LOG(std::string& text) {
  if (LogEnabled_) log_.AddToLog(text);
}

void frmMain::lblStatus_Change() {
  RunProcedure(*this, source::frmMain::lblStatus_Change, [&](Procedure& p) {
    p.step([&] { services_.ui.ProcessEvents(); });
    p.step([&] { services_.clock.Sleep(200); });
  });
}

void frmMain::GoSleep(std::int32_t lSeconds) {
  RunProcedure(*this, source::frmMain::GoSleep, [&](Procedure& p) {
    p.step([&] {
      const std::int64_t ms = static_cast<std::int64_t>(lSeconds) * 1000;
      if (ms > INT32_MAX || ms < INT32_MIN) throw RunError(err::kOverflow, "Overflow");
      if (ms > 0) services_.clock.Sleep(static_cast<std::uint32_t>(ms));
    });
  });
}

int frmMain::MessageBox(const std::string& text, const std::string& title, platform::Icon icon,
                        platform::Buttons buttons) {
  // One log line: each run of line breaks of the box is a " / ".
  std::string line;
  bool at_break = false;
  for (const char c : text) {
    if (c == '\r' || c == '\n') {
      at_break = true;
      continue;
    }
    if (at_break && !line.empty()) line += " / ";
    at_break = false;
    line += c;
  }
  AddToLog("Message box \"" + title + "\": " + line);
  return services_.ui.MessageBox(text, title, icon, buttons);
}

void frmMain::SetCaption(const std::string& caption) {
  caption_ = caption;
  services_.ui.SetCaption(caption);
}

void frmMain::SetLabel(platform::Label label, const std::string& text) {
  if (label == platform::Label::kData) lbl_data_ = text;
  const bool changed = label == platform::Label::kStatus && text != lbl_status_;
  if (label == platform::Label::kStatus) lbl_status_ = text;
  services_.ui.SetLabel(label, text);
  if (changed) lblStatus_Change();
}

}  // namespace cs::app
