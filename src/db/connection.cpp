#include "db/connection.h"

#include <openssl/evp.h>
#include <openssl/rand.h>
#include <sqlite3.h>

#include <cstdio>
#include <fstream>
#include <future>
#include <map>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

#include "db/jet/errors.h"
#include "db/jet/translator.h"
#include "db/jet/types.h"
#include "platform/text.h"

namespace fs = std::filesystem;

namespace cs::db {
namespace {

constexpr int kBusyTimeoutMs = 10000;
constexpr std::int32_t kErrClosed = 3709;

RunError Closed() {
  return RunError(kErrClosed, "The connection cannot be used to perform this operation. It is "
                              "either closed or invalid in this context.");
}

// Owns one prepared statement.
struct Statement {
  sqlite3_stmt* stmt = nullptr;
  ~Statement() { sqlite3_finalize(stmt); }
};

RunError LastError(sqlite3* db) {
  return jet::FromSqlite(sqlite3_extended_errcode(db), sqlite3_errmsg(db));
}

// Runs SQL of the layer's own (no outside values in its text) with optional text parameters and
// returns the first column of each row as text.
std::vector<std::string> Query(sqlite3* db, const std::string& sql,
                               const std::vector<std::string>& params = {}) {
  Statement s;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s.stmt, nullptr) != SQLITE_OK) throw LastError(db);
  for (std::size_t i = 0; i < params.size(); ++i) {
    sqlite3_bind_text(s.stmt, static_cast<int>(i + 1), params[i].c_str(), -1, SQLITE_TRANSIENT);
  }
  std::vector<std::string> out;
  while (true) {
    const int rc = sqlite3_step(s.stmt);
    if (rc == SQLITE_DONE) break;
    if (rc != SQLITE_ROW) throw LastError(db);
    const auto* text = sqlite3_column_text(s.stmt, 0);
    out.emplace_back(text ? reinterpret_cast<const char*>(text) : "");
  }
  return out;
}

// True when SQLite's quick_check finds the database of the schema intact.
bool PassesQuickCheck(sqlite3* db, const std::string& schema) {
  try {
    const auto check = Query(db, "PRAGMA " + jet::QuoteName(schema) + ".quick_check");
    return check.size() == 1 && check[0] == "ok";
  } catch (const RunError&) {
    return false;
  }
}

std::string Hex(const unsigned char* data, std::size_t n) {
  std::string out;
  char buf[3];
  for (std::size_t i = 0; i < n; ++i) {
    std::snprintf(buf, sizeof buf, "%02x", data[i]);
    out += buf;
  }
  return out;
}

std::string Sha256Hex(const std::string& bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  EVP_Digest(bytes.data(), bytes.size(), digest, &len, EVP_sha256(), nullptr);
  return Hex(digest, len);
}

// The bytes of a text of hexadecimal digit pairs; nothing when it is anything else.
std::optional<std::string> FromHex(const std::string& hex) {
  const auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  if (hex.size() % 2 != 0) return std::nullopt;
  std::string out;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const int hi = digit(hex[i]), lo = digit(hex[i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out += static_cast<char>(hi * 16 + lo);
  }
  return out;
}

// True when the file begins as an SQLite database does.
bool HasSqliteHeader(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  char header[16] = {};
  in.read(header, sizeof header);
  return in.gcount() == 16 && std::string(header, 16) == std::string("SQLite format 3\0", 16);
}

using FileState = std::pair<std::uintmax_t, fs::file_time_type>;

std::optional<FileState> StateOf(const fs::path& file) {
  std::error_code ec1, ec2;
  const auto size = fs::file_size(file, ec1);
  const auto time = fs::last_write_time(file, ec2);
  if (ec1 || ec2) return std::nullopt;
  return FileState{size, time};
}

void Configure(sqlite3* db);

// Reads a database file whole for its integrity check on a connection of its own, inside one
// read transaction, so that no writer changes it meanwhile. The state the file had while it was
// read when it passed; nothing when it failed or could not be read.
std::optional<FileState> CheckWholeFile(const fs::path& file) {
  sqlite3* db = nullptr;
  std::optional<FileState> passed;
  if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) == SQLITE_OK) {
    Configure(db);
    if (sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK) {
      const auto before = StateOf(file);
      const bool intact = PassesQuickCheck(db, "main");
      const auto after = StateOf(file);
      if (intact && before && before == after) passed = after;
    }
  }
  sqlite3_close(db);
  return passed;
}

// The files whose integrity this process has checked, each with the size and modification time
// it had when the check passed or when this process's own connection to it ended. A file in that
// state is not read whole again on every open: an import opens the same two files a dozen times.
// Any change from outside gives the file another state, and it is checked again. Checks started
// ahead run on threads of their own; the first open of the file waits for the result.
class VerifiedFiles {
 public:
  static VerifiedFiles& Instance() {
    static auto* files = new VerifiedFiles;  // never destroyed: a check ahead may outlive main
    return *files;
  }
  bool Contains(const fs::path& file) {
    const auto state = StateOf(file);
    std::lock_guard lock(mutex_);
    const auto it = states_.find(Key(file));
    return state && it != states_.end() && it->second == *state;
  }
  void Remember(const fs::path& file) {
    const auto state = StateOf(file);
    std::lock_guard lock(mutex_);
    if (state) {
      states_[Key(file)] = *state;
    } else {
      states_.erase(Key(file));
    }
  }
  // One name for a file however its path is written (the prefix reaches a drive by a link).
  static std::string Key(const fs::path& file) {
    std::error_code ec;
    const auto canonical = fs::weakly_canonical(file, ec);
    return ec ? file.string() : canonical.string();
  }
  void StartAhead(const fs::path& file) {
    if (Contains(file)) return;
    std::lock_guard lock(mutex_);
    if (ahead_.contains(Key(file))) return;
    std::packaged_task<std::optional<FileState>()> task([file] { return CheckWholeFile(file); });
    ahead_.emplace(Key(file), task.get_future().share());
    std::thread(std::move(task)).detach();
  }
  // Waits for a check started ahead of the file. True when it passed and the file still has
  // the state it had then; the file then counts as checked.
  bool TakeAhead(const fs::path& file) {
    std::shared_future<std::optional<FileState>> result;
    {
      std::lock_guard lock(mutex_);
      const auto it = ahead_.find(Key(file));
      if (it == ahead_.end()) return false;
      result = it->second;
      ahead_.erase(it);
    }
    const auto passed = result.get();
    const auto now = StateOf(file);
    if (!passed || passed != now) return false;
    std::lock_guard lock(mutex_);
    states_[Key(file)] = *now;
    return true;
  }

 private:
  std::mutex mutex_;
  std::map<std::string, FileState> states_;
  std::map<std::string, std::shared_future<std::optional<FileState>>> ahead_;
};

// The checks a database file passes before the program uses it, whether opened or attached:
// an intact file whose recorded password, if any, is the one given.
void VerifyDatabase(sqlite3* db, const std::string& schema, const std::string& shown_path,
                    const std::string& password, const fs::path& host) {
  if (!VerifiedFiles::Instance().Contains(host) && !VerifiedFiles::Instance().TakeAhead(host)) {
    if (!PassesQuickCheck(db, schema)) throw jet::NotADatabase(shown_path);
    VerifiedFiles::Instance().Remember(host);
  }
  const auto tables = Query(db, "SELECT name FROM " + jet::QuoteName(schema) +
                                    ".sqlite_schema WHERE type = 'table' AND name = 'MSysPassword' COLLATE NOCASE");
  if (tables.empty()) return;  // no password recorded: any password opens it
  Statement s;
  const std::string sql = "SELECT Algorithm, Salt, Hash FROM " + jet::QuoteName(schema) + ".MSysPassword";
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s.stmt, nullptr) != SQLITE_OK) {
    throw jet::NotADatabase(shown_path);
  }
  const int rc = sqlite3_step(s.stmt);
  if (rc == SQLITE_DONE) return;
  if (rc != SQLITE_ROW) throw jet::NotADatabase(shown_path);
  const auto col = [&](int i) {
    const auto* t = sqlite3_column_text(s.stmt, i);
    return std::string(t ? reinterpret_cast<const char*>(t) : "");
  };
  // A record that is not one this program writes cannot prove any password.
  const auto salt = FromHex(col(1));
  if (!salt) throw jet::NotADatabase(shown_path);
  if (col(0) != "sha256" || Sha256Hex(*salt + password) != platform::LCase(col(2))) {
    throw jet::WrongPassword();
  }
}

void Configure(sqlite3* db) {
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

// A file URI for ATTACH, so that mode=rw keeps SQLite from creating a missing file.
std::string FileUri(const fs::path& path) {
  std::string uri = "file:";
  for (const unsigned char c : fs::absolute(path).string()) {
    if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
      uri += static_cast<char>(c);
    } else {
      char buf[4];
      std::snprintf(buf, sizeof buf, "%%%02X", c);
      uri += buf;
    }
  }
  return uri + "?mode=rw";
}

// Resolves a Windows path to an existing database file, or throws Jet's error.
fs::path DatabaseFile(const platform::WindowsPaths& paths, const std::string& windows_path) {
  const auto host = paths.Resolve(windows_path);
  std::error_code ec;
  if (!host || !fs::is_regular_file(*host, ec)) throw jet::FileNotFound(windows_path);
  if (!HasSqliteHeader(*host)) throw jet::NotADatabase(windows_path);
  return *host;
}

class Lookup : public jet::SchemaLookup {
 public:
  explicit Lookup(sqlite3* db) : db_(db) {}
  std::vector<std::string> Columns(const std::string& schema, const std::string& table) override {
    return Query(db_, "SELECT name FROM pragma_table_info(?1, ?2) ORDER BY cid", {table, schema});
  }

 private:
  sqlite3* db_;
};

// Attaches the linked databases of a statement and detaches them again on every path.
class Attachments {
 public:
  explicit Attachments(sqlite3* db) : db_(db) {}
  ~Attachments() {
    for (std::size_t i = 0; i < schemas_.size(); ++i) {
      sqlite3_exec(db_, ("DETACH DATABASE " + jet::QuoteName(schemas_[i])).c_str(), nullptr, nullptr, nullptr);
      if (i < verified_.size()) VerifiedFiles::Instance().Remember(verified_[i]);
    }
  }
  void Attach(const platform::WindowsPaths& paths, const jet::LinkedDatabase& link,
              const std::string& schema) {
    const fs::path host = DatabaseFile(paths, link.database);
    Statement s;
    const std::string sql = "ATTACH DATABASE ?1 AS " + jet::QuoteName(schema);
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &s.stmt, nullptr) != SQLITE_OK) throw LastError(db_);
    const std::string uri = FileUri(host);
    sqlite3_bind_text(s.stmt, 1, uri.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(s.stmt) != SQLITE_DONE) throw jet::NotADatabase(link.database);
    schemas_.push_back(schema);
    VerifyDatabase(db_, schema, link.database, link.password, host);
    verified_.push_back(host);
    names_[link.spec] = schema;
  }
  const std::map<std::string, std::string>& names() const { return names_; }

 private:
  sqlite3* db_;
  std::vector<std::string> schemas_;
  std::vector<fs::path> verified_;
  std::map<std::string, std::string> names_;
};

Value ColumnValue(sqlite3_stmt* stmt, int i) {
  Value v;
  switch (sqlite3_column_type(stmt, i)) {
    case SQLITE_INTEGER:
      v.data = static_cast<std::int64_t>(sqlite3_column_int64(stmt, i));
      break;
    case SQLITE_FLOAT:
      v.data = sqlite3_column_double(stmt, i);
      break;
    case SQLITE_NULL:
      break;
    default: {
      const auto* t = sqlite3_column_text(stmt, i);
      v.data = std::string(t ? reinterpret_cast<const char*>(t) : "",
                           static_cast<std::size_t>(sqlite3_column_bytes(stmt, i)));
      break;
    }
  }
  if (const char* decl = sqlite3_column_decltype(stmt, i)) {
    const std::string d = platform::UCase(decl);
    v.is_date = d.starts_with("DATE") || d.starts_with("TIME");
  }
  return v;
}

}  // namespace

Connection::Connection(const platform::WindowsPaths& paths) : paths_(paths) {}

Connection::~Connection() { Close(); }

void Connection::Open(const std::string& connection_string, const std::string&,
                      const std::string&, int) {
  if (db_ != nullptr) {
    throw RunError(3705, "Operation is not allowed when the object is open.");
  }
  std::string provider, source, password;
  std::size_t start = 0;
  while (start <= connection_string.size()) {
    const auto end = std::min(connection_string.find(';', start), connection_string.size());
    const std::string part = connection_string.substr(start, end - start);
    const auto eq = part.find('=');
    if (eq != std::string::npos) {
      const std::string key(platform::Trim(part.substr(0, eq), " "));
      const std::string value = part.substr(eq + 1);
      if (platform::EqualsNoCase(key, "Provider")) provider = std::string(platform::Trim(value, " "));
      if (platform::EqualsNoCase(key, "Data Source")) source = value;
      if (platform::EqualsNoCase(key, "Jet OLEDB:Database Password")) password = value;
    }
    start = end + 1;
  }
  if (!platform::EqualsNoCase(provider, "Microsoft.Jet.OLEDB.4.0")) throw jet::ProviderNotFound();
  const fs::path host = DatabaseFile(paths_, source);
  sqlite3* db = nullptr;
  const int rc = sqlite3_open_v2(host.c_str(), &db,
                                 SQLITE_OPEN_READWRITE | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_close(db);
    throw jet::NotADatabase(source);
  }
  try {
    Configure(db);
    VerifyDatabase(db, "main", source, password, host);
  } catch (...) {
    sqlite3_close(db);
    throw;
  }
  db_ = db;
  host_path_ = host.string();
}

void Connection::Close() {
  if (db_ != nullptr) {
    sqlite3_close_v2(db_);
    db_ = nullptr;
    VerifiedFiles::Instance().Remember(host_path_);
    host_path_.clear();
  }
}

sqlite3* Connection::Handle() const {
  if (db_ == nullptr) throw Closed();
  return db_;
}

Connection::Result Connection::Run(const std::string& sql, bool keep_rows) {
  sqlite3* db = Handle();
  const auto tokens = jet::Tokenize(sql);
  Attachments attached(db);
  for (const auto& link : jet::FindLinkedDatabases(tokens)) {
    attached.Attach(paths_, link, "link" + std::to_string(next_link_++));
  }
  Lookup lookup(db);
  const jet::Translation translation = jet::Translate(tokens, attached.names(), lookup);
  Statement s;
  if (sqlite3_prepare_v2(db, translation.sql.c_str(), -1, &s.stmt, nullptr) != SQLITE_OK) {
    throw LastError(db);
  }
  for (std::size_t i = 0; i < translation.parameters.size(); ++i) {
    const int index = static_cast<int>(i + 1);
    const Value& p = translation.parameters[i];
    if (const auto* text = std::get_if<std::string>(&p.data)) {
      sqlite3_bind_text(s.stmt, index, text->data(), static_cast<int>(text->size()), SQLITE_TRANSIENT);
    } else if (const auto* n = std::get_if<std::int64_t>(&p.data)) {
      sqlite3_bind_int64(s.stmt, index, *n);
    } else if (const auto* d = std::get_if<double>(&p.data)) {
      sqlite3_bind_double(s.stmt, index, *d);
    } else {
      sqlite3_bind_null(s.stmt, index);
    }
  }
  Result result;
  if (keep_rows) {
    for (int i = 0; i < sqlite3_column_count(s.stmt); ++i) result.names.push_back(sqlite3_column_name(s.stmt, i));
  }
  while (true) {
    const int rc = sqlite3_step(s.stmt);
    if (rc == SQLITE_DONE) break;
    if (rc != SQLITE_ROW) throw LastError(db);
    if (!keep_rows) continue;
    std::vector<Value> row;
    for (int i = 0; i < sqlite3_column_count(s.stmt); ++i) row.push_back(ColumnValue(s.stmt, i));
    result.rows.push_back(std::move(row));
  }
  return result;
}

void Connection::Execute(const std::string& sql, int) { Run(sql, false); }

void Connection::BeginTrans() { Query(Handle(), "BEGIN IMMEDIATE"); }
void Connection::CommitTrans() { Query(Handle(), "COMMIT"); }
void Connection::RollbackTrans() { Query(Handle(), "ROLLBACK"); }

void Recordset::Open(const std::string& sql, Connection& connection, int, int, int) {
  Close();
  auto result = connection.Run(sql, true);
  names_ = std::move(result.names);
  rows_ = std::move(result.rows);
  position_ = 0;
  open_ = true;
}

void Recordset::MoveNext() {
  if (Eof()) throw RunError(3021, "Either BOF or EOF is True, or the current record has been deleted. Requested operation requires a current record.");
  ++position_;
}

Value Recordset::Fields(const std::string& name) const {
  if (!open_) throw RunError(3704, "Operation is not allowed when the object is closed.");
  if (Bof() || Eof()) {
    throw RunError(3021, "Either BOF or EOF is True, or the current record has been deleted. Requested operation requires a current record.");
  }
  for (std::size_t i = 0; i < names_.size(); ++i) {
    if (platform::EqualsNoCase(names_[i], name)) return rows_[static_cast<std::size_t>(position_)][i];
  }
  throw RunError(3265, "Item cannot be found in the collection corresponding to the requested name or ordinal.");
}

void Recordset::Close() {
  open_ = false;
  names_.clear();
  rows_.clear();
  position_ = 0;
}

void CheckAhead(const std::filesystem::path& host_path) {
  std::error_code ec;
  if (!fs::is_regular_file(host_path, ec) || !HasSqliteHeader(host_path)) return;
  VerifiedFiles::Instance().StartAhead(host_path);
}

void CreateDatabase(const std::string& host_path, const std::string& password) {
  std::error_code ec;
  if (fs::exists(host_path, ec)) throw RunError(err::kFileAlreadyExists, "File already exists");
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(host_path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    throw RunError(jet::kErrGeneral, "Cannot create the database '" + host_path + "'.");
  }
  struct Closer {
    sqlite3* db;
    ~Closer() { sqlite3_close(db); }
  } closer{db};
  Query(db, "CREATE TABLE MSysPassword (Algorithm TEXT NOT NULL, Salt TEXT NOT NULL, Hash TEXT NOT NULL)");
  if (!password.empty()) {
    unsigned char salt[16];
    if (RAND_bytes(salt, sizeof salt) != 1) throw RunError(jet::kErrGeneral, "No random bytes for the salt.");
    const std::string salt_bytes(reinterpret_cast<const char*>(salt), sizeof salt);
    Query(db, "INSERT INTO MSysPassword VALUES ('sha256', ?1, ?2)",
          {Hex(salt, sizeof salt), Sha256Hex(salt_bytes + password)});
  }
}

}  // namespace cs::db
