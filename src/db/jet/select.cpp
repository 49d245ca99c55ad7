#include "db/jet/select.h"

#include "db/jet/errors.h"
#include "db/jet/expressions.h"
#include "db/jet/types.h"
#include "platform/text.h"

namespace cs::db::jet {
namespace {

// FROM: a table, then any number of joins.
std::string From(Parser& p, std::vector<TableRef>& tables) {
  const TableRef first = p.Table("FROM clause");
  tables.push_back(first);
  std::string sql = first.Sql();
  while (true) {
    std::string kind;
    if (p.Word("INNER")) {
      kind = "INNER JOIN";
    } else if (p.Word("LEFT")) {
      p.Word("OUTER");
      kind = "LEFT JOIN";
    } else if (p.Word("RIGHT")) {
      p.Word("OUTER");
      kind = "RIGHT JOIN";
    } else {
      break;
    }
    p.ExpectWord("JOIN", "JOIN operation");
    const TableRef next = p.Table("JOIN operation");
    tables.push_back(next);
    p.ExpectWord("ON", "JOIN operation");
    sql += " " + kind + " " + next.Sql() + " ON " + Expr(p);
  }
  return sql;
}

void AddAll(Parser& p, std::vector<SelectItem>& items, const TableRef& table) {
  for (const auto& col : p.ColumnsOf(table)) {
    items.push_back({QuoteName(table.name) + "." + QuoteName(col), col});
  }
}

}  // namespace

SelectParts SelectBody(Parser& p, bool expand_star) {
  SelectParts parts;
  if (p.Word("DISTINCT")) parts.distinct = true;
  const std::size_t list_start = p.Position();
  // Skip to FROM at depth 0, then read FROM first.
  int depth = 0;
  while (!p.AtEnd() && !(depth == 0 && p.IsWord("FROM"))) {
    if (p.IsSymbol("(")) ++depth;
    if (p.IsSymbol(")")) --depth;
    p.Advance();
  }
  const std::size_t list_end = p.Position();
  p.ExpectWord("FROM", "FROM clause");
  parts.from = From(p, parts.tables);
  if (p.Word("WHERE")) parts.where = Expr(p);
  if (p.Word("ORDER")) {
    p.ExpectWord("BY", "ORDER BY clause");
    do {
      std::string e = Expr(p);
      if (p.Word("DESC")) {
        e += " DESC";
      } else {
        p.Word("ASC");
      }
      parts.order += (parts.order.empty() ? "" : ", ") + e;
    } while (p.Symbol(","));
  }
  const std::size_t after = p.Position();
  p.Seek(list_start);
  if (list_start == list_end) throw SyntaxError("query expression");
  parts.star_of_one_table = list_end == list_start + 1 && p.IsSymbol("*") && parts.tables.size() == 1;
  do {
    if (p.Symbol("*")) {
      if (expand_star) {
        for (const auto& table : parts.tables) AddAll(p, parts.items, table);
      } else {
        parts.items.push_back({"*", ""});
      }
      continue;
    }
    if (p.IsSymbol(".", 1) && p.IsSymbol("*", 2)) {
      const std::string table = p.ExpectName("query expression");
      p.Seek(p.Position() + 2);
      const TableRef* ref = nullptr;
      for (const auto& r : parts.tables) {
        if (platform::EqualsNoCase(r.name, table)) ref = &r;
      }
      if (ref == nullptr) throw ColumnNotFound();
      if (expand_star) {
        AddAll(p, parts.items, *ref);
      } else {
        parts.items.push_back({QuoteName(ref->name) + ".*", ""});
      }
      continue;
    }
    const std::size_t item_start = p.Position();
    std::string sql = Expr(p);
    std::string name;
    // A plain column keeps its name.
    const std::size_t used = p.Position() - item_start;
    if (used == 1 || (used == 3 && (p.At(item_start + 1).text == "." || p.At(item_start + 1).text == "!"))) {
      name = p.At(p.Position() - 1).text;
    }
    if (p.Word("AS")) {
      name = p.ExpectName("query expression");
      sql += " AS " + QuoteName(name);
    }
    parts.items.push_back({sql, name});
  } while (p.Symbol(","));
  if (p.Position() != list_end) throw SyntaxError("query expression");
  p.Seek(after);
  return parts;
}

std::string Assemble(const SelectParts& parts, const std::string& list) {
  std::string sql = std::string("SELECT ") + (parts.distinct ? "DISTINCT " : "") + list + " FROM " + parts.from;
  if (!parts.where.empty()) sql += " WHERE " + parts.where;
  if (!parts.order.empty()) sql += " ORDER BY " + parts.order;
  return sql;
}

std::string Select(Parser& p) {
  const SelectParts parts = SelectBody(p, false);
  std::vector<std::string> list;
  for (const auto& item : parts.items) list.push_back(item.sql);
  return Assemble(parts, JoinRaw(list));
}

}  // namespace cs::db::jet
