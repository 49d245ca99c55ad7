#include "db/database_access.h"

#include "core/source_names.h"

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

bool CanOpenDBFile(core::RunContext& run, Engine& engine, const std::string& path) {
  try {
    run.Status("Validating Database File");
    Connection cnn(engine);
    cnn.Open(ConnectionString(path), "", "", -1);
    run.LOG("FileName: " + path + " is OK");
    cnn.Close();
    return true;
  } catch (const std::exception&) {
    run.LOG("FileName: " + path + " is NOT OK");
    return false;
  }
}

bool DeleteTable(const std::string& table, Connection& cnn) {
  core::IgnoreErrors([&] { cnn.Execute("DROP TABLE " + table, -1); });
  return true;
}

}  // namespace cs::db
