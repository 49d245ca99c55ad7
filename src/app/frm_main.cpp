#include "app/frm_main.h"

#include "app/source_names.h"
#include "platform/run_error.h"

namespace cs::app {

frmMain::frmMain(Services s)
    : services(s),
      errors(s.ui, log),
      registry(s.system.registry(), errors),
      log(s.system, s.clock, registry, errors.WithoutLog()) {
  NewVendor();
}

void frmMain::NewVendor() {
  Vendor = std::make_unique<config::clsVendor>(registry, services.system.profile(), errors);
}

void frmMain::Status(const std::string& text) {
  Guard guard(errors, source::frmMain::Status);
  guard.Step([&] { LOG("Status = " + text); }) && guard.Step([&] {
    if (!RunSilent) SetLabel(platform::Label::kStatus, text);
  });
}

void frmMain::LOG(std::string& text) {
  Guard guard(errors, source::frmMain::LOG);
  guard.Step([&] {
    if (LogEnabled) log.AddToLog(text);
  });
}

void frmMain::LOG(const std::string& text) {
  std::string copy = text;
  LOG(copy);
}

void frmMain::lblStatus_Change() {
  Guard guard(errors, source::frmMain::lblStatus_Change);
  guard.Step([&] { services.ui.ProcessEvents(); }) &&
      guard.Step([&] { services.clock.Sleep(200); });
}

void frmMain::GoSleep(std::int32_t lSeconds) {
  Guard guard(errors, source::frmMain::GoSleep);
  guard.Step([&] {
    const std::int64_t ms = static_cast<std::int64_t>(lSeconds) * 1000;
    if (ms > INT32_MAX || ms < INT32_MIN) throw RunError(err::kOverflow, "Overflow");
    if (ms > 0) services.clock.Sleep(static_cast<std::uint32_t>(ms));
  });
}

void frmMain::SetCaption(const std::string& caption) {
  caption_ = caption;
  services.ui.SetCaption(caption);
}

void frmMain::SetLabel(platform::Label label, const std::string& text) {
  if (label == platform::Label::kData) lbl_data_ = text;
  const bool changed = label == platform::Label::kStatus && text != lbl_status_;
  if (label == platform::Label::kStatus) lbl_status_ = text;
  services.ui.SetLabel(label, text);
  if (changed) lblStatus_Change();
}

}  // namespace cs::app
