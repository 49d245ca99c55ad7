// Reads a Jet 3 or Jet 4 database (an Access .mdb file) table by table, row by row.
//
// The file is read, never written, by the reader program catalogsync-jetread (libmdb) in a child
// process with limits on processor time and memory in proportion to the file's size; this side
// waits for it only so long and checks every frame of its answer (wire.h) before handing anything
// on. What the reader prints on its standard error (libmdb's warnings, on a damaged file a flood
// of them) never reaches the user's console: it is captured, kept to its beginning, and a reader
// that prints more than a megabyte is stopped. A child that crashes,
// hangs, exits with an error, reports a problem or answers anything malformed means a file that
// does not open: RunError "Unrecognized database format '<path>'.". Rows are handed on as they
// arrive, so memory stays small whatever the size of a table.
//
// The reader program is, in this order: ReaderOptions::reader; the environment variable
// CATALOGSYNC_JETREAD; catalogsync-jetread beside the running executable; in the installed
// lib/catalogsync/ or libexec/catalogsync/ folder next to the executable's bin/ folder. None, or
// one that cannot be started, is Jet's "Provider cannot be found" (3706).
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "db/jetfile/wire.h"
#include "platform/subprocess.h"

namespace cs::db::jetfile {

inline constexpr char kReaderName[] = "catalogsync-jetread";

struct ReaderOptions {
  std::filesystem::path reader;  // the reader program; empty: found as above
  // Limits on the child; nothing: LimitsFor the file's size.
  std::optional<platform::ChildLimits> limits;
  // How long this side waits, in all, for the child's answer (time the program spends with the
  // rows it was handed does not count); zero: twice the processor time limit and 10 s more.
  std::chrono::milliseconds wait_limit{0};
  // Only these user tables are read (letter case ignored); empty: every one. A table the file
  // does not hold makes the file unreadable.
  std::vector<std::string> tables;
  // False: each table's definition only, as a table of no rows (the definition is checked all
  // the same).
  bool rows = true;
  // When set, receives why a file was refused: the reader's own message, or how it ended, and
  // what it printed (its size and its beginning). Cleared when the file reads.
  std::string* refusal = nullptr;
};

// The limits for a file of `size` bytes: 5 s of processor time and a second more for each 16
// MiB; 96 MiB of address space and twice the file's size more (a read keeps a few pages and one
// long value at a time; 250 MiB for the largest file a wholesaler sends); 1 MiB of standard error.
platform::ChildLimits LimitsFor(std::uintmax_t size);

// Receives the tables of a file. An exception thrown here stops the reading (the child is
// killed) and reaches the caller.
class TableSink {
 public:
  virtual ~TableSink() = default;
  virtual void BeginTable(const wire::TableInfo& table) = 0;
  // One row, a value for each column; the views in it are valid during the call only.
  virtual void Row(std::span<const wire::FieldValue> values) = 0;
  virtual void EndTable(const wire::TableInfo& table, std::uint32_t rows) = 0;
};

// The reader program as found above; nothing when there is none.
std::optional<std::filesystem::path> FindReader(const std::filesystem::path& configured = {});

// Reads every user table of the Jet file at the host path (not the MSys* system tables, whatever
// their flags), in the file's order. shown_path names the file in errors.
void ReadTables(const std::filesystem::path& file, const std::string& shown_path, TableSink& sink,
                const ReaderOptions& options = {});

}  // namespace cs::db::jetfile
