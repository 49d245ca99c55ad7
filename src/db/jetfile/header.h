// The first page of a Jet database: which Jet it is, and the page-encoding key and database
// password that its header keeps.
//
// Page 0 begins 00 01 00 00 "Standard Jet DB" 00; byte 0x14 is the version (0 Jet 3, pages of
// 2,048 bytes; 1 Jet 4, pages of 4,096 bytes). From offset 0x18, 126 bytes (Jet 3) or 128 bytes
// (Jet 4) are hidden under the RC4 key stream of the fixed key C7 DA 39 6B. In the revealed bytes
// 0x3E holds the 32-bit page-encoding key (0: the pages are plain) and 0x42 the password: 20
// bytes of Windows-1252 text in Jet 3; in Jet 4, 40 bytes of UTF-16LE, each byte i further XORed
// with byte i mod 4 of the whole part of the creation date (the double at 0x72), as a 32-bit
// little-endian integer. A field that reveals all zeros means no password; otherwise the
// password ends at its first NUL character.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

namespace cs::db::jetfile {

enum class JetVersion { kJet3, kJet4 };

// The bytes of page 0 that DecodeHeader needs.
inline constexpr std::size_t kHeaderBytes = 0x18 + 128;

// The Jet version a file's first bytes announce. Nothing for anything that is not a Jet 3 or
// Jet 4 database (another file, too few bytes, a later Access format).
std::optional<JetVersion> JetVersionOf(std::span<const std::uint8_t> first_bytes);

// True when the first bytes are those of an Access 2007 or later database (.accdb): "Standard
// ACE DB", or the Jet signature with a version after Jet 4. Such files are neither read nor
// written by this program.
bool IsLaterAccessDatabase(std::span<const std::uint8_t> first_bytes);

// The same, of a file (a host path); false when it cannot be read or is not a regular file.
bool IsLaterAccessFile(const std::filesystem::path& file);

struct JetHeader {
  JetVersion version = JetVersion::kJet4;
  std::uint32_t page_key = 0;           // 0 when the pages are not encoded
  std::optional<std::string> password;  // UTF-8; nothing when the database has none
};

// Decodes the header of page 0. Nothing when the bytes are not a Jet 3 or Jet 4 header (or are
// fewer than kHeaderBytes), or the password field does not decode.
std::optional<JetHeader> DecodeHeader(std::span<const std::uint8_t> page0);

// True when a database with this header opens with the given password: it has none, or exactly
// this one (Jet compares passwords with regard to letter case).
bool PasswordOpens(const JetHeader& header, const std::string& given);

// Reads and decodes the header of a file (a host path). Nothing when the file cannot be read or
// is not a Jet 3 or Jet 4 database.
std::optional<JetHeader> ReadHeader(const std::filesystem::path& file);

// Checks the password of a Jet file (a host path) from its header alone, before anything else is
// read: RunError "Unrecognized database format '<shown_path>'." when it is not a Jet 3 or Jet 4
// database, "Not a valid password." when the password does not open it.
void CheckPassword(const std::filesystem::path& file, const std::string& shown_path,
                   const std::string& password);

}  // namespace cs::db::jetfile
