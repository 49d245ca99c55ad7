// A Jet table's layout beside a table of the program's: whether the program's rows can be written
// into the Jet table as it stands, and the layout a table is made again with when they cannot.
#pragma once

#include <vector>

#include "db/jetfile/jet_rows.h"
#include "jetfile/table_definition.h"
#include "jetfile/table_layout.h"

namespace cs::db::jetfile {

// The columns of a Jet table in column-number order, the order of its rows' values.
std::vector<const cs::jetfile::ColumnDefinition*> ByNumber(const cs::jetfile::TableDefinition& def);

// A Jet column as a column to write.
cs::jetfile::ColumnSpec SpecOf(const cs::jetfile::ColumnDefinition& c);

// True when the program's table has the Jet table's columns, in its order, of its types and
// sizes, and its primary key: then its rows can be written into the Jet table as it stands.
bool SameLayout(const SourceTable& program, const cs::jetfile::TableDefinition& def);

// The layout a table is made again with: the program's columns and indexes, the old table's
// AutoNumber and text compression kept for the columns it still has, and its other indexes (not
// the primary key, not a relationship's) kept when all their columns are still there.
cs::jetfile::TableSchema RemadeSchema(const SourceTable& program, const cs::jetfile::TableDefinition& old);

}  // namespace cs::db::jetfile
