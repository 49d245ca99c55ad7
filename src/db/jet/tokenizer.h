// The tokens of a Jet SQL statement. Brackets name identifiers (any characters but "]"), quotes
// delimit text ('' or "" inside stands for one quote), # delimits a date. There are no comments.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace cs::db::jet {

enum class TokenKind {
  kWord,     // a bare name or keyword
  kBracket,  // [name]
  kString,   // 'text' or "text", unescaped
  kNumber,
  kDate,     // the text between the # signs
  kSymbol,   // = <> <= >= < > & + - * / ( ) , ; . !
  kEnd,
};

struct Token {
  TokenKind kind;
  std::string text;
};

// Splits a statement into tokens, ending with one kEnd. Throws RunError (a syntax error) for a
// character that is not Jet SQL or a quote, bracket or date left open.
std::vector<Token> Tokenize(std::string_view sql);

}  // namespace cs::db::jet
