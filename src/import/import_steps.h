// Steps the vendor data import and the custom data import share.
#pragma once

#include <string>

#include "core/procedure.h"
#include "db/connection.h"
#include "import/import_run.h"

namespace cs::import {

// Logs a statement (the password masked in the log only), then runs it.
void LogAndRun(core::RunContext& run, db::Connection& cnn, const std::string& sql);

// Writes the run vendor's two date values under PriceFilesKey from the current database's date:
// Name = "YYYYMMDD", Name + "InstallDate" = "MM/DD/YYYY", each a step of the calling procedure.
// Nothing when the date does not read. A value the registry does not take is said in the log.
void RecordVendorDates(const ImportRun& r, core::Procedure& p, const std::string& toFileDate);

}  // namespace cs::import
