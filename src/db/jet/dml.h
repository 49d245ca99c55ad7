// The statements that change rows. INSERT INTO .. SELECT matches the select list to the target's
// columns by NAME, as Jet does; UPDATE a INNER JOIN b ON .. SET .. becomes SQLite's UPDATE .. FROM
// on the table whose columns are set; DELETE * FROM t and DELETE t.* FROM t delete rows of t.
#pragma once

#include <string>

#include "db/jet/parser.h"

namespace cs::db::jet {

// Each reads what follows its first word.
std::string Insert(Parser& p);
std::string Update(Parser& p);
std::string Delete(Parser& p);

}  // namespace cs::db::jet
