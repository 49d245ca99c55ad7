#include "db/jet/parser.h"

#include "db/jet/errors.h"
#include "db/jet/types.h"
#include "platform/text.h"

namespace cs::db::jet {

using platform::EqualsNoCase;

namespace {

bool IsReserved(const std::string& w) {
  static const char* kReserved[] = {"SELECT", "FROM", "WHERE", "AND", "OR", "NOT", "LIKE", "IS",
                                    "NULL", "INNER", "LEFT", "RIGHT", "JOIN", "ON", "SET",
                                    "INTO", "VALUES", "ORDER", "BY", "AS", "GROUP", "HAVING",
                                    "UNION", "TRUE", "FALSE", "DISTINCT", "OUTER", "ASC", "DESC"};
  for (const char* r : kReserved) {
    if (w.size() == std::char_traits<char>::length(r) && EqualsNoCase(w, r)) return true;
  }
  return false;
}

}  // namespace

std::string TableRef::Sql() const { return QuoteName(schema) + "." + QuoteName(name); }

bool IsLinkedSpec(const Token& t) {
  return t.kind == TokenKind::kBracket && t.text.find(';') != std::string::npos &&
         EqualsNoCase(platform::Trim(t.text.substr(0, t.text.find(';')), " "), "MS Access");
}

std::string JoinNames(const std::vector<std::string>& names) {
  std::string out;
  for (const auto& n : names) out += (out.empty() ? "" : ", ") + QuoteName(n);
  return out;
}

std::string JoinRaw(const std::vector<std::string>& parts, const char* sep) {
  std::string out;
  for (const auto& p : parts) out += (out.empty() ? "" : sep) + p;
  return out;
}

bool Parser::IsWord(const char* w, std::size_t ahead) const {
  const Token& t = Peek(ahead);
  return t.kind == TokenKind::kWord && EqualsNoCase(t.text, w);
}

bool Parser::IsSymbol(const char* s, std::size_t ahead) const {
  const Token& t = Peek(ahead);
  return t.kind == TokenKind::kSymbol && t.text == s;
}

bool Parser::Word(const char* w) {
  if (!IsWord(w)) return false;
  ++pos_;
  return true;
}

bool Parser::Symbol(const char* s) {
  if (!IsSymbol(s)) return false;
  ++pos_;
  return true;
}

void Parser::ExpectWord(const char* w, const char* clause) {
  if (!Word(w)) throw SyntaxError(clause);
}

void Parser::ExpectSymbol(const char* s, const char* clause) {
  if (!Symbol(s)) throw SyntaxError(clause);
}

std::optional<std::string> Parser::Name() {
  const Token& t = Peek();
  if ((t.kind == TokenKind::kBracket && !IsLinkedSpec(t)) ||
      (t.kind == TokenKind::kWord && !IsReserved(t.text))) {
    ++pos_;
    return t.text;
  }
  return std::nullopt;
}

std::string Parser::ExpectName(const char* clause) {
  auto n = Name();
  if (!n || n->empty()) throw SyntaxError(clause);
  return *n;
}

std::string Parser::Param(Value v) {
  parameters_.push_back(std::move(v));
  return "?" + std::to_string(parameters_.size());
}

TableRef Parser::Table(const char* clause) {
  const Token& t = Peek();
  TableRef ref;
  if (IsLinkedSpec(t)) {
    ++pos_;
    const auto it = linked_.find(t.text);
    if (it == linked_.end()) throw SyntaxError(clause);
    ExpectSymbol(".", clause);
    ref = {it->second, ExpectName(clause)};
  } else {
    ref = {"main", ExpectName(clause)};
  }
  scope_.push_back(ref);
  return ref;
}

std::vector<std::string> Parser::ColumnsOf(const TableRef& ref) {
  auto cols = schema_.Columns(ref.schema, ref.name);
  if (cols.empty()) throw TableNotFound(ref.name);
  return cols;
}

bool Parser::HasColumn(const TableRef& ref, const std::string& column) {
  for (const auto& c : ColumnsOf(ref)) {
    if (EqualsNoCase(c, column)) return true;
  }
  return false;
}

std::string Parser::Qualified(const std::string& table) const {
  for (const auto& ref : scope_) {
    if (EqualsNoCase(ref.name, table)) return QuoteName(ref.name);
  }
  return QuoteName(table);
}

}  // namespace cs::db::jet
