// Reading a Jet file back with two independent readers, for the tests of the Jet 4 writer: libmdb
// (through tests/jetfile/tools/libmdb_dump.cpp) and the npm package mdb-reader (through
// tests/jetfile/tools/mdb_reader_dump.mjs, run by node; scripts/bootstrap installs both). Each
// reader prints the file in the dump format of the Jet fixtures (their NAME.dump.txt), parsed here
// into a Dump, and DumpsAgree compares two dumps value for value for GoogleTest.
//
// The dump format, one item a line:
//   FILE name                  the file's name, as given to the reader (never compared)
//   FORMAT V2000 [VERSION_4]   V2003 when the file has MSysAccessStorage (Access 2003 made it)
//   PASSWORD text              the database password, \N when there is none
//   TABLE name                 for each user table, in the order of their names:
//     COLUMN
//     name<TAB>type=..<TAB>length=..[<TAB>chars=..<TAB>compressedUnicode=..]<TAB>autonumber=..
//     INDEX name<TAB>columns=(A ASC, B DESC)<TAB>unique=..<TAB>primaryKey=..<TAB>foreignKey=..
//           [<TAB>references=Table.Index]<TAB>ignoreNulls=..<TAB>required=..
//     ROWCOUNT n               the row count kept in the table's definition
//     ROWS                     then the column names, then each row, tab-separated
//   END TABLE name
//   RELATIONSHIP name<TAB>from=T(cols)<TAB>to=T(cols)<TAB>integrity=..<TAB>...
//   END
// Cells: \N for Null; currency with four decimals; Double and Single with the fewest digits that
// read back as the same value (1.0E300, 0.1, 2.5E-10); dates YYYY-MM-DD HH:MM:SS; Yes/No 1 and 0;
// text with \t \n \r \\ and \xNN escaped; binary and OLE as 0x and hex.
//
// A value a reader cannot tell is `?`: libmdb knows no password, neither reader knows whether a
// text column compresses its Unicode, libmdb knows nothing of a relationship's logical index but
// its name. mdb-reader reads no indexes at all, so its dumps have no INDEX lines. A comparison
// accepts `?` only for the attributes it is told a reader may not know.
//
// Both readers return the rows of a table in the order of its data pages (the fixtures' order
// too); a file whose rows were written in another order still agrees in RowOrder::kAnyOrder.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace cs::test::jetfile {

// What a reader cannot tell, in place of a value.
inline constexpr std::string_view kUnknown = "?";

// A column, index or relationship: its name and its key=value attributes as printed.
struct DumpItem {
  std::string name;
  std::map<std::string, std::string> attributes;
};

struct DumpTable {
  std::string name;
  std::vector<DumpItem> columns;
  std::vector<DumpItem> indexes;
  std::uint64_t row_count = 0;                 // as kept in the table's definition
  std::vector<std::string> header;             // the column names over the rows
  std::vector<std::vector<std::string>> rows;  // cells as printed (escaped, \N for Null)
};

struct Dump {
  std::string file;
  std::string format;
  std::string password;
  std::vector<DumpTable> tables;
  std::vector<DumpItem> relationships;

  // The table of that name, or nullptr.
  const DumpTable* Table(std::string_view name) const;
};

// Parses the dump format; `source` names the text in errors. A dump that does not follow the
// format (a line it does not know, a row with more or fewer cells than columns, no END) throws
// std::runtime_error naming the line.
Dump ParseDump(std::string_view text, const std::string& source);
// A fixture's NAME.dump.txt.
Dump ParseDumpFile(const std::string& path);

// Runs a reader on a Jet file and parses what it prints. A reader that is missing (node or
// mdb-reader not installed, the dump program not built), fails or prints something else than a
// whole dump throws std::runtime_error with what it said: the tests fail, never skip.
// mdb-reader is handed the password (it reads the stored one either way); libmdb has no use for
// it and prints the password as `?`.
Dump ReadWithMdbReader(const std::string& path, const std::string& password = "");
Dump ReadWithLibmdb(const std::string& path, const std::string& password = "");

enum class RowOrder { kSame, kAnyOrder };

// What DumpsAgree compares. Everything by default, rows in the same order.
struct Comparison {
  bool format_and_password = true;
  bool columns = true;
  bool indexes = true;
  bool row_counts = true;
  bool relationships = true;
  RowOrder order = RowOrder::kSame;
  // Only these tables (each must be in both dumps); empty: every table, and the two dumps must
  // hold the same tables.
  std::set<std::string> tables;
  // Attributes (and "password") whose value the second dump may give as `?`; a `?` anywhere else
  // is a difference.
  std::set<std::string> may_be_unknown;
};

// `what`, narrowed to what each reader can tell: mdb-reader reads no indexes and no compression
// flag; libmdb no password, no compression flag, and of a relationship's logical index no more
// than its name.
Comparison WhatMdbReaderTells(Comparison what = {});
Comparison WhatLibmdbTells(Comparison what = {});

// Success when `actual` holds what `expected` does; else a failure listing the first differences
// (at most `max_differences`), each saying where (table, row, column) and both values.
// `expected_name` and `actual_name` name the two in the messages.
::testing::AssertionResult DumpsAgree(const Dump& expected, const Dump& actual,
                                      const Comparison& what = {},
                                      const std::string& expected_name = "expected",
                                      const std::string& actual_name = "read",
                                      std::size_t max_differences = 10);

// Reads `path` with both readers and compares each with `expected` as far as that reader can
// tell: what a writer's test asks of the file it wrote. The failure says which reader read what.
::testing::AssertionResult BothReadersHold(const std::string& path, const std::string& password,
                                           const Dump& expected, const Comparison& what = {});

}  // namespace cs::test::jetfile
