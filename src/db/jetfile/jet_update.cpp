#include "db/jetfile/jet_update.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <system_error>

#include "db/jet/errors.h"
#include "db/jet/types.h"
#include "db/jetfile/jet_rows.h"
#include "db/jetfile/values.h"
#include "db/sqlite.h"
#include "jetfile/catalog.h"
#include "jetfile/database.h"
#include "jetfile/table_catalog.h"
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

// The program's tables of a database attached as `schema`, in the order they were made.
std::vector<std::string> ProgramTables(const Database& db, const std::string& schema) {
  return Query(db, "SELECT name FROM " + schema + ".sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite\\_%' "
                   "ESCAPE '\\' AND name <> 'MSysPassword' ORDER BY rowid");
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

// A value as the column's Jet type holds it, in one form for both sides of the comparison: the
// value read back and the program's value the writer was given. Dates count to the second (the
// program's hold whole seconds), currency as the program's nearest double, text as UTF-8; Null
// apart from every value.
class CanonicalRow {
 public:
  void Clear() { bytes_.clear(); }
  void Null() { Field('N', {}); }
  void Add(const ColumnSpec& spec, const cs::jetfile::Value& v) {
    if (cs::jetfile::IsNull(v)) return Null();
    switch (spec.type) {
      case ColumnType::kBoolean:
        return Field('B', std::get<bool>(v) ? "1" : "0");
      case ColumnType::kByte:
        return Integer(std::get<std::uint8_t>(v));
      case ColumnType::kInteger:
        return Integer(std::get<std::int16_t>(v));
      case ColumnType::kLong:
        return Integer(std::get<std::int32_t>(v));
      case ColumnType::kCurrency:
        return Real('C', CurrencyToDouble(std::get<cs::jetfile::Currency>(v).ten_thousandths));
      case ColumnType::kSingle:
        return Single(std::get<float>(v));
      case ColumnType::kDouble:
        return Real('D', std::get<double>(v));
      case ColumnType::kDateTime:
        return Date(std::get<cs::jetfile::DateTime>(v).ole);
      case ColumnType::kText:
      case ColumnType::kMemo:
        return Field('X', platform::Utf16ToUtf8(std::get<std::u16string>(v)));
      default: {
        const auto& b = std::get<cs::jetfile::Bytes>(v);
        return Field('Y', std::string(b.begin(), b.end()));
      }
    }
  }
  void Add(const ColumnSpec& spec, const wire::FieldValue& v) {
    if (std::holds_alternative<std::monostate>(v)) return Null();
    if (!Written(spec.type)) {
      if (const auto* t = std::get_if<wire::Text>(&v)) return Field('Z', t->utf8);
      if (const auto* b = std::get_if<wire::Binary>(&v)) return Field('Z', b->bytes);
    }
    if (const auto* n = std::get_if<std::int64_t>(&v)) {
      return spec.type == ColumnType::kBoolean ? Field('B', *n != 0 ? "1" : "0") : Integer(*n);
    }
    if (const auto* c = std::get_if<wire::Currency>(&v)) return Real('C', CurrencyToDouble(c->ten_thousandths));
    if (const auto* d = std::get_if<double>(&v)) {
      return spec.type == ColumnType::kSingle ? Single(static_cast<float>(*d)) : Real('D', *d);
    }
    if (const auto* t = std::get_if<wire::DateTime>(&v)) return Date(t->days);
    if (const auto* t = std::get_if<wire::Text>(&v)) return Field('X', t->utf8);
    return Field('Y', std::get<wire::Binary>(v).bytes);
  }
  // A value of a type the writer never writes (left as read): its text.
  void AddText(const Value& v) { v.IsNull() ? Null() : Field('Z', v.ToText()); }

  // The row's hash (64 bits, well mixed).
  std::uint64_t Hash() const {
    std::uint64_t h = 0xcbf29ce484222325ULL;
    for (const char c : bytes_) h = (h ^ static_cast<std::uint8_t>(c)) * 0x100000001b3ULL;
    h ^= h >> 30;
    h *= 0xbf58476d1ce4e5b9ULL;
    h ^= h >> 27;
    h *= 0x94d049bb133111ebULL;
    return h ^ (h >> 31);
  }

  static bool Written(ColumnType type) {
    switch (type) {
      case ColumnType::kBoolean: case ColumnType::kByte: case ColumnType::kInteger: case ColumnType::kLong:
      case ColumnType::kCurrency: case ColumnType::kSingle: case ColumnType::kDouble: case ColumnType::kDateTime:
      case ColumnType::kText: case ColumnType::kMemo: case ColumnType::kBinary: case ColumnType::kOle:
        return true;
      default:
        return false;
    }
  }

 private:
  void Field(char tag, std::string_view content) {
    bytes_ += tag;
    const auto size = static_cast<std::uint32_t>(content.size());
    bytes_.append(reinterpret_cast<const char*>(&size), sizeof size);
    bytes_ += content;
  }
  void Integer(std::int64_t n) { Field('I', std::string_view(reinterpret_cast<const char*>(&n), sizeof n)); }
  void Real(char tag, double d) {
    if (std::isnan(d)) return Field(tag, "nan");
    if (d == 0) d = 0;  // -0 and 0 are one value
    Field(tag, std::string_view(reinterpret_cast<const char*>(&d), sizeof d));
  }
  void Single(float f) { Real('S', static_cast<double>(f)); }
  void Date(double days) {
    const auto text = DateTimeText(days);
    if (text) return Field('T', *text);
    Real('T', days);
  }

  std::string bytes_;
};

// Compares, table by table, the file read back with the program's copy it was written from: the
// same tables, columns and number of rows, and the same rows, as the columns' Jet types hold them.
// Rows are compared without regard to their order (a table's scan order follows its pages, which
// need not be the order they were written in): each side's rows are hashed and the hashes
// compared, so that memory stays small for large tables.
class ReadBack : public TableSink {
 public:
  explicit ReadBack(const Database& after) : after_(after), tables_(ProgramTables(after, "main")) {}

  void BeginTable(const wire::TableInfo& table) override {
    const std::string* name = FindName(tables_, table.name);
    if (!name) throw Differs(table.name, "is not one of the import's tables");
    if (FindName(seen_, *name)) throw Differs(table.name, "is there twice");
    table_ = *name;
    seen_.push_back(table_);
    const auto declared = Query(after_, "SELECT name FROM pragma_table_info(?1) ORDER BY cid", {table_});
    if (declared.size() != table.columns.size()) throw Differs(table_, "has other columns than the import's");
    columns_.clear();
    specs_.clear();
    for (const auto& c : table.columns) {
      const std::string* column = FindName(declared, c.name);
      if (!column) throw Differs(table_, "has a column '" + c.name + "' the import's has not");
      columns_.push_back(*column);
      ColumnSpec spec;
      spec.type = static_cast<ColumnType>(c.jet_type);
      spec.length = static_cast<std::uint16_t>(c.size);
      specs_.push_back(spec);
    }
    back_.clear();
  }

  void Row(std::span<const wire::FieldValue> values) override {
    row_.Clear();
    for (std::size_t i = 0; i < specs_.size(); ++i) {
      if (i < values.size()) row_.Add(specs_[i], values[i]);
    }
    back_.push_back(row_.Hash());
  }

  void EndTable(const wire::TableInfo&, std::uint32_t) override {
    std::vector<std::uint64_t> mine;
    mine.reserve(back_.size());
    Statement select(after_, SelectColumns(table_, columns_));
    while (select.Step()) {
      row_.Clear();
      for (std::size_t i = 0; i < specs_.size(); ++i) {
        const Value v = select.Column(static_cast<int>(i));
        if (CanonicalRow::Written(specs_[i].type)) {
          row_.Add(specs_[i], ToJetValue(table_, columns_[i], specs_[i], v));
        } else {
          row_.AddText(v);
        }
      }
      mine.push_back(row_.Hash());
    }
    if (mine.size() != back_.size()) {
      throw Differs(table_, "holds " + std::to_string(back_.size()) + " rows instead of the import's " +
                                std::to_string(mine.size()));
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
      throw Differs(table_, "differs from the import's in " + std::to_string(differing) + " of its " +
                                std::to_string(mine.size()) + " rows");
    }
  }

  void Finish() const {
    for (const auto& t : tables_) {
      if (!FindName(seen_, t)) throw Differs(t, "is missing");
    }
  }

 private:
  const Database& after_;
  std::vector<std::string> tables_, seen_;
  std::string table_;
  std::vector<std::string> columns_;
  std::vector<ColumnSpec> specs_;
  CanonicalRow row_;
  std::vector<std::uint64_t> back_;
};

// The writing itself, on the open copy.
JetUpdateResult WriteChanges(cs::jetfile::Database& jet, const Database& db) {
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
  std::vector<std::string> written;
  for (const auto& p : plan) written.push_back(p.name);
  CheckRelationships(jet, db, written);

  for (const auto& table : jet_tables) {
    // Only a table the run began with and dropped goes: one the program never read is kept.
    if (FindName(after, table) || !FindName(before, table)) continue;
    try {
      cs::jetfile::DropTable(jet, platform::Utf8ToUtf16(table));
    } catch (const cs::jetfile::FormatError& e) {
      throw TableError(table, std::string("it cannot be dropped: ") + e.what());
    }
    result.dropped.push_back(table);
  }
  for (auto& p : plan) {
    try {
      if (p.in_jet && !p.remake) {
        const TableDefinition def = jet.Definition(platform::Utf8ToUtf16(*p.in_jet));
        std::vector<std::string> columns;
        std::vector<ColumnSpec> specs;
        for (const auto* c : ByNumber(def)) {
          columns.push_back(platform::Utf16ToUtf8(c->name));
          specs.push_back(SpecOf(*c));
        }
        TableRows rows(db, p.name, columns, specs);
        jet.WriteTable(platform::Utf8ToUtf16(*p.in_jet), rows);
        result.rewritten.push_back(p.name);
      } else {
        if (p.in_jet) {
          p.program.schema = RemadeSchema(p.program, jet.Definition(platform::Utf8ToUtf16(*p.in_jet)));
          cs::jetfile::DropTable(jet, platform::Utf8ToUtf16(*p.in_jet));
        }
        cs::jetfile::CreateTable(jet, p.program.schema, now);
        std::vector<ColumnSpec> specs = p.program.schema.columns;
        TableRows rows(db, p.name, p.program.columns, specs);
        jet.WriteTable(p.program.schema.name, rows);
        (p.in_jet ? result.remade : result.created).push_back(p.name);
      }
      jet.CheckTable(platform::Utf8ToUtf16(p.name));
    } catch (const cs::jetfile::FormatError& e) {
      throw TableError(p.name, e.what());
    }
  }
  return result;
}

}  // namespace

JetUpdateResult WriteJetUpdate(platform::FileSystem& files, const JetUpdate& update, const std::string& shown_path,
                               const ReaderOptions& reader) {
  struct Remove {
    platform::FileSystem& files;
    const fs::path& path;
    bool keep = false;
    ~Remove() {
      if (!keep) files.Remove(path);
    }
  } remove{files, update.written};

  Database db = Database::Open(update.after, Database::Mode::kReadOnly, jet::NotADatabase(shown_path));
  {
    Statement attach(db, "ATTACH DATABASE ?1 AS before");
    attach.BindText(1, update.before.string());
    attach.Run();
  }
  if (const auto ec = files.CopyFile(update.jet, update.written)) throw FileError(update.written, ec.message());
  JetUpdateResult result;
  {
    std::unique_ptr<platform::RandomAccessFile> file;
    if (const auto ec = files.OpenRandomAccess(update.written, true, file)) throw FileError(update.written, ec.message());
    try {
      auto jet = cs::jetfile::Database::Open(*file, true);
      result = WriteChanges(jet, db);
      jet.Flush();
    } catch (const cs::jetfile::FormatError& e) {
      throw RunError(jet::kErrGeneral, "The current database '" + shown_path + "' cannot be written: " + e.what());
    } catch (const std::system_error& e) {
      throw FileError(update.written, e.code().message());
    }
  }
  ReadBack back(db);
  ReadTables(update.written, shown_path, back, reader);
  back.Finish();
  remove.keep = true;
  return result;
}

}  // namespace cs::db::jetfile
