#include "db/jet/types.h"

#include <cctype>
#include <cstdio>
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

namespace {

// Reads 1 to `max_digits` decimal digits at text[pos]; no sign, no blanks.
std::optional<int> Digits(std::string_view text, std::size_t& pos, std::size_t max_digits) {
  std::size_t n = 0;
  int value = 0;
  while (pos + n < text.size() && n < max_digits && text[pos + n] >= '0' && text[pos + n] <= '9') {
    value = value * 10 + (text[pos + n] - '0');
    ++n;
  }
  if (n == 0 || (pos + n < text.size() && text[pos + n] >= '0' && text[pos + n] <= '9')) {
    return std::nullopt;
  }
  pos += n;
  return value;
}

bool Expect(std::string_view text, std::size_t& pos, char c) {
  if (pos >= text.size() || text[pos] != c) return false;
  ++pos;
  return true;
}

// The time after a date: h:mm, h:mm:ss, either with AM or PM after a blank. Nothing when the text
// is anything else.
bool ReadTime(std::string_view text, int& hh, int& mm, int& ss) {
  std::size_t pos = 0;
  const auto h = Digits(text, pos, 2);
  if (!h || !Expect(text, pos, ':')) return false;
  const auto m = Digits(text, pos, 2);
  if (!m) return false;
  std::optional<int> s = 0;
  if (Expect(text, pos, ':')) s = Digits(text, pos, 2);
  if (!s) return false;
  std::string ampm(platform::UCase(platform::Trim(text.substr(pos), " ")));
  if (pos < text.size() && text[pos] != ' ') return false;
  hh = *h;
  mm = *m;
  ss = *s;
  if (!ampm.empty()) {
    if ((ampm != "AM" && ampm != "PM") || hh < 1 || hh > 12) return false;
    if (ampm == "PM" && hh < 12) hh += 12;
    if (ampm == "AM" && hh == 12) hh = 0;
  }
  return hh <= 23 && mm <= 59 && ss <= 59;
}

}  // namespace

std::optional<std::string> ParseDateLiteral(const std::string& text) {
  const std::string_view t = platform::Trim(text, " ");
  const std::size_t blank = t.find(' ');
  const std::string_view date = t.substr(0, blank);
  int y = 0, m = 0, d = 0, hh = 0, mm = 0, ss = 0;
  std::size_t pos = 0;
  const auto first = Digits(date, pos, 4);
  const std::size_t first_digits = pos;
  if (!first || pos >= date.size() || (date[pos] != '/' && date[pos] != '-')) return std::nullopt;
  const char sep = date[pos++];
  const auto second = Digits(date, pos, 2);
  if (!second || !Expect(date, pos, sep)) return std::nullopt;
  const std::size_t third_start = pos;
  const auto third = Digits(date, pos, 4);
  if (!third) return std::nullopt;
  const std::size_t third_digits = pos - third_start;
  if (sep == '-' && first_digits == 4) {
    // year-month-day
    if (third_digits > 2) return std::nullopt;
    y = *first, m = *second, d = *third;
  } else {
    // month/day/year (or with dashes), the year in four digits or in two: 30 to 99 are the
    // 1900s, the others the 2000s
    if (first_digits > 2 || (third_digits != 2 && third_digits != 4)) return std::nullopt;
    m = *first, d = *second, y = *third;
    if (third_digits == 2) y += y < 30 ? 2000 : 1900;
  }
  if (pos != date.size()) return std::nullopt;
  if (blank != std::string_view::npos) {
    if (!ReadTime(platform::Trim(t.substr(blank), " "), hh, mm, ss)) return std::nullopt;
  }
  if (!ValidDate(y, m, d)) return std::nullopt;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", y, m, d, hh, mm, ss);
  return std::string(buf);
}

}  // namespace cs::db::jet
