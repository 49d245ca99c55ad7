// Dates as the imports pass them between each other: text in the short date form month/day/year
// without leading zeros ("1/1/2006"), a time of day after a blank when there is one
// ("3/1/2007 1:30:00 PM"). Empty text means that reading a date failed.
#pragma once

#include <optional>
#include <string>

#include "db/value.h"
#include "platform/clock.h"

namespace cs::import {

struct Date {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// The default date of a database whose date table has no rows.
inline constexpr char kDefaultDate[] = "1/1/2006";

// Reads a date text: month/day/year (two- or four-digit year) or year-month-day, a time optional.
// Nothing when the text is no valid date.
std::optional<Date> ReadDate(const std::string& text);

// True when the text reads as a date.
inline bool IsDate(const std::string& text) { return ReadDate(text).has_value(); }

// The short date form of a date, its time added when it has one.
std::string ShortDate(const Date& date);

// The text of a value read from a date column: its short date form for a stored date, the
// value's own text otherwise. Throws for Null, which has no text.
std::string DateValueText(const db::Value& value);

// Today's date in the short date form.
std::string Today(platform::Clock& clock);

// "YYYYMMDD" and "MM/DD/YYYY".
std::string Yyyymmdd(const Date& date);
std::string MmDdYyyy(const Date& date);

}  // namespace cs::import
