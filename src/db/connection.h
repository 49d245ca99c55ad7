// Connection and Recordset: the ADO operations the program uses, over SQLite database files.
//
// Open takes the Jet connection string ("Provider=Microsoft.Jet.OLEDB.4.0; Data Source=<Windows
// path>;Jet OLEDB:Database Password=<pw>"). The file passes the checks of database_file.h; a wrong
// password fails in Open, as with Jet.
//
// Execute and Recordset::Open take Jet SQL as the program writes it; each statement is one SQLite
// statement, so a statement that fails changes nothing. A linked-database reference is attached
// for the statement and detached whatever happens. Failures throw RunError with ADO's number and
// Jet's description.
#pragma once

#include <string>
#include <vector>

#include "db/engine.h"
#include "db/sqlite.h"
#include "db/value.h"

namespace cs::db {

inline constexpr int adOpenKeyset = 1;
inline constexpr int adLockOptimistic = 3;

class Connection {
 public:
  explicit Connection(Engine& engine) : engine_(engine) {}
  ~Connection() { Close(); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  void Open(const std::string& connection_string, const std::string& user_id = "",
            const std::string& password = "", int options = -1);
  // Runs one statement; any rows it returns are not kept.
  void Execute(const std::string& sql, int options = -1);
  void Close();
  bool IsOpen() const { return static_cast<bool>(db_); }

  // ADO's explicit transactions: the statements between BeginTrans and CommitTrans are kept
  // together. A statement naming a linked database cannot run inside one.
  void BeginTrans();
  void CommitTrans();
  void RollbackTrans();

 private:
  friend class Recordset;
  struct Result {
    std::vector<std::string> names;
    std::vector<std::vector<Value>> rows;
  };
  Result Run(const std::string& sql, bool keep_rows);
  const Database& Handle() const;

  Engine& engine_;
  Database db_;
  std::filesystem::path host_;
  int next_link_ = 0;
};

// A transaction on a connection that is rolled back unless it is committed.
class Transaction {
 public:
  explicit Transaction(Connection& cnn) : cnn_(cnn) { cnn_.BeginTrans(); }
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  void Commit();

 private:
  Connection& cnn_;
  bool open_ = true;
};

class Recordset {
 public:
  // Runs a query and holds its rows; the cursor is on the first row.
  void Open(const std::string& sql, Connection& connection, int cursor_type = adOpenKeyset,
            int lock_type = adLockOptimistic, int options = -1);
  // ADO's BOF and EOF (EOF is a C macro, hence the spelling).
  bool Bof() const { return !open_ || rows_.empty() || position_ < 0; }
  bool Eof() const { return !open_ || rows_.empty() || position_ >= static_cast<long>(rows_.size()); }
  void MoveNext();
  // The value of a named field of the current row. Throws when there is no current row or the
  // field does not exist.
  Value Fields(const std::string& name) const;
  void Close();
  bool IsOpen() const { return open_; }
  const std::vector<std::string>& FieldNames() const { return names_; }

 private:
  bool open_ = false;
  std::vector<std::string> names_;
  std::vector<std::vector<Value>> rows_;
  long position_ = 0;
};

// Makes a new, empty database file at a host path, with the given database password recorded
// (none when empty). Refuses to overwrite an existing file.
void CreateDatabase(const std::string& host_path, const std::string& password);

}  // namespace cs::db
