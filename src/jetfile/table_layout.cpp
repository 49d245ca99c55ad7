#include "jetfile/table_layout.h"

#include <map>
#include <tuple>

#include "jetfile/catalog.h"
#include "jetfile/table_definition_check.h"

namespace cs::jetfile {

namespace {

// What every column and logical index of a new table carries in its unknown fields, and a real
// index in its first four bytes: the values Access and the files our users hold have there.
constexpr std::uint32_t kColumnMagic = 1625;
constexpr std::uint32_t kRealIndexMagic = 1923;
constexpr std::uint8_t kRealIndexAlways = 0x80;
constexpr std::size_t kMaxIndexColumns = 10;
constexpr std::size_t kMaxTableColumns = 255;
constexpr std::uint16_t kMaxTextCharacters = 255;

std::uint16_t StoredLength(const ColumnSpec& c) {
  switch (c.type) {
    case ColumnType::kText:
      return static_cast<std::uint16_t>(c.length * 2);
    case ColumnType::kBinary:
      return c.length;
    case ColumnType::kMemo:
    case ColumnType::kOle:
      return 0;
    case ColumnType::kBoolean:
      return 1;
    default:
      return static_cast<std::uint16_t>(FixedSizeOf(c.type));
  }
}

bool IsFixedType(ColumnType t) {
  switch (t) {
    case ColumnType::kText:
    case ColumnType::kBinary:
    case ColumnType::kMemo:
    case ColumnType::kOle:
      return false;
    default:
      return true;
  }
}

void CheckColumn(const ColumnSpec& c) {
  const std::string label = "column " + PrintableName(c.name);
  switch (c.type) {
    case ColumnType::kText:
    case ColumnType::kBinary:
      if (c.length < 1 || c.length > kMaxTextCharacters) {
        throw FormatError(label + ": a length of " + std::to_string(c.length) +
                          " is outside 1..255");
      }
      break;
    case ColumnType::kBoolean:
    case ColumnType::kByte:
    case ColumnType::kInteger:
    case ColumnType::kLong:
    case ColumnType::kCurrency:
    case ColumnType::kSingle:
    case ColumnType::kDouble:
    case ColumnType::kDateTime:
    case ColumnType::kMemo:
    case ColumnType::kOle:
    case ColumnType::kGuid:
      break;
    default:
      throw FormatError(label + ": its type (" + std::to_string(static_cast<int>(c.type)) +
                        ") is not one a new table can have");
  }
  if (c.autonumber && c.type != ColumnType::kLong) {
    throw FormatError(label + ": only a Long column can be an AutoNumber");
  }
  if (c.required) {
    throw FormatError(label +
                      ": a required column is kept among the table's properties, which are not "
                      "written");
  }
}

}  // namespace

void CheckJetName(std::u16string_view name, const char* what) {
  const std::string label = std::string(what) + " name \"" + PrintableName(name) + "\"";
  if (name.empty()) throw FormatError(std::string(what) + " name is empty");
  if (name.size() > kMaxJetNameLength) {
    throw FormatError(label + " is longer than 64 characters");
  }
  if (name.front() == u' ') throw FormatError(label + " begins with a space");
  for (char16_t c : name) {
    if (c < 0x20 || c == 0x7F || c == u'.' || c == u'!' || c == u'`' || c == u'[' ||
        c == u']') {
      throw FormatError(label + " holds a character Jet does not allow in names");
    }
  }
}

TableDefinition LayOutTable(const TableSchema& schema) {
  CheckJetName(schema.name, "table");
  if (schema.columns.empty()) {
    throw FormatError("table " + PrintableName(schema.name) + " has no columns");
  }
  if (schema.columns.size() > kMaxTableColumns) {
    throw FormatError("table " + PrintableName(schema.name) + " has more than 255 columns");
  }

  TableDefinition def;
  def.unknown0c = kColumnMagic;
  def.autonumber_flag = 1;
  def.table_type = 0x4E;

  std::uint16_t fixed_offset = 0;
  std::uint16_t variables = 0;
  bool has_autonumber = false;
  for (std::size_t i = 0; i < schema.columns.size(); ++i) {
    const ColumnSpec& spec = schema.columns[i];
    CheckJetName(spec.name, "column");
    for (std::size_t j = 0; j < i; ++j) {
      if (SameObjectName(schema.columns[j].name, spec.name)) {
        throw FormatError("column name " + PrintableName(spec.name) + " is used twice");
      }
    }
    CheckColumn(spec);
    if (spec.autonumber) {
      if (has_autonumber) throw FormatError("a table can have only one AutoNumber column");
      has_autonumber = true;
    }

    ColumnDefinition c;
    c.type = spec.type;
    c.unknown1 = kColumnMagic;
    c.number = static_cast<std::uint16_t>(i);
    c.unknown9 = c.number;
    c.name = spec.name;
    c.length = StoredLength(spec);
    c.flags = kColumnNullable;  // every column of a user table is updatable
    if (spec.autonumber) c.flags |= kColumnAutoNumber;
    if (spec.type == ColumnType::kText || spec.type == ColumnType::kMemo) {
      c.sort_order_or_precision = {0x09, 0x04};  // General
      if (spec.compressed_unicode) c.extended_flags = kColumnCompressedUnicode;
    }
    if (IsFixedType(spec.type)) {
      c.flags |= kColumnFixed;
      // A Yes/No value lives in the null mask: its offset stays 0.
      c.fixed_offset = spec.type == ColumnType::kBoolean ? 0 : fixed_offset;
      c.variable_index = variables;
      fixed_offset = static_cast<std::uint16_t>(fixed_offset + FixedSizeOf(spec.type));
    } else {
      c.variable_index = variables++;
    }
    def.columns.push_back(std::move(c));
  }
  def.max_columns = static_cast<std::uint16_t>(def.columns.size());
  def.variable_column_count = variables;

  auto column_number = [&](const IndexSpec& index, const std::u16string& name) {
    for (const ColumnDefinition& c : def.columns) {
      if (SameObjectName(c.name, name)) {
        if (c.IsLongValue()) {
          throw FormatError("index " + PrintableName(index.name) + ": column " + PrintableName(name) +
                            " is a Memo or OLE column, which cannot be indexed");
        }
        return c.number;
      }
    }
    throw FormatError("index " + PrintableName(index.name) + " names no column of the table: " +
                      PrintableName(name));
  };

  // A real index is shared by logical indexes of the same columns, orders and flags.
  std::map<std::tuple<std::vector<std::uint32_t>, std::uint8_t>, std::uint32_t> reals;
  bool has_primary_key = false;
  for (std::size_t i = 0; i < schema.indexes.size(); ++i) {
    const IndexSpec& spec = schema.indexes[i];
    CheckJetName(spec.name, "index");
    for (std::size_t j = 0; j < i; ++j) {
      if (SameObjectName(schema.indexes[j].name, spec.name)) {
        throw FormatError("index name " + PrintableName(spec.name) + " is used twice");
      }
    }
    if (spec.columns.empty() || spec.columns.size() > kMaxIndexColumns) {
      throw FormatError("index " + PrintableName(spec.name) + " must have 1 to 10 columns");
    }
    if (spec.primary_key) {
      if (has_primary_key) throw FormatError("a table can have only one primary key");
      has_primary_key = true;
    }
    RealIndex real;
    real.unknown0 = kRealIndexMagic;
    std::vector<std::uint32_t> key;
    for (std::size_t k = 0; k < spec.columns.size(); ++k) {
      const std::uint16_t number = column_number(spec, spec.columns[k].first);
      for (std::size_t m = 0; m < k; ++m) {
        if (real.columns[m].number == number) {
          throw FormatError("index " + PrintableName(spec.name) + " names a column twice");
        }
      }
      real.columns[k].number = number;
      real.columns[k].order = spec.columns[k].second ? kIndexAscending : 0;
      key.push_back(static_cast<std::uint32_t>(number) << 8 | real.columns[k].order);
    }
    std::uint8_t flags = kRealIndexAlways;
    if (spec.primary_key || spec.unique) flags |= kIndexUnique;
    if (spec.primary_key || spec.required) flags |= kIndexRequired;
    if (spec.ignore_nulls) flags |= kIndexIgnoreNulls;
    real.flags = flags;

    auto [at, added] = reals.try_emplace({key, flags},
                                         static_cast<std::uint32_t>(def.real_indexes.size()));
    if (added) def.real_indexes.push_back(real);

    LogicalIndex logical;
    logical.unknown0 = kColumnMagic;
    logical.number = static_cast<std::uint32_t>(i);
    logical.real_index = at->second;
    logical.kind = spec.primary_key ? kLogicalIndexPrimaryKey : 0;
    logical.name = spec.name;
    def.logical_indexes.push_back(std::move(logical));
  }

  for (const ColumnDefinition& c : def.columns) {
    if (c.IsLongValue()) def.long_value_maps.push_back({c.number, {}, {}});
  }
  // The stored length counts from the start of the first page, so the parsed definition ends
  // with the 8 bytes the page header takes; Access and the files' writer leave them zero.
  def.trailing.assign(kTableDefinitionHeaderSize, 0);
  CheckTableDefinition(def);
  return def;
}

}  // namespace cs::jetfile
