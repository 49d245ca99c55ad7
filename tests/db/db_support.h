// Database files for the engine's tests, made in a temporary prefix.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "db/connection.h"
#include "db/database_access.h"
#include "db/password.h"
#include "schema/product_table.h"
#include "test_support.h"

namespace cs::test {

class DbTest : public ::testing::Test {
 protected:
  // Makes C:\<name> with the database password (or another) and returns its Windows path.
  std::string MakeDb(const std::string& name, const std::string& password = db::kDatabasePassword) {
    db::CreateDatabase((prefix.drive_c() / name).string(), password);
    return "C:\\" + name;
  }
  void OpenOn(db::Connection& cnn, const std::string& path,
              const std::string& password = db::kDatabasePassword) {
    cnn.Open("Provider=Microsoft.Jet.OLEDB.4.0; Data Source=" + path +
             ";Jet OLEDB:Database Password=" + password);
  }
  void Exec(db::Connection& cnn, const std::vector<std::string>& statements) {
    for (const auto& s : statements) cnn.Execute(s);
  }
  // The rows of a query, each as its fields' texts joined by "|".
  std::vector<std::string> Rows(db::Connection& cnn, const std::string& sql,
                                const std::vector<std::string>& fields) {
    db::Recordset rs;
    rs.Open(sql, cnn, db::adOpenKeyset, db::adLockOptimistic);
    std::vector<std::string> out;
    while (!rs.Eof()) {
      std::string row;
      for (std::size_t i = 0; i < fields.size(); ++i) {
        row += (i ? "|" : "") + rs.Fields(fields[i]).ToText();
      }
      out.push_back(row);
      rs.MoveNext();
    }
    return out;
  }
  // Expects a statement to fail with the given error number.
  void ExpectError(db::Connection& cnn, const std::string& sql, std::int32_t number) {
    try {
      cnn.Execute(sql);
      ADD_FAILURE() << "no error from: " << sql;
    } catch (const RunError& e) {
      EXPECT_EQ(e.number(), number) << sql << ": " << e.description();
    }
  }

  TempPrefix prefix;
  platform::WindowsPaths paths{prefix.files(), prefix.root()};
  db::Engine engine{prefix.files(), paths};
};

}  // namespace cs::test
