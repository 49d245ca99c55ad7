#include "jetfile/table_writer.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>

#include "jetfile/catalog.h"
#include "jetfile/data_page.h"
#include "jetfile/free_page_map.h"
#include "jetfile/index_entries.h"
#include "jetfile/index_key.h"
#include "jetfile/index_pages.h"
#include "jetfile/index_plan.h"
#include "jetfile/long_value.h"
#include "jetfile/page_file.h"
#include "jetfile/row.h"
#include "jetfile/row_fit.h"
#include "jetfile/table_definition.h"
#include "jetfile/table_pages.h"
#include "jetfile/table_scan.h"
#include "jetfile/table_definition_check.h"
#include "jetfile/table_definition_pages.h"
#include "jetfile/usage_map.h"

namespace cs::jetfile {
namespace {

// The rows of a source that cannot start again, kept for the second reading.
class KeptRows : public RowSource {
 public:
  void Keep(const std::vector<Value>& row) { rows_.push_back(row); }
  bool Next(std::vector<Value>& row) override {
    if (next_ >= rows_.size()) return false;
    row = std::move(rows_[next_++]);
    return true;
  }
  bool Rewind() override { return next_ == 0; }

 private:
  std::vector<std::vector<Value>> rows_;
  std::size_t next_ = 0;
};

// Hands each long value of a row to its own column's writer. EncodeRow stores a row's long
// values in the order of their columns' variable indexes, so the row's order is told first.
class ColumnStores : public LongValueStore {
 public:
  explicit ColumnStores(std::vector<LongValueWriter*> writers) : writers_(std::move(writers)) {}
  void StartRow(std::vector<std::size_t> order) {
    order_ = std::move(order);
    next_ = 0;
  }
  Bytes Store(std::span<const std::uint8_t> data, std::size_t room) override {
    if (next_ >= order_.size()) throw std::logic_error("a row stored more long values than it has");
    return writers_[order_[next_++]]->Store(data, room);
  }

 private:
  std::vector<LongValueWriter*> writers_;
  std::vector<std::size_t> order_;
  std::size_t next_ = 0;
};

// The pages the table's new content goes to: its old content's pages first, in ascending order,
// so that a table written again takes the room it had; then pages from the free-page map. Taking
// an old page back directly, instead of freeing it and allocating it again, spares the free-page
// map two writes a page; the old pages not taken are freed when the table is written.
class PagePool : public LongValuePages {
 public:
  PagePool(FreePageMap& free_pages, std::vector<PageNumber> reusable)
      : free_pages_(free_pages), reusable_(std::move(reusable)) {}
  PageNumber AllocatePage() override {
    if (next_ < reusable_.size()) return reusable_[next_++];
    return free_pages_.Allocate();
  }
  void FreeTheRest() {
    for (; next_ < reusable_.size(); ++next_) free_pages_.Free(reusable_[next_]);
  }

 private:
  FreePageMap& free_pages_;
  std::vector<PageNumber> reusable_;
  std::size_t next_ = 0;
};

}  // namespace

void WriteTableRows(PageFile& pages, FreePageMap& free_pages, PageNumber first, RowSource& source, Reading reading) {
  if (!pages.writable()) {
    throw std::invalid_argument("The database was opened for reading; no table is written.");
  }
  const PageReader read = [&pages](PageNumber n) {
    Page p;
    pages.Read(n, p);
    return p;
  };
  TableDefinition def = ReadTableDefinition(first, read);
  CheckTableDefinition(def);
  const TablePages old = ReadTablePages(pages, first, def);
  for (PageNumber n : old.All()) {
    // Pages 0 and 1 belong to no table; page 2 only to the catalog, as its definition.
    if ((n <= 2 && n != first) || free_pages.IsFree(n)) {
      throw FormatError("The table on page " + std::to_string(first) + " lists page " +
                        std::to_string(n) + ", which is free or not a table's page.");
    }
  }

  RowShaper shaper(def);
  std::vector<std::tuple<std::uint16_t, std::size_t, std::size_t>> long_columns;
  for (std::size_t i = 0; i < def.columns.size(); ++i) {
    const ColumnDefinition& c = def.columns[i];
    if (!c.IsLongValue()) continue;
    std::size_t writer = def.long_value_maps.size();
    for (std::size_t m = 0; m < def.long_value_maps.size(); ++m) {
      if (def.long_value_maps[m].column == c.number) writer = m;
    }
    if (writer == def.long_value_maps.size()) {
      throw FormatError("The Memo/OLE column " + PrintableName(c.name) + " has no long-value maps.");
    }
    long_columns.emplace_back(c.variable_index, i, writer);
  }
  shaper.SetLongColumns(std::move(long_columns));
  std::vector<IndexPlan> plans = PlanIndexes(def, shaper.by_number());

  // The first reading: everything checked, nothing written.
  const bool once = reading == Reading::kOnce;
  const bool rewinds = !once && source.Rewind();
  KeptRows kept;
  std::uint64_t count = 0;
  if (!once) {
    MeasuringStore measure;
    const QuickFit quick(def);
    std::vector<Value> row;
    std::vector<Value> stored;
    RowShaper first_pass = shaper;
    while (source.Next(row)) {
      if (count >= std::numeric_limits<std::uint32_t>::max()) {
        throw FormatError("a table holds fewer rows than these");
      }
      if (!rewinds) kept.Keep(row);
      first_pass.Prepare(row, count);
      AddEntries(plans, row, count);
      first_pass.ToStored(row, stored);
      try {
        if (count == 0 || !quick.Fits(stored)) EncodeRow(def, stored, &measure);
      } catch (const FormatError& e) {
        throw FormatError(RowName(count) + ": " + e.what());
      }
      ++count;
    }
  }
  std::vector<std::uint32_t> distinct;
  if (!once) {
    for (IndexPlan& plan : plans) distinct.push_back(SortAndCheck(plan));
  }
  RowSource& again = rewinds || once ? source : kept;
  if (rewinds && !source.Rewind()) {
    throw FormatError("the rows to write could not be read a second time");
  }

  // The second reading writes, into the old content's pages first.
  std::vector<PageNumber> reusable = old.data;
  for (const auto& list : old.indexes) reusable.insert(reusable.end(), list.begin(), list.end());
  for (const auto& list : old.long_values) {
    reusable.insert(reusable.end(), list.begin(), list.end());
  }
  std::sort(reusable.begin(), reusable.end());
  PagePool pool(free_pages, std::move(reusable));

  std::vector<std::unique_ptr<LongValueWriter>> writers;
  std::vector<LongValueWriter*> writer_pointers;
  for (std::size_t m = 0; m < def.long_value_maps.size(); ++m) {
    writers.push_back(std::make_unique<LongValueWriter>(pool));
    writer_pointers.push_back(writers.back().get());
  }
  std::vector<std::vector<PageNumber>> long_value_pages(writers.size());
  auto write_long_value_pages = [&](std::size_t m, const std::map<PageNumber, Page>& done) {
    for (const auto& [number, page] : done) {
      pages.Write(number, page);
      long_value_pages[m].push_back(number);
    }
  };
  ColumnStores stores(writer_pointers);

  std::vector<PageNumber> data_pages;
  std::vector<std::uint32_t> first_ordinals;  // of each data page's rows
  DataPageBuilder builder(first);
  std::uint32_t builder_first = 0;
  auto flush_page = [&]() {
    const PageNumber n = pool.AllocatePage();
    pages.Write(n, builder.page());
    data_pages.push_back(n);
    first_ordinals.push_back(builder_first);
    builder = DataPageBuilder(first);
  };
  std::vector<Value> row;
  std::vector<Value> stored;
  std::uint32_t written = 0;
  while (again.Next(row)) {
    if (once && written == std::numeric_limits<std::uint32_t>::max()) {
      throw FormatError("a table holds fewer rows than these");
    }
    if (!once && written >= count) throw FormatError("the rows to write changed between two readings");
    shaper.Prepare(row, written);
    if (once) AddEntries(plans, row, written);
    shaper.ToStored(row, stored);
    stores.StartRow(shaper.LongValueOrder(stored));
    Bytes encoded;
    try {
      encoded = EncodeRow(def, stored, &stores);
    } catch (const FormatError& e) {
      throw FormatError(RowName(written) + ": " + e.what());
    }
    if (builder.RowCount() >= kMaxRowsOnPage || !builder.HasRoomFor(encoded.size())) {
      flush_page();
      builder_first = written;
    }
    builder.Add(encoded);
    ++written;
    for (std::size_t m = 0; m < writers.size(); ++m) {
      write_long_value_pages(m, writers[m]->TakeFinishedPages());
    }
  }
  if (once) {
    count = written;
    for (IndexPlan& plan : plans) distinct.push_back(SortAndCheck(plan));
  }
  if (written != count) throw FormatError("the rows to write changed between two readings");
  if (builder.RowCount() > 0) flush_page();
  for (std::size_t m = 0; m < writers.size(); ++m) {
    write_long_value_pages(m, writers[m]->Pages());
  }

  // The indexes, from the entries with each row's ordinal turned into its place.
  for (std::size_t r = 0; r < plans.size(); ++r) {
    PlaceRows(plans[r].entries, first_ordinals, data_pages);
    const IndexPages built = BuildIndexPages(
        plans[r].entries, first, [&pool] { return pool.AllocatePage(); },
        [&pages](PageNumber n, const Page& p) { pages.Write(n, p); });
    plans[r].entries = PackedIndexEntries{};
    RealIndex& index = def.real_indexes[r];
    index.root_page = built.root;
    index.block_count = distinct[r];
    WriteUsageMap(pages, free_pages, RowPointer{index.usage_map.page, index.usage_map.row},
                  built.pages);
  }

  // The maps: every page owned, and the last page of each kind as the one with room left.
  auto last_of = [](const std::vector<PageNumber>& list) {
    return list.empty() ? std::vector<PageNumber>{} : std::vector<PageNumber>{list.back()};
  };
  WriteUsageMap(pages, free_pages, RowPointer{def.owned_pages.page, def.owned_pages.row},
                data_pages);
  WriteUsageMap(pages, free_pages, RowPointer{def.free_space_pages.page, def.free_space_pages.row},
                last_of(data_pages));
  for (std::size_t m = 0; m < writers.size(); ++m) {
    const LongValueMaps& maps = def.long_value_maps[m];
    std::vector<PageNumber> listed = long_value_pages[m];
    std::sort(listed.begin(), listed.end());
    WriteUsageMap(pages, free_pages, RowPointer{maps.owned.page, maps.owned.row}, listed);
    WriteUsageMap(pages, free_pages, RowPointer{maps.free.page, maps.free.row},
                  last_of(long_value_pages[m]));
  }

  // The definition last, in place.
  def.row_count = written;
  def.next_autonumber = shaper.counter();
  std::vector<PageNumber> chain = old.definition;
  const std::size_t needed = TableDefinitionPageCount(def);
  while (chain.size() < needed) chain.push_back(pool.AllocatePage());
  const std::vector<PageNumber> extra(chain.begin() + static_cast<std::ptrdiff_t>(needed),
                                      chain.end());
  chain.resize(needed);
  const std::vector<Page> def_pages = WriteTableDefinitionPages(def, chain);
  for (std::size_t i = 0; i < chain.size(); ++i) pages.Write(chain[i], def_pages[i]);
  for (PageNumber n : extra) free_pages.Free(n);
  pool.FreeTheRest();
}

}  // namespace cs::jetfile
