#include "db/value.h"

#include <cstdio>

namespace cs::db {

std::string Value::ToText() const {
  if (const auto* i = std::get_if<std::int64_t>(&data)) return std::to_string(*i);
  if (const auto* d = std::get_if<double>(&data)) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.15g", *d);
    return buf;
  }
  if (const auto* s = std::get_if<std::string>(&data)) return *s;
  return {};
}

}  // namespace cs::db
