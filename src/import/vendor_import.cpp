// ImportFile, phase by phase. Every step is one operation of the error convention: Retry runs it
// again, Ignore goes on with the next, Abort leaves the import with the result it holds (False
// until all the database work is done and the current database holds it).
#include "core/source_names.h"
#include "db/database_access.h"
#include "import/date_text.h"
#include "import/file_date.h"
#include "import/import_steps.h"
#include "import/imports.h"
#include "import/statements.h"
#include "import/working_copy.h"
#include "schema/column_repair.h"
#include "schema/product_table.h"
#include "schema/table_from_ini.h"

namespace cs::import {
namespace {

using core::Procedure;

class VendorImport {
 public:
  VendorImport(const ImportRun& r, const std::string& FromFile, const std::string& ToFile,
               Procedure& p)
      : r_(r), run_(r.run), from_(FromFile), to_(ToFile), p_(p), cnn_(r.engine) {}

  // The two files' dates and the month-to-date rule. False when the rule refuses the file.
  bool Dates() {
    fromFileDate_ = FileDate(run_, r_.engine, from_);
    toFileDate_ = FileDate(run_, r_.engine, to_);
    run_.LOG("fromFileDate = " + fromFileDate_);
    run_.LOG("toFileDate = " + toFileDate_);
    FileKind kind = FileKind::kFull;
    p_.step([&] { kind = MonthToDateRule(run_, from_, fromFileDate_, toFileDate_); });
    mtd_ = kind == FileKind::kMonthToDate;
    return kind != FileKind::kRefused;
  }

  // The vendor's SKU prefix, written into the data file.
  void Prefix() {
    run_.Status("Opening Yield Warden Database");
    prefix_ = r_.registry.ProductValue("VendorPrefix_" + r_.NameShort);
    append_ = r_.registry.ProductValue("VendorAppendData_" + r_.NameShort);
    if (prefix_.empty()) {
      for (const std::string& name : {"VendorPrefix_" + r_.NameShort, "VendorAppendData_" + r_.NameShort}) {
        p_.step([&] {
          r_.registry.SetKeyValue(config::HKEY_CURRENT_USER, r_.registry.ProductKey, name,
                                  std::string(), config::REG_SZ);
        });
      }
      return;
    }
    const std::string sql = PrefixSkusStatement(prefix_);
    Open(from_);
    run_.LOG("Added Prefix " + prefix_);
    run_.LOG(sql);
    run_.Status("Setting " + r_.NameShort + " Sku Prefix");
    p_.step([&] { cnn_.Execute(sql, -1); });
    cnn_.Close();
  }

  // The receiving tables of the current database, its date and its list boxes.
  void ReceivingTables() {
    Open(to_);
    if (!append_.empty()) {
      const std::string sql = DeleteOldSkusStatement(prefix_);
      run_.Status("Clearing Old " + r_.NameShort + " Skus");
      run_.LOG("Removed Skus with Prefix");
      Run(sql);
    }
    if (mtd_) {
      db::DeleteTable("AceMTD", cnn_);
      schema::MaketblAce(run_, r_.registry, "AceMTD", cnn_);
      schema::FixColumns(run_, cnn_);
    } else {
      if (append_.empty()) {
        db::DeleteTable("Ace", cnn_);
        schema::MaketblAce(run_, r_.registry, "Ace", cnn_);
      }
      db::DeleteTable("PlanogramDetails", cnn_);
      schema::MaketblPlanogramDetails(run_, r_.registry, "PlanogramDetails", cnn_);
    }
    Run("DELETE * FROM AceFileDate");
    const std::string d = IsDate(fromFileDate_) ? fromFileDate_ : Today(run_.clock());
    Run("INSERT INTO AceFileDate ( FileDate ) VALUES ( #" + d + "# );");
    Run("DELETE * from ListBoxs;");
    cnn_.Close();
  }

  // The copy of the data file's tables into the current database.
  void Copy() {
    run_.Status(mtd_ ? "Processing MTD Data" : "Processing Monthly Data");
    Open(from_);
    if (mtd_) {
      Run(CopyInto(to_, "AceMTD", "Ace"));
    } else {
      Run(CopyInto(to_, "PlanogramDetails", "PlanogramDetails"));
      Run(CopyInto(to_, "Ace", "Ace"));
    }
    // Additional details: whatever fails here is passed over, and said in the log whatever -L says.
    core::IgnoreErrors(
        [&] {
          db::Connection current(r_.engine);
          current.Open(db::ConnectionString(to_), "", "", -1);
          db::DeleteTable("AdditionalDetails", current);
          schema::MakeTableFromINI(run_, r_.registry, "AdditionalDetails", current, "");
          current.Close();
        },
        [&](const std::string& error) { run_.AddToLog("AdditionalDetails was not made anew: " + error); });
    core::IgnoreErrors([&] { LogAndRun(run_, cnn_, CopyInto(to_, "AdditionalDetails", "AdditionalDetails")); },
                       [&](const std::string& error) { run_.AddToLog("AdditionalDetails was not copied: " + error); });
    cnn_.Close();
  }

  // The month-to-date merge.
  void Merge() {
    if (!mtd_) {
      run_.LOG("Is NOT Month to date");
      return;
    }
    run_.LOG("Is Month to date - Opening To DB");
    Open(to_);
    Run(kInsertNewSkus);
    Run(kUpdateKnownSkus);
    db::DeleteTable("AceMTD", cnn_);
    cnn_.Close();
  }

  // The vendor's date values, from the current database's date as it was before the import.
  void RegistryDates() {
    RecordVendorDates(r_, p_, toFileDate_);
    run_.LOG("Import Complete");
  }

 private:
  void Open(const std::string& path) {
    p_.step([&] { cnn_.Open(db::ConnectionString(path), "", "", -1); });
  }
  void Run(const std::string& sql) {
    p_.step([&] { LogAndRun(run_, cnn_, sql); });
  }

  const ImportRun& r_;
  core::RunContext& run_;
  const std::string& from_;
  const std::string& to_;
  Procedure& p_;
  db::Connection cnn_;
  std::string fromFileDate_, toFileDate_, prefix_, append_;
  bool mtd_ = false;
};

}  // namespace

bool ImportFile(const ImportRun& r, const std::string& FromFile, const std::string& ToFile) {
  WorkingCopy working(r.run, r.engine, ToFile);
  return core::RunProcedure(r.run, source::frmMain::ImportFile, false, [&](Procedure& p, bool& result) {
    p.step([&] { working.Lock(); });
    VendorImport import(r, FromFile, ToFile, p);
    if (!import.Dates()) return;
    p.step([&] { working.Make(); });
    import.Prefix();
    import.ReceivingTables();
    import.Copy();
    import.Merge();
    p.step([&] { working.Commit(); });
    // A commit that failed and was passed over wrote nothing: no success, and no dates for it.
    if (!working.Reached()) return;
    result = true;
    import.RegistryDates();
  });
}

}  // namespace cs::import
