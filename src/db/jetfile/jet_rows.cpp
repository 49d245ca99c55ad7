#include "db/jetfile/jet_rows.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <optional>

#include "db/jet/errors.h"
#include "db/jet/types.h"
#include "db/jetfile/values.h"
#include "platform/text.h"

namespace cs::db::jetfile {

using cs::jetfile::ColumnSpec;
using cs::jetfile::ColumnType;
using cs::jetfile::IndexSpec;
using cs::jetfile::TableSchema;

double OleNow() {
  const auto seconds = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
  return seconds / 86400.0 + 25569.0;
}

RunError CannotWrite(const std::string& table, const std::string& column, const std::string& why) {
  return RunError(jet::kErrGeneral, "The table '" + table + "' cannot be written as a Jet table: column '" +
                                        column + "' " + why + ".");
}

RunError CannotWriteInto(const std::string& table, const std::string& why) {
  return RunError(jet::kErrGeneral, "The table '" + table + "' cannot be written into the current database: " + why);
}

RunError PathFileAccessError(const std::string& what, const std::string& why) {
  return RunError(err::kPathFileAccess, "Path/File access error (" + what + ": " + why + ")");
}

const std::string* FindNoCase(const std::vector<std::string>& names, const std::string& name) {
  for (const auto& n : names) {
    if (platform::EqualsNoCase(n, name)) return &n;
  }
  return nullptr;
}

ColumnSpec JetColumn(const std::string& table, const std::string& name, const std::string& declared) {
  std::string word;
  std::size_t i = 0;
  while (i < declared.size() && declared[i] != ' ' && declared[i] != '(') word += declared[i++];
  word = platform::UCase(word);
  // The size follows the word ("TEXT(20)"), or the storage word after it ("BINARY BLOB(16)").
  std::optional<int> size;
  i = declared.find('(');
  if (i != std::string::npos) {
    const auto close = declared.find(')', i);
    const std::string digits = declared.substr(i + 1, close == std::string::npos ? 0 : close - i - 1);
    if (digits.empty() || digits.size() > 3 || digits.find_first_not_of("0123456789") != std::string::npos) {
      throw CannotWrite(table, name, "has the size '" + declared + "'");
    }
    size = std::stoi(digits);
  }
  ColumnSpec c;
  c.name = platform::Utf8ToUtf16(name);
  if (word == "TEXT" || word == "CHAR" || word == "VARCHAR" || word == "CHARACTER") {
    c.type = ColumnType::kText;
    c.length = static_cast<std::uint16_t>(size.value_or(255));
    if (c.length < 1 || c.length > 255) throw CannotWrite(table, name, "is longer than 255 characters");
  } else if (word == "MEMO" || word == "LONGTEXT" || word == "NOTE") {
    c.type = ColumnType::kMemo;
  } else if (word == "BYTE" || word == "INTEGER1") {
    c.type = ColumnType::kByte;
  } else if (word == "SHORT" || word == "SMALLINT" || word == "INTEGER2") {
    c.type = ColumnType::kInteger;
  } else if (word == "LONG" || word == "INT" || word == "INTEGER" || word == "INTEGER4") {
    c.type = ColumnType::kLong;
  } else if (word == "SINGLE" || word == "REAL") {
    c.type = ColumnType::kSingle;
  } else if (word == "DOUBLE" || word == "FLOAT" || word == "NUMBER") {
    c.type = ColumnType::kDouble;
  } else if (word == "CURRENCY" || word == "MONEY") {
    c.type = ColumnType::kCurrency;
  } else if (word == "YESNO" || word == "BIT" || word == "LOGICAL" || word == "LOGICAL1") {
    c.type = ColumnType::kBoolean;
  } else if (word == "DATETIME" || word == "DATE" || word == "TIME" || word == "TIMESTAMP") {
    c.type = ColumnType::kDateTime;
  } else if (word == "BINARY" || word == "VARBINARY") {
    c.type = ColumnType::kBinary;
    c.length = static_cast<std::uint16_t>(size.value_or(255));
    if (c.length < 1 || c.length > 255) throw CannotWrite(table, name, "is longer than 255 bytes");
  } else if (word == "LONGBINARY" || word == "OLEOBJECT" || word == "GENERAL" || word == "IMAGE") {
    c.type = ColumnType::kOle;
  } else {
    throw CannotWrite(table, name, "is of the type '" + declared + "', which is not written into Jet files");
  }
  return c;
}

namespace {

double Number(const std::string& table, const std::string& column, const FieldView& v) {
  if (v.kind == FieldView::Kind::kReal) return v.real;
  if (v.kind == FieldView::Kind::kInteger) return static_cast<double>(v.integer);
  throw CannotWrite(table, column, "holds '" + v.ToValue().ToText() + "', which is not a number");
}

std::int64_t Whole(const std::string& table, const std::string& column, const FieldView& v, std::int64_t low,
                   std::int64_t high) {
  std::int64_t n = 0;
  if (v.kind == FieldView::Kind::kInteger) {
    n = v.integer;
  } else {
    const double d = Number(table, column, v);
    if (d != std::trunc(d) || d < static_cast<double>(low) || d > static_cast<double>(high)) {
      throw CannotWrite(table, column, "holds " + v.ToValue().ToText() + ", which its type cannot hold");
    }
    n = static_cast<std::int64_t>(d);
  }
  if (n < low || n > high) {
    throw CannotWrite(table, column, "holds " + v.ToValue().ToText() + ", which its type cannot hold");
  }
  return n;
}

}  // namespace

void ToJetValue(const std::string& table, const std::string& name, const ColumnSpec& spec, const FieldView& v,
                cs::jetfile::Value& out) {
  if (spec.type == ColumnType::kBoolean) {
    // Yes/No is never Null in a Jet row: its value is the row's null-mask bit.
    out = v.kind != FieldView::Kind::kNull && Number(table, name, v) != 0;
    return;
  }
  if (v.kind == FieldView::Kind::kNull) {
    out = std::monostate{};
    return;
  }
  switch (spec.type) {
    case ColumnType::kText:
    case ColumnType::kMemo: {
      // Into the text the row held before, so that its room is used again.
      auto* text = std::get_if<std::u16string>(&out);
      if (text == nullptr) text = &out.emplace<std::u16string>();
      text->clear();
      if (v.kind == FieldView::Kind::kText) {
        platform::AppendUtf16(*text, v.text);
      } else {
        platform::AppendUtf16(*text, v.ToValue().ToText());
      }
      return;
    }
    case ColumnType::kByte:
      out = static_cast<std::uint8_t>(Whole(table, name, v, 0, 255));
      return;
    case ColumnType::kInteger:
      out = static_cast<std::int16_t>(Whole(table, name, v, INT16_MIN, INT16_MAX));
      return;
    case ColumnType::kLong:
      out = static_cast<std::int32_t>(Whole(table, name, v, INT32_MIN, INT32_MAX));
      return;
    case ColumnType::kSingle: {
      const double d = Number(table, name, v);
      if (std::isfinite(d) && std::fabs(d) > std::numeric_limits<float>::max()) {
        throw CannotWrite(table, name, "holds " + v.ToValue().ToText() + ", beyond a Single");
      }
      out = static_cast<float>(d);
      return;
    }
    case ColumnType::kDouble:
      out = Number(table, name, v);
      return;
    case ColumnType::kCurrency: {
      const double scaled = std::round(Number(table, name, v) * 10000.0);
      if (!(std::fabs(scaled) < 9.2233720368547758e18)) {
        throw CannotWrite(table, name, "holds " + v.ToValue().ToText() + ", beyond a Currency");
      }
      out = cs::jetfile::Currency{static_cast<std::int64_t>(scaled)};
      return;
    }
    case ColumnType::kDateTime: {
      if (v.kind == FieldView::Kind::kReal) {
        out = cs::jetfile::DateTime{v.real};
        return;
      }
      if (v.kind == FieldView::Kind::kInteger) {
        out = cs::jetfile::DateTime{static_cast<double>(v.integer)};
        return;
      }
      const auto days = DateTimeDays(v.text);
      if (!days) throw CannotWrite(table, name, "holds '" + std::string(v.text) + "', which is not a date");
      out = cs::jetfile::DateTime{*days};
      return;
    }
    case ColumnType::kBinary:
    case ColumnType::kOle: {
      const std::string bytes = v.ToValue().ToText();
      out = cs::jetfile::Bytes(bytes.begin(), bytes.end());
      return;
    }
    default:
      throw CannotWrite(table, name, "is of a type that is not written into Jet files");
  }
}

std::string SelectColumns(const std::string& table, const std::vector<std::string>& columns) {
  std::string sql = "SELECT ";
  for (std::size_t i = 0; i < columns.size(); ++i) sql += (i ? ", " : "") + jet::QuoteName(columns[i]);
  return sql + " FROM " + jet::QuoteName(table);
}

TableRows::TableRows(const Database& db, const std::string& table, std::vector<std::string> columns,
                     std::vector<ColumnSpec> specs)
    : table_(table), columns_(std::move(columns)), specs_(std::move(specs)), select_(db, SelectColumns(table_, columns_)) {}

bool TableRows::Next(std::vector<cs::jetfile::Value>& row) {
  if (!select_.Step()) return false;
  row.resize(specs_.size());
  for (std::size_t i = 0; i < specs_.size(); ++i) {
    ToJetValue(table_, columns_[i], specs_[i], select_.ColumnView(static_cast<int>(i)), row[i]);
  }
  return true;
}

bool TableRows::Rewind() {
  select_.Reset();
  return true;
}

std::vector<std::string> ProgramTables(const Database& db, const std::string& schema) {
  return Query(db, "SELECT name FROM " + schema + ".sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite\\_%' "
                   "ESCAPE '\\' AND name <> 'MSysPassword' ORDER BY rowid");
}

SourceTable ReadTableSchema(const Database& db, const std::string& table) {
  SourceTable t;
  t.name = table;
  t.schema.name = platform::Utf8ToUtf16(table);
  std::vector<std::pair<int, std::u16string>> key;  // primary-key position, column
  {
    Statement info(db, "SELECT name, type, pk FROM pragma_table_info(?) ORDER BY cid");
    info.BindText(1, table);
    while (info.Step()) {
      const std::string column = info.ColumnText(0);
      t.columns.push_back(column);
      t.schema.columns.push_back(JetColumn(table, column, info.ColumnText(1)));
      const auto position = std::stoi(info.ColumnText(2));
      if (position > 0) key.emplace_back(position, platform::Utf8ToUtf16(column));
    }
  }
  if (!key.empty()) {
    std::sort(key.begin(), key.end());
    IndexSpec primary;
    primary.name = u"PrimaryKey";
    primary.primary_key = true;
    primary.unique = true;
    for (const auto& k : key) primary.columns.emplace_back(k.second, true);
    t.schema.indexes.push_back(primary);
  }
  // The other indexes: those made by CREATE INDEX, and UNIQUE constraints (named after their
  // first column, as Access names a unique index made in the table designer).
  Statement list(db, "SELECT name, [unique], origin FROM pragma_index_list(?) ORDER BY seq DESC");
  list.BindText(1, table);
  while (list.Step()) {
    const std::string origin = list.ColumnText(2);
    if (origin == "pk") continue;
    IndexSpec index;
    index.unique = list.ColumnText(1) == "1";
    Statement columns(db, "SELECT name, desc FROM pragma_index_xinfo(?) WHERE key = 1 ORDER BY seqno");
    columns.BindText(1, list.ColumnText(0));
    while (columns.Step()) {
      if (columns.Column(0).IsNull()) throw CannotWrite(table, list.ColumnText(0), "is an index on an expression");
      index.columns.emplace_back(platform::Utf8ToUtf16(columns.ColumnText(0)), columns.ColumnText(1) != "1");
    }
    index.name = origin == "c" ? platform::Utf8ToUtf16(list.ColumnText(0)) : index.columns.front().first;
    t.schema.indexes.push_back(index);
  }
  return t;
}


}  // namespace cs::db::jetfile
