// Page 0 of a Jet 4 file: the header that tells the version, the code page, the key the other
// pages are encoded with, the database password, the sort order and the creation date.
//
// Page 0 begins 00 01 00 00 "Standard Jet DB" 00 and the version byte at 0x14 (1 for Jet 4).
// Bytes 0x18..0x97 are hidden under the RC4 key stream of the fixed key C7 DA 39 6B. Unmasked:
// 0x3C the code page (u16), 0x3E the database key (u32; 0 when the pages are plain), 0x42 the
// password (20 UTF-16LE characters, NUL-padded, each byte i further XORed with byte i mod 4 of the
// creation date's whole part as a 32-bit little-endian integer), 0x6E the sort order (u32), 0x72
// the creation date (an OLE date, a double). Every other byte of the page is kept as it was read.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "jetfile/format.h"

namespace cs::jetfile {

class Header {
 public:
  // The most characters a Jet 4 password holds.
  static constexpr std::size_t kMaxPasswordLength = 20;

  // Reads page 0 as stored. FormatError when it is not a Jet database, when it is a Jet 3
  // (Access 97) or Access 2007 or later database (such files are not written), or when its
  // creation date, which the password's mask is made of, is not a date.
  static Header Parse(const Page& stored);

  // The header of a new, empty Jet 4 database (Access 2000 format): code page 1252, the General
  // sort order, pages not encoded, the given creation date (an OLE date) and password (empty:
  // none). std::invalid_argument when the password is longer than kMaxPasswordLength characters
  // or holds a NUL, or the date is not one Jet can keep.
  static Header CreateNew(std::u16string_view password, double creation_date);

  // Page 0 as it is stored: the hidden bytes masked again, every other byte as read.
  Page Stored() const;

  std::uint16_t code_page() const;
  std::uint32_t database_key() const;
  std::uint32_t sort_order() const;
  double creation_date() const;
  // The password; empty when the database has none.
  std::u16string password() const;

  // Replaces the password (empty: none), masked with this header's creation date. The same
  // limits as CreateNew.
  void set_password(std::u16string_view password);

  bool operator==(const Header&) const = default;

 private:
  Header() = default;
  std::uint32_t PasswordMask() const;

  Page plain_{};  // page 0 with its hidden bytes unmasked
};

}  // namespace cs::jetfile
