// catalogsync-jetread: reads a Jet 3 or Jet 4 database through libmdb and writes its user tables
// to standard output as the reader stream of db/jetfile/wire.h.
//
//   catalogsync-jetread [--definitions] FILE [TABLE...]
//
// With table names, only those user tables are sent (names compared without regard to ASCII
// letter case); a name the file does not hold is a failure. With --definitions, each table's
// definition is read and checked as always, but none of its rows is sent: the table is sent as
// one of no rows.
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
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "db/jetfile/reader_child/catalog.h"
#include "db/jetfile/reader_child/field_values.h"
#include "db/jetfile/reader_child/mdb_file.h"
#include "db/jetfile/reader_child/tables.h"
#include "db/jetfile/table_definition.h"
#include "db/jetfile/wire.h"

namespace cs::db::jetfile::reader_child {
namespace {

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

bool IsSystemName(const char* name) {
  return (name[0] == 'M' || name[0] == 'm') && (name[1] == 'S' || name[1] == 's') &&
         (name[2] == 'y' || name[2] == 'Y') && (name[3] == 's' || name[3] == 'S');
}

void SendTable(const File& file, MdbCatalogEntry* entry, bool rows, Output& out) {
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
  const std::uint32_t sent = rows ? table->num_rows : 0;
  w.U32(sent);
  w.End();

  std::vector<MdbField> fields;
  if (rows) {
    ForEachRow(file, table.get(), name, table->num_rows, fields, [&](std::uint32_t row) {
      const Where where{name, row};
      w.Begin(wire::FrameType::kRow);
      for (unsigned i = 0; i < table->num_cols; ++i) {
        WriteValue(mdb, columns[i], fields[i], jet4, where, w);
      }
      w.End();
      out.Flush(false);
    });
  }
  w.Begin(wire::FrameType::kTableEnd);
  w.U32(sent);
  w.End();
}

struct HandleCloser {
  void operator()(MdbHandle* mdb) const { mdb_close(mdb); }
};

bool SameName(const char* a, const std::string& b) {
  const std::size_t n = std::strlen(a);
  if (n != b.size()) return false;
  for (std::size_t i = 0; i < n; ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

void SendDatabase(const char* path, const std::vector<std::string>& only, bool rows, Output& out) {
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
  std::vector<bool> sent(only.size(), false);
  for (MdbCatalogEntry& entry : catalog) {
    if (entry.object_type != MDB_TABLE || !mdb_is_user_table(&entry) ||
        IsSystemName(entry.object_name)) {
      continue;
    }
    if (!only.empty()) {
      const auto it = std::find_if(only.begin(), only.end(),
                                   [&](const std::string& name) { return SameName(entry.object_name, name); });
      if (it == only.end()) continue;
      sent[static_cast<std::size_t>(it - only.begin())] = true;
    }
    SendTable(file, &entry, rows, out);
    ++tables;
  }
  for (std::size_t i = 0; i < only.size(); ++i) {
    if (!sent[i]) throw ReadError("no user table " + only[i]);
  }
  w.Begin(wire::FrameType::kEnd);
  w.U32(tables);
  w.End();
  out.Flush(true);
}

}  // namespace
}  // namespace cs::db::jetfile::reader_child

int main(int argc, char** argv) {
  using namespace cs::db::jetfile::reader_child;
  namespace wire = cs::db::jetfile::wire;
  const bool rows = !(argc > 1 && std::strcmp(argv[1], "--definitions") == 0);
  const int first = rows ? 1 : 2;
  if (argc <= first) {
    std::fputs("usage: catalogsync-jetread [--definitions] FILE [TABLE...]\n", stderr);
    return 2;
  }
  const std::vector<std::string> only(argv + first + 1, argv + argc);
  Output out;
  try {
    try {
      SendDatabase(argv[first], only, rows, out);
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
