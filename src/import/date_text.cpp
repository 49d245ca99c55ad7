#include "import/date_text.h"

#include <cstdio>

#include "db/jet/types.h"
#include "platform/run_error.h"

namespace cs::import {

std::optional<Date> ReadDate(const std::string& text) {
  // The engine's own date literal reader knows both forms and the calendar.
  const auto iso = db::jet::ParseDateLiteral(text);
  if (!iso) return std::nullopt;
  Date d;
  if (std::sscanf(iso->c_str(), "%d-%d-%d %d:%d:%d", &d.year, &d.month, &d.day, &d.hour, &d.minute,
                  &d.second) != 6) {
    return std::nullopt;
  }
  return d;
}

std::string ShortDate(const Date& date) {
  char buf[48];
  int n = std::snprintf(buf, sizeof buf, "%d/%d/%d", date.month, date.day, date.year);
  if (date.hour != 0 || date.minute != 0 || date.second != 0) {
    const int h12 = date.hour % 12 == 0 ? 12 : date.hour % 12;
    std::snprintf(buf + n, sizeof buf - static_cast<std::size_t>(n), " %d:%02d:%02d %s", h12,
                  date.minute, date.second, date.hour < 12 ? "AM" : "PM");
  }
  return buf;
}

std::string DateValueText(const db::Value& value) {
  if (value.IsNull()) throw RunError(err::kInvalidUseOfNull, "Invalid use of Null");
  const std::string text = value.ToText();
  if (value.is_date) {
    if (const auto d = ReadDate(text)) return ShortDate(*d);
  }
  return text;
}

std::string Today(platform::Clock& clock) {
  const platform::LocalTime now = clock.Now();
  return ShortDate(Date{now.year, now.month, now.day, 0, 0, 0});
}

std::string Yyyymmdd(const Date& date) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d", date.year, date.month, date.day);
  return buf;
}

std::string MmDdYyyy(const Date& date) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d/%02d/%04d", date.month, date.day, date.year);
  return buf;
}

}  // namespace cs::import
