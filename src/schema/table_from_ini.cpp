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

// One transaction around the statements that make a table, committed when it ends. A connection
// that cannot begin one (it is already in one) runs them as they come.
class TableBatch {
 public:
  explicit TableBatch(db::Connection& cnn) : cnn_(cnn) {
    app::IgnoreErrors([&] {
      cnn_.BeginTrans();
      open_ = true;
    });
  }
  ~TableBatch() {
    if (open_) app::IgnoreErrors([&] { cnn_.CommitTrans(); });
  }
  TableBatch(const TableBatch&) = delete;
  TableBatch& operator=(const TableBatch&) = delete;

 private:
  db::Connection& cnn_;
  bool open_ = false;
};

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
  // The table's statements reach the disk together, in one commit instead of one per column;
  // each still succeeds or fails on its own. Whatever has run is committed on every way out.
  TableBatch batch(cnn);
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
