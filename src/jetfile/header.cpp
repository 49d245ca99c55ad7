#include "jetfile/header.h"

#include <cmath>
#include <cstring>
#include <optional>
#include <stdexcept>

#include "jetfile/rc4.h"

namespace cs::jetfile {
namespace {

constexpr std::uint8_t kHeaderKey[] = {0xC7, 0xDA, 0x39, 0x6B};
constexpr std::size_t kVersionOffset = 0x14;
constexpr std::size_t kHiddenOffset = 0x18;
constexpr std::size_t kHiddenLength = 128;
constexpr std::size_t kCodePageOffset = 0x3C;
constexpr std::size_t kKeyOffset = 0x3E;
constexpr std::size_t kPasswordOffset = 0x42;
constexpr std::size_t kPasswordBytes = 40;
constexpr std::size_t kSortOrderOffset = 0x6E;
constexpr std::size_t kCreationDateOffset = 0x72;

constexpr char kJetSignature[] = "\x00\x01\x00\x00Standard Jet DB";
constexpr char kAceSignature[] = "\x00\x01\x00\x00Standard ACE DB";
constexpr std::size_t kSignatureLength = 19;  // the NUL after the name is checked apart

void Unmask(Page& page) {
  Rc4Apply(kHeaderKey, std::span(page).subspan(kHiddenOffset, kHiddenLength));
}

// The whole part of an OLE date as the 32-bit integer Jet masks the password with; nothing
// when the double is no date at all.
std::optional<std::uint32_t> DateMask(double date) {
  const double whole = std::trunc(date);
  if (!std::isfinite(whole) || std::fabs(whole) >= 2147483648.0) return std::nullopt;
  return static_cast<std::uint32_t>(static_cast<std::int32_t>(whole));
}

void CheckPassword(std::u16string_view password) {
  if (password.size() > Header::kMaxPasswordLength) {
    throw std::invalid_argument("A database password has at most 20 characters.");
  }
  if (password.find(u'\0') != std::u16string_view::npos) {
    throw std::invalid_argument("A database password cannot hold a NUL character.");
  }
}

// The bytes of page 0 of a new Access 2000 database outside its hidden part, and the hidden
// part's fixed fields, as the files Access and Jet make have them (every Jet 4 fixture of the
// project shares them): the "4.0" version text after the hidden part, and the table at 0xE00.
void FillNewPage(Page& p) {
  std::memcpy(p.data(), kJetSignature, kSignatureLength);
  p[kVersionOffset] = 0x01;
  constexpr std::uint8_t hidden_start[] = {0x00, 0x01, 0x00, 0x00, 0x01, 0x01, 0x00, 0x00,
                                           0x02, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00,
                                           0x04, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00};
  std::memcpy(&p[kHiddenOffset], hidden_start, sizeof hidden_start);
  PutU16(&p[kCodePageOffset], 1252);
  PutU32(&p[0x6A], 0x21AA);
  PutU32(&p[kSortOrderOffset], 0x0409);
  constexpr std::uint8_t version_text[] = {0x54, 0x06, 0x00, 0x00, '4', '.', '0', 0x00};
  std::memcpy(&p[0x98], version_text, sizeof version_text);
  p[0xE00] = 0x01;
  p[0xE01] = 0x01;
  for (std::size_t i = 0xE02; i < kPageSize; i += 2) p[i + 1] = 0x01;
}

}  // namespace

Header Header::Parse(const Page& stored) {
  if (std::memcmp(stored.data(), kAceSignature, kSignatureLength) == 0 ||
      (std::memcmp(stored.data(), kJetSignature, kSignatureLength) == 0 &&
       stored[kVersionOffset] >= 2)) {
    throw FormatError(
        "The database is in the Access 2007 or later format; only Jet 4 (Access 2000 to 2003) "
        "databases are written.");
  }
  if (std::memcmp(stored.data(), kJetSignature, kSignatureLength) != 0 || stored[19] != 0) {
    throw FormatError("Page 0 does not begin as a Jet database does.");
  }
  if (stored[kVersionOffset] == 0) {
    throw FormatError(
        "The database is in the Jet 3 (Access 97) format; only Jet 4 (Access 2000 to 2003) "
        "databases are written.");
  }
  Header header;
  header.plain_ = stored;
  Unmask(header.plain_);
  if (!DateMask(header.creation_date())) {
    throw FormatError("The creation date in the database's header (page 0) is damaged.");
  }
  return header;
}

Header Header::CreateNew(std::u16string_view password, double creation_date) {
  if (!DateMask(creation_date)) {
    throw std::invalid_argument("The creation date of a new database is not a date.");
  }
  Header header;
  FillNewPage(header.plain_);
  std::memcpy(&header.plain_[kCreationDateOffset], &creation_date, sizeof creation_date);
  header.set_password(password);
  return header;
}

Page Header::Stored() const {
  Page out = plain_;
  Unmask(out);
  return out;
}

std::uint16_t Header::code_page() const { return GetU16(&plain_[kCodePageOffset]); }
std::uint32_t Header::database_key() const { return GetU32(&plain_[kKeyOffset]); }
std::uint32_t Header::sort_order() const { return GetU32(&plain_[kSortOrderOffset]); }

double Header::creation_date() const {
  double date = 0;
  std::memcpy(&date, &plain_[kCreationDateOffset], sizeof date);
  return date;
}

std::uint32_t Header::PasswordMask() const { return DateMask(creation_date()).value_or(0); }

std::u16string Header::password() const {
  const std::uint32_t mask = PasswordMask();
  std::u16string out;
  for (std::size_t i = 0; i < kPasswordBytes; i += 2) {
    const std::uint8_t lo =
        plain_[kPasswordOffset + i] ^ static_cast<std::uint8_t>(mask >> (8 * (i % 4)));
    const std::uint8_t hi =
        plain_[kPasswordOffset + i + 1] ^ static_cast<std::uint8_t>(mask >> (8 * ((i + 1) % 4)));
    const char16_t c = static_cast<char16_t>(lo | (hi << 8));
    if (c == 0) break;
    out.push_back(c);
  }
  return out;
}

void Header::set_password(std::u16string_view password) {
  CheckPassword(password);
  const std::uint32_t mask = PasswordMask();
  for (std::size_t i = 0; i < kPasswordBytes; ++i) {
    const char16_t c = i / 2 < password.size() ? password[i / 2] : u'\0';
    const auto byte = static_cast<std::uint8_t>(i % 2 == 0 ? c & 0xFF : c >> 8);
    plain_[kPasswordOffset + i] = byte ^ static_cast<std::uint8_t>(mask >> (8 * (i % 4)));
  }
}

}  // namespace cs::jetfile
