// catalogsync-libmdb-dump: prints a Jet database as libmdb reads it, in the dump format of the
// Jet fixtures (tests/jetfile/readers.h tells the format), for the tests to compare with what
// they expect and with the second reader.
//
//   catalogsync-libmdb-dump FILE
//
// libmdb finds the tables, columns, indexes, relationships, data pages, rows and long-value pages
// and decodes the text; this program formats the fixed-size values from their bytes, because
// libmdb's own text for them is short of what the tests must see (doubles to 16 digits, singles
// to 8, and no dates before 1899-12-30), and it walks a long value's chain of pages itself so
// that a memo is never cut at libmdb's buffer size. It fails loudly (exit status 1 and a message)
// on anything libmdb cannot read, rather than printing fewer rows.
//
// What libmdb does not tell: the password (left as `?`), whether a text column compresses its
// Unicode (`compressedUnicode=?`), and for the logical index of a relationship its columns,
// flags and the index it refers to (`?`).
// glib first: mdbtools.h includes it inside extern "C", where its C++ parts do not compile.
#include <glib.h>
#include <mdbtools.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

class DumpError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

constexpr int kRowDeletedFlag = 0x4000;
constexpr int kRowOffsetMask = 0x1FFF;
constexpr int kLongValueHeader = 12;
// A long value no larger than this is believed; a bigger length is damage.
constexpr std::uint32_t kMaxLongValue = 1u << 24;

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

std::string Escape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (u < 0x20 || u == 0x7F) {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", u);
      out += hex;
    } else {
      out += c;
    }
  }
  return out;
}

// A number as the fixtures write it: the fewest digits that read back as the same value, plain
// from 0.001 up to 10,000,000 (with at least one decimal), else d.dddE±n.
template <typename F>
std::string NumberText(F value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "Infinity" : "-Infinity";
  if (value == 0) return std::signbit(value) ? "-0.0" : "0.0";
  char buf[64];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
  if (ec != std::errc()) throw DumpError("number that cannot be written");
  const std::string text(buf, end);
  const std::size_t e = text.find('e');
  std::string mantissa = text.substr(0, e);
  const int exponent = std::stoi(text.substr(e + 1));
  std::string sign;
  if (mantissa[0] == '-') {
    sign = "-";
    mantissa.erase(0, 1);
  }
  std::string digits;
  for (const char c : mantissa)
    if (c != '.') digits += c;
  if (exponent >= -3 && exponent < 7) {
    std::string whole, fraction;
    if (exponent >= 0) {
      whole = digits.substr(0, std::min<std::size_t>(digits.size(), exponent + 1));
      whole.append(exponent + 1 - whole.size(), '0');
      fraction =
          digits.size() > static_cast<std::size_t>(exponent + 1) ? digits.substr(exponent + 1) : "";
    } else {
      whole = "0";
      fraction = std::string(-exponent - 1, '0') + digits;
    }
    if (fraction.empty()) fraction = "0";
    return sign + whole + "." + fraction;
  }
  const std::string rest = digits.size() > 1 ? digits.substr(1) : "0";
  return sign + digits.substr(0, 1) + "." + rest + "E" + std::to_string(exponent);
}

// Jet keeps a date as days since 1899-12-30; before that day the whole days count back and the
// fraction is still the time of day forward (-1.25 is 1899-12-29 06:00). To the second, the
// millisecond dropped.
std::string DateText(double days) {
  if (!std::isfinite(days) || std::fabs(days) > 3.0e6) throw DumpError("date out of range");
  constexpr std::int64_t kDayMs = 86400000;
  const std::int64_t ms = static_cast<std::int64_t>(std::floor(days * kDayMs + 0.5));
  std::int64_t whole_days = ms / kDayMs;  // toward zero
  std::int64_t time_ms = ms - whole_days * kDayMs;
  if (time_ms < 0) time_ms = -time_ms;
  std::int64_t seconds_of_day = time_ms / 1000;
  // Days from 1970-01-01, then the civil date (proleptic Gregorian).
  std::int64_t z = whole_days - 25569 + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  std::int64_t year = yoe + era * 400;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  const std::int64_t day = doy - (153 * mp + 2) / 5 + 1;
  const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
  if (month <= 2) ++year;
  char buf[128];
  std::snprintf(buf, sizeof buf, "%04lld-%02lld-%02lld %02lld:%02lld:%02lld",
                static_cast<long long>(year), static_cast<long long>(month),
                static_cast<long long>(day), static_cast<long long>(seconds_of_day / 3600),
                static_cast<long long>(seconds_of_day / 60 % 60),
                static_cast<long long>(seconds_of_day % 60));
  return buf;
}

std::string CurrencyText(std::int64_t units) {
  const bool negative = units < 0;
  // The magnitude as unsigned, so that the smallest value does not overflow.
  const std::uint64_t magnitude =
      negative ? ~static_cast<std::uint64_t>(units) + 1 : static_cast<std::uint64_t>(units);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%s%llu.%04llu", negative ? "-" : "",
                static_cast<unsigned long long>(magnitude / 10000),
                static_cast<unsigned long long>(magnitude % 10000));
  return buf;
}

std::string HexText(const unsigned char* p, std::size_t size) {
  std::string out = "0x";
  char hex[3];
  for (std::size_t i = 0; i < size; ++i) {
    std::snprintf(hex, sizeof hex, "%02X", p[i]);
    out += hex;
  }
  return out;
}

std::string GuidText(const unsigned char* p) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", Le32(p),
                static_cast<unsigned>(p[4] | p[5] << 8), static_cast<unsigned>(p[6] | p[7] << 8),
                p[8], p[9], p[10], p[11], p[12], p[13], p[14], p[15]);
  return buf;
}

// Text through libmdb's decoder (Unicode compression, UTF-16 to UTF-8). Each stored byte gives
// at most three bytes of UTF-8, so a result that fills the buffer was cut.
std::string DecodeText(MdbHandle* mdb, const char* bytes, std::size_t size) {
  if (size == 0) return {};
  std::vector<char> out(size * 3 + 4);
  const int length = mdb_unicode2ascii(mdb, bytes, size, out.data(), out.size());
  if (length < 0 || static_cast<std::size_t>(length) >= out.size() - 1)
    throw DumpError("text that libmdb cannot decode");
  return std::string(out.data(), static_cast<std::size_t>(length));
}

// The bytes of a Memo or OLE value: in the row, in one row of a long-value page, or over a
// chain of such rows, each starting with the page and row of the next (libmdb finds the rows).
std::string LongValue(MdbHandle* mdb, const unsigned char* field, int size) {
  if (size < kLongValueHeader) throw DumpError("long value with a short header");
  const std::uint32_t head = Le32(field);
  const std::uint32_t length = head & 0x00FFFFFF;
  const std::uint32_t kind = head >> 24;
  if (kind == 0x80) {
    if (static_cast<std::uint32_t>(size - kLongValueHeader) != length)
      throw DumpError("long value in the row of the wrong length");
    return std::string(reinterpret_cast<const char*>(field + kLongValueHeader), length);
  }
  if ((kind != 0x40 && kind != 0x00) || length > kMaxLongValue)
    throw DumpError("long value of an unknown kind");
  std::string out;
  int pg_row = static_cast<int>(Le32(field + 4));
  for (int hops = 0; out.size() < length; ++hops) {
    void* buf = nullptr;
    int offset = 0;
    std::size_t row_length = 0;
    if (hops > 1 << 14 || pg_row == 0 ||
        mdb_find_pg_row(mdb, pg_row, &buf, &offset, &row_length) != 0 || offset < 0 ||
        offset + row_length > static_cast<std::size_t>(mdb->fmt->pg_size)) {
      throw DumpError("long-value page missing");
    }
    const auto* row = static_cast<const unsigned char*>(buf) + offset;
    if (kind == 0x40) {
      if (row_length < length) throw DumpError("long value shorter than its length");
      out.assign(reinterpret_cast<const char*>(row), length);
      break;
    }
    if (row_length <= 4 || row_length - 4 > length - out.size())
      throw DumpError("long-value pages that do not add up");
    pg_row = static_cast<int>(Le32(row));
    out.append(reinterpret_cast<const char*>(row + 4), row_length - 4);
  }
  return out;
}

std::string TypeName(int type) {
  switch (type) {
    case MDB_BOOL:
      return "BOOLEAN";
    case MDB_BYTE:
      return "BYTE";
    case MDB_INT:
      return "INT";
    case MDB_LONGINT:
      return "LONG";
    case MDB_MONEY:
      return "MONEY";
    case MDB_FLOAT:
      return "FLOAT";
    case MDB_DOUBLE:
      return "DOUBLE";
    case MDB_DATETIME:
      return "SHORT_DATE_TIME";
    case MDB_BINARY:
      return "BINARY";
    case MDB_TEXT:
      return "TEXT";
    case MDB_OLE:
      return "OLE";
    case MDB_MEMO:
      return "MEMO";
    case MDB_REPID:
      return "GUID";
    case MDB_NUMERIC:
      return "NUMERIC";
    default:
      return "UNKNOWN_" + std::to_string(type);
  }
}

// The size the fixed-size types must have in a row (a Yes/No lives in the null mask).
int FixedSize(int type) {
  switch (type) {
    case MDB_BOOL:
      return 1;
    case MDB_BYTE:
      return 1;
    case MDB_INT:
      return 2;
    case MDB_LONGINT:
    case MDB_FLOAT:
      return 4;
    case MDB_MONEY:
    case MDB_DOUBLE:
    case MDB_DATETIME:
      return 8;
    case MDB_REPID:
      return 16;
    default:
      return 0;
  }
}

std::string ValueText(MdbHandle* mdb, const MdbColumn* col, const MdbField& field) {
  const int type = col->col_type;
  // A set bit in the null mask is Yes; libmdb reports it as "not null".
  if (type == MDB_BOOL) return field.is_null ? "0" : "1";
  if (field.is_null) return "\\N";
  const auto* p = static_cast<const unsigned char*>(field.value);
  if (field.siz < 0 || (field.siz > 0 && p == nullptr)) throw DumpError("field without a value");
  const int fixed = FixedSize(type);
  if (fixed != 0 && field.siz != fixed) throw DumpError("field of the wrong size");
  switch (type) {
    case MDB_BYTE:
      return std::to_string(p[0]);
    case MDB_INT:
      return std::to_string(Raw<std::int16_t>(p));
    case MDB_LONGINT:
      return std::to_string(Raw<std::int32_t>(p));
    case MDB_MONEY:
      return CurrencyText(Raw<std::int64_t>(p));
    case MDB_FLOAT:
      return NumberText(Raw<float>(p));
    case MDB_DOUBLE:
      return NumberText(Raw<double>(p));
    case MDB_DATETIME:
      return DateText(Raw<double>(p));
    case MDB_REPID:
      return GuidText(p);
    case MDB_TEXT:
      return Escape(
          DecodeText(mdb, reinterpret_cast<const char*>(p), static_cast<std::size_t>(field.siz)));
    case MDB_MEMO: {
      const std::string raw = LongValue(mdb, p, field.siz);
      return Escape(DecodeText(mdb, raw.data(), raw.size()));
    }
    case MDB_OLE: {
      const std::string raw = LongValue(mdb, p, field.siz);
      return HexText(reinterpret_cast<const unsigned char*>(raw.data()), raw.size());
    }
    case MDB_BINARY:
      return HexText(p, static_cast<std::size_t>(field.siz));
    default:
      throw DumpError("a column of type " + TypeName(type) + ", which this dump does not format");
  }
}

struct TableCloser {
  void operator()(MdbTableDef* t) const { mdb_free_tabledef(t); }
};
using TablePtr = std::unique_ptr<MdbTableDef, TableCloser>;

TablePtr ReadTable(MdbCatalogEntry* entry) {
  TablePtr table(mdb_read_table(entry));
  if (!table)
    throw DumpError(std::string("definition of ") + entry->object_name + " cannot be read");
  if (!mdb_read_columns(table.get()) || table->columns == nullptr ||
      table->columns->len != table->num_cols) {
    throw DumpError(std::string("columns of ") + entry->object_name + " cannot be read");
  }
  mdb_read_indices(table.get());
  if (table->indices == nullptr)
    throw DumpError(std::string("indexes of ") + entry->object_name + " cannot be read");
  return table;
}

MdbColumn* Column(MdbTableDef* table, unsigned i) {
  return static_cast<MdbColumn*>(g_ptr_array_index(table->columns, i));
}

// Calls back with each row of a table in the order of its data pages, as cracked fields.
template <typename Visit>
void ForEachRow(MdbHandle* mdb, MdbTableDef* table, Visit visit) {
  const int rco = mdb->fmt->row_count_offset;
  const int page_size = static_cast<int>(mdb->fmt->pg_size);
  std::vector<MdbField> fields(table->num_cols);
  mdb_rewind_table(table);
  while (mdb_read_next_dpg(table)) {
    const int count = mdb_get_int16(mdb->pg_buf, rco);
    if (count < 0 || rco + 2 + count * 2 > page_size)
      throw DumpError(std::string("damaged data page in ") + table->name);
    for (int r = 0; r < count; ++r) {
      const int flags = mdb_get_int16(mdb->pg_buf, rco + 2 + r * 2);
      if (flags & kRowDeletedFlag) continue;
      int start = 0;
      std::size_t size = 0;
      if (mdb_find_row(mdb, r, &start, &size) != 0 || size == 0)
        throw DumpError(std::string("damaged row in ") + table->name);
      start &= kRowOffsetMask;
      if (mdb_crack_row(table, start, size, fields.data()) < 0)
        throw DumpError(std::string("row that libmdb cannot crack in ") + table->name);
      for (const MdbField& f : fields) {
        if (!f.is_null && f.siz > 0 &&
            (f.start < start ||
             static_cast<std::size_t>(f.start) + static_cast<std::size_t>(f.siz) > start + size)) {
          throw DumpError(std::string("field outside its row in ") + table->name);
        }
      }
      visit(fields);
    }
  }
  // libmdb ends the scan quietly when a page of the table cannot be read (a file cut short): the
  // usage map then still names a page after the last one read, where it names none at the end.
  if (table->usage_map != nullptr &&
      mdb_map_find_next(mdb, table->usage_map, static_cast<unsigned>(table->map_sz),
                        table->cur_phys_pg) > 0) {
    throw DumpError(std::string("a data page of ") + table->name + " cannot be read");
  }
}

void PrintColumn(const MdbColumn* col) {
  const int type = col->col_type;
  std::string line = std::string("  COLUMN ") + Escape(col->name) + "\ttype=" + TypeName(type);
  const int fixed = FixedSize(type);
  // A Yes/No column keeps no bytes in the row; its declared size is that of its type.
  const int length = type == MDB_BOOL && col->col_size == 0 ? fixed : col->col_size;
  line += "\tlength=" + std::to_string(length);
  if (type == MDB_TEXT || type == MDB_MEMO) {
    line += "\tchars=" + std::to_string(col->col_size / 2) + "\tcompressedUnicode=?";
  }
  line += std::string("\tautonumber=") + (col->is_long_auto || col->is_uuid_auto ? "1" : "0");
  std::printf("%s\n", line.c_str());
}

void PrintIndex(MdbTableDef* table, const MdbIndex* idx) {
  std::string line = std::string("  INDEX ") + Escape(idx->name);
  if (idx->index_type == 2) {
    // The logical index of a relationship: libmdb reads neither its columns nor its flags.
    line +=
        "\tcolumns=?\tunique=?\tprimaryKey=0\tforeignKey=1\treferences=?\tignoreNulls=?\trequired="
        "?";
    std::printf("%s\n", line.c_str());
    return;
  }
  line += "\tcolumns=(";
  for (unsigned k = 0; k < idx->num_keys && k < MDB_MAX_IDX_COLS; ++k) {
    const int position = idx->key_col_num[k] - 1;
    if (position < 0 || position >= static_cast<int>(table->num_cols))
      throw DumpError(std::string("index ") + idx->name + " names no column");
    if (k > 0) line += ", ";
    line += Escape(Column(table, static_cast<unsigned>(position))->name);
    line += idx->key_col_order[k] == MDB_DESC ? " DESC" : " ASC";
  }
  line += ")";
  line += std::string("\tunique=") + (idx->flags & MDB_IDX_UNIQUE ? "1" : "0");
  line += std::string("\tprimaryKey=") + (idx->index_type == 1 ? "1" : "0");
  line += "\tforeignKey=0";
  line += std::string("\tignoreNulls=") + (idx->flags & MDB_IDX_IGNORENULLS ? "1" : "0");
  line += std::string("\trequired=") + (idx->flags & MDB_IDX_REQUIRED ? "1" : "0");
  std::printf("%s\n", line.c_str());
}

void PrintTable(MdbHandle* mdb, MdbCatalogEntry* entry) {
  const TablePtr table = ReadTable(entry);
  std::printf("TABLE %s\n", Escape(entry->object_name).c_str());
  for (unsigned i = 0; i < table->num_cols; ++i) PrintColumn(Column(table.get(), i));
  for (unsigned i = 0; i < table->indices->len; ++i)
    PrintIndex(table.get(), static_cast<MdbIndex*>(g_ptr_array_index(table->indices, i)));
  std::printf("  ROWCOUNT %u\n  ROWS\n", table->num_rows);
  std::string header;
  for (unsigned i = 0; i < table->num_cols; ++i) {
    if (i > 0) header += '\t';
    header += Escape(Column(table.get(), i)->name);
  }
  std::printf("%s\n", header.c_str());
  std::string line;
  ForEachRow(mdb, table.get(), [&](const std::vector<MdbField>& fields) {
    line.clear();
    for (unsigned i = 0; i < table->num_cols; ++i) {
      if (i > 0) line += '\t';
      line += ValueText(mdb, Column(table.get(), i), fields[i]);
    }
    line += '\n';
    if (std::fwrite(line.data(), 1, line.size(), stdout) != line.size())
      throw std::runtime_error("standard output cannot be written");
  });
  std::printf("END TABLE %s\n", Escape(entry->object_name).c_str());
}

// Relationships between user tables, from the catalog's MSysRelationships, one line each with
// the columns in their order.
struct Relationship {
  std::string from_table, to_table;
  std::map<int, std::pair<std::string, std::string>> columns;  // position: from, to
  long flags = 0;
};

std::string FieldText(MdbHandle* mdb, MdbTableDef* table, unsigned i, const MdbField& f) {
  if (f.is_null) return {};
  const MdbColumn* col = Column(table, i);
  if (col->col_type == MDB_TEXT)
    return DecodeText(mdb, static_cast<const char*>(f.value), static_cast<std::size_t>(f.siz));
  if (col->col_type == MDB_LONGINT && f.siz == 4)
    return std::to_string(Raw<std::int32_t>(static_cast<const unsigned char*>(f.value)));
  if (col->col_type == MDB_INT && f.siz == 2)
    return std::to_string(Raw<std::int16_t>(static_cast<const unsigned char*>(f.value)));
  throw DumpError("MSysRelationships holds a column of an unexpected type");
}

void PrintRelationships(MdbHandle* mdb, MdbCatalogEntry* entry,
                        const std::vector<std::string>& user_tables) {
  const TablePtr table = ReadTable(entry);
  std::map<std::string, int> position;
  for (unsigned i = 0; i < table->num_cols; ++i)
    position[Column(table.get(), i)->name] = static_cast<int>(i);
  for (const char* name : {"szRelationship", "grbit", "icolumn", "szObject", "szColumn",
                           "szReferencedObject", "szReferencedColumn"}) {
    if (!position.count(name)) throw DumpError(std::string("MSysRelationships has no ") + name);
  }
  std::map<std::string, Relationship> relationships;
  ForEachRow(mdb, table.get(), [&](const std::vector<MdbField>& fields) {
    auto text = [&](const char* name) {
      const unsigned i = static_cast<unsigned>(position[name]);
      return FieldText(mdb, table.get(), i, fields[i]);
    };
    Relationship& r = relationships[text("szRelationship")];
    r.from_table = text("szReferencedObject");
    r.to_table = text("szObject");
    r.flags = std::stol(text("grbit").empty() ? "0" : text("grbit"));
    r.columns[std::stoi(text("icolumn").empty() ? "0" : text("icolumn"))] = {
        text("szReferencedColumn"), text("szColumn")};
  });
  for (const auto& [name, r] : relationships) {
    const auto user = [&](const std::string& t) {
      return std::find(user_tables.begin(), user_tables.end(), t) != user_tables.end();
    };
    if (!user(r.from_table) || !user(r.to_table)) continue;
    std::string from, to;
    for (const auto& [at, pair] : r.columns) {
      if (!from.empty()) {
        from += ',';
        to += ',';
      }
      from += pair.first;
      to += pair.second;
    }
    const long f = r.flags;
    const char* join = f & 0x01000000 ? "LEFT_OUTER" : f & 0x02000000 ? "RIGHT_OUTER" : "INNER";
    std::printf(
        "RELATIONSHIP %s\tfrom=%s(%s)\tto=%s(%s)\tintegrity=%d\tcascadeUpdates=%d\t"
        "cascadeDeletes=%d\tcascadeNull=%d\toneToOne=%d\tjoin=%s\n",
        Escape(name).c_str(), Escape(r.from_table).c_str(), Escape(from).c_str(),
        Escape(r.to_table).c_str(), Escape(to).c_str(), f & 0x2 ? 0 : 1, f & 0x100 ? 1 : 0,
        f & 0x1000 ? 1 : 0, f & 0x2000 ? 1 : 0, f & 0x1 ? 1 : 0, join);
  }
}

struct HandleCloser {
  void operator()(MdbHandle* mdb) const { mdb_close(mdb); }
};

bool IsSystemName(const std::string& name) {
  return name.size() >= 4 && g_ascii_strncasecmp(name.c_str(), "MSys", 4) == 0;
}

void Dump(const char* path) {
  std::unique_ptr<MdbHandle, HandleCloser> mdb(mdb_open(path, MDB_NOFLAGS));
  if (!mdb) throw DumpError("not a database libmdb opens");
  if (!mdb_read_catalog(mdb.get(), MDB_ANY) || mdb->catalog == nullptr)
    throw DumpError("catalog cannot be read");
  std::vector<MdbCatalogEntry*> tables;
  MdbCatalogEntry* relationships = nullptr;
  bool access_storage = false;
  for (unsigned i = 0; i < mdb->catalog->len; ++i) {
    auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
    if (entry->object_type != MDB_TABLE) continue;
    const std::string name = entry->object_name;
    if (name == "MSysRelationships") relationships = entry;
    if (name == "MSysAccessStorage") access_storage = true;
    if (IsSystemName(name) || !mdb_is_user_table(entry)) continue;
    tables.push_back(entry);
  }
  std::sort(tables.begin(), tables.end(), [](const MdbCatalogEntry* a, const MdbCatalogEntry* b) {
    return std::strcmp(a->object_name, b->object_name) < 0;
  });
  const char* base = std::strrchr(path, '/');
  std::printf("FILE %s\n", base ? base + 1 : path);
  switch (mdb->f->jet_version) {
    case MDB_VER_JET3:
      std::printf("FORMAT V1997 [VERSION_3]\n");
      break;
    // Access 2003 adds MSysAccessStorage to a Jet 4 file; Access 2000 has none.
    case MDB_VER_JET4:
      std::printf("FORMAT %s [VERSION_4]\n", access_storage ? "V2003" : "V2000");
      break;
    default:
      throw DumpError("a database newer than Jet 4");
  }
  std::printf("PASSWORD ?\n");
  std::vector<std::string> names;
  for (MdbCatalogEntry* entry : tables) {
    names.emplace_back(entry->object_name);
    PrintTable(mdb.get(), entry);
  }
  if (relationships != nullptr) PrintRelationships(mdb.get(), relationships, names);
  std::printf("END\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: catalogsync-libmdb-dump FILE\n", stderr);
    return 2;
  }
  try {
    Dump(argv[1]);
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
      throw std::runtime_error("standard output cannot be written");
    return 0;
  } catch (const std::exception& e) {
    std::fflush(stdout);
    std::fprintf(stderr, "catalogsync-libmdb-dump: %s: %s\n", argv[1], e.what());
    return 1;
  }
}
