// Each statement form the program sends, on real database files, with the values that tell
// Jet's meaning from a naive one.
#include "db/jet/errors.h"
#include "db/jet/tokenizer.h"
#include "db/sqlite.h"
#include "db_support.h"

namespace cs::db {
namespace {

using test::DbTest;

class JetStatementsTest : public DbTest {
 protected:
  void SetUp() override {
    MakeDb("CURRENT.YW");
    MakeDb("DATA.YW");
    OpenOn(cur, "C:\\CURRENT.YW");
    Exec(cur, schema::AceStatements("Ace"));
    Exec(cur, schema::PlanogramStatements("PlanogramDetails"));
  }
  db::Connection cur{engine};
};

TEST_F(JetStatementsTest, TypesFollowJetsRules) {
  cur.Execute("INSERT INTO Ace ( SKU, Description, [Active], AceRetail, CreateDate ) VALUES ( 'abc1', 'Hammer', True, 1.25, #3/1/2007# );");
  cur.Execute("INSERT INTO Ace ( SKU ) VALUES ( 'X2' );");
  EXPECT_EQ(Rows(cur, "SELECT SKU, [Active], InUpdate, AceRetail, CreateDate, DEPT FROM Ace ORDER BY SKU;",
                 {"SKU", "Active", "InUpdate", "AceRetail", "CreateDate", "DEPT"}),
            (std::vector<std::string>{"abc1|-1|0|1.25|2007-03-01 00:00:00|", "X2|0|0|||"}));
  // The key ignores letter case; a text longer than its column is refused; neither changes anything.
  ExpectError(cur, "INSERT INTO Ace ( SKU ) VALUES ( 'ABC1' );", jet::kErrGeneral);
  ExpectError(cur, "INSERT INTO Ace ( SKU ) VALUES ( '123456789012345678901' );", jet::kErrGeneral);
  try {
    cur.Execute("UPDATE Ace SET Description = 'a' & [SKU] & '" + std::string(48, 'x') + "';");
    ADD_FAILURE();
  } catch (const RunError& e) {
    EXPECT_NE(e.description().find("field is too small"), std::string::npos);
  }
  EXPECT_EQ(Rows(cur, "SELECT SKU, Description FROM Ace WHERE SKU = 'ABC1';", {"SKU", "Description"}),
            std::vector<std::string>{"abc1|Hammer"});
  // A flag never holds Null.
  cur.Execute("UPDATE Ace SET [Active] = Null WHERE SKU = 'abc1';");
  EXPECT_EQ(Rows(cur, "SELECT [Active] FROM Ace WHERE SKU = 'abc1';", {"Active"}), std::vector<std::string>{"0"});
  // Numbers of text stay text in a text column.
  cur.Execute("INSERT INTO Ace ( SKU, MC ) VALUES ( '007', '0123' );");
  EXPECT_EQ(Rows(cur, "SELECT MC FROM Ace WHERE SKU = '007';", {"MC"}), std::vector<std::string>{"0123"});
}

TEST_F(JetStatementsTest, SchemaErrorsAreJetsErrors) {
  ExpectError(cur, "CREATE TABLE Ace([SKU] TEXT(20) CONSTRAINT MyConstraint PRIMARY KEY);", jet::kErrSyntax);
  ExpectError(cur, "ALTER TABLE Ace ADD COLUMN Description TEXT(50)", jet::kErrSyntax);
  ExpectError(cur, "ALTER TABLE Nope ADD COLUMN X TEXT(5)", jet::kErrTableNotFound);
  ExpectError(cur, "DROP TABLE Nope", jet::kErrTableNotFound);
  ExpectError(cur, "ALTER TABLE Ace ADD COLUMN [Bad] ", jet::kErrSyntax);           // an empty type
  ExpectError(cur, "ALTER TABLE Ace ADD COLUMN [Bad] CURRENCY DEFAULT ", jet::kErrSyntax);
  ExpectError(cur, "ALTER TABLE Ace ADD COLUMN [Bad] WIDGET", jet::kErrSyntax);
  ExpectError(cur, "SELECT * FROM Ace -- a comment is not Jet", jet::kErrSyntax);
  ExpectError(cur, "DELETE * FROM Ace; DROP TABLE Ace", jet::kErrSyntax);
  // The column repair: a probe of a missing column fails, one of a present column does not.
  Recordset rs;
  EXPECT_NO_THROW(rs.Open("SELECT [Active] FROM Ace WHERE Sku = 'ZZNOEXIST';", cur, 1, 3));
  EXPECT_TRUE(rs.Bof() && rs.Eof());
  try {
    rs.Open("SELECT Missing FROM Ace WHERE Sku = 'ZZNOEXIST';", cur, 1, 3);
    ADD_FAILURE();
  } catch (const RunError& e) {
    EXPECT_EQ(e.number(), jet::kErrNoValueGiven);
  }
  cur.Execute("ALTER TABLE Ace ADD COLUMN Missing TEXT(25);");
  cur.Execute("ALTER TABLE Ace ADD COLUMN [Extra] CURRENCY DEFAULT 0");
  cur.Execute("ALTER TABLE Ace ADD COLUMN Flag BIT;");
  cur.Execute("ALTER TABLE Ace ADD COLUMN Cnt int;");
  EXPECT_NO_THROW(rs.Open("SELECT Missing FROM Ace WHERE Sku = 'ZZNOEXIST';", cur, 1, 3));
  // DeleteTable never fails.
  EXPECT_TRUE(DeleteTable("Nope", cur));
  EXPECT_TRUE(DeleteTable("PlanogramDetails", cur));
  ExpectError(cur, "DELETE * FROM PlanogramDetails", jet::kErrTableNotFound);
}

// Statement texts a user can put in the INI or the registry, refused as Jet refuses them, with
// Jet's words, never a library's message or a different statement.
TEST_F(JetStatementsTest, HostileStatementTextsAreRefusedAsJetRefusesThem) {
  struct Case {
    std::string sql;
    std::int32_t number;
    const char* description;  // a part of it
  } cases[] = {
      {"CREATE TABLE Ace([SKU] TEXT(20))", jet::kErrSyntax, "Table 'Ace' already exists."},
      {"ALTER TABLE Ace ADD COLUMN [Big] TEXT(99999999999)", jet::kErrSyntax, "Syntax error in field definition."},
      {"ALTER TABLE Ace ADD COLUMN [Half] TEXT(.5)", jet::kErrSyntax, "Syntax error in field definition."},
      {"ALTER TABLE Ace ADD COLUMN [Frac] TEXT(1.9)", jet::kErrSyntax, "Syntax error in field definition."},
      {"ALTER TABLE Ace ADD COLUMN [Exp] TEXT(1e2)", jet::kErrSyntax, "Syntax error in field definition."},
      {"ALTER TABLE Ace ADD COLUMN [Wide] TEXT(256)", jet::kErrSyntax, "Syntax error in field definition."},
      {"ALTER TABLE Ace ADD COLUMN [None] TEXT(0)", jet::kErrSyntax, "Syntax error in field definition."},
      {std::string("SELECT [SK") + '\0' + "U] FROM Ace", jet::kErrSyntax, "is not a valid name"},
      {std::string("DELETE * FROM [Ace") + '\0' + "]", jet::kErrSyntax, "is not a valid name"},
      {"INSERT INTO Ace ( SKU, CreateDate ) VALUES ( 'd1', #1/1/-5# )", jet::kErrSyntax, "date"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sql);
    try {
      cur.Execute(c.sql);
      ADD_FAILURE() << "no error";
    } catch (const RunError& e) {
      EXPECT_EQ(e.number(), c.number);
      EXPECT_NE(e.description().find(c.description), std::string::npos) << e.description();
    }
  }
  // Nothing of them was made.
  EXPECT_EQ(Rows(cur, "SELECT SKU FROM Ace", {"SKU"}), std::vector<std::string>{});
  cur.Execute("ALTER TABLE Ace ADD COLUMN [Widest] TEXT(255)");
}

TEST_F(JetStatementsTest, TablesAreCopiedByColumnName) {
  Connection data(engine);
  OpenOn(data, "C:\\DATA.YW");
  // The data file's columns stand in another order, and it lacks DEPT.
  data.Execute("CREATE TABLE Ace ([Description] TEXT(50), [SKU] TEXT(20) CONSTRAINT K PRIMARY KEY, [AceRetail] CURRENCY, [CreateDate] DATETIME)");
  data.Execute("INSERT INTO Ace ( SKU, Description, AceRetail, CreateDate ) VALUES ( 'S1', 'Nails', 2.5, #12/31/2006# )");
  data.Execute("INSERT INTO Ace ( SKU, Description ) VALUES ( 'S2', Null )");
  data.Execute("CREATE TABLE PlanogramDetails ([POG] TEXT(10), [Description] TEXT(100))");
  data.Execute("INSERT INTO PlanogramDetails VALUES ( 'P1', 'Aisle 1' )");
  cur.Close();
  const std::string link = "[MS Access;DATABASE=C:\\CURRENT.YW;PWD=qed5190]";
  data.Execute("INSERT INTO " + link + ".[PlanogramDetails] SELECT * FROM PlanogramDetails");
  data.Execute("INSERT INTO " + link + ".[Ace] SELECT * FROM Ace");
  // A column the target lacks refuses the statement, and nothing is copied.
  data.Execute("ALTER TABLE Ace ADD COLUMN Unknown TEXT(5)");
  try {
    data.Execute("INSERT INTO " + link + ".[Ace] SELECT * FROM Ace");
    ADD_FAILURE();
  } catch (const RunError& e) {
    EXPECT_NE(e.description().find("unknown field name: 'Unknown'"), std::string::npos);
  }
  // The linked file is checked as Open checks it.
  try {
    data.Execute("INSERT INTO [MS Access;DATABASE=C:\\CURRENT.YW;PWD=wrong].[Ace] SELECT * FROM Ace");
    ADD_FAILURE();
  } catch (const RunError& e) {
    EXPECT_EQ(e.number(), jet::kErrPassword);
  }
  try {
    data.Execute("INSERT INTO [MS Access;DATABASE=C:\\NONE.YW;PWD=qed5190].[Ace] SELECT * FROM Ace");
    ADD_FAILURE();
  } catch (const RunError& e) {
    EXPECT_EQ(e.description(), "Could not find file 'C:\\NONE.YW'.");
  }
  EXPECT_FALSE(std::filesystem::exists(prefix.drive_c() / "NONE.YW"));
  data.Close();
  OpenOn(cur, "C:\\CURRENT.YW");
  EXPECT_EQ(Rows(cur, "SELECT SKU, Description, AceRetail, CreateDate, DEPT FROM Ace ORDER BY SKU;",
                 {"SKU", "Description", "AceRetail", "CreateDate", "DEPT"}),
            (std::vector<std::string>{"S1|Nails|2.5|2006-12-31 00:00:00|", "S2||||"}));
  EXPECT_EQ(Rows(cur, "SELECT POG, Description FROM PlanogramDetails;", {"POG", "Description"}),
            std::vector<std::string>{"P1|Aisle 1"});
}

// Tables of one layout are copied as they are stored; every kind of value arrives unchanged, and
// a copy into a table that already holds a key is refused whole.
TEST_F(JetStatementsTest, TablesOfOneLayoutAreCopiedWhole) {
  Connection data(engine);
  OpenOn(data, "C:\\DATA.YW");
  Exec(data, schema::AceStatements("Ace"));
  data.Execute("INSERT INTO Ace ( SKU, Description, AceRetail, MC, [Active], RSCCount, CreateDate ) "
               "VALUES ( 'a1', 'it''s', 1.2345, '0012', True, 7, #2/29/2008 13:05:00# )");
  data.Execute("INSERT INTO Ace ( SKU ) VALUES ( 'B2' )");
  const std::vector<std::string> fields = {"SKU", "Description", "AceRetail", "MC", "Active", "InUpdate",
                                           "RSCCount", "CreateDate", "DEPT"};
  const std::string query = "SELECT * FROM Ace ORDER BY SKU;";
  const auto expected = Rows(data, query, fields);
  const std::string link = "[MS Access;DATABASE=C:\\CURRENT.YW;PWD=qed5190]";
  data.Execute("INSERT INTO " + link + ".[Ace] SELECT * FROM Ace");
  EXPECT_EQ(Rows(cur, query, fields), expected);
  try {
    data.Execute("INSERT INTO " + link + ".[Ace] SELECT * FROM Ace");
    ADD_FAILURE();
  } catch (const RunError& e) {
    EXPECT_EQ(e.number(), jet::kErrGeneral);
  }
  EXPECT_EQ(Rows(cur, query, fields), expected);
}

// Outside values reach SQLite bound or quoted: a path with a quote and a percent sign works, and
// one with a bracket cannot be written in a linked reference at all, so it is an error.
TEST_F(JetStatementsTest, OutsideValuesAreNeverPastedIntoSql) {
  std::filesystem::create_directories(prefix.drive_c() / "O'B%]");
  db::CreateDatabase((prefix.drive_c() / "O'B%]" / "X.YW").string(), "qed5190");
  std::filesystem::create_directories(prefix.drive_c() / "O'B%");
  db::CreateDatabase((prefix.drive_c() / "O'B%" / "X.YW").string(), "qed5190");
  for (const char* dir : {"O'B%", "O'B%]"}) {
    Connection other(engine);
    OpenOn(other, std::string("C:\\") + dir + "\\X.YW");
    Exec(other, schema::AceStatements("Ace"));
    other.Execute("INSERT INTO Ace ( SKU, Description ) VALUES ( 'Q1', 'it''s 50% off [now]' )");
  }
  cur.Close();
  Connection data(engine);
  OpenOn(data, "C:\\O'B%\\X.YW");
  data.Execute("INSERT INTO [MS Access;DATABASE=C:\\CURRENT.YW;PWD=qed5190].[Ace] SELECT * FROM Ace");
  data.Close();
  OpenOn(data, "C:\\CURRENT.YW");
  ExpectError(data, "INSERT INTO [MS Access;DATABASE=C:\\O'B%]\\X.YW;PWD=qed5190].[Ace] SELECT * FROM Ace", jet::kErrSyntax);
  EXPECT_EQ(Rows(data, "SELECT SKU, Description FROM Ace;", {"SKU", "Description"}),
            std::vector<std::string>{"Q1|it's 50% off [now]"});
}

TEST_F(JetStatementsTest, MonthToDateMergeInsertsNewAndUpdatesKnownSkus) {
  Exec(cur, schema::AceStatements("AceMTD"));
  cur.Execute("INSERT INTO Ace ( SKU, Description, DEPT, AceRetail ) VALUES ( 'k1', 'old', 'D1', 1 )");
  cur.Execute("INSERT INTO Ace ( SKU, Description, DEPT ) VALUES ( 'ONLY', 'mine', 'D2' )");
  cur.Execute("INSERT INTO AceMTD ( SKU, Description, DEPT, AceRetail, [Active] ) VALUES ( 'K1', 'new', 'XX', 2, True )");
  cur.Execute("INSERT INTO AceMTD ( SKU, Description, DEPT ) VALUES ( 'N1', 'fresh', 'D3' )");
  cur.Execute("INSERT INTO Ace SELECT AceMTD.* FROM AceMTD LEFT JOIN Ace ON AceMTD.SKU = Ace.SKU WHERE (((Ace.SKU) Is Null));");
  cur.Execute("UPDATE AceMTD INNER JOIN Ace ON AceMTD.SKU = Ace.SKU SET Ace.Description = [AceMTD].[Description], "
              "Ace.AceRetail = [AceMTD].[AceRetail], Ace.Active = [AceMTD].[Active];");
  EXPECT_EQ(Rows(cur, "SELECT SKU, Description, DEPT, AceRetail, [Active] FROM Ace ORDER BY SKU;",
                 {"SKU", "Description", "DEPT", "AceRetail", "Active"}),
            (std::vector<std::string>{"k1|new|D1|2|-1", "N1|fresh|D3||0", "ONLY|mine|D2||0"}));
}

TEST_F(JetStatementsTest, TheWholeMergeUpdateRunsAsWritten) {
  Exec(cur, schema::AceStatements("AceMTD"));
  cur.Execute("INSERT INTO Ace ( SKU, Description, DEPT, MfgNumber ) VALUES ( 'K1', 'old', 'D1', 'M1' )");
  cur.Execute("INSERT INTO AceMTD ( SKU, Description, DEPT, MfgNumber, InUpdate, MSUChangeDate ) VALUES ( 'k1', 'new', 'XX', 'M2', True, #3/2/2007# )");
  cur.Execute(
      "UPDATE AceMTD INNER JOIN Ace ON AceMTD.SKU = Ace.SKU SET Ace.Description = [AceMTD].[Description], Ace.AceRetail = [AceMTD].[AceRetail], "
      "Ace.Level1 = [AceMTD].[Level1], Ace.Level2 = [AceMTD].[Level2], Ace.MC = [AceMTD].[MC], Ace.PS = [AceMTD].[PS], "
      "Ace.DealerCost = [AceMTD].[DealerCost], Ace.DOM = [AceMTD].[DOM], Ace.HC = [AceMTD].[HC], Ace.VC = [AceMTD].[VC], "
      "Ace.VendorName = [AceMTD].[VendorName], Ace.VendorNumber = [AceMTD].[VendorNumber], Ace.MfgNumber = [AceMTD].[MfgNumber], "
      "Ace.ParentRSC = [AceMTD].[ParentRSC], Ace.PG = [AceMTD].[PG], Ace.PrivateLabel = [AceMTD].[PrivateLabel], "
      "Ace.RDOM = [AceMTD].[RDOM], Ace.RSCCount = [AceMTD].[RSCCount], Ace.RU = [AceMTD].[RU], Ace.Nbr = [AceMTD].[Nbr], "
      "Ace.Conv = [AceMTD].[Conv], Ace.Sup = [AceMTD].[Sup], Ace.Ult = [AceMTD].[Ult], "
      "Ace.Active = [AceMTD].[Active], Ace.InUpdate = [AceMTD].[InUpdate], Ace.LastPriceChange = [AceMTD].[LastPriceChange], "
      "Ace.LastUpdate = [AceMTD].[LastUpdate], Ace.CreateDate = [AceMTD].[CreateDate], Ace.MSURetail = [AceMTD].[MSURetail], "
      "Ace.MSURetailPrior = [AceMTD].[MSURetailPrior], Ace.MSUChangeDate = [AceMTD].[MSUChangeDate];");
  EXPECT_EQ(Rows(cur, "SELECT SKU, Description, DEPT, MfgNumber, InUpdate, MSUChangeDate FROM Ace;",
                 {"SKU", "Description", "DEPT", "MfgNumber", "InUpdate", "MSUChangeDate"}),
            std::vector<std::string>{"K1|new|D1|M2|-1|2007-03-02 00:00:00"});
}

// An update through a join gives, row for row, byte for byte and type for type, what SQLite's own
// UPDATE .. FROM gives: letter case counts in the values, and each column's type rules apply.
TEST_F(JetStatementsTest, AnUpdateThroughAJoinGivesWhatSQLitesOwnGives) {
  for (const char* file : {"C:\\CURRENT.YW", "C:\\DATA.YW"}) {
    Connection cnn(engine);
    OpenOn(cnn, file);
    if (std::string(file) == "C:\\DATA.YW") {
      Exec(cnn, schema::AceStatements("Ace"));
      Exec(cnn, schema::PlanogramStatements("PlanogramDetails"));
    }
    Exec(cnn, schema::AceStatements("AceMTD"));
    cnn.Execute("ALTER TABLE AceMTD ADD COLUMN Loose TEXT(10)");
    cnn.Execute("ALTER TABLE Ace ADD COLUMN Loose DOUBLE");
    for (const char* row : {"'S1', 'same', 2.5, 'x'", "'S2', 'lower', 3, '7'", "'S3', 'old', Null, '1.0'",
                            "'S4', 'same', 4, Null"}) {
      cnn.Execute(std::string("INSERT INTO Ace ( SKU, Description, AceRetail, Loose ) VALUES ( ") + row + " )");
    }
    for (const char* row : {"'s1', 'same', 2.5, 'x'", "'S2', 'LOWER', 3.0, '7'", "'S3', 'new', 1.25, '1'",
                            "'S4', 'same', 4, Null", "'S5', 'only new', 9, '9'"}) {
      cnn.Execute(std::string("INSERT INTO AceMTD ( SKU, Description, AceRetail, Loose ) VALUES ( ") + row + " )");
    }
  }
  const std::string jet =
      "UPDATE AceMTD INNER JOIN Ace ON AceMTD.SKU = Ace.SKU SET Ace.Description = [AceMTD].[Description], "
      "Ace.AceRetail = [AceMTD].[AceRetail], Ace.Loose = [AceMTD].[Loose];";
  cur.Execute(jet);
  cur.Close();
  const Database plain = Database::Open(prefix.drive_c() / "DATA.YW", Database::Mode::kReadWrite, RunError(0, "open"));
  plain.Exec("UPDATE Ace SET Description = m.Description, AceRetail = m.AceRetail, Loose = m.Loose "
             "FROM AceMTD AS m WHERE m.SKU = Ace.SKU COLLATE NOCASE");
  const Database ours = Database::Open(prefix.drive_c() / "CURRENT.YW", Database::Mode::kReadOnly, RunError(0, "open"));
  const std::string rows =
      "SELECT group_concat(SKU || ':' || quote(Description) || typeof(AceRetail) || quote(AceRetail) || "
      "typeof(Loose) || quote(Loose), ' ') FROM (SELECT * FROM Ace ORDER BY SKU)";
  EXPECT_EQ(Query(ours, rows), Query(plain, rows));
  EXPECT_EQ(Query(ours, rows)[0].find("'LOWER'") != std::string::npos, true);  // letter case counts
}

// The statements built from INI entries: a key clause, columns with and without defaults.
TEST_F(JetStatementsTest, StatementsFromIniDefinitionsRun) {
  cur.Execute("CREATE TABLE AdditionalDetails ([SKU] TEXT(20) CONSTRAINT MyConstraint PRIMARY KEY)");
  cur.Execute("ALTER TABLE AdditionalDetails ADD COLUMN [Description] TEXT(50)");
  cur.Execute("ALTER TABLE AdditionalDetails ADD COLUMN [AceRetail] CURRENCY DEFAULT 0");
  cur.Execute("ALTER TABLE AdditionalDetails ADD COLUMN [Note] TEXT(10) DEFAULT 'n/a'");
  ExpectError(cur, "ALTER TABLE AdditionalDetails ADD COLUMN [Bad] TEXT(10) DEFAULT 'a", jet::kErrSyntax);
  ExpectError(cur, "ALTER TABLE AdditionalDetails ADD COLUMN [Bad] TEXT(10) DEFAULT '1'); DROP TABLE Ace; --'", jet::kErrSyntax);
  cur.Execute("INSERT INTO AdditionalDetails ( SKU ) VALUES ( 'A' )");
  EXPECT_EQ(Rows(cur, "SELECT SKU, AceRetail, [Note] FROM AdditionalDetails;", {"SKU", "AceRetail", "Note"}),
            std::vector<std::string>{"A|0|n/a"});
  cur.Execute("CREATE TABLE PlanogramCopy ([POG] TEXT(10))");
  EXPECT_EQ(Rows(cur, "SELECT SKU FROM Ace;", {"SKU"}).size(), 0u);
}

TEST_F(JetStatementsTest, PrefixesAreAddedOnceAndRemovedByPattern) {
  for (const char* sku : {"100", "P200", "p300", "O'B1", "50%", "5_0"}) {
    cur.Execute(std::string("INSERT INTO Ace ( SKU ) VALUES ( '") + (std::string(sku) == "O'B1" ? "O''B1" : sku) + "' )");
  }
  for (int run = 0; run < 2; ++run) {
    cur.Execute("UPDATE Ace SET [SKU] = 'P' & [SKU] WHERE [SKU] Not Like 'P%';");
  }
  EXPECT_EQ(Rows(cur, "SELECT SKU FROM Ace ORDER BY SKU;", {"SKU"}),
            (std::vector<std::string>{"P100", "P200", "p300", "P50%", "P5_0", "PO'B1"}));  // Like and order ignore case
  // A quoted prefix with the pattern characters escaped matches them as themselves.
  cur.Execute("DELETE Ace.* FROM Ace WHERE ((Ace.SKU) Like 'P5[_]%' )");
  cur.Execute("DELETE Ace.* FROM Ace WHERE ((Ace.SKU) Like 'PO''B%' )");
  EXPECT_EQ(Rows(cur, "SELECT SKU FROM Ace ORDER BY SKU;", {"SKU"}),
            (std::vector<std::string>{"P100", "P200", "p300", "P50%"}));
  // A prefix pasted verbatim cannot run what follows its quote.
  ExpectError(cur, "UPDATE Ace SET [SKU] = 'x'; DROP TABLE Ace; --' & [SKU] WHERE [SKU] Not Like 'x'; DROP TABLE Ace; --%';",
              jet::kErrSyntax);
  ExpectError(cur, "DELETE Ace.* FROM Ace WHERE ((Ace.SKU) Like 'x' OR 'a'='a' )]%' )", jet::kErrSyntax);
  EXPECT_EQ(Rows(cur, "SELECT SKU FROM Ace ORDER BY SKU;", {"SKU"}).size(), 4u);
  cur.Execute("DELETE Ace.* FROM Ace WHERE ((Ace.SKU) Like '%' )");
  EXPECT_TRUE(Rows(cur, "SELECT SKU FROM Ace;", {"SKU"}).empty());
}

TEST_F(JetStatementsTest, TheCustomImportSetsTheCompetitorColumn) {
  cur.Execute("CREATE TABLE Store ([Sku] TEXT(20) CONSTRAINT PK PRIMARY KEY, [Comp1] CURRENCY, [Comp5] CURRENCY)");
  cur.Execute("CREATE TABLE Competitors ([Competitor] TEXT(10), [Name] TEXT(30))");
  cur.Execute("INSERT INTO Competitors VALUES ( 'Comp5', 'Old' )");
  cur.Execute("INSERT INTO Competitors VALUES ( 'Comp1', 'Other' )");
  cur.Execute("INSERT INTO Store VALUES ( 'a1', 1, 9 )");
  cur.Execute("INSERT INTO Store VALUES ( 'B2', 1, 9 )");
  Exec(cur, schema::AceStatements("AceMTD"));
  cur.Execute("INSERT INTO AceMTD ( SKU, AceRetail ) VALUES ( 'A1', 4.99 )");
  cur.Execute("UPDATE Store Set Store.Comp5 = 0;");
  cur.Execute("UPDATE Store INNER JOIN AceMTD ON Store.Sku = AceMTD.SKU SET Store.Comp5 = [AceMTD]![AceRetail];");
  cur.Execute("UPDATE Competitors SET Name = 'CustRetail' WHERE Competitor = 'Comp5';");
  EXPECT_EQ(Rows(cur, "SELECT Sku, Comp5 FROM Store ORDER BY Sku;", {"Sku", "Comp5"}),
            (std::vector<std::string>{"a1|4.99", "B2|0"}));
  EXPECT_EQ(Rows(cur, "SELECT Competitor, Name FROM Competitors ORDER BY Competitor;", {"Competitor", "Name"}),
            (std::vector<std::string>{"Comp1|Other", "Comp5|CustRetail"}));
}

TEST_F(JetStatementsTest, TheDateTableHoldsOneDate) {
  cur.Execute("CREATE TABLE AceFileDate ([FileDate] DATETIME)");
  Recordset rs;
  rs.Open("SELECT FileDate FROM AceFileDate;", cur, 1, 3);
  EXPECT_TRUE(rs.Bof() && rs.Eof());
  cur.Execute("INSERT INTO AceFileDate ( FileDate ) VALUES ( #3/1/2007# );");
  cur.Execute("DELETE * FROM AceFileDate");
  cur.Execute("INSERT INTO AceFileDate ( FileDate ) VALUES ( #12/31/2007# );");
  ExpectError(cur, "INSERT INTO AceFileDate ( FileDate ) VALUES ( #2/30/2007# );", jet::kErrSyntax);
  ExpectError(cur, "INSERT INTO AceFileDate ( FileDate ) VALUES ( ## );", jet::kErrSyntax);
  rs.Open("SELECT FileDate FROM AceFileDate;", cur, 1, 3);
  ASSERT_FALSE(rs.Eof());
  EXPECT_TRUE(rs.Fields("FileDate").is_date);
  EXPECT_EQ(rs.Fields("filedate").ToText(), "2007-12-31 00:00:00");
  cur.Execute("CREATE TABLE ListBoxs ([Item] TEXT(10))");
  cur.Execute("INSERT INTO ListBoxs VALUES ( 'x' )");
  cur.Execute("DELETE * from ListBoxs;");
  EXPECT_TRUE(Rows(cur, "SELECT Item FROM ListBoxs;", {"Item"}).empty());
}

TEST(JetTokenizerTest, QuotesBracketsAndDatesAreTokensOfTheirOwn) {
  const auto tokens = jet::Tokenize("SELECT [a b], 'it''s', \"q\", #3/1/2007#, 1.5 FROM [MS Access;DATABASE=C:\\x;PWD=p].[t]!c");
  std::vector<std::string> texts;
  for (const auto& t : tokens) texts.push_back(t.text);
  EXPECT_EQ(texts, (std::vector<std::string>{"SELECT", "a b", ",", "it's", ",", "q", ",", "3/1/2007", ",", "1.5",
                                             "FROM", "MS Access;DATABASE=C:\\x;PWD=p", ".", "t", "!", "c", ""}));
  for (const char* bad : {"SELECT 'open", "SELECT [open", "SELECT #1/1/2007", "SELECT a ? b", "SELECT 1.2.3"}) {
    EXPECT_THROW(jet::Tokenize(bad), RunError) << bad;
  }
}

}  // namespace
}  // namespace cs::db
