#include "db/jetfile/jet_proof.h"

#include <algorithm>

#include "db/jet/errors.h"
#include "db/jetfile/jet_rows.h"
#include "jetfile/database.h"
#include "jetfile/table_pages.h"
#include "platform/run_error.h"
#include "platform/text.h"

namespace fs = std::filesystem;

namespace cs::db::jetfile {
namespace {

RunError Differs(const std::string& table, const std::string& why) {
  return RunError(jet::kErrGeneral, "The new current database was not put in place: its table '" + table +
                                        "', read back, " + why + ".");
}

// Compares the tables written, read back from the new file, with what the writer was given: the
// same columns and the same rows, as the columns' Jet types hold them. Rows are compared without
// regard to their order (a table's scan order follows its pages, which need not be the order they
// were written in), by their hashes, so that memory stays small for large tables.
class ReadBack : public TableSink {
 public:
  explicit ReadBack(std::vector<WrittenTable>& written) : written_(written) {}

  void BeginTable(const wire::TableInfo& table) override {
    table_ = nullptr;
    for (auto& w : written_) {
      if (platform::EqualsNoCase(w.name, table.name)) table_ = &w;
    }
    if (!table_) throw Differs(table.name, "was not one of the tables written");
    if (std::find(seen_.begin(), seen_.end(), table_) != seen_.end()) throw Differs(table.name, "is there twice");
    seen_.push_back(table_);
    if (table.columns.size() != table_->columns.size()) throw Differs(table_->name, "has other columns than written");
    positions_.assign(table_->columns.size(), 0);
    for (std::size_t k = 0; k < table_->columns.size(); ++k) {
      const auto it = std::find_if(table.columns.begin(), table.columns.end(), [&](const wire::ColumnInfo& c) {
        return platform::EqualsNoCase(c.name, table_->columns[k]);
      });
      if (it == table.columns.end()) throw Differs(table_->name, "lacks the column '" + table_->columns[k] + "'");
      if (it->jet_type != static_cast<std::uint8_t>(table_->specs[k].type)) {
        throw Differs(table_->name, "has the column '" + table_->columns[k] + "' of another type");
      }
      positions_[k] = static_cast<std::size_t>(it - table.columns.begin());
    }
    back_.clear();
  }

  void Row(std::span<const wire::FieldValue> values) override {
    row_.Clear();
    for (std::size_t k = 0; k < positions_.size(); ++k) {
      if (positions_[k] < values.size()) row_.Add(table_->specs[k], values[positions_[k]]);
    }
    back_.push_back(row_.Hash());
  }

  void EndTable(const wire::TableInfo&, std::uint32_t) override {
    std::vector<std::uint64_t>& mine = table_->hashes;
    if (mine.size() != back_.size()) {
      throw Differs(table_->name, "holds " + std::to_string(back_.size()) + " rows instead of the " +
                                      std::to_string(mine.size()) + " written");
    }
    std::sort(mine.begin(), mine.end());
    std::sort(back_.begin(), back_.end());
    std::size_t differing = 0;
    for (std::size_t i = 0, j = 0; i < mine.size() || j < back_.size();) {
      if (j == back_.size() || (i < mine.size() && mine[i] < back_[j])) {
        ++differing, ++i;
      } else if (i == mine.size() || back_[j] < mine[i]) {
        ++j;
      } else {
        ++i, ++j;
      }
    }
    if (differing != 0) {
      throw Differs(table_->name, "differs from what was written in " + std::to_string(differing) + " of its " +
                                      std::to_string(mine.size()) + " rows");
    }
  }

  void Finish() const {
    for (const auto& w : written_) {
      if (std::find(seen_.begin(), seen_.end(), &w) == seen_.end()) throw Differs(w.name, "is missing");
    }
  }

 private:
  std::vector<WrittenTable>& written_;
  std::vector<const WrittenTable*> seen_;
  WrittenTable* table_ = nullptr;
  std::vector<std::size_t> positions_;
  RowHash row_;
  std::vector<std::uint64_t> back_;
};

}  // namespace

bool HashingRows::Next(std::vector<cs::jetfile::Value>& row) {
  if (!rows_.Next(row)) return false;
  hash_.Clear();
  for (std::size_t i = 0; i < row.size(); ++i) hash_.Add(table_.specs[i], row[i]);
  table_.hashes.push_back(hash_.Hash());
  return true;
}

bool HashingRows::Rewind() {
  table_.hashes.clear();
  return rows_.Rewind();
}

void ProveReadBack(const fs::path& file, const std::string& shown_path, std::vector<WrittenTable>& written,
                   ReaderOptions reader) {
  if (written.empty()) return;
  for (const auto& w : written) reader.tables.push_back(w.name);
  std::string why;
  reader.refusal = &why;
  ReadBack back(written);
  try {
    ReadTables(file, shown_path, back, reader);
  } catch (const RunError& e) {
    if (why.empty()) throw;
    throw RunError(jet::kErrGeneral, "The new current database was not put in place: the Jet reader refused it (" + why +
                                         ").");
  }
  back.Finish();
}

// The tables not written are as they were: every page each of them holds (definition, data,
// indexes, long values) has the same bytes in the new file as in the old.
void ProveUntouched(platform::FileSystem& files, const fs::path& old_file, const fs::path& new_file,
                    const std::vector<std::string>& tables) {
  if (tables.empty()) return;
  std::unique_ptr<platform::RandomAccessFile> old_access, new_access;
  const auto failed = [](const fs::path& file, const std::error_code& ec) {
    return PathFileAccessError("reading " + file.string(), ec.message());
  };
  if (const auto ec = files.OpenRandomAccess(old_file, false, old_access)) throw failed(old_file, ec);
  if (const auto ec = files.OpenRandomAccess(new_file, false, new_access)) throw failed(new_file, ec);
  auto old_db = cs::jetfile::Database::Open(*old_access, false);
  cs::jetfile::Page a, b;
  for (const auto& table : tables) {
    const auto name = platform::Utf8ToUtf16(table);
    const auto first = old_db.FindTable(name);
    const auto pages = cs::jetfile::ReadTablePages(old_db.pages(), first, old_db.Definition(name)).All();
    for (const auto n : pages) {
      const std::uint64_t at = std::uint64_t{n} * cs::jetfile::kPageSize;
      if (const auto ec = old_access->ReadAt(at, a)) throw failed(old_file, ec);
      if (const auto ec = new_access->ReadAt(at, b)) throw failed(new_file, ec);
      if (a != b) throw Differs(table, "was not to be written, but its page " + std::to_string(n) + " changed");
    }
  }
}

}  // namespace cs::db::jetfile
