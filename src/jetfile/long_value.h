// Long values (Memo and OLE): the 12-byte reference a row holds and the data it leads to.
//
// The reference: u32 whose low 30 bits are the data's length and whose top byte says where the
// data is: 0x80 inline, right after the reference in the row; 0x40 one whole row of an LVAL
// page; 0x00 a chain of LVAL rows, each starting with the (row, 3-byte page) of the next piece
// (0 for the last) followed by its part of the data. Then (row, 3-byte page) of the first LVAL
// row, then 4 bytes kept as zero.
#pragma once

#include <cstddef>
#include <map>
#include <span>
#include <string>

#include "jetfile/data_page.h"
#include "jetfile/format.h"
#include "jetfile/page_reader.h"
#include "jetfile/row.h"

namespace cs::jetfile {

inline constexpr std::uint8_t kLongValueInline = 0x80;
inline constexpr std::uint8_t kLongValueOneRow = 0x40;
inline constexpr std::uint8_t kLongValueChain = 0x00;
// Data up to this size goes inline when the row has room for it.
inline constexpr std::size_t kMaxInlineLongValue = 64;
// The largest LVAL row: a page's whole room less one row offset and the data page's spare bytes.
inline constexpr std::size_t kMaxLongValueRow = 4076;
// The largest length a reference can state.
inline constexpr std::size_t kMaxLongValueLength = 0x3FFFFFFF;

struct LongValueReference {
  std::uint32_t length = 0;
  std::uint8_t form = kLongValueInline;  // kLongValueInline, kLongValueOneRow or kLongValueChain
  RowPointer first;                      // the first LVAL row (not for inline data)
  std::uint32_t unknown = 0;
};

// Parses the reference at the start of a Memo/OLE field. Throws FormatError for a field shorter
// than 12 bytes, an unknown form, or inline data whose length is not the stated one.
LongValueReference ParseLongValueReference(std::span<const std::uint8_t> field);

// Reads a long value's data in whichever form its field holds. A row that is missing, deleted
// or not on an LVAL page, a chain that loops, runs past the stated length or ends before it is
// a FormatError; memory is never taken beyond the stated length, which is itself bounded by what
// the pages can hold.
Bytes ReadLongValue(std::span<const std::uint8_t> field, const PageReader& read);

// A Memo's text from its data (compressed or UTF-16LE).
std::u16string DecodeMemoText(std::span<const std::uint8_t> data);

// Hands out the pages long-value rows are written to.
class LongValuePages {
 public:
  virtual ~LongValuePages() = default;
  // The number of a new page for LVAL rows; it holds nothing yet.
  virtual PageNumber AllocatePage() = 0;
};

// Writes long values as the files our users hold store them: inline when at most
// kMaxInlineLongValue bytes and the row has room, one LVAL row up to kMaxLongValueRow bytes,
// otherwise a chain of rows of up to kMaxLongValueRow - 4 bytes, each piece on a page of its own
// after the first. Rows share the current LVAL page while it has room. The pages written are
// kept here until the caller takes them; only the current page can still change.
class LongValueWriter : public LongValueStore {
 public:
  explicit LongValueWriter(LongValuePages& pages) : pages_(pages) {}

  Bytes Store(std::span<const std::uint8_t> data, std::size_t room) override;

  // The LVAL pages written and not yet taken, by page number.
  std::map<PageNumber, Page> Pages() const;
  // Hands over the pages no later value will change (all but the current page) and forgets
  // them, so that a long table's values need not all be held in memory.
  std::map<PageNumber, Page> TakeFinishedPages();

 private:
  // A page with room for a row of `size` bytes: the current one, or a new one.
  PageNumber PageWithRoom(std::size_t size);
  PageNumber NewPage();

  LongValuePages& pages_;
  std::map<PageNumber, DataPageBuilder> builders_;
  PageNumber current_ = 0;
  bool has_current_ = false;
};

}  // namespace cs::jetfile
