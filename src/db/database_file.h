// The checks a database file passes before the program uses it, whether it is opened or linked:
// it exists as a regular file, begins as an SQLite database does, is intact (quick_check, once per
// state of the file), and its recorded password, if any, is the one given. Opening never creates a
// file.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "db/engine.h"
#include "db/sqlite.h"

namespace cs::db {

// The host file to open for a database named by a Windows path: the file itself, or for a Jet
// (Access) file, the run's private copy of it (its password checked against its header). Throws
// Jet's "Could not find file" for a path that names no regular file, "Unrecognized database
// format" for a file that is neither.
std::filesystem::path DatabaseFile(Engine& engine, const std::string& windows_path,
                                   const std::string& password);

// The host file of a database named by a Windows path when it is an SQLite database; nothing
// otherwise. Reads no more than its first bytes.
std::optional<std::filesystem::path> SqliteFile(const Engine& engine, const std::string& windows_path);

// Checks the database attached to `db` under `schema` (the file `host`, shown as `windows_path`):
// intact, and opened with its password. Throws Jet's error otherwise.
void VerifyDatabase(Engine& engine, const Database& db, const std::string& schema,
                    const std::string& windows_path, const std::string& password,
                    const std::filesystem::path& host);

// True when the file begins as an SQLite database does.
bool HasSqliteHeader(const std::filesystem::path& file);

}  // namespace cs::db
