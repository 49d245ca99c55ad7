#include "db/jetfile/reader_child/tables.h"

#include <span>

#include "db/jetfile/table_definition.h"
#include "db/jetfile/wire.h"

namespace cs::db::jetfile::reader_child {

namespace {

// The pages the table's usage map gives it, as far as they lie in the file.
std::uint32_t OwnedPages(const File& file, MdbTableDef* table) {
  if (table->usage_map == nullptr || table->map_sz == 0) return 0;
  std::uint32_t owned = 0;
  std::int64_t page = 0;
  // The map's pages only ever grow; a damaged one may still name pages past the file's end.
  while (owned < file.pages) {
    const std::int64_t next =
        mdb_map_find_next(file.mdb, table->usage_map, static_cast<unsigned>(table->map_sz),
                          static_cast<guint32>(page));
    if (next <= page || next >= file.pages) break;
    page = next;
    ++owned;
  }
  return owned;
}

// Reads the definition again from its pages and checks it; a failure frame when it is unsound.
void CheckDefinition(const File& file, MdbTableDef* table, const std::string& name) {
  try {
    const auto definition = cs::db::jetfile::ReadTableDefinition(
        file.jet4, static_cast<std::uint32_t>(table->entry->table_pg), file.pages,
        [&](std::uint32_t page, std::span<std::uint8_t> out) {
          if (mdb_read_alt_pg(file.mdb, page) != file.mdb->fmt->pg_size) return false;
          std::memcpy(out.data(), file.mdb->alt_pg_buf, out.size());
          return true;
        });
    // libmdb must have read the same definition, or what it reads would not be what was checked.
    if (definition.columns.size() != table->num_cols || definition.rows != table->num_rows) {
      throw cs::db::jetfile::DefinitionError("libmdb reads it otherwise");
    }
    cs::db::jetfile::CheckTableDefinition(definition, OwnedPages(file, table));
  } catch (const cs::db::jetfile::DefinitionError& e) {
    throw ReadError("table definition of " + name + " is damaged: " + e.what());
  }
}

// The usage map libmdb walks to find the table's data pages: its first byte says whether the map
// is a bitmap in the row itself (0: the first page it counts from, then the bits) or a list of
// bitmap pages (1). libmdb follows either without looking; an empty map, another kind or a
// bitmap page outside the file is a damaged table.
void CheckUsageMap(const File& file, const MdbTableDef* table, const std::string& name) {
  const unsigned char* map = table->usage_map;
  const std::size_t size = table->map_sz;
  bool sound = map != nullptr && size >= 1 && (map[0] == 0 || map[0] == 1);
  if (sound && map[0] == 0) sound = size >= 5;
  if (sound && map[0] == 1) {
    sound = (size - 1) % 4 == 0;
    for (std::size_t at = 1; sound && at + 4 <= size; at += 4) {
      const std::uint32_t page = Le32(map + at);
      sound = page < file.pages;
    }
  }
  if (!sound) throw ReadError("usage map of " + name + " is damaged");
}

}  // namespace

std::unique_ptr<MdbTableDef, TableCloser> OpenTable(const File& file, MdbCatalogEntry* entry,
                                                    const std::string& name) {
  std::unique_ptr<MdbTableDef, TableCloser> table(mdb_read_table(entry));
  if (!table) throw ReadError("table definition of " + name + " cannot be read");
  CheckUsageMap(file, table.get(), name);
  // Checked before libmdb reads the columns, so that it never reads a damaged definition's.
  CheckDefinition(file, table.get(), name);
  if (!mdb_read_columns(table.get()) || table->columns == nullptr || table->num_cols == 0 ||
      table->num_cols > wire::kMaxColumns || table->columns->len != table->num_cols) {
    throw ReadError("columns of " + name + " cannot be read");
  }
  return table;
}

}  // namespace cs::db::jetfile::reader_child
