// Jet's column types on SQLite. A column keeps its Jet type word in the schema (TEXT(20),
// CURRENCY, YESNO, ...), so the file says what it holds; the rules Jet applies are added as
// SQLite constraints: text compares without regard to letter case, TEXT(n) refuses longer text
// (a check named jet_len_<column>), a YESNO flag is never Null (Null becomes its default, 0).
// Binary words (BINARY, VARBINARY, LONGBINARY, OLEOBJECT, ...) hold bytes as BLOBs, GUID its text.
#pragma once

#include <optional>
#include <string>

namespace cs::db::jet {

struct ColumnSpec {
  std::string name;
  std::string type_word;            // as written: TEXT, CURRENCY, int, ...
  std::optional<int> size;          // TEXT(n)
  bool not_null = false;
  bool primary_key = false;
  bool unique = false;
  std::optional<std::string> default_sql;  // an SQLite literal, already quoted
};

// The SQLite column definition of a Jet column. Throws a syntax error for a type word that Jet
// does not know or that is not supported here (COUNTER).
std::string ColumnDefinition(const ColumnSpec& column);

// Quotes an identifier for SQLite: "name", with any " doubled.
std::string QuoteName(const std::string& name);
// Quotes text as an SQLite string literal: 'text', with any ' doubled.
std::string QuoteText(const std::string& text);

// Reads a Jet date literal (month/day/year, a time optional; or year-month-day) as
// "YYYY-MM-DD HH:MM:SS". Nothing when it is not a valid date.
std::optional<std::string> ParseDateLiteral(const std::string& text);

}  // namespace cs::db::jet
