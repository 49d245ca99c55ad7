// Copies a Jet database into a new database file of the program's own format (SQLite), so that
// the program's statements can run on it: every user table with the program's column
// definitions for its Jet types, its primary key and its rows.
//
// Jet types become these column types (db/jet/types.h) and values:
//   Text(n) TEXT(n), Memo MEMO      text, Null kept apart from ""
//   Byte BYTE, Integer SHORT, Long LONG    integers
//   Single SINGLE, Double DOUBLE    the stored value exactly
//   Currency CURRENCY               the nearest REAL to the stored ten-thousandths
//   Yes/No YESNO                    -1 (Yes) and 0 (No)
//   Date/Time DATETIME              "YYYY-MM-DD HH:MM:SS", before 1900 too
//   Replication ID GUID             "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"
//   Decimal DECIMAL                 its exact decimal text, which the column keeps as a number
//   Binary BINARY, OLE Object and any type unknown here LONGBINARY    the stored bytes (BLOB)
// Indexes other than the primary key are not copied.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "db/jetfile/reader.h"
#include "platform/file_system.h"

namespace cs::db::jetfile {

struct CopyOptions {
  // Checked against the Jet file's header before anything is read: a password that does not
  // open the file is "Not a valid password." (a file without one opens with any). Nothing: not
  // checked.
  std::optional<std::string> password;
  // Records the Jet file's database password in the new file (the MSysPassword gate that
  // db::CreateDatabase makes), so that it opens with that password only.
  bool record_password = false;
  // Flushed to the disk as it is written; a private copy that is thrown away needs not be.
  bool durable = true;
  ReaderOptions reader;
};

// A name beside `target` ("." + its name + ".partial-" + a random tag) under which a new file is
// written before it is renamed into place, one no other writer uses at the same time.
std::filesystem::path TemporaryBeside(const std::filesystem::path& target);

// Removes a file being written when the scope ends, unless it was kept: what a failure leaves of
// a new file goes with it.
class RemovedUnlessKept {
 public:
  RemovedUnlessKept(platform::FileSystem& files, std::filesystem::path path) : files_(files), path_(std::move(path)) {}
  ~RemovedUnlessKept() {
    if (!kept_) files_.Remove(path_);
  }
  RemovedUnlessKept(const RemovedUnlessKept&) = delete;
  RemovedUnlessKept& operator=(const RemovedUnlessKept&) = delete;
  void Keep() { kept_ = true; }

 private:
  platform::FileSystem& files_;
  std::filesystem::path path_;
  bool kept_ = false;
};

// Makes a new database file at new_database (a host path that must not exist yet) from the Jet
// file (a host path), each table's rows in one transaction. The file appears only when the copy
// is whole: it is built under a temporary name beside it and renamed at the end; on any failure
// nothing is left behind. shown_path names the Jet file in errors: "Unrecognized database
// format '<shown_path>'." for a file that is not a Jet database or does not read (damaged,
// truncated, a reader that fails), "Not a valid password.", "File already exists" (58) for an
// existing new_database, and SQLite's errors, as Jet words them, for a new file that cannot be
// written.
void CopyToDatabase(const std::filesystem::path& jet_file,
                    const std::filesystem::path& new_database, const std::string& shown_path,
                    const CopyOptions& options = {});

// Reads the rows of the named tables of the Jet file into the tables of those names that the
// database file (the program's format, a host path) holds already, made from the same Jet file
// with ReaderOptions::rows false: the same columns, and no rows. Each table's rows go in in one
// transaction: a failure leaves the table without rows. Throws as CopyToDatabase does.
void CopyRows(const std::filesystem::path& jet_file, const std::filesystem::path& database,
              const std::vector<std::string>& tables, const std::string& shown_path,
              const ReaderOptions& reader = {});

}  // namespace cs::db::jetfile
