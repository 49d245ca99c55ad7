// The relationships of a Jet database that a rewrite of its tables must keep: before any table is
// written, the rows the program means to write are checked against every enforced relationship
// that takes in one of those tables (MSysRelationships).
#pragma once

#include <string>
#include <vector>

#include "db/sqlite.h"
#include "jetfile/database.h"

namespace cs::db::jetfile {

// Refuses new rows that break an enforced relationship of a table `written`: a child row whose key
// (all its columns set) has no parent row in `after`, the program's database holding the new
// rows. Jet's text keys are compared without regard to letter case. Throws RunError naming the
// child table and the relationship.
void CheckRelationships(cs::jetfile::Database& jet, const Database& after, const std::vector<std::string>& written);

}  // namespace cs::db::jetfile
