// Jet SQL to SQLite SQL, one statement at a time, with Jet's meaning. Each statement form has its
// own rewriter (select.h, dml.h, ddl.h); a statement outside them is a syntax error, never
// something else run. Literals never reach the SQL text: text and dates become numbered parameters.
//
// The linked-database reference [MS Access;DATABASE=path;PWD=pw].[table] names a table of another
// file. The caller finds the references first (FindLinkedDatabases), attaches each file under a
// schema name, and passes the names in; the translator then names the tables there.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "db/jet/tokenizer.h"
#include "db/value.h"

namespace cs::db::jet {

struct LinkedDatabase {
  std::string spec;      // the text inside the first brackets, the key of the reference
  std::string database;  // DATABASE=
  std::string password;  // PWD=
};

// The linked-database references of a statement, each spec once, in order of appearance.
std::vector<LinkedDatabase> FindLinkedDatabases(const std::vector<Token>& tokens);

// What the translator needs to know of the databases: a table's columns in their order, or an
// empty list when the table does not exist. `schema` is "main" or a linked schema's name.
class SchemaLookup {
 public:
  virtual ~SchemaLookup() = default;
  virtual std::vector<std::string> Columns(const std::string& schema, const std::string& table) = 0;
};

struct Translation {
  std::string sql;
  std::vector<Value> parameters;  // parameters[i] is ?(i+1)
};

// `linked` maps each reference's spec to the schema name it is attached under.
Translation Translate(const std::vector<Token>& tokens,
                      const std::map<std::string, std::string>& linked, SchemaLookup& schema);

}  // namespace cs::db::jet
