#include "jetfile/database.h"

#include <string>

#include "jetfile/table_check.h"
#include "jetfile/table_scan.h"
#include "jetfile/table_writer.h"
#include "jetfile/table_definition_pages.h"
#include "platform/text.h"

namespace cs::jetfile {

Database::Database(std::unique_ptr<PageFile> pages, std::unique_ptr<FreePageMap> free_pages)
    : pages_(std::move(pages)), free_pages_(std::move(free_pages)) {}
Database::Database(Database&&) noexcept = default;
Database& Database::operator=(Database&&) noexcept = default;
Database::~Database() = default;

Database Database::Open(platform::RandomAccessFile& file, bool writable) {
  auto pages = std::make_unique<PageFile>(file, writable);
  auto free_pages = std::make_unique<FreePageMap>(*pages);
  Database db(std::move(pages), std::move(free_pages));
  // The catalog is read once here so that a damaged one is refused before anything else.
  for (const CatalogEntry& entry : db.Catalog()) {
    if (entry.type == kCatalogTypeTable) DefinitionPageOf(entry, db.pages_->page_count());
  }
  return db;
}

const Header& Database::header() const { return pages_->header(); }
PageFile& Database::pages() { return *pages_; }
FreePageMap& Database::free_pages() { return *free_pages_; }

Page Database::ReadPage(PageNumber number) {
  Page p;
  pages_->Read(number, p);
  return p;
}

std::vector<CatalogEntry> Database::Catalog() { return ReadCatalog(*pages_); }

std::vector<std::u16string> Database::TableNames() {
  std::vector<std::u16string> names;
  for (CatalogEntry& entry : Catalog()) {
    if (IsUserTable(entry)) names.push_back(std::move(entry.name));
  }
  return names;
}

PageNumber Database::FindTable(std::u16string_view name) {
  for (const CatalogEntry& entry : Catalog()) {
    if (entry.type == kCatalogTypeTable && SameObjectName(entry.name, name)) {
      return DefinitionPageOf(entry, pages_->page_count());
    }
  }
  throw FormatError("no table " + platform::Utf16ToUtf8(name));
}

TableDefinition Database::Definition(std::u16string_view name) {
  return ReadTableDefinition(FindTable(name), [this](PageNumber n) { return ReadPage(n); });
}

void Database::ReadRows(std::u16string_view name,
                        const std::function<void(std::span<const Value>)>& each) {
  const PageNumber first = FindTable(name);
  TableScan scan(*pages_, first,
                 ReadTableDefinition(first, [this](PageNumber n) { return ReadPage(n); }));
  std::vector<Value> row;
  while (scan.Next(row)) each(row);
}

void Database::WriteTable(std::u16string_view name, RowSource& rows, Reading reading) {
  const PageNumber first = FindTable(name);
  try {
    WriteTableRows(*pages_, *free_pages_, first, rows, reading);
  } catch (const FormatError& e) {
    throw FormatError("Table " + platform::Utf16ToUtf8(name) + ": " + e.what());
  }
}

void Database::CheckTable(std::u16string_view name) {
  const PageNumber first = FindTable(name);
  try {
    CheckTablePages(*pages_, *free_pages_, first);
  } catch (const FormatError& e) {
    throw FormatError("Table " + platform::Utf16ToUtf8(name) + ": " + e.what());
  }
}

void Database::Flush() { pages_->Flush(); }

}  // namespace cs::jetfile
