// The soundness check of a table definition, made before rows are read or written by it.
#pragma once

#include "jetfile/table_definition.h"

namespace cs::jetfile {

// Checks that a definition is sound enough to read and write rows by: column numbers distinct
// and below max_columns, fixed columns inside the row and not overlapping, variable columns
// numbered 0..n-1 without gaps or repeats, lengths that fit each type, index and long-value
// entries naming existing columns. Throws FormatError saying what is wrong; a sound definition,
// including those of the system tables, always passes.
void CheckTableDefinition(const TableDefinition& def);

}  // namespace cs::jetfile
