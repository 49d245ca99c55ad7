#include "import/statements.h"

#include "db/password.h"

namespace cs::import {

std::string LinkedTable(const std::string& ToFile, const std::string& table) {
  return "[MS Access;DATABASE=" + ToFile + ";PWD=" + db::kDatabasePassword + "].[" + table + "]";
}

std::string CopyInto(const std::string& ToFile, const std::string& table,
                     const std::string& source) {
  return "INSERT INTO " + LinkedTable(ToFile, table) + " SELECT * FROM " + source;
}

std::string SqlText(const std::string& text) {
  std::string out;
  for (const char c : text) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out;
}

std::string LikeText(const std::string& text) {
  std::string out;
  for (const char c : text) {
    if (c == '%' || c == '_' || c == '[') {
      out += '[';
      out += c;
      out += ']';
    } else {
      out += c;
    }
  }
  return out;
}

std::string PrefixSkusStatement(const std::string& prefix) {
  return "UPDATE Ace SET [SKU] = '" + SqlText(prefix) + "' & [SKU] WHERE [SKU] Not Like '" +
         SqlText(LikeText(prefix)) + "%';";
}

std::string DeleteOldSkusStatement(const std::string& prefix) {
  return "DELETE Ace.* FROM Ace WHERE ((Ace.SKU) Like '" + SqlText(LikeText(prefix)) + "%' )";
}

const char kInsertNewSkus[] =
    "INSERT INTO Ace SELECT AceMTD.* FROM AceMTD LEFT JOIN Ace ON AceMTD.SKU = Ace.SKU WHERE "
    "(((Ace.SKU) Is Null));";

const char kUpdateKnownSkus[] =
    "UPDATE AceMTD INNER JOIN Ace ON AceMTD.SKU = Ace.SKU SET Ace.Description = "
    "[AceMTD].[Description], Ace.AceRetail = [AceMTD].[AceRetail], Ace.Level1 = "
    "[AceMTD].[Level1], Ace.Level2 = [AceMTD].[Level2], Ace.MC = [AceMTD].[MC], Ace.PS = "
    "[AceMTD].[PS], Ace.DealerCost = [AceMTD].[DealerCost], Ace.DOM = [AceMTD].[DOM], Ace.HC = "
    "[AceMTD].[HC], Ace.VC = [AceMTD].[VC], Ace.VendorName = [AceMTD].[VendorName], "
    "Ace.VendorNumber = [AceMTD].[VendorNumber], Ace.MfgNumber = [AceMTD].[MfgNumber], "
    "Ace.ParentRSC = [AceMTD].[ParentRSC], Ace.PG = [AceMTD].[PG], Ace.PrivateLabel = "
    "[AceMTD].[PrivateLabel], Ace.RDOM = [AceMTD].[RDOM], Ace.RSCCount = [AceMTD].[RSCCount], "
    "Ace.RU = [AceMTD].[RU], Ace.Nbr = [AceMTD].[Nbr], Ace.Conv = [AceMTD].[Conv], Ace.Sup = "
    "[AceMTD].[Sup], Ace.Ult = [AceMTD].[Ult], "
    "Ace.Active = [AceMTD].[Active], Ace.InUpdate = [AceMTD].[InUpdate], Ace.LastPriceChange = "
    "[AceMTD].[LastPriceChange], Ace.LastUpdate = [AceMTD].[LastUpdate], Ace.CreateDate = "
    "[AceMTD].[CreateDate], Ace.MSURetail = [AceMTD].[MSURetail], Ace.MSURetailPrior = "
    "[AceMTD].[MSURetailPrior], Ace.MSUChangeDate = [AceMTD].[MSUChangeDate];";

const char kClearComp5[] = "UPDATE Store Set Store.Comp5 = 0;";
const char kSetComp5[] =
    "UPDATE Store INNER JOIN AceMTD ON Store.Sku = AceMTD.SKU SET Store.Comp5 = "
    "[AceMTD]![AceRetail];";
const char kNameComp5[] = "UPDATE Competitors SET Name = 'CustRetail' WHERE Competitor = 'Comp5';";

}  // namespace cs::import
