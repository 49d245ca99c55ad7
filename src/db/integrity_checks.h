// The whole-file integrity checks (SQLite's quick_check) of the database files a run opens. A file
// is read whole once per state: the check is remembered with the file's state (size, modification
// time, device and inode) and trusted again only while the file has it, so that an import, which
// opens the same two files a dozen times, does not read them a dozen times; any change from outside
// gives the file another state, and it is checked again. A current database that an import of this
// program has just written whole is recorded in a small file of the prefix, so that the next run
// trusts it too while it keeps that state. A check may be started ahead on a worker of its own; the
// first open of the file waits for its result. One object belongs to one run; its workers end with
// it.
#pragma once

#include <filesystem>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "db/sqlite.h"
#include "platform/file_system.h"
#include "platform/worker.h"

namespace cs::db {

class IntegrityChecks {
 public:
  // `record`: the file that keeps the states of the databases the program wrote itself; empty
  // for none.
  IntegrityChecks(platform::FileSystem& files, std::filesystem::path record);
  IntegrityChecks(const IntegrityChecks&) = delete;
  IntegrityChecks& operator=(const IntegrityChecks&) = delete;

  // Checks the database attached to `db` under `schema`, which is the file `host`, unless the file
  // passed in its present state already (or a check ahead of it passed and it has not changed).
  // False when the file is not intact.
  bool Verify(const Database& db, const std::string& schema, const std::filesystem::path& host);

  // Records the state a file has now as checked (after this run's own connection wrote it).
  void Remember(const std::filesystem::path& host);

  // A byte-for-byte copy of a file that passed in its present state passes too.
  void Vouch(const std::filesystem::path& original, const std::filesystem::path& copy);

  // Remembers the file, which this program has just written whole, for later runs as well.
  void Keep(const std::filesystem::path& host);

  // Starts the check of a database file on a worker of its own. Nothing is reported from here:
  // a file that is missing, changes meanwhile or fails is checked again when opened.
  void StartAhead(const std::filesystem::path& host);

 private:
  std::optional<platform::FileStat> StateOf(const std::filesystem::path& file) const;
  std::string Key(const std::filesystem::path& file) const;
  std::optional<platform::FileStat> CheckWholeFile(const std::filesystem::path& file) const;
  bool Passed(const std::filesystem::path& host);
  bool TakeAhead(const std::filesystem::path& host);
  void ReadRecord();

  platform::FileSystem& files_;
  std::filesystem::path record_;
  std::mutex mutex_;
  std::map<std::string, platform::FileStat> passed_;
  std::map<std::string, platform::FileStat> kept_;  // what the record holds
  std::map<std::string, std::shared_future<std::optional<platform::FileStat>>> ahead_;
  std::vector<std::unique_ptr<platform::Worker>> workers_;  // last: they end first
};

// True when SQLite's quick_check finds the database attached under `schema` intact.
bool PassesQuickCheck(const Database& db, const std::string& schema);

}  // namespace cs::db
