#include "import/working_copy.h"

#include <algorithm>

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

void WorkingCopy::Commit() {
  if (!copy_) return;
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
  // Written whole by this run: the next run need not read it whole again while it stays so.
  engine_.checks().Keep(*host_);
  writers_out_.reset();
}

void WorkingCopy::Discard() {
  if (copy_) {
    engine_.ClearStandIn(*host_);
    run_.machine().files().Remove(*copy_);
    copy_.reset();
  }
  writers_out_.reset();
  lock_.reset();
}

}  // namespace cs::import
