// A new, empty Jet 4 database (Access 2000 format) with a given password, written by this layer
// from the figures of the system tables Access 2000 writes into a new file
// (new_database_tables.inc): page 0 from Header::CreateNew, the free-page map on page 1, and
// MSysObjects (definition on page 2), MSysACEs, MSysQueries and MSysRelationships with their
// usage maps, index pages and rows: the containers (Tables, Databases, Relationships and those
// of Access's forms, reports, modules, scripts and pages), MSysDb, the system tables' own rows,
// and their access entries.
//
// Not written: the property blobs Access keeps in LvProp (the database's, and the SummaryInfo
// and UserDefined documents that carry them), and the tables Access adds for itself when it
// first opens a file (MSysAccessObjects and the like).
#pragma once

#include <string_view>

#include "jetfile/format.h"
#include "platform/file_system.h"

namespace cs::jetfile {

// Writes the database into `file`, which must be empty (std::invalid_argument otherwise, and for
// a password Header::CreateNew refuses). `created` is the creation date (an OLE date), used for
// the header and every catalog row. The file is flushed at the end.
void CreateEmptyDatabase(platform::RandomAccessFile& file, std::u16string_view password,
                         double created);

}  // namespace cs::jetfile
