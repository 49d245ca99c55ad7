// The three small operations of run control that touch database files: DoesFileExist,
// CanOpenDBFile and DeleteTable.
#pragma once

#include <string>

#include "core/run_context.h"
#include "db/connection.h"
#include "db/connection_string.h"

namespace cs::db {

// True when a file (not a folder) exists at the Windows path.
bool DoesFileExist(core::RunContext& run, const std::string& path);

// How the run will use a database file: read it (a data file, which may be a Jet file the run
// reads through a private copy), or write it (the current database: one of the program's own
// database files, or a Jet 4 file, which the import replaces whole with a proved copy).
enum class Use { kRead, kWrite };

// True when a connection to the file opens with the database password. Shows the status
// "Validating Database File" and logs whether the file is OK; never shows a dialog. An Access 97
// or Access 2007 and later file to be written does not open: the log says why, whatever -L says.
// A Jet file to be written is opened with its tables' definitions: their rows are read when the
// import uses them (lazy_rows.h).
bool CanOpenDBFile(core::RunContext& run, Engine& engine, const std::string& path, Use use = Use::kRead);

// Drops the table; every error is ignored and the result is always True.
bool DeleteTable(const std::string& table, Connection& cnn);

}  // namespace cs::db
