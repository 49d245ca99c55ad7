#include "jetfile/row.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "fixture.h"
#include "readers.h"
#include "jetfile/long_value.h"
#include "jetfile/text_codec.h"
#include "jetfile/table_definition_check.h"
#include "jetfile/table_definition_pages.h"

namespace cs::jetfile {
namespace {

using test::JetFile;
using test::Utf8;

// Compares one decoded value with the dump's text for it; a difference is returned as text.
std::string Compare(const Value& v, const std::string& expected, const PageReader& read,
                    ColumnType type) {
  std::string got;
  if (auto* f = std::get_if<float>(&v)) {
    if (expected != "\\N" && std::strtof(expected.c_str(), nullptr) == *f) return "";
    got = std::to_string(*f);
  } else if (auto* d = std::get_if<double>(&v)) {
    if (expected != "\\N" && std::strtod(expected.c_str(), nullptr) == *d) return "";
    got = std::to_string(*d);
  } else if (auto* bytes = std::get_if<Bytes>(&v)) {
    if (type != ColumnType::kMemo) return "binary values are not in the dump";
    got = test::DumpCell(DecodeMemoText(ReadLongValue(*bytes, read)));
  } else {
    got = test::DumpCell(v);
  }
  return got == expected ? ""
                         : "got " + got.substr(0, 200) + " expected " + expected.substr(0, 200);
}

// The one difference allowed between a stored row and ours: files keep stale bytes under some
// Null fixed values (their writer reused row buffers), where ours are zero. Clears them in
// `stored` and returns how many there were.
std::size_t ClearNullFixedValues(const TableDefinition& def, const std::vector<Value>& values,
                                 Bytes& stored) {
  std::size_t stale = 0;
  for (std::size_t i = 0; i < def.columns.size(); ++i) {
    const ColumnDefinition& c = def.columns[i];
    if (!c.IsFixed() || c.type == ColumnType::kBoolean || !IsNull(values[i])) continue;
    auto begin = stored.begin() + 2 + c.fixed_offset;
    if (c.fixed_offset + 2u + c.length > stored.size()) continue;
    stale += std::any_of(begin, begin + c.length, [](std::uint8_t b) { return b != 0; });
    std::fill(begin, begin + c.length, 0);
  }
  return stale;
}

// Every row of every table, system tables included, of every fixture decodes, and what this
// layer decodes it encodes back to the same values and, for files not made by Access, the same
// bytes. Access lays out an occasional row its own way (one row of V2003-TEST.mdb keeps
// compressible text uncompressed and pads its data by two bytes); such rows are counted.
TEST(Row, EveryFixtureRowDecodesAndReEncodes) {
  std::size_t rows = 0, laid_out_by_access = 0;
  for (const auto& path : test::Jet4FixtureNames(false)) {
    JetFile file(path);
    for (const auto& [name, page] : file.Tables(true)) {
      SCOPED_TRACE(path + " " + Utf8(name));
      TableDefinition def = ReadTableDefinition(page, file.Reader());
      for (const auto& row : file.RowsOf(page)) {
        std::vector<Value> values;
        ASSERT_NO_THROW(values = DecodeRow(def, row.bytes));
        Bytes stored = row.bytes;
        ClearNullFixedValues(def, values, stored);
        Bytes ours = EncodeRow(def, values);
        EXPECT_TRUE(DecodeRow(def, ours) == values);
        const bool by_access = path.rfind("access-made/", 0) == 0;
        laid_out_by_access += by_access && ours != stored;
        EXPECT_TRUE(by_access || ours == stored)
            << "page " << row.where.page << " row " << int{row.where.row};
        ++rows;
      }
    }
  }
  EXPECT_GT(rows, 17000u);
  EXPECT_LE(laid_out_by_access, 1u);
}

// Every row of every user table of both current databases (the second built on a file Access
// wrote, its Table1 written by Access) decodes to the dump's values, in the dump's order (that
// each encodes back to its bytes is checked above, with every fixture's rows).
TEST(Row, EveryRowOfTheCurrentDatabasesMatchesTheirDumps) {
  std::size_t cells = 0, rows_checked = 0, memo_chains = 0;
  for (const std::string name : {"current/YWCURRENT", "current/YWCURRENT-ACCESS"}) {
    const JetFile file(name + ".mdb");
    const auto& dump = test::FixtureDump(name);
    const auto tables = file.Tables();
    ASSERT_EQ(tables.size(), dump.tables.size()) << name;
    for (const auto& [table_name, page] : tables) {
      SCOPED_TRACE(name + " " + Utf8(table_name));
      const cs::test::jetfile::DumpTable* expected = dump.Table(Utf8(table_name));
      ASSERT_NE(expected, nullptr);
      const TableDefinition def = ReadTableDefinition(page, file.Reader());
      EXPECT_EQ(def.row_count, expected->row_count);
      // The dump lists columns by column number; find each one's place in the stored order.
      std::vector<std::size_t> place;
      for (const std::string& column : expected->header) {
        std::size_t i = 0;
        while (i < def.columns.size() && Utf8(def.columns[i].name) != column) ++i;
        ASSERT_LT(i, def.columns.size()) << column;
        place.push_back(i);
      }
      const auto rows = file.RowsOf(page);
      ASSERT_EQ(rows.size(), expected->rows.size());
      for (std::size_t r = 0; r < rows.size(); ++r) {
        std::vector<Value> values = DecodeRow(def, rows[r].bytes);
        for (std::size_t c = 0; c < place.size(); ++c) {
          const ColumnDefinition& column = def.columns[place[c]];
          EXPECT_EQ(Compare(values[place[c]], expected->rows[r][c], file.Reader(), column.type), "")
              << "row " << r << " column " << expected->header[c];
          ++cells;
          if (column.type == ColumnType::kMemo && !IsNull(values[place[c]])) {
            memo_chains +=
                ParseLongValueReference(std::get<Bytes>(values[place[c]])).form == kLongValueChain;
          }
        }
        ++rows_checked;
      }
    }
  }
  EXPECT_GE(rows_checked, 2 * 7031u);
  EXPECT_GT(cells, 80000u);
  EXPECT_EQ(memo_chains, 40u);  // every 50th of Store's 1,000 rows, in each file
}

// ---- Rows built by hand, one table with a column of each type. ----

ColumnDefinition Column(ColumnType type, std::uint16_t number, std::uint16_t length, bool fixed,
                        std::uint16_t place) {
  ColumnDefinition c;
  c.type = type;
  c.number = number;
  c.length = length;
  c.flags = static_cast<std::uint8_t>(kColumnNullable | (fixed ? kColumnFixed : 0));
  if (fixed) {
    c.fixed_offset = place;
  } else {
    c.variable_index = place;
  }
  if (type == ColumnType::kText || type == ColumnType::kMemo) {
    c.extended_flags = kColumnCompressedUnicode;
  }
  c.name = u"c" + std::u16string(1, static_cast<char16_t>(u'0' + number));
  return c;
}

TableDefinition Table(std::vector<ColumnDefinition> columns) {
  TableDefinition def;
  def.columns = std::move(columns);
  for (const auto& c : def.columns) {
    def.max_columns =
        std::max<std::uint16_t>(def.max_columns, static_cast<std::uint16_t>(c.number + 1));
    if (!c.IsFixed() && c.type != ColumnType::kBoolean) ++def.variable_column_count;
  }
  CheckTableDefinition(def);
  return def;
}

// Fixed part: Byte 0, Integer 1, Long 3, Currency 7, Single 15, Double 19, Date 27, Yes/No;
// variable part: Text(20), Binary(10), Memo.
TableDefinition EveryType() {
  return Table({
      Column(ColumnType::kByte, 0, 1, true, 0),
      Column(ColumnType::kInteger, 1, 2, true, 1),
      Column(ColumnType::kLong, 2, 4, true, 3),
      Column(ColumnType::kCurrency, 3, 8, true, 7),
      Column(ColumnType::kSingle, 4, 4, true, 15),
      Column(ColumnType::kDouble, 5, 8, true, 19),
      Column(ColumnType::kDateTime, 6, 8, true, 27),
      Column(ColumnType::kBoolean, 7, 1, true, 35),
      Column(ColumnType::kText, 8, 40, false, 0),
      Column(ColumnType::kBinary, 9, 10, false, 1),
      Column(ColumnType::kMemo, 10, 0, false, 2),
  });
}

Bytes Field(std::initializer_list<std::uint8_t> b) { return Bytes(b); }

TEST(Row, EveryTypeRoundTripsAtItsEdges) {
  TableDefinition def = EveryType();
  constexpr double kInf = std::numeric_limits<double>::infinity();
  Bytes inline_memo = Field({3, 0, 0, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 'a', 'b', 'c'});
  std::vector<std::vector<Value>> rows = {
      {std::uint8_t{0}, std::int16_t{0}, std::int32_t{0}, Currency{0}, 0.0f, 0.0, DateTime{0},
       false, u"", Bytes{}, inline_memo},
      {std::uint8_t{255}, std::int16_t{-32768},
       std::int32_t{std::numeric_limits<std::int32_t>::min()},
       Currency{std::numeric_limits<std::int64_t>::min()}, -1.5e38f, -1e300, DateTime{-657434.5},
       true, u"a", Field({0}), Value{}},
      {std::uint8_t{1}, std::int16_t{32767}, std::int32_t{std::numeric_limits<std::int32_t>::max()},
       Currency{9223372036854775807}, std::numeric_limits<float>::denorm_min(), kInf,
       DateTime{2958465.99999}, true, std::u16string(20, u'\u00D1'), Bytes(10, 0xFF), Value{}},
      {Value{}, Value{}, Value{}, Value{}, Value{}, Value{}, Value{}, false, Value{}, Value{},
       Value{}},
      {Value{}, std::int16_t{7}, Value{}, Currency{-12345678}, Value{}, -0.0, Value{}, true,
       u"\u20AC\u2122 mixed \u00BD", Value{}, inline_memo},
  };
  for (std::size_t i = 0; i < rows.size(); ++i) {
    Bytes encoded = EncodeRow(def, rows[i]);
    EXPECT_TRUE(DecodeRow(def, encoded) == rows[i]) << "row " << i;
    EXPECT_EQ(GetU16(encoded.data()), 11);
  }
  // Yes/No is its mask bit (column 7); the Null memo (column 10) has its bit clear; "\u00D1" x 20
  // is stored compressed: count, fixed area, FF FE + 20, binary, EOD, 3 offsets, count, mask.
  Bytes with_true = EncodeRow(def, rows[2]);
  EXPECT_EQ(with_true.size(), 2u + 35 + 22 + 10 + 2 + 6 + 2 + 2);
  EXPECT_EQ(with_true[with_true.size() - 2], 0xFF);
  EXPECT_EQ(with_true[with_true.size() - 1], 0x03);
  Bytes all_null = EncodeRow(def, rows[3]);
  EXPECT_EQ(all_null[all_null.size() - 2] | all_null[all_null.size() - 1], 0);
}

TEST(Row, OnlyFixedOrOnlyVariableColumns) {
  TableDefinition fixed =
      Table({Column(ColumnType::kLong, 0, 4, true, 0), Column(ColumnType::kBoolean, 1, 1, true, 4),
             Column(ColumnType::kDouble, 2, 8, true, 4)});
  std::vector<Value> v = {std::int32_t{42}, true, Value{}};
  Bytes row = EncodeRow(fixed, v);
  // No variable trailer at all: count, 12 fixed bytes, the mask.
  EXPECT_EQ(row, (Bytes{3, 0, 42, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x03}));
  EXPECT_TRUE(DecodeRow(fixed, row) == v);

  TableDefinition variable = Table(
      {Column(ColumnType::kText, 0, 20, false, 0), Column(ColumnType::kText, 1, 20, false, 1)});
  std::vector<Value> w = {u"abc", Value{}};
  row = EncodeRow(variable, w);
  // Count, FF FE a b c, EOD 7, offsets (2, 7) reversed, var count 2, mask.
  EXPECT_EQ(row, (Bytes{2, 0, 0xFF, 0xFE, 'a', 'b', 'c', 7, 0, 7, 0, 2, 0, 2, 0, 0x01}));
  EXPECT_TRUE(DecodeRow(variable, row) == w);
  std::vector<Value> empty = {u"", u""};
  EXPECT_TRUE(DecodeRow(variable, EncodeRow(variable, empty)) == empty);  // not Null
}

// A row written before columns were added has fewer columns and variable entries: those read as
// Null (Yes/No as false), never as bytes of their neighbours.
TEST(Row, ColumnsTheRowPredatesAreNull) {
  TableDefinition def = Table(
      {Column(ColumnType::kText, 0, 20, false, 0), Column(ColumnType::kLong, 1, 4, true, 0),
       Column(ColumnType::kText, 9, 20, false, 1), Column(ColumnType::kBoolean, 10, 1, true, 4)});
  // Written when the table had one column: count 1, "xy" in UTF-16, EOD, one offset, mask.
  Bytes old = {1, 0, 'x', 0, 'y', 0, 6, 0, 2, 0, 1, 0, 0x01};
  std::vector<Value> v = DecodeRow(def, old);
  EXPECT_TRUE(v[0] == Value{std::u16string(u"xy")});
  EXPECT_TRUE(IsNull(v[1]));
  EXPECT_TRUE(IsNull(v[2]));
  EXPECT_TRUE(v[3] == Value{false});
}

TEST(Row, RowsNearThePageSize) {
  // Fourteen Text(255) columns of non-Latin text: 510 bytes each; about eight fit a row.
  std::vector<ColumnDefinition> columns;
  for (std::uint16_t i = 0; i < 14; ++i)
    columns.push_back(Column(ColumnType::kText, i, 510, false, i));
  TableDefinition def = Table(columns);
  std::size_t trailer = 2 + 2 + 2 + 2 * 14;  // mask, count, EOD, offsets
  std::u16string full(255, u'\u4E00');
  std::vector<Value> v(14);
  std::size_t n = 0;
  for (; n < 14; ++n) {
    std::size_t size = 2 + 510 * (n + 1) + trailer;
    if (size > kMaxRowSize) break;
    v[n] = full;
  }
  Bytes row = EncodeRow(def, v);
  EXPECT_EQ(row.size(), 2 + 510 * n + trailer);
  EXPECT_TRUE(DecodeRow(def, row) == v);
  // Fill to exactly the maximum, then one character more.
  std::size_t room = kMaxRowSize - row.size();
  v[n] = std::u16string(room / 2, u'\u4E00');
  EXPECT_EQ(EncodeRow(def, v).size(), kMaxRowSize);
  v[n] = std::u16string(room / 2 + 1, u'\u4E00');
  EXPECT_THROW(EncodeRow(def, v), FormatError);
}

TEST(Row, ValuesThatDoNotFitAreRefused) {
  TableDefinition def = EveryType();
  std::vector<Value> good(11);
  good[7] = false;
  EXPECT_NO_THROW(EncodeRow(def, good));
  struct Case {
    const char* what;
    std::size_t column;
    Value value;
  };
  const Case cases[] = {
      {"text one character too long", 8, std::u16string(21, u'x')},
      {"binary too long", 9, Bytes(11, 1)},
      {"Long given as Integer", 2, std::int16_t{1}},
      {"Double given as Single", 5, 1.0f},
      {"Yes/No given as Long", 7, std::int32_t{1}},
      {"memo field shorter than its reference", 10, Bytes(11, 0)},
      {"memo text without a store", 10, std::u16string(u"note")},
  };
  for (const Case& c : cases) {
    std::vector<Value> v = good;
    v[c.column] = c.value;
    EXPECT_THROW(EncodeRow(def, v), FormatError) << c.what;
  }
  EXPECT_THROW(EncodeRow(def, std::vector<Value>(10)), FormatError) << "too few values";
}

// A damaged row is a FormatError, whatever its bytes: offsets out of order or past the trailer,
// a variable count larger than the row, a fixed area cut short.
TEST(Row, DamagedRowsAreRefused) {
  TableDefinition def = EveryType();
  std::vector<Value> v = {
      std::uint8_t{1}, std::int16_t{2}, std::int32_t{3}, Currency{4}, 5.0f, 6.0, DateTime{7}, true,
      u"text",         Bytes{1, 2},     Value{}};
  const Bytes row = EncodeRow(def, v);
  std::size_t end = row.size() - 2;  // before the mask
  struct Case {
    const char* what;
    std::size_t offset;
    std::uint16_t value;
  };
  const Case cases[] = {
      {"variable count past the row", end - 2, 900},
      {"first offset past the data", end - 4, 4000},
      {"offsets decreasing", end - 6, 3},
      {"end of data past the table", end - 10, 2000},
  };
  for (const Case& c : cases) {
    Bytes damaged = row;
    PutU16(damaged.data() + c.offset, c.value);
    EXPECT_THROW(DecodeRow(def, damaged), FormatError) << c.what;
  }
  // Cut anywhere or with any byte inverted, a row may still look sound, but it is never read
  // outside its bytes (the sanitizer run checks this) and fails only with a FormatError.
  for (std::size_t i = 0; i < row.size(); ++i) {
    Bytes flipped = row;
    flipped[i] = static_cast<std::uint8_t>(~flipped[i]);
    using Span = std::span<const std::uint8_t>;
    for (Span damaged : {Span(row).first(i), Span(flipped)}) {
      try {
        DecodeRow(def, damaged);
      } catch (const FormatError&) {
      }
    }
  }
  Bytes huge_count = row;
  PutU16(huge_count.data(), 0xFFFF);
  EXPECT_THROW(DecodeRow(def, huge_count), FormatError);
}

}  // namespace
}  // namespace cs::jetfile
