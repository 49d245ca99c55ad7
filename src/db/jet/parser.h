// The token cursor that every statement form's rewriter works on, with what they share: names,
// the tables in scope and their columns, and the parameters that carry every literal (literals
// never reach the SQL text).
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "db/jet/tokenizer.h"
#include "db/jet/translator.h"

namespace cs::db::jet {

// A table as the statement names it, and how SQLite names it.
struct TableRef {
  std::string schema;  // "main" or a linked schema
  std::string name;
  std::string Sql() const;
};

class Parser {
 public:
  Parser(const std::vector<Token>& tokens, const std::map<std::string, std::string>& linked,
         SchemaLookup& schema)
      : t_(tokens), linked_(linked), schema_(schema) {}

  // --- tokens
  const Token& Peek(std::size_t ahead = 0) const { return t_[std::min(pos_ + ahead, t_.size() - 1)]; }
  const Token& At(std::size_t index) const { return t_[index]; }
  std::size_t Position() const { return pos_; }
  void Seek(std::size_t pos) { pos_ = pos; }
  void Advance() { ++pos_; }
  bool IsWord(const char* w, std::size_t ahead = 0) const;
  bool IsSymbol(const char* s, std::size_t ahead = 0) const;
  bool Word(const char* w);
  bool Symbol(const char* s);
  void ExpectWord(const char* w, const char* clause);
  void ExpectSymbol(const char* s, const char* clause);
  bool AtEnd() const { return Peek().kind == TokenKind::kEnd; }

  // A name: [bracketed] or a bare word that is not a keyword.
  std::optional<std::string> Name();
  std::string ExpectName(const char* clause);

  // A literal as a numbered parameter ("?1", "?2", ...).
  std::string Param(Value v);
  std::vector<Value> TakeParameters() { return std::move(parameters_); }

  // --- tables
  // A table reference, a linked one included; it joins the tables in scope.
  TableRef Table(const char* clause);
  // A table's columns in their order; Jet's "cannot find the input table" when it has none.
  std::vector<std::string> ColumnsOf(const TableRef& ref);
  bool HasColumn(const TableRef& ref, const std::string& column);
  // A table name used as a qualifier: the table in scope of that name.
  std::string Qualified(const std::string& table) const;
  SchemaLookup& schema() { return schema_; }

 private:
  const std::vector<Token>& t_;
  const std::map<std::string, std::string>& linked_;
  SchemaLookup& schema_;
  std::size_t pos_ = 0;
  std::vector<TableRef> scope_;
  std::vector<Value> parameters_;
};

// True when a bracket token is a linked-database reference ("MS Access;...").
bool IsLinkedSpec(const Token& t);

// Names joined by ", ", each quoted; texts joined by ", " as they are.
std::string JoinNames(const std::vector<std::string>& names);
std::string JoinRaw(const std::vector<std::string>& parts, const char* sep = ", ");

}  // namespace cs::db::jet
