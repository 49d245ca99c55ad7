// Writing a Jet current database again after an import: what the written file holds, read by two
// independent readers, and what is refused (a damaged Jet file, rows Jet cannot hold,
// a disk that fills up), always with the Jet file left as it was and nothing left beside it.
#include "db/jetfile/jet_update.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <functional>

#include "../../jetfile/readers.h"
#include "db/jetfile/copy.h"
#include "db/sqlite.h"
#include "jetfile/database.h"
#include "jetfile/table_pages.h"
#include "platform/posix_file_system.h"
#include "test_support.h"

namespace cs::test {
namespace {

namespace fs = std::filesystem;
using jetfile::Comparison;
using jetfile::Dump;
using jetfile::DumpTable;

constexpr char kPassword[] = "qed5190";
constexpr char kShown[] = "C:\\YieldWarden\\YieldWarden.yw";
const std::string kFixtures = std::string(SHARED_DIR) + "/fixtures/jet/current/";

fs::path MakeTempDir(const char* tag) {
  std::string tmpl = (fs::temp_directory_path() / (std::string(tag) + "-XXXXXX")).string();
  return mkdtemp(tmpl.data());
}

// The program's copy of a Jet file, as the run begins from it.
void CopyOfJet(const fs::path& jet, const fs::path& to) {
  db::jetfile::CopyOptions options;
  options.password = kPassword;
  options.record_password = true;
  options.durable = false;
  db::jetfile::CopyToDatabase(jet, to, kShown, options);
}

// A file system that fails, with ENOSPC, the copy into `written` or any write into it that
// reaches past `limit`: a disk that fills up while the new file is written.
class FullDisk : public platform::PosixFileSystem {
 public:
  enum class Fail { kCopy, kWriteAt };
  FullDisk(fs::path written, Fail fail, std::uint64_t limit) : written_(std::move(written)), fail_(fail), limit_(limit) {}

  std::error_code CopyFile(const fs::path& from, const fs::path& to) override {
    if (fail_ != Fail::kCopy || to != written_) return PosixFileSystem::CopyFile(from, to);
    WriteFile(to, std::string(4096 * 3, 'x'), false);  // what was written when the disk filled
    return std::make_error_code(std::errc::no_space_on_device);
  }
  std::error_code OpenRandomAccess(const fs::path& path, bool writable,
                                   std::unique_ptr<platform::RandomAccessFile>& file) override {
    const auto ec = PosixFileSystem::OpenRandomAccess(path, writable, file);
    if (!ec && fail_ == Fail::kWriteAt && path == written_) file = std::make_unique<Limited>(std::move(file), limit_);
    return ec;
  }

 private:
  class Limited : public platform::RandomAccessFile {
   public:
    Limited(std::unique_ptr<platform::RandomAccessFile> file, std::uint64_t limit) : file_(std::move(file)), limit_(limit) {}
    std::error_code ReadAt(std::uint64_t offset, std::span<std::uint8_t> bytes) const override {
      return file_->ReadAt(offset, bytes);
    }
    std::error_code WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) override {
      if (offset + bytes.size() > limit_) return std::make_error_code(std::errc::no_space_on_device);
      return file_->WriteAt(offset, bytes);
    }
    std::error_code Size(std::uint64_t& size) const override { return file_->Size(size); }
    std::error_code Sync() override { return file_->Sync(); }

   private:
    std::unique_ptr<platform::RandomAccessFile> file_;
    std::uint64_t limit_;
  };
  fs::path written_;
  Fail fail_;
  std::uint64_t limit_;
};

class JetUpdateTest : public ::testing::Test {
 protected:
  // The program's copy of the fixture is made once: every case starts from it.
  static void SetUpTestSuite() {
    shared_ = new fs::path(MakeTempDir("cs-jetupdate-shared"));
    CopyOfJet(kFixtures + "YWCURRENT.mdb", *shared_ / "before.yw");
  }
  static void TearDownTestSuite() {
    std::error_code ec;
    fs::remove_all(*shared_, ec);
    delete shared_;
  }

  JetUpdateTest() : dir_(MakeTempDir("cs-jetupdate")) {
    WriteFile(jet_, ReadFile(kFixtures + "YWCURRENT.mdb"));
    WriteFile(before_, ReadFile(*shared_ / "before.yw"));
  }
  ~JetUpdateTest() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  // `after`: a copy of `before` changed by the statements, as the import's SQL changes it.
  void Change(const std::vector<std::string>& statements) {
    WriteFile(after_, ReadFile(before_));
    const auto db = db::Database::Open(after_, db::Database::Mode::kReadWrite, RunError(0, "cannot open after"));
    for (const auto& sql : statements) db.Exec(sql);
  }

  db::jetfile::JetUpdateResult Write(platform::FileSystem& files) {
    return db::jetfile::WriteJetUpdate(files, {jet_, before_, after_, written_, unread_, replaced_}, kShown);
  }

  // Expects the update to be refused with a RunError whose text holds each of `words`, nothing
  // left of `written` and the Jet file's bytes as `jet_bytes`.
  void ExpectRefused(platform::FileSystem& files, const std::string& jet_bytes, const std::vector<std::string>& words) {
    try {
      const auto result = Write(files);
      ADD_FAILURE() << "written, expected a refusal";
      fs::remove(written_);
    } catch (const RunError& e) {
      for (const auto& w : words) EXPECT_NE(e.description().find(w), std::string::npos) << e.description();
    }
    EXPECT_FALSE(fs::exists(written_));
    EXPECT_TRUE(ReadFile(jet_) == jet_bytes) << "the Jet file was changed";
    for (const auto& e : fs::directory_iterator(dir_)) {
      const auto name = e.path().filename().string();
      EXPECT_TRUE(name == "current.mdb" || name == "before.yw" || name == "after.yw") << "left behind: " << name;
    }
  }

  // The pages of a table of the Jet file (definition, data, indexes, long values).
  cs::jetfile::TablePages PagesOf(const std::u16string& table) {
    platform::PosixFileSystem files;
    std::unique_ptr<platform::RandomAccessFile> file;
    EXPECT_FALSE(files.OpenRandomAccess(jet_, false, file));
    auto db = cs::jetfile::Database::Open(*file, false);
    return cs::jetfile::ReadTablePages(db.pages(), db.FindTable(table), db.Definition(table));
  }

  static inline fs::path* shared_ = nullptr;
  fs::path dir_;
  fs::path jet_ = dir_ / "current.mdb";
  fs::path before_ = dir_ / "before.yw";
  fs::path after_ = dir_ / "after.yw";
  fs::path written_ = dir_ / "current.mdb.unfinished-import";
  std::vector<std::string> unread_, replaced_;
  platform::PosixFileSystem files_;
};

DumpTable& TableIn(Dump& dump, const std::string& name) {
  for (auto& t : dump.tables) {
    if (t.name == name) return t;
  }
  throw std::runtime_error("no table " + name + " in the dump");
}

std::size_t ColumnAt(const DumpTable& t, const std::string& name) {
  for (std::size_t i = 0; i < t.header.size(); ++i) {
    if (t.header[i] == name) return i;
  }
  throw std::runtime_error("no column " + name + " in " + t.name);
}

jetfile::DumpItem Column(const std::string& name, std::map<std::string, std::string> attributes) {
  return {name, std::move(attributes)};
}

// Each kind of change an import makes, written and read back by both readers: the tables
// written hold the new rows (in any order), every other table is as the fixture's dump has it,
// row for row, and the password, indexes and the relationship are kept.
TEST_F(JetUpdateTest, EachKindOfChangeIsWrittenAndReadsBackWithBothReaders) {
  struct Case {
    std::string name;
    std::vector<std::string> statements;
    std::vector<std::string> rewritten, remade, created, dropped;
    std::function<void(Dump&)> expect;  // the fixture's dump brought to what the file must hold
  };
  const std::vector<Case> cases = {
      {"rows of Store changed", {"UPDATE Store SET Comp5 = Comp5 + 1"}, {"Store"}, {}, {}, {},
       [](Dump& d) {
         DumpTable& t = TableIn(d, "Store");
         const auto at = ColumnAt(t, "Comp5");
         for (auto& row : t.rows) {
           char text[40];
           std::snprintf(text, sizeof text, "%.4f", std::stod(row[at]) + 1);
           row[at] = text;
         }
       }},
      {"a column added to Ace", {"ALTER TABLE Ace ADD COLUMN Extra LONG", "UPDATE Ace SET Extra = 42"}, {}, {"Ace"}, {}, {},
       [](Dump& d) {
         DumpTable& t = TableIn(d, "Ace");
         t.columns.push_back(Column("Extra", {{"type", "LONG"}, {"length", "4"}, {"autonumber", "0"}}));
         t.header.push_back("Extra");
         for (auto& row : t.rows) row.push_back("42");
       }},
      {"a new table",
       {"CREATE TABLE Shelf (Aisle LONG, Label TEXT(30))", "INSERT INTO Shelf VALUES (7, 'Paint')",
        "INSERT INTO Shelf VALUES (NULL, 'Caf\xc3\xa9 tables')"},
       {}, {}, {"Shelf"}, {},
       [](Dump& d) {
         DumpTable t;
         t.name = "Shelf";
         t.columns = {Column("Aisle", {{"type", "LONG"}, {"length", "4"}, {"autonumber", "0"}}),
                      Column("Label", {{"type", "TEXT"}, {"length", "60"}, {"chars", "30"}, {"compressedUnicode", "1"},
                                       {"autonumber", "0"}})};
         t.row_count = 2;
         t.header = {"Aisle", "Label"};
         t.rows = {{"7", "Paint"}, {"\\N", "Caf\xc3\xa9 tables"}};
         d.tables.push_back(t);
         std::sort(d.tables.begin(), d.tables.end(), [](auto& a, auto& b) { return a.name < b.name; });
       }},
      {"ListBoxs dropped", {"DROP TABLE ListBoxs"}, {}, {}, {}, {"ListBoxs"},
       [](Dump& d) { std::erase_if(d.tables, [](const DumpTable& t) { return t.name == "ListBoxs"; }); }},
  };
  const Dump fixture = jetfile::ParseDumpFile(kFixtures + "YWCURRENT.dump.txt");
  const std::string jet_bytes = ReadFile(jet_);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(written_);
    Change(c.statements);
    const auto result = Write(files_);
    EXPECT_EQ(result.rewritten, c.rewritten);
    EXPECT_EQ(result.remade, c.remade);
    EXPECT_EQ(result.created, c.created);
    EXPECT_EQ(result.dropped, c.dropped);
    EXPECT_TRUE(ReadFile(jet_) == jet_bytes) << "the Jet file was changed";
    Dump expected = fixture;
    c.expect(expected);
    for (auto& t : expected.tables) t.row_count = t.rows.size();
    // The tables not written hold the fixture's rows in its order too.
    Comparison untouched;
    for (const auto& t : expected.tables) {
      const bool was_written = std::count(c.rewritten.begin(), c.rewritten.end(), t.name) +
                                   std::count(c.remade.begin(), c.remade.end(), t.name) +
                                   std::count(c.created.begin(), c.created.end(), t.name) != 0;
      if (!was_written) untouched.tables.insert(t.name);
    }
    const Dump by_libmdb = jetfile::ReadWithLibmdb(written_.string(), kPassword);
    const Dump by_mdb_reader = jetfile::ReadWithMdbReader(written_.string(), kPassword);
    // Every table is there and none more, rows in any order; the password, the indexes and the
    // relationship are kept.
    Comparison whole;
    whole.order = jetfile::RowOrder::kAnyOrder;
    EXPECT_TRUE(jetfile::DumpsAgree(expected, by_libmdb, jetfile::WhatLibmdbTells(whole), "expected", "libmdb"));
    EXPECT_TRUE(jetfile::DumpsAgree(expected, by_mdb_reader, jetfile::WhatMdbReaderTells(whole), "expected",
                                    "mdb-reader"));
    if (!untouched.tables.empty()) {
      EXPECT_TRUE(jetfile::DumpsAgree(expected, by_libmdb, jetfile::WhatLibmdbTells(untouched), "expected", "libmdb"));
      EXPECT_TRUE(jetfile::DumpsAgree(expected, by_mdb_reader, jetfile::WhatMdbReaderTells(untouched), "expected",
                                      "mdb-reader"));
    }
  }
}

TEST_F(JetUpdateTest, NothingChangedWritesNoTableAndTheCopyIsTheFile) {
  Change({"UPDATE Store SET Comp5 = Comp5"});  // a statement that changes no value
  const auto result = Write(files_);
  EXPECT_FALSE(result.Changed());
  EXPECT_TRUE(ReadFile(written_) == ReadFile(jet_));
}

// A run that read the rows of no table: the tables it never read keep the Jet file's rows though
// its copies hold none, and a table it emptied unread is written empty though its copies agree.
TEST_F(JetUpdateTest, TablesNeverReadKeepTheirRowsAndOneReplacedUnreadIsWritten) {
  fs::remove(before_);
  db::jetfile::CopyOptions options;
  options.password = kPassword;
  options.record_password = true;
  options.reader.rows = false;
  db::jetfile::CopyToDatabase(jet_, before_, kShown, options);
  unread_ = {"Ace", "AceFileDate", "Competitors", "PlanogramDetails", "PriceHistory", "Store"};
  replaced_ = {"ListBoxs"};
  Change({"DELETE FROM ListBoxs"});
  const auto result = Write(files_);
  EXPECT_EQ(result.rewritten, std::vector<std::string>{"ListBoxs"});
  EXPECT_TRUE(result.remade.empty() && result.created.empty() && result.dropped.empty());
  Dump expected = jetfile::ParseDumpFile(kFixtures + "YWCURRENT.dump.txt");
  TableIn(expected, "ListBoxs").rows.clear();
  TableIn(expected, "ListBoxs").row_count = 0;
  Comparison in_order;
  EXPECT_TRUE(jetfile::DumpsAgree(expected, jetfile::ReadWithLibmdb(written_.string(), kPassword),
                                  jetfile::WhatLibmdbTells(in_order), "expected", "libmdb"));

  // Columns cannot change unless the rows were read: refused rather than written without them.
  fs::remove(written_);
  Change({"ALTER TABLE Store ADD COLUMN Aisle LONG"});
  ExpectRefused(files_, ReadFile(jet_), {"Store", "never read"});
}

// Changes Jet cannot take: refused before the file takes them, naming the table.
TEST_F(JetUpdateTest, ChangesJetCannotHoldAreRefusedNamingTheTable) {
  struct Case {
    std::string name;
    std::vector<std::string> statements;
    std::vector<std::string> words;
  };
  const std::vector<Case> cases = {
      {"a price history row of no store row",
       {"INSERT INTO PriceHistory (ID, Sku, OldPrice, ChangedOn) VALUES (900001, 'NO-SUCH-SKU', 1.5, "
        "'2007-03-01 00:00:00')"},
       {"'PriceHistory'", "Store"}},
      {"a store row deleted that price history refers to", {"DELETE FROM Store WHERE Sku = '7425'"},
       {"'PriceHistory'", "Store"}},
      {"a column added to Store, in a relationship", {"ALTER TABLE Store ADD COLUMN Extra LONG"}, {"'Store'"}},
      {"PriceHistory dropped, in a relationship", {"DROP TABLE PriceHistory"}, {"'PriceHistory'"}},
      // The program's own tables refuse these; a working copy that holds them anyway is refused too.
      {"text longer than its column",
       {"PRAGMA ignore_check_constraints = ON", "UPDATE Competitors SET Name = replace(hex(zeroblob(30)), '0', 'x') WHERE Competitor = 'Comp1'"},
       {"'Competitors'"}},
      {"a number out of the column's range", {"PRAGMA ignore_check_constraints = ON", "UPDATE Store SET OnHand = 3000000000 WHERE Sku = '7425'"}, {"'Store'"}},
      // The program's keys tell letter case apart beyond ASCII; Jet's do not.
      {"a primary key twice, in other letter case",
       {"INSERT INTO Competitors (Competitor, Name) VALUES ('Caf\xc3\xa9', 'Once'), ('CAF\xc3\x89', 'Twice')"},
       {"'Competitors'"}},
  };
  const std::string jet_bytes = ReadFile(jet_);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Change(c.statements);
    ExpectRefused(files_, jet_bytes, c.words);
  }
}

// A Jet file damaged where the update reads it: refused with a clear error, never a crash, a hang
// or a file written from it. (A file another program changed since the run read it is refused
// before the update, by the working copy: see the end-to-end tests.)
TEST_F(JetUpdateTest, ADamagedJetFileIsRefused) {
  const auto store = PagesOf(u"Store");
  ASSERT_FALSE(store.data.empty());
  ASSERT_FALSE(store.indexes.empty());
  ASSERT_FALSE(store.indexes[0].empty());
  const std::string good = ReadFile(jet_);
  const auto flip = [&](std::uint32_t page, std::size_t from, std::size_t count) {
    std::string bytes = good;
    for (std::size_t i = 0; i < count; ++i) bytes[page * 4096 + from + i] ^= 0xFF;
    return bytes;
  };
  struct Case {
    std::string name;
    std::string jet;
    std::string word;  // what the error names
  };
  const std::vector<Case> cases = {
      {"Store's index page", flip(store.indexes[0].front(), 0, 8), "'Store'"},
      {"Store's data page", flip(store.data.front(), 0, 8), "'Store'"},
      {"the catalog's definition", flip(2, 0, 64), kShown},
      {"a file cut within a page", good.substr(0, good.size() / 2 + 1000), kShown},
      {"a file cut at a page", good.substr(0, good.size() / 2 / 4096 * 4096), kShown},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile(jet_, c.jet);
    Change({"UPDATE Store SET OnHand = OnHand + 1"});
    ExpectRefused(files_, c.jet, {c.word});
  }
}

// The disk fills up while the new file is written: the copy fails, or a write past some offset.
TEST_F(JetUpdateTest, ADiskThatFillsUpLeavesTheJetFileAsItWas) {
  struct Case {
    std::string name;
    FullDisk::Fail fail;
    std::uint64_t limit;
  };
  const std::string jet_bytes = ReadFile(jet_);
  const std::vector<Case> cases = {
      {"the copy", FullDisk::Fail::kCopy, 0},
      {"the first write", FullDisk::Fail::kWriteAt, 0},
      {"a write past the file's end", FullDisk::Fail::kWriteAt, jet_bytes.size()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // A table of 1,000 rows with their notes more: the file must grow.
    Change({"CREATE TABLE StoreCopy (Sku TEXT(20), Notes MEMO)", "INSERT INTO StoreCopy SELECT Sku, Notes FROM Store",
            "UPDATE Store SET Comp5 = Comp5 + 1"});
    FullDisk disk(written_, c.fail, c.limit);
    ExpectRefused(disk, jet_bytes, {written_.filename().string(), "space"});
  }
}

}  // namespace
}  // namespace cs::test
