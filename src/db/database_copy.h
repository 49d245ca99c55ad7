// Whole-file copies of a database, made under a read lock (or with SQLite's online backup) and
// put back with the online backup, so that a copy is always one consistent state of the file.
#pragma once

#include <filesystem>

namespace cs::db {

// Copies the database at `from` into a new file at `to` (which must not exist yet), flushed to
// the disk. Throws RunError when either file cannot be used; a half-made copy is removed again.
void CopyDatabase(const std::filesystem::path& from, const std::filesystem::path& to);

// Puts the copy at `copy` back into the database at `target`, page for page, in place (the
// target keeps its inode, so locks held on it stay meaningful). Throws RunError on failure.
void RestoreDatabase(const std::filesystem::path& copy, const std::filesystem::path& target);

}  // namespace cs::db
