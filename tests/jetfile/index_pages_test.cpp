#include "jetfile/index_pages.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

namespace cs::jetfile {
namespace {

constexpr PageNumber kOwner = 24;

// Index pages in memory, numbered from 100 up as a file would hand them out.
struct MemoryPages {
  std::map<PageNumber, Page> pages;
  PageNumber next = 100;
  int writes = 0;
  IndexPages Build(const std::vector<IndexEntry>& entries) {
    return BuildIndexPages(
        entries, kOwner, [this] { return next++; },
        [this](PageNumber n, const Page& p) { ++writes, pages[n] = p; });
  }
  ReadIndexPage Reader() const {
    return [this](PageNumber n) {
      if (!pages.count(n)) throw FormatError("page " + std::to_string(n) + " is not in the file");
      return pages.at(n);
    };
  }
};

// Keys of a prefix and a 4-byte big-endian count from `first` by `step`.
std::vector<IndexEntry> Counted(std::size_t count, Bytes prefix, std::uint32_t first,
                                std::uint32_t step) {
  std::vector<IndexEntry> entries(count);
  for (std::size_t i = 0; i < count; ++i) {
    entries[i].key = prefix;
    entries[i].key.resize(prefix.size() + 4);
    PutU32BigEndian(&entries[i].key[prefix.size()], first + static_cast<std::uint32_t>(i) * step);
    entries[i].row = {static_cast<PageNumber>(50 + i / 100), static_cast<std::uint8_t>(i % 100)};
  }
  return entries;
}
std::vector<IndexEntry> Longs(std::size_t count) { return Counted(count, {0x7F}, 0x80000001, 1); }

// Keys of `size` random bytes: they share little, so pages hold few and trees grow tall.
std::vector<IndexEntry> Random(std::size_t count, std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<IndexEntry> entries(count);
  for (std::size_t i = 0; i < count; ++i) {
    for (std::size_t k = 0; k < size; ++k) entries[i].key.push_back(random() & 0xFF);
    entries[i].row = {static_cast<PageNumber>(1000 + i), 0};
  }
  std::sort(entries.begin(), entries.end());
  return entries;
}

TEST(IndexPages, BuildsTreesThatWalkBackWhole) {
  struct Case {
    const char* name;
    std::vector<IndexEntry> entries;
    int depth;  // levels above the leaves
  };
  const std::vector<Case> cases = {
      {"empty", {}, 0},
      {"one row", Longs(1), 0},
      {"one full leaf", Longs(401), 0},  // 401 entries of 9 bytes fit whole
      {"1,000 rows", Longs(1000), 1},
      {"long keys, three levels", Random(3000, 200, 1), 2},
      {"keys of the largest size", Random(5, kIndexPageEntryBytes - 8, 2), 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryPages file;
    const IndexPages built = file.Build(c.entries);
    EXPECT_EQ(file.pages.size(), built.pages.size());  // each page written once
    EXPECT_EQ(static_cast<std::size_t>(file.writes), built.pages.size());
    EXPECT_EQ(built.root, built.pages.back());
    int depth = 0;
    for (PageNumber p = built.root; file.pages[p][0] == 0x03; p = GetU32(&file.pages[p][0x14])) {
      ++depth;
    }
    EXPECT_EQ(depth, c.depth);
    const IndexWalk walk = WalkIndexPages(built.root, kOwner, file.Reader());
    EXPECT_EQ(walk.entries, c.entries);
    EXPECT_EQ(walk.pages.size(), built.pages.size());
  }
}

TEST(IndexPages, FillsPagesAsTheFixturesWriterDoes) {
  struct Case {
    const char* name;
    std::vector<IndexEntry> entries;
    std::vector<std::pair<int, int>> leaves;  // prefix length, free space
  };
  const std::vector<Case> cases = {
      // 9,000 bytes, and 4,001 in each half without the shared 0x7F: halved twice, fit whole.
      {"keys spread wide", Counted(1000, {0x7F}, 0, 4294967), {4, {0, 3616 - 250 * 9}}},
      // Halved once, each half fits without the 0x7F 0x80 0x00 its keys share.
      {"Long keys", Longs(1000), {{3, 3616 - (9 + 499 * 6)}, {3, 3616 - (9 + 499 * 6)}}},
      // 8,400 bytes, 1,822 without the 22 bytes the first and last keys share: one page.
      {"a long shared prefix", Counted(300, Bytes(20, 0x41), 0, 1), {{22, 3616 - (28 + 299 * 6)}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryPages file;
    const IndexPages built = file.Build(c.entries);
    ASSERT_EQ(built.pages.size(), c.leaves.size() + (c.leaves.size() > 1 ? 1 : 0));
    for (std::size_t i = 0; i < c.leaves.size(); ++i) {
      const Page& leaf = file.pages[built.pages[i]];
      EXPECT_EQ(leaf[0], 0x04);
      EXPECT_EQ(GetU32(&leaf[0x04]), kOwner);
      EXPECT_EQ(GetU32(&leaf[0x0C]), i == 0 ? 0 : built.pages[i - 1]);
      EXPECT_EQ(GetU32(&leaf[0x10]), i + 1 == c.leaves.size() ? 0 : built.pages[i + 1]);
      EXPECT_EQ(GetU16(&leaf[0x18]), c.leaves[i].first);
      EXPECT_EQ(GetU16(&leaf[0x02]), c.leaves[i].second);
    }
    if (c.leaves.size() > 1) {  // the root: an entry per leaf but the last, which is the tail
      const Page& root = file.pages[built.root];
      EXPECT_EQ(root[0], 0x03);
      EXPECT_EQ(GetU32(&root[0x14]), built.pages[c.leaves.size() - 1]);
      EXPECT_EQ(GetU16(&root[0x02]), 3616 - (c.leaves.size() - 1) * 13);
    }
  }
}

TEST(IndexPages, RefusesEntriesItCannotStoreBeforeTakingAPage) {
  std::vector<IndexEntry> unsorted = Longs(3), repeated = Longs(3), far_row = Longs(2);
  std::swap(unsorted[0], unsorted[2]);
  repeated[2] = repeated[1];
  far_row[1].row.page = 0x1000000;
  for (const auto& entries :
       {unsorted, repeated, far_row, Random(1, kIndexPageEntryBytes - 7, 3)}) {
    MemoryPages file;
    EXPECT_THROW(file.Build(entries), FormatError);
    EXPECT_EQ(file.next, 100u);
  }
  int writes = 0;  // page 0 is the file's header, never an index page
  EXPECT_THROW(BuildIndexPages(
                   Longs(1), kOwner, [] { return PageNumber{0}; },
                   [&](PageNumber, const Page&) { ++writes; }),
               FormatError);
  EXPECT_EQ(writes, 0);
}

TEST(IndexPages, DamagedTreesAreRefused) {
  MemoryPages good;
  const IndexPages built = good.Build(Random(3000, 200, 4));
  const PageNumber root = built.root, leaf = built.pages[0], leaf2 = built.pages[1];
  const PageNumber node = GetU32BigEndian(&good.pages[root][0x1E0 + 204]);  // first child
  ASSERT_EQ(good.pages[node][0], 0x03);
  using Pages = std::map<PageNumber, Page>;
  const std::vector<std::tuple<const char*, std::function<void(Pages&)>, const char*>> cases = {
      {"another type", [&](Pages& p) { p[leaf][0] = 0x01; }, "not an index page"},
      {"another table", [&](Pages& p) { PutU32(&p[leaf2][4], 25); }, "table definition 25"},
      {"a loop to the root", [&](Pages& p) { PutU32(&p[node][0x14], root); }, "reached twice"},
      {"a child of itself", [&](Pages& p) { PutU32BigEndian(&p[root][0x1E0 + 204], root); },
       "reached twice"},
      {"a child outside the file", [&](Pages& p) { PutU32(&p[node][0x14], 99999); }, "not in"},
      {"a child of page 0", [&](Pages& p) { PutU32BigEndian(&p[node][0x1E0 + 204], 0); }, "page 0"},
      {"an entry past the end", [&](Pages& p) { p[leaf][0x1B + 452] |= 0x10; }, "past the end"},
      {"an entry of no bytes", [&](Pages& p) { p[leaf][0x1B] |= 0x01; }, "no bytes"},
      {"keys out of order", [&](Pages& p) { p[leaf][0x1E0 + 204] = 0, p[leaf][0x1E0 + 205] = 0; },
       "out of order"},
      {"an intermediate key not its child's last", [&](Pages& p) { p[node][0x1E0 + 203] ^= 1; },
       "not the one its intermediate entry"},
      {"a wrong free space", [&](Pages& p) { PutU16(&p[leaf][2], 100); }, "free space"},
      {"a broken leaf chain", [&](Pages& p) { PutU32(&p[leaf2][0x0C], 0); }, "leaf chain"},
      {"a prefix longer than the first entry", [&](Pages& p) { PutU16(&p[leaf][0x18], 300); },
       "prefix"},
      {"an intermediate page without entries",
       [&](Pages& p) { std::fill_n(&p[node][0x1B], 453, 0), PutU16(&p[node][2], 3616); },
       "without entries"},
  };
  for (const auto& [name, damage, message] : cases) {
    SCOPED_TRACE(name);
    MemoryPages file = good;
    damage(file.pages);
    try {
      WalkIndexPages(root, kOwner, file.Reader());
      ADD_FAILURE() << "no error";
    } catch (const FormatError& e) {
      EXPECT_NE(std::string(e.what()).find(message), std::string::npos) << e.what();
    }
  }
  EXPECT_THROW(WalkIndexPages(root, kOwner + 1, good.Reader()), FormatError);
  EXPECT_NO_THROW(WalkIndexPages(root, kOwner, good.Reader()));
}

}  // namespace
}  // namespace cs::jetfile
