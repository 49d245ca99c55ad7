// The proof that a Jet file written from the program's tables holds what it was given, before it
// takes the current database's place (jet_update.h): the tables written are read back by the
// sandboxed libmdb reader and compared row by row, by their hashes (row_hash.h), with the rows
// the writer was handed; the tables not written are compared page for page with the old file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "db/jetfile/reader.h"
#include "db/jetfile/row_hash.h"
#include "jetfile/row_source.h"
#include "jetfile/table_layout.h"
#include "platform/file_system.h"

namespace cs::db::jetfile {

// A table as the writer wrote it: its columns in the order of its rows' values, their Jet types,
// and the hash of each row written.
struct WrittenTable {
  std::string name;
  std::u16string jet_name;  // in the Jet file
  std::vector<std::string> columns;
  std::vector<cs::jetfile::ColumnSpec> specs;
  std::vector<std::uint64_t> hashes;
};

// The rows handed to the writer, each hashed into `table` as it passes (the last reading's rows
// are kept).
class HashingRows : public cs::jetfile::RowSource {
 public:
  HashingRows(cs::jetfile::RowSource& rows, WrittenTable& table) : rows_(rows), table_(table) {}
  bool Next(std::vector<cs::jetfile::Value>& row) override;
  bool Rewind() override;

 private:
  cs::jetfile::RowSource& rows_;
  WrittenTable& table_;
  RowHash hash_;
};

// Reads the tables `written` back from the new file and compares them with what the writer was
// given: the same columns, of the same types, and the same rows, as the columns' Jet types hold
// them. Rows are compared without regard to their order (a table's scan order follows its pages,
// which need not be the order they were written in). `reader` is used with the tables named.
// Throws RunError naming the first table that differs, or saying why the reader refused the file.
void ProveReadBack(const std::filesystem::path& file, const std::string& shown_path,
                   std::vector<WrittenTable>& written, ReaderOptions reader);

// Throws RunError unless every page each of `tables` holds in `old_file` (definition, data,
// indexes, long values) has the same bytes in `new_file`.
void ProveUntouched(platform::FileSystem& files, const std::filesystem::path& old_file,
                    const std::filesystem::path& new_file, const std::vector<std::string>& tables);

}  // namespace cs::db::jetfile
