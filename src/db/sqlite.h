// Owning handles of SQLite's objects, in the manner of SQLiteCpp: a Database owns one sqlite3*
// connection and a Statement one sqlite3_stmt*, and each is released on every path. Every
// connection the program opens runs defensively, as SQLite's guidance for files from outside asks
// (no triggers or views from the file, no double-quoted strings, trusted_schema off, cell size
// checks, no memory mapping, extensions off) and waits a while for a file another program locked.
// Failures throw RunError with the Jet error a user of the product would have seen.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "db/value.h"
#include "platform/run_error.h"

struct sqlite3;
struct sqlite3_stmt;

namespace cs::db {

class Database {
 public:
  enum class Mode {
    kReadOnly,
    kReadWrite,  // an existing file; never created by opening it
    kCreate,     // a new file
  };

  // Opens the file at a host path. Throws RunError `failure` when SQLite cannot open it.
  static Database Open(const std::filesystem::path& file, Mode mode, const RunError& failure);

  Database() = default;
  sqlite3* get() const { return db_.get(); }
  explicit operator bool() const { return db_ != nullptr; }
  void Close() { db_.reset(); }

  // Writes of this connection that need not reach the disk one by one: its file is thrown away
  // unless it takes another's place whole, and is flushed then.
  void WriteWithoutFlushing(const std::string& schema = "main") const;

  // Runs SQL of the layer's own (no outside values in its text); throws on failure.
  void Exec(const std::string& sql) const;
  // The error of the last failing call, in Jet's words, and SQLite's own code of it.
  RunError LastError() const;
  int LastErrorCode() const;

 private:
  struct Closer {
    void operator()(sqlite3* db) const;
  };
  std::unique_ptr<sqlite3, Closer> db_;
};

// A value of a statement's current row as SQLite holds it, without a copy: valid until the
// statement steps again. A BLOB's bytes are its text.
struct FieldView {
  enum class Kind { kNull, kInteger, kReal, kText };
  Kind kind = Kind::kNull;
  std::int64_t integer = 0;
  double real = 0;
  std::string_view text;
  // As Value holds it, for messages.
  Value ToValue() const;
};

class Statement {
 public:
  // Prepares the whole text as one statement; text left after it is a syntax error.
  Statement(const Database& db, std::string_view sql);

  void Bind(int index, const Value& value);
  void BindText(int index, std::string_view text);
  void BindInteger(int index, std::int64_t value);
  void BindDouble(int index, double value);
  void BindBlob(int index, std::string_view bytes);
  void BindNull(int index);
  // Makes the statement ready to run again with new values.
  void Reset();
  // Steps once: true when a row is there, false when the statement is done. Throws on failure.
  bool Step();
  // Steps to the end, keeping no rows.
  void Run();

  int ColumnCount() const;
  std::string ColumnName(int i) const;
  // A column of the current row: Null, an integer, a floating-point number or text, marked as a
  // date when the column is declared as one.
  Value Column(int i) const;
  std::string ColumnText(int i) const;
  // A column of the current row without a copy (for reading many rows fast).
  FieldView ColumnView(int i) const;

 private:
  struct Finalizer {
    void operator()(sqlite3_stmt* stmt) const;
  };
  sqlite3* db_;
  std::unique_ptr<sqlite3_stmt, Finalizer> stmt_;
  // Per column: whether it is declared as a date (1), not (0), not yet looked at (-1).
  mutable std::vector<signed char> is_date_;
};

// Runs SQL of the layer's own with text parameters and returns the first column of each row as
// text.
std::vector<std::string> Query(const Database& db, const std::string& sql,
                               const std::vector<std::string>& params = {});

// A table of an attached database that a statement uses.
struct TableUse {
  std::string schema;  // "main", or the name the database is attached under
  std::string table;   // as the schema names it
  // The statement empties or drops the table whole, without reading a row of it.
  bool replaced = false;
};

// The tables that `sql`, prepared on `db`, would read, write, alter, empty or drop, found from its
// program without running it: every table whose rows or indexes it opens, empties or destroys,
// and the table an ALTER TABLE changes (which opens none). Each table once; a table both used and
// replaced counts as used.
std::vector<TableUse> TablesUsedBy(const Database& db, const std::string& sql);

}  // namespace cs::db
