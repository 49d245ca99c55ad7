// Steps the vendor data import and the custom data import share.
#pragma once

#include <string>

#include "app/frm_main.h"
#include "db/connection.h"

namespace cs::import {

// Logs a statement (the password masked in the log only), then runs it.
void LogAndRun(app::frmMain& form, db::Connection& cnn, const std::string& sql);

// Writes the run vendor's two date values under PriceFilesKey from the current database's date:
// Name = "YYYYMMDD", Name + "InstallDate" = "MM/DD/YYYY". Nothing when the date does not read.
// False when Abort was answered to a failing write.
bool RecordVendorDates(app::frmMain& form, app::Guard& guard, const std::string& toFileDate);

}  // namespace cs::import
