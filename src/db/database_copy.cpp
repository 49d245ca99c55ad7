#include "db/database_copy.h"

#include <sqlite3.h>

#include <string>
#include <system_error>

#include "db/jet/errors.h"
#include "platform/run_error.h"

namespace fs = std::filesystem;

namespace cs::db {
namespace {

RunError CannotCopy(const fs::path& file, const std::string& why) {
  return RunError(jet::kErrGeneral, "Cannot copy the database '" + file.string() + "': " + why);
}

// Copies every page of `source` into `target` in one backup step (one transaction of the target).
void Backup(const Database& target, const Database& source, const fs::path& shown) {
  sqlite3_backup* backup = sqlite3_backup_init(target.get(), "main", source.get(), "main");
  if (backup == nullptr) throw CannotCopy(shown, sqlite3_errmsg(target.get()));
  int rc;
  do {
    rc = sqlite3_backup_step(backup, -1);
    if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) sqlite3_sleep(50);
  } while (rc == SQLITE_OK || rc == SQLITE_BUSY || rc == SQLITE_LOCKED);
  const int finished = sqlite3_backup_finish(backup);
  if (rc != SQLITE_DONE) throw CannotCopy(shown, sqlite3_errstr(rc));
  if (finished != SQLITE_OK) throw CannotCopy(shown, sqlite3_errstr(finished));
}

bool InWriteAheadLogMode(const Database& db) {
  const auto mode = Query(db, "PRAGMA journal_mode");
  return !mode.empty() && mode[0] == "wal";
}

}  // namespace

void CopyDatabase(platform::FileSystem& files, const fs::path& from, const fs::path& to) {
  if (files.Stat(to).kind != platform::FileKind::kMissing) {
    throw RunError(err::kFileAlreadyExists, "File already exists");
  }
  try {
    const Database source = Database::Open(from, Database::Mode::kReadOnly, CannotCopy(from, "it cannot be opened"));
    // A read transaction keeps every writer out while the file is copied, so its bytes are one
    // consistent state. A file in write-ahead-log mode keeps part of that state beside it and is
    // copied page by page instead.
    Query(source, "BEGIN");
    Query(source, "SELECT count(*) FROM sqlite_schema");
    if (InWriteAheadLogMode(source)) {
      const Database target = Database::Open(to, Database::Mode::kCreate, CannotCopy(to, "it cannot be made"));
      Backup(target, source, from);
    } else {
      if (const std::error_code ec = files.CopyFile(from, to)) throw CannotCopy(from, ec.message());
    }
  } catch (...) {
    files.Remove(to);
    throw;
  }
}

void ReplaceDatabase(platform::FileSystem& files, const fs::path& replacement, const fs::path& target) {
  bool wal = false;
  {
    const Database probe = Database::Open(target, Database::Mode::kReadOnly, CannotCopy(target, "it cannot be opened"));
    wal = InWriteAheadLogMode(probe);
  }
  if (wal) {
    {
      const Database source = Database::Open(replacement, Database::Mode::kReadOnly,
                                             CannotCopy(replacement, "it cannot be opened"));
      const Database dest = Database::Open(target, Database::Mode::kReadWrite, CannotCopy(target, "it cannot be opened"));
      Backup(dest, source, replacement);
    }
    files.Remove(replacement);
    return;
  }
  if (const std::error_code ec = files.RenameDurably(replacement, target)) {
    throw RunError(jet::kErrGeneral,
                   "Cannot put the imported database in place of '" + target.string() + "': " + ec.message());
  }
}

WriteLock::WriteLock(const fs::path& file)
    : db_(Database::Open(file, Database::Mode::kReadWrite, jet::NotADatabase(file.string()))) {
  wal_ = InWriteAheadLogMode(db_);
  db_.Exec("BEGIN IMMEDIATE");
}

WriteLock::~WriteLock() {
  try {
    db_.Exec("ROLLBACK");
  } catch (const RunError&) {
    // Closing the connection ends the transaction as well.
  }
}

}  // namespace cs::db
