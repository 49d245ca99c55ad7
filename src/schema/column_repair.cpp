#include "schema/column_repair.h"

#include <array>
#include <utility>

#include "core/source_names.h"

namespace cs::schema {

void FixColumns(core::RunContext& run, db::Connection& cnn) {
  static constexpr std::array<std::pair<const char*, const char*>, 5> kColumns = {{
      {"[Active]", "BIT"},
      {"InUpdate", "BIT"},
      {"ParentRSC", "TEXT(5)"},
      {"RSCCount", "int"},
      {"MfgNumber", "TEXT(25)"},
  }};
  core::RunProcedure(run, source::frmMain::FixColumns, [&](core::Procedure& p) {
    for (const auto& [column, type] : kColumns) p.step([&] { CheckColumn(cnn, column, type); });
  });
}

bool CheckColumn(db::Connection& cnn, const std::string& column, const std::string& type) {
  try {
    db::Recordset rs;
    rs.Open("SELECT " + column + " FROM Ace WHERE Sku = 'ZZNOEXIST';", cnn, db::adOpenKeyset,
            db::adLockOptimistic);
    rs.Close();
    return true;
  } catch (const std::exception&) {
    // The column is taken as missing.
  }
  cnn.Execute("ALTER TABLE Ace ADD COLUMN " + column + " " + type + ";", -1);
  return true;
}

}  // namespace cs::schema
