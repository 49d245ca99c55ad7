#include "import/file_date.h"

#include "db/connection.h"
#include "db/connection_string.h"
#include "import/date_text.h"

namespace cs::import {

std::string FileDate(core::RunContext& run, db::Engine& engine, const std::string& path) {
  std::string result;
  try {
    run.Status("Validating Database File");
    db::Connection cnn(engine);
    cnn.Open(db::ConnectionString(path), "", "", -1);
    db::Recordset rs;
    rs.Open("SELECT FileDate FROM AceFileDate;", cnn, db::adOpenKeyset, db::adLockOptimistic);
    if (rs.Bof() && rs.Eof()) {
      result = kDefaultDate;
    } else {
      result = DateValueText(rs.Fields("FileDate"));
    }
    rs.Close();
    cnn.Close();
  } catch (const std::exception&) {
    result.clear();
  }
  return result;
}

FileKind MonthToDateRule(core::RunContext& run, const std::string& path,
                         const std::string& fromFileDate, const std::string& toFileDate) {
  if (path.find("MTD") == std::string::npos) return FileKind::kFull;
  run.LOG("File is MTD");
  const auto from = ReadDate(fromFileDate);
  const auto to = ReadDate(toFileDate);
  if (!from || !to) return FileKind::kRefused;
  if (from->year != to->year || from->month != to->month) {
    run.MessageBox(kInvalidMtdMessage, core::kAppTitle, platform::Icon::kCritical,
                   platform::Buttons::kOk);
    run.Status("Invalid Dates for Incremental Update - FAILURE");
    return FileKind::kRefused;
  }
  return FileKind::kMonthToDate;
}

}  // namespace cs::import
