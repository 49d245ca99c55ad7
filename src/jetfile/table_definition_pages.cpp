#include "jetfile/table_definition_pages.h"

#include <algorithm>
#include <set>
#include <string>

namespace cs::jetfile {
namespace {

constexpr std::size_t kPagePayload = kPageSize - kTableDefinitionHeaderSize;

}  // namespace

std::size_t TableDefinitionPageCount(const TableDefinition& def) {
  std::size_t payload = SerializeTableDefinition(def).size() - kTableDefinitionHeaderSize;
  return std::max<std::size_t>(1, (payload + kPagePayload - 1) / kPagePayload);
}

std::vector<Page> WriteTableDefinitionPages(const TableDefinition& def,
                                            std::span<const PageNumber> pages) {
  Bytes joined = SerializeTableDefinition(def);
  std::size_t payload = joined.size() - kTableDefinitionHeaderSize;
  std::size_t needed = std::max<std::size_t>(1, (payload + kPagePayload - 1) / kPagePayload);
  if (pages.size() != needed) {
    throw FormatError("table definition needs " + std::to_string(needed) + " pages, given " +
                      std::to_string(pages.size()));
  }
  std::vector<Page> out(needed);
  for (std::size_t i = 0; i < needed; ++i) {
    Page& p = out[i];
    p.fill(0);
    std::size_t begin = i * kPagePayload;
    std::size_t n = std::min(kPagePayload, payload - begin);
    p[0] = kTableDefinitionPageType;
    p[1] = def.header_byte1;
    PutU16(p.data() + 2, static_cast<std::uint16_t>(kPagePayload - n));
    PutU32(p.data() + 4, i + 1 < needed ? pages[i + 1] : 0);
    std::copy_n(joined.begin() + static_cast<std::ptrdiff_t>(kTableDefinitionHeaderSize + begin), n,
                p.begin() + kTableDefinitionHeaderSize);
  }
  return out;
}

Bytes JoinTableDefinitionPages(PageNumber first, const PageReader& read) {
  Bytes joined;
  std::set<PageNumber> seen;
  PageNumber number = first;
  while (number != 0) {
    if (!seen.insert(number).second) {
      throw FormatError("table definition at page " + std::to_string(first) +
                        ": its page chain loops back to page " + std::to_string(number));
    }
    if (seen.size() > kMaxTableDefinitionPages) {
      throw FormatError("table definition at page " + std::to_string(first) +
                        ": its page chain is longer than " +
                        std::to_string(kMaxTableDefinitionPages) + " pages");
    }
    Page page = read(number);
    if (page[0] != kTableDefinitionPageType) {
      throw FormatError("table definition at page " + std::to_string(first) + ": page " +
                        std::to_string(number) + " has type " + std::to_string(page[0]) +
                        ", not a definition page");
    }
    if (joined.empty()) {
      joined.assign(page.begin(), page.end());
    } else {
      joined.insert(joined.end(), page.begin() + kTableDefinitionHeaderSize, page.end());
    }
    number = GetU32(page.data() + 4);
  }
  return joined;
}

TableDefinition ReadTableDefinition(PageNumber first, const PageReader& read) {
  Bytes joined = JoinTableDefinitionPages(first, read);
  try {
    return ParseTableDefinition(joined);
  } catch (const FormatError& e) {
    throw FormatError("page " + std::to_string(first) + ": " + e.what());
  }
}

}  // namespace cs::jetfile
