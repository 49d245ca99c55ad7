#include "db/jet/expressions.h"

#include "db/jet/errors.h"
#include "db/jet/types.h"

namespace cs::db::jet {
namespace {

std::string Concat(Parser& p);

std::string Primary(Parser& p) {
  const Token& t = p.Peek();
  switch (t.kind) {
    case TokenKind::kString:
      p.Advance();
      return p.Param(Value::Text(t.text));
    case TokenKind::kNumber:
      p.Advance();
      return t.text;
    case TokenKind::kDate: {
      const auto date = ParseDateLiteral(t.text);
      if (!date) throw SyntaxError("date in query expression '#" + t.text + "#'");
      p.Advance();
      return p.Param(Value::Date(*date));
    }
    case TokenKind::kSymbol:
      if (p.Symbol("(")) {
        std::string inner = Expr(p);
        p.ExpectSymbol(")", "query expression");
        return "(" + inner + ")";
      }
      throw SyntaxError("query expression");
    default:
      break;
  }
  if (p.Word("NULL")) return "NULL";
  if (p.Word("TRUE")) return "-1";
  if (p.Word("FALSE")) return "0";
  // Functions are not part of the statements this program sends.
  if (t.kind == TokenKind::kWord && p.IsSymbol("(", 1)) throw SyntaxError("query expression");
  return ColumnRef(p).sql;
}

std::string Unary(Parser& p) {
  if (p.Symbol("-")) return "(-" + Unary(p) + ")";
  if (p.Symbol("+")) return Unary(p);
  return Primary(p);
}

// Left-associative binary operators over `operand`.
template <class Operand>
std::string Binary(Parser& p, Operand operand, std::initializer_list<const char*> ops) {
  std::string left = operand(p);
  while (true) {
    const char* found = nullptr;
    for (const char* op : ops) {
      if (p.Symbol(op)) {
        found = op;
        break;
      }
    }
    if (found == nullptr) return left;
    left = "(" + left + " " + found + " " + operand(p) + ")";
  }
}

std::string Multiplicative(Parser& p) { return Binary(p, Unary, {"*", "/"}); }
std::string Additive(Parser& p) { return Binary(p, Multiplicative, {"+", "-"}); }

std::string Concat(Parser& p) {
  std::string left = Additive(p);
  while (p.Symbol("&")) left = "(COALESCE(" + left + ", '') || COALESCE(" + Additive(p) + ", ''))";
  return left;
}

std::string Comparison(Parser& p) {
  std::string left = Concat(p);
  for (const char* op : {"=", "<>", "<=", ">=", "<", ">"}) {
    // Text compares without regard to letter case, as in Jet.
    if (p.Symbol(op)) return "(" + left + " " + op + " " + Concat(p) + " COLLATE NOCASE)";
  }
  const bool negated = p.IsWord("NOT") && p.IsWord("LIKE", 1);
  if (negated) p.Advance();
  if (p.Word("LIKE")) {
    std::string like;
    if (p.Peek().kind == TokenKind::kString) {
      like = left + " LIKE " + p.Param(Value::Text(LikePattern(p.Peek().text))) + " ESCAPE '\\'";
      p.Advance();
    } else {
      like = left + " LIKE " + Concat(p);
    }
    return negated ? "(NOT (" + like + "))" : "(" + like + ")";
  }
  if (p.Word("IS")) {
    const bool not_null = p.Word("NOT");
    p.ExpectWord("NULL", "query expression");
    return "(" + left + (not_null ? " IS NOT NULL)" : " IS NULL)");
  }
  return left;
}

std::string NotExpr(Parser& p) {
  if (p.Word("NOT")) return "(NOT " + NotExpr(p) + ")";
  return Comparison(p);
}

std::string AndExpr(Parser& p) {
  std::string left = NotExpr(p);
  while (p.Word("AND")) left = "(" + left + " AND " + NotExpr(p) + ")";
  return left;
}

}  // namespace

std::string Expr(Parser& p) {
  std::string left = AndExpr(p);
  while (p.Word("OR")) left = "(" + left + " OR " + AndExpr(p) + ")";
  return left;
}

ColumnName ColumnRef(Parser& p) {
  const std::string first = p.ExpectName("query expression");
  if (p.IsSymbol(".") || p.IsSymbol("!")) {
    if (p.IsSymbol("*", 1)) throw SyntaxError("query expression");
    p.Advance();
    const std::string second = p.ExpectName("query expression");
    return {first, second, p.Qualified(first) + "." + QuoteName(second)};
  }
  return {"", first, QuoteName(first)};
}

std::string LikePattern(const std::string& jet) {
  std::string out;
  for (std::size_t i = 0; i < jet.size(); ++i) {
    char c = jet[i];
    if (c == '[') {
      const auto close = jet.find(']', i + 2);
      // A list or range of characters: Jet has it, this layer does not.
      if (close != i + 2) throw SyntaxError("pattern string in query expression");
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

}  // namespace cs::db::jet
