// Whole-file work on a database: a copy made as one consistent state of the file, the atomic
// replacement of a database by another, and a lock that keeps other writers out meanwhile.
#pragma once

#include <filesystem>

#include "db/sqlite.h"
#include "platform/file_system.h"

namespace cs::db {

// Copies the database at `from` into a new file at `to` (which must not exist yet), as one
// consistent state of the file. The copy is not flushed to the disk: ReplaceDatabase flushes it
// before it takes a database's place, and a copy cut short by a crash is never used. Throws
// RunError when either file cannot be used; a half-made copy is removed again.
void CopyDatabase(platform::FileSystem& files, const std::filesystem::path& from,
                  const std::filesystem::path& to);

// Gives `target` the content of `replacement` in one step that a crash cannot cut in half:
// `replacement` is flushed and renamed over `target` and the folder is flushed; a target in
// write-ahead-log mode, whose log lives beside it, receives the pages in one transaction of its own
// instead. `replacement` is gone afterwards. Throws RunError on failure; `target` is then unchanged.
void ReplaceDatabase(platform::FileSystem& files, const std::filesystem::path& replacement,
                     const std::filesystem::path& target);

// Keeps every other writer out of a database file for as long as it lives (SQLite's write lock,
// taken on a connection of its own); readers go on. Throws RunError when the lock cannot be had
// within the busy timeout.
class WriteLock {
 public:
  explicit WriteLock(const std::filesystem::path& file);
  ~WriteLock();
  WriteLock(const WriteLock&) = delete;
  WriteLock& operator=(const WriteLock&) = delete;
  // True when the file is in write-ahead-log mode.
  bool WriteAheadLog() const { return wal_; }

 private:
  Database db_;
  bool wal_ = false;
};

}  // namespace cs::db
