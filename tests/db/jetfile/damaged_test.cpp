// Damaged Jet files and a reader that misbehaves end in a clear error: never a crash, a hang or
// rows that are not the file's.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "db/jet/errors.h"
#include "db/jetfile/copy.h"
#include "db/jetfile/reader.h"
#include "jet_support.h"

namespace cs::test {
namespace {

using namespace std::chrono_literals;

jetfile::ReaderOptions Bounded() {
  jetfile::ReaderOptions options;
  options.limits = platform::ChildLimits{10, std::uint64_t{1} << 30};
  options.wait_limit = 20s;
  return options;
}

// All the rows of all the tables, as text, in order within each table: a damaged page map may
// make libmdb visit the same data pages in another order.
std::vector<std::vector<std::vector<std::string>>> Rows(const std::vector<ReadTable>& tables) {
  std::vector<std::vector<std::vector<std::string>>> out;
  for (const auto& t : tables) {
    out.push_back(t.rows);
    std::sort(out.back().begin(), out.back().end());
  }
  return out;
}

// Reads the file, which must end in "Unrecognized database format" or, when the damage lies
// where the read does not go, give exactly the undamaged rows; the file itself stays unchanged.
// True when it ended in the error.
bool ReadsCleanlyOrFails(const std::filesystem::path& file, const jetfile::ReaderOptions& options,
                         const std::string& what, const std::vector<ReadTable>* undamaged) {
  const std::string before = FileBytes(file);
  bool failed = false;
  try {
    const auto tables = ReadAll(file, options);
    if (undamaged == nullptr) {
      ADD_FAILURE() << what << ": read without an error";
    } else {
      EXPECT_EQ(Rows(tables), Rows(*undamaged)) << what << ": rows that are not the file's";
    }
  } catch (const RunError& e) {
    failed = true;
    EXPECT_EQ(e.number(), db::jet::kErrGeneral) << what;
    EXPECT_EQ(e.description(), "Unrecognized database format '" + file.string() + "'.") << what;
  }
  EXPECT_EQ(FileBytes(file), before) << what << ": the file changed";
  return failed;
}

// Bytes that look like nothing: a fixed sequence, so that every run damages alike.
std::string Noise(std::size_t n, unsigned seed) {
  std::string out(n, '\0');
  std::uint32_t x = seed * 2654435761u + 1;
  for (auto& c : out) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = static_cast<char>(x);
  }
  return out;
}

constexpr std::size_t kPage = 4096;

TEST(JetDamaged, DamagedFilesEndInAClearError) {
  TempDir dir;
  const std::string good = FileBytes(JetFixture("ACEDATA0407-NOPW.mdb"));
  const auto undamaged = ReadAll(dir.Copy("ACEDATA0407-NOPW.mdb"));
  // Damage that every read meets: a cut file, a damaged header.
  std::vector<std::pair<std::string, std::string>> variants;
  for (const std::size_t cut : {std::size_t{0}, std::size_t{100}, std::size_t{0x90}, kPage,
                                2 * kPage, 3 * kPage + 100, good.size() / 2, good.size() - kPage}) {
    variants.push_back({"cut at " + std::to_string(cut), good.substr(0, cut)});
  }
  {
    std::string bytes = good;
    bytes[0x14] = 7;
    variants.push_back({"version byte", bytes});
    bytes = good;
    bytes.replace(0x18, 128, Noise(128, 7));
    variants.push_back({"hidden header scrambled", bytes});
  }
  const std::size_t always_fail = variants.size();
  // Damage to one page: every third page scrambled whole (the catalog's data page among them), and
  // every table definition page (page type 2) overwritten after its page header.
  for (std::size_t page = 1; page * kPage < good.size(); ++page) {
    std::string bytes = good;
    if (page % 3 == 2) {
      bytes.replace(page * kPage, kPage, Noise(kPage, static_cast<unsigned>(page)));
      variants.push_back({"page " + std::to_string(page) + " scrambled", bytes});
    }
    if (good[page * kPage] != 2) continue;
    bytes = good;
    bytes.replace(page * kPage + 8, kPage - 8,
                  Noise(kPage - 8, static_cast<unsigned>(page) + 1000));
    variants.push_back({"table definition page " + std::to_string(page) + " overwritten", bytes});
  }
  std::size_t failed = 0;
  for (std::size_t i = 0; i < variants.size(); ++i) {
    const auto file = dir / ("damaged" + std::to_string(i) + ".mdb");
    PutFile(file, variants[i].second);
    const auto start = std::chrono::steady_clock::now();
    if (ReadsCleanlyOrFails(file, Bounded(), variants[i].first,
                            i < always_fail ? nullptr : &undamaged))
      ++failed;
    EXPECT_LT(std::chrono::steady_clock::now() - start, 25s) << variants[i].first;
    std::filesystem::remove(file);
  }
  // Most pages of the file are the tables' own: damage there must be noticed.
  EXPECT_GT(failed, variants.size() / 2) << failed << " of " << variants.size();
}

// Why a read of the file was refused; "" when it read.
std::string Refusal(const std::filesystem::path& file, jetfile::ReaderOptions options = {}) {
  std::string why;
  options.refusal = &why;
  try {
    ReadAll(file, options);
    return "";
  } catch (const RunError& e) {
    EXPECT_EQ(e.description(), "Unrecognized database format '" + file.string() + "'.");
    return why.empty() ? "(no reason given)" : why;
  }
}

// Damage found in the field and by damaging files on purpose: definitions that libmdb reads
// without a word (a column moved, read empty in every row), and Access 97 files on which libmdb
// ran until its limits, printing hundreds of megabytes of warnings. Each must be refused by the
// reader's own checks, under the limits a file of its size gets, before any of it is sent.
TEST(JetDamaged, DamagedDefinitionsAndRunawayFilesAreRefusedByTheReader) {
  TempDir dir;
  struct Edit {
    std::size_t offset;
    std::string bytes;
  };
  struct Case {
    const char* name;
    const char* fixture;
    std::vector<Edit> edits;
    std::size_t cut;  // the file's length after the edits; 0: unchanged
    const char* reason;
  };
  // Ace's definition is page 24 of ACEDATA0307.mdb, its column entries 25 bytes each from 75;
  // Table1's of V1997-TEST.mdb is page 29, and the catalog's page 2.
  constexpr std::size_t kAce = 24 * 4096;
  const Case cases[] = {
      {"a column number (HC moved to the end)",
       "ACEDATA0307.mdb",
       {{98634, "\xEB"}},
       0,
       "table definition of Ace is damaged: column 235 (type 7) is out of range"},
      {"a variable place repeated",
       "ACEDATA0307.mdb",
       {{kAce + 400 + 7, std::string("\x06\0", 2)}},
       0,
       "table definition of Ace is damaged: column 13 (type 10) has a variable-column place"},
      {"a fixed offset into the column before",
       "ACEDATA0307.mdb",
       {{kAce + 150 + 21, "\x04"}},
       0,
       "table definition of Ace is damaged: its fixed columns overlap"},
      {"a Double of 4 bytes",
       "ACEDATA0307.mdb",
       {{kAce + 275 + 23, "\x04"}},
       0,
       "table definition of Ace is damaged: column 8 (type 7) has a length"},
      {"a row count of a million",
       "ACEDATA0307.mdb",
       {{kAce + 16, std::string("\0\0\x10\0", 4)}},
       0,
       "table definition of Ace is damaged: its row count is more than its pages hold"},
      {"SKU's length cut to one character",
       "ACEDATA0307.mdb",
       {{kAce + 75 + 23, "\x02"}},
       0,
       "text longer than its column in Ace row 1"},
      {"Jet 3: a column number",
       "access-made/V1997-TEST.mdb",
       {{59452, "\xEB"}},
       0,
       "table definition of Table1 is damaged: column 235"},
      {"Jet 3: the catalog's column number",
       "access-made/V1997-TEST.mdb",
       {{4156, "\xEB"}},
       0,
       "table definition of MSysObjects is damaged"},
      {"Jet 3: cut after 46 pages",
       "access-made/V1997-TEST.mdb",
       {},
       46 * 2048,
       "table definition of Table3 cannot be read"},
      {"Jet 3: cut after 47 pages",
       "access-made/V1997-TEST.mdb",
       {},
       47 * 2048,
       "table definition of Table3 cannot be read"},
      {"Jet 3: cut inside a page",
       "access-made/V1997-TEST.mdb",
       {},
       96267,
       "not whole pages of a database"},
      {"Jet 3 with a password: cut inside a page",
       "access-made/V1997-QED5190.mdb",
       {},
       95741,
       "not whole pages of a database"},
  };
  for (const auto& c : cases) {
    std::string bytes = FileBytes(JetFixture(c.fixture));
    for (const auto& e : c.edits) bytes.replace(e.offset, e.bytes.size(), e.bytes);
    if (c.cut != 0) bytes.resize(c.cut);
    const auto file = dir / "damaged.mdb";
    PutFile(file, bytes);
    const std::string why = Refusal(file);
    EXPECT_TRUE(why.starts_with("the reader refused it: ")) << c.name << ": " << why;
    EXPECT_NE(why.find(c.reason), std::string::npos) << c.name << ": " << why;
    EXPECT_LT(why.size(), 600u) << c.name << ": " << why;  // what libmdb printed, summarised
  }
}

// A reader stream of one table, A (Long), with the given rows, as the reader program writes it.
std::string Stream(const std::vector<std::int32_t>& rows, std::uint32_t declared,
                   bool finish = true) {
  namespace wire = jetfile::wire;
  wire::Writer w;
  w.Begin(wire::FrameType::kHello);
  for (const char c : wire::kMagic) w.U8(static_cast<std::uint8_t>(c));
  w.U16(wire::kVersion);
  w.End();
  w.Begin(wire::FrameType::kTable);
  w.String("T");
  w.U16(1);
  w.String("A");
  w.U8(static_cast<std::uint8_t>(jetfile::JetType::kLong));
  w.U32(4);
  w.U16(0);
  w.U32(declared);
  w.End();
  for (const auto v : rows) {
    w.Begin(wire::FrameType::kRow);
    w.U8(1);
    w.I64(v);
    w.End();
  }
  w.Begin(wire::FrameType::kTableEnd);
  w.U32(static_cast<std::uint32_t>(rows.size()));
  w.End();
  if (finish) {
    w.Begin(wire::FrameType::kEnd);
    w.U32(1);
    w.End();
  }
  return w.buffer();
}

TEST(JetDamaged, AReaderThatMisbehavesIsAFileThatDoesNotOpen) {
  TempDir dir;
  const auto file = dir.Copy("ACEDATA0407-NOPW.mdb");
  const std::string good = Stream({1, 2}, 2);
  PutFile(dir / "good.bin", good);
  PutFile(dir / "short.bin", good.substr(0, good.size() - 3));
  PutFile(dir / "trailing.bin", good + "garbage");
  PutFile(dir / "count.bin", Stream({1, 2}, 3));
  PutFile(dir / "more.bin", Stream({1, 2, 3}, 2));
  PutFile(dir / "unended.bin", Stream({1, 2}, 2, false));
  jetfile::wire::Writer failure;
  failure.Begin(jetfile::wire::FrameType::kFailure);
  failure.String("damaged row in T");
  failure.End();
  PutFile(dir / "failure.bin", good.substr(0, good.size() - 9) + failure.buffer());
  const std::string d = dir.root().string();

  // The stand-in works: a good stream from a reader that ends well is read.
  jetfile::ReaderOptions options = Bounded();
  options.reader = dir.Script("good.sh", "cat '" + d + "/good.bin'");
  const auto tables = ReadAll(file, options);
  ASSERT_EQ(tables.size(), 1u);
  EXPECT_EQ(tables[0].rows, (std::vector<std::vector<std::string>>{{"1"}, {"2"}}));

  const std::vector<std::pair<std::string, std::string>> readers = {
      {"crashes", "kill -SEGV $$"},
      {"crashes after a good stream", "cat '" + d + "/good.bin'; kill -SEGV $$"},
      {"exits non-zero after a good stream", "cat '" + d + "/good.bin'; exit 3"},
      {"prints garbage", "printf 'Unrecognized garbage\\n'"},
      {"prints nothing", "exit 0"},
      {"stops mid-frame", "cat '" + d + "/short.bin'"},
      {"adds garbage", "cat '" + d + "/trailing.bin'"},
      {"sends fewer rows than declared", "cat '" + d + "/count.bin'"},
      {"sends more rows than declared", "cat '" + d + "/more.bin'"},
      {"never ends the stream", "cat '" + d + "/unended.bin'"},
      {"reports a failure", "cat '" + d + "/failure.bin'; exit 1"},
  };
  for (const auto& [what, body] : readers) {
    options.reader = dir.Script("reader.sh", body);
    ReadsCleanlyOrFails(file, options, what, nullptr);
  }

  // A hang ends at the wait limit; a loop at the processor time limit.
  options.wait_limit = 1s;
  options.reader = dir.Script("hang.sh", "exec sleep 30");
  auto start = std::chrono::steady_clock::now();
  ReadsCleanlyOrFails(file, options, "hangs", nullptr);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
  options.wait_limit = 60s;
  options.limits = platform::ChildLimits{1, std::uint64_t{1} << 30};
  options.reader = dir.Script("spin.sh", "cat '" + d + "/short.bin'; while :; do :; done");
  start = std::chrono::steady_clock::now();
  ReadsCleanlyOrFails(file, options, "loops", nullptr);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 30s);
}

TEST(JetDamaged, AMissingReaderIsAMissingProvider) {
  TempDir dir;
  const auto file = dir.Copy("ACEDATA0407-NOPW.mdb");
  PutFile(dir / "not-executable", "#!/bin/sh\n");
  for (const auto& reader : {dir / "no-such-reader", dir / "not-executable", dir.root()}) {
    jetfile::ReaderOptions options;
    options.reader = reader;
    try {
      ReadAll(file, options);
      ADD_FAILURE() << reader;
    } catch (const RunError& e) {
      EXPECT_EQ(e.number(), db::jet::kErrProvider) << reader;
    }
  }
  // Found beside the running program, as installed in the build folder.
  ASSERT_TRUE(jetfile::FindReader().has_value());
  EXPECT_EQ(jetfile::FindReader()->filename(), jetfile::kReaderName);
}

// What the reader prints on its standard error is kept to its beginning and never passed on; a
// reader that prints without end is stopped.
TEST(JetDamaged, WhatTheReaderPrintsIsCapped) {
  TempDir dir;
  const auto file = dir.Copy("ACEDATA0407-NOPW.mdb");
  PutFile(dir / "good.bin", Stream({1, 2}, 2));
  const std::string good = "cat '" + (dir / "good.bin").string() + "'";
  jetfile::ReaderOptions options;
  // A warning or two does not refuse a file that reads.
  options.reader = dir.Script("warns.sh", "echo 'Warning: something odd' >&2; " + good);
  EXPECT_EQ(Refusal(file, options), "");
  // A flood does, and only its beginning is kept.
  options.reader = dir.Script(
      "floods.sh", "yes 'Warning: mdb_col_to_string called on unsupported data type 0.' >&2");
  const std::string why = Refusal(file, options);
  EXPECT_NE(why.find("printed 10"), std::string::npos) << why;
  EXPECT_NE(why.find("bytes, beginning: Warning: mdb_col_to_string called"), std::string::npos)
      << why;
  EXPECT_LT(why.size(), 600u);
}

}  // namespace
}  // namespace cs::test
