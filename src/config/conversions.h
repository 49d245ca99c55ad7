// The conversions of text that the settings rely on, with the run-time's rules: surrounding
// blanks are allowed, a fraction is rounded half to even, "&H" introduces hexadecimal digits.
// A text that is not a number throws RunError 13 (Type mismatch); a number out of range throws
// RunError 6 (Overflow).
#pragma once

#include <cstdint>
#include <string_view>

#include "config/registry.h"

namespace cs::config {

std::int16_t CInt(std::string_view text);
std::int32_t CLng(std::string_view text);
std::int32_t CLng(const RegistryValue& value);

// "True" and "False" in any case, or a number (0 is false, any other number true).
bool CBool(std::string_view text);

}  // namespace cs::config
