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

  AllocateIndexPage Allocator() {
    return [this] { return next++; };
  }
  WriteIndexPage Writer() {
    return [this](PageNumber n, const Page& p) {
      ++writes;
      pages[n] = p;
    };
  }
  ReadIndexPage Reader() const {
    return [this](PageNumber n) -> Page {
      auto it = pages.find(n);
      if (it == pages.end()) throw FormatError("page " + std::to_string(n) + " is not in the file");
      return it->second;
    };
  }
};

// Keys of `size` bytes that share little, so pages hold few of them and trees grow tall.
std::vector<IndexEntry> RandomEntries(std::size_t count, std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<IndexEntry> entries(count);
  for (std::size_t i = 0; i < count; ++i) {
    entries[i].key.resize(size);
    for (std::uint8_t& b : entries[i].key) b = static_cast<std::uint8_t>(random());
    entries[i].row = {static_cast<PageNumber>(1000 + i / 10), static_cast<std::uint8_t>(i % 10)};
  }
  std::sort(entries.begin(), entries.end());
  return entries;
}

// Long keys 0x7F, then the number big-endian with the sign flipped: what a primary key holds.
std::vector<IndexEntry> LongEntries(std::size_t count) {
  std::vector<IndexEntry> entries(count);
  for (std::size_t i = 0; i < count; ++i) {
    const auto v = static_cast<std::uint32_t>(i + 1);
    entries[i].key = {0x7F, static_cast<std::uint8_t>(0x80 | (v >> 24)),
                      static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 8),
                      static_cast<std::uint8_t>(v)};
    entries[i].row = {static_cast<PageNumber>(50 + i / 100), static_cast<std::uint8_t>(i % 100)};
  }
  return entries;
}

// Keys of 7 bytes spread over the whole range, like the text keys of a column of SKUs.
std::vector<IndexEntry> SpreadEntries(std::size_t count) {
  std::vector<IndexEntry> entries(count);
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t v = i * 65536 / count;
    entries[i].key = {
        0x7F, static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v), 0x40, 0x36, 0x01,
        0x00};
    entries[i].row = {static_cast<PageNumber>(50 + i / 100), static_cast<std::uint8_t>(i % 100)};
  }
  return entries;
}

int Depth(const MemoryPages& file, PageNumber root) {
  int depth = 0;
  PageNumber page = root;
  while (file.pages.at(page)[0] == 0x03) {
    page = GetU32(&file.pages.at(page)[0x14]);
    ++depth;
  }
  return depth;
}

TEST(IndexPages, BuildsTreesThatWalkBackWhole) {
  struct Case {
    const char* name;
    std::vector<IndexEntry> entries;
    int depth;  // levels above the leaves
  };
  const std::vector<Case> cases = {
      {"empty", {}, 0},
      {"one row", LongEntries(1), 0},
      {"one full leaf", LongEntries(401), 0},  // 401 x 9 bytes fit whole
      {"1,000 rows", LongEntries(1000), 1},
      {"1,000 spread rows", SpreadEntries(1000), 1},
      {"long keys, three levels", RandomEntries(3000, 200, 1), 2},
      {"keys of the largest size", RandomEntries(5, kIndexPageEntryBytes - 8, 2), 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryPages file;
    const IndexPages built = BuildIndexPages(c.entries, kOwner, file.Allocator(), file.Writer());
    EXPECT_EQ(static_cast<std::size_t>(file.writes), built.pages.size());
    EXPECT_EQ(file.pages.size(), built.pages.size());  // each page written once
    EXPECT_EQ(built.root, built.pages.back());
    EXPECT_EQ(Depth(file, built.root), c.depth);
    const IndexWalk walk = WalkIndexPages(built.root, kOwner, file.Reader());
    EXPECT_EQ(walk.entries, c.entries);
    EXPECT_EQ(walk.pages.size(), built.pages.size());
  }
}

TEST(IndexPages, FillsPagesAsTheReferenceWriterDoes) {
  // 1,000 entries of 11 bytes do not fit one page (3,616 bytes), nor do 500 with the one byte
  // their first and last keys share: halved, then halved again.
  MemoryPages file;
  const IndexPages built =
      BuildIndexPages(SpreadEntries(1000), kOwner, file.Allocator(), file.Writer());
  ASSERT_EQ(built.pages.size(), 5u);
  for (std::size_t i = 0; i < 4; ++i) {
    const Page& leaf = file.pages.at(built.pages[i]);
    EXPECT_EQ(leaf[0], 0x04);
    EXPECT_EQ(GetU32(&leaf[0x04]), kOwner);
    EXPECT_EQ(GetU32(&leaf[0x0C]), i == 0 ? 0 : built.pages[i - 1]);
    EXPECT_EQ(GetU32(&leaf[0x10]), i == 3 ? 0 : built.pages[i + 1]);
    EXPECT_EQ(GetU16(&leaf[0x18]), 0);                // they fit whole: no prefix left out
    EXPECT_EQ(GetU16(&leaf[0x02]), 3616 - 250 * 11);  // 250 entries of 11 bytes
  }
  const Page& root = file.pages.at(built.root);
  EXPECT_EQ(root[0], 0x03);
  EXPECT_EQ(GetU32(&root[0x14]), built.pages[3]);  // the last leaf is the tail
  EXPECT_EQ(GetU16(&root[0x02]), 3616 - 3 * 15);   // three entries of key + 8 bytes

  // 1,000 Long keys: halved once, each half fits without the 3 bytes its keys share.
  MemoryPages longs;
  const IndexPages two =
      BuildIndexPages(LongEntries(1000), kOwner, longs.Allocator(), longs.Writer());
  ASSERT_EQ(two.pages.size(), 3u);
  EXPECT_EQ(GetU16(&longs.pages.at(two.pages[0])[0x18]), 3);
  EXPECT_EQ(GetU16(&longs.pages.at(two.pages[0])[0x02]), 3616 - (9 + 499 * 6));

  // Keys that fit only without their shared prefix go on one page with it left out.
  std::vector<IndexEntry> shared(300);
  for (std::size_t i = 0; i < shared.size(); ++i) {
    shared[i].key.assign(20, 0x41);
    shared[i].key.push_back(static_cast<std::uint8_t>(i >> 8));
    shared[i].key.push_back(static_cast<std::uint8_t>(i));
    shared[i].row = {7, static_cast<std::uint8_t>(i % 200)};
  }
  MemoryPages file2;
  const IndexPages one = BuildIndexPages(shared, kOwner, file2.Allocator(), file2.Writer());
  ASSERT_EQ(one.pages.size(), 1u);
  const Page& page = file2.pages.at(one.root);
  EXPECT_EQ(GetU16(&page[0x18]), 20);  // the first and last keys share 20 bytes
  EXPECT_EQ(GetU16(&page[0x02]), 3616 - (26 + 299 * 6));
  EXPECT_EQ(WalkIndexPages(one.root, kOwner, file2.Reader()).entries, shared);
}

TEST(IndexPages, RefusesEntriesItCannotStoreBeforeTakingAPage) {
  std::vector<IndexEntry> unsorted = LongEntries(3);
  std::swap(unsorted[0], unsorted[2]);
  std::vector<IndexEntry> repeated = LongEntries(3);
  repeated[2] = repeated[1];
  std::vector<IndexEntry> far_row = LongEntries(2);
  far_row[1].row.page = 0x1000000;
  std::vector<IndexEntry> huge = RandomEntries(1, kIndexPageEntryBytes - 7, 3);
  for (const auto* entries : {&unsorted, &repeated, &far_row, &huge}) {
    MemoryPages file;
    EXPECT_THROW(BuildIndexPages(*entries, kOwner, file.Allocator(), file.Writer()), FormatError);
    EXPECT_EQ(file.next, 100u);
    EXPECT_EQ(file.writes, 0);
  }
}

TEST(IndexPages, DamagedTreesAreRefused) {
  MemoryPages good;
  const IndexPages built =
      BuildIndexPages(RandomEntries(3000, 200, 4), kOwner, good.Allocator(), good.Writer());
  const PageNumber root = built.root;
  const PageNumber first_leaf = built.pages[0];
  const PageNumber second_leaf = built.pages[1];
  const PageNumber node = GetU32BigEndian(&good.pages.at(root)[0x1E0 + 204]);  // first child
  ASSERT_EQ(good.pages.at(node)[0], 0x03);

  struct Case {
    const char* name;
    std::function<void(std::map<PageNumber, Page>&)> damage;
    const char* message;
  };
  const std::vector<Case> cases = {
      {"a leaf of another type", [&](auto& p) { p[first_leaf][0] = 0x01; }, "not an index page"},
      {"a leaf of another table", [&](auto& p) { PutU32(&p[second_leaf][0x04], 25); },
       "belongs to table definition 25"},
      {"a child pointing back at the root", [&](auto& p) { PutU32(&p[node][0x14], root); },
       "reached twice"},
      {"a child pointing at itself", [&](auto& p) { PutU32BigEndian(&p[root][0x1E0 + 204], root); },
       "reached twice"},
      {"a child outside the file", [&](auto& p) { PutU32(&p[node][0x14], 999999); },
       "not in the file"},
      {"a child of page 0",
       [&](auto& p) {
         PutU32(&p[node][0x14], 0);
         PutU32BigEndian(&p[node][0x1E0 + 204], 0);
       },
       "page 0"},
      {"an entry past the page's end",
       [&](auto& p) { p[first_leaf][0x1B + 3620 / 8] |= 1 << (3620 % 8); }, "past the end"},
      {"keys out of order in a page",
       [&](auto& p) {
         p[first_leaf][0x1E0 + 204] = 0x00;
         p[first_leaf][0x1E0 + 205] = 0x00;
       },
       "out of order"},
      {"an intermediate key that is not its child's last",
       [&](auto& p) { p[node][0x1E0 + 203] ^= 0x01; }, "not the one its intermediate entry"},
      {"an entry of no bytes", [&](auto& p) { p[first_leaf][0x1B] |= 0x01; }, "no bytes"},
      {"a free-space field that disagrees", [&](auto& p) { PutU16(&p[first_leaf][0x02], 100); },
       "free space"},
      {"a broken leaf chain", [&](auto& p) { PutU32(&p[second_leaf][0x0C], 0); }, "leaf chain"},
      {"a prefix longer than the first entry", [&](auto& p) { PutU16(&p[first_leaf][0x18], 300); },
       "prefix"},
      {"an intermediate page without entries",
       [&](auto& p) {
         std::fill_n(&p[node][0x1B], 0x1E0 - 0x1B, 0);
         PutU16(&p[node][2], 3616);
       },
       "without entries"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryPages file = good;
    c.damage(file.pages);
    try {
      WalkIndexPages(root, kOwner, file.Reader());
      ADD_FAILURE() << "no error";
    } catch (const FormatError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
  }
  // The root given with the wrong owner, and the undamaged tree.
  EXPECT_THROW(WalkIndexPages(root, kOwner + 1, good.Reader()), FormatError);
  EXPECT_NO_THROW(WalkIndexPages(root, kOwner, good.Reader()));
}

}  // namespace
}  // namespace cs::jetfile
