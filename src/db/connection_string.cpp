#include "db/connection_string.h"

#include "db/password.h"
#include "platform/text.h"

namespace cs::db {
namespace {

// Calls `take(key, value)` for each "key=value" part of the text.
template <class Take>
void ForEachPart(std::string_view text, Take take) {
  std::size_t start = 0;
  while (start <= text.size()) {
    const auto end = std::min(text.find(';', start), text.size());
    const std::string_view part = text.substr(start, end - start);
    if (const auto eq = part.find('='); eq != std::string_view::npos) {
      take(platform::Trim(part.substr(0, eq), " "), part.substr(eq + 1));
    }
    start = end + 1;
  }
}

}  // namespace

std::string ConnectionString(const std::string& path) {
  return "Provider=Microsoft.Jet.OLEDB.4.0; Data Source=" + path +
         ";Jet OLEDB:Database Password=" + kDatabasePassword;
}

ConnectionSettings ParseConnectionString(std::string_view text) {
  ConnectionSettings out;
  ForEachPart(text, [&](std::string_view key, std::string_view value) {
    if (platform::EqualsNoCase(key, "Provider")) out.provider = platform::Trim(value, " ");
    if (platform::EqualsNoCase(key, "Data Source")) out.data_source = value;
    if (platform::EqualsNoCase(key, "Jet OLEDB:Database Password")) out.password = value;
  });
  return out;
}

ConnectionSettings ParseLinkedSpec(std::string_view text) {
  ConnectionSettings out;
  ForEachPart(text.substr(text.find(';') == std::string_view::npos ? text.size() : text.find(';') + 1),
              [&](std::string_view key, std::string_view value) {
                if (platform::EqualsNoCase(key, "DATABASE")) out.data_source = value;
                if (platform::EqualsNoCase(key, "PWD")) out.password = value;
              });
  return out;
}

}  // namespace cs::db
