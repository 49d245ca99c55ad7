// The connection string of the Jet OLE DB provider, as every database access writes it:
//   "Provider=Microsoft.Jet.OLEDB.4.0; Data Source=<Windows path>;Jet OLEDB:Database Password=<pw>"
// and the linked-database reference that names a table of another file inside a statement:
//   "[MS Access;DATABASE=<Windows path>;PWD=<pw>].[<table>]"
#pragma once

#include <string>
#include <string_view>

namespace cs::db {

// The connection string for a database file, with the database password.
std::string ConnectionString(const std::string& path);

struct ConnectionSettings {
  std::string provider;
  std::string data_source;
  std::string password;
};

// Reads the "key=value" parts of a text separated by ";": keys are matched without regard to
// letter case, blanks around a key are ignored, a value is taken as written. For a connection
// string (Provider, Data Source, Jet OLEDB:Database Password) and a linked reference's text after
// "MS Access;" (DATABASE, PWD) alike.
ConnectionSettings ParseConnectionString(std::string_view text);
ConnectionSettings ParseLinkedSpec(std::string_view text);

}  // namespace cs::db
