// An existing Jet 4 database opened for reading or writing: the front of this layer. It holds the
// page file and the free-page map, reads the catalog and the tables' definitions and rows, and
// rewrites a table's rows in place (table_writer.h) with the check of its own work after
// (table_check.h).
//
// Errors: FormatError for a file that is not a sound Jet 4 database or holds what this layer does
// not write (Jet 3 and Access 2007 and later files), for a table that does not exist and for rows
// a table refuses; std::system_error for a failure of the file itself; std::invalid_argument for
// writing through a database opened for reading.
#pragma once

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "jetfile/catalog.h"
#include "jetfile/format.h"
#include "jetfile/free_page_map.h"
#include "jetfile/header.h"
#include "jetfile/table_writer.h"
#include "jetfile/page_file.h"
#include "jetfile/row_source.h"
#include "jetfile/table_definition.h"
#include "jetfile/value.h"
#include "platform/file_system.h"

namespace cs::jetfile {

class Database {
 public:
  using CatalogEntry = jetfile::CatalogEntry;

  // Opens the database in `file`, which must outlive it: its header, free-page map and catalog
  // are read and checked. Jet 3 and Access 2007 and later files are a FormatError saying they are
  // not written; so is a damaged header, free-page map or catalog.
  static Database Open(platform::RandomAccessFile& file, bool writable);

  Database(Database&&) noexcept;
  Database& operator=(Database&&) noexcept;
  ~Database();

  const Header& header() const;
  PageFile& pages();
  FreePageMap& free_pages();

  // Every catalog row, in table-scan order.
  std::vector<CatalogEntry> Catalog();
  // The user tables (type 1, not system objects), in catalog order.
  std::vector<std::u16string> TableNames();
  // The definition page of table `name` (a user or a system table: the catalog itself is
  // MSysObjects, on page 2), found without regard to letter case. FormatError "no table NAME"
  // when there is none.
  PageNumber FindTable(std::u16string_view name);
  TableDefinition Definition(std::u16string_view name);

  // Every row of table `name` in table-scan order, one value per column in column-number order,
  // Memo values as text and OLE values as bytes. The definition is checked first.
  void ReadRows(std::u16string_view name, const std::function<void(std::span<const Value>)>& each);

  // Replaces every row of table `name` with the rows of `rows` (values in column-number order),
  // in place: see table_writer.h. FormatError for a damaged table or rows it refuses: before
  // anything is written unless `reading` is Reading::kOnce.
  void WriteTable(std::u16string_view name, RowSource& rows, Reading reading = Reading::kCheckFirst);

  // Checks the table as table_check.h says: FormatError naming the table and what is wrong.
  void CheckTable(std::u16string_view name);

  // Makes everything written durable.
  void Flush();

 private:
  Database(std::unique_ptr<PageFile> pages, std::unique_ptr<FreePageMap> free_pages);
  Page ReadPage(PageNumber number);

  std::unique_ptr<PageFile> pages_;
  std::unique_ptr<FreePageMap> free_pages_;
};

}  // namespace cs::jetfile
