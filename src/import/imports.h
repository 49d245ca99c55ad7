// The two imports of a data file into the user's current Yield Warden database.
//
// ImportFile: a vendor data file. A full monthly file replaces the product table Ace (in append
// mode only the vendor's own rows of it) and the planogram table; a month-to-date file ("MTD" in
// its path) is staged in AceMTD and merged into Ace. Both refill AdditionalDetails, stamp
// AceFileDate with the file's date, empty ListBoxs and record the vendor's date values.
//
// ImportCustom: a custom data file ("CUSTOMDATA.YW"): its AceRetail prices become the competitor
// price Comp5 of the store table, and Comp5 is named "CustRetail".
//
// Both return True when all their database work is done. Imports of one database run one at a
// time, and one that does not complete leaves the current database as it was (working_copy.h).
#pragma once

#include <string>

#include "import/import_run.h"

namespace cs::import {

bool ImportFile(const ImportRun& r, const std::string& FromFile, const std::string& ToFile);
bool ImportCustom(const ImportRun& r, const std::string& FromFile, const std::string& ToFile);

}  // namespace cs::import
