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

}  // namespace
}  // namespace cs::test
