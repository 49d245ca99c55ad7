#include "db/jetfile/jet_layout.h"

#include <algorithm>

#include "jetfile/catalog.h"

namespace cs::db::jetfile {
namespace {

using cs::jetfile::ColumnSpec;
using cs::jetfile::ColumnType;
using cs::jetfile::IndexSpec;
using cs::jetfile::TableDefinition;
using cs::jetfile::TableSchema;

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

}  // namespace

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

}  // namespace cs::db::jetfile
