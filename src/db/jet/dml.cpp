#include "db/jet/dml.h"

#include <optional>

#include "db/jet/errors.h"
#include "db/jet/expressions.h"
#include "db/jet/select.h"
#include "db/jet/types.h"
#include "platform/text.h"

namespace cs::db::jet {
namespace {

using platform::EqualsNoCase;

RunError CountMismatch() {
  return RunError(kErrGeneral, "Number of query values and destination fields are not the same.");
}

}  // namespace

std::string Insert(Parser& p) {
  p.ExpectWord("INTO", "INSERT INTO statement");
  const TableRef target = p.Table("INSERT INTO statement");
  std::vector<std::string> columns;
  if (p.Symbol("(")) {
    do columns.push_back(p.ExpectName("INSERT INTO statement"));
    while (p.Symbol(","));
    p.ExpectSymbol(")", "INSERT INTO statement");
  }
  const std::vector<std::string> target_columns = p.ColumnsOf(target);
  const auto target_name = [&](const std::string& name) -> std::optional<std::string> {
    for (const auto& c : target_columns) {
      if (EqualsNoCase(c, name)) return c;
    }
    return std::nullopt;
  };
  for (auto& c : columns) {
    const auto real = target_name(c);
    if (!real) throw UnknownInsertField(c);
    c = *real;
  }
  const std::string sql = "INSERT INTO " + target.Sql();
  if (p.Word("VALUES")) {
    p.ExpectSymbol("(", "INSERT INTO statement");
    std::vector<std::string> values;
    do values.push_back(Expr(p));
    while (p.Symbol(","));
    p.ExpectSymbol(")", "INSERT INTO statement");
    if (columns.empty()) {
      columns.assign(target_columns.begin(),
                     target_columns.begin() + static_cast<std::ptrdiff_t>(std::min(values.size(), target_columns.size())));
    }
    if (values.size() != columns.size()) throw CountMismatch();
    return sql + " (" + JoinNames(columns) + ") VALUES (" + JoinRaw(values) + ")";
  }
  p.ExpectWord("SELECT", "INSERT INTO statement");
  const SelectParts parts = SelectBody(p, true);
  std::vector<std::string> exprs;
  if (columns.empty()) {
    // Jet matches the select list to the target by name, never by position.
    for (const auto& item : parts.items) {
      if (item.name.empty()) throw UnknownInsertField("Expr1000");
      const auto real = target_name(item.name);
      if (!real) throw UnknownInsertField(item.name);
      for (const auto& c : columns) {
        if (EqualsNoCase(c, *real)) throw RunError(kErrGeneral, "Duplicate output destination '" + *real + "'.");
      }
      columns.push_back(*real);
      exprs.push_back(item.sql);
    }
    // Both tables with the same columns in the same order: by name is by position, and SQLite
    // copies the rows as they are stored when the select list is the bare *.
    if (parts.star_of_one_table && columns == target_columns) return sql + " " + Assemble(parts, "*");
  } else {
    for (const auto& item : parts.items) exprs.push_back(item.sql);
    if (exprs.size() != columns.size()) throw CountMismatch();
  }
  return sql + " (" + JoinNames(columns) + ") " + Assemble(parts, JoinRaw(exprs));
}

std::string Update(Parser& p) {
  std::vector<TableRef> tables;
  std::vector<std::string> conditions;
  tables.push_back(p.Table("UPDATE statement"));
  while (p.Word("INNER")) {
    p.ExpectWord("JOIN", "JOIN operation");
    tables.push_back(p.Table("JOIN operation"));
    p.ExpectWord("ON", "JOIN operation");
    conditions.push_back(Expr(p));
  }
  if (p.IsWord("LEFT") || p.IsWord("RIGHT") || tables.size() > 2) throw SyntaxError("UPDATE statement");
  p.ExpectWord("SET", "UPDATE statement");
  struct Assignment {
    ColumnName column;
    std::string value;
  };
  std::vector<Assignment> sets;
  do {
    ColumnName c = ColumnRef(p);
    p.ExpectSymbol("=", "UPDATE statement");
    sets.push_back({c, Expr(p)});
  } while (p.Symbol(","));
  if (p.Word("WHERE")) conditions.push_back(Expr(p));

  // The table whose columns are set: named by the qualifiers, or the one that has the column.
  const TableRef* target = nullptr;
  for (const auto& s : sets) {
    const TableRef* owner = nullptr;
    for (const auto& t : tables) {
      if (s.column.qualifier.empty() ? p.HasColumn(t, s.column.name)
                                     : EqualsNoCase(t.name, s.column.qualifier)) {
        if (owner != nullptr) throw SyntaxError("UPDATE statement");
        owner = &t;
      }
    }
    if (owner == nullptr) {
      if (tables.size() != 1 || !s.column.qualifier.empty()) throw ColumnNotFound();
      owner = &tables[0];
    }
    if (target != nullptr && target != owner) throw SyntaxError("UPDATE statement");
    target = owner;
  }
  std::vector<std::string> assignments;
  for (const auto& s : sets) assignments.push_back(QuoteName(s.column.name) + " = " + s.value);
  std::string sql = "UPDATE " + target->Sql() + " SET " + JoinRaw(assignments);
  if (tables.size() == 2) sql += " FROM " + (&tables[0] == target ? tables[1] : tables[0]).Sql();
  if (!conditions.empty()) sql += " WHERE " + JoinRaw(conditions, " AND ");
  return sql;
}

std::string Delete(Parser& p) {
  std::optional<std::string> named;
  if (!p.Symbol("*") && !p.IsWord("FROM")) {
    named = p.ExpectName("DELETE statement");
    p.ExpectSymbol(".", "DELETE statement");
    p.ExpectSymbol("*", "DELETE statement");
  }
  p.ExpectWord("FROM", "FROM clause");
  const TableRef table = p.Table("FROM clause");
  if (named && !EqualsNoCase(*named, table.name)) throw SyntaxError("DELETE statement");
  std::string sql = "DELETE FROM " + table.Sql();
  if (p.Word("WHERE")) sql += " WHERE " + Expr(p);
  return sql;
}

}  // namespace cs::db::jet
