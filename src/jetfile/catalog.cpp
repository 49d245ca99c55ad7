#include "jetfile/catalog.h"

#include <string>

#include "jetfile/page_file.h"
#include "jetfile/table_definition.h"
#include "jetfile/table_scan.h"
#include "jetfile/table_definition_pages.h"
#include "platform/text.h"

namespace cs::jetfile {
namespace {

// The position (in column-number order) of the catalog column `name` of type `type`.
std::size_t CatalogColumn(const TableDefinition& def, const std::vector<std::size_t>& by_number,
                          std::u16string_view name, ColumnType type, const char* label) {
  for (std::size_t i = 0; i < by_number.size(); ++i) {
    const ColumnDefinition& c = def.columns[by_number[i]];
    if (c.name != name) continue;
    if (c.type != type) {
      throw FormatError(std::string("The catalog's column ") + label + " has an unexpected type.");
    }
    return i;
  }
  throw FormatError(std::string("The catalog has no column ") + label + ".");
}

char16_t FoldCase(char16_t c) {
  if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 0x20);
  if (c < 0x80) return c;
  // Latin-1 letters: a small letter is its capital + 0x20, except the division sign and ÿ.
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 0x20);
  if (c == 0xFF) return 0x178;
  // Latin Extended-A pairs its capitals and small letters, capital first (with two runs offset).
  if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) {
    return static_cast<char16_t>(c & ~1u);
  }
  if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) {
    return (c % 2 == 0) ? static_cast<char16_t>(c - 1) : c;
  }
  // Greek and Cyrillic small letters.
  if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return static_cast<char16_t>(c - 0x20);
  if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 0x20);
  if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 0x50);
  return c;
}

}  // namespace

std::vector<CatalogEntry> ReadCatalog(PageFile& pages) {
  TableScan scan(pages, kCatalogDefinitionPage,
                 ReadTableDefinition(kCatalogDefinitionPage, [&pages](PageNumber n) {
                   Page p;
                   pages.Read(n, p);
                   return p;
                 }));
  const TableDefinition& def = scan.definition();
  const std::vector<std::size_t> by_number = ColumnsByNumber(def);
  const std::size_t id = CatalogColumn(def, by_number, u"Id", ColumnType::kLong, "Id");
  const std::size_t parent =
      CatalogColumn(def, by_number, u"ParentId", ColumnType::kLong, "ParentId");
  const std::size_t name = CatalogColumn(def, by_number, u"Name", ColumnType::kText, "Name");
  const std::size_t type = CatalogColumn(def, by_number, u"Type", ColumnType::kInteger, "Type");
  const std::size_t flags = CatalogColumn(def, by_number, u"Flags", ColumnType::kLong, "Flags");

  std::vector<CatalogEntry> entries;
  entries.reserve(scan.row_count());
  std::vector<Value> row;
  std::size_t i = 0;
  while (scan.Next(row)) {
    CatalogEntry e;
    e.row = scan.order()[i++];
    if (const auto* v = std::get_if<std::int32_t>(&row[id])) e.id = *v;
    if (const auto* v = std::get_if<std::int32_t>(&row[parent])) e.parent_id = *v;
    if (const auto* v = std::get_if<std::u16string>(&row[name])) e.name = *v;
    if (const auto* v = std::get_if<std::int16_t>(&row[type])) e.type = *v;
    if (const auto* v = std::get_if<std::int32_t>(&row[flags])) {
      e.flags = static_cast<std::uint32_t>(*v);
    }
    entries.push_back(std::move(e));
  }
  return entries;
}

bool IsUserTable(const CatalogEntry& entry) {
  if (entry.type != kCatalogTypeTable || (entry.flags & kCatalogSystemFlags) != 0) return false;
  const std::u16string_view prefix = u"MSYS";
  if (entry.name.size() < prefix.size()) return true;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (FoldCase(entry.name[i]) != prefix[i]) return true;
  }
  return false;
}

PageNumber DefinitionPageOf(const CatalogEntry& entry, PageNumber page_count) {
  // The Id's top byte is the object's kind; its lower three bytes the page.
  const PageNumber page = static_cast<PageNumber>(entry.id) & 0x00FFFFFFu;
  if (page <= kCatalogDefinitionPage - 1 || page >= page_count) {
    throw FormatError("The catalog names page " + std::to_string(page) +
                      " as the definition of a table, which is no such page of the database.");
  }
  return page;
}

std::string PrintableName(std::u16string_view name) {
  std::string out = platform::Utf16ToUtf8(name);
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return out;
}

bool SameObjectName(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  }
  return true;
}

}  // namespace cs::jetfile
