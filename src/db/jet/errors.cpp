#include "db/jet/errors.h"

#include <sqlite3.h>

namespace cs::db::jet {
namespace {

// The name after "prefix" up to the end or the given terminator, e.g. "no such table: main.Ace".
std::string After(const std::string& message, const std::string& prefix) {
  std::string rest = message.substr(message.find(prefix) + prefix.size());
  if (const auto dot = rest.rfind('.'); dot != std::string::npos) rest = rest.substr(dot + 1);
  return rest;
}

}  // namespace

RunError TableNotFound(const std::string& table) {
  return RunError(kErrTableNotFound, "The Microsoft Jet database engine cannot find the input table or query '" +
                                         table + "'.  Make sure it exists and that its name is spelled correctly.");
}
RunError ColumnNotFound() {
  return RunError(kErrNoValueGiven, "No value given for one or more required parameters.");
}
RunError SyntaxError(const std::string& clause) {
  return RunError(kErrSyntax, "Syntax error in " + clause + ".");
}
RunError TableExists(const std::string& table) {
  return RunError(kErrSyntax, "Table '" + table + "' already exists.");
}
RunError ColumnExists(const std::string& column, const std::string& table) {
  return RunError(kErrSyntax, "Field '" + column + "' already exists in table '" + table + "'.");
}
RunError WrongPassword() { return RunError(kErrPassword, "Not a valid password."); }
RunError FileNotFound(const std::string& path) {
  return RunError(kErrGeneral, "Could not find file '" + path + "'.");
}
RunError NotADatabase(const std::string& path) {
  return RunError(kErrGeneral, "Unrecognized database format '" + path + "'.");
}
RunError TextTooLong() {
  return RunError(kErrGeneral,
                  "The field is too small to accept the amount of data you attempted to add.  "
                  "Try inserting or pasting less data.");
}
RunError DuplicateKey() {
  return RunError(kErrGeneral,
                  "The changes you requested to the table were not successful because they would "
                  "create duplicate values in the index, primary key, or relationship.  Change the "
                  "data in the field or fields that contain duplicate data, remove the index, or "
                  "redefine the index to permit duplicate entries and try again.");
}
RunError UnknownInsertField(const std::string& field) {
  return RunError(kErrGeneral, "The INSERT INTO statement contains the following unknown field name: '" +
                                   field + "'.  Make sure you have typed the name correctly, and try the operation again.");
}
RunError ProviderNotFound() {
  return RunError(kErrProvider, "Provider cannot be found. It may not be properly installed.");
}
RunError InvalidName(std::string_view name) {
  std::string shown;
  for (const char c : name) shown += static_cast<unsigned char>(c) < 0x20 ? '?' : c;
  return RunError(kErrSyntax, "'" + shown + "' is not a valid name.  Make sure that it does not "
                              "include invalid characters or punctuation and that it is not too long.");
}

RunError FromSqlite(int code, const std::string& message) {
  const int primary = code & 0xFF;
  if (message.starts_with("no such table: ")) return TableNotFound(After(message, "no such table: "));
  if (message.starts_with("no such column: ")) return ColumnNotFound();
  if (message.starts_with("table ") && message.ends_with(" already exists")) {
    // SQLite names the table as the statement quoted it: table "Ace" already exists.
    std::string table = message.substr(6, message.size() - 6 - 15);
    if (table.size() >= 2 && table.front() == '"' && table.back() == '"') {
      table = table.substr(1, table.size() - 2);
    }
    return TableExists(table);
  }
  if (message.starts_with("CHECK constraint failed: jet_len_")) return TextTooLong();
  if (code == SQLITE_CONSTRAINT_PRIMARYKEY || code == SQLITE_CONSTRAINT_UNIQUE) return DuplicateKey();
  if (code == SQLITE_CONSTRAINT_NOTNULL) {
    return RunError(kErrGeneral, "The field '" + After(message, "NOT NULL constraint failed: ") +
                                     "' cannot contain a Null value because the Required property for this "
                                     "field is set to True.  Enter a value in this field.");
  }
  if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED) {
    return RunError(kErrGeneral, "Could not update; currently locked.");
  }
  if (primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB) {
    return RunError(kErrGeneral, "The database is damaged: " + message);
  }
  return RunError(kErrGeneral, message);
}

}  // namespace cs::db::jet
