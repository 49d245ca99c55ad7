// The statements that change the schema: CREATE TABLE, ALTER TABLE .. ADD COLUMN and DROP TABLE,
// with Jet's type words kept in the schema (types.h) and Jet's errors for a table that exists or is
// missing and a column that exists.
#pragma once

#include <string>

#include "db/jet/parser.h"

namespace cs::db::jet {

// Each reads what follows its first word.
std::string CreateTable(Parser& p);
std::string AlterTable(Parser& p);
std::string DropTable(Parser& p);

}  // namespace cs::db::jet
