// ImportCustom, step by step, under the same error convention as ImportFile.
#include "core/source_names.h"
#include "db/database_access.h"
#include "import/file_date.h"
#include "import/import_steps.h"
#include "import/imports.h"
#include "import/statements.h"
#include "import/working_copy.h"
#include "schema/column_repair.h"
#include "schema/product_table.h"

namespace cs::import {

bool ImportCustom(const ImportRun& r, const std::string& FromFile, const std::string& ToFile) {
  core::RunContext& run = r.run;
  WorkingCopy working(run, r.engine, ToFile);
  db::Connection cnn(r.engine);
  return core::RunProcedure(run, source::frmMain::ImportCustom, false, [&](core::Procedure& p, bool& result) {
    const auto open = [&](const std::string& path) {
      p.step([&] { cnn.Open(db::ConnectionString(path), "", "", -1); });
    };
    const auto execute = [&](const std::string& sql) { p.step([&] { LogAndRun(run, cnn, sql); }); };

    p.step([&] { working.Lock(); });
    const std::string fromFileDate = FileDate(run, r.engine, FromFile);
    const std::string toFileDate = FileDate(run, r.engine, ToFile);
    run.LOG("fromFileDate = " + fromFileDate);
    run.LOG("toFileDate = " + toFileDate);
    run.Status("Opening Yield Warden Database");
    p.step([&] { working.Make(); });

    // The staging table and the repair of Ace.
    open(ToFile);
    db::DeleteTable("AceMTD", cnn);
    schema::MaketblAce(run, r.registry, "AceMTD", cnn);
    schema::FixColumns(run, cnn);
    cnn.Close();

    // The copy of the custom prices.
    run.Status("Processing Custom Data");
    open(FromFile);
    execute(CopyInto(ToFile, "AceMTD", "Ace"));
    cnn.Close();

    // Comp5 from the prices, and its name.
    open(ToFile);
    execute(kClearComp5);
    execute(kSetComp5);
    execute(kNameComp5);
    db::DeleteTable("AceMTD", cnn);
    cnn.Close();
    p.step([&] { working.Commit(); });
    // A commit that failed and was passed over wrote nothing: no success, and no dates for it.
    if (!working.Reached()) return;
    result = true;

    RecordVendorDates(r, p, toFileDate);
    run.LOG("Import Complete");
  });
}

}  // namespace cs::import
