// The vendor data import on real database files, checked in the databases, the registry and the
// log afterwards.
#include <thread>

#include "import/file_date.h"
#include "import/imports.h"
#include "import/statements.h"
#include "config/ini_file.h"
#include "schema/product_table.h"
#include "import_support.h"

namespace cs {
namespace {

using test::kCurrentDb;
using test::kMaskedLink;
using ywdata::DataKind;
using ywdata::DataOptions;

class VendorImportTest : public test::ImportTest {};

TEST_F(VendorImportTest, FullFileReplacesTheProductTablesAndRecordsTheOldDate) {
  MakeCurrent({.rows = 20, .date = "2/1/2007"});
  const std::string data = MakeData("ACEDATA0307.YW", DataKind::kFull,
                                    {.rows = 30, .first_sku = 2000000, .date = "3/1/2007"});
  ASSERT_TRUE(import::ImportFile(Import(), data, kCurrentDb));
  const auto log = LogMessages();

  EXPECT_EQ(Rows(kCurrentDb, "SELECT SKU FROM Ace", {"SKU"}), Rows(data, "SELECT SKU FROM Ace", {"SKU"}));
  EXPECT_EQ(Count(kCurrentDb, "Ace"), 30u);
  EXPECT_EQ(DumpCurrent("Ace"), Dump(Host("DATA/ACEDATA0307.YW"), "Ace"));
  EXPECT_EQ(DumpCurrent("PlanogramDetails"), Dump(Host("DATA/ACEDATA0307.YW"), "PlanogramDetails"));
  EXPECT_EQ(DumpCurrent("AdditionalDetails"), Dump(Host("DATA/ACEDATA0307.YW"), "AdditionalDetails"));
  EXPECT_EQ(Count(kCurrentDb, "ListBoxs"), 0u);
  EXPECT_EQ(FileDate(kCurrentDb), "3/1/2007");
  EXPECT_EQ(Count(kCurrentDb, "AceFileDate"), 1u);
  // The registry holds the date the current database had before the import.
  EXPECT_EQ(PriceFilesValue("Ace"), "20070201");
  EXPECT_EQ(PriceFilesValue("AceInstallDate"), "02/01/2007");
  EXPECT_EQ(DumpCurrent("AceMTD"), "missing");
  // No prefix: both settings are written as empty text.
  EXPECT_TRUE(registry().QueryValue(config::HKEY_CURRENT_USER, registry().ProductKey,
                                         "VendorPrefix_ACE").index() == 1);
  EXPECT_EQ(test::Beside(Host("YieldWarden/YieldWarden.yw"), ".").size(), 0u);

  EXPECT_EQ(log, (std::vector<std::string>{
      "Status = Validating Database File",
      "Status = Validating Database File",
      "fromFileDate = 3/1/2007",
      "toFileDate = 2/1/2007",
      "Status = Opening Yield Warden Database",
      "DELETE * FROM AceFileDate",
      "INSERT INTO AceFileDate ( FileDate ) VALUES ( #3/1/2007# );",
      "DELETE * from ListBoxs;",
      "Status = Processing Monthly Data",
      std::string("INSERT INTO ") + kMaskedLink + ".[PlanogramDetails] SELECT * FROM PlanogramDetails",
      std::string("INSERT INTO ") + kMaskedLink + ".[Ace] SELECT * FROM Ace",
      std::string("INSERT INTO ") + kMaskedLink + ".[AdditionalDetails] SELECT * FROM AdditionalDetails",
      "Is NOT Month to date",
      "Import Complete"}));
  EXPECT_TRUE(ui().boxes.empty());
}

TEST_F(VendorImportTest, FileDatesOfEmptyAndMissingTables) {
  MakeCurrent({.rows = 4, .date = ""});
  // Data file without rows in AceFileDate: the default date is stored.
  std::string data = MakeData("ACEDATA1.YW", DataKind::kFull, {.rows = 3, .date = ""});
  ASSERT_TRUE(import::ImportFile(Import(), data, kCurrentDb));
  EXPECT_EQ(FileDate(kCurrentDb), "1/1/2006");
  EXPECT_EQ(PriceFilesValue("Ace"), "20060101");
  EXPECT_EQ(PriceFilesValue("AceInstallDate"), "01/01/2006");
  // Data file without AceFileDate: today's date is stored.
  data = MakeData("ACEDATA2.YW", DataKind::kFull, {.rows = 3});
  Execute(data, {"DROP TABLE AceFileDate"});
  EXPECT_EQ(FileDate(data), "");
  ASSERT_TRUE(import::ImportFile(Import(), data, kCurrentDb));
  EXPECT_EQ(FileDate(kCurrentDb), "3/15/2007");
}

TEST_F(VendorImportTest, MonthToDateFileIsMergedIntoTheProductTable) {
  MakeCurrent({.rows = 20, .date = "3/1/2007"});
  const std::string before_planograms = DumpCurrent("PlanogramDetails");
  const auto old_rows = Rows(kCurrentDb, "SELECT SKU, DEPT, Description FROM Ace ORDER BY SKU", {"SKU", "DEPT", "Description"});
  const auto old_dept = Rows(kCurrentDb, "SELECT DEPT FROM Ace ORDER BY SKU", {"DEPT"});
  // Ten rows: five known SKUs (1000015..1000019), five new ones.
  const std::string data = MakeData("ACEMTD0307.YW", DataKind::kMonthToDate,
                                    {.rows = 10, .first_sku = 1000015, .date = "3/15/2007"});
  ASSERT_TRUE(import::ImportFile(Import(), data, kCurrentDb));
  const auto log = LogMessages();

  EXPECT_EQ(Count(kCurrentDb, "Ace"), 25u);
  EXPECT_EQ(DumpCurrent("AceMTD"), "missing");
  EXPECT_EQ(DumpCurrent("PlanogramDetails"), before_planograms);
  EXPECT_EQ(Count(kCurrentDb, "ListBoxs"), 0u);
  EXPECT_EQ(FileDate(kCurrentDb), "3/15/2007");
  // Rows only the current database has are untouched.
  for (int i = 0; i < 15; ++i) {
    EXPECT_EQ(Rows(kCurrentDb, "SELECT SKU, DEPT, Description FROM Ace WHERE SKU = '" +
                                   std::to_string(1000000 + i) + "'", {"SKU", "DEPT", "Description"}),
              std::vector<std::string>{old_rows[static_cast<std::size_t>(i)]});
  }
  // Known SKUs take the 31 columns from the file and keep DEPT; new SKUs come whole.
  const std::string columns =
      "Description, AceRetail, Level1, Level2, MC, PS, DealerCost, DOM, HC, VC, VendorName, "
      "VendorNumber, MfgNumber, ParentRSC, PG, PrivateLabel, RDOM, RSCCount, RU, Nbr, Conv, Sup, "
      "Ult, [Active], InUpdate, LastPriceChange, LastUpdate, CreateDate, MSURetail, "
      "MSURetailPrior, MSUChangeDate";
  std::vector<std::string> fields;
  std::istringstream list(columns);
  for (std::string f; std::getline(list, f, ',');) {
    f = f.substr(f.find_first_not_of(' '));
    fields.push_back(f == "[Active]" ? "Active" : f);
  }
  const std::string ordered = " FROM Ace WHERE SKU >= '1000015' ORDER BY SKU";
  EXPECT_EQ(Rows(kCurrentDb, "SELECT " + columns + ordered, fields), Rows(data, "SELECT " + columns + ordered, fields));
  EXPECT_EQ(Rows(kCurrentDb, "SELECT DEPT FROM Ace WHERE SKU >= '1000015' AND SKU < '1000020' ORDER BY SKU", {"DEPT"}),
            std::vector<std::string>(old_dept.begin() + 15, old_dept.end()));
  EXPECT_EQ(Rows(kCurrentDb, "SELECT DEPT FROM Ace WHERE SKU >= '1000020' ORDER BY SKU", {"DEPT"}),
            Rows(data, "SELECT DEPT FROM Ace WHERE SKU >= '1000020' ORDER BY SKU", {"DEPT"}));

  EXPECT_EQ(log, (std::vector<std::string>{
      "Status = Validating Database File",
      "Status = Validating Database File",
      "fromFileDate = 3/15/2007",
      "toFileDate = 3/1/2007",
      "File is MTD",
      "Status = Opening Yield Warden Database",
      "DELETE * FROM AceFileDate",
      "INSERT INTO AceFileDate ( FileDate ) VALUES ( #3/15/2007# );",
      "DELETE * from ListBoxs;",
      "Status = Processing MTD Data",
      std::string("INSERT INTO ") + kMaskedLink + ".[AceMTD] SELECT * FROM Ace",
      std::string("INSERT INTO ") + kMaskedLink + ".[AdditionalDetails] SELECT * FROM AdditionalDetails",
      "Is Month to date - Opening To DB",
      "INSERT INTO Ace SELECT AceMTD.* FROM AceMTD LEFT JOIN Ace ON AceMTD.SKU = Ace.SKU WHERE (((Ace.SKU) Is Null));",
      import::kUpdateKnownSkus,
      "Import Complete"}));
}

TEST_F(VendorImportTest, MonthToDateRuleComparesYearAndMonth) {
  struct Case {
    std::string current, file;
    bool accepted, box;
  } cases[] = {
      {"3/1/2007", "3/31/2007", true, false},
      {"3/31/2007", "3/1/2007", true, false},
      {"3/15/2006", "3/15/2007", false, true},
      {"2/28/2007", "3/1/2007", false, true},
      {"", "1/1/2006", true, false},        // an empty table reads 1/1/2006
      {"none", "3/1/2007", false, false},   // no AceFileDate: refused without a word
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.current + " / " + c.file);
    std::error_code ec;
    std::filesystem::remove(Host("YieldWarden/YieldWarden.yw"), ec);
    MakeCurrent({.rows = 6, .date = c.current == "none" ? "" : c.current});
    if (c.current == "none") Execute(kCurrentDb, {"DROP TABLE AceFileDate"});
    std::filesystem::remove(Host("DATA/ACEMTD.YW"), ec);
    const std::string data = MakeData("ACEMTD.YW", DataKind::kMonthToDate, {.rows = 4, .first_sku = 1000004, .date = c.file});
    const auto before = Snapshot();
    ui().boxes.clear();
    ui().statuses.clear();
    EXPECT_EQ(import::ImportFile(Import(), data, kCurrentDb), c.accepted);
    if (!c.accepted) {
      EXPECT_EQ(Snapshot(), before);
    }
    ASSERT_EQ(ui().boxes.size(), c.box ? 1u : 0u);
    if (c.box) {
      EXPECT_EQ(ui().boxes[0].text, import::kInvalidMtdMessage);
      EXPECT_EQ(ui().boxes[0].title, "CatalogSync");
      EXPECT_EQ(ui().boxes[0].icon, platform::Icon::kCritical);
      EXPECT_EQ(ui().statuses.back(), "Invalid Dates for Incremental Update - FAILURE");
    }
  }
  // Lower-case letters in the path do not make a month-to-date file.
  Execute(kCurrentDb, {"CREATE TABLE AceFileDate ([FileDate] DATETIME)"});
  const std::string data = MakeData("acemtd-full.yw", DataKind::kFull, {.rows = 4, .date = "7/4/2001"});
  EXPECT_TRUE(import::ImportFile(Import(), data, kCurrentDb));
}

TEST_F(VendorImportTest, PrefixAndAppendMode) {
  MakeCurrent({.rows = 10, .date = "3/1/2007"});
  std::string data = MakeData("ACEDATA.YW", DataKind::kFull, {.rows = 5, .first_sku = 2000000});
  // Replace mode with a prefix: only the vendor's prefixed rows remain; the data file keeps them.
  SetProductValue("VendorPrefix_ACE", "P-");
  ASSERT_TRUE(import::ImportFile(Import(), data, kCurrentDb));
  EXPECT_EQ(Rows(kCurrentDb, "SELECT SKU FROM Ace ORDER BY SKU", {"SKU"}),
            (std::vector<std::string>{"P-2000000", "P-2000001", "P-2000002", "P-2000003", "P-2000004"}));
  EXPECT_EQ(Rows(data, "SELECT SKU FROM Ace WHERE SKU = 'P-2000000'", {"SKU"}).size(), 1u);
  EXPECT_EQ(ui().statuses[3], "Setting ACE Sku Prefix");
  const auto log = LogMessages();
  EXPECT_NE(std::find(log.begin(), log.end(), "Added Prefix P-"), log.end());
  EXPECT_NE(std::find(log.begin(), log.end(),
                      "UPDATE Ace SET [SKU] = 'P-' & [SKU] WHERE [SKU] Not Like 'P-%';"), log.end());

  // Append mode: other vendors' rows stay, the vendor's own are replaced, the prefix is not doubled.
  Execute(kCurrentDb, {"INSERT INTO Ace ( SKU ) VALUES ( '777' )", "INSERT INTO Ace ( SKU ) VALUES ( 'P-9' )"});
  SetProductValue("VendorAppendData_ACE", "1");
  ASSERT_TRUE(import::ImportFile(Import(), data, kCurrentDb));
  EXPECT_EQ(Rows(kCurrentDb, "SELECT SKU FROM Ace ORDER BY SKU", {"SKU"}),
            (std::vector<std::string>{"777", "P-2000000", "P-2000001", "P-2000002", "P-2000003", "P-2000004"}));
  EXPECT_NE(std::find(ui().statuses.begin(), ui().statuses.end(), "Clearing Old ACE Skus"), ui().statuses.end());

  // No prefix but append mode: the pattern "%" clears every row, and both settings are emptied.
  SetProductValue("VendorPrefix_ACE", "");
  data = MakeData("ACEDATA2.YW", DataKind::kFull, {.rows = 2, .first_sku = 3000000});
  ASSERT_TRUE(import::ImportFile(Import(), data, kCurrentDb));
  EXPECT_EQ(Rows(kCurrentDb, "SELECT SKU FROM Ace ORDER BY SKU", {"SKU"}),
            (std::vector<std::string>{"3000000", "3000001"}));
  EXPECT_EQ(registry().ProductValue("VendorAppendData_ACE"), "");
  const auto log2 = LogMessages();
  EXPECT_NE(std::find(log2.begin(), log2.end(), "DELETE Ace.* FROM Ace WHERE ((Ace.SKU) Like '%' )"), log2.end());
}

TEST_F(VendorImportTest, PrefixWithQuotesAndPatternCharactersMatchesItself) {
  MakeCurrent({.rows = 4, .date = "3/1/2007"});  // SKUs 1000000..1000003
  Execute(kCurrentDb, {"INSERT INTO Ace ( SKU ) VALUES ( '1x5' )"});
  const std::string data = MakeData("ACEDATA.YW", DataKind::kFull, {.rows = 2, .first_sku = 2000000});
  const std::vector<std::string> prefixes = {"1%", "O'B_"};
  std::vector<std::string> files;
  for (std::size_t i = 0; i < prefixes.size(); ++i) {
    const std::string& prefix = prefixes[i];
    SCOPED_TRACE(prefix);
    files.push_back(MakeData("ACEDATA" + std::to_string(i) + ".YW", DataKind::kFull, {.rows = 2, .first_sku = 2000000}));
    SetProductValue("VendorPrefix_ACE", prefix);
    SetProductValue("VendorAppendData_ACE", "yes");
    ASSERT_TRUE(import::ImportFile(Import(), files.back(), kCurrentDb));
    ASSERT_TRUE(ui().boxes.empty()) << ui().boxes[0].text;
    // Other rows, even those the bare pattern would match, are kept.
    EXPECT_EQ(Rows(kCurrentDb, "SELECT SKU FROM Ace WHERE SKU = '1000000' OR SKU = '1x5'", {"SKU"}).size(), 2u);
    EXPECT_EQ(Rows(kCurrentDb, "SELECT SKU FROM Ace WHERE SKU = '" + import::SqlText(prefix) + "2000001'", {"SKU"}).size(), 1u);
  }
  EXPECT_EQ(Count(kCurrentDb, "Ace"), 5u + 2u + 2u);
  // The same file again: its prefix is not doubled and its rows replace themselves.
  ASSERT_TRUE(import::ImportFile(Import(), files.back(), kCurrentDb));
  EXPECT_EQ(Count(kCurrentDb, "Ace"), 5u + 2u + 2u);
  EXPECT_EQ(Rows(files.back(), "SELECT SKU FROM Ace ORDER BY SKU", {"SKU"}),
            (std::vector<std::string>{"O'B_2000000", "O'B_2000001"}));
}

TEST_F(VendorImportTest, AdditionalDetailsMissingFromTheFileOrTheIni) {
  MakeCurrent({.rows = 4, .date = "3/1/2007"});
  std::string data = MakeData("ACEDATA1.YW", DataKind::kFull, {.rows = 6, .additional_details = false});
  ASSERT_TRUE(import::ImportFile(Import(), data, kCurrentDb));
  EXPECT_EQ(Count(kCurrentDb, "AdditionalDetails"), 0u);  // made from the INI, left empty
  EXPECT_TRUE(ui().boxes.empty());

  config::cInifile ini(run());
  ini.Path(registry().ConfigINIPath(true));
  ini.Section("AdditionalDetails");
  ini.DeleteSection();
  data = MakeData("ACEDATA2.YW", DataKind::kFull, {.rows = 6});
  ASSERT_TRUE(import::ImportFile(Import(), data, kCurrentDb));
  EXPECT_EQ(DumpCurrent("AdditionalDetails"), "missing");
  EXPECT_EQ(Count(kCurrentDb, "Ace"), 6u);
  EXPECT_TRUE(ui().boxes.empty());
}

TEST_F(VendorImportTest, OlderProductTableGetsItsMissingColumnsBeforeTheMerge) {
  db::CreateDatabase(Host("YieldWarden/YieldWarden.yw").string(), "qed5190");
  std::vector<std::string> old = {"CREATE TABLE Ace([SKU] TEXT(20) CONSTRAINT MyConstraint PRIMARY KEY);"};
  for (const char* clause : schema::kAceColumnClauses) {
    const std::string c = clause;
    if (c.find("InUpdate") == std::string::npos && c.find("MfgNumber") == std::string::npos) old.push_back("ALTER TABLE Ace" + c);
  }
  old.push_back("CREATE TABLE AceFileDate ([FileDate] DATETIME)");
  old.push_back("INSERT INTO AceFileDate ( FileDate ) VALUES ( #3/1/2007# )");
  old.push_back("CREATE TABLE ListBoxs ([ListName] TEXT(50))");
  old.push_back("INSERT INTO Ace ( SKU, DEPT ) VALUES ( '1000001', 'OLD' )");
  Execute(kCurrentDb, old);
  const std::string data = MakeData("ACEMTD.YW", DataKind::kMonthToDate, {.rows = 3, .date = "3/9/2007"});
  ASSERT_TRUE(import::ImportFile(Import(), data, kCurrentDb));
  EXPECT_TRUE(ui().boxes.empty());
  EXPECT_EQ(Rows(kCurrentDb, "SELECT SKU, DEPT, MfgNumber, InUpdate FROM Ace ORDER BY SKU", {"SKU", "DEPT", "MfgNumber", "InUpdate"}),
            [&] {
              auto rows = Rows(data, "SELECT SKU, DEPT, MfgNumber, InUpdate FROM Ace ORDER BY SKU", {"SKU", "DEPT", "MfgNumber", "InUpdate"});
              rows[1] = "1000001|OLD" + rows[1].substr(rows[1].find('|', 8));
              return rows;
            }());
  // The repaired column is 25 characters wide.
  Execute(kCurrentDb, {"UPDATE Ace SET MfgNumber = '" + std::string(25, 'M') + "'"});
}

// A data file that cannot be copied leaves the current database as it was; the answers to the
// error dialog decide what happens next.
TEST_F(VendorImportTest, FailedImportLeavesTheCurrentDatabaseAsItWas) {
  MakeCurrent({.rows = 12, .date = "3/1/2007"});
  const auto before = Snapshot();
  struct Case {
    std::string name;
    std::vector<std::string> spoil;  // run on the data file
  } cases[] = {
      {"ACEDATA-EXTRA.YW", {"ALTER TABLE Ace ADD COLUMN Colour TEXT(10)"}},
      {"ACEDATA-LONG.YW", {"DROP TABLE Ace", "CREATE TABLE Ace([SKU] TEXT(20) CONSTRAINT K PRIMARY KEY)",
                           "ALTER TABLE Ace ADD COLUMN Description TEXT(200)",
                           "INSERT INTO Ace ( SKU, Description ) VALUES ( '1', '" + std::string(80, 'd') + "' )"}},
      {"ACEDATA-NOACE.YW", {"DROP TABLE Ace"}},
      {"ACEMTD-LONG.YW", {"ALTER TABLE Ace ADD COLUMN Colour TEXT(10)"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const bool mtd = c.name.find("MTD") != std::string::npos;
    const std::string data = MakeData(c.name, mtd ? DataKind::kMonthToDate : DataKind::kFull, {.rows = 5, .first_sku = 2000000});
    Execute(data, c.spoil);
    ui().boxes.clear();
    ui().answers = {platform::kIdAbort};
    EXPECT_FALSE(import::ImportFile(Import(), data, kCurrentDb));
    ASSERT_EQ(ui().boxes.size(), 1u);
    EXPECT_NE(ui().boxes[0].text.find("CatalogSync.frmMain.ImportFile"), std::string::npos);
    EXPECT_EQ(Snapshot(), before);
    EXPECT_EQ(PriceFilesValue("Ace"), "");
    EXPECT_TRUE(test::Beside(Host("YieldWarden/YieldWarden.yw"), ".before").empty());
  }
}

TEST_F(VendorImportTest, RetryAndIgnoreAtAFailingStep) {
  MakeCurrent({.rows = 12, .date = "3/1/2007"});
  const std::string data = MakeData("ACEDATA.YW", DataKind::kFull, {.rows = 5, .first_sku = 2000000});
  Execute(data, {"ALTER TABLE Ace ADD COLUMN Colour TEXT(10)"});
  // Retry runs the failing copy again; it fails again and Abort ends the import.
  ui().answers = {platform::kIdRetry, platform::kIdRetry, platform::kIdAbort};
  EXPECT_FALSE(import::ImportFile(Import(), data, kCurrentDb));
  EXPECT_EQ(ui().boxes.size(), 3u);
  const auto log = LogMessages();
  EXPECT_EQ(std::count(log.begin(), log.end(), std::string("INSERT INTO ") + kMaskedLink + ".[Ace] SELECT * FROM Ace"), 3);
  EXPECT_EQ(Count(kCurrentDb, "Ace"), 12u);

  // Ignore goes on with the next step: the import completes without the product rows.
  ui().boxes.clear();
  ui().answers = {platform::kIdIgnore};
  EXPECT_TRUE(import::ImportFile(Import(), data, kCurrentDb));
  EXPECT_EQ(ui().boxes.size(), 1u);
  EXPECT_EQ(Count(kCurrentDb, "Ace"), 0u);
  EXPECT_EQ(Count(kCurrentDb, "PlanogramDetails"), Count(data, "PlanogramDetails"));
  EXPECT_EQ(PriceFilesValue("Ace"), "20070301");
  EXPECT_EQ(LogMessages().back(), "Import Complete");
}

TEST_F(VendorImportTest, CopyLeftByAnUnfinishedImportIsNamedAndKept) {
  MakeCurrent({.rows = 3, .date = "3/1/2007"});
  const auto left = Host("YieldWarden/YieldWarden.yw.before-import");
  test::WriteFile(left, "earlier");
  const std::string data = MakeData("ACEDATA.YW", DataKind::kFull, {.rows = 2});
  run().logging = false;
  ASSERT_TRUE(import::ImportFile(Import(), data, kCurrentDb));
  EXPECT_EQ(test::ReadFile(left), "earlier");
  EXPECT_EQ(test::Beside(Host("YieldWarden/YieldWarden.yw"), ".before").size(), 1u);
  EXPECT_EQ(LogMessages(), std::vector<std::string>{
      "A copy of the current database made by an import that did not end is kept at "
      "C:\\YieldWarden\\YieldWarden.yw.before-import"});
}

// A working copy left by a run that died is the import's to remove, and the log says so even
// without -L; no file beside the database is left by a completed or a failed import.
TEST_F(VendorImportTest, WorkingCopyLeftByADeadRunIsRemovedAndSaid) {
  MakeCurrent({.rows = 3, .date = "3/1/2007"});
  const auto left = Host("YieldWarden/YieldWarden.yw.unfinished-import");
  test::WriteFile(left, "half a database");
  const std::string data = MakeData("ACEDATA.YW", DataKind::kFull, {.rows = 2});
  run().logging = false;
  ASSERT_TRUE(import::ImportFile(Import(), data, kCurrentDb));
  EXPECT_FALSE(std::filesystem::exists(left));
  EXPECT_EQ(LogMessages(), std::vector<std::string>{
      "The working copy of an import that did not end was removed: "
      "C:\\YieldWarden\\YieldWarden.yw.unfinished-import"});
  EXPECT_EQ(Count(kCurrentDb, "Ace"), 2u);
  EXPECT_EQ(test::Beside(Host("YieldWarden/YieldWarden.yw"), ".").size(), 0u);

  // A failed import leaves nothing beside the database either.
  const std::string bad = MakeData("ACEDATABAD.YW", DataKind::kFull, {.rows = 2});
  Execute(bad, {"ALTER TABLE Ace ADD COLUMN Colour TEXT(10)"});
  ui().answers = {platform::kIdAbort};
  EXPECT_FALSE(import::ImportFile(Import(), bad, kCurrentDb));
  EXPECT_EQ(Count(kCurrentDb, "Ace"), 2u);
  EXPECT_EQ(test::Beside(Host("YieldWarden/YieldWarden.yw"), ".").size(), 0u);
}

// The disk as it is, but no file can be locked.
class NoLocks : public platform::PosixFileSystem {
 public:
  std::error_code LockExclusive(const std::filesystem::path&, const platform::LockOptions&,
                                std::unique_ptr<platform::ExclusiveLock>&) override {
    return std::make_error_code(std::errc::no_lock_available);
  }
};

// A lock that cannot be taken is an error of the import, shown by its dialog, never a silent
// go-ahead: Abort leaves the database as it was, Retry tries again, Ignore goes on knowingly.
TEST_F(VendorImportTest, ALockThatCannotBeTakenIsAnErrorOfTheImport) {
  MakeCurrent({.rows = 5, .date = "3/1/2007"});
  const std::string data = MakeData("ACEDATA.YW", DataKind::kFull, {.rows = 2});
  test::SetupRun unlocked(prefix.root(), std::make_unique<NoLocks>());
  auto& ui = unlocked.run.ui;
  ui.answers = {platform::kIdRetry, platform::kIdAbort};
  EXPECT_FALSE(import::ImportFile(*unlocked.import, data, kCurrentDb));
  ASSERT_EQ(ui.boxes.size(), 2u);
  for (const auto& box : ui.boxes) {
    EXPECT_NE(box.text.find("cannot be locked against other imports"), std::string::npos) << box.text;
    EXPECT_NE(box.text.find("CatalogSync.frmMain.ImportFile"), std::string::npos);
  }
  EXPECT_EQ(Count(kCurrentDb, "Ace"), 5u);
  ui.boxes.clear();
  ui.answers = {platform::kIdIgnore};
  EXPECT_TRUE(import::ImportFile(*unlocked.import, data, kCurrentDb));
  EXPECT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(Count(kCurrentDb, "Ace"), 2u);
}

TEST_F(VendorImportTest, ImportsOfOneDatabaseRunOneAfterTheOther) {
  MakeCurrent({.rows = 10, .date = "3/1/2007"});
  const std::string a = MakeData("ACEMTD-A.YW", DataKind::kMonthToDate, {.rows = 300, .first_sku = 2000000, .date = "3/2/2007"});
  const std::string b = MakeData("ACEMTD-B.YW", DataKind::kMonthToDate, {.rows = 300, .first_sku = 3000000, .date = "3/3/2007"});
  test::SetupRun second(prefix.root());
  bool ok_a = false, ok_b = false;
  std::thread t([&] { ok_b = import::ImportFile(*second.import, b, kCurrentDb); });
  ok_a = import::ImportFile(Import(), a, kCurrentDb);
  t.join();
  EXPECT_TRUE(ok_a);
  EXPECT_TRUE(ok_b);
  EXPECT_TRUE(ui().boxes.empty());
  EXPECT_TRUE(second.run.ui.boxes.empty());
  EXPECT_EQ(Count(kCurrentDb, "Ace"), 610u);
  EXPECT_EQ(DumpCurrent("AceMTD"), "missing");
  EXPECT_EQ(Count(kCurrentDb, "AceFileDate"), 1u);
}

}  // namespace
}  // namespace cs
