#include "import/working_copy.h"

#include <algorithm>

#include "db/connection_string.h"
#include "db/jet/errors.h"
#include "db/jetfile/header.h"
#include "db/jetfile/jet_update.h"
#include "platform/run_error.h"

namespace fs = std::filesystem;

namespace cs::import {
namespace {

// Copies kept by earlier releases of the program, which put them back after a failed import;
// one left by a run that died may be the user's only copy of a database, so it is named, never
// removed.
constexpr char kEarlierCopySuffix[] = ".before-import";

}  // namespace

WorkingCopy::WorkingCopy(core::RunContext& run, db::Engine& engine, const std::string& ToFile)
    : run_(run), engine_(engine), to_file_(ToFile), host_(run.paths().Resolve(ToFile)) {}

WorkingCopy::~WorkingCopy() { Discard(); }

std::vector<fs::path> WorkingCopy::Beside(const std::string& tail) const {
  std::vector<std::string> names;
  std::vector<fs::path> out;
  if (run_.machine().files().ListDirectory(host_->parent_path(), names)) return out;
  const std::string head = host_->filename().string() + tail;
  for (const auto& name : names) {
    if (name.starts_with(head)) out.push_back(host_->parent_path() / name);
  }
  std::sort(out.begin(), out.end());
  return out;
}

void WorkingCopy::Lock() {
  // A missing database is reported by the import's own steps.
  if (!host_ || lock_) return;
  platform::LockOptions options;
  // An import that completes renames its copy over the file: a run that waited for it then
  // locks the file that has the name by then.
  options.follow_replacement = true;
  options.on_wait = [&] { run_.Status("Waiting for another import of " + to_file_); };
  if (const std::error_code ec = run_.machine().files().LockExclusive(*host_, options, lock_)) {
    lock_.reset();
    throw RunError(err::kPermissionDenied, "The current database '" + to_file_ +
                                               "' cannot be locked against other imports: " + ec.message());
  }
  for (const auto& left : Beside(kWorkingCopySuffix)) {
    if (!run_.machine().files().Remove(left)) {
      run_.AddToLog("The working copy of an import that did not end was removed: " +
                    run_.paths().ToWindows(left));
    }
  }
  for (const auto& left : Beside(kEarlierCopySuffix)) {
    run_.AddToLog("A copy of the current database made by an import that did not end is kept at " +
                  run_.paths().ToWindows(left));
  }
}

void WorkingCopy::Make() {
  if (!host_) throw RunError(err::kFileNotFound, "File not found: " + to_file_);
  if (copy_) return;
  jet_ = db::jetfile::ReadHeader(*host_).has_value();
  if (jet_) return MakeJet();
  // No other program writes the current database while the import works on its copy, so that
  // nothing written meanwhile is lost when the copy takes its place.
  if (!writers_out_) writers_out_ = std::make_unique<db::WriteLock>(*host_);
  const fs::path copy = host_->string() + kWorkingCopySuffix;
  run_.machine().files().Remove(copy);
  db::CopyDatabase(run_.machine().files(), *host_, copy);
  copy_ = copy;
  engine_.checks().Vouch(*host_, copy);
  engine_.SetStandIn(*host_, copy);
}

void WorkingCopy::MakeJet() {
  RefuseInUse();
  jet_state_ = run_.machine().files().Stat(*host_);
  const std::string password = db::ParseConnectionString(db::ConnectionString(to_file_)).password;
  engine_.ReadRowsWhenUsed(*host_);
  const fs::path before = engine_.JetCopy(*host_, to_file_, password);
  const fs::path copy = engine_.PrivateFile("current-database.yw");
  run_.machine().files().Remove(copy);
  db::CopyDatabase(run_.machine().files(), before, copy);
  engine_.lazy_rows().Derive(before, copy);
  jet_before_ = before;
  copy_ = copy;
  engine_.checks().Vouch(before, copy);
  engine_.SetStandIn(*host_, copy);
}

void WorkingCopy::RefuseInUse() const {
  fs::path lock_file = *host_;
  lock_file.replace_extension(".ldb");
  bool held = false;
  if (const std::error_code ec = run_.machine().files().HeldByAnotherProcess(lock_file, held)) {
    throw RunError(err::kPermissionDenied, "The lock file " + run_.paths().ToWindows(lock_file) +
                                               " of the current database cannot be examined: " + ec.message());
  }
  if (held) throw RunError(db::jet::kErrGeneral, "Could not use '" + to_file_ + "'; file already in use.");
  if (jet_state_ && run_.machine().files().Stat(*host_) != *jet_state_) {
    throw RunError(db::jet::kErrGeneral, "The current database '" + to_file_ +
                                             "' was changed by another program while the import ran; nothing "
                                             "was written into it. Run the import again.");
  }
}

void WorkingCopy::CommitJet() {
  platform::FileSystem& files = run_.machine().files();
  engine_.ClearStandIn(*host_);
  const fs::path written = host_->string() + kWorkingCopySuffix;
  db::jetfile::JetUpdateResult result;
  try {
    RefuseInUse();
    files.Remove(written);
    // A current database whose tables did not all read is not written.
    engine_.lazy_rows().CheckReadable(*copy_);
    const db::LazyRows::Tables lazy = engine_.lazy_rows().Of(*copy_);
    result = db::jetfile::WriteJetUpdate(files, {*host_, *jet_before_, *copy_, written, lazy.unread, lazy.replaced},
                                         to_file_);
    if (result.Changed()) {
      // The last moment another program could have opened the file.
      RefuseInUse();
      if (const std::error_code ec = files.RenameDurably(written, *host_)) {
        throw RunError(err::kPathFileAccess, "Path/File access error (replacing " + to_file_ + ": " + ec.message() + ")");
      }
    } else {
      files.Remove(written);
    }
  } catch (...) {
    files.Remove(written);
    engine_.SetStandIn(*host_, *copy_);
    throw;
  }
  const auto list = [](const std::vector<std::string>& names) {
    std::string out;
    for (const auto& n : names) out += (out.empty() ? "" : ", ") + n;
    return out.empty() ? std::string("none") : out;
  };
  run_.LOG("Current database written: rows of " + list(result.rewritten) + "; made again: " + list(result.remade) +
           "; made: " + list(result.created) + "; dropped: " + list(result.dropped));
  files.Remove(*copy_);
  engine_.lazy_rows().Forget(*copy_);
  copy_.reset();
  jet_before_.reset();
  jet_state_.reset();
  committed_ = true;
}

void WorkingCopy::Commit() {
  if (!copy_) return;
  if (jet_before_) return CommitJet();
  engine_.ClearStandIn(*host_);
  // A database in write-ahead-log mode receives the copy's pages in a transaction of its own,
  // which needs the write lock held here.
  if (writers_out_ && writers_out_->WriteAheadLog()) writers_out_.reset();
  try {
    db::ReplaceDatabase(run_.machine().files(), *copy_, *host_);
  } catch (...) {
    engine_.SetStandIn(*host_, *copy_);
    throw;
  }
  copy_.reset();
  committed_ = true;
  // Written whole by this run: the next run need not read it whole again while it stays so.
  engine_.checks().Keep(*host_);
  writers_out_.reset();
}

void WorkingCopy::Discard() {
  if (copy_) {
    engine_.ClearStandIn(*host_);
    run_.machine().files().Remove(*copy_);
    engine_.lazy_rows().Forget(*copy_);
    copy_.reset();
  }
  jet_before_.reset();
  jet_state_.reset();
  writers_out_.reset();
  lock_.reset();
}

}  // namespace cs::import
