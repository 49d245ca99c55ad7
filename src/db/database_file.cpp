#include "db/database_file.h"

#include <fstream>
#include <system_error>

#include "db/jet/errors.h"
#include "db/jetfile/header.h"
#include "db/password.h"

namespace fs = std::filesystem;

namespace cs::db {

bool HasSqliteHeader(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  char header[16] = {};
  in.read(header, sizeof header);
  return in.gcount() == 16 && std::string(header, 16) == std::string("SQLite format 3\0", 16);
}

namespace {

std::optional<fs::path> RegularFile(const Engine& engine, const std::string& windows_path) {
  const auto host = engine.Locate(windows_path);
  std::error_code ec;
  if (!host || !fs::is_regular_file(*host, ec)) return std::nullopt;
  return host;
}

}  // namespace

fs::path DatabaseFile(Engine& engine, const std::string& windows_path, const std::string& password) {
  const auto host = RegularFile(engine, windows_path);
  if (!host) throw jet::FileNotFound(windows_path);
  if (HasSqliteHeader(*host)) return *host;
  if (jetfile::ReadHeader(*host)) return engine.JetCopy(*host, windows_path, password);
  throw jet::NotADatabase(windows_path);
}

std::optional<fs::path> SqliteFile(const Engine& engine, const std::string& windows_path) {
  const auto host = RegularFile(engine, windows_path);
  if (host && HasSqliteHeader(*host)) return host;
  return std::nullopt;
}

void VerifyDatabase(Engine& engine, const Database& db, const std::string& schema,
                    const std::string& windows_path, const std::string& password,
                    const fs::path& host) {
  if (!engine.checks().Verify(db, schema, host)) throw jet::NotADatabase(windows_path);
  CheckPassword(db, schema, password, windows_path);
}

}  // namespace cs::db
