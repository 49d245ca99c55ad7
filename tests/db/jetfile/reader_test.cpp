// Reading real Jet files through the reader process: every wholesaler fixture's Ace table value
// by value, the encoded file as the plain one, Access's own Jet 3 and Jet 4 files, and the file of
// every Jet type at its edges.
#include "db/jetfile/reader.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "db/jet/errors.h"
#include "jet_support.h"

namespace cs::test {
namespace {

TEST(JetReader, WholesalerFilesReadValueByValue) {
  struct Case {
    const char* file;
    const char* tsv;
    std::vector<std::string> tables;
  };
  const std::vector<Case> cases = {
      {"ACEDATA0307.mdb",
       "ACEDATA0307.expected.tsv",
       {"Ace", "PlanogramDetails", "AceFileDate", "AdditionalDetails"}},
      {"ACEDATA0307-ENCODED.mdb",
       "ACEDATA0307.expected.tsv",
       {"Ace", "PlanogramDetails", "AceFileDate", "AdditionalDetails"}},
      {"ACEMTD0315.mdb", "ACEMTD0315.expected.tsv", {"Ace", "PlanogramDetails", "AceFileDate"}},
      {"CUSTOMDATA.mdb", "CUSTOMDATA.expected.tsv", {"Ace", "PlanogramDetails", "AceFileDate"}},
      {"ACEDATA0407-NOPW.mdb",
       "ACEDATA0407-NOPW.expected.tsv",
       {"Ace", "PlanogramDetails", "AceFileDate"}},
  };
  TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const auto file = dir.Copy(c.file);
    const std::string before = FileBytes(file);
    const auto tables = ReadAll(file);
    std::vector<std::string> names;
    for (const auto& t : tables) names.push_back(t.info.name);
    for (const auto& want : c.tables) EXPECT_NE(FindTable(tables, want), nullptr) << want;
    const ReadTable* ace = FindTable(tables, "Ace");
    ASSERT_NE(ace, nullptr);
    ExpectRowsAsTsv(*ace, c.tsv);
    EXPECT_EQ(ace->end_count, ace->rows.size());
    ASSERT_EQ(ace->info.primary_key.size(), 1u);
    EXPECT_EQ(ace->info.columns[ace->info.primary_key[0]].name, "SKU");
    EXPECT_EQ(ace->info.columns[1].jet_type, static_cast<std::uint8_t>(jetfile::JetType::kText));
    EXPECT_EQ(ace->info.columns[1].size, 50u);  // Description is Text(50)
    const ReadTable* planograms = FindTable(tables, "PlanogramDetails");
    ASSERT_NE(planograms, nullptr);
    EXPECT_EQ(planograms->rows.size(), 5u);
    EXPECT_TRUE(planograms->info.primary_key.empty());
    EXPECT_EQ(FileBytes(file), before) << "the source file changed";
  }
}

TEST(JetReader, EncodedFileReadsAsThePlainOne) {
  TempDir dir;
  const auto plain = ReadAll(dir.Copy("ACEDATA0307.mdb"));
  const auto encoded = ReadAll(dir.Copy("ACEDATA0307-ENCODED.mdb"));
  ASSERT_EQ(plain.size(), encoded.size());
  for (std::size_t i = 0; i < plain.size(); ++i) {
    EXPECT_EQ(plain[i].info.name, encoded[i].info.name);
    EXPECT_EQ(plain[i].rows, encoded[i].rows) << plain[i].info.name;
  }
  const auto v2000 = ReadAll(dir.Copy("access-made/V2000-ENCODED.mdb"));
  const auto v1997 = ReadAll(dir.Copy("access-made/V1997-ENCODED.mdb"));
  ASSERT_EQ(v2000.size(), 1u);
  ASSERT_EQ(v1997.size(), 1u);
  EXPECT_EQ(v2000[0].rows, v1997[0].rows);
  EXPECT_FALSE(v2000[0].rows.empty());
}

TEST(JetReader, AccessMadeFilesOfJet3AndJet4Read) {
  TempDir dir;
  for (const char* name : {"access-made/V1997-TEST.mdb", "access-made/V1997-QED5190.mdb",
                           "access-made/V2003-TEST.mdb"}) {
    SCOPED_TRACE(name);
    const auto tables = ReadAll(dir.Copy(name));
    ASSERT_EQ(tables.size(), 4u);
    const ReadTable* t1 = FindTable(tables, "Table1");
    ASSERT_NE(t1, nullptr);
    ASSERT_EQ(t1->rows.size(), 2u);
    // Access 2003 keeps the rows of this table in the other order on the page.
    auto rows = t1->rows;
    std::sort(rows.begin(), rows.end());
    // A, B, C (Byte), D (Integer), E (Long), F (Double), G (Date/Time), H (Currency), I (Yes/No)
    EXPECT_EQ(rows[0], (std::vector<std::string>{"a", "b", "0", "0", "0", "0",
                                                 "1981-12-12 00:00:00", "0.0000", "0"}));
    EXPECT_EQ(rows[1], (std::vector<std::string>{"abcdefg", "hijklmnop", "2", "222", "333333333",
                                                 "444.55500000000001", "1974-09-21 00:00:00",
                                                 "3.5000", "-1"}));
    const ReadTable* t2 = FindTable(tables, "Table2");
    ASSERT_NE(t2, nullptr);
    EXPECT_EQ(t2->info.columns.size(), 89u);
    const ReadTable* t4 = FindTable(tables, "Table4");
    ASSERT_NE(t4, nullptr);
    EXPECT_EQ(t4->info.columns[1].jet_type, static_cast<std::uint8_t>(jetfile::JetType::kGuid));
  }
}

TEST(JetReader, EveryTypeAtItsEdges) {
  TempDir dir;
  const auto tables = ReadAll(dir.Copy("TYPES_V2000.mdb"));
  ASSERT_EQ(tables.size(), 1u);
  const ReadTable& t = tables[0];
  ASSERT_EQ(t.info.name, "Types");
  ASSERT_EQ(t.rows.size(), 5u);
  // ID, TxtC (compressed), TxtU (uncompressed), Cur, Dbl, Sng, Lng, Intg, Byt, YN, DT; Memo apart.
  const std::vector<std::vector<std::string>> expected = {
      {"1", "abc", "abc", "19.9900", "0.1", "0.1f", "2147483647", "32767", "255", "-1",
       "2007-03-01 00:00:00"},
      {"2", "Größe ½\" – “quoted”", "日本語 テキスト", "-1234.5678", "-2.5e-10", "-3.25f",
       "-2147483648", "-32768", "0", "0", "1899-12-30 12:00:00"},
      {"3", "\\N", "\\N", "\\N", "\\N", "\\N", "\\N", "\\N", "\\N", "0", "\\N"},
      {"4", "", "", "922337203685477.5807", "1e+300", "3.4e+38f", "0", "0", "1", "-1",
       "1850-06-15 23:59:59"},
      {"5", "line1\r\nline2\ttab,comma", "O'Brien", "0.0001", "123456789.12345679", "1.5f", "42",
       "7", "7", "-1", "2099-12-31 23:59:59"},
  };
  for (std::size_t r = 0; r < expected.size(); ++r) {
    for (std::size_t c = 0; c < expected[r].size(); ++c) {
      std::string want = expected[r][c];
      const std::string& got = t.rows[r][c];
      if (t.info.columns[c].kind == jetfile::ValueKind::kReal && want != "\\N") {
        // A Single is compared with the float nearest to its written value, widened exactly.
        const bool single = want.back() == 'f';
        const double value = single ? static_cast<double>(std::strtof(want.c_str(), nullptr))
                                    : std::strtod(want.c_str(), nullptr);
        EXPECT_EQ(std::strtod(got.c_str(), nullptr), value)
            << "row " << r + 1 << " " << t.info.columns[c].name;
      } else {
        EXPECT_EQ(got, want) << "row " << r + 1 << " " << t.info.columns[c].name;
      }
    }
  }
  // Memos: short, longer than libmdb's 16 KB buffers, Null, and "" apart from Null.
  EXPECT_EQ(t.rows[0][11], "short memo");
  EXPECT_EQ(t.rows[1][11].size(), 3000u);
  EXPECT_EQ(t.rows[1][11].find_first_not_of("ABCDEFGHIJ"), std::string::npos);
  EXPECT_EQ(t.rows[2][11], "\\N");
  const std::string& long_memo = t.rows[3][11];
  EXPECT_GT(long_memo.size(), 16384u);
  EXPECT_EQ(long_memo.rfind("line 0 Größe ½\" line 1 Größe ½\"", 0), 0u);
  EXPECT_NE(long_memo.find("line 999 Größe ½\""), std::string::npos)
      << long_memo.substr(long_memo.size() - 40);
  EXPECT_EQ(t.rows[4][11], "");
}

}  // namespace
}  // namespace cs::test
