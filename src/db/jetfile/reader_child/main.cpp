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
//
// Exit status: 0 when every table was sent, 1 after a failure frame, 2 for a wrong command line,
// 3 when standard output could not be written.
// glib first: mdbtools.h includes it inside extern "C", where its C++ parts do not compile.
#include <glib.h>
#include <mdbtools.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

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

std::string DecodeText(std::span<const std::uint8_t> bytes, bool jet4, const Where& where) {
  auto text = cs::db::jetfile::TextToUtf8(bytes, jet4);
  if (!text) throw ReadError("text that does not decode in " + where.Text());
  return std::move(*text);
}

// The size a fixed-size type must have in the row; 0 for the others.
int FixedSize(int type) {
  switch (static_cast<JetType>(type)) {
    case JetType::kByte:
      return 1;
    case JetType::kInteger:
      return 2;
    case JetType::kLong:
    case JetType::kSingle:
      return 4;
    case JetType::kCurrency:
    case JetType::kDouble:
    case JetType::kDateTime:
      return 8;
    case JetType::kGuid:
      return 16;
    case JetType::kDecimal:
      return 17;
    default:
      return 0;
  }
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
  const int fixed = FixedSize(type);
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
    case JetType::kText:
      w.String(DecodeText(bytes, jet4, where));
      break;
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

void SendTable(MdbHandle* mdb, MdbCatalogEntry* entry, bool jet4, Output& out) {
  const std::string name = entry->object_name;
  std::unique_ptr<MdbTableDef, TableCloser> table(mdb_read_table(entry));
  if (!table) throw ReadError("table definition of " + name + " cannot be read");
  if (!mdb_read_columns(table.get()) || table->columns == nullptr || table->num_cols == 0 ||
      table->num_cols > wire::kMaxColumns || table->columns->len != table->num_cols) {
    throw ReadError("columns of " + name + " cannot be read");
  }
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

  const int rco = mdb->fmt->row_count_offset;
  const int page_size = static_cast<int>(mdb->fmt->pg_size);
  std::vector<MdbField> fields(table->num_cols);
  std::uint32_t rows = 0;
  mdb_rewind_table(table.get());
  while (mdb_read_next_dpg(table.get())) {
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
      if (mdb_crack_row(table.get(), start, size, fields.data()) < 0)
        throw ReadError("damaged row in " + name);
      const Where where{name, rows + 1};
      w.Begin(wire::FrameType::kRow);
      for (unsigned i = 0; i < table->num_cols; ++i) {
        const MdbField& f = fields[i];
        if (!f.is_null && f.siz > 0 &&
            (f.start < start ||
             static_cast<std::size_t>(f.start) + static_cast<std::size_t>(f.siz) > start + size)) {
          throw ReadError("field outside its row in " + where.Text());
        }
        WriteValue(mdb, columns[i], f, jet4, where, w);
      }
      w.End();
      ++rows;
      out.Flush(false);
    }
  }
  if (rows != table->num_rows) {
    throw ReadError(name + " holds " + std::to_string(rows) + " rows, its definition " +
                    std::to_string(table->num_rows));
  }
  w.Begin(wire::FrameType::kTableEnd);
  w.U32(rows);
  w.End();
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
  // The catalog is a table too (MSysObjects, its definition on page 2): every object must be
  // read from it, or tables would go missing without a word.
  if (!mdb_read_catalog(mdb.get(), MDB_ANY) || mdb->catalog == nullptr) {
    throw ReadError("catalog cannot be read");
  }
  MdbCatalogEntry catalog{};
  catalog.mdb = mdb.get();
  catalog.object_type = MDB_TABLE;
  catalog.table_pg = 2;
  std::snprintf(catalog.object_name, sizeof catalog.object_name, "MSysObjects");
  const std::unique_ptr<MdbTableDef, TableCloser> objects(mdb_read_table(&catalog));
  if (!objects || objects->num_rows != mdb->num_catalog || mdb->catalog->len != mdb->num_catalog) {
    throw ReadError("catalog incomplete");
  }
  std::uint32_t tables = 0;
  for (unsigned i = 0; i < mdb->num_catalog && i < mdb->catalog->len; ++i) {
    auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
    if (entry->object_type != MDB_TABLE || !mdb_is_user_table(entry) ||
        IsSystemName(entry->object_name)) {
      continue;
    }
    SendTable(mdb.get(), entry, jet4, out);
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
