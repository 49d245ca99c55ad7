#include "db/jetfile/jet_update.h"

#include <exception>
#include <system_error>

#include "db/jet/errors.h"
#include "db/jet/types.h"
#include "db/jetfile/copy.h"
#include "db/jetfile/jet_layout.h"
#include "db/jetfile/jet_proof.h"
#include "db/jetfile/jet_relationships.h"
#include "db/jetfile/jet_rows.h"
#include "db/jetfile/read_ahead.h"
#include "db/sqlite.h"
#include "jetfile/database.h"
#include "jetfile/table_catalog.h"
#include "platform/run_error.h"
#include "platform/worker.h"
#include "platform/text.h"

namespace cs::db::jetfile {
namespace {

using cs::jetfile::TableDefinition;

// A table's columns as declared: name, type and place in the primary key.
std::vector<std::string> Declared(const Database& db, const std::string& schema, const std::string& table) {
  return Query(db, "SELECT name || char(9) || type || char(9) || pk FROM pragma_table_info(?1, ?2) ORDER BY cid",
               {table, schema});
}

bool SameValue(const Value& a, const Value& b) { return a.is_date == b.is_date && a.data == b.data; }

// True when the table holds the same rows, in the same order, in `after` (main) and `before`.
bool SameRows(const Database& db, const std::string& table) {
  // Rows added or deleted are seen without reading one.
  const std::string count = "SELECT count(*) FROM ";
  if (Query(db, count + "main." + jet::QuoteName(table)) != Query(db, count + "before." + jet::QuoteName(table))) {
    return false;
  }
  Statement a(db, "SELECT * FROM main." + jet::QuoteName(table));
  Statement b(db, "SELECT * FROM before." + jet::QuoteName(table));
  if (a.ColumnCount() != b.ColumnCount()) return false;
  for (;;) {
    const bool more_a = a.Step();
    if (more_a != b.Step()) return false;
    if (!more_a) return true;
    for (int i = 0; i < a.ColumnCount(); ++i) {
      if (!SameValue(a.Column(i), b.Column(i))) return false;
    }
  }
}

// The writing itself, on the open copy.
JetUpdateResult WriteChanges(cs::jetfile::Database& jet, const Database& db, const JetUpdate& update,
                             std::vector<WrittenTable>& written, std::vector<std::string>& untouched) {
  JetUpdateResult result;
  const auto after = ProgramTables(db, "main");
  const auto before = ProgramTables(db, "before");
  std::vector<std::string> jet_tables;
  for (const auto& name : jet.TableNames()) jet_tables.push_back(platform::Utf16ToUtf8(name));
  const double now = OleNow();

  struct Planned {
    std::string name;
    const std::string* in_jet;
    SourceTable program;
    bool remake;
  };
  std::vector<Planned> plan;
  for (const auto& table : after) {
    const std::string* in_jet = FindNoCase(jet_tables, table);
    const std::string* in_before = FindNoCase(before, table);
    const bool replaced = FindNoCase(update.replaced, table) != nullptr;
    if (!replaced && FindNoCase(update.unread, table)) {
      // Its rows are the Jet file's own, never read in; what could have changed is its columns.
      if (!in_jet || !in_before || Declared(db, "main", table) != Declared(db, "before", *in_before)) {
        throw CannotWriteInto(table, "its columns changed while its rows were never read");
      }
      continue;
    }
    if (!replaced && in_jet && in_before && Declared(db, "main", table) == Declared(db, "before", *in_before) &&
        SameRows(db, table)) {
      continue;
    }
    SourceTable program = ReadTableSchema(db, table);
    const bool remake = in_jet && !SameLayout(program, jet.Definition(platform::Utf8ToUtf16(*in_jet)));
    plan.push_back({table, in_jet, std::move(program), remake});
  }
  std::vector<std::string> names;
  for (const auto& p : plan) names.push_back(p.name);
  CheckRelationships(jet, db, names);

  for (const auto& table : jet_tables) {
    if (FindNoCase(names, table)) continue;
    // Only a table the run began with and dropped goes: one the program never read is kept.
    if (FindNoCase(after, table) || !FindNoCase(before, table)) {
      untouched.push_back(table);
      continue;
    }
    try {
      cs::jetfile::DropTable(jet, platform::Utf8ToUtf16(table));
    } catch (const cs::jetfile::FormatError& e) {
      throw CannotWriteInto(table, std::string("it cannot be dropped: ") + e.what());
    }
    result.dropped.push_back(table);
  }
  for (auto& p : plan) {
    WrittenTable w;
    w.name = p.name;
    try {
      std::u16string jet_name;
      if (p.in_jet && !p.remake) {
        jet_name = platform::Utf8ToUtf16(*p.in_jet);
        const TableDefinition def = jet.Definition(jet_name);
        for (const auto* c : ByNumber(def)) {
          w.columns.push_back(platform::Utf16ToUtf8(c->name));
          w.specs.push_back(SpecOf(*c));
        }
        result.rewritten.push_back(p.name);
      } else {
        if (p.in_jet) {
          p.program.schema = RemadeSchema(p.program, jet.Definition(platform::Utf8ToUtf16(*p.in_jet)));
          cs::jetfile::DropTable(jet, platform::Utf8ToUtf16(*p.in_jet));
        }
        cs::jetfile::CreateTable(jet, p.program.schema, now);
        jet_name = p.program.schema.name;
        w.columns = p.program.columns;
        w.specs = p.program.schema.columns;
        (p.in_jet ? result.remade : result.created).push_back(p.name);
      }
      TableRows rows(db, p.name, w.columns, w.specs);
      ReadAheadRows ahead(rows);
      HashingRows hashing(ahead, w);
      // The file is a copy thrown away when a table does not go in: each row is read once.
      jet.WriteTable(jet_name, hashing, cs::jetfile::Reading::kOnce);
      w.jet_name = jet_name;
    } catch (const cs::jetfile::FormatError& e) {
      throw CannotWriteInto(p.name, e.what());
    }
    written.push_back(std::move(w));
  }
  return result;
}

}  // namespace

JetUpdateResult WriteJetUpdate(platform::FileSystem& files, const JetUpdate& update, const std::string& shown_path,
                               const ReaderOptions& reader) {
  RemovedUnlessKept remove(files, update.written);

  Database db = Database::Open(update.after, Database::Mode::kReadOnly, jet::NotADatabase(shown_path));
  {
    Statement attach(db, "ATTACH DATABASE ?1 AS before");
    attach.BindText(1, update.before.string());
    attach.Run();
  }
  const auto failed = [&](const std::string& why) {
    return PathFileAccessError("writing " + update.written.string(), why);
  };
  if (const auto ec = files.CopyFile(update.jet, update.written)) throw failed(ec.message());
  JetUpdateResult result;
  std::vector<WrittenTable> written;
  std::vector<std::string> untouched;
  try {
    {
      std::unique_ptr<platform::RandomAccessFile> file;
      if (const auto ec = files.OpenRandomAccess(update.written, true, file)) {
        throw failed(ec.message());
      }
      auto jet = cs::jetfile::Database::Open(*file, true);
      result = WriteChanges(jet, db, update, written, untouched);
      jet.Flush();
      // The proof: the Jet reader reads the written tables back in a process of its own while
      // the writer walks their pages and indexes here, and the tables not written are compared
      // page for page.
      std::exception_ptr read_back_failed;
      {
        const platform::Worker read_back([&] {
          try {
            ProveReadBack(update.written, shown_path, written, reader);
          } catch (...) {
            read_back_failed = std::current_exception();
          }
        });
        for (const auto& w : written) {
          try {
            jet.CheckTable(w.jet_name);
          } catch (const cs::jetfile::FormatError& e) {
            throw CannotWriteInto(w.name, e.what());
          }
        }
        ProveUntouched(files, update.jet, update.written, untouched);
      }
      if (read_back_failed) std::rethrow_exception(read_back_failed);
    }
  } catch (const cs::jetfile::FormatError& e) {
    throw RunError(jet::kErrGeneral, "The current database '" + shown_path + "' cannot be written: " + e.what());
  } catch (const std::system_error& e) {
    throw failed(e.code().message());
  }
  remove.Keep();
  return result;
}

}  // namespace cs::db::jetfile
