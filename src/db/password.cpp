#include "db/password.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <cstdio>
#include <optional>

#include "db/jet/errors.h"
#include "db/jet/types.h"
#include "platform/text.h"

namespace cs::db {
namespace {

std::string Hex(const unsigned char* data, std::size_t n) {
  std::string out;
  char buf[3];
  for (std::size_t i = 0; i < n; ++i) {
    std::snprintf(buf, sizeof buf, "%02x", data[i]);
    out += buf;
  }
  return out;
}

std::string Sha256Hex(const std::string& bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest, &len, EVP_sha256(), nullptr) != 1) {
    throw RunError(jet::kErrGeneral, "The password cannot be checked: SHA-256 is not available.");
  }
  return Hex(digest, len);
}

// The bytes of a text of hexadecimal digit pairs; nothing when it is anything else.
std::optional<std::string> FromHex(const std::string& hex) {
  const auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  if (hex.size() % 2 != 0) return std::nullopt;
  std::string out;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const int hi = digit(hex[i]), lo = digit(hex[i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out += static_cast<char>(hi * 16 + lo);
  }
  return out;
}

}  // namespace

void CheckPassword(const Database& db, const std::string& schema, const std::string& password,
                   const std::string& shown_path) {
  const auto tables = Query(db, "SELECT name FROM " + jet::QuoteName(schema) +
                                    ".sqlite_schema WHERE type = 'table' AND name = 'MSysPassword' "
                                    "COLLATE NOCASE");
  if (tables.empty()) return;  // no password recorded: any password opens it
  std::optional<Statement> record;
  try {
    record.emplace(db, "SELECT Algorithm, Salt, Hash FROM " + jet::QuoteName(schema) + ".MSysPassword");
    if (!record->Step()) return;
  } catch (const RunError&) {
    throw jet::NotADatabase(shown_path);
  }
  // A record that is not one this program writes cannot prove any password.
  const auto salt = FromHex(record->ColumnText(1));
  if (!salt) throw jet::NotADatabase(shown_path);
  if (record->ColumnText(0) != "sha256" ||
      Sha256Hex(*salt + password) != platform::LCase(record->ColumnText(2))) {
    throw jet::WrongPassword();
  }
}

void RecordPassword(const Database& db, const std::string& password) {
  Query(db, "CREATE TABLE MSysPassword (Algorithm TEXT NOT NULL, Salt TEXT NOT NULL, Hash TEXT NOT NULL)");
  if (password.empty()) return;
  unsigned char salt[16];
  if (RAND_bytes(salt, sizeof salt) != 1) throw RunError(jet::kErrGeneral, "No random bytes for the salt.");
  const std::string salt_bytes(reinterpret_cast<const char*>(salt), sizeof salt);
  Query(db, "INSERT INTO MSysPassword VALUES ('sha256', ?1, ?2)",
        {Hex(salt, sizeof salt), Sha256Hex(salt_bytes + password)});
}

}  // namespace cs::db
