// The program's tables as Jet tables: a column's Jet type from the type word it was declared
// with, a value of the program's database as the Jet value its column holds, a table's rows
// pulled as Jet rows, and a table's Jet schema. Shared by the conversion into a new Jet file and
// the update of a Jet current database.
#pragma once

#include <string>
#include <vector>

#include "db/sqlite.h"
#include "db/value.h"
#include "jetfile/row_source.h"
#include "jetfile/table_layout.h"
#include "platform/run_error.h"

namespace cs::db::jetfile {

// Now as an OLE date (days since 1899-12-30), for a new file's creation date and catalog rows.
double OleNow();

// "The table 'T' cannot be written as a Jet table: column 'C' <why>."
RunError CannotWrite(const std::string& table, const std::string& column, const std::string& why);

// "The table 'T' cannot be written into the current database: <why>".
RunError CannotWriteInto(const std::string& table, const std::string& why);

// "Path/File access error (<what>: <why>)": a failure of a file being written, `what` saying what
// was done to which file ("writing /srv/yw/YieldWarden.yw.unfinished-import").
RunError PathFileAccessError(const std::string& what, const std::string& why);

// The name among `names` that is `name` without regard to letter case (as Jet and SQLite compare
// table names), or nullptr.
const std::string* FindNoCase(const std::vector<std::string>& names, const std::string& name);

// The Jet column of a column of the program's format, from the Jet type word its definition
// begins with ("TEXT(20)", "CURRENCY", "MEMO TEXT", ...). CannotWrite for a type Jet files of
// this program do not hold, or a size out of Jet's range.
cs::jetfile::ColumnSpec JetColumn(const std::string& table, const std::string& name,
                                  const std::string& declared);

// The value `v` of column `column` of `table` as the Jet column `spec` holds it, into `out`: numbers
// in range, currency rounded to the ten-thousandth, dates from their text. Text goes into the text
// `out` holds already, if it does, using its room again. CannotWrite for a value the column's type
// cannot hold.
void ToJetValue(const std::string& table, const std::string& column, const cs::jetfile::ColumnSpec& spec,
                const FieldView& v, cs::jetfile::Value& out);

// The rows of one table, read from the program's database in its scan order and turned into Jet
// values: `columns` are read, in that order, as `specs` say.
class TableRows : public cs::jetfile::RowSource {
 public:
  TableRows(const Database& db, const std::string& table, std::vector<std::string> columns,
            std::vector<cs::jetfile::ColumnSpec> specs);
  bool Next(std::vector<cs::jetfile::Value>& row) override;
  bool Rewind() override;

 private:
  std::string table_;
  std::vector<std::string> columns_;
  std::vector<cs::jetfile::ColumnSpec> specs_;
  Statement select_;
};

// `SELECT columns FROM table`, the names quoted.
std::string SelectColumns(const std::string& table, const std::vector<std::string>& columns);

// The tables of the program's database attached as `schema` ("main" for its own), in the order
// they were made: every table but SQLite's own and the password record.
std::vector<std::string> ProgramTables(const Database& db, const std::string& schema = "main");

// A table of the program's database: its Jet schema and the names of its columns.
struct SourceTable {
  std::string name;
  std::vector<std::string> columns;
  cs::jetfile::TableSchema schema;
};

// The table's columns, its primary key ("PrimaryKey") and its other indexes: those made by
// CREATE INDEX, and UNIQUE constraints (named after their first column, as Access names a unique
// index made in the table designer). CannotWrite for what a Jet table cannot hold.
SourceTable ReadTableSchema(const Database& db, const std::string& table);

}  // namespace cs::db::jetfile
