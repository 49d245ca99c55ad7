// The database password gate of a file: a one-row table MSysPassword (Algorithm 'sha256', Salt 16
// random bytes as 32 lower-case hex digits, Hash the lower-case hex of SHA-256(salt followed by the
// password's bytes)). A file without that table, or without a row in it, has no password and opens
// with any; a file whose record names another password does not open. Like Jet's password, this is
// a gate against opening a file by mistake, not encryption.
#pragma once

#include <string>

#include "core/error_reporter.h"
#include "db/sqlite.h"

namespace cs::db {

inline constexpr const char* kDatabasePassword = core::kDatabasePassword;

// Checks the password against the record of the database attached under `schema` ("main" for the
// file itself). Throws jet::WrongPassword for another password, jet::NotADatabase (naming
// `shown_path`) for a record this program cannot read.
void CheckPassword(const Database& db, const std::string& schema, const std::string& password,
                   const std::string& shown_path);

// Creates the MSysPassword table in a new database and, unless the password is empty, its record.
void RecordPassword(const Database& db, const std::string& password);

}  // namespace cs::db
