// A table definition is believed only when it holds what a sound one always holds; one that does
// not (a damaged column number, place, offset, length or row count) is refused with its reason.
#include "db/jetfile/table_definition.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "jet_support.h"

namespace cs::test {
namespace {

using jetfile::ColumnDefinition;
using jetfile::DefinitionError;
using jetfile::TableDefinition;

// A Jet 4 table as Access lays one out: Text, Long, Double, Yes/No, Memo, with a column deleted
// (number 5 is gone, so the rows keep 7 columns) and the fixed part packed from 0.
TableDefinition Sound() {
  TableDefinition t;
  t.jet4 = true;
  t.rows = 800;
  t.max_columns = 7;
  t.variable_columns = 2;
  t.logical_indexes = 2;  // a primary key and another index sharing its definition
  t.real_indexes = 1;
  t.columns = {
      {0x0A, 0, 0, false, 0, 40},  // Text(20)
      {0x04, 1, 1, true, 0, 4},    // Long; the variable place of a fixed column is not used
      {0x07, 2, 0, true, 4, 8},    // Double
      {0x01, 3, 0, true, 0, 1},    // Yes/No: no space in the fixed part
      {0x0C, 6, 1, false, 0, 0},   // Memo
  };
  return t;
}

std::string Problem(const TableDefinition& t, std::uint32_t owned_pages) {
  try {
    jetfile::CheckTableDefinition(t, owned_pages);
    return "";
  } catch (const DefinitionError& e) {
    return e.what();
  }
}

TEST(JetTableDefinition, SoundDefinitionsPass) {
  struct Case {
    const char* name;
    std::function<void(TableDefinition&)> change;
  } cases[] = {
      {"as Access writes it", [](TableDefinition&) {}},
      {"the fixed part with the hole of a deleted column",
       [](TableDefinition& t) { t.columns[2].fixed_offset = 12; }},
      {"a system table: a variable Long, a fixed OLE object",
       [](TableDefinition& t) {
         t.columns[0] = {0x04, 0, 0, false, 0, 4};
         t.columns[4] = {0x0B, 6, 0, true, 20, 100};
         t.variable_columns = 1;
       }},
      {"Jet 3: Text counts a byte a character",
       [](TableDefinition& t) {
         t.jet4 = false;
         t.rows = 500;
         t.columns[0].length = 21;
       }},
      {"no rows and no pages", [](TableDefinition& t) { t.rows = 0; }},
      {"no column deleted, the fixed part packed",
       [](TableDefinition& t) {
         t.max_columns = 5;
         t.columns[4].number = 4;
       }},
  };
  for (const auto& c : cases) {
    TableDefinition t = Sound();
    c.change(t);
    EXPECT_EQ(Problem(t, t.rows == 0 ? 0 : 1), "") << c.name;
  }
}

TEST(JetTableDefinition, DamagedDefinitionsAreRefused) {
  struct Case {
    const char* name;
    std::function<void(TableDefinition&)> change;
    const char* reason;
  } cases[] = {
      {"a column number past the row's columns (moves a column to the end)",
       [](TableDefinition& t) { t.columns[2].number = 235; },
       "column 235 (type 7) is out of range"},
      {"a column number twice", [](TableDefinition& t) { t.columns[4].number = 1; },
       "column 1 (type 12) appears twice"},
      {"more columns than a row holds", [](TableDefinition& t) { t.max_columns = 4; },
       "more columns than its rows can hold"},
      {"no columns", [](TableDefinition& t) { t.columns.clear(); }, "it has no columns"},
      {"a variable place twice", [](TableDefinition& t) { t.columns[4].variable_index = 0; },
       "variable-column place out of order"},
      {"a gap in the variable places", [](TableDefinition& t) { t.columns[4].variable_index = 2; },
       "variable-column place out of order"},
      {"a Text column gained the fixed flag", [](TableDefinition& t) { t.columns[0].fixed = true; },
       "column 0 (type 10) is fixed but its type is not"},
      {"a variable Long lost its place",
       [](TableDefinition& t) { t.columns[0] = {0x04, 0, 0, true, 12, 4}; },
       "its variable columns are not as many as it says"},
      {"fewer indexes than index definitions", [](TableDefinition& t) { t.logical_indexes = 0; },
       "fewer indexes than index definitions"},
      {"a hole in the fixed part with no column deleted",
       [](TableDefinition& t) {
         t.max_columns = 5;
         t.columns[4].number = 4;
         t.columns[2].fixed_offset = 8;
       },
       "its fixed columns leave a hole"},
      {"a fixed column gained none", [](TableDefinition& t) { t.columns[2].fixed = false; },
       "variable-column place out of order"},
      {"fixed columns overlapping", [](TableDefinition& t) { t.columns[2].fixed_offset = 2; },
       "its fixed columns overlap"},
      {"a fixed column past any row", [](TableDefinition& t) { t.columns[2].fixed_offset = 4080; },
       "lies outside the fixed part of a row"},
      {"a Long of 2 bytes", [](TableDefinition& t) { t.columns[1].length = 2; },
       "length that does not fit its type"},
      {"Jet 4 Text of an odd length", [](TableDefinition& t) { t.columns[0].length = 41; },
       "length that does not fit its type"},
      {"Text of 300 characters", [](TableDefinition& t) { t.columns[0].length = 600; },
       "length that does not fit its type"},
      {"Jet 3 Text of no characters",
       [](TableDefinition& t) {
         t.jet4 = false;
         t.rows = 1;
         t.columns[0].length = 0;
       },
       "length that does not fit its type"},
      {"a Memo with a length", [](TableDefinition& t) { t.columns[4].length = 12; },
       "length that does not fit its type"},
      {"a type no Jet file has", [](TableDefinition& t) { t.columns[0].type = 0x33; },
       "a type this program does not know"},
      {"more rows than a page holds", [](TableDefinition& t) { t.rows = 100000; },
       "its row count is more than its pages hold"},
  };
  for (const auto& c : cases) {
    TableDefinition t = Sound();
    c.change(t);
    EXPECT_NE(Problem(t, 1).find(c.reason), std::string::npos) << c.name << ": " << Problem(t, 1);
  }
  TableDefinition no_pages = Sound();
  no_pages.rows = 1;
  EXPECT_NE(Problem(no_pages, 0), "") << "rows without a page";
}

// Pages of a file held in memory, as the reader reads them.
jetfile::PageReader PagesOf(const std::string& bytes, std::size_t page_size) {
  return [&bytes, page_size](std::uint32_t page, std::span<std::uint8_t> out) {
    if ((std::size_t{page} + 1) * page_size > bytes.size()) return false;
    std::memcpy(out.data(), bytes.data() + page * page_size, page_size);
    return true;
  };
}

TEST(JetTableDefinition, ReadFromTheRealPages) {
  // The wholesaler's Ace table (Jet 4, page 24) and an Access 97 table (Jet 3, page 29).
  const std::string ace = FileBytes(JetFixture("ACEDATA0307.mdb"));
  const auto pages = static_cast<std::uint32_t>(ace.size() / 4096);
  const TableDefinition t = jetfile::ReadTableDefinition(true, 24, pages, PagesOf(ace, 4096));
  EXPECT_EQ(t.rows, 1000u);
  EXPECT_EQ(t.columns.size(), 33u);
  EXPECT_EQ(t.variable_columns, 16u);
  EXPECT_EQ(Problem(t, 2), "");
  // One byte changed: a column number, as in the damaged file users met, and others that libmdb
  // reads without a word.
  struct Edit {
    const char* name;
    std::size_t offset;  // in the page
    char byte;
    const char* reason;
  } edits[] = {
      {"a column number", 330, '\xEB', "column 235 (type 7) is out of range"},
      {"a column fewer", 0x2D, '\x20', "the name of its column 1 has an impossible length"},
      {"a name of no length", 900, '\0', "the name of its column 1 has an impossible length"},
      {"no indexes", 0x2F, '\0', "it has fewer indexes than index definitions"},
      {"indexes by the million", 0x31, '\x10', "its indexes lie beyond the end of the file"},
      {"a fixed column moved past the others", 871, '\x70', "its fixed columns leave a hole"},
      {"a Date become Binary", 800, '\x09', "column 29 (type 9) is fixed but its type is not"},
  };
  for (const auto& e : edits) {
    std::string damaged = ace;
    damaged[24 * 4096 + e.offset] = e.byte;
    std::string why;
    try {
      why = Problem(jetfile::ReadTableDefinition(true, 24, pages, PagesOf(damaged, 4096)), 2);
    } catch (const DefinitionError& error) {
      why = error.what();
    }
    EXPECT_EQ(why, e.reason) << e.name;
  }

  const std::string v97 = FileBytes(JetFixture("access-made/V1997-TEST.mdb"));
  const auto pages97 = static_cast<std::uint32_t>(v97.size() / 2048);
  const TableDefinition t97 = jetfile::ReadTableDefinition(false, 29, pages97, PagesOf(v97, 2048));
  EXPECT_EQ(t97.rows, 2u);
  EXPECT_EQ(t97.columns.size(), 9u);
  EXPECT_EQ(Problem(t97, 1), "");
}

TEST(JetTableDefinition, ChainsThatDoNotHoldTheColumnsAreRefused) {
  // A Jet 4 definition of 200 columns needs two pages: their entries run into the second, where
  // their names ("A", "A", ...) follow.
  std::string file(4 * 4096, '\0');
  auto page = [&](std::size_t n) { return file.data() + n * 4096; };
  page(1)[0] = 0x02;
  page(1)[0x2D] = static_cast<char>(200);
  for (std::size_t i = 0; i < 200; ++i) {
    const std::size_t name = 0x3F + 200 * 25 + i * 4 - 4096 + 8;  // in page 2
    page(2)[name] = 2;
    page(2)[name + 2] = 'A';
  }
  page(2)[0] = 0x02;
  struct Case {
    const char* name;
    std::uint32_t next;      // the first page's next page
    char second_type;        // the type of page 2
    std::uint32_t real_idx;  // the real index count
  } cases[] = {
      {"the chain loops", 1, 0x02, 0},
      {"the chain ends", 0, 0x02, 0},
      {"the chain leaves the file", 9, 0x02, 0},
      {"the next page is no definition", 2, 0x01, 0},
      {"the columns lie past the file", 2, 0x02, 0x01000000},
  };
  for (const auto& c : cases) {
    std::memcpy(page(1) + 4, &c.next, 4);
    std::memcpy(page(1) + 0x33, &c.real_idx, 4);
    page(2)[0] = c.second_type;
    EXPECT_THROW(jetfile::ReadTableDefinition(true, 1, 4, PagesOf(file, 4096)), DefinitionError)
        << c.name;
  }
  // Linked right, the two pages give all 200 columns.
  const std::uint32_t next = 2, none = 0;
  std::memcpy(page(1) + 4, &next, 4);
  std::memcpy(page(1) + 0x33, &none, 4);
  EXPECT_EQ(jetfile::ReadTableDefinition(true, 1, 4, PagesOf(file, 4096)).columns.size(), 200u);
}

}  // namespace
}  // namespace cs::test
