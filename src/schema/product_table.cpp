#include "schema/product_table.h"

#include <cstdint>

#include "core/source_names.h"
#include "schema/table_from_ini.h"

namespace cs::schema {
namespace {

// Runs the built-in statements, one step each; false when Abort ended them.
bool RunBuiltIn(core::RunContext& run, const char* source, const std::vector<std::string>& statements,
                db::Connection& cnn) {
  return core::RunProcedure(run, source, false, [&](core::Procedure& p, bool& result) {
    for (const std::string& statement : statements) p.step([&] { cnn.Execute(statement, -1); });
    result = true;
  });
}

}  // namespace

bool MaketblAce(core::RunContext& run, config::Registry& registry, const std::string& table,
                db::Connection& cnn) {
  std::int32_t entries = 0;
  if (MakeTableFromINI(run, registry, "Ace", cnn, table, &entries) && entries > 0) return true;
  return RunBuiltIn(run, source::frmMain::MaketblAce, AceStatements(table), cnn);
}

bool MaketblPlanogramDetails(core::RunContext& run, config::Registry& registry,
                             const std::string& table, db::Connection& cnn) {
  std::int32_t entries = 0;
  if (MakeTableFromINI(run, registry, "PlanogramDetails", cnn, "", &entries) && entries > 0) return true;
  return RunBuiltIn(run, source::frmMain::MaketblPlanogramDetails, PlanogramStatements(table), cnn);
}

}  // namespace cs::schema
