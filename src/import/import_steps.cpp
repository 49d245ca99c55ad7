#include "import/import_steps.h"

#include "import/date_text.h"

namespace cs::import {

void LogAndRun(core::RunContext& run, db::Connection& cnn, const std::string& sql) {
  run.LOG(sql);
  cnn.Execute(sql, -1);
}

void RecordVendorDates(const ImportRun& r, core::Procedure& p, const std::string& toFileDate) {
  const auto date = ReadDate(toFileDate);
  if (!date) return;
  const auto record = [&](const std::string& name, const std::string& value) {
    const long status = r.registry.SetKeyValue(config::HKEY_CURRENT_USER, r.registry.PriceFilesKey,
                                               name, value, config::REG_SZ);
    if (status != 0) {
      r.run.AddToLog(config::Registry::NotRecordedReport(r.registry.PriceFilesKey, name, value, status));
    }
  };
  p.step([&] { record(r.RunVendorName, Yyyymmdd(*date)); });
  p.step([&] { record(r.RunVendorName + "InstallDate", MmDdYyyy(*date)); });
}

}  // namespace cs::import
