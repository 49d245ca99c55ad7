// SELECT and its clauses (FROM with joins, WHERE, ORDER BY). The select list is read after the
// FROM clause, so that "*" and "t.*" can be expanded from the tables' columns where the caller
// needs names (INSERT INTO .. SELECT matches columns by name).
#pragma once

#include <string>
#include <vector>

#include "db/jet/parser.h"

namespace cs::db::jet {

// One item of a select list, with the name it gives its column ("" for an unnamed expression).
struct SelectItem {
  std::string sql;
  std::string name;
};

struct SelectParts {
  std::vector<SelectItem> items;
  std::string from, where, order;
  std::vector<TableRef> tables;
  bool distinct = false;
  bool star_of_one_table = false;  // the list is a bare * over a single table
};

// Reads what follows SELECT. With `expand_star`, "*" and "t.*" become the tables' named columns.
SelectParts SelectBody(Parser& p, bool expand_star);

// The SQLite SELECT of the parts with the given select list.
std::string Assemble(const SelectParts& parts, const std::string& list);

// A whole SELECT statement (after the word SELECT).
std::string Select(Parser& p);

}  // namespace cs::db::jet
