// Jet's expressions in SQLite's terms: text compares without regard to letter case, "&" joins
// values as text (Null as empty text), Like patterns keep % and _ as wildcards and [x] as the
// character x, True is -1 and False 0, [Table]![Column] is [Table].[Column], a date #m/d/yyyy# is a
// date parameter.
#pragma once

#include <string>

#include "db/jet/parser.h"

namespace cs::db::jet {

std::string Expr(Parser& p);

struct ColumnName {
  std::string qualifier;
  std::string name;
  std::string sql;
};
// name, table.name or table!name
ColumnName ColumnRef(Parser& p);

// Jet's Like pattern in SQLite's terms (with "\" as the escape character).
std::string LikePattern(const std::string& jet);

}  // namespace cs::db::jet
