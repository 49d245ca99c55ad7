// The program's reading of the reader's stream believes nothing unchecked.
#include "db/jetfile/wire.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace cs::test {
namespace {

namespace wire = db::jetfile::wire;
using db::jetfile::JetType;

struct Col {
  std::string name;
  JetType type;
  std::uint32_t size = 0;
};

std::string TablePayload(const std::string& name, const std::vector<Col>& cols,
                         const std::vector<std::uint16_t>& key = {}, std::uint32_t rows = 0) {
  wire::Writer w;
  w.Begin(wire::FrameType::kTable);
  w.String(name);
  w.U16(static_cast<std::uint16_t>(cols.size()));
  for (const auto& c : cols) {
    w.String(c.name);
    w.U8(static_cast<std::uint8_t>(c.type));
    w.U32(c.size);
  }
  w.U16(static_cast<std::uint16_t>(key.size()));
  for (const auto k : key) w.U16(k);
  w.U32(rows);
  w.End();
  return w.buffer().substr(wire::kFrameHeaderBytes);
}

const std::vector<Col> kColumns = {{"Flag", JetType::kYesNo},    {"Small", JetType::kByte},
                                   {"Int", JetType::kInteger},   {"Long", JetType::kLong},
                                   {"Sng", JetType::kSingle},    {"When", JetType::kDateTime},
                                   {"Name", JetType::kText, 10}, {"Price", JetType::kCurrency}};

// A row of kColumns, each value written by its function (or a valid one).
std::string RowPayload(const std::function<void(wire::Writer&, std::size_t)>& change = nullptr) {
  wire::Writer w;
  const std::function<void(wire::Writer&, std::size_t)> valid[] = {
      [](wire::Writer& w, std::size_t) {
        w.U8(1);
        w.I64(-1);
      },
      [](wire::Writer& w, std::size_t) {
        w.U8(1);
        w.I64(255);
      },
      [](wire::Writer& w, std::size_t) {
        w.U8(1);
        w.I64(-32768);
      },
      [](wire::Writer& w, std::size_t) {
        w.U8(1);
        w.I64(2147483647);
      },
      [](wire::Writer& w, std::size_t) {
        w.U8(1);
        w.F64(0.5);
      },
      [](wire::Writer& w, std::size_t) {
        w.U8(1);
        w.F64(39142.5);
      },
      [](wire::Writer& w, std::size_t) {
        w.U8(1);
        w.String("Größe");
      },
      [](wire::Writer& w, std::size_t) { w.U8(0); },
  };
  for (std::size_t i = 0; i < kColumns.size(); ++i) {
    if (change) {
      change(w, i);
    } else {
      valid[i](w, i);
    }
  }
  return w.buffer();
}

TEST(JetWire, ValidFramesDecode) {
  const auto table = wire::DecodeTable(TablePayload("Ace", kColumns, {6}, 1));
  EXPECT_EQ(table.columns.size(), kColumns.size());
  EXPECT_EQ(table.primary_key, (std::vector<std::size_t>{6}));
  std::vector<std::string> scratch;
  std::vector<wire::FieldValue> values;
  const std::string row = RowPayload();  // the values point into it
  wire::DecodeRow(row, table, scratch, values);
  ASSERT_EQ(values.size(), kColumns.size());
  EXPECT_EQ(std::get<std::int64_t>(values[0]), -1);
  EXPECT_EQ(std::get<wire::DateTime>(values[5]).text, "2007-03-01 12:00:00");
  EXPECT_EQ(std::get<wire::Text>(values[6]).utf8, "Größe");
  EXPECT_TRUE(std::holds_alternative<std::monostate>(values[7]));
}

TEST(JetWire, MalformedTablesAreRefused) {
  const std::vector<std::pair<const char*, std::string>> cases = {
      {"empty name", TablePayload("", kColumns)},
      {"name not UTF-8", TablePayload("A\xC3", kColumns)},
      {"name with NUL", TablePayload(std::string("A\0B", 3), kColumns)},
      {"no columns", TablePayload("T", {})},
      {"same column twice", TablePayload("T", {{"Sku", JetType::kLong}, {"SKU", JetType::kLong}})},
      {"text of size 0", TablePayload("T", {{"A", JetType::kText, 0}})},
      {"text of size 256", TablePayload("T", {{"A", JetType::kText, 256}})},
      {"key out of range", TablePayload("T", {{"A", JetType::kLong}}, {1})},
      {"key twice", TablePayload("T", {{"A", JetType::kLong}}, {0, 0})},
      {"trailing bytes", TablePayload("T", {{"A", JetType::kLong}}) + "x"},
      {"cut short", TablePayload("T", {{"A", JetType::kLong}}).substr(0, 12)},
  };
  for (const auto& [what, payload] : cases) {
    EXPECT_THROW(wire::DecodeTable(payload), wire::Malformed) << what;
  }
}

TEST(JetWire, MalformedRowsAreRefused) {
  const auto table = wire::DecodeTable(TablePayload("Ace", kColumns));
  // Replaces the value of one column with the given writing; the others get valid stand-ins.
  const auto with = [](std::size_t column, std::function<void(wire::Writer&)> bad) {
    return RowPayload([&](wire::Writer& w, std::size_t i) {
      if (i == column) {
        bad(w);
        return;
      }
      switch (i) {
        case 0:
          w.U8(1);
          w.I64(0);
          break;
        case 1:
          w.U8(1);
          w.I64(1);
          break;
        case 2:
          w.U8(1);
          w.I64(2);
          break;
        case 3:
          w.U8(1);
          w.I64(3);
          break;
        case 4:
          w.U8(1);
          w.F64(1.5);
          break;
        case 5:
          w.U8(1);
          w.F64(1.0);
          break;
        case 6:
          w.U8(1);
          w.String("x");
          break;
        default:
          w.U8(0);
          break;
      }
    });
  };
  const double nan = std::nan("");
  const std::vector<std::pair<const char*, std::string>> cases = {
      {"bad marker", with(1,
                          [](wire::Writer& w) {
                            w.U8(2);
                            w.I64(1);
                          })},
      {"Null Yes/No", with(0, [](wire::Writer& w) { w.U8(0); })},
      {"Yes/No of 1", with(0,
                           [](wire::Writer& w) {
                             w.U8(1);
                             w.I64(1);
                           })},
      {"Byte of 256", with(1,
                           [](wire::Writer& w) {
                             w.U8(1);
                             w.I64(256);
                           })},
      {"Byte of -1", with(1,
                          [](wire::Writer& w) {
                            w.U8(1);
                            w.I64(-1);
                          })},
      {"Integer of 40000", with(2,
                                [](wire::Writer& w) {
                                  w.U8(1);
                                  w.I64(40000);
                                })},
      {"Long of 2^31", with(3,
                            [](wire::Writer& w) {
                              w.U8(1);
                              w.I64(2147483648LL);
                            })},
      {"not a number", with(4,
                            [&](wire::Writer& w) {
                              w.U8(1);
                              w.F64(nan);
                            })},
      {"Single that is no float", with(4,
                                       [](wire::Writer& w) {
                                         w.U8(1);
                                         w.F64(0.1);
                                       })},
      {"date past 9999", with(5,
                              [](wire::Writer& w) {
                                w.U8(1);
                                w.F64(3e6);
                              })},
      {"text not UTF-8", with(6,
                              [](wire::Writer& w) {
                                w.U8(1);
                                w.String("\xC3(");
                              })},
      {"text longer than the frame", with(6,
                                          [](wire::Writer& w) {
                                            w.U8(1);
                                            w.U32(1000);
                                          })},
      {"a value missing", RowPayload().substr(0, RowPayload().size() - 1)},
      {"trailing bytes", RowPayload() + "\x01"},
  };
  std::vector<std::string> scratch;
  std::vector<wire::FieldValue> values;
  wire::DecodeRow(with(99, nullptr), table, scratch, values);  // the stand-in values are valid
  for (const auto& [what, payload] : cases) {
    EXPECT_THROW(wire::DecodeRow(payload, table, scratch, values), wire::Malformed) << what;
  }
}

TEST(JetWire, FramesAreSplitAndChecked) {
  wire::Writer w;
  w.Begin(wire::FrameType::kHello);
  for (const char c : wire::kMagic) w.U8(static_cast<std::uint8_t>(c));
  w.U16(wire::kVersion);
  w.End();
  w.Begin(wire::FrameType::kEnd);
  w.U32(0);
  w.End();
  const std::string stream = w.buffer();
  wire::FrameReader reader;
  wire::FrameType type;
  std::string_view payload;
  reader.Append(stream.data(), 3);
  EXPECT_FALSE(reader.Next(type, payload));
  EXPECT_TRUE(reader.HasPartialFrame());
  reader.Append(stream.data() + 3, stream.size() - 3);
  ASSERT_TRUE(reader.Next(type, payload));
  EXPECT_EQ(type, wire::FrameType::kHello);
  EXPECT_NO_THROW(wire::CheckHello(payload));
  ASSERT_TRUE(reader.Next(type, payload));
  EXPECT_EQ(wire::DecodeCount(payload), 0u);
  EXPECT_FALSE(reader.HasPartialFrame());

  EXPECT_THROW(wire::CheckHello("CSJX\x01\x00"), wire::Malformed);
  EXPECT_THROW(wire::CheckHello(std::string("CSJR\x02\x00", 6)), wire::Malformed);
  wire::FrameReader unknown;
  unknown.Append("Q\0\0\0\0", 5);
  EXPECT_THROW(unknown.Next(type, payload), wire::Malformed);
  wire::FrameReader huge;
  huge.Append("R\xFF\xFF\xFF\x7F", 5);
  EXPECT_THROW(huge.Next(type, payload), wire::Malformed);
}

}  // namespace
}  // namespace cs::test
