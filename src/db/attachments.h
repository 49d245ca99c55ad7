// The linked databases of one statement ("[MS Access;DATABASE=<path>;PWD=<pw>].[table]"): each file
// is attached to the connection for the statement, with the same checks as an open, and detached
// again on every path.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "db/engine.h"
#include "db/sqlite.h"

namespace cs::db {

class Attachments {
 public:
  Attachments(Engine& engine, const Database& db) : engine_(engine), db_(db) {}
  ~Attachments();
  Attachments(const Attachments&) = delete;
  Attachments& operator=(const Attachments&) = delete;

  // Attaches the file named by `windows_path` under `schema`, for the reference `spec` (the text
  // inside the reference's first brackets). Throws Jet's error when the file cannot be used.
  void Attach(const std::string& spec, const std::string& windows_path, const std::string& password,
              const std::string& schema);

  // Each reference's spec and the schema it is attached under.
  const std::map<std::string, std::string>& names() const { return names_; }

 private:
  Engine& engine_;
  const Database& db_;
  struct Attached {
    std::string schema;
    std::filesystem::path host;
    bool verified = false;
  };
  std::vector<Attached> attached_;
  std::map<std::string, std::string> names_;
};

}  // namespace cs::db
