#include "import/file_date.h"

#include "db/connection.h"
#include "db/database_access.h"
#include "import/date_text.h"

namespace cs::import {

std::string FileDate(app::frmMain& form, const std::string& path) {
  std::string result;
  try {
    form.Status("Validating Database File");
    db::Connection cnn(form.services.system.paths());
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

FileKind MonthToDateRule(app::frmMain& form, const std::string& path,
                         const std::string& fromFileDate, const std::string& toFileDate) {
  if (path.find("MTD") == std::string::npos) return FileKind::kFull;
  form.LOG("File is MTD");
  const auto from = ReadDate(fromFileDate);
  const auto to = ReadDate(toFileDate);
  if (!from || !to) return FileKind::kRefused;
  if (from->year != to->year || from->month != to->month) {
    form.services.ui.MessageBox(kInvalidMtdMessage, app::kAppTitle, platform::Icon::kCritical,
                                platform::Buttons::kOk);
    form.Status("Invalid Dates for Incremental Update - FAILURE");
    return FileKind::kRefused;
  }
  return FileKind::kMonthToDate;
}

}  // namespace cs::import
