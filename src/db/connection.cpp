#include "db/connection.h"

#include <system_error>

#include "db/attachments.h"
#include "db/connection_string.h"
#include "db/database_file.h"
#include "db/jet/errors.h"
#include "db/jet/translator.h"
#include "db/password.h"
#include "platform/text.h"

namespace fs = std::filesystem;

namespace cs::db {
namespace {

constexpr std::int32_t kErrClosed = 3709;
constexpr std::int32_t kErrOpen = 3705;
constexpr std::int32_t kErrNoCurrentRecord = 3021;
constexpr std::int32_t kErrRecordsetClosed = 3704;
constexpr std::int32_t kErrNoSuchItem = 3265;

RunError NoCurrentRecord() {
  return RunError(kErrNoCurrentRecord,
                  "Either BOF or EOF is True, or the current record has been deleted. Requested "
                  "operation requires a current record.");
}

// What the translator needs to know of the databases: a table's columns in their order.
class Lookup : public jet::SchemaLookup {
 public:
  explicit Lookup(const Database& db) : db_(db) {}
  std::vector<std::string> Columns(const std::string& schema, const std::string& table) override {
    return Query(db_, "SELECT name FROM pragma_table_info(?1, ?2) ORDER BY cid", {table, schema});
  }

 private:
  const Database& db_;
};

}  // namespace

void Connection::Open(const std::string& connection_string, const std::string&,
                      const std::string&, int) {
  if (db_) throw RunError(kErrOpen, "Operation is not allowed when the object is open.");
  const ConnectionSettings settings = ParseConnectionString(connection_string);
  if (!platform::EqualsNoCase(settings.provider, "Microsoft.Jet.OLEDB.4.0")) {
    throw jet::ProviderNotFound();
  }
  const fs::path host = DatabaseFile(engine_, settings.data_source, settings.password);
  Database db = Database::Open(host, Database::Mode::kReadWrite, jet::NotADatabase(settings.data_source));
  VerifyDatabase(engine_, db, "main", settings.data_source, settings.password, host);
  if (engine_.IsStandIn(host)) db.WriteWithoutFlushing();
  db_ = std::move(db);
  host_ = host;
}

void Connection::Close() {
  if (!db_) return;
  db_.Close();
  // What this connection wrote into the file counts as checked.
  engine_.checks().Remember(host_);
  host_.clear();
}

const Database& Connection::Handle() const {
  if (!db_) {
    throw RunError(kErrClosed, "The connection cannot be used to perform this operation. It is "
                               "either closed or invalid in this context.");
  }
  return db_;
}

Connection::Result Connection::Run(const std::string& sql, bool keep_rows) {
  const Database& db = Handle();
  const auto tokens = jet::Tokenize(sql);
  Attachments attached(engine_, db);
  for (const auto& link : jet::FindLinkedDatabases(tokens)) {
    attached.Attach(link.spec, link.database, link.password, "link" + std::to_string(next_link_++));
  }
  // A Jet file whose tables did not read is used no further.
  engine_.lazy_rows().CheckReadable(db);
  Lookup lookup(db);
  const jet::Translation translation = jet::Translate(tokens, attached.names(), lookup);
  // The rows of a Jet file's tables that the statement uses come in first (lazy_rows.h).
  engine_.lazy_rows().ReadFor(db, translation.sql);
  Statement statement(db, translation.sql);
  for (std::size_t i = 0; i < translation.parameters.size(); ++i) {
    statement.Bind(static_cast<int>(i + 1), translation.parameters[i]);
  }
  Result result;
  if (keep_rows) {
    for (int i = 0; i < statement.ColumnCount(); ++i) result.names.push_back(statement.ColumnName(i));
  }
  while (statement.Step()) {
    if (!keep_rows) continue;
    std::vector<Value> row;
    for (int i = 0; i < statement.ColumnCount(); ++i) row.push_back(statement.Column(i));
    result.rows.push_back(std::move(row));
  }
  return result;
}

void Connection::Execute(const std::string& sql, int) { Run(sql, false); }

void Connection::BeginTrans() { Query(Handle(), "BEGIN IMMEDIATE"); }
void Connection::CommitTrans() { Query(Handle(), "COMMIT"); }
void Connection::RollbackTrans() { Query(Handle(), "ROLLBACK"); }

Transaction::~Transaction() {
  if (!open_) return;
  try {
    cnn_.RollbackTrans();
  } catch (const RunError&) {
    // A connection closed meanwhile has ended the transaction with itself.
  }
}

void Transaction::Commit() {
  cnn_.CommitTrans();
  open_ = false;
}

void Recordset::Open(const std::string& sql, Connection& connection, int, int, int) {
  Close();
  auto result = connection.Run(sql, true);
  names_ = std::move(result.names);
  rows_ = std::move(result.rows);
  position_ = 0;
  open_ = true;
}

void Recordset::MoveNext() {
  if (Eof()) throw NoCurrentRecord();
  ++position_;
}

Value Recordset::Fields(const std::string& name) const {
  if (!open_) throw RunError(kErrRecordsetClosed, "Operation is not allowed when the object is closed.");
  if (Bof() || Eof()) throw NoCurrentRecord();
  for (std::size_t i = 0; i < names_.size(); ++i) {
    if (platform::EqualsNoCase(names_[i], name)) return rows_[static_cast<std::size_t>(position_)][i];
  }
  throw RunError(kErrNoSuchItem,
                 "Item cannot be found in the collection corresponding to the requested name or ordinal.");
}

void Recordset::Close() {
  open_ = false;
  names_.clear();
  rows_.clear();
  position_ = 0;
}

void CreateDatabase(const std::string& host_path, const std::string& password) {
  std::error_code ec;
  if (fs::exists(host_path, ec)) throw RunError(err::kFileAlreadyExists, "File already exists");
  const Database db = Database::Open(host_path, Database::Mode::kCreate,
                                     RunError(jet::kErrGeneral, "Cannot create the database '" + host_path + "'."));
  RecordPassword(db, password);
}

}  // namespace cs::db
