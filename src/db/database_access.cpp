#include "db/database_access.h"

#include "core/source_names.h"
#include "db/database_file.h"
#include "db/jet/errors.h"

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
    // A Jet file cannot be written here, and changes made to a private copy of it would be thrown
    // away: as a database to write, it does not open.
    if (use == Use::kWrite && IsJetFile(engine, path)) {
      const auto host = engine.Locate(path);
      run.AddToLog("The current database " + path +
                   " is a Jet (Access) database, which this program reads but never writes. Convert it "
                   "once into the program's database format with \"ywdata convert '" +
                   (host ? engine.paths().files().Canonical(*host).string() : path) + "' NEW_FILE\" and let the registry's DBDir and DBName "
                   "name the new file (see ywdata --help).");
      throw jet::NotADatabase(path);
    }
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
