// Bytes written as hex ("7F 3C 40"), for the expected values of the format's tests.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "jetfile/format.h"

namespace cs::jetfile::testing {

inline Bytes Hex(std::string_view text) {
  Bytes out;
  for (std::size_t i = 0; i + 1 < text.size(); i += 3) {
    out.push_back(
        static_cast<std::uint8_t>(std::stoi(std::string(text.substr(i, 2)), nullptr, 16)));
  }
  return out;
}

inline std::string ToHex(const Bytes& bytes) {
  std::string out;
  char two[4];
  for (std::uint8_t b : bytes) {
    std::snprintf(two, sizeof two, "%02X ", b);
    out += two;
  }
  if (!out.empty()) out.pop_back();
  return out;
}

}  // namespace cs::jetfile::testing
