// The whole-file integrity checks (SQLite's quick_check) of the database files a run opens. A file
// is read whole once per state: the check is remembered with the file's size and modification time
// and trusted again only while the file has them, so that an import, which opens the same two files
// a dozen times, does not read them a dozen times; any change from outside gives the file another
// state, and it is checked again. A check may be started ahead on a thread of its own; the first
// open of the file waits for its result. One object belongs to one run; its threads end with it.
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
#include "platform/worker.h"

namespace cs::db {

class IntegrityChecks {
 public:
  IntegrityChecks() = default;
  ~IntegrityChecks() = default;  // its workers wait for the checks started ahead
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

  // Starts the check of a database file on a thread of its own. Nothing is reported from here:
  // a file that is missing, changes meanwhile or fails is checked again when opened.
  void StartAhead(const std::filesystem::path& host);

 private:
  struct FileState {
    std::uintmax_t size;
    std::filesystem::file_time_type time;
    bool operator==(const FileState&) const = default;
  };
  static std::optional<FileState> StateOf(const std::filesystem::path& file);
  static std::string Key(const std::filesystem::path& file);
  static std::optional<FileState> CheckWholeFile(const std::filesystem::path& file);
  bool Passed(const std::filesystem::path& host);
  bool TakeAhead(const std::filesystem::path& host);

  std::mutex mutex_;
  std::map<std::string, FileState> passed_;
  std::map<std::string, std::shared_future<std::optional<FileState>>> ahead_;
  std::vector<std::unique_ptr<platform::Worker>> workers_;
};

// True when SQLite's quick_check finds the database attached under `schema` intact.
bool PassesQuickCheck(const Database& db, const std::string& schema);

}  // namespace cs::db
