// A value read from or bound into a database: Null, an integer, a floating-point number or text.
// Dates are text "YYYY-MM-DD HH:MM:SS" marked as dates.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

namespace cs::db {

struct Value {
  std::variant<std::monostate, std::int64_t, double, std::string> data;
  bool is_date = false;

  bool IsNull() const { return std::holds_alternative<std::monostate>(data); }
  // The value as text: "" for Null, the digits of a number, the text itself.
  std::string ToText() const;

  static Value Text(std::string s) { return {std::move(s), false}; }
  static Value Date(std::string s) { return {std::move(s), true}; }
};

}  // namespace cs::db
