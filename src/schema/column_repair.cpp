#include "schema/column_repair.h"

#include <array>
#include <utility>

#include "app/source_names.h"

namespace cs::schema {

void FixColumns(app::frmMain& form, db::Connection& cnn) {
  static constexpr std::array<std::pair<const char*, const char*>, 5> kColumns = {{
      {"[Active]", "BIT"},
      {"InUpdate", "BIT"},
      {"ParentRSC", "TEXT(5)"},
      {"RSCCount", "int"},
      {"MfgNumber", "TEXT(25)"},
  }};
  app::Guard guard(form.errors, source::frmMain::FixColumns);
  for (const auto& [column, type] : kColumns) {
    if (!guard.Step([&] { CheckColumn(form, cnn, column, type); })) return;
  }
}

bool CheckColumn(app::frmMain& form, db::Connection& cnn, const std::string& column,
                 const std::string& type) {
  std::string probe;
  app::Guard guard(form.errors, source::frmMain::CheckColumn);
  if (!guard.Step([&] { probe = "SELECT " + column + " FROM Ace WHERE Sku = 'ZZNOEXIST';"; })) {
    return false;
  }
  try {
    db::Recordset rs;
    rs.Open(probe, cnn, db::adOpenKeyset, db::adLockOptimistic);
    rs.Close();
    return true;
  } catch (const std::exception&) {
    // The column is taken as missing.
  }
  cnn.Execute("ALTER TABLE Ace ADD COLUMN " + column + " " + type + ";", -1);
  return true;
}

}  // namespace cs::schema
