#include "db/jetfile/jet_relationships.h"

#include <algorithm>
#include <map>

#include "db/jet/types.h"
#include "db/jetfile/jet_layout.h"
#include "db/jetfile/jet_rows.h"
#include "platform/text.h"

namespace cs::db::jetfile {
namespace {

using cs::jetfile::TableDefinition;

// One enforced relationship: the child table's columns refer to the parent's.
struct Relationship {
  struct Columns {
    std::size_t position;  // icolumn: the pair's place in the key
    std::string child, parent;
  };
  std::string name, child, parent;
  std::vector<Columns> columns;
  bool enforced = true;
};

std::map<std::string, Relationship> Relationships(cs::jetfile::Database& jet) {
  std::map<std::string, Relationship> out;
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
    r.columns.push_back({static_cast<std::size_t>(number(row[at["icolumn"]])), text(row[at["szColumn"]]),
                         text(row[at["szReferencedColumn"]])});
  });
  return out;
}

}  // namespace

void CheckRelationships(cs::jetfile::Database& jet, const Database& after, const std::vector<std::string>& written) {
  for (auto& [name, r] : Relationships(jet)) {
    if (!r.enforced || r.columns.empty()) continue;
    if (!FindNoCase(written, r.child) && !FindNoCase(written, r.parent)) continue;
    std::sort(r.columns.begin(), r.columns.end(), [](const auto& a, const auto& b) { return a.position < b.position; });
    std::string set = "1", match = "1";
    for (const auto& pair : r.columns) {
      set += " AND c." + jet::QuoteName(pair.child) + " IS NOT NULL";
      // Jet compares text keys without regard to letter case.
      match += " AND p." + jet::QuoteName(pair.parent) + " = c." + jet::QuoteName(pair.child) + " COLLATE NOCASE";
    }
    std::vector<std::string> broken;
    try {
      broken = Query(after, "SELECT 1 FROM " + jet::QuoteName(r.child) + " AS c WHERE " + set +
                                " AND NOT EXISTS (SELECT 1 FROM " + jet::QuoteName(r.parent) + " AS p WHERE " + match +
                                ") LIMIT 1");
    } catch (const RunError& e) {
      throw CannotWriteInto(r.child, "its relationship " + r.name + " with '" + r.parent + "' cannot be checked (" +
                                    e.what() + ")");
    }
    if (!broken.empty()) {
      throw CannotWriteInto(r.child, "rows of it would have no row in '" + r.parent + "' (relationship " + r.name + ")");
    }
  }
}

}  // namespace cs::db::jetfile
