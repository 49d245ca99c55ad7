#include "jetfile/table_writer.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>

#include "jetfile/data_page.h"
#include "jetfile/free_page_map.h"
#include "jetfile/index_entries.h"
#include "jetfile/index_key.h"
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

std::string RowName(std::uint64_t ordinal) { return "row " + std::to_string(ordinal + 1); }

std::string Ascii(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

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

// The field a long value would leave in its row, stored nowhere: the first reading's stand-in
// for LongValueWriter, deciding inline or not by the same rule.
class MeasuringStore : public LongValueStore {
 public:
  Bytes Store(std::span<const std::uint8_t> data, std::size_t room) override {
    if (data.size() > kMaxLongValueLength) {
      throw FormatError("a long value of " + std::to_string(data.size()) +
                        " bytes is larger than a reference can state");
    }
    if (data.size() <= kMaxInlineLongValue && kLongValueReferenceSize + data.size() <= room) {
      return Bytes(kLongValueReferenceSize + data.size());
    }
    return Bytes(kLongValueReferenceSize);
  }
};

// A quick proof that EncodeRow takes a row: every value of its column's type, text within its
// column, and the row's largest possible size within a page. Rows it cannot vouch for (fixed
// text or binary, GUID, Numeric, text starting with a byte-order mark, anything unusual) go
// through EncodeRow itself; so does the first row, which finds any fault of the definition.
class QuickFit {
 public:
  explicit QuickFit(const TableDefinition& def) : def_(def) {
    std::size_t fixed_end = 0;
    for (const ColumnDefinition& c : def.columns) {
      if (!c.IsFixed() || c.type == ColumnType::kBoolean) continue;
      const std::size_t size = FixedSizeOf(c.type);
      if (size == 0 || size != c.length) usable_ = false;
      fixed_end = std::max(fixed_end, std::size_t{c.fixed_offset} + c.length);
    }
    // Column count, fixed area, null mask, variable-entry count, end of data and offsets.
    base_ = 2 + fixed_end + (std::size_t{def.max_columns} + 7) / 8 + 4 +
            2 * std::size_t{def.variable_column_count};
  }

  bool Fits(const std::vector<Value>& stored) const {
    if (!usable_ || stored.size() != def_.columns.size()) return false;
    std::size_t size = base_;
    for (std::size_t i = 0; i < stored.size(); ++i) {
      const ColumnDefinition& c = def_.columns[i];
      const Value& v = stored[i];
      if (IsNull(v)) continue;
      switch (c.type) {
        case ColumnType::kBoolean:
          if (!std::holds_alternative<bool>(v)) return false;
          break;
        case ColumnType::kByte:
          if (!std::holds_alternative<std::uint8_t>(v)) return false;
          break;
        case ColumnType::kInteger:
          if (!std::holds_alternative<std::int16_t>(v)) return false;
          break;
        case ColumnType::kLong:
          if (!std::holds_alternative<std::int32_t>(v)) return false;
          break;
        case ColumnType::kCurrency:
          if (!std::holds_alternative<Currency>(v)) return false;
          break;
        case ColumnType::kSingle:
          if (!std::holds_alternative<float>(v)) return false;
          break;
        case ColumnType::kDouble:
          if (!std::holds_alternative<double>(v)) return false;
          break;
        case ColumnType::kDateTime:
          if (!std::holds_alternative<DateTime>(v)) return false;
          break;
        case ColumnType::kText: {
          const auto* text = std::get_if<std::u16string>(&v);
          if (text == nullptr || c.IsFixed() || text->size() * 2 > c.length ||
              (!text->empty() && (*text)[0] == 0xFEFF)) {
            return false;
          }
          size += 2 * text->size() + 2;
          break;
        }
        case ColumnType::kMemo: {
          const auto* text = std::get_if<std::u16string>(&v);
          if (text == nullptr || (!text->empty() && (*text)[0] == 0xFEFF) ||
              text->size() > kMaxLongValueLength / 2) {
            return false;
          }
          size += kLongValueReferenceSize + kMaxInlineLongValue;
          break;
        }
        case ColumnType::kOle: {
          const auto* bytes = std::get_if<Bytes>(&v);
          if (bytes == nullptr || bytes->size() > kMaxLongValueLength) return false;
          size += kLongValueReferenceSize + kMaxInlineLongValue;
          break;
        }
        default:
          return false;
      }
      if (!c.IsFixed() && c.type != ColumnType::kText && c.type != ColumnType::kMemo &&
          c.type != ColumnType::kOle && c.type != ColumnType::kBoolean) {
        size += 8;  // a number kept in a variable column, as system tables do
      }
    }
    return size <= kMaxRowSize;
  }

 private:
  const TableDefinition& def_;
  std::size_t base_ = 0;
  bool usable_ = true;
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

// One real index as the writer fills it.
struct IndexPlan {
  std::string name;
  std::vector<IndexKeyColumn> columns;
  std::vector<std::size_t> positions;  // of its columns in a row in column-number order
  IndexRules rules;
  Bytes all_null_key;  // the key of a row whose values here are all Null
  // The entries, packed: every row's key is held, so each costs its key and 8 bytes. During
  // the first reading each entry's row.page is the row's ordinal (row.row 0).
  PackedIndexEntries entries;
};

// What both readings share: how a row of the source becomes a row of the table.
class RowShaper {
 public:
  explicit RowShaper(const TableDefinition& def) : def_(def), by_number_(ColumnsByNumber(def)) {
    for (std::size_t i = 0; i < by_number_.size(); ++i) {
      const ColumnDefinition& c = def.columns[by_number_[i]];
      if (c.IsAutoNumber() && c.type == ColumnType::kLong) autonumbers_.push_back(i);
    }
    in_number_order_ = std::is_sorted(by_number_.begin(), by_number_.end());
    counter_ = def.next_autonumber;
    largest_ = def.next_autonumber;
  }

  // Checks the row's width and numbers its Null AutoNumber values.
  void Prepare(std::vector<Value>& row, std::uint64_t ordinal) {
    if (row.size() != by_number_.size()) {
      throw FormatError(RowName(ordinal) + " has " + std::to_string(row.size()) +
                        " values for the table's " + std::to_string(by_number_.size()) +
                        " columns");
    }
    for (std::size_t i : autonumbers_) {
      if (IsNull(row[i])) {
        if (counter_ >= static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max())) {
          throw FormatError(RowName(ordinal) + ": the table's AutoNumber has run out");
        }
        row[i] = static_cast<std::int32_t>(++counter_);
      }
      if (const auto* v = std::get_if<std::int32_t>(&row[i]); v != nullptr && *v > 0) {
        largest_ = std::max(largest_, static_cast<std::uint32_t>(*v));
      }
    }
  }

  // The row's values moved into the order of def.columns, as EncodeRow takes them.
  void ToStored(std::vector<Value>& row, std::vector<Value>& stored) const {
    if (in_number_order_) {
      stored.swap(row);
      return;
    }
    stored.resize(row.size());
    for (std::size_t i = 0; i < row.size(); ++i) stored[by_number_[i]] = std::move(row[i]);
  }

  // The writers (by long_value_maps entry) of the row's non-Null long values, in the order
  // EncodeRow stores them.
  std::vector<std::size_t> LongValueOrder(const std::vector<Value>& stored) const {
    std::vector<std::size_t> order;
    for (const auto& [variable_index, column, writer] : long_columns_) {
      if (!IsNull(stored[column])) order.push_back(writer);
    }
    return order;
  }

  void SetLongColumns(std::vector<std::tuple<std::uint16_t, std::size_t, std::size_t>> columns) {
    long_columns_ = std::move(columns);
    std::sort(long_columns_.begin(), long_columns_.end());
  }

  const std::vector<std::size_t>& by_number() const { return by_number_; }
  std::uint32_t counter() const { return std::max(counter_, largest_); }

 private:
  const TableDefinition& def_;
  std::vector<std::size_t> by_number_;
  bool in_number_order_ = false;
  std::vector<std::size_t> autonumbers_;
  // (variable index, position in def.columns, writer) of each Memo/OLE column.
  std::vector<std::tuple<std::uint16_t, std::size_t, std::size_t>> long_columns_;
  std::uint32_t counter_ = 0;
  std::uint32_t largest_ = 0;
};

std::vector<IndexPlan> PlanIndexes(const TableDefinition& def,
                                   const std::vector<std::size_t>& by_number) {
  std::vector<IndexPlan> plans;
  for (std::size_t r = 0; r < def.real_indexes.size(); ++r) {
    const RealIndex& index = def.real_indexes[r];
    IndexPlan plan;
    plan.name = "index " + std::to_string(r);
    for (const LogicalIndex& logical : def.logical_indexes) {
      if (logical.real_index == r) {
        plan.name = "index " + Ascii(logical.name);
        break;
      }
    }
    plan.rules = IndexRulesFromFlags(index.flags);
    for (const IndexColumn& column : index.columns) {
      if (column.number == kUnusedIndexColumn) continue;
      std::size_t position = by_number.size();
      for (std::size_t i = 0; i < by_number.size(); ++i) {
        if (def.columns[by_number[i]].number == column.number) position = i;
      }
      if (position == by_number.size()) {
        throw FormatError(plan.name + " names column " + std::to_string(column.number) +
                          ", which the table does not have");
      }
      plan.columns.push_back(
          {def.columns[by_number[position]].type, column.order == kIndexAscending});
      plan.positions.push_back(position);
    }
    const std::vector<Value> nulls(plan.columns.size());
    plan.all_null_key = MakeIndexKey(plan.columns, nulls);
    plans.push_back(std::move(plan));
  }
  return plans;
}

// Adds the row's entry to each index, applying each index's rules for Nulls.
void AddEntries(std::vector<IndexPlan>& plans, const std::vector<Value>& row,
                std::uint64_t ordinal) {
  for (IndexPlan& plan : plans) {
    PackedIndexEntries& e = plan.entries;
    const std::size_t begin = e.keys.size();
    std::size_t nulls = 0;
    for (std::size_t i = 0; i < plan.columns.size(); ++i) {
      const Value& v = row[plan.positions[i]];
      if (IsNull(v)) ++nulls;
      AppendIndexKeyColumn(plan.columns[i], v, e.keys);
    }
    if (plan.rules.ignore_nulls && nulls == plan.columns.size()) {
      e.keys.resize(begin);
      continue;
    }
    if (plan.rules.required && nulls > 0) {
      throw FormatError(RowName(ordinal) + " has a Null in the required " + plan.name);
    }
    // An index page must take the entry with a child pointer (index_pages.h).
    if (e.keys.size() - begin + 8 > kIndexPageEntryBytes) {
      throw FormatError(RowName(ordinal) + ": its key in " + plan.name + " is too long");
    }
    if (e.keys.size() > std::numeric_limits<std::uint32_t>::max()) {
      throw FormatError(plan.name + ": its keys are larger than an index can hold");
    }
    e.key_ends.push_back(static_cast<std::uint32_t>(e.keys.size()));
    e.rows.push_back(RowPointer{static_cast<PageNumber>(ordinal), 0});
  }
}

bool KeysEqual(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}

// Sorts an index's entries and refuses two rows with one key in a unique index (rows whose
// values are all Null may share one). Returns how many distinct keys it holds.
std::uint32_t SortAndCheck(IndexPlan& plan) {
  const PackedIndexEntries& from = plan.entries;
  std::vector<std::uint32_t> order(from.size());
  for (std::uint32_t i = 0; i < order.size(); ++i) order[i] = i;
  // Entries were added in row order, so equal keys keep their rows' order.
  std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
    const auto x = from.Key(a);
    const auto y = from.Key(b);
    return std::lexicographical_compare(x.begin(), x.end(), y.begin(), y.end());
  });
  PackedIndexEntries sorted;
  sorted.keys.reserve(from.keys.size());
  sorted.key_ends.reserve(from.size());
  sorted.rows.reserve(from.size());
  std::uint32_t distinct = 0;
  for (std::size_t i = 0; i < order.size(); ++i) {
    const auto key = from.Key(order[i]);
    const bool same = i > 0 && KeysEqual(key, from.Key(order[i - 1]));
    if (!same) ++distinct;
    if (same && plan.rules.unique && !KeysEqual(key, plan.all_null_key)) {
      throw FormatError(RowName(from.rows[order[i - 1]].page) + " and " +
                        RowName(from.rows[order[i]].page) + " have the same key in the unique " +
                        plan.name);
    }
    sorted.keys.insert(sorted.keys.end(), key.begin(), key.end());
    sorted.key_ends.push_back(static_cast<std::uint32_t>(sorted.keys.size()));
    sorted.rows.push_back(from.rows[order[i]]);
  }
  plan.entries = std::move(sorted);
  return distinct;
}

// Turns each entry's row ordinal into its place. Rows written later may sit on lower pages
// (pages from the free-page map after the table's own), so rows under one key are put in order
// again where needed.
void PlaceRows(PackedIndexEntries& entries, const std::vector<std::uint32_t>& first_ordinals,
               const std::vector<PageNumber>& data_pages) {
  for (RowPointer& row : entries.rows) {
    const std::uint32_t ordinal = row.page;
    const auto k = static_cast<std::size_t>(
        std::upper_bound(first_ordinals.begin(), first_ordinals.end(), ordinal) -
        first_ordinals.begin() - 1);
    row = RowPointer{data_pages[k], static_cast<std::uint8_t>(ordinal - first_ordinals[k])};
  }
  for (std::size_t begin = 0; begin < entries.size();) {
    std::size_t end = begin + 1;
    while (end < entries.size() && KeysEqual(entries.Key(end), entries.Key(begin))) ++end;
    const auto run_begin = entries.rows.begin() + static_cast<std::ptrdiff_t>(begin);
    const auto run_end = entries.rows.begin() + static_cast<std::ptrdiff_t>(end);
    if (!std::is_sorted(run_begin, run_end)) std::sort(run_begin, run_end);
    begin = end;
  }
}

}  // namespace

void WriteTableRows(PageFile& pages, FreePageMap& free_pages, PageNumber first, RowSource& source) {
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
      throw FormatError("The Memo/OLE column " + Ascii(c.name) + " has no long-value maps.");
    }
    long_columns.emplace_back(c.variable_index, i, writer);
  }
  shaper.SetLongColumns(std::move(long_columns));
  std::vector<IndexPlan> plans = PlanIndexes(def, shaper.by_number());

  // The first reading: everything checked, nothing written.
  const bool rewinds = source.Rewind();
  KeptRows kept;
  std::uint64_t count = 0;
  {
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
  for (IndexPlan& plan : plans) distinct.push_back(SortAndCheck(plan));
  RowSource& again = rewinds ? source : kept;
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
    if (written >= count) throw FormatError("the rows to write changed between two readings");
    shaper.Prepare(row, written);
    shaper.ToStored(row, stored);
    stores.StartRow(shaper.LongValueOrder(stored));
    const Bytes encoded = EncodeRow(def, stored, &stores);
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
