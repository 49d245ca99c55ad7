#include "db/jetfile/copy.h"

#include <sqlite3.h>

#include <optional>
#include <random>

#include "db/connection.h"
#include "db/sqlite.h"
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
RunError CopyError(const Database& db, const std::string& shown_path) {
  switch (db.LastErrorCode() & 0xFF) {
    case SQLITE_FULL:
    case SQLITE_IOERR:
    case SQLITE_CANTOPEN:
    case SQLITE_READONLY:
    case SQLITE_NOMEM:
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
    case SQLITE_PERM:
      return db.LastError();
    default:
      return jet::NotADatabase(shown_path);
  }
}

class SqliteWriter : public TableSink {
 public:
  // `create`: each table is made; else its rows go into the table of its name the database holds
  // already, which must have as many columns and no rows.
  SqliteWriter(const Database& db, std::string shown_path, bool create = true)
      : db_(db), shown_path_(std::move(shown_path)), create_(create) {}

  void BeginTable(const wire::TableInfo& table) override {
    Exec("BEGIN");
    if (create_) {
      Exec(CreateStatement(table));
    } else {
      const auto columns = Query(db_, "SELECT count(*) FROM pragma_table_info(?1, 'main')", {table.name});
      const auto rows = Query(db_, "SELECT count(*) FROM (SELECT 1 FROM main." + jet::QuoteName(table.name) + " LIMIT 1)");
      if (columns.empty() || columns[0] != std::to_string(table.columns.size()) || rows.empty() || rows[0] != "0") {
        throw RunError(jet::kErrGeneral, "The rows of table '" + table.name + "' of '" + shown_path_ +
                                             "' cannot be read into its copy: the copy's table is not the one "
                                             "made from it.");
      }
    }
    std::string insert = "INSERT INTO " + jet::QuoteName(table.name) + " VALUES (";
    for (std::size_t i = 0; i < table.columns.size(); ++i) insert += i ? ", ?" : "?";
    insert += ")";
    insert_.reset();
    try {
      insert_.emplace(db_, insert);
    } catch (const RunError&) {
      throw CopyError(db_, shown_path_);
    }
  }

  std::string CreateStatement(const wire::TableInfo& table) const {
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
    return sql;
  }

  void Row(std::span<const wire::FieldValue> values) override {
    Statement& insert = *insert_;
    for (std::size_t i = 0; i < values.size(); ++i) {
      const int index = static_cast<int>(i + 1);
      const wire::FieldValue& v = values[i];
      if (const auto* n = std::get_if<std::int64_t>(&v)) {
        insert.BindInteger(index, *n);
      } else if (const auto* d = std::get_if<double>(&v)) {
        insert.BindDouble(index, *d);
      } else if (const auto* c = std::get_if<wire::Currency>(&v)) {
        insert.BindDouble(index, CurrencyToDouble(c->ten_thousandths));
      } else if (const auto* t = std::get_if<wire::DateTime>(&v)) {
        insert.BindText(index, t->text);
      } else if (const auto* s = std::get_if<wire::Text>(&v)) {
        insert.BindText(index, s->utf8);
      } else if (const auto* b = std::get_if<wire::Binary>(&v)) {
        insert.BindBlob(index, std::string_view(reinterpret_cast<const char*>(b->bytes.data()), b->bytes.size()));
      } else {
        insert.BindNull(index);
      }
    }
    try {
      insert.Run();
    } catch (const RunError&) {
      insert.Reset();
      throw CopyError(db_, shown_path_);
    }
    insert.Reset();
  }

  void EndTable(const wire::TableInfo&, std::uint32_t) override {
    insert_.reset();
    Exec("COMMIT");
  }

  void Exec(const std::string& sql) {
    try {
      db_.Exec(sql);
    } catch (const RunError&) {
      throw CopyError(db_, shown_path_);
    }
  }

 private:
  const Database& db_;
  std::string shown_path_;
  bool create_;
  std::optional<Statement> insert_;
};


void RemoveDatabaseFiles(const fs::path& file) {
  std::error_code ec;
  fs::remove(file, ec);
  fs::remove(file.string() + "-journal", ec);
  fs::remove(file.string() + "-wal", ec);
  fs::remove(file.string() + "-shm", ec);
}

}  // namespace

fs::path TemporaryBeside(const fs::path& target) {
  std::random_device random;
  const std::uint64_t tag = (static_cast<std::uint64_t>(random()) << 32) | random();
  return target.parent_path() /
         ("." + target.filename().string() + ".partial-" + std::to_string(tag));
}

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
  try {
    if (options.record_password) db::CreateDatabase(temporary.string(), header->password.value_or(""));
    const RunError cannot_create(jet::kErrGeneral, "Cannot create the database '" + new_database.string() + "'.");
    Database db = Database::Open(temporary, options.record_password ? Database::Mode::kReadWrite : Database::Mode::kCreate,
                                 cannot_create);
    {
      SqliteWriter writer(db, shown_path);
      // A cache large enough for a product table's key index, small enough for a flat footprint.
      writer.Exec("PRAGMA cache_size = -16384");
      if (!options.durable) writer.Exec("PRAGMA synchronous = OFF; PRAGMA journal_mode = MEMORY");
      ReadTables(jet_file, shown_path, writer, options.reader);
    }
    db.Close();
  } catch (...) {
    RemoveDatabaseFiles(temporary);
    throw;
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

void CopyRows(const fs::path& jet_file, const fs::path& database, const std::vector<std::string>& tables,
              const std::string& shown_path, const ReaderOptions& reader) {
  if (tables.empty()) return;
  Database db = Database::Open(database, Database::Mode::kReadWrite, jet::NotADatabase(database.string()));
  SqliteWriter writer(db, shown_path, false);
  writer.Exec("PRAGMA cache_size = -16384");
  // A private copy: thrown away with the run, whatever happens.
  writer.Exec("PRAGMA synchronous = OFF; PRAGMA journal_mode = MEMORY");
  ReaderOptions options = reader;
  options.tables = tables;
  options.rows = true;
  // A failure leaves the table being read in its open transaction, which closing the connection
  // rolls back: it is read whole or not at all.
  ReadTables(jet_file, shown_path, writer, options);
  db.Close();
}

}  // namespace cs::db::jetfile
