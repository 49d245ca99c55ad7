// A table of the file opened through libmdb and checked before anything of it is read (its usage
// map, and its definition read again from its pages), then walked row by row within bounds.
#pragma once

#include <memory>
#include <vector>

#include "db/jetfile/reader_child/mdb_file.h"

namespace cs::db::jetfile::reader_child {

// A table's definition, checked, with its columns; ReadError when it is unsound.
std::unique_ptr<MdbTableDef, TableCloser> OpenTable(const File& file, MdbCatalogEntry* entry,
                                                    const std::string& name);

// Calls row(start, size, fields) for each row of the table, cracked, in page order; at most
// `limit` rows (more is a damaged file), and each data page once.
template <typename RowFunction>
void ForEachRow(const File& file, MdbTableDef* table, const std::string& name, std::uint32_t limit,
                std::vector<MdbField>& fields, RowFunction&& row) {
  MdbHandle* mdb = file.mdb;
  const int rco = mdb->fmt->row_count_offset;
  const int page_size = static_cast<int>(mdb->fmt->pg_size);
  fields.assign(table->num_cols, MdbField{});
  std::uint32_t rows = 0;
  std::uint32_t pages = 0;
  std::uint32_t last_page = 0;
  mdb_rewind_table(table);
  while (mdb_read_next_dpg(table)) {
    if (++pages > file.pages || (pages > 1 && table->cur_phys_pg <= last_page))
      throw ReadError("data pages of " + name + " run in circles");
    last_page = table->cur_phys_pg;
    const int count = mdb_get_int16(mdb->pg_buf, rco);
    if (count < 0 || rco + 2 + count * 2 > page_size)
      throw ReadError("damaged data page in " + name);
    for (int r = 0; r < count; ++r) {
      const int flags = mdb_get_int16(mdb->pg_buf, rco + 2 + r * 2);
      if (flags & kRowSkippedFlag) continue;
      int start = 0;
      std::size_t size = 0;
      if (mdb_find_row(mdb, r, &start, &size) != 0 || size == 0)
        throw ReadError("damaged row in " + name);
      start &= kRowOffsetMask;
      if (mdb_crack_row(table, start, size, fields.data()) < 0)
        throw ReadError("damaged row in " + name);
      if (rows == limit) throw ReadError(name + " holds more rows than its definition");
      ++rows;
      for (unsigned i = 0; i < table->num_cols; ++i) {
        const MdbField& f = fields[i];
        if (!f.is_null && f.siz > 0 &&
            (f.start < start ||
             static_cast<std::size_t>(f.start) + static_cast<std::size_t>(f.siz) > start + size)) {
          throw ReadError("field outside its row in " + name + " row " + std::to_string(rows));
        }
      }
      row(rows);
    }
  }
  if (rows != table->num_rows) {
    throw ReadError(name + " holds " + std::to_string(rows) + " rows, its definition " +
                    std::to_string(table->num_rows));
  }
}

}  // namespace cs::db::jetfile::reader_child
