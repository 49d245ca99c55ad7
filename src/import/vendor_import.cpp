// ImportFile, step by step. Each step is one operation of the error convention: Retry runs it
// again, Ignore goes on with the next, Abort leaves with the result held (False until all the
// database work is done).
#include "app/source_names.h"
#include "db/database_access.h"
#include "import/date_text.h"
#include "import/file_date.h"
#include "import/import_safeguard.h"
#include "import/import_steps.h"
#include "import/imports.h"
#include "import/statements.h"
#include "schema/column_repair.h"
#include "schema/product_table.h"
#include "schema/table_from_ini.h"

namespace cs::import {
namespace {

bool ImportFileSteps(app::frmMain& form, const std::string& FromFile, const std::string& ToFile,
                     ImportSafeguard& safeguard) {
  bool result = false;
  app::Guard guard(form.errors, source::frmMain::ImportFile);
  db::Connection cnn(form.services.system.paths());
  const auto open = [&](const std::string& path) { cnn.Open(db::ConnectionString(path), "", "", -1); };
  const auto run = [&](const std::string& sql) { LogAndRun(form, cnn, sql); };

  // 1-3: the dates and the month-to-date rule.
  std::string fromFileDate, toFileDate;
  FileKind kind = FileKind::kFull;
  if (!guard.Step([&] { fromFileDate = FileDate(form, FromFile); })) return result;
  if (!guard.Step([&] { toFileDate = FileDate(form, ToFile); })) return result;
  if (!guard.Step([&] { form.LOG("fromFileDate = " + fromFileDate); })) return result;
  if (!guard.Step([&] { form.LOG("toFileDate = " + toFileDate); })) return result;
  if (!guard.Step([&] { kind = MonthToDateRule(form, FromFile, fromFileDate, toFileDate); })) return result;
  if (kind == FileKind::kRefused) return result;
  const bool mtd = kind == FileKind::kMonthToDate;
  if (!guard.Step([&] { safeguard.KeepCopy(); })) return result;

  // 4-5: the vendor's prefix, written into the data file.
  if (!guard.Step([&] { form.Status("Opening Yield Warden Database"); })) return result;
  const std::string short_name = form.Vendor->NameShort();
  std::string prefix, append;
  if (!guard.Step([&] { prefix = form.registry.ProductValue("VendorPrefix_" + short_name); })) return result;
  if (!guard.Step([&] { append = form.registry.ProductValue("VendorAppendData_" + short_name); })) return result;
  if (!prefix.empty()) {
    const std::string sql = PrefixSkusStatement(prefix);
    if (!guard.Step([&] { open(FromFile); })) return result;
    if (!guard.Step([&] { form.LOG("Added Prefix " + prefix); })) return result;
    if (!guard.Step([&] { form.LOG(sql); })) return result;
    if (!guard.Step([&] { form.Status("Setting " + short_name + " Sku Prefix"); })) return result;
    if (!guard.Step([&] { cnn.Execute(sql, -1); })) return result;
    if (!guard.Step([&] { cnn.Close(); })) return result;
  } else {
    for (const std::string& name : {"VendorPrefix_" + short_name, "VendorAppendData_" + short_name}) {
      if (!guard.Step([&] {
            form.registry.SetKeyValue(config::HKEY_CURRENT_USER, form.registry.ProductKey, name,
                                      std::string(), config::REG_SZ);
          })) {
        return result;
      }
    }
  }

  // 6-12: the receiving tables and the date of the current database.
  if (!guard.Step([&] { open(ToFile); })) return result;
  if (!append.empty()) {
    const std::string sql = DeleteOldSkusStatement(prefix);
    if (!guard.Step([&] { form.Status("Clearing Old " + short_name + " Skus"); })) return result;
    if (!guard.Step([&] { form.LOG("Removed Skus with Prefix"); })) return result;
    if (!guard.Step([&] { run(sql); })) return result;
  }
  if (mtd) {
    if (!guard.Step([&] { db::DeleteTable("AceMTD", cnn); })) return result;
    if (!guard.Step([&] { schema::MaketblAce(form, "AceMTD", cnn); })) return result;
    if (!guard.Step([&] { schema::FixColumns(form, cnn); })) return result;
  } else {
    if (append.empty()) {
      if (!guard.Step([&] { db::DeleteTable("Ace", cnn); })) return result;
      if (!guard.Step([&] { schema::MaketblAce(form, "Ace", cnn); })) return result;
    }
    if (!guard.Step([&] { db::DeleteTable("PlanogramDetails", cnn); })) return result;
    if (!guard.Step([&] { schema::MaketblPlanogramDetails(form, "PlanogramDetails", cnn); })) return result;
  }
  if (!guard.Step([&] { run("DELETE * FROM AceFileDate"); })) return result;
  if (!guard.Step([&] {
        const std::string d = IsDate(fromFileDate) ? fromFileDate : Today(form.services.clock);
        run("INSERT INTO AceFileDate ( FileDate ) VALUES ( #" + d + "# );");
      })) {
    return result;
  }
  if (!guard.Step([&] { run("DELETE * from ListBoxs;"); })) return result;
  if (!guard.Step([&] { cnn.Close(); })) return result;

  // 13-17: the copy from the data file.
  if (!guard.Step([&] { form.Status(mtd ? "Processing MTD Data" : "Processing Monthly Data"); })) return result;
  if (!guard.Step([&] { open(FromFile); })) return result;
  if (mtd) {
    if (!guard.Step([&] { run(CopyInto(ToFile, "AceMTD", "Ace")); })) return result;
  } else {
    if (!guard.Step([&] { run(CopyInto(ToFile, "PlanogramDetails", "PlanogramDetails")); })) return result;
    if (!guard.Step([&] { run(CopyInto(ToFile, "Ace", "Ace")); })) return result;
  }
  // Additional details: whatever fails here is passed over.
  app::IgnoreErrors([&] {
    db::Connection current(form.services.system.paths());
    current.Open(db::ConnectionString(ToFile), "", "", -1);
    db::DeleteTable("AdditionalDetails", current);
    schema::MakeTableFromINI(form, "AdditionalDetails", current, "");
    current.Close();
  });
  app::IgnoreErrors([&] { run(CopyInto(ToFile, "AdditionalDetails", "AdditionalDetails")); });
  if (!guard.Step([&] { cnn.Close(); })) return result;

  // 18: the month-to-date merge.
  if (mtd) {
    if (!guard.Step([&] { form.LOG("Is Month to date - Opening To DB"); })) return result;
    if (!guard.Step([&] { open(ToFile); })) return result;
    if (!guard.Step([&] { run(kInsertNewSkus); })) return result;
    if (!guard.Step([&] { run(kUpdateKnownSkus); })) return result;
    if (!guard.Step([&] { db::DeleteTable("AceMTD", cnn); })) return result;
    if (!guard.Step([&] { cnn.Close(); })) return result;
  } else {
    if (!guard.Step([&] { form.LOG("Is NOT Month to date"); })) return result;
  }

  // 19-21.
  result = true;
  if (!RecordVendorDates(form, guard, toFileDate)) return result;
  guard.Step([&] { form.LOG("Import Complete"); });
  return result;
}

}  // namespace

bool ImportFile(app::frmMain& form, const std::string& FromFile, const std::string& ToFile) {
  ImportSafeguard safeguard(form, ToFile, source::frmMain::ImportFile);
  const bool result = ImportFileSteps(form, FromFile, ToFile, safeguard);
  safeguard.Finish(result);
  return result;
}

}  // namespace cs::import
