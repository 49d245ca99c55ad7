// ywdata: makes what the demo, the tests and the benchmark need, on the program's own database
// engine: a prefix with Yield Warden's registry values and configuration INI, a current database
// and vendor data files with realistic rows; and it dumps a table as text.
#pragma once

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <string>

namespace cs::ywdata {

// The prefix's registry values and C:\Program Files\Yield Warden\YWConfig.ini, with the vendors
// Ace (short name ACE) and Custom (CUSTOM) and the table sections Ace, PlanogramDetails and
// AdditionalDetails. The current database is C:\YieldWarden\YieldWarden.yw.
void MakeEnvironment(const std::filesystem::path& prefix);

struct DataOptions {
  std::int64_t rows = 100;
  std::int64_t first_sku = 1000000;  // SKUs are consecutive numbers from here
  std::string date = "3/1/2007";     // the AceFileDate row; "" for an empty table
  std::string password = "qed5190";
  bool additional_details = true;
  // A Jet 4 (Access 2000) file, as an existing Yield Warden setup and the wholesaler have them,
  // instead of a file of the program's format.
  bool jet = false;
};

// A current database: Ace and PlanogramDetails filled, AceFileDate, ListBoxs, Store (every other
// SKU, Comp1..Comp5) and Competitors (Comp1..Comp5).
void MakeCurrentDatabase(const std::filesystem::path& prefix, const std::filesystem::path& file,
                         const DataOptions& options);

enum class DataKind { kFull, kMonthToDate, kCustom };

// A vendor data file: Ace, PlanogramDetails (not in custom files), AceFileDate and, unless
// switched off, AdditionalDetails.
void MakeDataFile(const std::filesystem::path& prefix, const std::filesystem::path& file,
                  DataKind kind, const DataOptions& options);

// Prints a table's rows, ordered by their first column, one line each, fields separated by tabs,
// after a line of the column names.
void DumpTable(const std::filesystem::path& prefix, const std::filesystem::path& file,
               const std::string& table, std::ostream& out, const std::string& password);

}  // namespace cs::ywdata
