#include "db/sqlite.h"

#include <sqlite3.h>

#include <cstdlib>
#include <map>
#include <utility>

#include "db/jet/errors.h"
#include "db/jet/types.h"
#include "platform/text.h"

namespace cs::db {
namespace {

constexpr int kBusyTimeoutMs = 10000;

void Harden(sqlite3* db) {
  int ignored = 0;
  sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, &ignored);
  sqlite3_db_config(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, &ignored);
  sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DML, 0, &ignored);
  sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DDL, 0, &ignored);
  sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, &ignored);
  sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, &ignored);
  sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_VIEW, 0, &ignored);
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  // Deleted rows are overwritten where that costs no extra writes: a product table of a few
  // hundred thousand rows is dropped in a blink instead of every freed page being zeroed.
  sqlite3_exec(db, "PRAGMA cell_size_check = ON; PRAGMA mmap_size = 0; PRAGMA secure_delete = FAST;",
               nullptr, nullptr, nullptr);
}

}  // namespace

void Database::Closer::operator()(sqlite3* db) const { sqlite3_close_v2(db); }

Database Database::Open(const std::filesystem::path& file, Mode mode, const RunError& failure) {
  // The engine keeps no count of its memory: the count's lock is what the checks ahead, running
  // side by side, would otherwise meet on every allocation.
  static const bool configured = [] { return sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0) == SQLITE_OK; }();
  (void)configured;
  int flags = SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_URI;
  switch (mode) {
    case Mode::kReadOnly:
      flags |= SQLITE_OPEN_READONLY;
      break;
    case Mode::kReadWrite:
      flags |= SQLITE_OPEN_READWRITE;
      break;
    case Mode::kCreate:
      flags |= SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
      break;
  }
  sqlite3* handle = nullptr;
  const int rc = sqlite3_open_v2(file.c_str(), &handle, flags, nullptr);
  Database db;
  db.db_.reset(handle);  // closed on every path, also when the open failed
  if (rc != SQLITE_OK) throw failure;
  Harden(handle);
  return db;
}

void Database::WriteWithoutFlushing(const std::string& schema) const {
  // The journal stays in memory, so that a statement that fails is still undone whole.
  const std::string s = "\"" + schema + "\".";
  Exec("PRAGMA " + s + "synchronous = OFF; PRAGMA " + s + "journal_mode = MEMORY");
}

void Database::Exec(const std::string& sql) const {
  if (sqlite3_exec(db_.get(), sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
    throw LastError();
  }
}

RunError Database::LastError() const {
  return jet::FromSqlite(sqlite3_extended_errcode(db_.get()), sqlite3_errmsg(db_.get()));
}

int Database::LastErrorCode() const { return sqlite3_extended_errcode(db_.get()); }

void Statement::Finalizer::operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }

Statement::Statement(const Database& db, std::string_view sql) : db_(db.get()) {
  sqlite3_stmt* stmt = nullptr;
  const char* tail = nullptr;
  const int rc = sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &stmt, &tail);
  stmt_.reset(stmt);
  if (rc != SQLITE_OK) throw db.LastError();
  if (stmt == nullptr || !platform::Trim(std::string_view(tail, sql.data() + sql.size() - tail), " \t\r\n;").empty()) {
    throw RunError(jet::kErrSyntax, "Characters found after end of SQL statement.");
  }
}

void Statement::Bind(int index, const Value& value) {
  sqlite3_stmt* s = stmt_.get();
  if (const auto* text = std::get_if<std::string>(&value.data)) {
    BindText(index, *text);
  } else if (const auto* n = std::get_if<std::int64_t>(&value.data)) {
    sqlite3_bind_int64(s, index, *n);
  } else if (const auto* d = std::get_if<double>(&value.data)) {
    sqlite3_bind_double(s, index, *d);
  } else {
    sqlite3_bind_null(s, index);
  }
}

void Statement::BindText(int index, std::string_view text) {
  // An empty view may carry no pointer, which SQLite would bind as Null.
  sqlite3_bind_text(stmt_.get(), index, text.empty() ? "" : text.data(), static_cast<int>(text.size()),
                    SQLITE_TRANSIENT);
}

void Statement::BindInteger(int index, std::int64_t value) { sqlite3_bind_int64(stmt_.get(), index, value); }

void Statement::BindDouble(int index, double value) { sqlite3_bind_double(stmt_.get(), index, value); }

void Statement::BindBlob(int index, std::string_view bytes) {
  if (bytes.empty()) {
    sqlite3_bind_zeroblob(stmt_.get(), index, 0);
  } else {
    sqlite3_bind_blob(stmt_.get(), index, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
  }
}

void Statement::BindNull(int index) { sqlite3_bind_null(stmt_.get(), index); }

void Statement::Reset() { sqlite3_reset(stmt_.get()); }

bool Statement::Step() {
  const int rc = sqlite3_step(stmt_.get());
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  throw jet::FromSqlite(sqlite3_extended_errcode(db_), sqlite3_errmsg(db_));
}

void Statement::Run() {
  while (Step()) {
  }
}

int Statement::ColumnCount() const { return sqlite3_column_count(stmt_.get()); }

std::string Statement::ColumnName(int i) const { return sqlite3_column_name(stmt_.get(), i); }

Value Statement::Column(int i) const {
  sqlite3_stmt* s = stmt_.get();
  Value v = ColumnView(i).ToValue();
  // The declared type is the statement's: looked at once per column, not for every value read.
  if (is_date_.size() != static_cast<std::size_t>(sqlite3_column_count(s))) is_date_.assign(sqlite3_column_count(s), -1);
  signed char& is_date = is_date_[static_cast<std::size_t>(i)];
  if (is_date < 0) {
    const char* decl = sqlite3_column_decltype(s, i);
    const auto begins = [decl](const char* word) {
      for (std::size_t k = 0; word[k] != '\0'; ++k) {
        if ((decl[k] & ~0x20) != word[k]) return false;
      }
      return true;
    };
    is_date = decl != nullptr && (begins("DATE") || begins("TIME")) ? 1 : 0;
  }
  v.is_date = is_date == 1;
  return v;
}

FieldView Statement::ColumnView(int i) const {
  sqlite3_stmt* s = stmt_.get();
  FieldView v;
  switch (sqlite3_column_type(s, i)) {
    case SQLITE_INTEGER:
      v.kind = FieldView::Kind::kInteger;
      v.integer = sqlite3_column_int64(s, i);
      break;
    case SQLITE_FLOAT:
      v.kind = FieldView::Kind::kReal;
      v.real = sqlite3_column_double(s, i);
      break;
    case SQLITE_NULL:
      break;
    default: {
      v.kind = FieldView::Kind::kText;
      const auto* text = sqlite3_column_text(s, i);
      if (text != nullptr) {
        v.text = std::string_view(reinterpret_cast<const char*>(text), static_cast<std::size_t>(sqlite3_column_bytes(s, i)));
      }
      break;
    }
  }
  return v;
}

Value FieldView::ToValue() const {
  switch (kind) {
    case Kind::kInteger:
      return {integer, false};
    case Kind::kReal:
      return {real, false};
    case Kind::kText:
      return Value::Text(std::string(text));
    default:
      return {};
  }
}

std::string Statement::ColumnText(int i) const {
  const auto* text = sqlite3_column_text(stmt_.get(), i);
  if (text == nullptr) return {};
  return std::string(reinterpret_cast<const char*>(text),
                     static_cast<std::size_t>(sqlite3_column_bytes(stmt_.get(), i)));
}

std::vector<std::string> Query(const Database& db, const std::string& sql,
                               const std::vector<std::string>& params) {
  Statement s(db, sql);
  for (std::size_t i = 0; i < params.size(); ++i) s.BindText(static_cast<int>(i + 1), params[i]);
  std::vector<std::string> out;
  while (s.Step()) out.push_back(s.ColumnText(0));
  return out;
}

namespace {

// The tables an ALTER TABLE names, as the authorizer hears of them while the statement is prepared.
int NoteAlteredTable(void* out, int action, const char* database, const char* table, const char*, const char*) {
  if (action == SQLITE_ALTER_TABLE && database != nullptr && table != nullptr) {
    static_cast<std::vector<std::pair<std::string, std::string>>*>(out)->emplace_back(database, table);
  }
  return SQLITE_OK;
}

// The program's flag that an open's root page is a register, not a page number.
constexpr int kRootInRegister = 0x10;

}  // namespace

std::vector<TableUse> TablesUsedBy(const Database& db, const std::string& sql) {
  // The b-trees the program opens, by database number and root page: whether only replaced.
  std::map<std::pair<int, std::int64_t>, bool> roots;
  std::vector<std::pair<std::string, std::string>> altered;
  sqlite3_set_authorizer(db.get(), NoteAlteredTable, &altered);
  try {
    Statement explain(db, "EXPLAIN " + sql);
    sqlite3_set_authorizer(db.get(), nullptr, nullptr);
    while (explain.Step()) {
      const std::string opcode = explain.ColumnText(1);
      const auto p = [&](int i) { return std::strtoll(explain.ColumnText(i + 1).c_str(), nullptr, 10); };
      if (opcode == "OpenRead" || opcode == "OpenWrite" || opcode == "ReopenIdx") {
        if ((p(5) & kRootInRegister) == 0) roots[{static_cast<int>(p(3)), p(2)}] = false;
      } else if (opcode == "Destroy") {
        roots.try_emplace({static_cast<int>(p(3)), p(1)}, true);
      } else if (opcode == "Clear") {
        roots.try_emplace({static_cast<int>(p(2)), p(1)}, true);
      }
    }
  } catch (...) {
    sqlite3_set_authorizer(db.get(), nullptr, nullptr);
    throw;
  }
  std::map<int, std::string> schemas;
  {
    Statement list(db, "SELECT seq, name FROM pragma_database_list");
    while (list.Step()) schemas[static_cast<int>(std::strtol(list.ColumnText(0).c_str(), nullptr, 10))] = list.ColumnText(1);
  }
  std::vector<TableUse> out;
  const auto add = [&](const std::string& schema, const std::string& table, bool replaced) {
    for (auto& use : out) {
      if (use.schema == schema && platform::EqualsNoCase(use.table, table)) {
        use.replaced = use.replaced && replaced;
        return;
      }
    }
    out.push_back({schema, table, replaced});
  };
  for (const auto& [where, replaced] : roots) {
    const auto schema = schemas.find(where.first);
    if (schema == schemas.end()) continue;
    Statement owner(db, "SELECT tbl_name FROM " + jet::QuoteName(schema->second) + ".sqlite_schema WHERE rootpage = ?1");
    owner.BindInteger(1, where.second);
    // Root page 1 is the schema itself; a page no table or index owns names nothing.
    if (owner.Step()) add(schema->second, owner.ColumnText(0), replaced);
  }
  for (const auto& [schema, table] : altered) add(schema, table, false);
  return out;
}

}  // namespace cs::db
