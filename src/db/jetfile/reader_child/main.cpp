// catalogsync-jetread: reads a Jet 3 or Jet 4 database through libmdb and writes its user tables
// to standard output as the reader stream of db/jetfile/wire.h.
//
//   catalogsync-jetread FILE
//
// The program runs it as a child process of its own, with limits on time and memory, because
// libmdb trusts the file it reads: a damaged file may crash it or make it loop. Whatever happens
// here, the program's side only believes a stream that ends as the protocol says. This side still
// checks every result libmdb gives (a table definition that cannot be read, a row that does not
// crack, a long value whose pages do not add up, a row count that differs from the definition's)
// and reports the first problem as a failure frame instead of sending fewer or damaged rows.
// Before a table's rows are read its definition is read again from its pages and checked
// (table_definition.h), and every walk over pages, rows and long values is bounded by the size
// of the file, so that a damaged file ends in a failure frame rather than at the limits.
//
// Exit status: 0 when every table was sent, 1 after a failure frame, 2 for a wrong command line,
// 3 when standard output could not be written.
// glib first: mdbtools.h includes it inside extern "C", where its C++ parts do not compile.
#include <glib.h>
#include <mdbtools.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "db/jetfile/table_definition.h"
#include "db/jetfile/values.h"
#include "db/jetfile/wire.h"

namespace {

using cs::db::jetfile::JetType;
namespace wire = cs::db::jetfile::wire;

// A problem with the file, reported to the program in a failure frame.
class ReadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Where a value is, for the message of a problem; made into text only when one arises.
struct Where {
  const std::string& table;
  std::uint32_t row;
  std::string Text() const { return table + " row " + std::to_string(row); }
};

// Row-offset flags of a data page: 0x4000 marks a deleted row, or a row that was moved (read
// where it now lies); the low 13 bits are the offset.
constexpr int kRowSkippedFlag = 0x4000;
constexpr int kRowOffsetMask = 0x1FFF;
constexpr int kLongValueHeader = 12;
constexpr std::size_t kFlushBytes = 1 << 16;

class Output {
 public:
  wire::Writer& writer() { return writer_; }
  // Sends what is buffered once enough has gathered, or always when asked to.
  void Flush(bool always) {
    std::string& buffer = writer_.buffer();
    if (buffer.empty() || (!always && buffer.size() < kFlushBytes)) return;
    if (std::fwrite(buffer.data(), 1, buffer.size(), stdout) != buffer.size()) {
      throw std::runtime_error("standard output cannot be written");
    }
    buffer.clear();
    if (always && std::fflush(stdout) != 0)
      throw std::runtime_error("standard output cannot be written");
  }

 private:
  wire::Writer writer_;
};

std::uint32_t Le32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

template <typename T>
T Raw(const unsigned char* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

bool IsSystemName(const char* name) {
  return (name[0] == 'M' || name[0] == 'm') && (name[1] == 'S' || name[1] == 's') &&
         (name[2] == 'y' || name[2] == 'Y') && (name[3] == 's' || name[3] == 'S');
}

// The whole of a Memo or OLE value: kept in the row when short, else in one row of another page
// or in a chain of such rows, each beginning with the page and row of the next. The 12 bytes in
// the row hold the length (24 bits), its kind (0x80 in the row, 0x40 one other page, 0x00 a
// chain) and the page and row where it begins.
std::string ReadLongValue(MdbHandle* mdb, const unsigned char* field, int size,
                          const Where& where) {
  if (size < kLongValueHeader) throw ReadError("short long-value header in " + where.Text());
  const std::uint32_t head = Le32(field);
  const std::uint32_t length = head & 0x00FFFFFF;
  const std::uint32_t kind = head >> 24;
  if (kind == 0x80) {
    if (static_cast<std::uint32_t>(size - kLongValueHeader) != length) {
      throw ReadError("long value length mismatch in " + where.Text());
    }
    return std::string(reinterpret_cast<const char*>(field + kLongValueHeader), length);
  }
  if (kind != 0x40 && kind != 0x00) throw ReadError("unknown long value kind in " + where.Text());
  std::string out;
  int pg_row = static_cast<int>(Le32(field + 4));
  while (out.size() < length) {
    void* buf = nullptr;
    int offset = 0;
    std::size_t row_length = 0;
    if (pg_row == 0 || mdb_find_pg_row(mdb, pg_row, &buf, &offset, &row_length) != 0 ||
        offset < 0 || offset + row_length > static_cast<std::size_t>(mdb->fmt->pg_size)) {
      throw ReadError("long value page missing in " + where.Text());
    }
    const auto* row = static_cast<const unsigned char*>(buf) + offset;
    if (kind == 0x40) {
      if (row_length < length)
        throw ReadError("long value shorter than its length in " + where.Text());
      out.assign(reinterpret_cast<const char*>(row), length);
      break;
    }
    if (row_length <= 4 || row_length - 4 > length - out.size()) {
      throw ReadError("long value pages do not add up in " + where.Text());
    }
    pg_row = static_cast<int>(Le32(row));
    out.append(reinterpret_cast<const char*>(row + 4), row_length - 4);
  }
  return out;
}

// The length of UTF-8 text in the units a Text column's size counts: UTF-16 code units (a
// character beyond U+FFFF takes two), one a byte in Jet 3's single-byte text.
std::size_t Utf16Length(const std::string& utf8) {
  std::size_t units = 0;
  for (const char c : utf8) {
    const auto b = static_cast<unsigned char>(c);
    if ((b & 0xC0) != 0x80) units += b >= 0xF0 ? 2 : 1;
  }
  return units;
}

std::string DecodeText(std::span<const std::uint8_t> bytes, bool jet4, const Where& where) {
  auto text = cs::db::jetfile::TextToUtf8(bytes, jet4);
  if (!text) throw ReadError("text that does not decode in " + where.Text());
  return std::move(*text);
}


void WriteValue(MdbHandle* mdb, const MdbColumn* col, const MdbField& field, bool jet4,
                const Where& where, wire::Writer& w) {
  const int type = col->col_type;
  if (type == static_cast<int>(JetType::kYesNo)) {
    // Yes/No lives in the row's null mask: a set bit is Yes.
    w.U8(1);
    w.I64(field.is_null ? 0 : -1);
    return;
  }
  if (field.is_null) {
    w.U8(0);
    return;
  }
  const auto* p = static_cast<const unsigned char*>(field.value);
  if (field.siz < 0 || (field.siz > 0 && p == nullptr))
    throw ReadError("bad field in " + where.Text());
  const std::span<const std::uint8_t> bytes(p, static_cast<std::size_t>(field.siz));
  // Yes/No has left above: its value is no field.
  const int fixed = cs::db::jetfile::TypeSize(static_cast<std::uint8_t>(type));
  if (fixed != 0 && field.siz != fixed)
    throw ReadError("field of the wrong size in " + where.Text());
  w.U8(1);
  switch (static_cast<JetType>(type)) {
    case JetType::kByte:
      w.I64(p[0]);
      break;
    case JetType::kInteger:
      w.I64(Raw<std::int16_t>(p));
      break;
    case JetType::kLong:
      w.I64(Raw<std::int32_t>(p));
      break;
    case JetType::kCurrency:
      w.I64(Raw<std::int64_t>(p));
      break;
    case JetType::kSingle:
      w.F64(static_cast<double>(Raw<float>(p)));
      break;
    case JetType::kDouble:
    case JetType::kDateTime:
      w.F64(Raw<double>(p));
      break;
    case JetType::kText: {
      const std::string text = DecodeText(bytes, jet4, where);
      if (Utf16Length(text) > static_cast<std::size_t>(jet4 ? col->col_size / 2 : col->col_size))
        throw ReadError("text longer than its column in " + where.Text());
      w.String(text);
      break;
    }
    case JetType::kMemo: {
      const std::string raw = ReadLongValue(mdb, p, field.siz, where);
      w.String(DecodeText(std::span(reinterpret_cast<const std::uint8_t*>(raw.data()), raw.size()),
                          jet4, where));
      break;
    }
    case JetType::kOle:
      w.String(ReadLongValue(mdb, p, field.siz, where));
      break;
    case JetType::kGuid:
      w.String(cs::db::jetfile::GuidText(bytes.first<16>()));
      break;
    case JetType::kDecimal: {
      const auto text = cs::db::jetfile::DecimalText(bytes.first<17>(), col->col_scale);
      if (!text) throw ReadError("decimal that does not decode in " + where.Text());
      w.String(*text);
      break;
    }
    default:
      w.String(std::string_view(reinterpret_cast<const char*>(p), bytes.size()));
      break;
  }
}

struct TableCloser {
  void operator()(MdbTableDef* t) const { mdb_free_tabledef(t); }
};

// What the reading of one file needs to know of it.
struct File {
  MdbHandle* mdb;
  bool jet4;
  std::uint32_t pages;  // whole pages in the file
};

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

// A table's definition, checked, with its columns; or a failure frame.
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

void SendTable(const File& file, MdbCatalogEntry* entry, Output& out) {
  MdbHandle* mdb = file.mdb;
  const bool jet4 = file.jet4;
  const std::string name = entry->object_name;
  const auto table = OpenTable(file, entry, name);
  // It returns nothing and leaves what it read in table->indices.
  mdb_read_indices(table.get());
  if (table->indices == nullptr) throw ReadError("indexes of " + name + " cannot be read");

  wire::Writer& w = out.writer();
  w.Begin(wire::FrameType::kTable);
  w.String(name);
  w.U16(static_cast<std::uint16_t>(table->num_cols));
  std::vector<MdbColumn*> columns;
  for (unsigned i = 0; i < table->num_cols; ++i) {
    auto* col = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, i));
    columns.push_back(col);
    w.String(col->name);
    w.U8(static_cast<std::uint8_t>(col->col_type));
    const bool text = col->col_type == static_cast<int>(JetType::kText);
    w.U32(static_cast<std::uint32_t>(text && jet4 ? col->col_size / 2 : col->col_size));
  }
  std::vector<std::uint16_t> key;
  for (unsigned i = 0; table->indices && i < table->indices->len; ++i) {
    const auto* idx = static_cast<MdbIndex*>(g_ptr_array_index(table->indices, i));
    if (idx->index_type != 1) continue;  // 1: the primary key
    if (!key.empty() || idx->num_keys == 0 || idx->num_keys > wire::kMaxKeyColumns) {
      throw ReadError("primary key of " + name + " cannot be read");
    }
    for (unsigned k = 0; k < idx->num_keys; ++k) {
      const int position = idx->key_col_num[k] - 1;
      if (position < 0 || position >= static_cast<int>(table->num_cols)) {
        throw ReadError("primary key of " + name + " names no column");
      }
      key.push_back(static_cast<std::uint16_t>(position));
    }
  }
  w.U16(static_cast<std::uint16_t>(key.size()));
  for (const auto k : key) w.U16(k);
  w.U32(table->num_rows);
  w.End();

  std::vector<MdbField> fields;
  ForEachRow(file, table.get(), name, table->num_rows, fields, [&](std::uint32_t row) {
    const Where where{name, row};
    w.Begin(wire::FrameType::kRow);
    for (unsigned i = 0; i < table->num_cols; ++i) {
      WriteValue(mdb, columns[i], fields[i], jet4, where, w);
    }
    w.End();
    out.Flush(false);
  });
  w.Begin(wire::FrameType::kTableEnd);
  w.U32(table->num_rows);
  w.End();
}

// The objects of the file, from its catalog (MSysObjects, whose definition is on page 2). The
// catalog is read here, row by row like any table, rather than by libmdb's catalog reader, which
// also decodes each object's properties: on a damaged file that decoding runs away with memory
// and time, and the properties are not needed.
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

struct HandleCloser {
  void operator()(MdbHandle* mdb) const { mdb_close(mdb); }
};

void SendDatabase(const char* path, Output& out) {
  wire::Writer& w = out.writer();
  w.Begin(wire::FrameType::kHello);
  for (const char c : wire::kMagic) w.U8(static_cast<std::uint8_t>(c));
  w.U16(wire::kVersion);
  w.End();
  std::unique_ptr<MdbHandle, HandleCloser> mdb(mdb_open(path, MDB_NOFLAGS));
  if (!mdb) throw ReadError("not a database libmdb opens");
  const auto version = mdb->f->jet_version;
  if (version != MDB_VER_JET3 && version != MDB_VER_JET4)
    throw ReadError("not a Jet 3 or Jet 4 database");
  const bool jet4 = version == MDB_VER_JET4;
  // A Jet file is whole pages; a cut one would have libmdb read pages that are not there.
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  const auto page_size = static_cast<std::uintmax_t>(cs::db::jetfile::PageSize(jet4));
  if (ec || mdb->fmt->pg_size != static_cast<ssize_t>(page_size) || size % page_size != 0 ||
      size / page_size < 3 || size / page_size > 0xFFFFFF) {
    throw ReadError("not whole pages of a database");
  }
  const File file{mdb.get(), jet4, static_cast<std::uint32_t>(size / page_size)};
  // Every object must be read from the catalog, or tables would go missing without a word.
  std::vector<MdbCatalogEntry> catalog = ReadCatalog(file);
  std::uint32_t tables = 0;
  for (MdbCatalogEntry& entry : catalog) {
    if (entry.object_type != MDB_TABLE || !mdb_is_user_table(&entry) ||
        IsSystemName(entry.object_name)) {
      continue;
    }
    SendTable(file, &entry, out);
    ++tables;
  }
  w.Begin(wire::FrameType::kEnd);
  w.U32(tables);
  w.End();
  out.Flush(true);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: catalogsync-jetread FILE\n", stderr);
    return 2;
  }
  Output out;
  try {
    try {
      SendDatabase(argv[1], out);
      return 0;
    } catch (const ReadError& e) {
      out.writer().Abandon();
      out.writer().Begin(wire::FrameType::kFailure);
      out.writer().String(e.what());
      out.writer().End();
      out.Flush(true);
      return 1;
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "catalogsync-jetread: %s\n", e.what());
    return 3;
  }
}
