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
  return guard.Step([&] {
           registry.SetKeyValue(config::HKEY_CURRENT_USER, registry.PriceFilesKey,
                                form.RunVendorName, Yyyymmdd(*date), config::REG_SZ);
         }) &&
         guard.Step([&] {
           registry.SetKeyValue(config::HKEY_CURRENT_USER, registry.PriceFilesKey,
                                form.RunVendorName + "InstallDate", MmDdYyyy(*date),
                                config::REG_SZ);
         });
}

}  // namespace cs::import
