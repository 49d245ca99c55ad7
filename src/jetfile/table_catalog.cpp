#include "jetfile/table_catalog.h"

#include <map>
#include <optional>
#include <set>

#include "jetfile/catalog.h"
#include "jetfile/data_page.h"
#include "jetfile/database.h"
#include "jetfile/free_page_map.h"
#include "jetfile/index_pages.h"
#include "jetfile/page_file.h"
#include "jetfile/table_rows.h"
#include "jetfile/usage_map.h"
#include "jetfile/table_definition_pages.h"

namespace cs::jetfile {

namespace {

constexpr std::int16_t kTableType = 1;
// The Id of the `Databases` container, parent of the MSysDb row.
constexpr std::int32_t kDatabasesContainerId = 0x0F000002;
constexpr std::int16_t kContainerType = 3;
constexpr std::int16_t kDatabaseType = 2;
constexpr std::size_t kInlineMapRowSize = 69;
constexpr std::uint8_t kMapPageType = 0x05;
constexpr std::uint8_t kReferenceMap = 0x01;
// A container's inheritable access entry passes to a new table when it grants this right (the
// one entry of the Tables container without it, Access leaves out).
constexpr std::int32_t kDataRights = 0x0001;

std::optional<std::int32_t> Long(const Value& v) {
  if (const auto* p = std::get_if<std::int32_t>(&v)) return *p;
  return std::nullopt;
}
std::optional<std::int16_t> Integer(const Value& v) {
  if (const auto* p = std::get_if<std::int16_t>(&v)) return *p;
  return std::nullopt;
}
const std::u16string* Text(const Value& v) { return std::get_if<std::u16string>(&v); }

// The catalog (MSysObjects, on page 2) and the columns this file works with.
struct Catalog {
  explicit Catalog(PageFile& pages)
      : rows(pages, 2),
        id(rows.Column(u"Id")),
        parent(rows.Column(u"ParentId")),
        name(rows.Column(u"Name")),
        type(rows.Column(u"Type")),
        flags(rows.Column(u"Flags")),
        created(rows.Column(u"DateCreate")),
        updated(rows.Column(u"DateUpdate")),
        owner(rows.Column(u"Owner")) {}

  TableRows rows;
  std::size_t id, parent, name, type, flags, created, updated, owner;

  // The first row with this parent, type and name (letter case ignored), if any.
  const TableRows::Row* Find(std::int32_t parent_id, std::optional<std::int16_t> of_type,
                             std::u16string_view wanted) const {
    for (const TableRows::Row& r : rows.rows()) {
      const std::u16string* n = Text(r.values[name]);
      if (Long(r.values[parent]) != parent_id || n == nullptr || !SameObjectName(*n, wanted)) {
        continue;
      }
      if (of_type && Integer(r.values[type]) != *of_type) continue;
      return &r;
    }
    return nullptr;
  }

  std::int32_t TablesContainer() const {
    const TableRows::Row* r = Find(kTablesContainerParentId, kContainerType, u"Tables");
    if (r == nullptr || !Long(r->values[id])) {
      throw FormatError("the catalog has no Tables container");
    }
    return *Long(r->values[id]);
  }

  // The definition page of a system table, or nothing when the file has none.
  std::optional<PageNumber> SystemTable(std::u16string_view table) const {
    const TableRows::Row* r = Find(TablesContainer(), kTableType, table);
    if (r == nullptr || !Long(r->values[id])) return std::nullopt;
    return static_cast<PageNumber>(*Long(r->values[id])) & 0x00FFFFFF;
  }
};

// The access entries (MSysACEs) and their columns.
struct AccessEntries {
  AccessEntries(PageFile& pages, PageNumber definition)
      : rows(pages, definition),
        acm(rows.Column(u"ACM")),
        inheritable(rows.Column(u"FInheritable")),
        object(rows.Column(u"ObjectId")),
        sid(rows.Column(u"SID")) {}
  TableRows rows;
  std::size_t acm, inheritable, object, sid;
};

PageReader ReaderOf(PageFile& pages) {
  return [&pages](PageNumber n) {
    Page p;
    pages.Read(n, p);
    return p;
  };
}

}  // namespace

PageNumber CreateTable(PageFile& pages, FreePageMap& free_pages, const TableSchema& schema,
                       double now) {
  if (!pages.writable()) throw std::invalid_argument("The database is open for reading only.");
  TableDefinition def = LayOutTable(schema);

  Catalog catalog(pages);
  const std::int32_t tables = catalog.TablesContainer();
  if (catalog.Find(tables, std::nullopt, schema.name) != nullptr) {
    throw FormatError("the database already has a table or query named " +
                      PrintableName(schema.name));
  }
  Bytes owner;
  if (const TableRows::Row* db = catalog.Find(kDatabasesContainerId, kDatabaseType, u"MSysDb")) {
    if (const auto* b = std::get_if<Bytes>(&db->values[catalog.owner])) owner = *b;
  }
  const std::optional<PageNumber> aces_page = catalog.SystemTable(u"MSysACEs");
  if (!aces_page) throw FormatError("the catalog has no MSysACEs table");
  AccessEntries aces(pages, *aces_page);
  std::vector<std::vector<Value>> new_aces;
  for (const TableRows::Row& r : aces.rows.rows()) {
    const bool inheritable = std::get_if<bool>(&r.values[aces.inheritable]) != nullptr &&
                             std::get<bool>(r.values[aces.inheritable]);
    const std::optional<std::int32_t> acm = Long(r.values[aces.acm]);
    if (Long(r.values[aces.object]) != tables || !inheritable || !acm ||
        (*acm & kDataRights) == 0) {
      continue;
    }
    new_aces.push_back(r.values);
    new_aces.back()[aces.inheritable] = false;
  }

  // The catalog row, checked against the catalog's indexes before any page is written (with an
  // Id no page can have yet: the real one is the definition page allocated below).
  std::vector<Value> row(catalog.rows.definition().columns.size());
  row[catalog.id] = static_cast<std::int32_t>(pages.page_count());
  row[catalog.parent] = tables;
  row[catalog.name] = schema.name;
  row[catalog.type] = kTableType;
  row[catalog.flags] = std::int32_t{0};
  row[catalog.created] = DateTime{now};
  row[catalog.updated] = DateTime{now};
  if (!owner.empty()) row[catalog.owner] = owner;
  catalog.rows.Insert(row);
  catalog.rows.CheckPending();
  catalog.rows.DiscardPending();
  for (std::vector<Value>& ace : new_aces) {
    ace[aces.object] = static_cast<std::int32_t>(pages.page_count());
    aces.rows.Insert(ace);
  }
  aces.rows.CheckPending();
  aces.rows.DiscardPending();

  // The pages: definition, usage maps, one empty leaf a real index.
  const std::size_t map_rows = 2 + def.real_indexes.size() + 2 * def.long_value_maps.size();
  if ((kInlineMapRowSize + 2) * map_rows > kEmptyDataPageFreeSpace) {
    throw FormatError("table " + PrintableName(schema.name) + " has too many indexes and Memo/OLE "
                      "columns for its usage maps");
  }
  std::vector<PageNumber> definition_pages(TableDefinitionPageCount(def));
  for (PageNumber& n : definition_pages) n = free_pages.Allocate();
  const PageNumber first = definition_pages.front();
  const PageNumber map_page = free_pages.Allocate();

  DataPageBuilder maps(0);
  Bytes empty_map(kInlineMapRowSize, 0);
  auto add_map = [&]() {
    return UsageMapRef{maps.Add(empty_map), map_page};
  };
  def.owned_pages = add_map();
  def.free_space_pages = add_map();
  for (RealIndex& index : def.real_indexes) index.usage_map = add_map();
  for (LongValueMaps& lv : def.long_value_maps) {
    lv.owned = add_map();
    lv.free = add_map();
  }
  pages.Write(map_page, maps.page());
  for (RealIndex& index : def.real_indexes) {
    const IndexPages built = BuildIndexPages(
        std::vector<IndexEntry>{}, first, [&] { return free_pages.Allocate(); },
        [&pages](PageNumber n, const Page& p) { pages.Write(n, p); });
    index.root_page = built.root;
    WriteUsageMap(pages, free_pages, {index.usage_map.page, index.usage_map.row}, built.pages);
  }
  const std::vector<Page> written = WriteTableDefinitionPages(def, definition_pages);
  for (std::size_t i = 0; i < written.size(); ++i) pages.Write(definition_pages[i], written[i]);

  row[catalog.id] = static_cast<std::int32_t>(first);
  catalog.rows.Insert(row);
  for (std::vector<Value>& ace : new_aces) {
    ace[aces.object] = static_cast<std::int32_t>(first);
    aces.rows.Insert(ace);
  }
  catalog.rows.Commit(free_pages);
  aces.rows.Commit(free_pages);
  pages.Flush();
  return first;
}

void DropTable(PageFile& pages, FreePageMap& free_pages, std::u16string_view name) {
  if (!pages.writable()) throw std::invalid_argument("The database is open for reading only.");
  Catalog catalog(pages);
  const std::int32_t tables = catalog.TablesContainer();
  const TableRows::Row* entry = catalog.Find(tables, kTableType, name);
  if (entry == nullptr) throw FormatError("the database has no table named " + PrintableName(name));
  if (Long(entry->values[catalog.flags]).value_or(0) != 0) {
    throw FormatError("table " + PrintableName(name) + " is a system table and is not dropped");
  }
  const std::optional<std::int32_t> id = Long(entry->values[catalog.id]);
  if (!id) throw FormatError("the catalog row of table " + PrintableName(name) + " has no Id");
  const PageNumber first = static_cast<PageNumber>(*id) & 0x00FFFFFF;
  const RowPointer catalog_row = entry->where;

  const PageReader read = ReaderOf(pages);
  TableRows table(pages, first);
  const TableDefinition& def = table.definition();
  for (const LogicalIndex& index : def.logical_indexes) {
    if (index.kind == kLogicalIndexForeignKey) {
      throw FormatError("table " + PrintableName(name) + " takes part in a relationship (index " +
                        PrintableName(index.name) + "); drop the relationship first");
    }
  }
  if (const std::optional<PageNumber> relationships = catalog.SystemTable(u"MSysRelationships")) {
    TableRows rel(pages, *relationships);
    const std::size_t from = rel.Column(u"szObject"), to = rel.Column(u"szReferencedObject");
    for (const TableRows::Row& r : rel.rows()) {
      for (std::size_t c : {from, to}) {
        const std::u16string* n = Text(r.values[c]);
        if (n != nullptr && SameObjectName(*n, name)) {
          throw FormatError("table " + PrintableName(name) +
                            " takes part in a relationship; drop the relationship first");
        }
      }
    }
  }

  // Every page the table owns, each checked to be what its map says it is.
  std::set<PageNumber> to_free(table.definition_pages().begin(), table.definition_pages().end());
  std::vector<UsageMapRef> maps = {def.owned_pages, def.free_space_pages};
  auto expect = [&](PageNumber n, bool ok, const char* what) {
    if (!ok) {
      throw FormatError("table " + PrintableName(name) + ": page " + std::to_string(n) +
                        " of its usage map is not " + what);
    }
    to_free.insert(n);
  };
  for (PageNumber n : ReadUsageMap(pages, {def.owned_pages.page, def.owned_pages.row})) {
    const Page p = read(n);
    expect(n, p[0] == kDataPageType && DataPageOwner(p) == first, "one of its data pages");
  }
  for (const RealIndex& index : def.real_indexes) {
    maps.push_back(index.usage_map);
    for (PageNumber n : ReadUsageMap(pages, {index.usage_map.page, index.usage_map.row})) {
      const Page p = read(n);
      expect(n, (p[0] == 0x03 || p[0] == 0x04) && GetU32(p.data() + 4) == first,
             "one of its index pages");
    }
  }
  for (const LongValueMaps& lv : def.long_value_maps) {
    maps.push_back(lv.owned);
    maps.push_back(lv.free);
    for (PageNumber n : ReadUsageMap(pages, {lv.owned.page, lv.owned.row})) {
      const Page p = read(n);
      expect(n, p[0] == kDataPageType && DataPageOwner(p) == kLongValueOwner,
             "a long-value page");
    }
  }
  // The pages holding the maps, and the map pages of reference maps.
  std::map<PageNumber, std::set<std::uint8_t>> holders;
  for (const UsageMapRef& m : maps) {
    if (m.page == 0 && m.row == 0) continue;  // a map some tables leave out
    const Page p = read(m.page);
    if (p[0] != kDataPageType || DataPageOwner(p) != 0) {
      throw FormatError("table " + PrintableName(name) + ": its usage map on page " +
                        std::to_string(m.page) + " is not on a page of usage maps");
    }
    const struct RowBytes row = LocateRow(p, {m.page, m.row});
    if (row.size() > 0 && p[row.begin] == kReferenceMap) {
      for (std::size_t at = row.begin + 1; at + 4 <= row.end; at += 4) {
        const PageNumber map = GetU32(p.data() + at);
        if (map == 0) continue;
        if (map >= pages.page_count() || read(map)[0] != kMapPageType) {
          throw FormatError("table " + PrintableName(name) + ": its usage map names page " +
                            std::to_string(map) + ", which is not a map page");
        }
        to_free.insert(map);
      }
    }
    holders[m.page].insert(m.row);
  }
  std::vector<std::pair<PageNumber, Page>> holder_rewrites;
  for (const auto& [n, rows] : holders) {
    const Page p = read(n);
    const std::vector<RowSlot> slots = ListRows(p, n);
    bool shared = false;
    for (std::size_t i = 0; i < slots.size(); ++i) {
      if (!slots[i].deleted && !rows.contains(static_cast<std::uint8_t>(i))) shared = true;
    }
    if (!shared) {
      to_free.insert(n);
      continue;
    }
    // Other maps live on this page too: only this table's rows go.
    Page rewritten = p;
    for (std::uint8_t r : rows) {
      const std::size_t at = kDataPageHeaderSize + 2 * r;
      PutU16(rewritten.data() + at,
             static_cast<std::uint16_t>(GetU16(rewritten.data() + at) | kRowDeleted |
                                        kRowOverflow));
    }
    holder_rewrites.emplace_back(n, rewritten);
  }

  for (PageNumber n : to_free) {
    if (n < 3 || n >= pages.page_count() || free_pages.IsFree(n)) {
      throw FormatError("table " + PrintableName(name) + ": page " + std::to_string(n) +
                        " it owns is " + (n < 3 ? "a page of the database itself" : "free"));
    }
  }
  std::optional<AccessEntries> aces;
  if (const std::optional<PageNumber> aces_page = catalog.SystemTable(u"MSysACEs")) {
    aces.emplace(pages, *aces_page);
    for (const TableRows::Row& r : aces->rows.rows()) {
      if (Long(r.values[aces->object]) == *id) aces->rows.Delete(r.where);
    }
  }

  catalog.rows.Delete(catalog_row);
  catalog.rows.CheckPending();
  if (aces) aces->rows.CheckPending();
  catalog.rows.Commit(free_pages);
  if (aces) aces->rows.Commit(free_pages);
  for (const auto& [n, p] : holder_rewrites) pages.Write(n, p);
  for (PageNumber n : to_free) free_pages.Free(n);
  pages.Flush();
}

PageNumber CreateTable(Database& database, const TableSchema& schema, double now) {
  return CreateTable(database.pages(), database.free_pages(), schema, now);
}

void DropTable(Database& database, std::u16string_view name) {
  DropTable(database.pages(), database.free_pages(), name);
}

}  // namespace cs::jetfile
