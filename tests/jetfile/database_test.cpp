// The database front: the catalog, finding tables and reading their rows back whole, on the
// shared current databases; damaged files refused with a FormatError.
#include "jetfile/database.h"

#include <gtest/gtest.h>

#include <string>

#include "memory_file.h"
#include "readers.h"

namespace cs::jetfile::test {
namespace {

using cs::test::jetfile::ParseDumpFile;

TEST(Database, TablesAndRowsOfTheCurrentDatabases) {
  for (const std::string name : {"YWCURRENT", "YWCURRENT-ACCESS"}) {
    SCOPED_TRACE(name);
    MemoryFile file(ReadFixture("current/" + name + ".mdb"));
    const auto dump = ParseDumpFile(JetFixture("current/" + name + ".dump.txt").string());
    Database db = Database::Open(file, false);
    std::vector<std::u16string> names = db.TableNames();
    ASSERT_EQ(names.size(), dump.tables.size());
    for (const auto& table : dump.tables) {
      const std::u16string wide(table.name.begin(), table.name.end());
      std::u16string upper = wide;
      for (char16_t& c : upper) c = (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c;
      EXPECT_EQ(db.FindTable(upper), db.FindTable(wide));
      std::size_t rows = 0;
      db.ReadRows(wide, [&](std::span<const Value> row) {
        EXPECT_EQ(row.size(), table.header.size());
        ++rows;
      });
      EXPECT_EQ(rows, table.rows.size()) << table.name;
      EXPECT_EQ(db.Definition(wide).row_count, table.row_count);
    }
    EXPECT_THROW(db.FindTable(u"NoSuchTable"), FormatError);
  }
}

}  // namespace
}  // namespace cs::jetfile::test
