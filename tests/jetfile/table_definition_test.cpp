#include "jetfile/table_definition.h"
#include "jetfile/table_definition_check.h"
#include "jetfile/table_definition_pages.h"

#include <gtest/gtest.h>

#include <map>

#include "fixture.h"

namespace cs::jetfile {
namespace {

using test::JetFile;

// Every definition of every Jet 4 fixture parses, passes the soundness check, and serializes
// back to the same bytes on the same pages, multi-page definitions included.
TEST(TableDefinition, EveryFixtureDefinitionRoundTripsByteForByte) {
  std::size_t definitions = 0, multi_page = 0;
  for (const auto& path : test::Jet4FixtureNames(false)) {
    JetFile file(path);
    for (const auto& [name, first] : file.Tables(true)) {
      SCOPED_TRACE(path + " " + test::Utf8(name));
      TableDefinition def = ReadTableDefinition(first, file.Reader());
      EXPECT_NO_THROW(CheckTableDefinition(def));

      std::vector<PageNumber> chain;
      for (PageNumber n = first; n != 0; n = GetU32(file.PageAt(n).data() + 4)) {
        chain.push_back(n);
      }
      ASSERT_EQ(TableDefinitionPageCount(def), chain.size());
      std::vector<Page> pages = WriteTableDefinitionPages(def, chain);
      for (std::size_t i = 0; i < chain.size(); ++i) {
        EXPECT_TRUE(pages[i] == file.PageAt(chain[i])) << "page " << chain[i] << " differs";
      }
      EXPECT_EQ(ParseTableDefinition(SerializeTableDefinition(def)), def);
      ++definitions;
      multi_page += chain.size() > 1;
    }
  }
  EXPECT_GT(definitions, 60u);
  EXPECT_GE(multi_page, 1u);
}

// A definition with enough columns to need several pages: each page has its header, its
// next-page pointer and its own free space, and the pages join back to the same definition.
TEST(TableDefinition, SpreadsALargeDefinitionOverThePagesGiven) {
  TableDefinition def;
  def.max_columns = 200;
  def.variable_column_count = 200;
  for (std::uint16_t i = 0; i < 200; ++i) {
    ColumnDefinition c;
    c.type = ColumnType::kText;
    c.number = i;
    c.variable_index = i;
    c.flags = kColumnNullable;
    c.length = 100;
    c.name = u"A column with a rather long name " +
             std::u16string(1, static_cast<char16_t>(u'A' + i % 26));
    def.columns.push_back(c);
  }
  CheckTableDefinition(def);
  std::size_t length = SerializeTableDefinition(def).size() - 8;
  std::size_t count = TableDefinitionPageCount(def);
  ASSERT_EQ(count, 5u);
  std::vector<PageNumber> numbers = {40, 7, 91, 12, 3};
  std::vector<Page> pages = WriteTableDefinitionPages(def, numbers);
  for (std::size_t i = 0; i < pages.size(); ++i) {
    EXPECT_EQ(pages[i][0], 0x02);
    EXPECT_EQ(pages[i][1], 0x01);
    EXPECT_EQ(GetU32(pages[i].data() + 4), i + 1 < pages.size() ? numbers[i + 1] : 0u);
    std::size_t used = std::min<std::size_t>(4088, length - i * 4088);
    EXPECT_EQ(GetU16(pages[i].data() + 2), 4088 - used) << "page " << i;
  }
  std::map<PageNumber, Page> by_number;
  for (std::size_t i = 0; i < pages.size(); ++i) by_number[numbers[i]] = pages[i];
  PageReader read = [&](PageNumber n) { return by_number.at(n); };
  EXPECT_EQ(ReadTableDefinition(40, read), def);
  EXPECT_THROW(WriteTableDefinitionPages(def, std::vector<PageNumber>{40, 7}), FormatError);
}

// Damage the soundness check must catch, each applied to the sound Store definition.
TEST(TableDefinition, CheckRefusesUnsoundDefinitions) {
  JetFile file("current/YWCURRENT.mdb");
  const TableDefinition sound = ReadTableDefinition(file.Tables()[u"Store"], file.Reader());
  // The columns with or without the fixed flag, in stored order.
  auto columns = [](TableDefinition& d, bool fixed) {
    std::vector<ColumnDefinition*> out;
    for (auto& c : d.columns) {
      if (c.IsFixed() == fixed) out.push_back(&c);
    }
    return out;
  };
  auto fixed_columns = [&](TableDefinition& d) { return columns(d, true); };
  auto variable_columns = [&](TableDefinition& d) { return columns(d, false); };
  struct Case {
    const char* what;
    std::function<void(TableDefinition&)> damage;
  };
  const Case cases[] = {
      {"column number out of range",
       [](TableDefinition& d) { d.columns[0].number = d.max_columns; }},
      {"column numbered twice",
       [](TableDefinition& d) { d.columns[1].number = d.columns[0].number; }},
      {"overlapping fixed columns",
       [&](TableDefinition& d) {
         auto f = fixed_columns(d);
         f[1]->fixed_offset = static_cast<std::uint16_t>(f[0]->fixed_offset + 4);
       }},
      {"fixed column past the row",
       [&](TableDefinition& d) { fixed_columns(d)[0]->fixed_offset = 4090; }},
      {"gap in variable numbering",
       [&](TableDefinition& d) { variable_columns(d)[0]->variable_index = 9; }},
      {"variable index repeated",
       [&](TableDefinition& d) {
         auto v = variable_columns(d);
         v[1]->variable_index = v[0]->variable_index;
       }},
      {"variable count disagrees", [](TableDefinition& d) { d.variable_column_count += 1; }},
      {"currency of 4 bytes", [&](TableDefinition& d) { fixed_columns(d)[0]->length = 4; }},
      {"text of odd length", [&](TableDefinition& d) { variable_columns(d)[0]->length = 41; }},
      {"text of 300 characters", [&](TableDefinition& d) { variable_columns(d)[0]->length = 600; }},
      {"more columns than the maximum", [](TableDefinition& d) { d.max_columns = 3; }},
      {"index on a missing column",
       [](TableDefinition& d) { d.real_indexes[0].columns[0].number = 77; }},
      {"logical index on a missing real index",
       [](TableDefinition& d) { d.logical_indexes[0].real_index = 9; }},
      {"long-value maps of a text column",
       [&](TableDefinition& d) { d.long_value_maps[0].column = variable_columns(d)[0]->number; }},
      {"Long stored in 8 bytes",
       [&](TableDefinition& d) { fixed_columns(d)[0]->type = ColumnType::kLong; }},
  };
  EXPECT_NO_THROW(CheckTableDefinition(sound));
  for (const Case& c : cases) {
    TableDefinition d = sound;
    c.damage(d);
    EXPECT_THROW(CheckTableDefinition(d), FormatError) << c.what;
  }
}

// Cut short anywhere, or with a count or length raised, the parser reports a FormatError and
// never reads past its buffer (the sanitizer run checks the latter).
TEST(TableDefinition, ParseRefusesDamagedBuffers) {
  JetFile file("current/YWCURRENT.mdb");
  Bytes joined = JoinTableDefinitionPages(file.Tables()[u"Store"], file.Reader());
  std::size_t length = GetU32(joined.data() + 8) + 8;
  joined.resize(length);
  for (std::size_t cut = 0; cut < length; ++cut) {
    Bytes shorter(joined.begin(), joined.begin() + static_cast<std::ptrdiff_t>(cut));
    EXPECT_THROW(ParseTableDefinition(shorter), FormatError) << "cut at " << cut;
    // Any one byte inverted: parsed (then checked) or refused, never read past the buffer.
    Bytes flipped = joined;
    flipped[cut] = static_cast<std::uint8_t>(~flipped[cut]);
    try {
      CheckTableDefinition(ParseTableDefinition(flipped));
    } catch (const FormatError&) {
    }
  }
  struct Case {
    const char* what;
    std::size_t offset;
    std::uint32_t value;
    int width;
  };
  const Case cases[] = {
      {"length past the buffer", 0x08, 0x10000, 4},
      {"column count raised", 0x2D, 200, 2},
      {"column count huge", 0x2D, 0xFFFF, 2},
      {"real index count huge", 0x33, 0x7FFFFFFF, 4},
      {"logical index count raised", 0x2F, 40, 4},
      {"first name's length past the end", 0x3F + 12 * 2 + 25 * 9, 0xFFFE, 2},
      {"not a definition page", 0x00, 0x01, 1},
  };
  for (const Case& c : cases) {
    Bytes damaged = joined;
    if (c.width == 1) damaged[c.offset] = static_cast<std::uint8_t>(c.value);
    if (c.width == 2) PutU16(damaged.data() + c.offset, static_cast<std::uint16_t>(c.value));
    if (c.width == 4) PutU32(damaged.data() + c.offset, c.value);
    EXPECT_THROW(ParseTableDefinition(damaged), FormatError) << c.what;
  }
}

TEST(TableDefinition, ReadRefusesABrokenPageChain) {
  JetFile file("current/YWCURRENT.mdb");
  PageNumber store = file.Tables()[u"Store"];
  struct Case {
    const char* what;
    PageNumber next;
  };
  // Page 1 is the free-page map (a data page); the last is past the end of the file.
  const Case cases[] = {
      {"loop to itself", store}, {"into a data page", 1}, {"past the file", 0xFFFFFF}};
  for (const Case& c : cases) {
    PageReader read = [&](PageNumber n) {
      Page p = file.PageAt(n);
      if (n == store) PutU32(p.data() + 4, c.next);
      return p;
    };
    EXPECT_THROW(ReadTableDefinition(store, read), FormatError) << c.what;
  }
}

}  // namespace
}  // namespace cs::jetfile
