// The catalog of a Jet 4 database: the rows of MSysObjects, the table whose definition is on
// page 2. Each object of the database (tables, queries, relationships, the containers above
// them) has a row there; a table's row holds its definition page as its Id.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "jetfile/format.h"

namespace cs::jetfile {

class PageFile;

inline constexpr PageNumber kCatalogDefinitionPage = 2;
// The Type of a table's catalog row.
inline constexpr std::int16_t kCatalogTypeTable = 1;
// Flags that mark a system object (0x80000000) or one Access keeps for itself (0x00000002).
inline constexpr std::uint32_t kCatalogSystemFlags = 0x80000002u;

struct CatalogEntry {
  std::int32_t id = 0;
  std::int32_t parent_id = 0;
  std::u16string name;
  std::int16_t type = 0;
  std::uint32_t flags = 0;
  RowPointer row;  // where the catalog row lives
};

// Every catalog row in table-scan order. FormatError when the catalog's definition lacks one of
// the columns Id, ParentId, Name, Type, Flags (or they have other types), or a row is unsound.
std::vector<CatalogEntry> ReadCatalog(PageFile& pages);

// True for the catalog row of a user table: type 1, no system flag, and a name without the
// MSys prefix that Access reserves for its own tables.
bool IsUserTable(const CatalogEntry& entry);

// The definition page a table's catalog row names. FormatError when it cannot be a page of the
// file.
PageNumber DefinitionPageOf(const CatalogEntry& entry, PageNumber page_count);

// A name of the database (a table's, a column's, an index's) as messages show it: UTF-8, each
// control character a "?".
std::string PrintableName(std::u16string_view name);

// Names compared as Jet compares object names: without regard to letter case.
bool SameObjectName(std::u16string_view a, std::u16string_view b);

}  // namespace cs::jetfile
