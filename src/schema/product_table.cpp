#include "schema/product_table.h"

#include <cstdint>

#include "app/source_names.h"
#include "schema/table_from_ini.h"

namespace cs::schema {
namespace {

// Runs the built-in statements, one step each.
bool RunBuiltIn(app::frmMain& form, const char* source, const std::vector<std::string>& statements,
                db::Connection& cnn) {
  app::Guard guard(form.errors, source);
  for (const std::string& statement : statements) {
    if (!guard.Step([&] { cnn.Execute(statement, -1); })) return false;
  }
  return true;
}

}  // namespace

bool MaketblAce(app::frmMain& form, const std::string& table, db::Connection& cnn) {
  std::int32_t entries = 0;
  if (MakeTableFromINI(form, "Ace", cnn, table, &entries) && entries > 0) return true;
  return RunBuiltIn(form, source::frmMain::MaketblAce, AceStatements(table), cnn);
}

bool MaketblPlanogramDetails(app::frmMain& form, const std::string& table, db::Connection& cnn) {
  std::int32_t entries = 0;
  if (MakeTableFromINI(form, "PlanogramDetails", cnn, "", &entries) && entries > 0) return true;
  return RunBuiltIn(form, source::frmMain::MaketblPlanogramDetails, PlanogramStatements(table),
                    cnn);
}

}  // namespace cs::schema
