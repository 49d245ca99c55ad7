// The custom data import: the file's prices become competitor Comp5 of the store table.
#include "import/imports.h"
#include "import_support.h"

namespace cs {
namespace {

using test::kCurrentDb;
using ywdata::DataKind;

class CustomImportTest : public test::ImportTest {};

TEST_F(CustomImportTest, PricesBecomeComp5AndTheCompetitorIsNamed) {
  // Store holds every other SKU of 1000000..1000019; the custom file has 1000000..1000005.
  MakeCurrent({.rows = 20, .date = "1/1/2006"});
  const std::string data = MakeData("CUSTOMDATA.YW", DataKind::kCustom, {.rows = 6, .date = "5/5/2005"});
  ASSERT_TRUE(import::ImportCustom(Import(), data, kCurrentDb));
  const auto log = LogMessages();

  std::vector<std::string> expected;
  for (int i = 0; i < 20; i += 2) {
    const std::string sku = std::to_string(1000000 + i);
    const auto price = Rows(data, "SELECT AceRetail FROM Ace WHERE SKU = '" + sku + "'", {"AceRetail"});
    expected.push_back(sku + "|" + (price.empty() ? "0" : price[0]) + "|1.99");
  }
  EXPECT_EQ(Rows(kCurrentDb, "SELECT Sku, Comp5, Comp1 FROM Store ORDER BY Sku", {"Sku", "Comp5", "Comp1"}), expected);
  EXPECT_EQ(Rows(kCurrentDb, "SELECT Competitor, Name FROM Competitors ORDER BY Competitor", {"Competitor", "Name"}),
            (std::vector<std::string>{"Comp1|Competitor 1", "Comp2|Competitor 2", "Comp3|Competitor 3",
                                      "Comp4|Competitor 4", "Comp5|CustRetail"}));
  EXPECT_EQ(DumpCurrent("AceMTD"), "missing");
  EXPECT_EQ(Count(kCurrentDb, "Ace"), 20u);  // the product table is not touched
  EXPECT_EQ(PriceFilesValue("Ace"), "20060101");
  EXPECT_EQ(PriceFilesValue("AceInstallDate"), "01/01/2006");
  EXPECT_EQ(log, (std::vector<std::string>{
      "Status = Validating Database File",
      "Status = Validating Database File",
      "fromFileDate = 5/5/2005",
      "toFileDate = 1/1/2006",
      "Status = Opening Yield Warden Database",
      "Status = Processing Custom Data",
      std::string("INSERT INTO ") + test::kMaskedLink + ".[AceMTD] SELECT * FROM Ace",
      "UPDATE Store Set Store.Comp5 = 0;",
      "UPDATE Store INNER JOIN AceMTD ON Store.Sku = AceMTD.SKU SET Store.Comp5 = [AceMTD]![AceRetail];",
      "UPDATE Competitors SET Name = 'CustRetail' WHERE Competitor = 'Comp5';",
      "Import Complete"}));
}

TEST_F(CustomImportTest, NoMatchesNoCompetitorRowAndNoDate) {
  MakeCurrent({.rows = 6, .date = "3/1/2007"});
  Execute(kCurrentDb, {"DELETE * FROM Competitors WHERE Competitor = 'Comp5'", "DROP TABLE AceFileDate"});
  const std::string data = MakeData("CUSTOMDATA.YW", DataKind::kCustom, {.rows = 3, .first_sku = 5000000});
  ASSERT_TRUE(import::ImportCustom(Import(), data, kCurrentDb));
  EXPECT_TRUE(ui().boxes.empty());
  EXPECT_EQ(Rows(kCurrentDb, "SELECT Comp5 FROM Store", {"Comp5"}), (std::vector<std::string>(3, "0")));
  EXPECT_EQ(Count(kCurrentDb, "Competitors"), 4u);
  EXPECT_EQ(PriceFilesValue("Ace"), "");  // no readable date: nothing written
}

TEST_F(CustomImportTest, AbortRestoresTheStoreTable) {
  MakeCurrent({.rows = 8, .date = "3/1/2007"});
  Execute(kCurrentDb, {"DROP TABLE Competitors"});  // the last update fails
  const auto before = Snapshot();
  const std::string data = MakeData("CUSTOMDATA.YW", DataKind::kCustom, {.rows = 4});
  ui().answers = {platform::kIdAbort};
  EXPECT_FALSE(import::ImportCustom(Import(), data, kCurrentDb));
  ASSERT_EQ(ui().boxes.size(), 1u);
  EXPECT_NE(ui().boxes[0].text.find("CatalogSync.frmMain.ImportCustom"), std::string::npos);
  EXPECT_EQ(Snapshot(), before);
}

}  // namespace
}  // namespace cs
