// Jet statements in, SQLite text and bound values out: every statement form the imports send,
// and the refusals. No database: the tables' columns come from a fake lookup.
#include "db/jet/translator.h"

#include <gtest/gtest.h>

#include "db/jet/errors.h"

namespace cs::db::jet {
namespace {

class FakeTables : public SchemaLookup {
 public:
  std::vector<std::string> Columns(const std::string&, const std::string& table) override {
    if (table == "Ace" || table == "AceMTD") return {"SKU", "Description", "AceRetail", "DEPT", "Active"};
    if (table == "Reordered") return {"Description", "SKU"};
    if (table == "Store") return {"Sku", "Comp5"};
    if (table == "Competitors") return {"Competitor", "Name"};
    if (table == "AceFileDate") return {"FileDate"};
    if (table == "ListBoxs") return {"ListName", "Item"};
    return {};
  }
};

struct Result {
  std::string sql;
  std::vector<std::string> values;  // the bound values' texts, a date marked with a leading #
};

Result Translated(const std::string& jet) {
  const auto tokens = Tokenize(jet);
  std::map<std::string, std::string> linked;
  for (const auto& link : FindLinkedDatabases(tokens)) linked[link.spec] = "link0";
  FakeTables tables;
  const Translation t = Translate(tokens, linked, tables);
  Result r{t.sql, {}};
  for (const auto& p : t.parameters) r.values.push_back((p.is_date ? "#" : "") + p.ToText());
  return r;
}

TEST(TranslatorTest, EveryStatementFormTheProgramSends) {
  struct Case {
    const char* jet;
    const char* sql;
    std::vector<std::string> values;
  } cases[] = {
      {"SELECT FileDate FROM AceFileDate;", R"(SELECT "FileDate" FROM "main"."AceFileDate")", {}},
      {"DELETE * FROM AceFileDate", R"(DELETE FROM "main"."AceFileDate")", {}},
      {"DELETE * from ListBoxs;", R"(DELETE FROM "main"."ListBoxs")", {}},
      {"INSERT INTO AceFileDate ( FileDate ) VALUES ( #3/1/2007# );",
       R"(INSERT INTO "main"."AceFileDate" ("FileDate") VALUES (?1))", {"#2007-03-01 00:00:00"}},
      // The same layout on both sides: the rows are copied as stored.
      {"INSERT INTO [MS Access;DATABASE=C:\\YW.YW;PWD=qed5190].[Ace] SELECT * FROM Ace",
       R"(INSERT INTO "link0"."Ace" SELECT * FROM "main"."Ace")", {}},
      // Another order: matched by name.
      {"INSERT INTO [MS Access;DATABASE=C:\\YW.YW;PWD=qed5190].[Ace] SELECT * FROM Reordered",
       R"(INSERT INTO "link0"."Ace" ("Description", "SKU") SELECT "Reordered"."Description", )"
       R"("Reordered"."SKU" FROM "main"."Reordered")",
       {}},
      {"INSERT INTO Ace SELECT AceMTD.* FROM AceMTD LEFT JOIN Ace ON AceMTD.SKU = Ace.SKU WHERE "
       "(((Ace.SKU) Is Null));",
       R"(INSERT INTO "main"."Ace" ("SKU", "Description", "AceRetail", "DEPT", "Active") SELECT )"
       R"("AceMTD"."SKU", "AceMTD"."Description", "AceMTD"."AceRetail", "AceMTD"."DEPT", )"
       R"("AceMTD"."Active" FROM "main"."AceMTD" LEFT JOIN "main"."Ace" ON ("AceMTD"."SKU" = )"
       R"("Ace"."SKU" COLLATE NOCASE) WHERE (((("Ace"."SKU") IS NULL))))",
       {}},
      // The table whose columns are set is the one updated, whichever side of the join it is.
      {"UPDATE AceMTD INNER JOIN Ace ON AceMTD.SKU = Ace.SKU SET Ace.Description = "
       "[AceMTD].[Description], Ace.Active = [AceMTD].[Active];",
       R"(UPDATE "main"."Ace" SET "Description" = "AceMTD"."Description", "Active" = )"
       R"("AceMTD"."Active" FROM "main"."AceMTD" WHERE ("AceMTD"."SKU" = "Ace"."SKU" COLLATE NOCASE))",
       {}},
      {"UPDATE Ace SET [SKU] = 'A''1' & [SKU] WHERE [SKU] Not Like 'A''1%';",
       R"(UPDATE "main"."Ace" SET "SKU" = (COALESCE(?1, '') || COALESCE("SKU", '')) WHERE )"
       R"((NOT ("SKU" LIKE ?2 ESCAPE '\')))",
       {"A'1", "A'1%"}},
      {"DELETE Ace.* FROM Ace WHERE ((Ace.SKU) Like 'A[%]1%' )",
       R"(DELETE FROM "main"."Ace" WHERE ((("Ace"."SKU") LIKE ?1 ESCAPE '\')))", {"A\\%1%"}},
      {"UPDATE Store Set Store.Comp5 = 0;", R"(UPDATE "main"."Store" SET "Comp5" = 0)", {}},
      {"UPDATE Store INNER JOIN AceMTD ON Store.Sku = AceMTD.SKU SET Store.Comp5 = "
       "[AceMTD]![AceRetail];",
       R"(UPDATE "main"."Store" SET "Comp5" = "AceMTD"."AceRetail" FROM "main"."AceMTD" WHERE )"
       R"(("Store"."Sku" = "AceMTD"."SKU" COLLATE NOCASE))",
       {}},
      {"UPDATE Competitors SET Name = 'CustRetail' WHERE Competitor = 'Comp5';",
       R"(UPDATE "main"."Competitors" SET "Name" = ?1 WHERE ("Competitor" = ?2 COLLATE NOCASE))",
       {"CustRetail", "Comp5"}},
      {"SELECT [Active] FROM Ace WHERE Sku = 'ZZNOEXIST';",
       R"(SELECT "Active" FROM "main"."Ace" WHERE ("Sku" = ?1 COLLATE NOCASE))", {"ZZNOEXIST"}},
      {"CREATE TABLE AceMTD([SKU] TEXT(20) CONSTRAINT MyConstraint PRIMARY KEY);",
       R"(CREATE TABLE "main"."AceMTD" ("SKU" TEXT(20) COLLATE NOCASE CONSTRAINT "jet_len_SKU" )"
       R"(CHECK (length("SKU") <= 20) NOT NULL PRIMARY KEY))",
       {}},
      {"ALTER TABLE Ace ADD COLUMN [Weight] DOUBLE DEFAULT 0",
       R"(ALTER TABLE "main"."Ace" ADD COLUMN "Weight" DOUBLE DEFAULT 0)", {}},
      {"ALTER TABLE Ace ADD COLUMN InUpdate BIT;",
       R"(ALTER TABLE "main"."Ace" ADD COLUMN "InUpdate" BIT NOT NULL ON CONFLICT REPLACE DEFAULT 0)", {}},
      {"DROP TABLE AceMTD", R"(DROP TABLE "main"."AceMTD")", {}},
      {"SELECT * FROM Ace ORDER BY SKU DESC", R"(SELECT * FROM "main"."Ace" ORDER BY "SKU" DESC)", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.jet);
    const Result r = Translated(c.jet);
    EXPECT_EQ(r.sql, c.sql);
    EXPECT_EQ(r.values, c.values);
  }
}

TEST(TranslatorTest, WhatJetRefusesIsRefusedNeverRunAsSomethingElse) {
  struct Case {
    const char* jet;
    std::int32_t number;
    const char* description;
  } cases[] = {
      {"DROP TABLE Nope", kErrTableNotFound,
       "The Microsoft Jet database engine cannot find the input table or query 'Nope'.  Make sure "
       "it exists and that its name is spelled correctly."},
      {"ALTER TABLE Ace ADD COLUMN [Active] YESNO", kErrSyntax, "Field 'Active' already exists in table 'Ace'."},
      {"UPDATE Ace SET DEPT = 1; DROP TABLE Ace", kErrSyntax, "Characters found after end of SQL statement."},
      {"SELECT Len(SKU) FROM Ace", kErrSyntax, "Syntax error in query expression."},
      {"DELETE * FROM Ace WHERE SKU Like '[a-z]%'", kErrSyntax, "Syntax error in pattern string in query expression."},
      {"INSERT INTO Ace SELECT SKU & 'x' FROM AceMTD", kErrGeneral,
       "The INSERT INTO statement contains the following unknown field name: 'Expr1000'.  Make sure "
       "you have typed the name correctly, and try the operation again."},
      {"INSERT INTO Ace ( SKU ) VALUES ( 'a', 'b' )", kErrGeneral,
       "Number of query values and destination fields are not the same."},
      {"UPDATE Ace LEFT JOIN AceMTD ON Ace.SKU = AceMTD.SKU SET Ace.DEPT = 1", kErrSyntax,
       "Syntax error in UPDATE statement."},
      {"DELETE Store.* FROM Ace", kErrSyntax, "Syntax error in DELETE statement."},
      {"TRUNCATE Ace", kErrSyntax,
       "Invalid SQL statement; expected 'DELETE', 'INSERT', 'PROCEDURE', 'SELECT', or 'UPDATE'."},
      {"INSERT INTO [MS Access;DATABASE=C:\\X.YW].[Ace] SELECT * FROM [Ace", kErrSyntax,
       "Syntax error in query expression."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.jet);
    try {
      Translated(c.jet);
      ADD_FAILURE() << "translated";
    } catch (const RunError& e) {
      EXPECT_EQ(e.number(), c.number);
      EXPECT_EQ(e.description(), c.description);
    }
  }
}

}  // namespace
}  // namespace cs::db::jet
