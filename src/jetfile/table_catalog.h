// Tables created in and dropped from a Jet 4 database, with the catalog kept right.
//
// Creating a table writes its definition page(s), one data page (owner 0) holding its usage maps
// (pages owned, pages with free space, one per index, two per Memo/OLE column: inline maps of 69
// bytes), an empty leaf for each index, its catalog row (Id = its definition page, ParentId = the
// `Tables` container's Id, Type 1, Flags 0, both dates the given time, Owner that of the
// database's MSysDb row, no properties) and its access entries: those of the `Tables` container
// that new objects inherit and that grant any right on data, as Access gives a new table. The
// catalog's indexes (Id, ParentIdName) and MSysACEs' ObjectId index are built again whole.
//
// Dropping a table removes its catalog row and its access entries (rows deleted as Jet deletes
// them, the indexes built again) and frees every page it owned: definition, data, long-value,
// index and usage-map pages. A table that takes part in a relationship is refused: its partner's
// foreign-key index and the MSysRelationships rows would have to go too, which this layer does
// not do.
//
// Both read and check everything they need first: a name in use or not valid, a missing table,
// a damaged catalog or table is a FormatError with nothing written. A failure of the file while
// writing (std::system_error) can leave the database part-written; callers work on a copy.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "jetfile/format.h"
#include "jetfile/table_layout.h"

namespace cs::jetfile {

class Database;
class FreePageMap;
class PageFile;

// The catalog's Id of the container of tables and queries, and of its parent.
inline constexpr std::int32_t kTablesContainerParentId = 0x0F000000;

// Creates the table of `schema` at `now` (an OLE date) and returns its definition page. Pages
// come from `free_pages`, the free-page map of `pages`.
PageNumber CreateTable(PageFile& pages, FreePageMap& free_pages, const TableSchema& schema,
                       double now);
PageNumber CreateTable(Database& database, const TableSchema& schema, double now);

// Drops the user table of that name (letter case ignored); its pages go back to `free_pages`.
void DropTable(PageFile& pages, FreePageMap& free_pages, std::u16string_view name);
void DropTable(Database& database, std::u16string_view name);

}  // namespace cs::jetfile
