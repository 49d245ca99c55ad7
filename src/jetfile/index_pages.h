// The pages of one index: a B-tree of leaf pages (type 0x04), which hold an entry per row, and
// intermediate pages (type 0x03) above them, down from a root page that the table definition
// names. Built here whole from sorted entries, and walked back with every rule checked.
//
// Page layout (little-endian header, big-endian entries):
//   0x00 type, 0x01 always 1, 0x02 free space = 4096 - 0x1E0 - bytes of entries,
//   0x04 the table's definition page (owner), 0x0C previous and 0x10 next page of the same
//   level (0 at the ends), 0x14 the tail child of an intermediate page (0 if none),
//   0x18 the prefix length, 0x1B a bitmask with bit k set where an entry ends at 0x1E0 + k,
//   0x1E0 the entries. Every entry but the first leaves out the first `prefix length` bytes it
//   shares with the page's first entry.
// A leaf entry is a key, the row's data page (3 bytes) and row number (1 byte). An intermediate
// entry is its child's last entry followed by the child's page (4 bytes); its last child, the
// tail, has no entry of its own and is named at 0x14 instead. A page holds at most 3616 bytes of
// entries.
//
// Pages are filled as the widely used Java library that made our fixture files fills them: a
// level's entries go on one page if they fit (with the shared prefix left out only when they
// would not fit without it), otherwise they are halved, the first half taking the odd entry,
// until every part fits. That leaves room on every page for rows added later by other programs,
// and gives the same pages that library makes when it writes a table's rows in one go. Every
// level is linked left to right from end to end.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "jetfile/format.h"

namespace cs::jetfile {

// One row's entry in an index: its key (index_key.h) and where the row lives. Entries sort by
// key bytewise (a key that is a prefix of another sorts first), then by row pointer.
struct IndexEntry {
  Bytes key;
  RowPointer row;
  bool operator==(const IndexEntry&) const = default;
};
bool operator<(const IndexEntry& a, const IndexEntry& b);

// The most bytes of entries one index page holds, and so the largest entry there can be.
inline constexpr std::size_t kIndexPageEntryBytes = kPageSize - 0x1E0;

// How the index pages reach the file: a new page number for each page to write, the writing of a
// finished page, and the reading of a page by number (which throws FormatError for a number that
// is not a page of the file).
using AllocateIndexPage = std::function<PageNumber()>;
using WriteIndexPage = std::function<void(PageNumber, const Page&)>;
using ReadIndexPage = std::function<Page(PageNumber)>;

// What a build wrote: the root page to enter in the table definition and every page of the
// index, for its usage map.
struct IndexPages {
  PageNumber root = 0;
  std::vector<PageNumber> pages;
};

// Writes the index of `entries`, which must be strictly ascending (operator<): leaves first, then
// each level above, the root last. An empty index is one empty leaf. Entries out of order or
// repeated, a row page that does not fit in 3 bytes, or an entry too large for a page are a
// FormatError before any page is allocated. `owner` is the table's definition page. Should
// `allocate` or `write` fail, the pages handed out so far are the caller's to take back.
IndexPages BuildIndexPages(std::span<const IndexEntry> entries, PageNumber owner,
                           const AllocateIndexPage& allocate, const WriteIndexPage& write);

// Entries held compactly, as a table's writer gathers them for a large table: the keys one after
// another in `keys`, entry i's key ending at key_ends[i] (ascending, the last at keys.size()),
// and its row at rows[i].
struct PackedIndexEntries {
  Bytes keys;
  std::vector<std::uint32_t> key_ends;
  std::vector<RowPointer> rows;

  std::size_t size() const { return rows.size(); }
  std::span<const std::uint8_t> Key(std::size_t i) const;
};

// The same as above from packed entries; FormatError too when the key ends do not match the keys.
IndexPages BuildIndexPages(const PackedIndexEntries& entries, PageNumber owner,
                           const AllocateIndexPage& allocate, const WriteIndexPage& write);

// What a walk found: the leaf entries in order, and every page of the tree.
struct IndexWalk {
  std::vector<IndexEntry> entries;
  std::vector<PageNumber> pages;
};

// Walks the tree from `root` and returns its entries in order. Throws FormatError, naming the
// page, for anything a sound tree cannot hold: a page that is not an index page or not owned by
// `owner`, a page reached twice (a loop or a shared child), entries past the page's end or a
// prefix longer than the first entry, a free-space field that disagrees with the entries, keys out
// of order within or across pages, an intermediate entry that is not its child's last entry,
// leaves at different depths, or leaves whose previous/next links do not chain them in order.
IndexWalk WalkIndexPages(PageNumber root, PageNumber owner, const ReadIndexPage& read);
// The same walk for a large index: each leaf entry is handed to `each` in order and none is kept;
// returns every page of the tree.
std::vector<PageNumber> WalkIndexPages(PageNumber root, PageNumber owner, const ReadIndexPage& read,
                                       const std::function<void(const IndexEntry&)>& each);

}  // namespace cs::jetfile
