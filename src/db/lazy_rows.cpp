#include "db/lazy_rows.h"

#include <algorithm>
#include <system_error>

#include "db/jet/errors.h"
#include "db/jet/types.h"
#include "db/jetfile/copy.h"
#include "db/jetfile/jet_rows.h"
#include "platform/text.h"

namespace fs = std::filesystem;

namespace cs::db {
namespace {

std::vector<std::string>::iterator FindName(std::vector<std::string>& names, const std::string& name) {
  return std::find_if(names.begin(), names.end(), [&](const std::string& n) { return platform::EqualsNoCase(n, name); });
}

}  // namespace

std::string FileKey(const fs::path& file) {
  std::error_code ec;
  const auto canonical = fs::weakly_canonical(file, ec);
  return ec ? file.string() : canonical.string();
}

void LazyRows::Add(const fs::path& jet, const std::string& shown_path, const fs::path& copy) {
  File file;
  file.path = copy;
  file.jet = jet;
  file.shown = shown_path;
  std::error_code ec1, ec2;
  file.size = fs::file_size(jet, ec1);
  file.time = fs::last_write_time(jet, ec2);
  if (ec1 || ec2) throw jet::FileNotFound(shown_path);
  {
    const Database db = Database::Open(copy, Database::Mode::kReadOnly, jet::NotADatabase(copy.string()));
    file.tables.unread = jetfile::ProgramTables(db);
  }
  files_[FileKey(copy)] = std::move(file);
}

void LazyRows::Derive(const fs::path& from, const fs::path& copy) {
  const auto it = files_.find(FileKey(from));
  if (it == files_.end()) return;
  File file = it->second;
  file.path = copy;
  file.source = it->first;
  files_[FileKey(copy)] = std::move(file);
}

void LazyRows::Forget(const fs::path& copy) { files_.erase(FileKey(copy)); }

LazyRows::Tables LazyRows::Of(const fs::path& copy) const {
  const auto it = files_.find(FileKey(copy));
  return it == files_.end() ? Tables{} : it->second.tables;
}

const RunError* LazyRows::Unreadable(const File& file) const {
  if (file.unreadable) return &*file.unreadable;
  if (file.source.empty()) return nullptr;
  const auto source = files_.find(file.source);
  return source == files_.end() || !source->second.unreadable ? nullptr : &*source->second.unreadable;
}

void LazyRows::CheckReadable(const fs::path& copy) const {
  const auto it = files_.find(FileKey(copy));
  if (it == files_.end()) return;
  if (const RunError* e = Unreadable(it->second)) throw *e;
}

void LazyRows::CheckReadable(const Database& db) const {
  if (files_.empty()) return;
  Statement list(db, "SELECT file FROM pragma_database_list");
  while (list.Step()) CheckReadable(list.ColumnText(0));
}

void LazyRows::ReadFor(const Database& db, const std::string& sql) {
  if (files_.empty()) return;
  std::map<std::string, File*> lazy;
  {
    Statement list(db, "SELECT name, file FROM pragma_database_list");
    while (list.Step()) {
      const auto it = files_.find(FileKey(list.ColumnText(1)));
      if (it == files_.end()) continue;
      if (const RunError* e = Unreadable(it->second)) throw *e;
      if (!it->second.tables.unread.empty()) lazy[list.ColumnText(0)] = &it->second;
    }
  }
  if (lazy.empty()) return;
  std::map<File*, std::vector<std::string>> needed;
  for (const TableUse& use : TablesUsedBy(db, sql)) {
    const auto it = lazy.find(use.schema);
    if (it == lazy.end()) continue;
    File& file = *it->second;
    const auto unread = FindName(file.tables.unread, use.table);
    if (unread == file.tables.unread.end()) continue;
    if (use.replaced) {
      file.tables.replaced.push_back(*unread);
      file.tables.unread.erase(unread);
    } else {
      needed[&file].push_back(*unread);
    }
  }
  for (auto& [file, tables] : needed) Read(*file, tables);
}

void LazyRows::Read(File& file, const std::vector<std::string>& tables) {
  if (file.source.empty()) {
    std::error_code ec1, ec2;
    if (fs::file_size(file.jet, ec1) != file.size || fs::last_write_time(file.jet, ec2) != file.time || ec1 || ec2) {
      throw RunError(jet::kErrGeneral, "The database '" + file.shown +
                                           "' was changed by another program while it was read. Run the "
                                           "import again.");
    }
    jetfile::ReaderOptions reader;
    std::string why;
    reader.refusal = &why;
    try {
      jetfile::CopyRows(file.jet, file.path, tables, file.shown, reader);
    } catch (const RunError& e) {
      std::string names;
      for (const auto& table : tables) names += (names.empty() ? "" : ", ") + table;
      file.unreadable = why.empty() ? e : RunError(e.number(), e.description() + " The rows of " + names +
                                                                 " could not be read: " + why);
      throw *file.unreadable;
    }
  } else {
    const auto source = files_.find(file.source);
    if (source == files_.end()) {
      throw RunError(jet::kErrGeneral, "The rows of '" + file.shown + "' cannot be read: its copy is gone.");
    }
    std::vector<std::string> from_jet;
    for (const auto& table : tables) {
      if (FindName(source->second.tables.unread, table) != source->second.tables.unread.end()) from_jet.push_back(table);
    }
    if (!from_jet.empty()) Read(source->second, from_jet);
    const Database db = Database::Open(file.path, Database::Mode::kReadWrite, jet::NotADatabase(file.path.string()));
    db.WriteWithoutFlushing();
    Statement attach(db, "ATTACH DATABASE ?1 AS lazy_source");
    attach.BindText(1, source->second.path.string());
    attach.Run();
    db.Exec("BEGIN");
    for (const auto& table : tables) {
      db.Exec("INSERT INTO main." + jet::QuoteName(table) + " SELECT * FROM lazy_source." + jet::QuoteName(table));
    }
    db.Exec("COMMIT");
  }
  for (const auto& table : tables) {
    const auto it = FindName(file.tables.unread, table);
    if (it != file.tables.unread.end()) file.tables.unread.erase(it);
  }
  // Written by this run's own connections.
  checks_.Remember(file.path);
}

}  // namespace cs::db
