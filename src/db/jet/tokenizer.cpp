#include "db/jet/tokenizer.h"

#include <cctype>

#include "db/jet/errors.h"

namespace cs::db::jet {
namespace {

bool IsWordChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || static_cast<unsigned char>(c) >= 0x80;
}

}  // namespace

std::vector<Token> Tokenize(std::string_view sql) {
  std::vector<Token> tokens;
  std::size_t i = 0;
  while (i < sql.size()) {
    const char c = sql[i];
    const std::size_t start = i;
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      ++i;
      continue;
    }
    if (c == '[') {
      const auto close = sql.find(']', i + 1);
      if (close == std::string_view::npos) throw SyntaxError("query expression");
      // Jet's names hold no control characters; a NUL would also cut the statement short.
      for (std::size_t k = i + 1; k < close; ++k) {
        if (static_cast<unsigned char>(sql[k]) < 0x20) throw InvalidName(sql.substr(i + 1, close - i - 1));
      }
      tokens.push_back({TokenKind::kBracket, std::string(sql.substr(i + 1, close - i - 1))});
      i = close + 1;
      continue;
    }
    if (c == '\'' || c == '"') {
      std::string text;
      ++i;
      while (true) {
        if (i >= sql.size()) throw SyntaxError("string in query expression");
        if (sql[i] == c) {
          if (i + 1 < sql.size() && sql[i + 1] == c) {
            text += c;
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        text += sql[i++];
      }
      tokens.push_back({TokenKind::kString, std::move(text)});
      continue;
    }
    if (c == '#') {
      const auto close = sql.find('#', i + 1);
      if (close == std::string_view::npos) throw SyntaxError("date in query expression");
      tokens.push_back({TokenKind::kDate, std::string(sql.substr(i + 1, close - i - 1))});
      i = close + 1;
      continue;
    }
    if (std::isdigit(static_cast<unsigned char>(c)) ||
        (c == '.' && i + 1 < sql.size() && std::isdigit(static_cast<unsigned char>(sql[i + 1])))) {
      while (i < sql.size() && (std::isdigit(static_cast<unsigned char>(sql[i])) || sql[i] == '.')) ++i;
      if (i < sql.size() && (sql[i] == 'e' || sql[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < sql.size() && (sql[j] == '+' || sql[j] == '-')) ++j;
        if (j < sql.size() && std::isdigit(static_cast<unsigned char>(sql[j]))) {
          i = j;
          while (i < sql.size() && std::isdigit(static_cast<unsigned char>(sql[i]))) ++i;
        }
      }
      const std::string text(sql.substr(start, i - start));
      if (text.find('.') != text.rfind('.')) throw SyntaxError("number in query expression");
      if (i < sql.size() && IsWordChar(sql[i])) throw SyntaxError("number in query expression");
      tokens.push_back({TokenKind::kNumber, text});
      continue;
    }
    if (IsWordChar(c)) {
      while (i < sql.size() && IsWordChar(sql[i])) ++i;
      tokens.push_back({TokenKind::kWord, std::string(sql.substr(start, i - start))});
      continue;
    }
    const std::string_view two = sql.substr(i, 2);
    if (two == "<>" || two == "<=" || two == ">=") {
      tokens.push_back({TokenKind::kSymbol, std::string(two)});
      i += 2;
      continue;
    }
    if (std::string_view("=<>&+-*/(),;.!").find(c) != std::string_view::npos) {
      tokens.push_back({TokenKind::kSymbol, std::string(1, c)});
      ++i;
      continue;
    }
    throw SyntaxError("query expression");
  }
  tokens.push_back({TokenKind::kEnd, ""});
  return tokens;
}

}  // namespace cs::db::jet
