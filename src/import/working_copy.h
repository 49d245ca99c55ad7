// The working copy that keeps an import from leaving the current database half changed. While an
// import runs:
//
// - the current database is locked against other imports (a second import of it waits, with the
//   status "Waiting for another import of <path>"), and against other writers;
// - every statement the import sends to the current database reaches a copy of it beside it,
//   "<file>.unfinished-import", made when the import's first write is due;
// - when the import completes, the copy takes the current database's place in one step that a
//   crash cannot cut in half; when it fails, is aborted or the process dies, the current database
//   is as it was, and the copy is removed (by the next import, when the process died).
//
// A Jet current database is worked on as the program's own copy of it, in the run's private
// folder; at the end the tables the import changed are written into a copy of the Jet file beside
// it, "<file>.unfinished-import", which is proved (db/jetfile/jet_update.h) and then renamed over
// the current database. While another program has the Jet file open (its lock file "<name>.ldb"
// has a range locked by another process) the import neither begins its work nor replaces it:
// Jet's "Could not use '<path>'; file already in use.". A Jet file another program changed while
// the import worked (its size, time or inode no longer those it had when the run's copy was made)
// is not replaced either: what that program wrote would be lost.
//
// The log, the statuses and the statements go on naming the current database's own path.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/run_context.h"
#include "db/database_copy.h"
#include "db/engine.h"
#include "platform/file_system.h"

namespace cs::import {

inline constexpr char kWorkingCopySuffix[] = ".unfinished-import";

class WorkingCopy {
 public:
  // For the current database at the Windows path `ToFile`.
  WorkingCopy(core::RunContext& run, db::Engine& engine, const std::string& ToFile);
  // Unless committed: the copy is removed and the current database keeps its content.
  ~WorkingCopy();
  WorkingCopy(const WorkingCopy&) = delete;
  WorkingCopy& operator=(const WorkingCopy&) = delete;

  // Takes the import lock (waiting for another import of the file) and removes the copy a dead
  // run left behind, saying so in the log. Throws RunError when the lock cannot be taken.
  void Lock();
  // Makes the copy and sends the import's statements to it. Throws RunError when it cannot.
  void Make();
  // Puts the copy in the current database's place. Throws RunError when it cannot; the current
  // database is then as it was.
  void Commit();
  // True when the import's statements reached the current database: the copy was committed, or
  // none was made and they went to the file itself (a working copy that could not be made and was
  // passed over). A Jet current database is reached only by a commit. An import whose commit
  // failed and was passed over has not reached it, and must not report success.
  bool Reached() const { return committed_ || (!copy_ && !jet_); }

 private:
  void MakeJet();
  void CommitJet();
  // Throws Jet's "file already in use" while another program has the Jet file open, and an error
  // of its own when the file is no longer the one the run began from.
  void RefuseInUse() const;
  void Discard();
  // The files beside the current database whose names are its own followed by `tail`.
  std::vector<std::filesystem::path> Beside(const std::string& tail) const;

  core::RunContext& run_;
  db::Engine& engine_;
  std::string to_file_;
  std::optional<std::filesystem::path> host_;
  std::unique_ptr<platform::ExclusiveLock> lock_;
  std::unique_ptr<db::WriteLock> writers_out_;
  std::optional<std::filesystem::path> copy_;
  // A Jet current database: the program's copy of it the run began from.
  std::optional<std::filesystem::path> jet_before_;
  // The Jet file as it was when the run's copy of it was made.
  std::optional<platform::FileStat> jet_state_;
  bool jet_ = false;
  bool committed_ = false;
};

}  // namespace cs::import
