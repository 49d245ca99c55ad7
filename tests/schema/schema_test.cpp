// Tables built from the configuration INI or the built-in layouts, and the column repair.
#include "import/import_support.h"
#include "schema/column_repair.h"
#include "schema/product_table.h"
#include "schema/table_from_ini.h"

namespace cs {
namespace {

using test::kCurrentDb;

class SchemaTest : public test::ImportTest {
 protected:
  SchemaTest() {
    MakeCurrent({.rows = 2});
    cnn.Open(db::ConnectionString(kCurrentDb));
  }
  // Points the registry at an INI of the test's own.
  void UseIni(const std::string& text) {
    test::WriteFile(Host("CONF/tables.ini"), text);
    SetProductValue("YWConfigINI", "C:\\CONF\\tables.ini");
  }
  std::vector<std::string> Columns(const std::string& table) {
    db::Recordset rs;
    rs.Open("SELECT * FROM " + table, cnn);
    return rs.FieldNames();
  }

  platform::WindowsPaths paths{prefix.files(), prefix.root()};
  db::Connection cnn{paths};
};

TEST(TableEntryStatementTest, EntriesBecomeStatements) {
  struct Case {
    const char* key;
    const char* value;
    const char* statement;
  } cases[] = {
      {"PrimaryKey", "([SKU] TEXT(20) CONSTRAINT MyConstraint PRIMARY KEY)",
       "CREATE TABLE AceMTD ([SKU] TEXT(20) CONSTRAINT MyConstraint PRIMARY KEY)"},
      {"Description", "TEXT(50)", "ALTER TABLE AceMTD ADD COLUMN [Description] TEXT(50)"},
      {"AceRetail", "CURRENCY,0", "ALTER TABLE AceMTD ADD COLUMN [AceRetail] CURRENCY DEFAULT 0"},
      {"Note", "TEXT(10),'a,b'", "ALTER TABLE AceMTD ADD COLUMN [Note] TEXT(10) DEFAULT 'a"},
      {"Odd", "TEXT(10),", "ALTER TABLE AceMTD ADD COLUMN [Odd] TEXT(10) DEFAULT "},
      {"primarykey", "TEXT(5)", "ALTER TABLE AceMTD ADD COLUMN [primarykey] TEXT(5)"},
      {"Path", "C:\\data", ""},
      {"PrimaryKey", "(x:y)", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(schema::TableEntryStatement("AceMTD", c.key, c.value), c.statement) << c.key << "=" << c.value;
  }
}

TEST_F(SchemaTest, SectionBuildsTheTableInFileOrder) {
  UseIni("[Gadgets]\r\nPrimaryKey=([Id] TEXT(5) CONSTRAINT K PRIMARY KEY)\r\nName=TEXT(30)\r\n"
         "Where=C:\\somewhere\r\nPrice=CURRENCY,0\r\n\r\n[More]\r\nprimarykey=TEXT(3)\r\n");
  std::int32_t entries = 0;
  EXPECT_TRUE(schema::MakeTableFromINI(form(), "GADGETS", cnn, "Widgets", &entries));
  EXPECT_EQ(entries, 4);
  EXPECT_TRUE(schema::MakeTableFromINI(form(), "More", cnn, "Widgets", &entries));
  EXPECT_EQ(Columns("Widgets"), (std::vector<std::string>{"Id", "Name", "Price", "primarykey"}));
  cnn.Execute("INSERT INTO Widgets ( Id ) VALUES ( 'a' )");
  EXPECT_EQ(Rows(kCurrentDb, "SELECT Price FROM Widgets", {"Price"}), std::vector<std::string>{"0"});
  EXPECT_TRUE(ui().boxes.empty());
  // A missing section is no error and creates nothing.
  EXPECT_TRUE(schema::MakeTableFromINI(form(), "Nothing", cnn, "", &entries));
  EXPECT_EQ(entries, 0);
}

TEST_F(SchemaTest, IniPathFromTheRegistry) {
  SetProductValue("YWConfigINI", "");
  SetProductValue("InstallAppDir", "C:\\Apps");
  EXPECT_EQ(schema::TableDefinitionINIPath(form().registry), "C:\\Apps\\YWConfig.ini");
  SetProductValue("InstallAppDir", "");
  EXPECT_EQ(schema::TableDefinitionINIPath(form().registry), "\\YWConfig.ini");
  SetProductValue("YWConfigINI", "D:\\x.ini");
  EXPECT_EQ(schema::TableDefinitionINIPath(form().registry), "D:\\x.ini");
}

TEST_F(SchemaTest, ProductTablesFromTheIniOrBuiltIn) {
  // From the INI made by ywdata: its section Ace describes the built-in layout.
  EXPECT_TRUE(schema::MaketblAce(form(), "AceMTD", cnn));
  const auto from_ini = Columns("AceMTD");
  ASSERT_EQ(from_ini.size(), 33u);
  // Without the sections, the built-in layouts; the same columns under either name.
  UseIni("[Other]\r\nA=1\r\n");
  db::DeleteTable("AceMTD", cnn);
  db::DeleteTable("PlanogramDetails", cnn);
  EXPECT_TRUE(schema::MaketblAce(form(), "AceMTD", cnn));
  EXPECT_EQ(Columns("AceMTD"), from_ini);
  EXPECT_EQ(Columns("Ace"), from_ini);
  EXPECT_TRUE(schema::MaketblPlanogramDetails(form(), "PlanogramDetails", cnn));
  EXPECT_EQ(Columns("PlanogramDetails"), (std::vector<std::string>{"POG", "Description"}));
  EXPECT_TRUE(ui().boxes.empty());
}

TEST_F(SchemaTest, AbortInsideTheIniFallsBackAndFails) {
  // The second entry fails after the table exists; Abort there makes MaketblAce try its own
  // CREATE TABLE, which fails because the table exists.
  UseIni("[Ace]\r\nPrimaryKey=([SKU] TEXT(20) CONSTRAINT MyConstraint PRIMARY KEY)\r\nBad=NOSUCHTYPE\r\n");
  ui().answers = {platform::kIdAbort, platform::kIdAbort};
  EXPECT_FALSE(schema::MaketblAce(form(), "AceMTD", cnn));
  ASSERT_EQ(ui().boxes.size(), 2u);
  EXPECT_NE(ui().boxes[0].text.find("CatalogSync.frmMain.MakeTableFromINI"), std::string::npos);
  EXPECT_NE(ui().boxes[1].text.find("CatalogSync.frmMain.MaketblAce"), std::string::npos);
  EXPECT_EQ(Columns("AceMTD"), std::vector<std::string>{"SKU"});
  // What ran before the Abort is in the file for every other connection too.
  EXPECT_TRUE(Rows(kCurrentDb, "SELECT SKU FROM AceMTD", {"SKU"}).empty());
  // Ignore at the failing CREATE goes on with the built-in columns.
  ui().boxes.clear();
  db::DeleteTable("AceMTD", cnn);
  ui().answers = {platform::kIdAbort, platform::kIdIgnore};
  EXPECT_TRUE(schema::MaketblAce(form(), "AceMTD", cnn));
  EXPECT_EQ(ui().boxes.size(), 2u);
  EXPECT_EQ(Columns("AceMTD").size(), 33u);
}

TEST_F(SchemaTest, ColumnRepairAddsOnlyWhatIsMissing) {
  // A current Ace with all five columns is left as it is.
  const auto full = Columns("Ace");
  schema::FixColumns(form(), cnn);
  EXPECT_EQ(Columns("Ace"), full);
  // An older Ace without InUpdate and MfgNumber gets them, MfgNumber 25 wide, at the end.
  db::DeleteTable("Ace", cnn);
  for (const auto& s : schema::AceStatements("Ace")) {
    if (s.find("InUpdate") == std::string::npos && s.find("MfgNumber") == std::string::npos) cnn.Execute(s);
  }
  db::DeleteTable("AceMTD", cnn);
  schema::MaketblAce(form(), "AceMTD", cnn);  // the repair still looks at Ace only
  schema::FixColumns(form(), cnn);
  const auto repaired = Columns("Ace");
  EXPECT_EQ(std::vector<std::string>(repaired.end() - 2, repaired.end()),
            (std::vector<std::string>{"InUpdate", "MfgNumber"}));
  cnn.Execute("INSERT INTO Ace ( SKU, MfgNumber, InUpdate ) VALUES ( '1', '" + std::string(25, 'm') + "', True )");
  EXPECT_THROW(cnn.Execute("INSERT INTO Ace ( SKU, MfgNumber ) VALUES ( '2', '" + std::string(26, 'm') + "' )"), RunError);
  EXPECT_TRUE(ui().boxes.empty());
}

TEST_F(SchemaTest, ColumnRepairWithoutAProductTableAsksPerColumn) {
  db::DeleteTable("Ace", cnn);
  ui().answers = {platform::kIdIgnore, platform::kIdRetry, platform::kIdAbort};
  schema::FixColumns(form(), cnn);
  ASSERT_EQ(ui().boxes.size(), 3u);
  for (const auto& box : ui().boxes) {
    EXPECT_NE(box.text.find("CatalogSync.frmMain.FixColumns"), std::string::npos);
  }
}

}  // namespace
}  // namespace cs
