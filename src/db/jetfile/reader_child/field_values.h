// A field of a row that libmdb cracked, checked and written to the reader stream as its value:
// numbers as they are stored, text decoded, long values followed over their pages.
#pragma once

#include "db/jetfile/reader_child/mdb_file.h"
#include "db/jetfile/wire.h"

namespace cs::db::jetfile::reader_child {

// Writes the value of `field` of column `col`; ReadError when it does not decode or does not fit
// its column.
void WriteValue(MdbHandle* mdb, const MdbColumn* col, const MdbField& field, bool jet4,
                const Where& where, wire::Writer& w);

}  // namespace cs::db::jetfile::reader_child
