// The objects of the file, read from its catalog.
#pragma once

#include <vector>

#include "db/jetfile/reader_child/mdb_file.h"

namespace cs::db::jetfile::reader_child {

// The objects of the file, from its catalog (MSysObjects, whose definition is on page 2). The
// catalog is read here, row by row like any table, rather than by libmdb's catalog reader, which
// also decodes each object's properties: on a damaged file that decoding runs away with memory
// and time, and the properties are not needed.
std::vector<MdbCatalogEntry> ReadCatalog(const File& file);

}  // namespace cs::db::jetfile::reader_child
