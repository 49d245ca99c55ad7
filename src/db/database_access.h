// The conventions every database access follows, and the three small operations of run control:
// DoesFileExist, CanOpenDBFile and DeleteTable.
#pragma once

#include <string>

#include "app/frm_main.h"
#include "db/connection.h"

namespace cs::db {

// "Provider=Microsoft.Jet.OLEDB.4.0; Data Source=<path>;Jet OLEDB:Database Password=qed5190"
std::string ConnectionString(const std::string& path);

// True when a file (not a folder) exists at the Windows path.
bool DoesFileExist(app::frmMain& form, const std::string& path);

// True when a connection to the file opens with the database password. Shows the status
// "Validating Database File" and logs whether the file is OK; never shows a dialog.
bool CanOpenDBFile(app::frmMain& form, const std::string& path);

// Drops the table; every error is ignored and the result is always True.
bool DeleteTable(const std::string& table, Connection& cnn);

}  // namespace cs::db
