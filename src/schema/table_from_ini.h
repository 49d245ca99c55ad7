// Tables defined in the configuration INI. A section names a table's layout: the key
// "PrimaryKey" holds the rest of its CREATE TABLE statement, every other key is a column with
// its type and, after a comma, its default; an entry whose value holds ":" is skipped.
//
//   [AdditionalDetails]
//   PrimaryKey=([SKU] TEXT(20) CONSTRAINT MyConstraint PRIMARY KEY)
//   UPC=TEXT(14)
//   Weight=DOUBLE,0
#pragma once

#include <cstdint>
#include <string>

#include "config/registry.h"
#include "core/run_context.h"
#include "db/connection.h"

namespace cs::schema {

// Creates the table `NewTableName` (empty: `Tablename`) from the section `Tablename` of the
// configuration INI, one statement per entry, on `cnn`. True when the section was gone through
// to its end (a missing or empty section included); false when Abort ended it. `iCount`, when
// given, receives the number of entries the section listed. The statements reach the disk
// together, in one commit, whatever way the operation ends.
bool MakeTableFromINI(core::RunContext& run, config::Registry& registry, const std::string& Tablename,
                      db::Connection& cnn, const std::string& NewTableName = "",
                      std::int32_t* iCount = nullptr);

// The statement of one entry, or "" for an entry that is skipped.
std::string TableEntryStatement(const std::string& table, const std::string& key,
                                const std::string& value);

}  // namespace cs::schema
