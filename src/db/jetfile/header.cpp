#include "db/jetfile/header.h"

#include <array>
#include <cmath>
#include <cstring>
#include <fstream>
#include <vector>

#include "db/jet/errors.h"
#include "jetfile/rc4.h"
#include "db/jetfile/values.h"

namespace cs::db::jetfile {
namespace {

constexpr std::uint8_t kHeaderKey[] = {0xC7, 0xDA, 0x39, 0x6B};
constexpr std::uint8_t kSignature[] = {0x00, 0x01, 0x00, 0x00, 'S', 't', 'a', 'n', 'd', 'a',
                                       'r',  'd',  ' ',  'J',  'e', 't', ' ', 'D', 'B', 0x00};
constexpr std::size_t kVersionOffset = 0x14;
constexpr std::size_t kHiddenOffset = 0x18;
constexpr std::size_t kKeyOffset = 0x3E;
constexpr std::size_t kPasswordOffset = 0x42;
constexpr std::size_t kCreationDateOffset = 0x72;

std::uint32_t Le32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

}  // namespace

std::optional<JetVersion> JetVersionOf(std::span<const std::uint8_t> first_bytes) {
  if (first_bytes.size() <= kVersionOffset) return std::nullopt;
  if (std::memcmp(first_bytes.data(), kSignature, sizeof kSignature) != 0) return std::nullopt;
  switch (first_bytes[kVersionOffset]) {
    case 0:
      return JetVersion::kJet3;
    case 1:
      return JetVersion::kJet4;
    default:
      return std::nullopt;
  }
}

bool IsLaterAccessDatabase(std::span<const std::uint8_t> first_bytes) {
  constexpr std::uint8_t kAce[] = {0x00, 0x01, 0x00, 0x00, 'S', 't', 'a', 'n', 'd', 'a',
                                   'r',  'd',  ' ',  'A',  'C', 'E', ' ', 'D', 'B', 0x00};
  if (first_bytes.size() <= kVersionOffset) return false;
  if (std::memcmp(first_bytes.data(), kAce, sizeof kAce) == 0) return true;
  return std::memcmp(first_bytes.data(), kSignature, sizeof kSignature) == 0 && first_bytes[kVersionOffset] > 1;
}

bool IsLaterAccessFile(const std::filesystem::path& file) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(file, ec)) return false;
  std::ifstream in(file, std::ios::binary);
  std::vector<std::uint8_t> bytes(kVersionOffset + 1);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return in.gcount() == static_cast<std::streamsize>(bytes.size()) && IsLaterAccessDatabase(bytes);
}

std::optional<JetHeader> DecodeHeader(std::span<const std::uint8_t> page0) {
  const auto version = JetVersionOf(page0);
  if (!version || page0.size() < kHeaderBytes) return std::nullopt;
  std::array<std::uint8_t, kHeaderBytes> h;
  std::memcpy(h.data(), page0.data(), h.size());
  const std::size_t hidden = *version == JetVersion::kJet3 ? 126 : 128;
  cs::jetfile::Rc4Apply(kHeaderKey, std::span(h).subspan(kHiddenOffset, hidden));

  JetHeader header;
  header.version = *version;
  header.page_key = Le32(&h[kKeyOffset]);
  if (*version == JetVersion::kJet3) {
    const std::span field(&h[kPasswordOffset], 20);
    std::size_t end = 0;
    while (end < field.size() && field[end] != 0) ++end;
    if (end > 0) header.password = Windows1252ToUtf8(field.first(end));
    return header;
  }
  double created = 0;
  std::memcpy(&created, &h[kCreationDateOffset], sizeof created);
  // The whole part as a 32-bit integer; a damaged date gives some other mask, and so a password
  // that matches nothing, never undefined behaviour.
  const double whole = std::trunc(created);
  const std::uint32_t mask = std::isfinite(whole) && std::fabs(whole) < 2147483648.0
                                 ? static_cast<std::uint32_t>(static_cast<std::int32_t>(whole))
                                 : 0;
  std::array<std::uint8_t, 40> field;
  for (std::size_t i = 0; i < field.size(); ++i) {
    field[i] = h[kPasswordOffset + i] ^ static_cast<std::uint8_t>(mask >> (8 * (i % 4)));
  }
  std::size_t end = 0;
  while (end + 1 < field.size() && (field[end] != 0 || field[end + 1] != 0)) end += 2;
  if (end == 0) return header;
  auto password = Utf16LeToUtf8(std::span(field).first(end));
  if (!password) return std::nullopt;
  header.password = std::move(password);
  return header;
}

bool PasswordOpens(const JetHeader& header, const std::string& given) {
  return !header.password || *header.password == given;
}

std::optional<JetHeader> ReadHeader(const std::filesystem::path& file) {
  // Opening a pipe or a device for reading could wait forever; only regular files are read.
  std::error_code ec;
  if (!std::filesystem::is_regular_file(file, ec)) return std::nullopt;
  std::ifstream in(file, std::ios::binary);
  std::vector<std::uint8_t> bytes(kHeaderBytes);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (in.gcount() != static_cast<std::streamsize>(bytes.size())) return std::nullopt;
  return DecodeHeader(bytes);
}

void CheckPassword(const std::filesystem::path& file, const std::string& shown_path,
                   const std::string& password) {
  const auto header = ReadHeader(file);
  if (!header) throw jet::NotADatabase(shown_path);
  if (!PasswordOpens(*header, password)) throw jet::WrongPassword();
}

}  // namespace cs::db::jetfile
