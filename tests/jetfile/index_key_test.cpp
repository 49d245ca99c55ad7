#include "jetfile/index_key.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

#include "fixture.h"

namespace cs::jetfile {
namespace {

using test::Hex;
using test::ToHex;

Bytes Key(ColumnType type, const Value& value, bool ascending = true) {
  Bytes out;
  AppendIndexKeyColumn({type, ascending}, value, out);
  return out;
}

Bytes Inverted(Bytes bytes) {
  for (std::uint8_t& b : bytes) b = static_cast<std::uint8_t>(~b);
  return bytes;
}

TEST(IndexKey, ValuesOfEveryTypeAscendingAndDescending) {
  struct Case {
    const char* name;
    ColumnType type;
    Value value;
    const char* ascending;  // flag byte, then the value
  };
  const double inf = std::numeric_limits<double>::infinity();
  const std::vector<Case> cases = {
      {"Long 1", ColumnType::kLong, std::int32_t{1}, "7F 80 00 00 01"},
      {"Long 0", ColumnType::kLong, std::int32_t{0}, "7F 80 00 00 00"},
      {"Long -1", ColumnType::kLong, std::int32_t{-1}, "7F 7F FF FF FF"},
      {"Long min", ColumnType::kLong, std::numeric_limits<std::int32_t>::min(), "7F 00 00 00 00"},
      {"Long max", ColumnType::kLong, std::numeric_limits<std::int32_t>::max(), "7F FF FF FF FF"},
      {"Integer 258", ColumnType::kInteger, std::int16_t{258}, "7F 81 02"},
      {"Integer -32768", ColumnType::kInteger, std::int16_t{-32768}, "7F 00 00"},
      {"Byte 0", ColumnType::kByte, std::uint8_t{0}, "7F 00"},
      {"Byte 255", ColumnType::kByte, std::uint8_t{255}, "7F FF"},
      {"Currency 1.2345", ColumnType::kCurrency, Currency{12345}, "7F 80 00 00 00 00 00 30 39"},
      {"Currency -0.0001", ColumnType::kCurrency, Currency{-1}, "7F 7F FF FF FF FF FF FF FF"},
      {"Double 1", ColumnType::kDouble, 1.0, "7F BF F0 00 00 00 00 00 00"},
      {"Double 0", ColumnType::kDouble, 0.0, "7F 80 00 00 00 00 00 00 00"},
      {"Double -1", ColumnType::kDouble, -1.0, "7F 40 0F FF FF FF FF FF FF"},
      {"Double inf", ColumnType::kDouble, inf, "7F FF F0 00 00 00 00 00 00"},
      {"Double -inf", ColumnType::kDouble, -inf, "7F 00 0F FF FF FF FF FF FF"},
      {"Single 1", ColumnType::kSingle, 1.0f, "7F BF 80 00 00"},
      {"Single -2", ColumnType::kSingle, -2.0f, "7F 3F FF FF FF"},
      {"Date 2007-03-01", ColumnType::kDateTime, DateTime{39142.0}, "7F C0 E3 1C C0 00 00 00 00"},
      {"Date 1899-12-29", ColumnType::kDateTime, DateTime{-1.0}, "7F 40 0F FF FF FF FF FF FF"},
      {"Yes", ColumnType::kBoolean, true, "7F 00"},
      {"No", ColumnType::kBoolean, false, "7F FF"},
      {"Yes/No Null is No", ColumnType::kBoolean, std::monostate{}, "7F FF"},
      {"Text", ColumnType::kText, std::u16string(u"3505"), "7F 3C 40 36 40 01 00"},
      {"Memo", ColumnType::kMemo, std::u16string(u"a"), "7F 4A 01 00"},
      {"Binary 3 bytes", ColumnType::kBinary, Bytes{1, 2, 3}, "7F 01 02 03 00 00 00 00 00 03"},
      {"Binary empty", ColumnType::kBinary, Bytes{}, "7F"},
      {"Binary 8 bytes", ColumnType::kBinary, Bytes{1, 2, 3, 4, 5, 6, 7, 8},
       "7F 01 02 03 04 05 06 07 08 08"},
      {"Binary 9 bytes", ColumnType::kBinary, Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9},
       "7F 01 02 03 04 05 06 07 08 09 09 00 00 00 00 00 00 00 01"},
      // {00112233-4455-6677-8899-AABBCCDDEEFF} as a row stores it: first three fields swapped.
      {"GUID", ColumnType::kGuid, Hex("33 22 11 00 55 44 77 66 88 99 AA BB CC DD EE FF"),
       "7F 00 11 22 33 44 55 66 77 09 88 99 AA BB CC DD EE FF 08"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes ascending = Hex(c.ascending);
    EXPECT_EQ(ToHex(Key(c.type, c.value)), ToHex(ascending));
    if (c.type == ColumnType::kText || c.type == ColumnType::kMemo) continue;  // own rule
    Bytes descending = {0x80};
    Bytes rest = Inverted(Bytes(ascending.begin() + 1, ascending.end()));
    // Between 8-byte groups the 9 stays as it is.
    if (c.type == ColumnType::kBinary || c.type == ColumnType::kGuid) {
      for (std::size_t i = 8; i + 1 < rest.size(); i += 9) rest[i] = 0x09;
    }
    descending.insert(descending.end(), rest.begin(), rest.end());
    EXPECT_EQ(ToHex(Key(c.type, c.value, false)), ToHex(descending));
  }
}

TEST(IndexKey, NullSortsFirstEitherWay) {
  const std::vector<ColumnType> types = {
      ColumnType::kByte,   ColumnType::kInteger, ColumnType::kLong,     ColumnType::kCurrency,
      ColumnType::kSingle, ColumnType::kDouble,  ColumnType::kDateTime, ColumnType::kText,
      ColumnType::kMemo,   ColumnType::kBinary,  ColumnType::kGuid};
  for (ColumnType type : types) {
    SCOPED_TRACE(static_cast<int>(type));
    EXPECT_EQ(Key(type, std::monostate{}), Bytes{0x00});
    EXPECT_EQ(Key(type, std::monostate{}, false), Bytes{0xFF});
  }
}

TEST(IndexKey, NumbersSortInNumericOrder) {
  const double inf = std::numeric_limits<double>::infinity();
  const std::vector<double> numbers = {-inf, -1e30, -2.5, -1, -1e-30, 0, 1e-30, 1, 2.5, 1e30, inf};
  for (bool asc : {true, false}) {
    for (std::size_t i = 1; i < numbers.size(); ++i) {
      const double a = numbers[i - 1], b = numbers[i];
      SCOPED_TRACE(::testing::Message() << a << " < " << b);
      EXPECT_EQ(asc, Key(ColumnType::kDouble, a, asc) < Key(ColumnType::kDouble, b, asc));
      EXPECT_EQ(asc, Key(ColumnType::kSingle, static_cast<float>(a), asc) <
                         Key(ColumnType::kSingle, static_cast<float>(b), asc));
      const auto whole = [](double v) {
        return static_cast<std::int32_t>(std::clamp(v * 1e6, -2e9, 2e9));
      };
      if (whole(a) != whole(b)) {
        EXPECT_EQ(asc,
                  Key(ColumnType::kLong, whole(a), asc) < Key(ColumnType::kLong, whole(b), asc));
        EXPECT_EQ(asc, Key(ColumnType::kCurrency, Currency{whole(a)}, asc) <
                           Key(ColumnType::kCurrency, Currency{whole(b)}, asc));
      }
    }
  }
}

TEST(IndexKey, KeysOfSeveralColumns) {
  const std::vector<IndexKeyColumn> columns = {{ColumnType::kLong, true},
                                               {ColumnType::kText, false}};
  EXPECT_EQ(ToHex(MakeIndexKey(columns, std::vector<Value>{std::int32_t{1}, std::u16string(u"a")})),
            ToHex(Hex("7F 80 00 00 01 80 B5 FE FF 00")));
  EXPECT_EQ(ToHex(MakeIndexKey(columns, std::vector<Value>{std::monostate{}, std::monostate{}})),
            ToHex(Hex("00 FF")));
}

TEST(IndexKey, RefusesValuesItCannotKey) {
  struct Case {
    const char* name;
    std::vector<IndexKeyColumn> columns;
    std::vector<Value> values;
  };
  const std::vector<Case> cases = {
      {"Long given text", {{ColumnType::kLong, true}}, {std::u16string(u"1")}},
      {"Text given a Long", {{ColumnType::kText, true}}, {std::int32_t{1}}},
      {"Integer given a Long", {{ColumnType::kInteger, true}}, {std::int32_t{1}}},
      {"Yes/No given a Byte", {{ColumnType::kBoolean, true}}, {std::uint8_t{1}}},
      {"GUID of 15 bytes", {{ColumnType::kGuid, true}}, {Bytes(15, 0)}},
      {"OLE", {{ColumnType::kOle, true}}, {Bytes{1}}},
      {"Numeric", {{ColumnType::kNumeric, true}}, {std::monostate{}}},
      {"fewer values than columns",
       {{ColumnType::kLong, true}, {ColumnType::kLong, true}},
       {std::int32_t{1}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_THROW(MakeIndexKey(c.columns, c.values), FormatError);
  }
}

}  // namespace
}  // namespace cs::jetfile
