#include "config/conversions.h"

#include <cmath>
#include <cstdlib>
#include <string>

#include "platform/run_error.h"
#include "platform/text.h"

namespace cs::config {
namespace {

[[noreturn]] void TypeMismatch() { throw RunError(err::kTypeMismatch, "Type mismatch"); }

// The number a text holds, rounded half to even; throws on text that is not a number.
double RoundedNumber(std::string_view text) {
  const std::string t(platform::Trim(text, " \t"));
  if (t.empty()) TypeMismatch();
  if (t.size() > 2 && (t[0] == '&') && (t[1] == 'H' || t[1] == 'h')) {
    char* end = nullptr;
    const unsigned long long v = std::strtoull(t.c_str() + 2, &end, 16);
    if (*end != '\0' || t.size() > 2 + 8) TypeMismatch();
    // &H numbers of up to 4 digits are 16-bit, of up to 8 digits 32-bit, both signed.
    if (t.size() <= 2 + 4) return static_cast<double>(static_cast<std::int16_t>(v));
    return static_cast<double>(static_cast<std::int32_t>(v));
  }
  // Only plain decimal notation: digits with an optional sign, point and exponent.
  for (const char c : t) {
    if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.' ||
          c == 'e' || c == 'E')) {
      TypeMismatch();
    }
  }
  char* end = nullptr;
  const double v = std::strtod(t.c_str(), &end);
  if (end == t.c_str() || *end != '\0' || !std::isfinite(v)) TypeMismatch();
  return std::nearbyint(v);  // the default rounding mode rounds half to even
}

}  // namespace

std::int16_t CInt(std::string_view text) {
  const double v = RoundedNumber(text);
  if (v < -32768.0 || v > 32767.0) throw RunError(err::kOverflow, "Overflow");
  return static_cast<std::int16_t>(v);
}

std::int32_t CLng(std::string_view text) {
  const double v = RoundedNumber(text);
  if (v < -2147483648.0 || v > 2147483647.0) throw RunError(err::kOverflow, "Overflow");
  return static_cast<std::int32_t>(v);
}

std::int32_t CLng(const RegistryValue& value) {
  if (const auto* i = std::get_if<std::int32_t>(&value)) return *i;
  if (const auto* s = std::get_if<std::string>(&value)) return CLng(std::string_view(*s));
  return 0;
}

bool CBool(std::string_view text) {
  const std::string_view t = platform::Trim(text, " \t");
  if (platform::EqualsNoCase(t, "True")) return true;
  if (platform::EqualsNoCase(t, "False")) return false;
  const std::string s(t);
  char* end = nullptr;
  const double v = std::strtod(s.c_str(), &end);
  if (s.empty() || *end != '\0' || !std::isfinite(v)) TypeMismatch();
  return v != 0.0;
}

}  // namespace cs::config
