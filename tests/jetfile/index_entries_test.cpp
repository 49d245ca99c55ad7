#include "jetfile/index_entries.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace cs::jetfile {
namespace {

const std::vector<IndexKeyColumn> kSkuAndPrice = {{ColumnType::kText, true},
                                                  {ColumnType::kCurrency, false}};

std::vector<IndexedRow> Rows() {
  return {
      {{10, 0}, {std::u16string(u"b"), Currency{100}}},
      {{10, 1}, {std::u16string(u"A"), Currency{5}}},
      {{11, 0}, {std::u16string(u"a"), Currency{7}}},  // same text, higher price: sorts first
      {{11, 1}, {std::monostate{}, std::monostate{}}},
  };
}

TEST(IndexEntries, EntriesAreSortedByKeyThenRow) {
  const std::vector<IndexEntry> entries = MakeIndexEntries(kSkuAndPrice, {}, Rows());
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[0].row, (RowPointer{11, 1}));  // Null first
  EXPECT_EQ(entries[1].row, (RowPointer{11, 0}));  // "a" 7 before "A" 5: price descending
  EXPECT_EQ(entries[2].row, (RowPointer{10, 1}));
  EXPECT_EQ(entries[3].row, (RowPointer{10, 0}));
  // Ignoring Nulls leaves the row without values out.
  EXPECT_EQ(MakeIndexEntries(kSkuAndPrice, {false, true, false}, Rows()).size(), 3u);
}

TEST(IndexEntries, RulesOfTheIndexAreKept) {
  const IndexRules primary_key = IndexRulesFromFlags(0x89);
  EXPECT_TRUE(primary_key.unique && primary_key.required && !primary_key.ignore_nulls);
  const std::vector<IndexKeyColumn> sku = {{ColumnType::kText, true}};
  struct Case {
    const char* name;
    IndexRules rules;
    std::vector<IndexedRow> rows;
    bool ok;
  };
  const std::vector<Case> cases = {
      {"unique keys",
       primary_key,
       {{{1, 0}, {std::u16string(u"a")}}, {{1, 1}, {std::u16string(u"b")}}},
       true},
      {"letter case makes no new key",
       primary_key,
       {{{1, 0}, {std::u16string(u"a")}}, {{1, 1}, {std::u16string(u"A")}}},
       false},
      {"trailing spaces make no new key",
       {true, false, false},
       {{{1, 0}, {std::u16string(u"a")}}, {{1, 1}, {std::u16string(u"a ")}}},
       false},
      {"Null in a required index", primary_key, {{{1, 0}, {std::monostate{}}}}, false},
      {"Nulls may repeat in a unique index",
       {true, false, false},
       {{{1, 0}, {std::monostate{}}}, {{1, 1}, {std::monostate{}}}},
       true},
      {"the same row twice",
       {},
       {{{1, 0}, {std::u16string(u"a")}}, {{1, 0}, {std::u16string(u"b")}}},
       false},
      {"a value of the wrong type", {}, {{{1, 0}, {std::int32_t{1}}}}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.ok) {
      EXPECT_NO_THROW(MakeIndexEntries(sku, c.rules, c.rows));
    } else {
      EXPECT_THROW(MakeIndexEntries(sku, c.rules, c.rows), FormatError);
    }
  }
}

TEST(IndexEntries, CheckFindsEveryWayAnIndexCanDisagreeWithItsRows) {
  const std::vector<IndexedRow> rows = Rows();
  const std::vector<IndexEntry> good = MakeIndexEntries(kSkuAndPrice, {}, rows);
  EXPECT_NO_THROW(CheckIndexEntries(good, kSkuAndPrice, {}, rows));

  std::vector<IndexEntry> missing = good;
  missing.pop_back();
  std::vector<IndexEntry> extra = good;
  extra.push_back({good.back().key, {12, 0}});
  std::vector<IndexEntry> wrong_key = good;
  wrong_key[2].key.back() ^= 1;
  std::vector<IndexEntry> wrong_row = good;
  wrong_row[1].row = {11, 7};
  std::vector<IndexEntry> swapped = good;
  std::swap(swapped[1], swapped[2]);
  for (const auto* stored : {&missing, &extra, &wrong_key, &wrong_row, &swapped}) {
    EXPECT_THROW(CheckIndexEntries(*stored, kSkuAndPrice, {}, rows), FormatError);
  }
  // A row changed after its entry was written.
  std::vector<IndexedRow> changed = rows;
  changed[0].values[1] = Currency{101};
  EXPECT_THROW(CheckIndexEntries(good, kSkuAndPrice, {}, changed), FormatError);
}

}  // namespace
}  // namespace cs::jetfile
