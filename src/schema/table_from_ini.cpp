#include "schema/table_from_ini.h"

#include <vector>

#include "app/source_names.h"
#include "config/ini_file.h"

namespace cs::schema {

std::string TableDefinitionINIPath(config::Registry& registry) {
  std::string path = registry.ProductValue("YWConfigINI");
  if (path.empty()) path = registry.ProductValue("InstallAppDir") + "\\YWConfig.ini";
  return path;
}

std::string TableEntryStatement(const std::string& table, const std::string& key,
                                const std::string& value) {
  if (value.find(':') != std::string::npos) return {};
  if (key == "PrimaryKey") return "CREATE TABLE " + table + " " + value;
  std::string type = value;
  std::string default_clause;
  if (const auto comma = value.find(','); comma != std::string::npos) {
    type = value.substr(0, comma);
    const auto next = value.find(',', comma + 1);
    default_clause = " DEFAULT " + value.substr(comma + 1, next == std::string::npos
                                                               ? std::string::npos
                                                               : next - comma - 1);
  }
  return "ALTER TABLE " + table + " ADD COLUMN [" + key + "] " + type + default_clause;
}

bool MakeTableFromINI(app::frmMain& form, const std::string& Tablename, db::Connection& cnn,
                      const std::string& NewTableName, std::int32_t* iCount) {
  bool result = false;
  app::Guard guard(form.errors, source::frmMain::MakeTableFromINI);
  const std::string table = NewTableName.empty() ? Tablename : NewTableName;
  config::cInifile ini(form.services.system.profile(), form.errors);
  std::vector<std::string> keys;
  std::int32_t count = 0;
  if (iCount != nullptr) *iCount = 0;
  if (!guard.Step([&] {
        ini.Path(TableDefinitionINIPath(form.registry));
        ini.Section(Tablename);
        ini.EnumerateCurrentSection(keys, count);
      })) {
    return result;
  }
  if (iCount != nullptr) *iCount = count;
  for (std::int32_t i = 0; i < count && i < static_cast<std::int32_t>(keys.size()); ++i) {
    std::string statement;
    if (!guard.Step([&] {
          ini.Key(keys[static_cast<std::size_t>(i)]);
          statement = TableEntryStatement(table, keys[static_cast<std::size_t>(i)], ini.Value());
        })) {
      return result;
    }
    if (statement.empty()) continue;
    if (!guard.Step([&] { cnn.Execute(statement, -1); })) return result;
  }
  result = true;
  return result;
}

}  // namespace cs::schema
