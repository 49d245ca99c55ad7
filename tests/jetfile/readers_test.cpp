// The two readers the writer's tests read Jet files back with: they read encoded pages, a missing
// reader or a file that is no database fails the test, and a comparison finds and names each kind
// of difference. (That each agrees with the current databases' dumps, and the two on every type
// at its edges, is checked where those files are rewritten.)
#include "jetfile/readers.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "fixture.h"

namespace cs::test::jetfile {
namespace {

namespace fs = std::filesystem;

const std::string kCurrent = std::string(SHARED_DIR) + "/fixtures/jet/current/";
const std::string kJet = std::string(SHARED_DIR) + "/fixtures/jet/";

// Sets an environment variable for one scope, then puts back what was there.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    ::setenv(name, value, 1);
  }
  ~ScopedEnv() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

using cs::jetfile::test::TempDir;

// A file Access itself encoded. (The wholesaler's encoded file is read by both readers where it
// is rewritten.)
TEST(ReadersTest, BothReadersReadPagesAccessEncoded) {
  const std::string by_access = kJet + "access-made/V2000-ENCODED.mdb";
  const Dump by_libmdb = ReadWithLibmdb(by_access);
  ASSERT_FALSE(by_libmdb.tables.empty());
  EXPECT_TRUE(DumpsAgree(ReadWithMdbReader(by_access), by_libmdb,
                         WhatLibmdbTells(WhatMdbReaderTells()), "mdb-reader", "libmdb"));
}

TEST(ReadersTest, AMissingReaderFailsTheTest) {
  const std::string file = kJet + "TYPES_V2000.mdb";
  {
    const ScopedEnv no_package("CATALOGSYNC_TEST_READERS_DIR", "/nonexistent/catalogsync-test");
    EXPECT_THROW(ReadWithMdbReader(file), std::runtime_error);
  }
  {
    const ScopedEnv no_node("PATH", "/nonexistent");
    try {
      ReadWithMdbReader(file);
      ADD_FAILURE() << "read without node";
    } catch (const std::runtime_error& e) {
      EXPECT_NE(std::string(e.what()).find("node cannot be started"), std::string::npos)
          << e.what();
    }
  }
}

TEST(ReadersTest, AFileThatIsNoDatabaseOrCutShortIsAnError) {
  const TempDir dir;
  struct Case {
    const char* name;
    std::size_t keep;  // bytes of YWCURRENT.mdb kept; 0: text instead
  };
  for (const Case& c : {Case{"text.mdb", 0}, Case{"cut.mdb", 300 * 1024}}) {
    SCOPED_TRACE(c.name);
    const fs::path path = dir.path() / c.name;
    {
      std::ofstream out(path, std::ios::binary);
      if (c.keep == 0) {
        out << "Standard Jet DB? no, a note about one\n";
      } else {
        std::ifstream in(kCurrent + "YWCURRENT.mdb", std::ios::binary);
        std::string bytes(c.keep, '\0');
        in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.write(bytes.data(), in.gcount());
      }
      ASSERT_TRUE(out.good());
    }
    // Each reader refuses, rather than printing what it could read.
    EXPECT_THROW(ReadWithLibmdb(path.string()), std::runtime_error);
    EXPECT_THROW(ReadWithMdbReader(path.string()), std::runtime_error);
  }
}

// A small dump to find differences in.
constexpr std::string_view kSmall =
    "FILE a.mdb\n"
    "FORMAT V2000 [VERSION_4]\n"
    "PASSWORD secret\n"
    "TABLE Store\n"
    "  COLUMN Sku\ttype=TEXT\tlength=40\tchars=20\tcompressedUnicode=1\tautonumber=0\n"
    "  COLUMN Comp1\ttype=MONEY\tlength=8\tautonumber=0\n"
    "  INDEX PrimaryKey\tcolumns=(Sku "
    "ASC)\tunique=1\tprimaryKey=1\tforeignKey=0\tignoreNulls=0\trequired=1\n"
    "  ROWCOUNT 3\n"
    "  ROWS\n"
    "Sku\tComp1\n"
    "1004\t0.4900\n"
    "1015\t\\N\n"
    "1020\t26.4900\n"
    "END TABLE Store\n"
    "RELATIONSHIP R\tfrom=Store(Sku)\tto=Other(Sku)\tintegrity=1\n"
    "END\n";

std::string Replace(std::string text, std::string_view from, std::string_view to) {
  const std::size_t at = text.find(from);
  if (at == std::string::npos) throw std::runtime_error("no " + std::string(from));
  return text.replace(at, from.size(), to);
}

TEST(ReadersTest, AComparisonFindsAndNamesEachDifference) {
  const Dump small = ParseDump(kSmall, "small");
  struct Case {
    const char* what;
    std::string changed;
    Comparison how;
    std::string message;  // empty: the two agree
  };
  Comparison any_order;
  any_order.order = RowOrder::kAnyOrder;
  Comparison rows_only;
  rows_only.format_and_password = rows_only.columns = rows_only.indexes = rows_only.row_counts =
      rows_only.relationships = false;
  Comparison unknown_unique;
  unknown_unique.may_be_unknown = {"unique"};
  Comparison only_store;
  only_store.tables = {"Store"};
  Comparison only_missing;
  only_missing.tables = {"Missing"};
  const std::string table_more =
      Replace(std::string(kSmall), "RELATIONSHIP",
              "TABLE New\n  ROWCOUNT 0\n  ROWS\nA\nEND TABLE New\nRELATIONSHIP");
  const std::string swapped = Replace(Replace(std::string(kSmall), "1004\t0.4900\n", ""),
                                      "1020\t26.4900\n", "1020\t26.4900\n1004\t0.4900\n");
  const Case cases[] = {
      {"the same", std::string(kSmall), {}, ""},
      {"a cell",
       Replace(std::string(kSmall), "26.4900", "26.4800"),
       {},
       "table Store, row 3, column Comp1: expected \"26.4900\", read \"26.4800\""},
      {"a row missing", Replace(std::string(kSmall), "1015\t\\N\n", ""), rows_only,
       "number of rows"},
      {"rows in another order", swapped, {}, "row 1, column Sku"},
      {"rows in another order, any order allowed", swapped, any_order, ""},
      {"a row changed, any order allowed", Replace(swapped, "1015", "1016"), any_order,
       "a row only in the expected dump: \"1015\t\\N\""},
      {"a column's type",
       Replace(std::string(kSmall), "type=MONEY", "type=DOUBLE"),
       {},
       "column Comp1, type: expected \"MONEY\", read \"DOUBLE\""},
      {"an index flag",
       Replace(std::string(kSmall), "unique=1", "unique=0"),
       {},
       "index PrimaryKey, unique"},
      {"an unknown flag not allowed",
       Replace(std::string(kSmall), "unique=1", "unique=?"),
       {},
       "index PrimaryKey, unique"},
      {"an unknown flag allowed", Replace(std::string(kSmall), "unique=1", "unique=?"),
       unknown_unique, ""},
      {"the row count", Replace(std::string(kSmall), "ROWCOUNT 3", "ROWCOUNT 2"), {}, "ROWCOUNT"},
      {"the password",
       Replace(std::string(kSmall), "PASSWORD secret", "PASSWORD \\N"),
       {},
       "password"},
      {"an unknown password not allowed",
       Replace(std::string(kSmall), "PASSWORD secret", "PASSWORD ?"),
       {},
       "password"},
      {"a relationship",
       Replace(std::string(kSmall), "integrity=1", "integrity=0"),
       {},
       "relationship R, integrity"},
      {"a table more", table_more, {}, "table New is only in"},
      {"a table more, only Store compared", table_more, only_store, ""},
      {"a table named that is in neither", std::string(kSmall), only_missing,
       "table Missing is missing"},
      {"only rows compared", Replace(std::string(kSmall), "type=MONEY", "type=DOUBLE"), rows_only,
       ""},
      {"a long text",
       Replace(std::string(kSmall), "1015\t\\N", "1015\t" + std::string(200, 'a')),
       {},
       "they part at byte 0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::optional<Dump> changed;
    try {
      changed = ParseDump(c.changed, "changed");
    } catch (const std::runtime_error& e) {
      // A change that breaks the format is caught by the parser, which names the line.
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
      EXPECT_FALSE(c.message.empty());
      continue;
    }
    const auto result = DumpsAgree(small, *changed, c.how);
    if (c.message.empty()) {
      EXPECT_TRUE(result);
    } else {
      ASSERT_FALSE(result);
      EXPECT_NE(std::string(result.message()).find(c.message), std::string::npos)
          << result.message();
    }
  }

  // Past the limit, the message lists the first differences and says there are more.
  const Dump three_cells = ParseDump(
      Replace(Replace(Replace(std::string(kSmall), "0.4900", "1"), "\\N", "2"), "26.4900", "3"),
      "three cells");
  const auto result = DumpsAgree(small, three_cells, {}, "expected", "read", 2);
  ASSERT_FALSE(result);
  EXPECT_NE(std::string(result.message()).find("more than 2 differences (the first 2)"),
            std::string::npos)
      << result.message();
  EXPECT_EQ(std::string(result.message()).find("row 3"), std::string::npos) << result.message();
}

TEST(ReadersTest, ADumpCutOrOutOfShapeIsRejectedWithItsLine) {
  struct Case {
    const char* what;
    std::string text;
    std::string message;
  };
  const std::string small(kSmall);
  const Case cases[] = {
      {"no END", Replace(small, "END\n", ""), "ends before its END"},
      {"cut in a line", small.substr(0, small.size() - 2), "the dump was cut"},
      {"a row of too few cells", Replace(small, "1015\t\\N", "1015"), "line 12: a row of 1 cells"},
      {"a line it does not know", Replace(small, "  ROWCOUNT 3", "  ROWCOUNT 3\n  NOTES x"),
       "line 9"},
      {"a row count that is no number", Replace(small, "ROWCOUNT 3", "ROWCOUNT three"),
       "no number"},
      {"a negative row count", Replace(small, "ROWCOUNT 3", "ROWCOUNT -3"), "no number"},
      {"no header", Replace(small, "FILE a.mdb\n", "TABLE x\n"), "expected FILE"},
      {"an attribute without a value",
       Replace(small, "autonumber=0\n  COLUMN", "autonumber\n  COLUMN"),
       "attribute without a value"},
      {"text after END", small + "TABLE x\n", "text after END"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    try {
      ParseDump(c.text, "dump");
      ADD_FAILURE() << "accepted";
    } catch (const std::runtime_error& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
  }
}

}  // namespace
}  // namespace cs::test::jetfile
