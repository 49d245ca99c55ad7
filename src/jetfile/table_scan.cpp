#include "jetfile/table_scan.h"

#include <algorithm>
#include <numeric>
#include <string>

#include "jetfile/data_page.h"
#include "jetfile/long_value.h"
#include "jetfile/page_file.h"
#include "jetfile/row.h"
#include "jetfile/usage_map.h"
#include "jetfile/table_definition_check.h"

namespace cs::jetfile {

std::vector<PageNumber> TableDataPages(PageFile& pages, PageNumber definition_page,
                                       const TableDefinition& def) {
  std::vector<PageNumber> listed =
      ReadUsageMap(pages, RowPointer{def.owned_pages.page, def.owned_pages.row});
  std::sort(listed.begin(), listed.end());
  Page page;
  for (PageNumber n : listed) {
    pages.Read(n, page);
    if (page[0] != kDataPageType || DataPageOwner(page) != definition_page) {
      throw FormatError("The table defined on page " + std::to_string(definition_page) +
                        " lists page " + std::to_string(n) +
                        " as its own, but that page is not one of its data pages.");
    }
  }
  return listed;
}

std::vector<std::size_t> ColumnsByNumber(const TableDefinition& def) {
  std::vector<std::size_t> order(def.columns.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return def.columns[a].number < def.columns[b].number;
  });
  return order;
}

TableScan::TableScan(PageFile& pages, PageNumber definition_page, TableDefinition def)
    : pages_(pages), def_(std::move(def)) {
  CheckTableDefinition(def_);
  by_number_ = ColumnsByNumber(def_);
  in_number_order_ = std::is_sorted(by_number_.begin(), by_number_.end());
  const std::vector<PageNumber> data = TableDataPages(pages_, definition_page, def_);
  order_ = TableScanOrder(data, [this](PageNumber n) {
    Page p;
    pages_.Read(n, p);
    return p;
  });
}

bool TableScan::Next(std::vector<Value>& row) {
  if (next_ >= order_.size()) return false;
  const RowPointer at = order_[next_++];
  if (page_number_ != at.page) {
    pages_.Read(at.page, page_);
    page_number_ = at.page;
  }
  std::vector<Value> stored = DecodeRow(def_, RowBytes(page_, at.page, at.row));
  const PageReader read = [this](PageNumber n) {
    Page p;
    pages_.Read(n, p);
    return p;
  };
  for (std::size_t c = 0; c < stored.size(); ++c) {
    Value& v = stored[c];
    if (!def_.columns[c].IsLongValue() || IsNull(v)) continue;
    Bytes data = ReadLongValue(std::get<Bytes>(v), read);
    if (def_.columns[c].type == ColumnType::kMemo) {
      v = DecodeMemoText(data);
    } else {
      v = std::move(data);
    }
  }
  if (in_number_order_) {
    row.swap(stored);
  } else {
    row.resize(stored.size());
    for (std::size_t i = 0; i < by_number_.size(); ++i) row[i] = std::move(stored[by_number_[i]]);
  }
  return true;
}

}  // namespace cs::jetfile
