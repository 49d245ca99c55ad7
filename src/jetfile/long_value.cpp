#include "jetfile/long_value.h"

#include <algorithm>
#include <set>

#include "jetfile/text_codec.h"

namespace cs::jetfile {

namespace {

std::string Where(const RowPointer& p) {
  return "long-value row " + std::to_string(p.row) + " of page " + std::to_string(p.page);
}

// The bytes of a live row on an LVAL page.
std::span<const std::uint8_t> LongValueRow(const Page& page, const RowPointer& where) {
  if (page[0] != kDataPageType || DataPageOwner(page) != kLongValueOwner) {
    throw FormatError(Where(where) + ": the page is not a long-value page");
  }
  return RowBytes(page, where.page, where.row);
}

Bytes Reference(std::uint32_t length, std::uint8_t form, const RowPointer& first) {
  Bytes field(kLongValueReferenceSize, 0);
  PutU32(field.data(), length | (static_cast<std::uint32_t>(form) << 24));
  field[4] = first.row;
  PutU24(field.data() + 5, first.page);
  return field;
}

}  // namespace

LongValueReference ParseLongValueReference(std::span<const std::uint8_t> field) {
  if (field.size() < kLongValueReferenceSize) {
    throw FormatError("long-value field of " + std::to_string(field.size()) +
                      " bytes is shorter than its 12-byte reference");
  }
  LongValueReference ref;
  std::uint32_t word = GetU32(field.data());
  ref.length = word & kMaxLongValueLength;
  ref.form = static_cast<std::uint8_t>(word >> 24) & 0xC0;
  ref.first = RowPointer{GetU24(field.data() + 5), field[4]};
  ref.unknown = GetU32(field.data() + 8);
  if (ref.form == (kLongValueInline | kLongValueOneRow)) {
    throw FormatError("long-value reference with both the inline and the one-row flag");
  }
  if (ref.form == kLongValueInline) {
    if (field.size() - kLongValueReferenceSize < ref.length) {
      throw FormatError("inline long value states " + std::to_string(ref.length) +
                        " bytes but the row holds " +
                        std::to_string(field.size() - kLongValueReferenceSize));
    }
  } else if (field.size() != kLongValueReferenceSize) {
    throw FormatError("long-value reference of " + std::to_string(field.size()) +
                      " bytes where 12 are expected");
  }
  return ref;
}

Bytes ReadLongValue(std::span<const std::uint8_t> field, const PageReader& read) {
  LongValueReference ref = ParseLongValueReference(field);
  if (ref.form == kLongValueInline) {
    auto data = field.subspan(kLongValueReferenceSize, ref.length);
    return Bytes(data.begin(), data.end());
  }
  if (ref.form == kLongValueOneRow) {
    Page page = read(ref.first.page);
    auto row = LongValueRow(page, ref.first);
    if (row.size() < ref.length) {
      throw FormatError(Where(ref.first) + ": " + std::to_string(row.size()) +
                        " bytes where the reference states " + std::to_string(ref.length));
    }
    return Bytes(row.begin(), row.begin() + ref.length);
  }
  Bytes data;
  std::set<RowPointer> visited;
  RowPointer at = ref.first;
  for (;;) {
    if (!visited.insert(at).second) {
      throw FormatError(Where(at) + ": the long-value chain loops back to it");
    }
    Page page = read(at.page);
    auto row = LongValueRow(page, at);
    if (row.size() < 4) throw FormatError(Where(at) + ": a chain row without its next pointer");
    RowPointer next{GetU24(row.data() + 1), row[0]};
    auto piece = row.subspan(4);
    if (piece.size() > ref.length - data.size()) {
      throw FormatError(Where(at) + ": the chain runs past its stated length of " +
                        std::to_string(ref.length) + " bytes");
    }
    data.insert(data.end(), piece.begin(), piece.end());
    if (next.page == 0) break;
    at = next;
  }
  if (data.size() != ref.length) {
    throw FormatError("long-value chain from " + Where(ref.first) + " ends after " +
                      std::to_string(data.size()) + " of its " + std::to_string(ref.length) +
                      " bytes");
  }
  return data;
}

std::u16string DecodeMemoText(std::span<const std::uint8_t> data) { return DecodeText(data); }

std::map<PageNumber, Page> LongValueWriter::Pages() const {
  std::map<PageNumber, Page> pages;
  for (const auto& [number, builder] : builders_) pages.emplace(number, builder.page());
  return pages;
}

std::map<PageNumber, Page> LongValueWriter::TakeFinishedPages() {
  std::map<PageNumber, Page> pages;
  for (auto it = builders_.begin(); it != builders_.end();) {
    if (has_current_ && it->first == current_) {
      ++it;
      continue;
    }
    pages.emplace(it->first, it->second.page());
    it = builders_.erase(it);
  }
  return pages;
}

PageNumber LongValueWriter::NewPage() {
  PageNumber number = pages_.AllocatePage();
  if (builders_.count(number) != 0 || number == 0) {
    throw FormatError("long-value page " + std::to_string(number) + " handed out twice");
  }
  builders_.emplace(number, DataPageBuilder(kLongValueOwner));
  current_ = number;
  has_current_ = true;
  return number;
}

PageNumber LongValueWriter::PageWithRoom(std::size_t size) {
  size = std::min(size, kMaxLongValueRow);
  if (has_current_ && builders_.at(current_).HasRoomFor(size)) return current_;
  return NewPage();
}

Bytes LongValueWriter::Store(std::span<const std::uint8_t> data, std::size_t room) {
  if (data.size() > kMaxLongValueLength) {
    throw FormatError("a long value of " + std::to_string(data.size()) +
                      " bytes is larger than a reference can state");
  }
  auto length = static_cast<std::uint32_t>(data.size());
  if (data.size() <= kMaxInlineLongValue && kLongValueReferenceSize + data.size() <= room) {
    Bytes field = Reference(length, kLongValueInline, RowPointer{});
    field.insert(field.end(), data.begin(), data.end());
    return field;
  }
  if (data.size() <= kMaxLongValueRow) {
    PageNumber page = PageWithRoom(data.size());
    DataPageBuilder& b = builders_.at(page);
    RowPointer first{page, b.Add(data)};
    return Reference(length, kLongValueOneRow, first);
  }
  // A chain: the first piece on a page with room for a whole piece, each next piece on a page
  // of its own, so that a piece's successor is known before the piece is written.
  PageNumber page = PageWithRoom(data.size());
  RowPointer first{page, static_cast<std::uint8_t>(builders_.at(page).RowCount())};
  std::size_t done = 0;
  while (done < data.size()) {
    std::size_t piece = std::min(kMaxLongValueRow - 4, data.size() - done);
    RowPointer next;
    if (done + piece < data.size()) {
      PageNumber next_page = NewPage();
      next = RowPointer{next_page, static_cast<std::uint8_t>(builders_.at(next_page).RowCount())};
    }
    Bytes row(4 + piece);
    row[0] = next.row;
    PutU24(row.data() + 1, next.page);
    std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(done), piece, row.begin() + 4);
    DataPageBuilder& b = builders_.at(page);
    b.Add(row);
    done += piece;
    page = next.page;
  }
  return Reference(length, kLongValueChain, first);
}

}  // namespace cs::jetfile
