// The date of the Ace data a database holds (its one-row table AceFileDate), and the rule that
// lets a month-to-date file in only when it is of the current database's month.
#pragma once

#include <string>

#include "core/run_context.h"
#include "db/engine.h"

namespace cs::import {

// The date text of the first row of AceFileDate in the database at `path`: "1/1/2006" for an
// empty table, "" when the date cannot be read. Never fails; shows the status
// "Validating Database File".
std::string FileDate(core::RunContext& run, db::Engine& engine, const std::string& path);

enum class FileKind { kFull, kMonthToDate, kRefused };

// The month-to-date rule: a path holding "MTD" (letter case significant) is a month-to-date
// file, accepted only when both dates read and lie in the same month of the same year. A file of
// another month is refused with its message box and status; an unreadable date, silently.
FileKind MonthToDateRule(core::RunContext& run, const std::string& path,
                         const std::string& fromFileDate, const std::string& toFileDate);

// The box a month-to-date file of another month is refused with.
inline constexpr char kInvalidMtdMessage[] =
    "Month to Date Files require exisiting data \r\n"
    "from the current month.  This update file is\r\n"
    "invalid for your current database.\r\n"
    "\r\n"
    "Download and install the FULL Data Update.";

}  // namespace cs::import
