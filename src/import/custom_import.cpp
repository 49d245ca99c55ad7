// ImportCustom, step by step, under the same error convention as ImportFile.
#include "app/source_names.h"
#include "db/database_access.h"
#include "import/file_date.h"
#include "import/import_safeguard.h"
#include "import/import_steps.h"
#include "import/imports.h"
#include "import/statements.h"
#include "schema/column_repair.h"
#include "schema/product_table.h"

namespace cs::import {
namespace {

bool ImportCustomSteps(app::frmMain& form, const std::string& FromFile,
                       const std::string& ToFile, ImportSafeguard& safeguard) {
  bool result = false;
  app::Guard guard(form.errors, source::frmMain::ImportCustom);
  db::Connection cnn(form.services.system.paths());
  const auto open = [&](const std::string& path) { cnn.Open(db::ConnectionString(path), "", "", -1); };
  const auto run = [&](const std::string& sql) { LogAndRun(form, cnn, sql); };

  std::string fromFileDate, toFileDate;
  if (!guard.Step([&] { fromFileDate = FileDate(form, FromFile); })) return result;
  if (!guard.Step([&] { toFileDate = FileDate(form, ToFile); })) return result;
  if (!guard.Step([&] { form.LOG("fromFileDate = " + fromFileDate); })) return result;
  if (!guard.Step([&] { form.LOG("toFileDate = " + toFileDate); })) return result;
  if (!guard.Step([&] { form.Status("Opening Yield Warden Database"); })) return result;
  if (!guard.Step([&] { safeguard.KeepCopy(); })) return result;

  // The staging table and the repair of Ace.
  if (!guard.Step([&] { open(ToFile); })) return result;
  if (!guard.Step([&] { db::DeleteTable("AceMTD", cnn); })) return result;
  if (!guard.Step([&] { schema::MaketblAce(form, "AceMTD", cnn); })) return result;
  if (!guard.Step([&] { schema::FixColumns(form, cnn); })) return result;
  if (!guard.Step([&] { cnn.Close(); })) return result;

  // The copy of the custom prices.
  if (!guard.Step([&] { form.Status("Processing Custom Data"); })) return result;
  if (!guard.Step([&] { open(FromFile); })) return result;
  if (!guard.Step([&] { run(CopyInto(ToFile, "AceMTD", "Ace")); })) return result;
  if (!guard.Step([&] { cnn.Close(); })) return result;
  if (!guard.Step([&] { open(ToFile); })) return result;

  // Comp5 from the prices, and its name.
  if (!guard.Step([&] { run(kClearComp5); })) return result;
  if (!guard.Step([&] { run(kSetComp5); })) return result;
  if (!guard.Step([&] { run(kNameComp5); })) return result;
  if (!guard.Step([&] { db::DeleteTable("AceMTD", cnn); })) return result;
  if (!guard.Step([&] { cnn.Close(); })) return result;
  result = true;

  if (!RecordVendorDates(form, guard, toFileDate)) return result;
  guard.Step([&] { form.LOG("Import Complete"); });
  return result;
}

}  // namespace

bool ImportCustom(app::frmMain& form, const std::string& FromFile, const std::string& ToFile) {
  ImportSafeguard safeguard(form, ToFile, source::frmMain::ImportCustom);
  const bool result = ImportCustomSteps(form, FromFile, ToFile, safeguard);
  safeguard.Finish(result);
  return result;
}

}  // namespace cs::import
