#include "schema/table_from_ini.h"

#include <optional>
#include <vector>

#include "config/ini_file.h"
#include "core/source_names.h"

namespace cs::schema {

using core::Procedure;
using core::RunProcedure;

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

bool MakeTableFromINI(core::RunContext& run, config::Registry& registry, const std::string& Tablename,
                      db::Connection& cnn, const std::string& NewTableName, std::int32_t* iCount) {
  const std::string table = NewTableName.empty() ? Tablename : NewTableName;
  config::cInifile ini(run);
  ini.Path(registry.ConfigINIPath(false));
  ini.Section(Tablename);
  std::vector<std::string> keys;
  std::int32_t count = 0;
  ini.EnumerateCurrentSection(keys, count);
  if (iCount != nullptr) *iCount = count;
  // The table's statements reach the disk together, in one commit instead of one per column; each
  // still succeeds or fails on its own, and whatever has run is kept on every way out.
  std::optional<db::Transaction> batch;
  if (count > 0) core::IgnoreErrors([&] { batch.emplace(cnn); });
  const bool result = RunProcedure(run, source::frmMain::MakeTableFromINI, false, [&](Procedure& p, bool& done) {
    for (const std::string& key : keys) {
      ini.Key(key);
      const std::string statement = TableEntryStatement(table, key, ini.Value());
      if (!statement.empty()) p.step([&] { cnn.Execute(statement, -1); });
    }
    done = true;
  });
  if (batch) {
    RunProcedure(run, source::frmMain::MakeTableFromINI, [&](Procedure& p) { p.step([&] { batch->Commit(); }); });
  }
  return result;
}

}  // namespace cs::schema
