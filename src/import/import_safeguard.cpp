#include "import/import_safeguard.h"

#include "db/database_copy.h"
#include "platform/run_error.h"

namespace cs::import {

ImportSafeguard::ImportSafeguard(app::frmMain& form, const std::string& ToFile, const char* source)
    : form_(form), source_(source), to_file_(ToFile) {
  host_ = form.services.system.paths().Resolve(ToFile);
  if (!host_) return;  // the import's own steps report a missing database
  lock_ = std::make_unique<platform::FileLock>(*host_, [&] {
    form_.Status("Waiting for another import of " + to_file_);
  });
  for (const auto& left : platform::SiblingsNamed(*host_, kCopySuffix)) {
    LogAlways("A copy of the current database made by an import that did not end is kept at " +
              form_.services.system.paths().ToWindows(left));
  }
}

void ImportSafeguard::KeepCopy() {
  if (!host_) throw RunError(err::kFileNotFound, "File not found: " + to_file_);
  std::filesystem::path copy = host_->string() + kCopySuffix;
  std::error_code ec;
  for (int n = 2; std::filesystem::exists(copy, ec); ++n) {
    copy = host_->string() + kCopySuffix + "-" + std::to_string(n);
  }
  db::CopyDatabase(*host_, copy);
  copy_ = copy;
}

void ImportSafeguard::Finish(bool result) {
  if (!copy_) return;
  if (!result) {
    app::Guard guard(form_.errors, source_);
    bool restored = false;
    guard.Step([&] {
      db::RestoreDatabase(*copy_, *host_);
      restored = true;
    });
    if (!restored) {
      LogAlways("The current database could not be put back as it was before the import; its "
                "copy is kept at " + form_.services.system.paths().ToWindows(*copy_));
      copy_.reset();
      return;
    }
    form_.LOG("The current database was put back as it was before the import");
  }
  platform::RemoveFile(*copy_);
  copy_.reset();
}

void ImportSafeguard::LogAlways(std::string text) {
  app::Guard guard(form_.errors, source_);
  guard.Step([&] { form_.log.AddToLog(text); });
}

}  // namespace cs::import
