#include "db/database_copy.h"

#include <sqlite3.h>

#include <string>
#include <system_error>

#include "db/jet/errors.h"
#include "platform/file_lock.h"
#include "platform/run_error.h"

namespace cs::db {
namespace {

constexpr int kBusyTimeoutMs = 10000;

struct Handle {
  sqlite3* db = nullptr;
  ~Handle() { sqlite3_close(db); }
};

void OpenFile(Handle& h, const std::filesystem::path& path, int flags) {
  if (sqlite3_open_v2(path.c_str(), &h.db, flags, nullptr) != SQLITE_OK) {
    throw RunError(jet::kErrGeneral, "Cannot open the database '" + path.string() + "'.");
  }
  sqlite3_busy_timeout(h.db, kBusyTimeoutMs);
}

// Copies every page of `source` into `target` in one backup step.
void Backup(sqlite3* target, sqlite3* source, const std::filesystem::path& shown) {
  sqlite3_backup* backup = sqlite3_backup_init(target, "main", source, "main");
  if (backup == nullptr) {
    throw RunError(jet::kErrGeneral, std::string("Cannot copy the database '") + shown.string() +
                                         "': " + sqlite3_errmsg(target));
  }
  int rc;
  do {
    rc = sqlite3_backup_step(backup, -1);
    if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) sqlite3_sleep(50);
  } while (rc == SQLITE_OK || rc == SQLITE_BUSY || rc == SQLITE_LOCKED);
  sqlite3_backup_finish(backup);
  if (rc != SQLITE_DONE) {
    throw RunError(jet::kErrGeneral, std::string("Cannot copy the database '") + shown.string() +
                                         "': " + sqlite3_errstr(rc));
  }
}

std::string JournalMode(sqlite3* db) {
  sqlite3_stmt* stmt = nullptr;
  std::string mode;
  if (sqlite3_prepare_v2(db, "PRAGMA journal_mode", -1, &stmt, nullptr) == SQLITE_OK &&
      sqlite3_step(stmt) == SQLITE_ROW) {
    const auto* text = sqlite3_column_text(stmt, 0);
    if (text != nullptr) mode = reinterpret_cast<const char*>(text);
  }
  sqlite3_finalize(stmt);
  return mode;
}

}  // namespace

void CopyDatabase(const std::filesystem::path& from, const std::filesystem::path& to) {
  std::error_code ec;
  if (std::filesystem::exists(to, ec)) throw RunError(err::kFileAlreadyExists, "File already exists");
  try {
    Handle source;
    OpenFile(source, from, SQLITE_OPEN_READONLY);
    // A read transaction keeps every writer out while the file is copied, so its bytes are one
    // consistent state. A file in write-ahead-log mode keeps part of that state beside it and is
    // copied page by page instead.
    if (sqlite3_exec(source.db, "BEGIN; SELECT count(*) FROM sqlite_schema;", nullptr, nullptr,
                     nullptr) != SQLITE_OK) {
      throw RunError(jet::kErrGeneral, "Cannot read the database '" + from.string() + "': " +
                                           sqlite3_errmsg(source.db));
    }
    if (JournalMode(source.db) == "wal") {
      Handle target;
      OpenFile(target, to, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
      Backup(target.db, source.db, from);
    } else {
      try {
        platform::CopyFileDurably(from, to);
      } catch (const std::exception& e) {
        throw RunError(jet::kErrGeneral, "Cannot copy the database '" + from.string() + "': " + e.what());
      }
    }
  } catch (...) {
    std::filesystem::remove(to, ec);
    throw;
  }
}

void RestoreDatabase(const std::filesystem::path& copy, const std::filesystem::path& target) {
  Handle source, dest;
  OpenFile(source, copy, SQLITE_OPEN_READONLY);
  OpenFile(dest, target, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
  Backup(dest.db, source.db, copy);
}

}  // namespace cs::db
