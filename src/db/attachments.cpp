#include "db/attachments.h"

#include <cstdio>

#include "db/database_file.h"
#include "db/jet/errors.h"
#include "db/jet/types.h"

namespace fs = std::filesystem;

namespace cs::db {
namespace {

// A file URI for ATTACH, so that mode=rw keeps SQLite from creating a missing file.
std::string FileUri(const fs::path& path) {
  std::string uri = "file:";
  for (const unsigned char c : fs::absolute(path).string()) {
    if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
      uri += static_cast<char>(c);
    } else {
      char buf[4];
      std::snprintf(buf, sizeof buf, "%%%02X", c);
      uri += buf;
    }
  }
  return uri + "?mode=rw";
}

}  // namespace

Attachments::~Attachments() {
  for (const auto& a : attached_) {
    try {
      db_.Exec("DETACH DATABASE " + jet::QuoteName(a.schema));
    } catch (const RunError&) {
      // Nothing more can be done about a file that does not let go; the connection's close does.
    }
    // A file that passed its checks stays checked with what this statement wrote into it.
    if (a.verified) engine_.checks().Remember(a.host);
  }
}

void Attachments::Attach(const std::string& spec, const std::string& windows_path,
                         const std::string& password, const std::string& schema) {
  const fs::path host = DatabaseFile(engine_, windows_path, password);
  Statement attach(db_, "ATTACH DATABASE ?1 AS " + jet::QuoteName(schema));
  attach.BindText(1, FileUri(host));
  try {
    attach.Run();
  } catch (const RunError&) {
    throw jet::NotADatabase(windows_path);
  }
  attached_.push_back({schema, host});
  VerifyDatabase(engine_, db_, schema, windows_path, password, host);
  attached_.back().verified = true;
  if (engine_.IsStandIn(host)) db_.WriteWithoutFlushing(schema);
  names_[spec] = schema;
}

}  // namespace cs::db
