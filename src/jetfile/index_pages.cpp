#include "jetfile/index_pages.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <unordered_set>

namespace cs::jetfile {
namespace {

constexpr std::uint8_t kIntermediatePage = 0x03;
constexpr std::uint8_t kLeafPage = 0x04;
constexpr std::size_t kFreeSpaceOffset = 0x02;
constexpr std::size_t kOwnerOffset = 0x04;
constexpr std::size_t kPreviousOffset = 0x0C;
constexpr std::size_t kNextOffset = 0x10;
constexpr std::size_t kTailOffset = 0x14;
constexpr std::size_t kPrefixOffset = 0x18;
constexpr std::size_t kMaskOffset = 0x1B;
constexpr std::size_t kEntriesOffset = 0x1E0;
constexpr std::size_t kLeafPointerBytes = 4;         // 3-byte page, 1-byte row
constexpr std::size_t kChildPointerBytes = 4;        // after the leaf pointer
constexpr std::uint32_t kLargestRowPage = 0xFFFFFF;  // 3 bytes in a leaf entry
// The depth of any index a Jet file can hold is far below this; past it the tree is damaged.
constexpr int kMaxDepth = 32;

std::string PageName(PageNumber page) { return "index page " + std::to_string(page); }

// The entries of one level, each as the bytes a page stores, one after another.
struct Level {
  Bytes bytes;
  std::vector<std::size_t> ends;  // entry i runs from ends[i-1] (or 0) to ends[i]

  std::size_t size() const { return ends.size(); }
  std::size_t Begin(std::size_t i) const { return i == 0 ? 0 : ends[i - 1]; }
  std::size_t Length(std::size_t i) const { return ends[i] - Begin(i); }
  // Bytes of entries [from, to).
  std::size_t Span(std::size_t from, std::size_t to) const { return Begin(to) - Begin(from); }
  const std::uint8_t* Data(std::size_t i) const { return bytes.data() + Begin(i); }
};

// One page's share of a level: children/entries [first, last), and the shared prefix left out.
struct Group {
  std::size_t first = 0;
  std::size_t last = 0;
  std::size_t prefix = 0;
};

std::size_t CommonPrefix(const Level& level, std::size_t a, std::size_t b) {
  const std::size_t n = std::min(level.Length(a), level.Length(b));
  const std::uint8_t* x = level.Data(a);
  const std::uint8_t* y = level.Data(b);
  std::size_t i = 0;
  while (i < n && x[i] == y[i]) ++i;
  return i;
}

// Whether entries [from, to) fit one page, and with what prefix: none if they fit whole, else
// the prefix of the first and last entries.
bool Fits(const Level& level, std::size_t from, std::size_t to, std::size_t& prefix) {
  prefix = 0;
  const std::size_t total = level.Span(from, to);
  if (total <= kIndexPageEntryBytes) return true;
  const std::size_t shared = CommonPrefix(level, from, to - 1);
  if (total - shared * (to - from - 1) > kIndexPageEntryBytes) return false;
  prefix = shared;
  return true;
}

// Leaves: all entries on one page if they fit, otherwise the first (n+1)/2 and the rest, each
// split again as needed.
void SplitLeaves(const Level& level, std::size_t from, std::size_t to, std::vector<Group>& out) {
  std::size_t prefix = 0;
  if (to - from == 1 || Fits(level, from, to, prefix)) {
    out.push_back({from, to, prefix});
    return;
  }
  const std::size_t head = (to - from + 1) / 2;
  SplitLeaves(level, from, from + head, out);
  SplitLeaves(level, from + head, to, out);
}

// Intermediate pages hold one entry per child except the last (the tail), unless there is just
// one child. Splitting halves the entries; the first part's last child becomes its tail.
void SplitChildren(const Level& level, std::size_t from, std::size_t to, std::vector<Group>& out) {
  const std::size_t children = to - from;
  std::size_t prefix = 0;
  if (children <= 2 || Fits(level, from, to - 1, prefix)) {
    out.push_back({from, to, prefix});
    return;
  }
  const std::size_t head = children / 2;  // half of the children-1 entries, rounded up
  SplitChildren(level, from, from + head, out);
  SplitChildren(level, from + head, to, out);
}

// Lays out one page from its entries.
Page MakePage(bool leaf, PageNumber owner, const Level& level, std::size_t first, std::size_t last,
              std::size_t prefix, PageNumber previous, PageNumber next, PageNumber tail) {
  Page page{};
  page[0] = leaf ? kLeafPage : kIntermediatePage;
  page[1] = 0x01;
  PutU32(&page[kOwnerOffset], owner);
  PutU32(&page[kPreviousOffset], previous);
  PutU32(&page[kNextOffset], next);
  PutU32(&page[kTailOffset], tail);
  PutU16(&page[kPrefixOffset], static_cast<std::uint16_t>(prefix));
  std::size_t used = 0;
  for (std::size_t i = first; i < last; ++i) {
    const std::size_t skip = i == first ? 0 : prefix;
    const std::size_t length = level.Length(i) - skip;
    std::copy_n(level.Data(i) + skip, length, page.data() + kEntriesOffset + used);
    used += length;
    page[kMaskOffset + used / 8] =
        static_cast<std::uint8_t>(page[kMaskOffset + used / 8] | (1u << (used % 8)));
  }
  PutU16(&page[kFreeSpaceOffset], static_cast<std::uint16_t>(kIndexPageEntryBytes - used));
  return page;
}

int CompareKeys(const std::uint8_t* a, std::size_t a_size, const std::uint8_t* b,
                std::size_t b_size) {
  const int c = std::memcmp(a, b, std::min(a_size, b_size));
  if (c != 0) return c;
  return a_size < b_size ? -1 : (a_size > b_size ? 1 : 0);
}

}  // namespace

bool operator<(const IndexEntry& a, const IndexEntry& b) {
  const int c = CompareKeys(a.key.data(), a.key.size(), b.key.data(), b.key.size());
  if (c != 0) return c < 0;
  return a.row < b.row;
}

namespace {

// The leaf level of `count` entries, entry i keyed key_at(i) for row row_at(i), each checked
// before any page is taken, so that bad input costs the file nothing.
template <typename KeyAt, typename RowAt>
Level LeafLevel(std::size_t count, const KeyAt& key_at, const RowAt& row_at) {
  Level leaves;
  leaves.ends.reserve(count);
  std::span<const std::uint8_t> previous_key;
  RowPointer previous_row;
  for (std::size_t i = 0; i < count; ++i) {
    const std::span<const std::uint8_t> key = key_at(i);
    const RowPointer row = row_at(i);
    if (i > 0) {
      const int c = CompareKeys(previous_key.data(), previous_key.size(), key.data(), key.size());
      if (c > 0 || (c == 0 && !(previous_row < row))) {
        throw FormatError("index entries: entry " + std::to_string(i) +
                          " is not after the one before it (out of order or repeated)");
      }
    }
    if (row.page > kLargestRowPage) {
      throw FormatError("index entries: row page " + std::to_string(row.page) +
                        " does not fit an index entry");
    }
    // An intermediate entry adds a child page to the largest leaf entry; it must fit a page too.
    if (key.size() + kLeafPointerBytes + kChildPointerBytes > kIndexPageEntryBytes) {
      throw FormatError("index entries: a key of " + std::to_string(key.size()) +
                        " bytes is too large for an index page");
    }
    leaves.bytes.insert(leaves.bytes.end(), key.begin(), key.end());
    std::uint8_t pointer[kLeafPointerBytes];
    PutU24BigEndian(pointer, row.page);
    pointer[3] = row.row;
    leaves.bytes.insert(leaves.bytes.end(), pointer, pointer + kLeafPointerBytes);
    leaves.ends.push_back(leaves.bytes.size());
    previous_key = key;
    previous_row = row;
  }
  return leaves;
}

IndexPages BuildFromLeaves(const Level& leaves, PageNumber owner, const AllocateIndexPage& allocate,
                           const WriteIndexPage& write) {
  auto take_page = [&allocate] {
    const PageNumber n = allocate();
    if (n == 0) throw FormatError("index pages: page 0 was handed out for an index page");
    return n;
  };

  IndexPages result;
  if (leaves.size() == 0) {
    result.root = take_page();
    result.pages.push_back(result.root);
    write(result.root, MakePage(true, owner, leaves, 0, 0, 0, 0, 0, 0));
    return result;
  }

  // Per entry of the current level, the leaf entry its subtree ends with.
  std::vector<std::size_t> last_leaf(leaves.size());
  for (std::size_t i = 0; i < leaves.size(); ++i) last_leaf[i] = i;
  Level upper;
  const Level* current = &leaves;

  bool leaf = true;
  while (true) {
    const Level& level = *current;
    std::vector<Group> groups;
    if (leaf) {
      SplitLeaves(level, 0, level.size(), groups);
    } else {
      SplitChildren(level, 0, level.size(), groups);
    }
    std::vector<PageNumber> numbers;
    numbers.reserve(groups.size());
    for (std::size_t g = 0; g < groups.size(); ++g) numbers.push_back(take_page());
    for (std::size_t g = 0; g < groups.size(); ++g) {
      const Group& group = groups[g];
      std::size_t on_page_last = group.last;
      PageNumber tail = 0;
      if (!leaf && group.last - group.first > 1) {
        on_page_last = group.last - 1;
        tail = GetU32BigEndian(level.Data(group.last - 1) + level.Length(group.last - 1) -
                               kChildPointerBytes);
      }
      const PageNumber previous = g == 0 ? 0 : numbers[g - 1];
      const PageNumber next = g + 1 == groups.size() ? 0 : numbers[g + 1];
      write(numbers[g], MakePage(leaf, owner, level, group.first, on_page_last, group.prefix,
                                 previous, next, tail));
      result.pages.push_back(numbers[g]);
    }
    if (groups.size() == 1) {
      result.root = numbers[0];
      return result;
    }
    // The level above: per page, its last leaf entry and the page number.
    Level above;
    std::vector<std::size_t> above_last;
    for (std::size_t g = 0; g < groups.size(); ++g) {
      const std::size_t leaf_entry = last_leaf[groups[g].last - 1];
      const std::uint8_t* data = leaves.Data(leaf_entry);
      above.bytes.insert(above.bytes.end(), data, data + leaves.Length(leaf_entry));
      std::uint8_t child[kChildPointerBytes];
      PutU32BigEndian(child, numbers[g]);
      above.bytes.insert(above.bytes.end(), child, child + kChildPointerBytes);
      above.ends.push_back(above.bytes.size());
      above_last.push_back(leaf_entry);
    }
    upper = std::move(above);
    current = &upper;
    last_leaf = std::move(above_last);
    leaf = false;
  }
}

}  // namespace

IndexPages BuildIndexPages(std::span<const IndexEntry> entries, PageNumber owner,
                           const AllocateIndexPage& allocate, const WriteIndexPage& write) {
  const Level leaves = LeafLevel(
      entries.size(), [&](std::size_t i) { return std::span<const std::uint8_t>(entries[i].key); },
      [&](std::size_t i) { return entries[i].row; });
  return BuildFromLeaves(leaves, owner, allocate, write);
}

std::span<const std::uint8_t> PackedIndexEntries::Key(std::size_t i) const {
  const std::size_t begin = i == 0 ? 0 : key_ends[i - 1];
  return std::span<const std::uint8_t>(keys).subspan(begin, key_ends[i] - begin);
}

IndexPages BuildIndexPages(const PackedIndexEntries& entries, PageNumber owner,
                           const AllocateIndexPage& allocate, const WriteIndexPage& write) {
  if (entries.key_ends.size() != entries.rows.size() ||
      (!entries.key_ends.empty() && entries.key_ends.back() != entries.keys.size()) ||
      !std::is_sorted(entries.key_ends.begin(), entries.key_ends.end())) {
    throw FormatError("index entries: the packed keys do not match their ends");
  }
  const Level leaves = LeafLevel(
      entries.size(), [&](std::size_t i) { return entries.Key(i); },
      [&](std::size_t i) { return entries.rows[i]; });
  return BuildFromLeaves(leaves, owner, allocate, write);
}

namespace {

// The walk's state: what it has seen so far across the whole tree.
struct Walker {
  PageNumber owner;
  const ReadIndexPage& read;
  // Receives the leaf entries in order.
  const std::function<void(const IndexEntry&)>& each;
  std::vector<PageNumber> pages;
  std::unordered_set<PageNumber> seen;
  int leaf_depth = -1;
  PageNumber previous_leaf = 0;
  PageNumber previous_leaf_next = 0;
  // The last leaf entry so far, for the order across pages.
  std::optional<IndexEntry> previous;

  // A parsed page: its entries as whole bytes (prefix restored).
  struct Parsed {
    Page page;
    std::vector<Bytes> entries;
  };

  Parsed ReadPage(PageNumber number) {
    if (number == 0) throw FormatError("index: a child pointer names page 0");
    if (!seen.insert(number).second) {
      throw FormatError(PageName(number) + " is reached twice (a loop or a shared page)");
    }
    pages.push_back(number);
    Parsed parsed{read(number), {}};
    const Page& page = parsed.page;
    if ((page[0] != kLeafPage && page[0] != kIntermediatePage) || page[1] != 0x01) {
      throw FormatError(PageName(number) + " is not an index page (type " +
                        std::to_string(page[0]) + ")");
    }
    if (GetU32(&page[kOwnerOffset]) != owner) {
      throw FormatError(PageName(number) + " belongs to table definition " +
                        std::to_string(GetU32(&page[kOwnerOffset])) + ", not " +
                        std::to_string(owner));
    }
    const std::size_t prefix = GetU16(&page[kPrefixOffset]);
    const std::size_t pointer_bytes =
        kLeafPointerBytes + (page[0] == kIntermediatePage ? kChildPointerBytes : 0);
    if (page[kMaskOffset] & 0x01) {
      throw FormatError(PageName(number) + ": an entry of no bytes");
    }
    std::size_t start = 0;
    for (std::size_t bit = 1; bit < (kEntriesOffset - kMaskOffset) * 8; ++bit) {
      if (!(page[kMaskOffset + bit / 8] & (1u << (bit % 8)))) continue;
      if (bit > kIndexPageEntryBytes) {
        throw FormatError(PageName(number) + ": an entry runs past the end of the page");
      }
      const std::uint8_t* data = page.data() + kEntriesOffset + start;
      const std::size_t length = bit - start;
      Bytes entry;
      if (parsed.entries.empty()) {
        if (prefix > length) {
          throw FormatError(PageName(number) + ": its prefix is longer than its first entry");
        }
        entry.assign(data, data + length);
      } else {
        entry.reserve(prefix + length);
        entry.assign(parsed.entries.front().begin(),
                     parsed.entries.front().begin() + static_cast<std::ptrdiff_t>(prefix));
        entry.insert(entry.end(), data, data + length);
      }
      if (entry.size() <= pointer_bytes) {
        throw FormatError(PageName(number) + ": an entry too short to hold a key");
      }
      parsed.entries.push_back(std::move(entry));
      start = bit;
    }
    if (GetU16(&page[kFreeSpaceOffset]) != kIndexPageEntryBytes - start) {
      throw FormatError(PageName(number) + ": its free space (" +
                        std::to_string(GetU16(&page[kFreeSpaceOffset])) +
                        ") disagrees with its entries (" + std::to_string(start) + " bytes)");
    }
    return parsed;
  }

  // Key and row pointer of an entry whose pointer part is `pointer_bytes` long.
  static IndexEntry Split(const Bytes& entry, std::size_t pointer_bytes) {
    const std::size_t key_size = entry.size() - pointer_bytes;
    IndexEntry e;
    e.key.assign(entry.begin(), entry.begin() + static_cast<std::ptrdiff_t>(key_size));
    e.row.page = GetU24BigEndian(entry.data() + key_size);
    e.row.row = entry[key_size + 3];
    return e;
  }

  // Walks the subtree at `number` and returns its last entry; `expected_last`, when given, is
  // what the parent says that is.
  IndexEntry Visit(PageNumber number, const IndexEntry* expected_last, int depth) {
    if (depth > kMaxDepth) throw FormatError(PageName(number) + " is too deep in its index");
    Parsed parsed = ReadPage(number);
    const Page& page = parsed.page;
    IndexEntry last;
    if (page[0] == kLeafPage) {
      if (leaf_depth < 0) leaf_depth = depth;
      if (leaf_depth != depth) throw FormatError(PageName(number) + ": leaves at different depths");
      // Leaves are chained left to right across the whole level.
      if (GetU32(&page[kPreviousOffset]) != previous_leaf ||
          (previous_leaf != 0 && previous_leaf_next != number)) {
        throw FormatError(PageName(number) + ": its previous/next links break the leaf chain");
      }
      previous_leaf = number;
      previous_leaf_next = GetU32(&page[kNextOffset]);
      if (parsed.entries.empty() && (depth > 0 || previous_leaf_next != 0)) {
        throw FormatError(PageName(number) + ": an empty leaf inside a tree");
      }
      for (const Bytes& bytes : parsed.entries) {
        IndexEntry e = Split(bytes, kLeafPointerBytes);
        if (previous && !(*previous < e)) throw FormatError(PageName(number) + ": keys out of order");
        each(e);
        previous = std::move(e);
      }
      if (previous) last = *previous;
    } else {
      if (parsed.entries.empty()) {
        throw FormatError(PageName(number) + ": an intermediate page without entries");
      }
      const std::size_t pointers = kLeafPointerBytes + kChildPointerBytes;
      for (const Bytes& bytes : parsed.entries) {
        const IndexEntry e = Split(bytes, pointers);
        const PageNumber child = GetU32BigEndian(bytes.data() + bytes.size() - kChildPointerBytes);
        last = Visit(child, &e, depth + 1);
      }
      const PageNumber tail = GetU32(&page[kTailOffset]);
      if (tail != 0) last = Visit(tail, nullptr, depth + 1);
    }
    if (expected_last != nullptr && !(last == *expected_last)) {
      throw FormatError(PageName(number) +
                        ": its last entry is not the one its intermediate entry names");
    }
    return last;
  }
};

}  // namespace

std::vector<PageNumber> WalkIndexPages(PageNumber root, PageNumber owner, const ReadIndexPage& read,
                                       const std::function<void(const IndexEntry&)>& each) {
  Walker walker{owner, read, each, {}, {}, -1, 0, 0, std::nullopt};
  walker.Visit(root, nullptr, 0);
  if (walker.previous_leaf_next != 0) {
    throw FormatError(PageName(walker.previous_leaf) + ": the last leaf links to a next page");
  }
  return std::move(walker.pages);
}

IndexWalk WalkIndexPages(PageNumber root, PageNumber owner, const ReadIndexPage& read) {
  IndexWalk walk;
  walk.pages = WalkIndexPages(root, owner, read, [&](const IndexEntry& e) { walk.entries.push_back(e); });
  return walk;
}

}  // namespace cs::jetfile
