// The rows of a Jet file's tables, read into the program's copy of it only when a statement first
// uses them. An import of a few monthly tables into a current database of a quarter of a million
// store rows then reads the tables it changes or reads, not the whole file: the copy is made with
// every table's definition and no rows, and each table's rows come in, whole, just before the
// first statement that opens it runs. A statement that drops or empties a table without reading
// it needs none of its rows: the table is the import's own from then on.
//
// A copy of such a copy (the import's working copy) is read in through it: the rows go into the
// copy the run began from first, then into the working copy, so that the first still holds what
// the Jet file held for every table whose rows the run read.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "db/integrity_checks.h"
#include "db/sqlite.h"
#include "platform/run_error.h"

namespace cs::db {

// The key under which the engine knows a file: its canonical path.
std::string FileKey(const std::filesystem::path& file);

class LazyRows {
 public:
  explicit LazyRows(IntegrityChecks& checks) : checks_(checks) {}
  LazyRows(const LazyRows&) = delete;
  LazyRows& operator=(const LazyRows&) = delete;

  // `copy` was made from the Jet file `jet` (a host path; `shown_path` names it in errors) with
  // every table's definition and none of their rows.
  void Add(const std::filesystem::path& jet, const std::string& shown_path, const std::filesystem::path& copy);
  // `copy` has just been made byte for byte from `from`, one of these copies.
  void Derive(const std::filesystem::path& from, const std::filesystem::path& copy);
  // `copy` is gone or no longer read.
  void Forget(const std::filesystem::path& copy);

  // Throws the error the reading of a table's rows ended in, if it did, for any database of `db`
  // (or `copy`) that is one of these copies or was made from one: a file whose tables do not read
  // is damaged, and no statement goes on with it, as no statement would open it had it been read
  // whole.
  void CheckReadable(const Database& db) const;
  void CheckReadable(const std::filesystem::path& copy) const;

  // Before `sql` runs on `db`: reads in the rows of every table the statement uses whose rows
  // are not there yet, in the databases of `db` that are such copies. Throws the reader's errors
  // ("Unrecognized database format '<path>'.") and an error of its own when the Jet file changed
  // since its copy was made.
  void ReadFor(const Database& db, const std::string& sql);

  struct Tables {
    std::vector<std::string> unread;    // tables whose rows were never read in
    std::vector<std::string> replaced;  // tables dropped or emptied before their rows were
  };
  // Of one of these copies; nothing for another file.
  Tables Of(const std::filesystem::path& copy) const;

 private:
  struct File {
    std::filesystem::path path;
    std::filesystem::path jet;
    std::string shown;
    std::uintmax_t size = 0;
    std::filesystem::file_time_type time;
    std::string source;  // the key of the copy it was made from; empty: made from the Jet file
    Tables tables;
    std::optional<RunError> unreadable;  // why reading rows failed
  };
  const RunError* Unreadable(const File& file) const;
  void Read(File& file, const std::vector<std::string>& tables);

  IntegrityChecks& checks_;
  std::map<std::string, File> files_;
};

}  // namespace cs::db
