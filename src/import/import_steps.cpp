#include "import/import_steps.h"

#include "import/date_text.h"

namespace cs::import {

void LogAndRun(app::frmMain& form, db::Connection& cnn, const std::string& sql) {
  form.LOG(sql);
  cnn.Execute(sql, -1);
}

bool RecordVendorDates(app::frmMain& form, app::Guard& guard, const std::string& toFileDate) {
  const auto date = ReadDate(toFileDate);
  if (!date) return true;
  auto& registry = form.registry;
  const auto record = [&](const std::string& name, const std::string& value) {
    const long status = registry.SetKeyValue(config::HKEY_CURRENT_USER, registry.PriceFilesKey,
                                             name, value, config::REG_SZ);
    if (status != 0) {
      std::string report =
          config::Registry::NotRecordedReport(registry.PriceFilesKey, name, value, status);
      form.log.AddToLog(report);
    }
  };
  return guard.Step([&] { record(form.RunVendorName, Yyyymmdd(*date)); }) &&
         guard.Step([&] { record(form.RunVendorName + "InstallDate", MmDdYyyy(*date)); });
}

}  // namespace cs::import
