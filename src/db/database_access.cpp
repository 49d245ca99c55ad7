#include "db/database_access.h"

#include "app/source_names.h"
#include "db/password.h"

namespace cs::db {

std::string ConnectionString(const std::string& path) {
  return "Provider=Microsoft.Jet.OLEDB.4.0; Data Source=" + path +
         ";Jet OLEDB:Database Password=" + kDatabasePassword;
}

bool DoesFileExist(app::frmMain& form, const std::string& path) {
  bool result = false;
  try {
    result = form.services.system.FileExists(path);
  } catch (const std::exception&) {
    // The file-system query failed: ask the directory query instead.
    result = false;
    app::Guard guard(form.errors, source::frmMain::DoesFileExist);
    guard.Step([&] { result = !form.services.system.DirQuery(path).empty(); });
  }
  return result;
}

bool CanOpenDBFile(app::frmMain& form, const std::string& path) {
  bool result = false;
  try {
    form.Status("Validating Database File");
    Connection cnn(form.services.system.paths());
    cnn.Open(ConnectionString(path), "", "", -1);
    result = true;
    form.LOG("FileName: " + path + " is OK");
    cnn.Close();
  } catch (const std::exception&) {
    form.LOG("FileName: " + path + " is NOT OK");
    result = false;
  }
  return result;
}

bool DeleteTable(const std::string& table, Connection& cnn) {
  app::IgnoreErrors([&] { cnn.Execute("DROP TABLE " + table, -1); });
  return true;
}

}  // namespace cs::db
