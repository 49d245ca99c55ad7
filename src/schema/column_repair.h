// Column repair: a product table "Ace" made by an older release may lack columns that the
// month-to-date merge writes. FixColumns probes five of them and adds each one that is missing.
#pragma once

#include <string>

#include "core/run_context.h"
#include "db/connection.h"

namespace cs::schema {

// Probes [Active], InUpdate, ParentRSC, RSCCount and MfgNumber of "Ace", in that order, and adds
// the missing ones. A failing ALTER goes to the error dialog: Retry checks that column again,
// Ignore goes on with the next, Abort leaves the rest unprobed.
void FixColumns(core::RunContext& run, db::Connection& cnn);

// Probes one column of "Ace"; when the probe fails for whatever reason, adds the column with
// "ALTER TABLE Ace ADD COLUMN <name> <type>;" (whose failure is thrown to the caller).
bool CheckColumn(db::Connection& cnn, const std::string& column, const std::string& type);

}  // namespace cs::schema
