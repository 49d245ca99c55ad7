#include "db/jet/ddl.h"

#include "db/jet/errors.h"
#include "db/jet/types.h"
#include "platform/text.h"

namespace cs::db::jet {
namespace {

// A default is a literal; it becomes part of the schema, so it is quoted, never pasted.
std::string DefaultValue(Parser& p) {
  const bool minus = p.Symbol("-");
  const Token& t = p.Peek();
  p.Advance();
  if (t.kind == TokenKind::kNumber) return (minus ? "-" : "") + t.text;
  if (minus) throw SyntaxError("field definition");
  if (t.kind == TokenKind::kString) return QuoteText(t.text);
  if (t.kind == TokenKind::kDate) {
    const auto d = ParseDateLiteral(t.text);
    if (!d) throw SyntaxError("field definition");
    return QuoteText(*d);
  }
  if (t.kind == TokenKind::kWord) {
    if (platform::EqualsNoCase(t.text, "TRUE")) return "-1";
    if (platform::EqualsNoCase(t.text, "FALSE")) return "0";
    if (platform::EqualsNoCase(t.text, "NULL")) return "NULL";
  }
  throw SyntaxError("field definition");
}

ColumnSpec Definition(Parser& p, const char* clause) {
  ColumnSpec c;
  c.name = p.ExpectName(clause);
  if (p.Peek().kind != TokenKind::kWord) throw SyntaxError("field definition");
  c.type_word = p.Peek().text;
  p.Advance();
  if (p.Symbol("(")) {
    // A size is a whole number within Jet's range (at most 255): anything else, a fraction or a
    // number too large for any column included, is a syntax error.
    const std::string& size = p.Peek().text;
    if (p.Peek().kind != TokenKind::kNumber || size.size() > 3 ||
        size.find_first_not_of("0123456789") != std::string::npos) {
      throw SyntaxError("field definition");
    }
    c.size = std::stoi(size);
    p.Advance();
    p.ExpectSymbol(")", "field definition");
  }
  while (true) {
    if (p.Word("NOT")) {
      p.ExpectWord("NULL", "field definition");
      c.not_null = true;
    } else if (p.Word("NULL")) {
    } else if (p.Word("DEFAULT")) {
      c.default_sql = DefaultValue(p);
    } else if (p.Word("CONSTRAINT")) {
      p.ExpectName("CONSTRAINT clause");
    } else if (p.Word("PRIMARY")) {
      p.ExpectWord("KEY", "CONSTRAINT clause");
      c.primary_key = true;
    } else if (p.Word("UNIQUE")) {
      c.unique = true;
    } else {
      return c;
    }
  }
}

}  // namespace

std::string CreateTable(Parser& p) {
  p.ExpectWord("TABLE", "CREATE TABLE statement");
  const std::string table = p.ExpectName("CREATE TABLE statement");
  p.ExpectSymbol("(", "CREATE TABLE statement");
  std::vector<std::string> parts;
  do {
    if (p.IsWord("CONSTRAINT") || p.IsWord("PRIMARY")) {
      if (p.Word("CONSTRAINT")) p.ExpectName("CONSTRAINT clause");
      p.ExpectWord("PRIMARY", "CONSTRAINT clause");
      p.ExpectWord("KEY", "CONSTRAINT clause");
      p.ExpectSymbol("(", "CONSTRAINT clause");
      std::vector<std::string> cols;
      do cols.push_back(p.ExpectName("CONSTRAINT clause"));
      while (p.Symbol(","));
      p.ExpectSymbol(")", "CONSTRAINT clause");
      parts.push_back("PRIMARY KEY (" + JoinNames(cols) + ")");
      continue;
    }
    parts.push_back(ColumnDefinition(Definition(p, "CREATE TABLE statement")));
  } while (p.Symbol(","));
  p.ExpectSymbol(")", "CREATE TABLE statement");
  return "CREATE TABLE " + QuoteName("main") + "." + QuoteName(table) + " (" + JoinRaw(parts) + ")";
}

std::string AlterTable(Parser& p) {
  p.ExpectWord("TABLE", "ALTER TABLE statement");
  const std::string table = p.ExpectName("ALTER TABLE statement");
  p.ExpectWord("ADD", "ALTER TABLE statement");
  p.Word("COLUMN");
  const ColumnSpec c = Definition(p, "ALTER TABLE statement");
  const std::vector<std::string> existing = p.schema().Columns("main", table);
  if (existing.empty()) throw TableNotFound(table);
  for (const auto& e : existing) {
    if (platform::EqualsNoCase(e, c.name)) throw ColumnExists(c.name, table);
  }
  return "ALTER TABLE " + QuoteName("main") + "." + QuoteName(table) + " ADD COLUMN " + ColumnDefinition(c);
}

std::string DropTable(Parser& p) {
  p.ExpectWord("TABLE", "DROP TABLE statement");
  const std::string table = p.ExpectName("DROP TABLE statement");
  if (p.schema().Columns("main", table).empty()) throw TableNotFound(table);
  return "DROP TABLE " + QuoteName("main") + "." + QuoteName(table);
}

}  // namespace cs::db::jet
