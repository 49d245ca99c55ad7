// The product table (Ace, and its staging twin AceMTD) and the planogram table. Their layout
// comes from the configuration INI's sections "Ace" and "PlanogramDetails"; the built-in layouts
// below are used when the INI does not build the table.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "config/registry.h"
#include "core/run_context.h"
#include "db/connection.h"

namespace cs::schema {

// The 32 column clauses that follow "ALTER TABLE <name>" after the product table's key column.
inline constexpr std::array<const char*, 32> kAceColumnClauses = {
    " ADD COLUMN Description TEXT(50)",   " ADD COLUMN AceRetail CURRENCY",
    " ADD COLUMN Level1 CURRENCY",        " ADD COLUMN Level2 CURRENCY",
    " ADD COLUMN MC TEXT(10)",            " ADD COLUMN DEPT TEXT(10)",
    " ADD COLUMN PS TEXT(5)",             " ADD COLUMN DealerCost DOUBLE",
    " ADD COLUMN DOM DOUBLE",             " ADD COLUMN HC DOUBLE",
    " ADD COLUMN VC TEXT(2)",             " ADD COLUMN VendorName TEXT(50)",
    " ADD COLUMN VendorNumber TEXT(10)",  " ADD COLUMN MfgNumber TEXT(24)",
    " ADD COLUMN ParentRSC TEXT(5)",      " ADD COLUMN PG TEXT(5)",
    " ADD COLUMN PrivateLabel TEXT(1)",   " ADD COLUMN RDOM DOUBLE",
    " ADD COLUMN RSCCount INTEGER",       " ADD COLUMN RU INTEGER",
    " ADD COLUMN Nbr TEXT(8)",            " ADD COLUMN Conv TEXT(8)",
    " ADD COLUMN Sup TEXT(8)",            " ADD COLUMN Ult TEXT(8)",
    " ADD COLUMN [Active] YESNO",         " ADD COLUMN InUpdate YESNO",
    " ADD COLUMN MSURetail DOUBLE",       " ADD COLUMN MSURetailPrior DOUBLE",
    " ADD COLUMN MSUChangeDate DATETIME", " ADD COLUMN LastPriceChange DATETIME",
    " ADD COLUMN LastUpdate DATETIME",    " ADD COLUMN CreateDate DATETIME",
};

// The statements of the built-in product table under a name ("Ace" or "AceMTD"), in order.
inline std::vector<std::string> AceStatements(const std::string& table) {
  std::vector<std::string> out;
  out.push_back("CREATE TABLE " + table + "([SKU] TEXT(20) CONSTRAINT MyConstraint PRIMARY KEY);");
  for (const char* clause : kAceColumnClauses) out.push_back("ALTER TABLE " + table + clause);
  return out;
}

// The statements of the built-in planogram table.
inline std::vector<std::string> PlanogramStatements(const std::string& table) {
  return {"CREATE TABLE PlanogramDetails ([POG] TEXT(10));",
          "ALTER TABLE " + table + " ADD COLUMN Description TEXT(100)"};
}

// Creates the product table under `table` ("Ace" or "AceMTD") on the current database: from the
// INI section "Ace", or, when that fails or the INI has no such section, from the built-in
// statements, one step each. False when Abort ended it.
bool MaketblAce(core::RunContext& run, config::Registry& registry, const std::string& table,
                db::Connection& cnn);

// Creates the planogram table the same way, from the section "PlanogramDetails".
bool MaketblPlanogramDetails(core::RunContext& run, config::Registry& registry,
                             const std::string& table, db::Connection& cnn);

}  // namespace cs::schema
