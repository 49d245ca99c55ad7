#include "db/jetfile/copy.h"

#include <sqlite3.h>

#include <random>

#include "db/connection.h"
#include "db/jet/errors.h"
#include "db/jet/types.h"
#include "db/jetfile/header.h"

namespace fs = std::filesystem;

namespace cs::db::jetfile {
namespace {

// The program's column for a Jet column.
jet::ColumnSpec ProgramColumn(const wire::ColumnInfo& column) {
  jet::ColumnSpec column_def;
  column_def.name = column.name;
  switch (static_cast<JetType>(column.jet_type)) {
    case JetType::kYesNo:
      column_def.type_word = "YESNO";
      break;
    case JetType::kByte:
      column_def.type_word = "BYTE";
      break;
    case JetType::kInteger:
      column_def.type_word = "SHORT";
      break;
    case JetType::kLong:
      column_def.type_word = "LONG";
      break;
    case JetType::kCurrency:
      column_def.type_word = "CURRENCY";
      break;
    case JetType::kSingle:
      column_def.type_word = "SINGLE";
      break;
    case JetType::kDouble:
      column_def.type_word = "DOUBLE";
      break;
    case JetType::kDateTime:
      column_def.type_word = "DATETIME";
      break;
    case JetType::kText:
      column_def.type_word = "TEXT";
      column_def.size = static_cast<int>(column.size);
      break;
    case JetType::kMemo:
      column_def.type_word = "MEMO";
      break;
    case JetType::kBinary:
      column_def.type_word = "BINARY";
      break;
    case JetType::kGuid:
      column_def.type_word = "GUID";
      break;
    case JetType::kDecimal:
      column_def.type_word = "DECIMAL";
      break;
    default:
      column_def.type_word = "LONGBINARY";
      break;
  }
  return column_def;
}

// An error of SQLite while the copy is written: one caused by what the Jet file holds (a value
// that breaks its column's rule, two rows with one key, a name SQLite refuses) means the file is
// not a sound database; one of the new file itself (disk full, no permission) is reported as
// such.
RunError CopyError(sqlite3* db, const std::string& shown_path) {
  const int code = sqlite3_extended_errcode(db);
  switch (code & 0xFF) {
    case SQLITE_FULL:
    case SQLITE_IOERR:
    case SQLITE_CANTOPEN:
    case SQLITE_READONLY:
    case SQLITE_NOMEM:
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
    case SQLITE_PERM:
      return jet::FromSqlite(code, sqlite3_errmsg(db));
    default:
      return jet::NotADatabase(shown_path);
  }
}

class SqliteWriter : public TableSink {
 public:
  SqliteWriter(sqlite3* db, std::string shown_path) : db_(db), shown_path_(std::move(shown_path)) {}
  ~SqliteWriter() override { sqlite3_finalize(insert_); }

  void BeginTable(const wire::TableInfo& table) override {
    std::string sql = "CREATE TABLE " + jet::QuoteName(table.name) + " (";
    for (std::size_t i = 0; i < table.columns.size(); ++i) {
      jet::ColumnSpec column_def = ProgramColumn(table.columns[i]);
      for (const auto k : table.primary_key) {
        if (k != i) continue;
        column_def.not_null = true;
        column_def.primary_key = table.primary_key.size() == 1;
      }
      try {
        sql += (i ? ", " : "") + jet::ColumnDefinition(column_def);
      } catch (const RunError&) {
        throw jet::NotADatabase(shown_path_);
      }
    }
    if (table.primary_key.size() > 1) {
      sql += ", PRIMARY KEY (";
      for (std::size_t k = 0; k < table.primary_key.size(); ++k) {
        sql += (k ? ", " : "") + jet::QuoteName(table.columns[table.primary_key[k]].name);
      }
      sql += ")";
    }
    sql += ")";
    Exec("BEGIN");
    Exec(sql);
    std::string insert = "INSERT INTO " + jet::QuoteName(table.name) + " VALUES (";
    for (std::size_t i = 0; i < table.columns.size(); ++i) insert += i ? ", ?" : "?";
    insert += ")";
    sqlite3_finalize(insert_);
    insert_ = nullptr;
    if (sqlite3_prepare_v2(db_, insert.c_str(), -1, &insert_, nullptr) != SQLITE_OK) {
      throw CopyError(db_, shown_path_);
    }
  }

  void Row(std::span<const wire::FieldValue> values) override {
    for (std::size_t i = 0; i < values.size(); ++i) {
      const int index = static_cast<int>(i + 1);
      const wire::FieldValue& v = values[i];
      int rc = SQLITE_OK;
      if (const auto* n = std::get_if<std::int64_t>(&v)) {
        rc = sqlite3_bind_int64(insert_, index, *n);
      } else if (const auto* d = std::get_if<double>(&v)) {
        rc = sqlite3_bind_double(insert_, index, *d);
      } else if (const auto* c = std::get_if<wire::Currency>(&v)) {
        rc = sqlite3_bind_double(insert_, index, CurrencyToDouble(c->ten_thousandths));
      } else if (const auto* t = std::get_if<wire::DateTime>(&v)) {
        rc = BindText(index, t->text);
      } else if (const auto* s = std::get_if<wire::Text>(&v)) {
        rc = BindText(index, s->utf8);
      } else if (const auto* b = std::get_if<wire::Binary>(&v)) {
        rc = b->bytes.empty() ? sqlite3_bind_zeroblob(insert_, index, 0)
                              : sqlite3_bind_blob(insert_, index, b->bytes.data(),
                                                  static_cast<int>(b->bytes.size()), SQLITE_STATIC);
      } else {
        rc = sqlite3_bind_null(insert_, index);
      }
      if (rc != SQLITE_OK) throw CopyError(db_, shown_path_);
    }
    const int rc = sqlite3_step(insert_);
    sqlite3_reset(insert_);
    if (rc != SQLITE_DONE) throw CopyError(db_, shown_path_);
  }

  void EndTable(const wire::TableInfo&, std::uint32_t) override {
    sqlite3_finalize(insert_);
    insert_ = nullptr;
    Exec("COMMIT");
  }

  void Exec(const std::string& sql) {
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
      throw CopyError(db_, shown_path_);
    }
  }

 private:
  int BindText(int index, std::string_view text) {
    // An empty view may carry no pointer, and SQLite binds a null pointer as Null.
    return sqlite3_bind_text(insert_, index, text.empty() ? "" : text.data(),
                             static_cast<int>(text.size()), SQLITE_STATIC);
  }

  sqlite3* db_;
  std::string shown_path_;
  sqlite3_stmt* insert_ = nullptr;
};

// A name beside the target that no other copy uses at the same time.
fs::path TemporaryBeside(const fs::path& target) {
  std::random_device random;
  const std::uint64_t tag = (static_cast<std::uint64_t>(random()) << 32) | random();
  return target.parent_path() /
         ("." + target.filename().string() + ".partial-" + std::to_string(tag));
}

void RemoveDatabaseFiles(const fs::path& file) {
  std::error_code ec;
  fs::remove(file, ec);
  fs::remove(file.string() + "-journal", ec);
  fs::remove(file.string() + "-wal", ec);
  fs::remove(file.string() + "-shm", ec);
}

}  // namespace

void CopyToDatabase(const fs::path& jet_file, const fs::path& new_database,
                    const std::string& shown_path, const CopyOptions& options) {
  std::error_code ec;
  if (fs::exists(new_database, ec) || fs::is_symlink(new_database, ec)) {
    throw RunError(err::kFileAlreadyExists, "File already exists");
  }
  const auto header = ReadHeader(jet_file);
  if (!header) throw jet::NotADatabase(shown_path);
  if (options.password && !PasswordOpens(*header, *options.password)) throw jet::WrongPassword();

  const fs::path temporary = TemporaryBeside(fs::absolute(new_database));
  sqlite3* db = nullptr;
  try {
    if (options.record_password)
      db::CreateDatabase(temporary.string(), header->password.value_or(""));
    const int flags = SQLITE_OPEN_READWRITE | (options.record_password ? 0 : SQLITE_OPEN_CREATE);
    if (sqlite3_open_v2(temporary.c_str(), &db, flags, nullptr) != SQLITE_OK) {
      throw RunError(jet::kErrGeneral,
                     "Cannot create the database '" + new_database.string() + "'.");
    }
    SqliteWriter writer(db, shown_path);
    // A cache large enough for a product table's key index, small enough for a flat footprint.
    writer.Exec("PRAGMA cache_size = -16384");
    ReadTables(jet_file, shown_path, writer, options.reader);
  } catch (...) {
    sqlite3_close_v2(db);
    RemoveDatabaseFiles(temporary);
    throw;
  }
  const int closed = sqlite3_close(db);
  if (closed != SQLITE_OK) {
    RemoveDatabaseFiles(temporary);
    throw RunError(jet::kErrGeneral, "Cannot create the database '" + new_database.string() + "'.");
  }
  if (fs::exists(new_database, ec)) {
    RemoveDatabaseFiles(temporary);
    throw RunError(err::kFileAlreadyExists, "File already exists");
  }
  fs::rename(temporary, new_database, ec);
  if (ec) {
    RemoveDatabaseFiles(temporary);
    throw RunError(err::kPathFileAccess, "Path/File access error");
  }
}

}  // namespace cs::db::jetfile
