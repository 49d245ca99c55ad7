// What the connections of one run share: the machine's Windows paths, the integrity checks of the
// files read so far, the files that stand in for others (the working copy an import writes instead
// of the current database), and the private copies of the Jet files the run reads. One Engine
// belongs to one run; the private copies go with it.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "db/integrity_checks.h"
#include "db/lazy_rows.h"
#include "platform/temporary_directory.h"
#include "platform/windows_paths.h"

namespace cs::db {

class Engine {
 public:
  // `record`: where the states of the current databases the program wrote are kept between runs
  // (empty: nowhere).
  Engine(platform::FileSystem& files, const platform::WindowsPaths& paths, std::filesystem::path record = {})
      : paths_(paths), checks_(files, std::move(record)) {}
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  const platform::WindowsPaths& paths() const { return paths_; }
  IntegrityChecks& checks() { return checks_; }

  // The host file that a database named by a Windows path is opened at: the file's stand-in
  // while one is set, else the file itself. Nothing when the path names no file.
  std::optional<std::filesystem::path> Locate(std::string_view windows_path) const;

  // While set, every open and link of the file `original` (a host path) reaches `stand_in`.
  void SetStandIn(const std::filesystem::path& original, const std::filesystem::path& stand_in);
  void ClearStandIn(const std::filesystem::path& original);
  // True when the host file is a stand-in: a file the run throws away unless it takes another's
  // place whole, whose writes need not reach the disk one by one.
  bool IsStandIn(const std::filesystem::path& host) const;

  // The program's own database copy of the Jet file `host` (a data file is read, never written:
  // its statements run on the copy), made once per state of the file, in a private folder of the
  // run. The password is checked against the file's header first, at every call. Throws Jet's
  // errors: "Not a valid password.", "Unrecognized database format '<shown_path>'.".
  std::filesystem::path JetCopy(const std::filesystem::path& host, const std::string& shown_path,
                                const std::string& password);

  // The Jet file `host` (the current database an import writes) is copied with its tables'
  // definitions only, each table's rows read in when a statement first uses it (lazy_rows.h).
  void ReadRowsWhenUsed(const std::filesystem::path& host);
  LazyRows& lazy_rows() { return lazy_rows_; }

  // A path for a file of the run's own in its private folder, thrown away with it: `name` must be
  // a plain file name no other caller uses.
  std::filesystem::path PrivateFile(const std::string& name);

  // Why the Jet reader last refused the Jet file named by the Windows path (what was damaged),
  // or "" when it did not.
  std::string Refusal(std::string_view windows_path) const;

 private:
  struct PrivateCopy {
    std::uintmax_t size;
    std::filesystem::file_time_type time;
    std::filesystem::path copy;
  };
  std::optional<platform::TemporaryDirectory> private_folder_;
  std::map<std::string, PrivateCopy> jet_copies_;
  std::map<std::string, std::string> refusals_;
  std::set<std::string> read_when_used_;

  const platform::WindowsPaths& paths_;
  IntegrityChecks checks_;
  LazyRows lazy_rows_{checks_};
  std::map<std::string, std::filesystem::path> stand_ins_;
};

}  // namespace cs::db
