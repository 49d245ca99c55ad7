#include "db/jet/translator.h"

#include "db/connection_string.h"
#include "db/jet/ddl.h"
#include "db/jet/dml.h"
#include "db/jet/errors.h"
#include "db/jet/parser.h"
#include "db/jet/select.h"

namespace cs::db::jet {

std::vector<LinkedDatabase> FindLinkedDatabases(const std::vector<Token>& tokens) {
  std::vector<LinkedDatabase> out;
  for (const auto& t : tokens) {
    if (!IsLinkedSpec(t)) continue;
    bool seen = false;
    for (const auto& l : out) seen = seen || l.spec == t.text;
    if (seen) continue;
    const ConnectionSettings settings = ParseLinkedSpec(t.text);
    out.push_back({t.text, settings.data_source, settings.password});
  }
  return out;
}

Translation Translate(const std::vector<Token>& tokens,
                      const std::map<std::string, std::string>& linked, SchemaLookup& schema) {
  Parser p(tokens, linked, schema);
  Translation out;
  if (p.Word("SELECT")) {
    out.sql = Select(p);
  } else if (p.Word("INSERT")) {
    out.sql = Insert(p);
  } else if (p.Word("UPDATE")) {
    out.sql = Update(p);
  } else if (p.Word("DELETE")) {
    out.sql = Delete(p);
  } else if (p.Word("CREATE")) {
    out.sql = CreateTable(p);
  } else if (p.Word("ALTER")) {
    out.sql = AlterTable(p);
  } else if (p.Word("DROP")) {
    out.sql = DropTable(p);
  } else {
    throw RunError(kErrSyntax,
                   "Invalid SQL statement; expected 'DELETE', 'INSERT', 'PROCEDURE', 'SELECT', or 'UPDATE'.");
  }
  p.Symbol(";");
  if (!p.AtEnd()) throw RunError(kErrSyntax, "Characters found after end of SQL statement.");
  out.parameters = p.TakeParameters();
  return out;
}

}  // namespace cs::db::jet
