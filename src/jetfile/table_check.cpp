#include "jetfile/table_check.h"

#include <algorithm>
#include <set>
#include <string>

#include "jetfile/catalog.h"
#include "jetfile/data_page.h"
#include "jetfile/free_page_map.h"
#include "jetfile/index_entries.h"
#include "jetfile/index_pages.h"
#include "jetfile/long_value.h"
#include "jetfile/page_file.h"
#include "jetfile/row.h"
#include "jetfile/table_definition.h"
#include "jetfile/table_pages.h"
#include "jetfile/table_scan.h"
#include "jetfile/usage_map.h"
#include "jetfile/table_definition_check.h"
#include "jetfile/table_definition_pages.h"

namespace cs::jetfile {
namespace {

std::string PageName(PageNumber n) { return "page " + std::to_string(n); }

// The LVAL pages a long value's field leads to (none for inline data), its chain followed with
// every step checked; ReadLongValue has checked the data itself.
void AddLongValuePages(std::span<const std::uint8_t> field, const PageReader& read,
                       std::set<PageNumber>& out) {
  const LongValueReference ref = ParseLongValueReference(field);
  if (ref.form == kLongValueInline) return;
  RowPointer at = ref.first;
  for (std::size_t steps = 0; at.page != 0; ++steps) {
    if (steps > kMaxLongValueLength / (kMaxLongValueRow - 4) + 1) {
      throw FormatError("a long value's chain does not end");
    }
    out.insert(at.page);
    if (ref.form == kLongValueOneRow) return;
    const Page page = read(at.page);
    const auto bytes = RowBytes(page, at.page, at.row);
    if (bytes.size() < 4) throw FormatError("a long value's chain row is too short");
    at = RowPointer{GetU24(bytes.data() + 1), bytes[0]};
  }
}

void ExpectSameSet(const std::vector<PageNumber>& listed, const std::set<PageNumber>& found,
                   const std::string& what) {
  const std::vector<PageNumber> f(found.begin(), found.end());
  if (listed == f) return;
  for (PageNumber n : listed) {
    if (!found.contains(n))
      throw FormatError(what + " lists " + PageName(n) + ", which it does not use");
  }
  for (PageNumber n : f) {
    if (!std::binary_search(listed.begin(), listed.end(), n)) {
      throw FormatError(what + " does not list " + PageName(n) + ", which it uses");
    }
  }
}

void ExpectSubset(const std::vector<PageNumber>& part, const std::vector<PageNumber>& whole,
                  const std::string& what) {
  for (PageNumber n : part) {
    if (!std::binary_search(whole.begin(), whole.end(), n)) {
      throw FormatError(what + " lists " + PageName(n) + ", which is not among its pages");
    }
  }
}

std::vector<PageNumber> Sorted(PageFile& pages, UsageMapRef where) {
  std::vector<PageNumber> v = ReadUsageMap(pages, RowPointer{where.page, where.row});
  std::sort(v.begin(), v.end());
  return v;
}

}  // namespace

void CheckTablePages(PageFile& pages, const FreePageMap& free_pages, PageNumber first) {
  const PageReader read = [&pages](PageNumber n) {
    Page p;
    pages.Read(n, p);
    return p;
  };
  const TableDefinition def = ReadTableDefinition(first, read);
  CheckTableDefinition(def);
  const TablePages own = ReadTablePages(pages, first, def);
  const std::vector<PageNumber> all = own.All();
  for (PageNumber n : all) {
    if (n <= 2 && n != first)
      throw FormatError("The table lists " + PageName(n) + ", which no table owns");
    if (free_pages.IsFree(n)) {
      throw FormatError("The table uses " + PageName(n) + ", which is marked free");
    }
  }

  // No other table may list any of these pages.
  for (const CatalogEntry& entry : ReadCatalog(pages)) {
    if (entry.type != kCatalogTypeTable) continue;
    const PageNumber other = DefinitionPageOf(entry, pages.page_count());
    if (other == first) continue;
    std::vector<PageNumber> theirs = DefinitionChain(pages, other);
    const TableDefinition their_def = ReadTableDefinition(other, read);
    auto add = [&](UsageMapRef where) {
      const auto listed = ReadUsageMap(pages, RowPointer{where.page, where.row});
      theirs.insert(theirs.end(), listed.begin(), listed.end());
    };
    add(their_def.owned_pages);
    for (const RealIndex& index : their_def.real_indexes) add(index.usage_map);
    for (const LongValueMaps& maps : their_def.long_value_maps) add(maps.owned);
    for (PageNumber n : theirs) {
      if (std::binary_search(all.begin(), all.end(), n)) {
        std::string name;
        for (char16_t c : entry.name) name.push_back(c < 0x80 ? static_cast<char>(c) : '?');
        throw FormatError(PageName(n) + " is listed by the table and by table " + name);
      }
    }
  }

  ExpectSubset(Sorted(pages, def.free_space_pages), own.data, "The table's free-space map");

  // The rows, their long values, and the values each index keys them by.
  const std::vector<std::size_t> by_number = ColumnsByNumber(def);
  const std::vector<RowPointer> order = TableScanOrder(own.data, read);
  if (order.size() != def.row_count) {
    throw FormatError("The table holds " + std::to_string(order.size()) +
                      " rows; its definition says " + std::to_string(def.row_count));
  }
  std::vector<std::set<PageNumber>> long_value_found(def.long_value_maps.size());
  // Each index's entries as the rows want them, gathered row by row (large tables: packed).
  std::vector<ExpectedIndexEntries> checks;
  std::vector<std::vector<std::size_t>> stored_positions(def.real_indexes.size());  // in def.columns
  for (std::size_t r = 0; r < def.real_indexes.size(); ++r) {
    std::vector<IndexKeyColumn> columns;
    for (const IndexColumn& column : def.real_indexes[r].columns) {
      if (column.number == kUnusedIndexColumn) continue;
      for (std::size_t i = 0; i < def.columns.size(); ++i) {
        if (def.columns[i].number != column.number) continue;
        columns.push_back({def.columns[i].type, column.order == kIndexAscending});
        stored_positions[r].push_back(i);
      }
    }
    checks.emplace_back(std::move(columns), IndexRulesFromFlags(def.real_indexes[r].flags));
  }
  Page page;
  PageNumber held = 0;
  for (const RowPointer at : order) {
    if (held != at.page) {
      pages.Read(at.page, page);
      held = at.page;
    }
    std::vector<Value> values = DecodeRow(def, RowBytes(page, at.page, at.row));
    for (std::size_t i = 0; i < def.columns.size(); ++i) {
      const ColumnDefinition& c = def.columns[i];
      if (!c.IsLongValue() || IsNull(values[i])) continue;
      const Bytes& field = std::get<Bytes>(values[i]);
      Bytes data = ReadLongValue(field, read);
      for (std::size_t m = 0; m < def.long_value_maps.size(); ++m) {
        if (def.long_value_maps[m].column == c.number) {
          AddLongValuePages(field, read, long_value_found[m]);
        }
      }
      if (c.type == ColumnType::kMemo) {
        values[i] = DecodeMemoText(data);
      } else {
        values[i] = std::move(data);
      }
    }
    std::vector<Value> keyed;
    for (std::size_t r = 0; r < checks.size(); ++r) {
      const std::string what = "Index " + std::to_string(r) + " of the table";
      keyed.clear();
      for (std::size_t p : stored_positions[r]) keyed.push_back(values[p]);
      try {
        checks[r].Add(at, keyed);
      } catch (const FormatError& e) {
        throw FormatError(what + ": " + e.what());
      }
    }
  }
  for (std::size_t m = 0; m < def.long_value_maps.size(); ++m) {
    const std::string what =
        "The long-value map of column " + std::to_string(def.long_value_maps[m].column);
    ExpectSameSet(own.long_values[m], long_value_found[m], what);
    ExpectSubset(Sorted(pages, def.long_value_maps[m].free), own.long_values[m], what);
  }

  for (std::size_t r = 0; r < def.real_indexes.size(); ++r) {
    const RealIndex& index = def.real_indexes[r];
    const std::string what = "Index " + std::to_string(r) + " of the table";
    std::vector<PageNumber> walked;
    try {
      checks[r].Finish();
      walked = WalkIndexPages(index.root_page, first, read, [&](const IndexEntry& e) { checks[r].Check(e); });
    } catch (const FormatError& e) {
      throw FormatError(what + ": " + e.what());
    }
    ExpectSameSet(own.indexes[r], std::set<PageNumber>(walked.begin(), walked.end()), what + "'s map");
    try {
      checks[r].CheckNoneMissing();
    } catch (const FormatError& e) {
      throw FormatError(what + ": " + e.what());
    }
  }
}

}  // namespace cs::jetfile
