#include "db/database_access.h"

#include "core/source_names.h"
#include "db/database_file.h"
#include "db/jet/errors.h"
#include "db/jetfile/header.h"

namespace cs::db {

bool DoesFileExist(core::RunContext& run, const std::string& path) {
  try {
    return run.machine().FileExists(path);
  } catch (const std::exception&) {
    // The file-system query failed: ask the directory query instead.
    return core::RunProcedure(run, source::frmMain::DoesFileExist, false, [&](core::Procedure& p, bool& result) {
      p.step([&] { result = !run.machine().DirQuery(path).empty(); });
    });
  }
}

bool CanOpenDBFile(core::RunContext& run, Engine& engine, const std::string& path, Use use) {
  try {
    run.Status("Validating Database File");
    const auto host = engine.Locate(path);
    const auto jet = use == Use::kWrite && host ? jetfile::ReadHeader(*host) : std::nullopt;
    // A current database of an Access this program does not write is refused untouched, the
    // log saying why and what to do, whatever -L says.
    if (use == Use::kWrite && host && jetfile::IsLaterAccessFile(*host)) {
      run.AddToLog("The current database " + path +
                   " is an Access 2007 or later database, which Yield Warden does not open and this "
                   "program never writes. Save it in Access as an Access 2002-2003 database (.mdb) and "
                   "let the registry's DBDir and DBName name that file, then run the import again.");
      throw jet::NotADatabase(path);
    }
    if (jet && jet->version == jetfile::JetVersion::kJet3) {
      run.AddToLog("The current database " + path +
                   " is an Access 97 (Jet 3) database, which this program never writes. Convert it in "
                   "Access to the Access 2000 file format (Tools, Database Utilities, Convert "
                   "Database) and let the registry's DBDir and DBName name the converted file, then "
                   "run the import again.");
      throw jet::NotADatabase(path);
    }
    // Of a Jet current database only the tables the import uses are read, when it uses them.
    if (jet) engine.ReadRowsWhenUsed(*host);
    Connection cnn(engine);
    cnn.Open(ConnectionString(path), "", "", -1);
    run.LOG("FileName: " + path + " is OK");
    cnn.Close();
    return true;
  } catch (const std::exception&) {
    run.LOG("FileName: " + path + " is NOT OK");
    // What the Jet reader found damaged, whatever -L says.
    if (const std::string why = engine.Refusal(path); !why.empty()) {
      run.AddToLog("The Jet file " + path + " was refused: " + why);
    }
    return false;
  }
}

bool DeleteTable(const std::string& table, Connection& cnn) {
  core::IgnoreErrors([&] { cnn.Execute("DROP TABLE " + table, -1); });
  return true;
}

}  // namespace cs::db
