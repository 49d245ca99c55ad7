#include "jetfile/new_database.h"

#include <initializer_list>
#include <span>
#include <vector>

#include "jetfile/data_page.h"
#include "jetfile/free_page_map.h"
#include "jetfile/header.h"
#include "jetfile/index_pages.h"
#include "jetfile/page_file.h"
#include "jetfile/table_definition.h"
#include "jetfile/table_definition_check.h"
#include "jetfile/table_definition_pages.h"
#include "jetfile/table_rows.h"
#include "jetfile/usage_map.h"

namespace cs::jetfile {

namespace {

struct SystemColumn {
  const char16_t* name;
  std::uint8_t type;
  std::uint16_t number;
  std::uint16_t variable_index;
  std::uint8_t flags;
  std::uint16_t fixed_offset;
  std::uint16_t length;
};
struct SystemRealIndex {
  std::initializer_list<IndexColumn> columns;
  std::uint8_t flags;
};
struct SystemLogicalIndex {
  const char16_t* name;
  std::uint32_t number;
  std::uint32_t real_index;
  std::uint8_t kind;
  std::uint8_t cascade_updates;
  std::uint8_t cascade_deletes;
};
struct SystemObject {
  std::uint32_t id;
  std::uint32_t parent_id;
  const char16_t* name;
  std::int16_t type;
  std::uint32_t flags;
  std::initializer_list<std::uint8_t> owner;
};
struct SystemAccessEntry {
  std::uint32_t object_id;
  std::uint32_t acm;
  bool inheritable;
  std::initializer_list<std::uint8_t> sid;
};

#include "jetfile/new_database_tables.inc"

constexpr std::uint32_t kMagic = 1625;
constexpr std::uint32_t kRealIndexMagic = 1923;
constexpr std::uint8_t kSystemTable = 0x53;
constexpr std::size_t kMapRowSize = 69;
// The free-page map's window: 512 pages from page 0.
constexpr std::size_t kFreeMapBytes = 64;
// Page 1's owner field, as Access writes it.
constexpr std::uint32_t kFreeMapOwner = 1;

struct SystemTable {
  std::span<const SystemColumn> columns;
  std::span<const SystemRealIndex> reals;
  std::span<const SystemLogicalIndex> logicals;
  std::span<const std::uint16_t> long_values;  // 0xFFFF alone: none
};

TableDefinition DefinitionOf(const SystemTable& t) {
  TableDefinition def;
  def.unknown0c = kMagic;
  def.autonumber_flag = 1;
  def.table_type = kSystemTable;
  for (const SystemColumn& s : t.columns) {
    ColumnDefinition c;
    c.type = static_cast<ColumnType>(s.type);
    c.unknown1 = kMagic;
    c.number = s.number;
    c.variable_index = s.variable_index;
    c.sort_order_or_precision = {0x09, 0x04};
    c.flags = s.flags;
    c.fixed_offset = s.fixed_offset;
    c.length = s.length;
    c.name = s.name;
    if (!c.IsFixed()) ++def.variable_column_count;
    def.columns.push_back(std::move(c));
  }
  def.max_columns = static_cast<std::uint16_t>(def.columns.size());
  for (const SystemRealIndex& s : t.reals) {
    RealIndex r;
    r.unknown0 = kRealIndexMagic;
    std::size_t k = 0;
    for (const IndexColumn& c : s.columns) r.columns[k++] = c;
    r.flags = s.flags;
    def.real_indexes.push_back(r);
  }
  for (const SystemLogicalIndex& s : t.logicals) {
    LogicalIndex l;
    l.unknown0 = kMagic;
    l.number = s.number;
    l.real_index = s.real_index;
    l.kind = s.kind;
    l.cascade_updates = s.cascade_updates;
    l.cascade_deletes = s.cascade_deletes;
    l.name = s.name;
    def.logical_indexes.push_back(std::move(l));
  }
  for (std::uint16_t c : t.long_values) {
    if (c != 0xFFFF) def.long_value_maps.push_back({c, {}, {}});
  }
  // The stored length counts the first page's 8-byte header too (table_layout.cpp).
  def.trailing.assign(kTableDefinitionHeaderSize, 0);
  CheckTableDefinition(def);
  return def;
}

// Writes a system table's usage maps, empty indexes and definition on the given definition
// page (already allocated, so that the system tables keep Access's pages 2 to 5).
void WriteEmptyTable(PageFile& pages, FreePageMap& free_pages, PageNumber first,
                     TableDefinition def) {
  if (TableDefinitionPageCount(def) != 1) throw std::logic_error("a system table outgrew a page");
  const PageNumber map_page = free_pages.Allocate();
  DataPageBuilder maps(0);
  const Bytes empty_map(kMapRowSize, 0);
  auto add = [&] { return UsageMapRef{maps.Add(empty_map), map_page}; };
  def.owned_pages = add();
  def.free_space_pages = add();
  for (LongValueMaps& lv : def.long_value_maps) {
    lv.owned = add();
    lv.free = add();
  }
  for (RealIndex& r : def.real_indexes) r.usage_map = add();
  pages.Write(map_page, maps.page());
  for (RealIndex& r : def.real_indexes) {
    const IndexPages built = BuildIndexPages(
        std::vector<IndexEntry>{}, first, [&] { return free_pages.Allocate(); },
        [&pages](PageNumber n, const Page& p) { pages.Write(n, p); });
    r.root_page = built.root;
    WriteUsageMap(pages, free_pages, {r.usage_map.page, r.usage_map.row}, built.pages);
  }
  const PageNumber at[] = {first};
  pages.Write(first, WriteTableDefinitionPages(def, at).front());
}

}  // namespace

void CreateEmptyDatabase(platform::RandomAccessFile& file, std::u16string_view password,
                         double created) {
  PageFile pages = PageFile::CreateNew(file, Header::CreateNew(password, created), {});

  // Page 1: the free-page map, every page of its window but the header and itself free, and the
  // empty second map row Access leaves beside it.
  DataPageBuilder map_page(kFreeMapOwner);
  Bytes window(5 + kFreeMapBytes, 0xFF);
  PutU32(window.data() + 1, 0);
  window[0] = 0x00;
  window[5] = 0xF8;  // pages 0 to 2 are in use
  map_page.Add(window);
  map_page.Add(Bytes(kMapRowSize, 0));
  pages.Append(map_page.page());
  // Page 2 must exist before the free-page map can be read: the catalog's definition page.
  pages.Append(Page{});
  FreePageMap free_pages(pages);

  const SystemTable tables[] = {
      {kObjectsColumns, kObjectsRealIndexes, kObjectsLogicalIndexes, kObjectsLongValueColumns},
      {kACEsColumns, kACEsRealIndexes, kACEsLogicalIndexes, kACEsLongValueColumns},
      {kQueriesColumns, kQueriesRealIndexes, kQueriesLogicalIndexes, kQueriesLongValueColumns},
      {kRelationshipsColumns, kRelationshipsRealIndexes, kRelationshipsLogicalIndexes,
       kRelationshipsLongValueColumns},
  };
  std::vector<PageNumber> firsts = {2};
  for (std::size_t i = 1; i < std::size(tables); ++i) firsts.push_back(free_pages.Allocate());
  for (std::size_t i = 0; i < std::size(tables); ++i) {
    WriteEmptyTable(pages, free_pages, firsts[i], DefinitionOf(tables[i]));
  }

  TableRows objects(pages, firsts[0]);
  const auto column = [](const TableRows& t, std::u16string_view name) { return t.Column(name); };
  const std::size_t id = column(objects, u"Id"), parent = column(objects, u"ParentId"),
                    name = column(objects, u"Name"), type = column(objects, u"Type"),
                    flags = column(objects, u"Flags"), date_create = column(objects, u"DateCreate"),
                    date_update = column(objects, u"DateUpdate"),
                    owner = column(objects, u"Owner");
  for (const SystemObject& o : kObjects) {
    std::vector<Value> row(objects.definition().columns.size());
    row[id] = static_cast<std::int32_t>(o.id);
    row[parent] = static_cast<std::int32_t>(o.parent_id);
    row[name] = std::u16string(o.name);
    row[type] = o.type;
    row[flags] = static_cast<std::int32_t>(o.flags);
    row[date_create] = DateTime{created};
    row[date_update] = DateTime{created};
    row[owner] = Bytes(o.owner);
    objects.Insert(row);
  }
  objects.Commit(free_pages);

  TableRows aces(pages, firsts[1]);
  const std::size_t object = column(aces, u"ObjectId"), acm = column(aces, u"ACM"),
                    inheritable = column(aces, u"FInheritable"), sid = column(aces, u"SID");
  for (const SystemAccessEntry& e : kAccessEntries) {
    std::vector<Value> row(aces.definition().columns.size());
    row[object] = static_cast<std::int32_t>(e.object_id);
    row[acm] = static_cast<std::int32_t>(e.acm);
    row[inheritable] = e.inheritable;
    row[sid] = Bytes(e.sid);
    aces.Insert(row);
  }
  aces.Commit(free_pages);
  pages.Flush();
}

}  // namespace cs::jetfile
