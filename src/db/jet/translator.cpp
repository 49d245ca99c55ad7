#include "db/jet/translator.h"

#include <optional>

#include "db/jet/errors.h"
#include "db/jet/types.h"
#include "platform/text.h"

namespace cs::db::jet {
namespace {

using platform::EqualsNoCase;

bool IsLinkedSpec(const Token& t) {
  return t.kind == TokenKind::kBracket &&
         EqualsNoCase(platform::Trim(t.text.substr(0, t.text.find(';')), " "), "MS Access") &&
         t.text.find(';') != std::string::npos;
}

// A table as the statement names it, and how SQLite names it.
struct TableRef {
  std::string schema;  // "main" or a linked schema
  std::string name;
  std::string Sql() const { return QuoteName(schema) + "." + QuoteName(name); }
};

// One item of a select list, with the name it gives its column.
struct SelectItem {
  std::string sql;
  std::string name;  // empty for an expression without a name
};

class Translator {
 public:
  Translator(const std::vector<Token>& tokens, const std::map<std::string, std::string>& linked,
             SchemaLookup& schema)
      : t_(tokens), linked_(linked), schema_(schema) {}

  Translation Run() {
    if (Word("SELECT")) {
      out_.sql = Select();
      out_.returns_rows = true;
    } else if (Word("INSERT")) {
      out_.sql = Insert();
    } else if (Word("UPDATE")) {
      out_.sql = Update();
    } else if (Word("DELETE")) {
      out_.sql = Delete();
    } else if (Word("CREATE")) {
      out_.sql = CreateTable();
    } else if (Word("ALTER")) {
      out_.sql = AlterTable();
    } else if (Word("DROP")) {
      out_.sql = DropTable();
    } else {
      throw RunError(kErrSyntax,
                     "Invalid SQL statement; expected 'DELETE', 'INSERT', 'PROCEDURE', 'SELECT', or 'UPDATE'.");
    }
    Symbol(";");
    if (Peek().kind != TokenKind::kEnd) {
      throw RunError(kErrSyntax, "Characters found after end of SQL statement.");
    }
    return std::move(out_);
  }

 private:
  // --- tokens ---------------------------------------------------------------------------------
  const Token& Peek(std::size_t ahead = 0) const {
    return t_[std::min(pos_ + ahead, t_.size() - 1)];
  }
  bool IsWord(const char* w, std::size_t ahead = 0) const {
    const Token& t = Peek(ahead);
    return t.kind == TokenKind::kWord && EqualsNoCase(t.text, w);
  }
  bool IsSymbol(const char* s, std::size_t ahead = 0) const {
    const Token& t = Peek(ahead);
    return t.kind == TokenKind::kSymbol && t.text == s;
  }
  bool Word(const char* w) {
    if (!IsWord(w)) return false;
    ++pos_;
    return true;
  }
  bool Symbol(const char* s) {
    if (!IsSymbol(s)) return false;
    ++pos_;
    return true;
  }
  void ExpectWord(const char* w, const char* clause) {
    if (!Word(w)) throw SyntaxError(clause);
  }
  void ExpectSymbol(const char* s, const char* clause) {
    if (!Symbol(s)) throw SyntaxError(clause);
  }
  static bool IsReserved(const std::string& w) {
    static const char* kReserved[] = {"SELECT", "FROM", "WHERE", "AND", "OR", "NOT", "LIKE", "IS",
                                      "NULL", "INNER", "LEFT", "RIGHT", "JOIN", "ON", "SET",
                                      "INTO", "VALUES", "ORDER", "BY", "AS", "GROUP", "HAVING",
                                      "UNION", "TRUE", "FALSE", "DISTINCT", "OUTER", "ASC", "DESC"};
    for (const char* r : kReserved) {
      if (EqualsNoCase(w, r)) return true;
    }
    return false;
  }
  // A name: [bracketed] or a bare word that is not a keyword.
  std::optional<std::string> Name() {
    const Token& t = Peek();
    if (t.kind == TokenKind::kBracket && !IsLinkedSpec(t)) {
      ++pos_;
      return t.text;
    }
    if (t.kind == TokenKind::kWord && !IsReserved(t.text)) {
      ++pos_;
      return t.text;
    }
    return std::nullopt;
  }
  std::string ExpectName(const char* clause) {
    auto n = Name();
    if (!n || n->empty()) throw SyntaxError(clause);
    return *n;
  }

  std::string Param(Value v) {
    out_.parameters.push_back(std::move(v));
    return "?" + std::to_string(out_.parameters.size());
  }

  // --- tables -------------------------------------------------------------------------------
  TableRef Table(const char* clause) {
    const Token& t = Peek();
    if (IsLinkedSpec(t)) {
      ++pos_;
      auto it = linked_.find(t.text);
      if (it == linked_.end()) throw SyntaxError(clause);
      ExpectSymbol(".", clause);
      TableRef ref{it->second, ExpectName(clause)};
      scope_.push_back(ref);
      return ref;
    }
    TableRef ref{"main", ExpectName(clause)};
    scope_.push_back(ref);
    return ref;
  }

  std::vector<std::string> ColumnsOf(const TableRef& ref) {
    auto cols = schema_.Columns(ref.schema, ref.name);
    if (cols.empty()) throw TableNotFound(ref.name);
    return cols;
  }

  // FROM: a table, then any number of joins.
  std::string From(std::vector<TableRef>* tables = nullptr) {
    TableRef first = Table("FROM clause");
    if (tables) tables->push_back(first);
    std::string sql = first.Sql();
    while (true) {
      std::string kind;
      if (Word("INNER")) {
        kind = "INNER JOIN";
      } else if (Word("LEFT")) {
        Word("OUTER");
        kind = "LEFT JOIN";
      } else if (Word("RIGHT")) {
        Word("OUTER");
        kind = "RIGHT JOIN";
      } else {
        break;
      }
      ExpectWord("JOIN", "JOIN operation");
      TableRef next = Table("JOIN operation");
      if (tables) tables->push_back(next);
      ExpectWord("ON", "JOIN operation");
      sql += " " + kind + " " + next.Sql() + " ON " + Expr();
    }
    return sql;
  }

  // --- expressions --------------------------------------------------------------------------
  std::string Expr() {
    std::string left = AndExpr();
    while (Word("OR")) left = "(" + left + " OR " + AndExpr() + ")";
    return left;
  }
  std::string AndExpr() {
    std::string left = NotExpr();
    while (Word("AND")) left = "(" + left + " AND " + NotExpr() + ")";
    return left;
  }
  std::string NotExpr() {
    if (Word("NOT")) return "(NOT " + NotExpr() + ")";
    return Comparison();
  }
  std::string Comparison() {
    std::string left = Concat();
    for (const char* op : {"=", "<>", "<=", ">=", "<", ">"}) {
      if (Symbol(op)) {
        // Text compares without regard to letter case, as in Jet.
        return "(" + left + " " + op + " " + Concat() + " COLLATE NOCASE)";
      }
    }
    const bool negated = IsWord("NOT") && IsWord("LIKE", 1);
    if (negated) ++pos_;
    if (Word("LIKE")) {
      std::string like;
      if (Peek().kind == TokenKind::kString) {
        like = left + " LIKE " + Param(Value::Text(LikePattern(Peek().text))) + " ESCAPE '\\'";
        ++pos_;
      } else {
        like = left + " LIKE " + Concat();
      }
      return negated ? "(NOT (" + like + "))" : "(" + like + ")";
    }
    if (Word("IS")) {
      const bool not_null = Word("NOT");
      ExpectWord("NULL", "query expression");
      return "(" + left + (not_null ? " IS NOT NULL)" : " IS NULL)");
    }
    return left;
  }
  // Jet's pattern in SQLite's terms: % and _ stay wildcards; [x] is the character x.
  static std::string LikePattern(const std::string& jet) {
    std::string out;
    for (std::size_t i = 0; i < jet.size(); ++i) {
      char c = jet[i];
      if (c == '[') {
        const auto close = jet.find(']', i + 2);
        if (close != i + 2) {
          // A list or range of characters: Jet has it, this layer does not.
          throw SyntaxError("pattern string in query expression");
        }
        c = jet[i + 1];
        i = close;
        if (c == '%' || c == '_' || c == '\\') out += '\\';
        out += c;
        continue;
      }
      if (c == '\\') out += '\\';
      out += c;
    }
    return out;
  }
  std::string Concat() {
    std::string left = Additive();
    while (Symbol("&")) left = "(COALESCE(" + left + ", '') || COALESCE(" + Additive() + ", ''))";
    return left;
  }
  std::string Additive() {
    std::string left = Multiplicative();
    while (true) {
      if (Symbol("+")) {
        left = "(" + left + " + " + Multiplicative() + ")";
      } else if (Symbol("-")) {
        left = "(" + left + " - " + Multiplicative() + ")";
      } else {
        return left;
      }
    }
  }
  std::string Multiplicative() {
    std::string left = Unary();
    while (true) {
      if (Symbol("*")) {
        left = "(" + left + " * " + Unary() + ")";
      } else if (Symbol("/")) {
        left = "(" + left + " / " + Unary() + ")";
      } else {
        return left;
      }
    }
  }
  std::string Unary() {
    if (Symbol("-")) return "(-" + Unary() + ")";
    if (Symbol("+")) return Unary();
    return Primary();
  }
  std::string Primary() {
    const Token& t = Peek();
    switch (t.kind) {
      case TokenKind::kString:
        ++pos_;
        return Param(Value::Text(t.text));
      case TokenKind::kNumber:
        ++pos_;
        return t.text;
      case TokenKind::kDate: {
        auto date = ParseDateLiteral(t.text);
        if (!date) throw SyntaxError("date in query expression '#" + t.text + "#'");
        ++pos_;
        return Param(Value::Date(*date));
      }
      case TokenKind::kSymbol:
        if (Symbol("(")) {
          std::string inner = Expr();
          ExpectSymbol(")", "query expression");
          return "(" + inner + ")";
        }
        throw SyntaxError("query expression");
      default:
        break;
    }
    if (Word("NULL")) return "NULL";
    if (Word("TRUE")) return "-1";
    if (Word("FALSE")) return "0";
    if (t.kind == TokenKind::kWord && IsSymbol("(", 1)) throw SyntaxError("query expression");
    return ColumnRef().sql;
  }

  struct Column {
    std::string qualifier;
    std::string name;
    std::string sql;
  };
  // name, table.name or table!name
  Column ColumnRef() {
    const std::string first = ExpectName("query expression");
    if (IsSymbol(".") || IsSymbol("!")) {
      if (IsSymbol("*", 1)) throw SyntaxError("query expression");
      ++pos_;
      const std::string second = ExpectName("query expression");
      return {first, second, Qualified(first) + "." + QuoteName(second)};
    }
    return {"", first, QuoteName(first)};
  }
  // A table name used as a qualifier: the table in scope of that name.
  std::string Qualified(const std::string& table) const {
    for (const auto& ref : scope_) {
      if (EqualsNoCase(ref.name, table)) return QuoteName(ref.name);
    }
    return QuoteName(table);
  }

  // --- SELECT -------------------------------------------------------------------------------
  // The select list before FROM is known; it is parsed after the FROM clause so that t.* and *
  // can be expanded from the tables.
  struct SelectParts {
    std::vector<SelectItem> items;
    std::string from, where, order;
    std::vector<TableRef> tables;
    bool distinct = false;
    bool star_of_one_table = false;  // the list is a bare * over a single table
  };
  SelectParts SelectBody(bool expand_star) {
    SelectParts parts;
    if (Word("DISTINCT")) parts.distinct = true;
    const std::size_t list_start = pos_;
    // Skip to FROM at depth 0, then read FROM first.
    int depth = 0;
    while (Peek().kind != TokenKind::kEnd && !(depth == 0 && IsWord("FROM"))) {
      if (IsSymbol("(")) ++depth;
      if (IsSymbol(")")) --depth;
      ++pos_;
    }
    const std::size_t list_end = pos_;
    ExpectWord("FROM", "FROM clause");
    parts.from = From(&parts.tables);
    if (Word("WHERE")) parts.where = Expr();
    if (Word("ORDER")) {
      ExpectWord("BY", "ORDER BY clause");
      do {
        std::string e = Expr();
        if (Word("DESC")) {
          e += " DESC";
        } else {
          Word("ASC");
        }
        parts.order += (parts.order.empty() ? "" : ", ") + e;
      } while (Symbol(","));
    }
    const std::size_t after = pos_;
    pos_ = list_start;
    if (list_start == list_end) throw SyntaxError("query expression");
    parts.star_of_one_table = list_end == list_start + 1 && IsSymbol("*") && parts.tables.size() == 1;
    do {
      if (Symbol("*")) {
        if (expand_star) {
          for (const auto& table : parts.tables) AddAll(parts.items, table);
        } else {
          parts.items.push_back({"*", ""});
        }
        continue;
      }
      if (IsSymbol(".", 1) && IsSymbol("*", 2)) {
        const std::string table = ExpectName("query expression");
        pos_ += 2;
        const TableRef* ref = nullptr;
        for (const auto& r : parts.tables) {
          if (EqualsNoCase(r.name, table)) ref = &r;
        }
        if (ref == nullptr) throw ColumnNotFound();
        if (expand_star) {
          AddAll(parts.items, *ref);
        } else {
          parts.items.push_back({QuoteName(ref->name) + ".*", ""});
        }
        continue;
      }
      const std::size_t item_start = pos_;
      std::string sql = Expr();
      std::string name;
      if (pos_ == item_start + 1 || (pos_ == item_start + 3 && (t_[item_start + 1].text == "." ||
                                                              t_[item_start + 1].text == "!"))) {
        name = t_[pos_ - 1].text;  // a plain column keeps its name
      }
      if (Word("AS")) {
        name = ExpectName("query expression");
        sql += " AS " + QuoteName(name);
      }
      parts.items.push_back({sql, name});
    } while (Symbol(","));
    if (pos_ != list_end) throw SyntaxError("query expression");
    pos_ = after;
    return parts;
  }
  void AddAll(std::vector<SelectItem>& items, const TableRef& table) {
    for (const auto& col : ColumnsOf(table)) {
      items.push_back({QuoteName(table.name) + "." + QuoteName(col), col});
    }
  }
  static std::string Assemble(const SelectParts& p, const std::string& list) {
    std::string sql = std::string("SELECT ") + (p.distinct ? "DISTINCT " : "") + list + " FROM " + p.from;
    if (!p.where.empty()) sql += " WHERE " + p.where;
    if (!p.order.empty()) sql += " ORDER BY " + p.order;
    return sql;
  }

  std::string Select() {
    const SelectParts parts = SelectBody(false);
    std::string list;
    for (const auto& item : parts.items) list += (list.empty() ? "" : ", ") + item.sql;
    return Assemble(parts, list);
  }

  // --- INSERT -------------------------------------------------------------------------------
  std::string Insert() {
    ExpectWord("INTO", "INSERT INTO statement");
    const TableRef target = Table("INSERT INTO statement");
    std::vector<std::string> columns;
    if (Symbol("(")) {
      do columns.push_back(ExpectName("INSERT INTO statement"));
      while (Symbol(","));
      ExpectSymbol(")", "INSERT INTO statement");
    }
    const std::vector<std::string> target_columns = ColumnsOf(target);
    const auto target_name = [&](const std::string& name) -> std::optional<std::string> {
      for (const auto& c : target_columns) {
        if (EqualsNoCase(c, name)) return c;
      }
      return std::nullopt;
    };
    for (auto& c : columns) {
      auto real = target_name(c);
      if (!real) throw UnknownInsertField(c);
      c = *real;
    }
    std::string sql = "INSERT INTO " + target.Sql();
    if (Word("VALUES")) {
      ExpectSymbol("(", "INSERT INTO statement");
      std::vector<std::string> values;
      do values.push_back(Expr());
      while (Symbol(","));
      ExpectSymbol(")", "INSERT INTO statement");
      if (columns.empty()) columns.assign(target_columns.begin(), target_columns.begin() +
                                          std::min(values.size(), target_columns.size()));
      if (values.size() != columns.size()) {
        throw RunError(kErrGeneral, "Number of query values and destination fields are not the same.");
      }
      return sql + " (" + Join(columns) + ") VALUES (" + JoinRaw(values) + ")";
    }
    ExpectWord("SELECT", "INSERT INTO statement");
    const SelectParts parts = SelectBody(true);
    std::vector<std::string> exprs;
    if (columns.empty()) {
      // Jet matches the select list to the target by name, never by position.
      for (const auto& item : parts.items) {
        if (item.name.empty()) throw UnknownInsertField("Expr1000");
        auto real = target_name(item.name);
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
      if (exprs.size() != columns.size()) {
        throw RunError(kErrGeneral, "Number of query values and destination fields are not the same.");
      }
    }
    return sql + " (" + Join(columns) + ") " + Assemble(parts, JoinRaw(exprs));
  }
  static std::string Join(const std::vector<std::string>& names) {
    std::string out;
    for (const auto& n : names) out += (out.empty() ? "" : ", ") + QuoteName(n);
    return out;
  }
  static std::string JoinRaw(const std::vector<std::string>& parts) {
    std::string out;
    for (const auto& p : parts) out += (out.empty() ? "" : ", ") + p;
    return out;
  }

  // --- UPDATE -------------------------------------------------------------------------------
  std::string Update() {
    std::vector<TableRef> tables;
    std::vector<std::string> conditions;
    tables.push_back(Table("UPDATE statement"));
    while (Word("INNER")) {
      ExpectWord("JOIN", "JOIN operation");
      tables.push_back(Table("JOIN operation"));
      ExpectWord("ON", "JOIN operation");
      conditions.push_back(Expr());
    }
    if (IsWord("LEFT") || IsWord("RIGHT") || tables.size() > 2) throw SyntaxError("UPDATE statement");
    ExpectWord("SET", "UPDATE statement");
    struct Assignment {
      Column column;
      std::string value;
    };
    std::vector<Assignment> sets;
    do {
      Column c = ColumnRef();
      ExpectSymbol("=", "UPDATE statement");
      sets.push_back({c, Expr()});
    } while (Symbol(","));
    std::string where;
    if (Word("WHERE")) where = Expr();

    // The table whose columns are set: named by the qualifiers, or the one that has the column.
    const TableRef* target = nullptr;
    for (const auto& s : sets) {
      const TableRef* owner = nullptr;
      for (const auto& t : tables) {
        if (s.column.qualifier.empty() ? HasColumn(t, s.column.name)
                                       : EqualsNoCase(t.name, s.column.qualifier)) {
          if (owner != nullptr) throw SyntaxError("UPDATE statement");
          owner = &t;
        }
      }
      if (owner == nullptr) {
        if (tables.size() == 1 && s.column.qualifier.empty()) {
          owner = &tables[0];
        } else {
          throw ColumnNotFound();
        }
      }
      if (target != nullptr && target != owner) throw SyntaxError("UPDATE statement");
      target = owner;
    }
    std::string sql = "UPDATE " + target->Sql() + " SET ";
    for (std::size_t i = 0; i < sets.size(); ++i) {
      sql += (i ? ", " : "") + QuoteName(sets[i].column.name) + " = " + sets[i].value;
    }
    if (tables.size() == 2) {
      const TableRef& other = &tables[0] == target ? tables[1] : tables[0];
      sql += " FROM " + other.Sql();
    }
    if (!where.empty()) conditions.push_back(where);
    if (!conditions.empty()) sql += " WHERE " + JoinWith(conditions, " AND ");
    return sql;
  }
  bool HasColumn(const TableRef& t, const std::string& column) {
    for (const auto& c : ColumnsOf(t)) {
      if (EqualsNoCase(c, column)) return true;
    }
    return false;
  }
  static std::string JoinWith(const std::vector<std::string>& parts, const char* sep) {
    std::string out;
    for (const auto& p : parts) out += (out.empty() ? "" : sep) + p;
    return out;
  }

  // --- DELETE -------------------------------------------------------------------------------
  std::string Delete() {
    std::optional<std::string> named;
    if (!Symbol("*") && !IsWord("FROM")) {
      named = ExpectName("DELETE statement");
      ExpectSymbol(".", "DELETE statement");
      ExpectSymbol("*", "DELETE statement");
    }
    ExpectWord("FROM", "FROM clause");
    const TableRef table = Table("FROM clause");
    if (named && !EqualsNoCase(*named, table.name)) throw SyntaxError("DELETE statement");
    std::string sql = "DELETE FROM " + table.Sql();
    if (Word("WHERE")) sql += " WHERE " + Expr();
    return sql;
  }

  // --- DDL ----------------------------------------------------------------------------------
  std::string CreateTable() {
    ExpectWord("TABLE", "CREATE TABLE statement");
    const std::string table = ExpectName("CREATE TABLE statement");
    ExpectSymbol("(", "CREATE TABLE statement");
    std::vector<std::string> parts;
    do {
      if (IsWord("CONSTRAINT") || IsWord("PRIMARY")) {
        if (Word("CONSTRAINT")) ExpectName("CONSTRAINT clause");
        ExpectWord("PRIMARY", "CONSTRAINT clause");
        ExpectWord("KEY", "CONSTRAINT clause");
        ExpectSymbol("(", "CONSTRAINT clause");
        std::vector<std::string> cols;
        do cols.push_back(ExpectName("CONSTRAINT clause"));
        while (Symbol(","));
        ExpectSymbol(")", "CONSTRAINT clause");
        parts.push_back("PRIMARY KEY (" + Join(cols) + ")");
        continue;
      }
      parts.push_back(ColumnDefinition(Definition("CREATE TABLE statement")));
    } while (Symbol(","));
    ExpectSymbol(")", "CREATE TABLE statement");
    return "CREATE TABLE " + QuoteName("main") + "." + QuoteName(table) + " (" + JoinRaw(parts) + ")";
  }
  ColumnSpec Definition(const char* clause) {
    ColumnSpec c;
    c.name = ExpectName(clause);
    if (Peek().kind != TokenKind::kWord) throw SyntaxError("field definition");
    c.type_word = Peek().text;
    ++pos_;
    if (Symbol("(")) {
      // A size is a whole number within Jet's range (at most 255): anything else, a fraction or
      // a number too large for any column included, is a syntax error.
      const std::string& size = Peek().text;
      if (Peek().kind != TokenKind::kNumber || size.size() > 3 ||
          size.find_first_not_of("0123456789") != std::string::npos) {
        throw SyntaxError("field definition");
      }
      c.size = std::stoi(size);
      ++pos_;
      ExpectSymbol(")", "field definition");
    }
    while (true) {
      if (Word("NOT")) {
        ExpectWord("NULL", "field definition");
        c.not_null = true;
      } else if (Word("NULL")) {
      } else if (Word("DEFAULT")) {
        c.default_sql = DefaultValue();
      } else if (Word("CONSTRAINT")) {
        ExpectName("CONSTRAINT clause");
      } else if (Word("PRIMARY")) {
        ExpectWord("KEY", "CONSTRAINT clause");
        c.primary_key = true;
      } else if (Word("UNIQUE")) {
        c.unique = true;
      } else {
        break;
      }
    }
    return c;
  }
  // A default is a literal; it becomes part of the schema, so it is quoted, never pasted.
  std::string DefaultValue() {
    const bool minus = Symbol("-");
    const Token& t = Peek();
    ++pos_;
    if (t.kind == TokenKind::kNumber) return (minus ? "-" : "") + t.text;
    if (minus) throw SyntaxError("field definition");
    if (t.kind == TokenKind::kString) return QuoteText(t.text);
    if (t.kind == TokenKind::kDate) {
      auto d = ParseDateLiteral(t.text);
      if (!d) throw SyntaxError("field definition");
      return QuoteText(*d);
    }
    if (t.kind == TokenKind::kWord) {
      if (EqualsNoCase(t.text, "TRUE")) return "-1";
      if (EqualsNoCase(t.text, "FALSE")) return "0";
      if (EqualsNoCase(t.text, "NULL")) return "NULL";
    }
    throw SyntaxError("field definition");
  }
  std::string AlterTable() {
    ExpectWord("TABLE", "ALTER TABLE statement");
    const std::string table = ExpectName("ALTER TABLE statement");
    ExpectWord("ADD", "ALTER TABLE statement");
    Word("COLUMN");
    const ColumnSpec c = Definition("ALTER TABLE statement");
    const std::vector<std::string> existing = schema_.Columns("main", table);
    if (existing.empty()) throw TableNotFound(table);
    for (const auto& e : existing) {
      if (EqualsNoCase(e, c.name)) throw ColumnExists(c.name, table);
    }
    return "ALTER TABLE " + QuoteName("main") + "." + QuoteName(table) + " ADD COLUMN " +
           ColumnDefinition(c);
  }
  std::string DropTable() {
    ExpectWord("TABLE", "DROP TABLE statement");
    const std::string table = ExpectName("DROP TABLE statement");
    if (schema_.Columns("main", table).empty()) throw TableNotFound(table);
    return "DROP TABLE " + QuoteName("main") + "." + QuoteName(table);
  }

  const std::vector<Token>& t_;
  const std::map<std::string, std::string>& linked_;
  SchemaLookup& schema_;
  std::size_t pos_ = 0;
  std::vector<TableRef> scope_;
  Translation out_;
};

}  // namespace

std::vector<LinkedDatabase> FindLinkedDatabases(const std::vector<Token>& tokens) {
  std::vector<LinkedDatabase> out;
  for (const auto& t : tokens) {
    if (!IsLinkedSpec(t)) continue;
    bool seen = false;
    for (const auto& l : out) seen = seen || l.spec == t.text;
    if (seen) continue;
    LinkedDatabase link{t.text, "", ""};
    std::size_t start = t.text.find(';') + 1;
    while (start <= t.text.size()) {
      const auto end = std::min(t.text.find(';', start), t.text.size());
      const std::string part = t.text.substr(start, end - start);
      const auto eq = part.find('=');
      if (eq != std::string::npos) {
        const std::string key(platform::Trim(part.substr(0, eq), " "));
        if (EqualsNoCase(key, "DATABASE")) link.database = part.substr(eq + 1);
        if (EqualsNoCase(key, "PWD")) link.password = part.substr(eq + 1);
      }
      start = end + 1;
    }
    out.push_back(std::move(link));
  }
  return out;
}

Translation Translate(const std::vector<Token>& tokens,
                      const std::map<std::string, std::string>& linked, SchemaLookup& schema) {
  return Translator(tokens, linked, schema).Run();
}

}  // namespace cs::db::jet
