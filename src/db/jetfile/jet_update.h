// A Jet current database brought to what an import made of it. The import's statements ran on
// the program's own copy of the Jet file (`after`, made from `before`, the copy the run began
// from); this writes a copy of the Jet file in which every table the import changed holds the
// new content, and proves it before anyone puts it in the database's place:
//
// - a table whose rows changed, its columns and key as they were, gets its rows written again
//   in place: the table keeps its definition, indexes, properties and relationships;
// - a table whose columns or key changed is dropped and made again from its new layout, keeping
//   the old table's other indexes on columns it still has (refused for a table in a
//   relationship; jet_layout.h); a new table is made; a table the import dropped is dropped;
// - the relationships that take in a table written are checked against the new rows first
//   (jet_relationships.h);
// - afterwards every table written passes the writer's own walk of its pages and indexes, and the
//   proof of jet_proof.h: the tables written read back by the Jet reader, row by row and value by
//   value as their Jet types hold them, the tables not written unchanged page for page.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "db/jetfile/reader.h"
#include "platform/file_system.h"

namespace cs::db::jetfile {

struct JetUpdate {
  std::filesystem::path jet;      // the Jet file (host path)
  std::filesystem::path before;   // the program's copy of it the run began from
  std::filesystem::path after;    // that copy as the import left it
  std::filesystem::path written;  // where the new Jet file is written; must not exist
  // Tables of `after` whose rows were never read in from the Jet file (db/lazy_rows.h): they hold
  // none there and keep the Jet file's own. Their columns must be as they were.
  std::vector<std::string> unread;
  // Tables dropped or emptied before their rows were read in: written whatever `before` holds.
  std::vector<std::string> replaced;
};

// What was written, by table name.
struct JetUpdateResult {
  std::vector<std::string> rewritten, remade, created, dropped;
  bool Changed() const { return !rewritten.empty() || !remade.empty() || !created.empty() || !dropped.empty(); }
};

// Writes `written` as the file header says: a copy of `jet` with the import's changes, flushed
// and proved. Throws RunError when it cannot be written or does not prove out: a table Jet cannot
// hold, a relationship the new rows break, a difference read back (each naming the table), a
// failure of the file. `written` is removed then; `jet` is never written. shown_path names the
// current database in errors.
JetUpdateResult WriteJetUpdate(platform::FileSystem& files, const JetUpdate& update,
                               const std::string& shown_path, const ReaderOptions& reader = {});

}  // namespace cs::db::jetfile
