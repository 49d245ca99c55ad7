// Jet 4's General sort order: how the text of an indexed Text or Memo column becomes the bytes an
// index compares. Every character has a collation code of one or more bytes; letter case does not
// count ("abc" and "ABC" share a key), trailing spaces are dropped, accented letters sort with
// their base letter and add a second group of bytes after the codes so that "e" < "é" < "f",
// and unprintable characters add a third group. Only the first 255 characters take part.
//
// The codes themselves are a table of figures, one line per UTF-16 code unit, kept as data in
// general_sort_order_codes.inc and general_sort_order_ext_codes.inc (their source and licence are
// named in them). This is the version of the General order that Jet 4 files declare with version
// byte 0 (Access 2000 to 2007); later Access versions' General order uses other codes and is not
// written by this layer.
#pragma once

#include <cstdint>
#include <string_view>

#include "jetfile/format.h"

namespace cs::jetfile {

// A sort order as a Jet 4 file declares it, in the header (page 0, 0x6E) and in every Text and
// Memo column definition (+11): a 16-bit language code and a version byte three bytes on.
struct SortOrder {
  std::uint16_t code = 0;
  std::uint8_t version = 0;
  bool operator==(const SortOrder&) const = default;
};

// The General order of Access 2000 to 2007: language 1033 (0x0409), version 0.
inline constexpr SortOrder kGeneralSortOrder{0x0409, 0};

// Reads the 4 bytes of a declared sort order. A column whose code is 0 was written without one
// and sorts in the file's order; the caller substitutes it.
SortOrder ReadSortOrder(const std::uint8_t* bytes);

// Throws FormatError naming `where` unless `order` is the General order this layer keys: an index
// on text of any other order could not be kept in order.
void RequireGeneralSortOrder(SortOrder order, std::string_view where);

// Appends the key bytes of a non-null text in the General order, without the column's flag byte:
// the codes, 0x01, any extra groups, then 0x00. Descending keys are the same bytes inverted,
// then 0x00 (so they end FF 00). `text` is UTF-16 code units as stored; lone surrogates are keyed
// like any other code unit.
void AppendGeneralSortKey(std::u16string_view text, bool ascending, Bytes& out);

}  // namespace cs::jetfile
