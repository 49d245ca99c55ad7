// The building blocks every structure of a Jet 4 file is made of: its page size, page numbers,
// the byte orders its fields use, and the error a damaged or unsupported file raises.
//
// Jet 4 stores its fields little-endian, except index keys and the page pointers inside index
// entries, which are big-endian so that keys compare bytewise.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace cs::jetfile {

inline constexpr std::size_t kPageSize = 4096;

using PageNumber = std::uint32_t;
using Page = std::array<std::uint8_t, kPageSize>;
using Bytes = std::vector<std::uint8_t>;

// Where a row lives: its data page and its number in that page's row table.
struct RowPointer {
  PageNumber page = 0;
  std::uint8_t row = 0;
  bool operator==(const RowPointer&) const = default;
  auto operator<=>(const RowPointer&) const = default;
};

// A file that is not a sound Jet 4 file, or holds what this layer does not write. The message
// says what was found and where; nothing has been written when it is thrown.
class FormatError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline std::uint16_t GetU16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t GetU24(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16);
}
inline std::uint32_t GetU32(const std::uint8_t* p) {
  return GetU24(p) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline void PutU16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void PutU24(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
  p[2] = static_cast<std::uint8_t>(v >> 16);
}
inline void PutU32(std::uint8_t* p, std::uint32_t v) {
  PutU24(p, v);
  p[3] = static_cast<std::uint8_t>(v >> 24);
}
inline std::uint32_t GetU24BigEndian(const std::uint8_t* p) {
  return (static_cast<std::uint32_t>(p[0]) << 16) | (static_cast<std::uint32_t>(p[1]) << 8) |
         static_cast<std::uint32_t>(p[2]);
}
inline std::uint32_t GetU32BigEndian(const std::uint8_t* p) {
  return (static_cast<std::uint32_t>(p[0]) << 24) | GetU24BigEndian(p + 1);
}
inline void PutU24BigEndian(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 16);
  p[1] = static_cast<std::uint8_t>(v >> 8);
  p[2] = static_cast<std::uint8_t>(v);
}
inline void PutU32BigEndian(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 24);
  PutU24BigEndian(p + 1, v);
}

}  // namespace cs::jetfile
