#include "db/jetfile/reader_child/catalog.h"

#include <cstdio>
#include <span>

#include "db/jetfile/reader_child/tables.h"
#include "db/jetfile/values.h"

namespace cs::db::jetfile::reader_child {

std::vector<MdbCatalogEntry> ReadCatalog(const File& file) {
  MdbCatalogEntry catalog{};
  catalog.mdb = file.mdb;
  catalog.object_type = MDB_TABLE;
  catalog.table_pg = 2;
  std::snprintf(catalog.object_name, sizeof catalog.object_name, "MSysObjects");
  const auto objects = OpenTable(file, &catalog, "MSysObjects");
  int id = -1, name = -1, type = -1, flags = -1;
  for (unsigned i = 0; i < objects->num_cols; ++i) {
    const auto* col = static_cast<MdbColumn*>(g_ptr_array_index(objects->columns, i));
    const std::string column = col->name;
    int* slot = column == "Id"      ? &id
                : column == "Name"  ? &name
                : column == "Type"  ? &type
                : column == "Flags" ? &flags
                                    : nullptr;
    if (slot != nullptr) *slot = static_cast<int>(i);
  }
  if (id < 0 || name < 0 || type < 0 || flags < 0) throw ReadError("catalog incomplete");
  // A number in a row of the catalog: Id and Flags are Long, Type Integer.
  auto number = [](const MdbField& f) -> std::int64_t {
    const auto* p = static_cast<const unsigned char*>(f.value);
    if (f.is_null || p == nullptr) return -1;
    if (f.siz == 4) return Raw<std::int32_t>(p);
    if (f.siz == 2) return Raw<std::int16_t>(p);
    throw ReadError("catalog damaged");
  };
  std::vector<MdbCatalogEntry> entries;
  std::vector<MdbField> fields;
  ForEachRow(file, objects.get(), "MSysObjects", objects->num_rows, fields, [&](std::uint32_t) {
    const MdbField& n = fields[static_cast<std::size_t>(name)];
    if (n.is_null || n.siz <= 0 || n.value == nullptr) throw ReadError("catalog damaged");
    const auto text = cs::db::jetfile::TextToUtf8(
        std::span(static_cast<const std::uint8_t*>(n.value), static_cast<std::size_t>(n.siz)),
        file.jet4);
    if (!text || text->empty() || text->size() > MDB_MAX_OBJ_NAME)
      throw ReadError("catalog damaged");
    MdbCatalogEntry entry{};
    entry.mdb = file.mdb;
    std::memcpy(entry.object_name, text->data(), text->size());
    entry.object_type = static_cast<int>(number(fields[static_cast<std::size_t>(type)]) & 0x7F);
    entry.table_pg =
        static_cast<unsigned long>(number(fields[static_cast<std::size_t>(id)]) & 0x00FFFFFF);
    entry.flags = static_cast<int>(number(fields[static_cast<std::size_t>(flags)]));
    entries.push_back(entry);
  });
  return entries;
}

}  // namespace cs::db::jetfile::reader_child
