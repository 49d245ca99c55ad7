#include "db/jetfile/to_jet.h"


#include "db/jet/errors.h"
#include "db/jetfile/copy.h"
#include "db/jetfile/jet_rows.h"
#include "db/jetfile/read_ahead.h"
#include "db/password.h"
#include "db/sqlite.h"
#include "jetfile/database.h"
#include "jetfile/new_database.h"
#include "jetfile/table_catalog.h"
#include "platform/run_error.h"
#include "platform/text.h"

namespace fs = std::filesystem;

namespace cs::db::jetfile {
namespace {

void Check(std::error_code ec, const std::string& what) {
  if (ec) throw PathFileAccessError(what, ec.message());
}

}  // namespace

void CopyToJetFile(platform::FileSystem& files, const fs::path& source, const fs::path& new_jet,
                   const std::string& password) {
  if (files.Stat(new_jet).kind != platform::FileKind::kMissing) {
    throw RunError(err::kFileAlreadyExists, "File already exists");
  }
  const Database db = Database::Open(source, Database::Mode::kReadOnly, jet::NotADatabase(source.string()));
  bool has_password = false;
  std::vector<std::string> names;
  // A file that is not a database of the program's format (or a damaged one) is Jet's
  // unrecognized format, as opening it would be; a password that does not open it is Jet's too.
  try {
    CheckPassword(db, "main", password, source.string());
    has_password = !Query(db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'MSysPassword'").empty() &&
                   !Query(db, "SELECT 1 FROM MSysPassword").empty();
    names = ProgramTables(db);
  } catch (const RunError& e) {
    if (e.number() == jet::kErrPassword) throw;
    throw jet::NotADatabase(source.string());
  }
  std::vector<SourceTable> tables;
  for (const std::string& name : names) tables.push_back(ReadTableSchema(db, name));

  const fs::path temporary = TemporaryBeside(fs::absolute(new_jet));
  RemovedUnlessKept remove(files, temporary);
  Check(files.WriteFile(temporary, "", false), "creating " + temporary.string());
  {
    std::unique_ptr<platform::RandomAccessFile> file;
    Check(files.OpenRandomAccess(temporary, true, file), "opening " + temporary.string());
    const double now = OleNow();
    try {
      cs::jetfile::CreateEmptyDatabase(*file, has_password ? platform::Utf8ToUtf16(password) : u"", now);
      auto jet = cs::jetfile::Database::Open(*file, true);
      for (const SourceTable& t : tables) {
        cs::jetfile::CreateTable(jet, t.schema, now);
        TableRows rows(db, t.name, t.columns, t.schema.columns);
        ReadAheadRows ahead(rows);
        // A new file, removed when a table does not go in: each row is read once.
        jet.WriteTable(t.schema.name, ahead, cs::jetfile::Reading::kOnce);
        jet.CheckTable(t.schema.name);
      }
      jet.Flush();
    } catch (const cs::jetfile::FormatError& e) {
      throw RunError(jet::kErrGeneral, std::string("The Jet file cannot be written: ") + e.what());
    }
  }
  if (files.Stat(new_jet).kind != platform::FileKind::kMissing) {
    throw RunError(err::kFileAlreadyExists, "File already exists");
  }
  Check(files.RenameDurably(temporary, new_jet), "renaming to " + new_jet.string());
  remove.Keep();
}

}  // namespace cs::db::jetfile
