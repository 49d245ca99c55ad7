#include "db/jetfile/jet_update.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <optional>
#include <system_error>

#include "db/jet/errors.h"
#include "db/jet/types.h"
#include "db/jetfile/copy.h"
#include "db/jetfile/jet_rows.h"
#include "db/jetfile/values.h"
#include "db/sqlite.h"
#include "jetfile/catalog.h"
#include "jetfile/database.h"
#include "jetfile/table_catalog.h"
#include "jetfile/table_pages.h"
#include "platform/run_error.h"
#include "platform/text.h"

namespace fs = std::filesystem;

namespace cs::db::jetfile {
namespace {

using cs::jetfile::ColumnSpec;
using cs::jetfile::ColumnType;
using cs::jetfile::IndexSpec;
using cs::jetfile::TableDefinition;
using cs::jetfile::TableSchema;

RunError TableError(const std::string& table, const std::string& why) {
  return RunError(jet::kErrGeneral, "The table '" + table + "' cannot be written into the current database: " + why);
}

RunError Differs(const std::string& table, const std::string& why) {
  return RunError(jet::kErrGeneral, "The new current database was not put in place: its table '" + table +
                                        "', read back, " + why + ".");
}

RunError FileError(const fs::path& file, const std::string& why) {
  return RunError(err::kPathFileAccess, "Path/File access error (writing " + file.string() + ": " + why + ")");
}

const std::string* FindName(const std::vector<std::string>& names, const std::string& name) {
  for (const auto& n : names) {
    if (platform::EqualsNoCase(n, name)) return &n;
  }
  return nullptr;
}

// A table's columns as declared: name, type and place in the primary key.
std::vector<std::string> Declared(const Database& db, const std::string& schema, const std::string& table) {
  return Query(db, "SELECT name || char(9) || type || char(9) || pk FROM pragma_table_info(?1, ?2) ORDER BY cid",
               {table, schema});
}

bool SameValue(const Value& a, const Value& b) { return a.is_date == b.is_date && a.data == b.data; }

// True when the table holds the same rows, in the same order, in `after` (main) and `before`.
bool SameRows(const Database& db, const std::string& table) {
  Statement a(db, "SELECT * FROM main." + jet::QuoteName(table));
  Statement b(db, "SELECT * FROM before." + jet::QuoteName(table));
  if (a.ColumnCount() != b.ColumnCount()) return false;
  for (;;) {
    const bool more_a = a.Step();
    if (more_a != b.Step()) return false;
    if (!more_a) return true;
    for (int i = 0; i < a.ColumnCount(); ++i) {
      if (!SameValue(a.Column(i), b.Column(i))) return false;
    }
  }
}

// The columns of a Jet table in column-number order, the order of its rows' values.
std::vector<const cs::jetfile::ColumnDefinition*> ByNumber(const TableDefinition& def) {
  std::vector<const cs::jetfile::ColumnDefinition*> out;
  for (const auto& c : def.columns) out.push_back(&c);
  std::sort(out.begin(), out.end(), [](auto* a, auto* b) { return a->number < b->number; });
  return out;
}

ColumnSpec SpecOf(const cs::jetfile::ColumnDefinition& c) {
  ColumnSpec spec;
  spec.name = c.name;
  spec.type = c.type;
  spec.length = c.type == ColumnType::kText ? static_cast<std::uint16_t>(c.length / 2) : c.length;
  spec.autonumber = c.IsAutoNumber();
  spec.compressed_unicode = c.IsCompressedUnicode();
  return spec;
}

// The columns of the primary key of a Jet table, by name; none when it has no primary key.
std::vector<std::u16string> PrimaryKey(const TableDefinition& def) {
  for (const auto& logical : def.logical_indexes) {
    if (logical.kind != cs::jetfile::kLogicalIndexPrimaryKey || logical.real_index >= def.real_indexes.size()) continue;
    std::vector<std::u16string> out;
    for (const auto& ic : def.real_indexes[logical.real_index].columns) {
      if (ic.number == cs::jetfile::kUnusedIndexColumn) continue;
      if (const auto* c = def.FindColumn(ic.number)) out.push_back(c->name);
    }
    return out;
  }
  return {};
}

bool SameNames(const std::vector<std::u16string>& a, const std::vector<std::u16string>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](const auto& x, const auto& y) { return cs::jetfile::SameObjectName(x, y); });
}

// True when the program's table has the Jet table's columns, in its order, of its types and
// sizes, and its primary key: then its rows can be written into the Jet table as it stands.
bool SameLayout(const SourceTable& program, const TableDefinition& def) {
  const auto columns = ByNumber(def);
  if (columns.size() != program.schema.columns.size()) return false;
  for (std::size_t i = 0; i < columns.size(); ++i) {
    const ColumnSpec& p = program.schema.columns[i];
    const ColumnSpec jet = SpecOf(*columns[i]);
    if (!cs::jetfile::SameObjectName(p.name, jet.name) || p.type != jet.type) return false;
    if ((p.type == ColumnType::kText || p.type == ColumnType::kBinary) && p.length != jet.length) return false;
  }
  std::vector<std::u16string> key;
  for (const auto& index : program.schema.indexes) {
    if (!index.primary_key) continue;
    for (const auto& [name, ascending] : index.columns) key.push_back(name);
  }
  return SameNames(key, PrimaryKey(def));
}

// The layout a table is made again with: the program's columns and indexes, the old table's
// AutoNumber and text compression kept for the columns it still has, and its other indexes (not
// the primary key, not a relationship's) kept when all their columns are still there.
TableSchema RemadeSchema(const SourceTable& program, const TableDefinition& old) {
  TableSchema schema = program.schema;
  for (auto& column : schema.columns) {
    for (const auto& c : old.columns) {
      if (!cs::jetfile::SameObjectName(c.name, column.name) || c.type != column.type) continue;
      column.autonumber = c.IsAutoNumber() && c.type == ColumnType::kLong;
      column.compressed_unicode = c.IsCompressedUnicode() || c.type != ColumnType::kText;
    }
  }
  const auto has_column = [&](const std::u16string& name) {
    return std::any_of(schema.columns.begin(), schema.columns.end(),
                       [&](const ColumnSpec& c) { return cs::jetfile::SameObjectName(c.name, name); });
  };
  for (const auto& logical : old.logical_indexes) {
    if (logical.kind != 0 || logical.real_index >= old.real_indexes.size()) continue;
    const auto& real = old.real_indexes[logical.real_index];
    IndexSpec index;
    index.name = logical.name;
    index.unique = (real.flags & cs::jetfile::kIndexUnique) != 0;
    index.ignore_nulls = (real.flags & cs::jetfile::kIndexIgnoreNulls) != 0;
    index.required = (real.flags & cs::jetfile::kIndexRequired) != 0;
    bool whole = true;
    for (const auto& ic : real.columns) {
      if (ic.number == cs::jetfile::kUnusedIndexColumn) continue;
      const auto* c = old.FindColumn(ic.number);
      whole = whole && c && has_column(c->name);
      if (c) index.columns.emplace_back(c->name, ic.order == cs::jetfile::kIndexAscending);
    }
    const bool named = std::any_of(schema.indexes.begin(), schema.indexes.end(), [&](const IndexSpec& i) {
      return cs::jetfile::SameObjectName(i.name, index.name);
    });
    if (whole && !named && !index.columns.empty()) schema.indexes.push_back(index);
  }
  return schema;
}

// One enforced relationship: the child table's columns refer to the parent's.
struct Relationship {
  std::string name, child, parent;
  std::vector<std::pair<std::size_t, std::pair<std::string, std::string>>> columns;  // (icolumn, (child, parent))
  bool enforced = true;
};

std::map<std::string, Relationship> Relationships(cs::jetfile::Database& jet) {
  std::map<std::string, Relationship> out;
  const auto names = jet.TableNames();
  TableDefinition def;
  try {
    def = jet.Definition(u"MSysRelationships");
  } catch (const cs::jetfile::FormatError&) {
    return out;  // a file without relationships may lack the table
  }
  std::map<std::string, std::size_t> at;
  for (const auto* c : ByNumber(def)) at[platform::Utf16ToUtf8(c->name)] = at.size();
  for (const char* needed : {"ccolumn", "grbit", "icolumn", "szColumn", "szObject", "szReferencedColumn",
                             "szReferencedObject", "szRelationship"}) {
    if (!at.count(needed)) throw cs::jetfile::FormatError(std::string("MSysRelationships has no column ") + needed);
  }
  const auto text = [](const cs::jetfile::Value& v) {
    const auto* s = std::get_if<std::u16string>(&v);
    return s ? platform::Utf16ToUtf8(*s) : std::string();
  };
  const auto number = [](const cs::jetfile::Value& v) -> std::int64_t {
    if (const auto* n = std::get_if<std::int32_t>(&v)) return *n;
    if (const auto* n = std::get_if<std::int16_t>(&v)) return *n;
    return 0;
  };
  jet.ReadRows(u"MSysRelationships", [&](std::span<const cs::jetfile::Value> row) {
    Relationship& r = out[text(row[at["szRelationship"]])];
    r.name = text(row[at["szRelationship"]]);
    r.child = text(row[at["szObject"]]);
    r.parent = text(row[at["szReferencedObject"]]);
    // grbit 2: referential integrity not enforced.
    r.enforced = (number(row[at["grbit"]]) & 2) == 0;
    r.columns.push_back({static_cast<std::size_t>(number(row[at["icolumn"]])),
                         {text(row[at["szColumn"]]), text(row[at["szReferencedColumn"]])}});
  });
  return out;
}

// Refuses new rows that break an enforced relationship of a table written: a child row whose key
// (all its columns set) has no parent row.
void CheckRelationships(cs::jetfile::Database& jet, const Database& after, const std::vector<std::string>& written) {
  for (auto& [name, r] : Relationships(jet)) {
    if (!r.enforced || r.columns.empty()) continue;
    if (!FindName(written, r.child) && !FindName(written, r.parent)) continue;
    std::sort(r.columns.begin(), r.columns.end());
    std::string set = "1", match = "1";
    for (const auto& [i, pair] : r.columns) {
      set += " AND c." + jet::QuoteName(pair.first) + " IS NOT NULL";
      // Jet compares text keys without regard to letter case.
      match += " AND p." + jet::QuoteName(pair.second) + " = c." + jet::QuoteName(pair.first) + " COLLATE NOCASE";
    }
    std::vector<std::string> broken;
    try {
      broken = Query(after, "SELECT 1 FROM " + jet::QuoteName(r.child) + " AS c WHERE " + set +
                                " AND NOT EXISTS (SELECT 1 FROM " + jet::QuoteName(r.parent) + " AS p WHERE " + match +
                                ") LIMIT 1");
    } catch (const RunError& e) {
      throw TableError(r.child, "its relationship " + r.name + " with '" + r.parent + "' cannot be checked (" +
                                    e.what() + ")");
    }
    if (!broken.empty()) {
      throw TableError(r.child, "rows of it would have no row in '" + r.parent + "' (relationship " + r.name + ")");
    }
  }
}

// A row's hash (64 bits), made of its values as the columns' Jet types hold them, the same for
// the values handed to the writer and the values the reader reads back: integers of every width
// as one, currency as its count of ten-thousandths, reals and dates by their bits, text by its
// characters (UTF-16 on one side, UTF-8 on the other), Null apart from every value.
class CanonicalRow {
 public:
  void Clear() { h_ = kOffset; }
  void Null() { Tag('N'); }
  void Add(const ColumnSpec& spec, const cs::jetfile::Value& v) {
    if (cs::jetfile::IsNull(v)) return Null();
    switch (spec.type) {
      case ColumnType::kBoolean:
        return Integer('B', std::get<bool>(v) ? 1 : 0);
      case ColumnType::kByte:
        return Integer('I', std::get<std::uint8_t>(v));
      case ColumnType::kInteger:
        return Integer('I', std::get<std::int16_t>(v));
      case ColumnType::kLong:
        return Integer('I', std::get<std::int32_t>(v));
      case ColumnType::kCurrency:
        return Integer('C', std::get<cs::jetfile::Currency>(v).ten_thousandths);
      case ColumnType::kSingle:
        return Real('S', static_cast<double>(std::get<float>(v)));
      case ColumnType::kDouble:
        return Real('D', std::get<double>(v));
      case ColumnType::kDateTime:
        return Real('T', std::get<cs::jetfile::DateTime>(v).ole);
      case ColumnType::kText:
      case ColumnType::kMemo: {
        Tag('X');
        const std::u16string& text = std::get<std::u16string>(v);
        for (std::size_t i = 0; i < text.size(); ++i) {
          char32_t c = text[i];
          if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
          }
          Mix(c);
        }
        return Mix(0xFFFFFFFF);
      }
      default: {
        Tag('Y');
        for (const std::uint8_t b : std::get<cs::jetfile::Bytes>(v)) Mix(b);
        return Mix(0xFFFFFFFF);
      }
    }
  }
  void Add(const ColumnSpec& spec, const wire::FieldValue& v) {
    if (std::holds_alternative<std::monostate>(v)) return Null();
    if (const auto* n = std::get_if<std::int64_t>(&v)) {
      return spec.type == ColumnType::kBoolean ? Integer('B', *n != 0 ? 1 : 0) : Integer('I', *n);
    }
    if (const auto* c = std::get_if<wire::Currency>(&v)) return Integer('C', c->ten_thousandths);
    if (const auto* d = std::get_if<double>(&v)) {
      return spec.type == ColumnType::kSingle ? Real('S', static_cast<double>(static_cast<float>(*d))) : Real('D', *d);
    }
    if (const auto* t = std::get_if<wire::DateTime>(&v)) return Real('T', t->days);
    if (const auto* t = std::get_if<wire::Text>(&v)) {
      Tag('X');
      const std::string_view s = t->utf8;
      for (std::size_t i = 0; i < s.size();) {
        const auto b = static_cast<std::uint8_t>(s[i]);
        const std::size_t n = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
        char32_t c = n == 1 ? b : b & (0x7F >> n);
        for (std::size_t k = 1; k < n && i + k < s.size(); ++k) c = (c << 6) | (static_cast<std::uint8_t>(s[i + k]) & 0x3F);
        Mix(c);
        i += n;
      }
      return Mix(0xFFFFFFFF);
    }
    Tag('Y');
    for (const char b : std::get<wire::Binary>(v).bytes) Mix(static_cast<std::uint8_t>(b));
    Mix(0xFFFFFFFF);
  }

  std::uint64_t Hash() const {
    std::uint64_t h = h_;
    h ^= h >> 30;
    h *= 0xbf58476d1ce4e5b9ULL;
    h ^= h >> 27;
    h *= 0x94d049bb133111ebULL;
    return h ^ (h >> 31);
  }

 private:
  static constexpr std::uint64_t kOffset = 0xcbf29ce484222325ULL;
  void Mix(std::uint64_t word) {
    h_ = (h_ ^ word) * 0x100000001b3ULL;
    h_ ^= h_ >> 29;
  }
  void Tag(char tag) { Mix(0x100000000ULL | static_cast<std::uint8_t>(tag)); }
  void Integer(char tag, std::int64_t n) {
    Tag(tag);
    Mix(static_cast<std::uint64_t>(n));
  }
  void Real(char tag, double d) {
    Tag(tag);
    if (std::isnan(d)) return Mix(0x7FF8000000000000ULL);
    if (d == 0) d = 0;  // -0 and 0 are one value
    std::uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    Mix(bits);
  }

  std::uint64_t h_ = kOffset;
};

// A table as the writer wrote it: its columns in the order of its rows' values, their Jet types,
// and the hash of each row written.
struct WrittenTable {
  std::string name;
  std::vector<std::string> columns;
  std::vector<ColumnSpec> specs;
  std::vector<std::uint64_t> hashes;
};

// The rows handed to the writer, each hashed as it passes (the last reading's rows are kept).
class HashingRows : public cs::jetfile::RowSource {
 public:
  HashingRows(cs::jetfile::RowSource& rows, WrittenTable& table) : rows_(rows), table_(table) {}
  bool Next(std::vector<cs::jetfile::Value>& row) override {
    if (!rows_.Next(row)) return false;
    canonical_.Clear();
    for (std::size_t i = 0; i < row.size(); ++i) canonical_.Add(table_.specs[i], row[i]);
    table_.hashes.push_back(canonical_.Hash());
    return true;
  }
  bool Rewind() override {
    table_.hashes.clear();
    return rows_.Rewind();
  }

 private:
  cs::jetfile::RowSource& rows_;
  WrittenTable& table_;
  CanonicalRow canonical_;
};

// Compares the tables written, read back from the new file, with what the writer was given: the
// same columns and the same rows, as the columns' Jet types hold them. Rows are compared without
// regard to their order (a table's scan order follows its pages, which need not be the order they
// were written in), by their hashes, so that memory stays small for large tables.
class ReadBack : public TableSink {
 public:
  explicit ReadBack(std::vector<WrittenTable>& written) : written_(written) {}

  void BeginTable(const wire::TableInfo& table) override {
    table_ = nullptr;
    for (auto& w : written_) {
      if (platform::EqualsNoCase(w.name, table.name)) table_ = &w;
    }
    if (!table_) throw Differs(table.name, "was not one of the tables written");
    if (std::find(seen_.begin(), seen_.end(), table_) != seen_.end()) throw Differs(table.name, "is there twice");
    seen_.push_back(table_);
    if (table.columns.size() != table_->columns.size()) throw Differs(table_->name, "has other columns than written");
    positions_.assign(table_->columns.size(), 0);
    for (std::size_t k = 0; k < table_->columns.size(); ++k) {
      const auto it = std::find_if(table.columns.begin(), table.columns.end(), [&](const wire::ColumnInfo& c) {
        return platform::EqualsNoCase(c.name, table_->columns[k]);
      });
      if (it == table.columns.end()) throw Differs(table_->name, "lacks the column '" + table_->columns[k] + "'");
      if (it->jet_type != static_cast<std::uint8_t>(table_->specs[k].type)) {
        throw Differs(table_->name, "has the column '" + table_->columns[k] + "' of another type");
      }
      positions_[k] = static_cast<std::size_t>(it - table.columns.begin());
    }
    back_.clear();
  }

  void Row(std::span<const wire::FieldValue> values) override {
    row_.Clear();
    for (std::size_t k = 0; k < positions_.size(); ++k) {
      if (positions_[k] < values.size()) row_.Add(table_->specs[k], values[positions_[k]]);
    }
    back_.push_back(row_.Hash());
  }

  void EndTable(const wire::TableInfo&, std::uint32_t) override {
    std::vector<std::uint64_t>& mine = table_->hashes;
    if (mine.size() != back_.size()) {
      throw Differs(table_->name, "holds " + std::to_string(back_.size()) + " rows instead of the " +
                                      std::to_string(mine.size()) + " written");
    }
    std::sort(mine.begin(), mine.end());
    std::sort(back_.begin(), back_.end());
    std::size_t differing = 0;
    for (std::size_t i = 0, j = 0; i < mine.size() || j < back_.size();) {
      if (j == back_.size() || (i < mine.size() && mine[i] < back_[j])) {
        ++differing, ++i;
      } else if (i == mine.size() || back_[j] < mine[i]) {
        ++j;
      } else {
        ++i, ++j;
      }
    }
    if (differing != 0) {
      throw Differs(table_->name, "differs from what was written in " + std::to_string(differing) + " of its " +
                                      std::to_string(mine.size()) + " rows");
    }
  }

  void Finish() const {
    for (const auto& w : written_) {
      if (std::find(seen_.begin(), seen_.end(), &w) == seen_.end()) throw Differs(w.name, "is missing");
    }
  }

 private:
  std::vector<WrittenTable>& written_;
  std::vector<const WrittenTable*> seen_;
  WrittenTable* table_ = nullptr;
  std::vector<std::size_t> positions_;
  CanonicalRow row_;
  std::vector<std::uint64_t> back_;
};

// The tables not written are as they were: every page each of them holds (definition, data,
// indexes, long values) has the same bytes in the new file as in the old.
void CheckUntouched(platform::FileSystem& files, const fs::path& old_file, const fs::path& new_file,
                    const std::vector<std::string>& tables) {
  if (tables.empty()) return;
  std::unique_ptr<platform::RandomAccessFile> old_access, new_access;
  if (const auto ec = files.OpenRandomAccess(old_file, false, old_access)) throw FileError(old_file, ec.message());
  if (const auto ec = files.OpenRandomAccess(new_file, false, new_access)) throw FileError(new_file, ec.message());
  auto old_db = cs::jetfile::Database::Open(*old_access, false);
  cs::jetfile::Page a, b;
  for (const auto& table : tables) {
    const auto name = platform::Utf8ToUtf16(table);
    const auto first = old_db.FindTable(name);
    const auto pages = cs::jetfile::ReadTablePages(old_db.pages(), first, old_db.Definition(name)).All();
    for (const auto n : pages) {
      const std::uint64_t at = std::uint64_t{n} * cs::jetfile::kPageSize;
      if (const auto ec = old_access->ReadAt(at, a)) throw FileError(old_file, ec.message());
      if (const auto ec = new_access->ReadAt(at, b)) throw FileError(new_file, ec.message());
      if (a != b) throw Differs(table, "was not to be written, but its page " + std::to_string(n) + " changed");
    }
  }
}

// The writing itself, on the open copy.
JetUpdateResult WriteChanges(cs::jetfile::Database& jet, const Database& db, std::vector<WrittenTable>& written,
                             std::vector<std::string>& untouched) {
  JetUpdateResult result;
  const auto after = ProgramTables(db, "main");
  const auto before = ProgramTables(db, "before");
  std::vector<std::string> jet_tables;
  for (const auto& name : jet.TableNames()) jet_tables.push_back(platform::Utf16ToUtf8(name));
  const double now = OleNow();

  struct Planned {
    std::string name;
    const std::string* in_jet;
    SourceTable program;
    bool remake;
  };
  std::vector<Planned> plan;
  for (const auto& table : after) {
    const std::string* in_jet = FindName(jet_tables, table);
    const std::string* in_before = FindName(before, table);
    if (in_jet && in_before && Declared(db, "main", table) == Declared(db, "before", *in_before) &&
        SameRows(db, table)) {
      continue;
    }
    SourceTable program = ReadTableSchema(db, table);
    const bool remake = in_jet && !SameLayout(program, jet.Definition(platform::Utf8ToUtf16(*in_jet)));
    plan.push_back({table, in_jet, std::move(program), remake});
  }
  std::vector<std::string> names;
  for (const auto& p : plan) names.push_back(p.name);
  CheckRelationships(jet, db, names);

  for (const auto& table : jet_tables) {
    if (FindName(names, table)) continue;
    // Only a table the run began with and dropped goes: one the program never read is kept.
    if (FindName(after, table) || !FindName(before, table)) {
      untouched.push_back(table);
      continue;
    }
    try {
      cs::jetfile::DropTable(jet, platform::Utf8ToUtf16(table));
    } catch (const cs::jetfile::FormatError& e) {
      throw TableError(table, std::string("it cannot be dropped: ") + e.what());
    }
    result.dropped.push_back(table);
  }
  for (auto& p : plan) {
    WrittenTable w;
    w.name = p.name;
    try {
      std::u16string jet_name;
      if (p.in_jet && !p.remake) {
        jet_name = platform::Utf8ToUtf16(*p.in_jet);
        const TableDefinition def = jet.Definition(jet_name);
        for (const auto* c : ByNumber(def)) {
          w.columns.push_back(platform::Utf16ToUtf8(c->name));
          w.specs.push_back(SpecOf(*c));
        }
        result.rewritten.push_back(p.name);
      } else {
        if (p.in_jet) {
          p.program.schema = RemadeSchema(p.program, jet.Definition(platform::Utf8ToUtf16(*p.in_jet)));
          cs::jetfile::DropTable(jet, platform::Utf8ToUtf16(*p.in_jet));
        }
        cs::jetfile::CreateTable(jet, p.program.schema, now);
        jet_name = p.program.schema.name;
        w.columns = p.program.columns;
        w.specs = p.program.schema.columns;
        (p.in_jet ? result.remade : result.created).push_back(p.name);
      }
      TableRows rows(db, p.name, w.columns, w.specs);
      HashingRows hashing(rows, w);
      jet.WriteTable(jet_name, hashing);
      jet.CheckTable(jet_name);
    } catch (const cs::jetfile::FormatError& e) {
      throw TableError(p.name, e.what());
    }
    written.push_back(std::move(w));
  }
  return result;
}

}  // namespace

JetUpdateResult WriteJetUpdate(platform::FileSystem& files, const JetUpdate& update, const std::string& shown_path,
                               const ReaderOptions& reader) {
  RemovedUnlessKept remove(files, update.written);

  Database db = Database::Open(update.after, Database::Mode::kReadOnly, jet::NotADatabase(shown_path));
  {
    Statement attach(db, "ATTACH DATABASE ?1 AS before");
    attach.BindText(1, update.before.string());
    attach.Run();
  }
  if (const auto ec = files.CopyFile(update.jet, update.written)) throw FileError(update.written, ec.message());
  JetUpdateResult result;
  std::vector<WrittenTable> written;
  std::vector<std::string> untouched;
  try {
    {
      std::unique_ptr<platform::RandomAccessFile> file;
      if (const auto ec = files.OpenRandomAccess(update.written, true, file)) {
        throw FileError(update.written, ec.message());
      }
      auto jet = cs::jetfile::Database::Open(*file, true);
      result = WriteChanges(jet, db, written, untouched);
      jet.Flush();
    }
    CheckUntouched(files, update.jet, update.written, untouched);
  } catch (const cs::jetfile::FormatError& e) {
    throw RunError(jet::kErrGeneral, "The current database '" + shown_path + "' cannot be written: " + e.what());
  } catch (const std::system_error& e) {
    throw FileError(update.written, e.code().message());
  }
  if (!written.empty()) {
    ReaderOptions options = reader;
    for (const auto& w : written) options.tables.push_back(w.name);
    std::string why;
    options.refusal = &why;
    ReadBack back(written);
    try {
      ReadTables(update.written, shown_path, back, options);
    } catch (const RunError& e) {
      if (why.empty()) throw;
      throw RunError(jet::kErrGeneral, "The new current database was not put in place: the Jet reader refused it (" + why + ").");
    }
    back.Finish();
  }
  remove.Keep();
  return result;
}

}  // namespace cs::db::jetfile
