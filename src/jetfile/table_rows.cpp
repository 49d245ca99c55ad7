#include "jetfile/table_rows.h"

#include <algorithm>
#include <map>
#include <string>

#include "jetfile/data_page.h"
#include "jetfile/free_page_map.h"
#include "jetfile/index_entries.h"
#include "jetfile/index_pages.h"
#include "jetfile/page_file.h"
#include "jetfile/row.h"
#include "jetfile/table_layout.h"
#include "jetfile/usage_map.h"
#include "jetfile/table_definition_check.h"
#include "jetfile/table_definition_pages.h"

namespace cs::jetfile {

namespace {

// One slot of a data page's row table as the editor rebuilds it.
struct Slot {
  std::uint16_t flags = 0;  // 0, kRowOverflow, or kRowDeleted | kRowOverflow
  Bytes bytes;
};

std::vector<Slot> SlotsOf(const Page& page, PageNumber number) {
  std::vector<Slot> slots;
  for (const RowSlot& s : ListRows(page, number)) {
    Slot slot;
    if (s.deleted) {
      slot.flags = kRowDeleted | kRowOverflow;
    } else {
      if (s.moved_to) slot.flags = kRowOverflow;
      slot.bytes.assign(page.begin() + s.begin, page.begin() + s.end);
    }
    slots.push_back(std::move(slot));
  }
  return slots;
}

std::size_t UsedBytes(const std::vector<Slot>& slots) {
  std::size_t used = kDataPageHeaderSize + 2 * slots.size();
  for (const Slot& s : slots) used += s.bytes.size();
  return used;
}

// The page with its header kept (type, owner, the four bytes at 0x08) and its rows laid out
// again from the end in slot order.
Page PackDataPage(const Page& old, const std::vector<Slot>& slots) {
  Page page{};
  std::copy_n(old.begin(), kDataPageHeaderSize, page.begin());
  std::size_t at = kPageSize;
  for (std::size_t i = 0; i < slots.size(); ++i) {
    at -= slots[i].bytes.size();
    std::copy(slots[i].bytes.begin(), slots[i].bytes.end(), page.begin() + at);
    PutU16(page.data() + kDataPageHeaderSize + 2 * i,
           static_cast<std::uint16_t>(at | slots[i].flags));
  }
  PutU16(page.data() + 0x0C, static_cast<std::uint16_t>(slots.size()));
  PutU16(page.data() + 2, static_cast<std::uint16_t>(at - kDataPageHeaderSize - 2 * slots.size()));
  return page;
}

std::string Label(PageNumber definition) {
  return "table of definition page " + std::to_string(definition);
}

}  // namespace

TableRows::TableRows(PageFile& pages, PageNumber definition) : pages_(pages), first_(definition) {
  PageReader read = [this](PageNumber n) {
    Page p;
    pages_.Read(n, p);
    return p;
  };
  def_ = ReadTableDefinition(definition, read);
  CheckTableDefinition(def_);
  for (PageNumber n = definition; n != 0;) {
    if (definition_pages_.size() >= kMaxTableDefinitionPages) {
      throw FormatError(Label(definition) + ": its definition pages run on too long");
    }
    definition_pages_.push_back(n);
    n = GetU32(read(n).data() + 4);
  }
  data_pages_ =
      ReadUsageMap(pages_, {def_.owned_pages.page, def_.owned_pages.row});
  for (PageNumber n : data_pages_) {
    const Page page = read(n);
    if (page[0] != kDataPageType || DataPageOwner(page) != definition) {
      throw FormatError(Label(definition) + ": page " + std::to_string(n) +
                        " of its usage map is not one of its data pages");
    }
  }
  for (RowPointer at : TableScanOrder(data_pages_, read)) {
    const Page page = read(at.page);
    rows_.push_back({at, DecodeRow(def_, RowBytes(page, at.page, at.row))});
  }
  for (const RealIndex& index : def_.real_indexes) {
    index_pages_.push_back(ReadUsageMap(pages_, {index.usage_map.page, index.usage_map.row}));
  }
}

std::size_t TableRows::Column(std::u16string_view name) const {
  for (std::size_t i = 0; i < def_.columns.size(); ++i) {
    if (def_.columns[i].name == name) return i;
  }
  std::string printable;
  for (char16_t c : name) printable.push_back(c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?');
  throw FormatError(Label(first_) + " has no column " + printable);
}

void TableRows::Delete(RowPointer where) { deleted_.insert(where); }

void TableRows::Insert(const std::vector<Value>& values) {
  Bytes row = EncodeRow(def_, values);
  if (row.size() > kMaxRowSize) throw FormatError(Label(first_) + ": a row is too large");
  inserted_.push_back(std::move(row));
  // As a reader will see them: what the index check of CheckPending keys.
  inserted_values_.push_back(DecodeRow(def_, inserted_.back()));
}

void TableRows::DiscardPending() {
  deleted_.clear();
  inserted_.clear();
  inserted_values_.clear();
}

std::vector<IndexEntry> TableRows::EntriesOf(std::size_t i, const std::vector<Row>& rows) const {
  const RealIndex& index = def_.real_indexes[i];
  std::vector<IndexKeyColumn> columns;
  std::vector<std::size_t> positions;
  for (const IndexColumn& c : index.columns) {
    if (c.number == kUnusedIndexColumn) continue;
    for (std::size_t k = 0; k < def_.columns.size(); ++k) {
      if (def_.columns[k].number == c.number) {
        positions.push_back(k);
        columns.push_back({def_.columns[k].type, c.order == kIndexAscending});
      }
    }
  }
  std::vector<IndexedRow> indexed;
  for (const Row& r : rows) {
    IndexedRow ir{r.where, {}};
    for (std::size_t k : positions) ir.values.push_back(r.values[k]);
    indexed.push_back(std::move(ir));
  }
  return MakeIndexEntries(columns, IndexRulesFromFlags(index.flags), indexed);
}

void TableRows::CheckPending() const {
  std::vector<Row> after;
  for (const Row& r : rows_) {
    if (!deleted_.contains(r.where)) after.push_back(r);
  }
  // New rows have no place yet: places past any page stand in for them.
  for (std::size_t i = 0; i < inserted_values_.size(); ++i) {
    after.push_back({RowPointer{0xFFFFFF - static_cast<PageNumber>(i / 256),
                                static_cast<std::uint8_t>(i % 256)},
                     inserted_values_[i]});
  }
  for (std::size_t i = 0; i < def_.real_indexes.size(); ++i) EntriesOf(i, after);
}

void TableRows::Commit(FreePageMap& free_pages) {
  CheckPending();
  // The data pages as they will be, by page number.
  std::map<PageNumber, std::pair<Page, std::vector<Slot>>> changed;
  auto load = [&](PageNumber n) -> std::pair<Page, std::vector<Slot>>& {
    auto it = changed.find(n);
    if (it == changed.end()) {
      Page p;
      pages_.Read(n, p);
      it = changed.emplace(n, std::make_pair(p, SlotsOf(p, n))).first;
    }
    return it->second;
  };

  for (RowPointer at : deleted_) {
    auto& [page, slots] = load(at.page);
    if (at.row >= slots.size()) throw FormatError(Label(first_) + ": a deleted row is missing");
    slots[at.row] = Slot{static_cast<std::uint16_t>(kRowDeleted | kRowOverflow), {}};
  }
  // An overflow row that led to a deleted row goes with it.
  for (PageNumber n : data_pages_) {
    Page p;
    pages_.Read(n, p);
    const std::vector<RowSlot> listed = ListRows(p, n);
    for (std::size_t i = 0; i < listed.size(); ++i) {
      if (listed[i].moved_to && deleted_.contains(*listed[i].moved_to)) {
        load(n).second[i] = Slot{static_cast<std::uint16_t>(kRowDeleted | kRowOverflow), {}};
      }
    }
  }

  std::vector<PageNumber> added_pages;
  for (Bytes& row : inserted_) {
    bool placed = false;
    std::vector<PageNumber> candidates = data_pages_;
    candidates.insert(candidates.end(), added_pages.begin(), added_pages.end());
    for (PageNumber n : candidates) {
      auto& [page, slots] = load(n);
      auto reuse = std::find_if(slots.begin(), slots.end(), [](const Slot& s) {
        return (s.flags & kRowDeleted) != 0;
      });
      const std::size_t need = row.size() + (reuse == slots.end() ? 2 : 0);
      if (UsedBytes(slots) + need > kPageSize) continue;
      if (reuse == slots.end() && slots.size() >= kMaxRowsOnPage) continue;
      if (reuse != slots.end()) {
        *reuse = Slot{0, std::move(row)};
      } else {
        slots.push_back(Slot{0, std::move(row)});
      }
      placed = true;
      break;
    }
    if (!placed) {
      const PageNumber n = free_pages.Allocate();
      Page fresh{};
      fresh[0] = kDataPageType;
      fresh[1] = 0x01;
      PutU32(fresh.data() + 4, first_);
      changed[n] = {fresh, {Slot{0, std::move(row)}}};
      added_pages.push_back(n);
    }
  }
  for (auto& [n, content] : changed) pages_.Write(n, PackDataPage(content.first, content.second));
  if (!added_pages.empty()) {
    std::vector<PageNumber> owned = data_pages_;
    owned.insert(owned.end(), added_pages.begin(), added_pages.end());
    WriteUsageMap(pages_, free_pages, {def_.owned_pages.page, def_.owned_pages.row}, owned);
    std::vector<PageNumber> with_room =
        ReadUsageMap(pages_, {def_.free_space_pages.page, def_.free_space_pages.row});
    with_room.insert(with_room.end(), added_pages.begin(), added_pages.end());
    WriteUsageMap(pages_, free_pages, {def_.free_space_pages.page, def_.free_space_pages.row},
                  with_room);
    data_pages_ = owned;
    std::sort(data_pages_.begin(), data_pages_.end());
  }

  // The rows as they now are, and every index built again from them.
  PageReader read = [this](PageNumber n) {
    Page p;
    pages_.Read(n, p);
    return p;
  };
  rows_.clear();
  for (RowPointer at : TableScanOrder(data_pages_, read)) {
    const Page page = read(at.page);
    rows_.push_back({at, DecodeRow(def_, RowBytes(page, at.page, at.row))});
  }
  std::vector<PageNumber> old_index_pages;
  for (std::size_t i = 0; i < def_.real_indexes.size(); ++i) {
    RealIndex& index = def_.real_indexes[i];
    const std::vector<IndexEntry> entries = EntriesOf(i, rows_);
    const IndexPages built = BuildIndexPages(
        entries, first_, [&] { return free_pages.Allocate(); },
        [this](PageNumber n, const Page& p) { pages_.Write(n, p); });
    WriteUsageMap(pages_, free_pages, {index.usage_map.page, index.usage_map.row}, built.pages);
    index.root_page = built.root;
    old_index_pages.insert(old_index_pages.end(), index_pages_[i].begin(), index_pages_[i].end());
    index_pages_[i] = built.pages;
  }
  def_.row_count = static_cast<std::uint32_t>(rows_.size());
  if (TableDefinitionPageCount(def_) != definition_pages_.size()) {
    throw FormatError(Label(first_) + ": its definition no longer fits its pages");
  }
  const std::vector<Page> written = WriteTableDefinitionPages(def_, definition_pages_);
  for (std::size_t i = 0; i < written.size(); ++i) pages_.Write(definition_pages_[i], written[i]);
  for (PageNumber n : old_index_pages) free_pages.Free(n);
  DiscardPending();
}

}  // namespace cs::jetfile
