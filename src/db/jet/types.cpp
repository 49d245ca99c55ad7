#include "db/jet/types.h"

#include <cctype>
#include <cstdio>
#include <sstream>
#include <vector>

#include "db/jet/errors.h"
#include "platform/text.h"

namespace cs::db::jet {
namespace {

enum class Family { kText, kMemo, kInteger, kFloat, kCurrency, kFlag, kDate, kBinary, kGuid };

std::optional<Family> FamilyOf(const std::string& word) {
  const std::string w = platform::UCase(word);
  if (w == "TEXT" || w == "CHAR" || w == "VARCHAR" || w == "CHARACTER") return Family::kText;
  if (w == "MEMO" || w == "LONGTEXT" || w == "NOTE") return Family::kMemo;
  if (w == "BYTE" || w == "SHORT" || w == "SMALLINT" || w == "INTEGER" || w == "INT" ||
      w == "LONG" || w == "INTEGER1" || w == "INTEGER2" || w == "INTEGER4") {
    return Family::kInteger;
  }
  if (w == "SINGLE" || w == "REAL" || w == "DOUBLE" || w == "FLOAT" || w == "NUMBER" ||
      w == "NUMERIC" || w == "DECIMAL") {
    return Family::kFloat;
  }
  if (w == "CURRENCY" || w == "MONEY") return Family::kCurrency;
  if (w == "YESNO" || w == "BIT" || w == "LOGICAL" || w == "LOGICAL1") return Family::kFlag;
  if (w == "DATETIME" || w == "DATE" || w == "TIME" || w == "TIMESTAMP") return Family::kDate;
  if (w == "BINARY" || w == "VARBINARY" || w == "LONGBINARY" || w == "OLEOBJECT" || w == "GENERAL" ||
      w == "IMAGE") {
    return Family::kBinary;
  }
  if (w == "GUID" || w == "UNIQUEIDENTIFIER") return Family::kGuid;
  return std::nullopt;
}

bool ValidDate(int y, int m, int d) {
  if (y < 100 || y > 9999 || m < 1 || m > 12 || d < 1) return false;
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return d <= days[m - 1] + (m == 2 && leap ? 1 : 0);
}

}  // namespace

std::string QuoteName(const std::string& name) {
  return "\"" + platform::ReplaceAll(name, "\"", "\"\"") + "\"";
}

std::string QuoteText(const std::string& text) {
  return "'" + platform::ReplaceAll(text, "'", "''") + "'";
}

std::string ColumnDefinition(const ColumnSpec& c) {
  const auto family = FamilyOf(c.type_word);
  if (!family) throw SyntaxError("field definition");
  const std::string name = QuoteName(c.name);
  std::string type = c.type_word;
  if (c.size) type += "(" + std::to_string(*c.size) + ")";
  std::string def = name + " ";
  switch (*family) {
    case Family::kText: {
      const int size = c.size.value_or(255);
      if (size < 1 || size > 255) throw SyntaxError("field definition");
      def += type + " COLLATE NOCASE CONSTRAINT " + QuoteName("jet_len_" + c.name) + " CHECK (length(" +
             name + ") <= " + std::to_string(size) + ")";
      break;
    }
    case Family::kMemo:
      // The word TEXT gives the column SQLite's text affinity, so "0123" stays text.
      def += type + " TEXT COLLATE NOCASE";
      break;
    case Family::kFlag:
      def += type + " NOT NULL ON CONFLICT REPLACE DEFAULT " + c.default_sql.value_or("0");
      break;
    case Family::kBinary:
      // The word BLOB keeps the bytes as they are; SQLite wants a size after the last word.
      def += c.type_word + " BLOB" + (c.size ? "(" + std::to_string(*c.size) + ")" : "");
      break;
    case Family::kGuid:
      def += type + " TEXT";
      break;
    default:
      def += type;
      break;
  }
  if (*family != Family::kFlag && c.default_sql) def += " DEFAULT " + *c.default_sql;
  if ((c.not_null || c.primary_key) && *family != Family::kFlag) def += " NOT NULL";
  if (c.primary_key) def += " PRIMARY KEY";
  if (c.unique && !c.primary_key) def += " UNIQUE";
  return def;
}

std::optional<std::string> ParseDateLiteral(const std::string& text) {
  const std::string t(platform::Trim(text, " "));
  int a = 0, b = 0, c = 0, hh = 0, mm = 0, ss = 0;
  char sep1 = 0, sep2 = 0;
  std::istringstream in(t);
  in >> a >> sep1 >> b >> sep2 >> c;
  if (!in || sep1 != sep2 || (sep1 != '/' && sep1 != '-')) return std::nullopt;
  int y = c, m = a, d = b;  // month/day/year
  if (sep1 == '-' && a >= 100) {  // year-month-day
    y = a;
    m = b;
    d = c;
  } else if (c < 100) {
    y = c + (c < 30 ? 2000 : 1900);
  }
  std::string rest;
  std::getline(in, rest);
  rest = std::string(platform::Trim(rest, " "));
  if (!rest.empty()) {
    std::istringstream tin(rest);
    char c1 = 0;
    tin >> hh >> c1 >> mm;
    if (!tin || c1 != ':') return std::nullopt;
    if (tin.peek() == ':') {
      tin.get();
      tin >> ss;
      if (!tin) return std::nullopt;
    }
    std::string ampm;
    tin >> ampm;
    ampm = platform::UCase(ampm);
    if (ampm == "PM" && hh < 12) hh += 12;
    if (ampm == "AM" && hh == 12) hh = 0;
    if (!ampm.empty() && ampm != "AM" && ampm != "PM") return std::nullopt;
    std::string extra;
    if (tin >> extra) return std::nullopt;
    if (hh > 23 || mm > 59 || ss > 59 || hh < 0 || mm < 0 || ss < 0) return std::nullopt;
  }
  if (!ValidDate(y, m, d)) return std::nullopt;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", y, m, d, hh, mm, ss);
  return std::string(buf);
}

}  // namespace cs::db::jet
