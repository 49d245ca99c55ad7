#include "jetfile/table_pages.h"

#include <algorithm>
#include <string>

#include "jetfile/data_page.h"
#include "jetfile/page_file.h"
#include "jetfile/table_scan.h"
#include "jetfile/usage_map.h"

namespace cs::jetfile {
namespace {

constexpr std::uint8_t kIndexIntermediatePage = 0x03;
constexpr std::uint8_t kIndexLeafPage = 0x04;

std::vector<PageNumber> SortedMap(PageFile& pages, UsageMapRef where) {
  std::vector<PageNumber> listed = ReadUsageMap(pages, RowPointer{where.page, where.row});
  std::sort(listed.begin(), listed.end());
  return listed;
}

}  // namespace

std::vector<PageNumber> TablePages::All() const {
  std::vector<PageNumber> all = definition;
  all.insert(all.end(), data.begin(), data.end());
  for (const auto& i : indexes) all.insert(all.end(), i.begin(), i.end());
  for (const auto& l : long_values) all.insert(all.end(), l.begin(), l.end());
  std::sort(all.begin(), all.end());
  return all;
}

std::vector<PageNumber> DefinitionChain(PageFile& pages, PageNumber first) {
  std::vector<PageNumber> chain;
  Page page;
  for (PageNumber at = first; at != 0;) {
    if (chain.size() >= kMaxTableDefinitionPages ||
        std::find(chain.begin(), chain.end(), at) != chain.end()) {
      throw FormatError("The definition on page " + std::to_string(first) +
                        " runs on through a loop or too many pages.");
    }
    if (at >= pages.page_count()) {
      throw FormatError("The definition on page " + std::to_string(first) + " continues on page " +
                        std::to_string(at) + ", past the end.");
    }
    pages.Read(at, page);
    if (page[0] != kTableDefinitionPageType) {
      throw FormatError("The definition on page " + std::to_string(first) + " continues on page " +
                        std::to_string(at) + ", which is no definition page.");
    }
    chain.push_back(at);
    at = GetU32(&page[4]);
  }
  return chain;
}

TablePages ReadTablePages(PageFile& pages, PageNumber first, const TableDefinition& def) {
  TablePages t;
  t.definition = DefinitionChain(pages, first);
  t.data = TableDataPages(pages, first, def);
  Page page;
  for (const RealIndex& index : def.real_indexes) {
    t.indexes.push_back(SortedMap(pages, index.usage_map));
    for (PageNumber n : t.indexes.back()) {
      pages.Read(n, page);
      if ((page[0] != kIndexIntermediatePage && page[0] != kIndexLeafPage) ||
          GetU32(&page[4]) != first) {
        throw FormatError("An index of the table on page " + std::to_string(first) +
                          " lists page " + std::to_string(n) +
                          ", which is not one of its index pages.");
      }
    }
  }
  for (const LongValueMaps& maps : def.long_value_maps) {
    t.long_values.push_back(SortedMap(pages, maps.owned));
    for (PageNumber n : t.long_values.back()) {
      pages.Read(n, page);
      if (page[0] != kDataPageType || DataPageOwner(page) != kLongValueOwner) {
        throw FormatError("A Memo/OLE column of the table on page " + std::to_string(first) +
                          " lists page " + std::to_string(n) + ", which is no long-value page.");
      }
    }
  }
  const std::vector<PageNumber> all = t.All();
  const auto twice = std::adjacent_find(all.begin(), all.end());
  if (twice != all.end()) {
    throw FormatError("The table on page " + std::to_string(first) + " lists page " +
                      std::to_string(*twice) + " twice among its pages.");
  }
  return t;
}

}  // namespace cs::jetfile
