// ywdata: the command line of the environment and data file maker.
#include <cstdlib>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "db/jetfile/copy.h"
#include "db/jetfile/header.h"
#include "db/jetfile/to_jet.h"
#include "platform/posix_file_system.h"
#include "platform/prefix.h"
#include "platform/run_error.h"
#include "version.h"
#include "ywdata.h"

namespace {

constexpr char kHelp[] = R"(Usage: ywdata [--prefix DIR] COMMAND [ARGS] [OPTIONS]
  or:  ywdata --help | -h | --version

Makes what the CatalogSync demo, tests and benchmarks need, on CatalogSync's own database engine.
Files are host paths, and a database file that exists already is never overwritten. Every
database gets the product's database password unless --password says otherwise. The prefix is
--prefix, else $CATALOGSYNC_PREFIX, else ~/.catalogsync.

Commands:
  env                      set up the prefix: the registry values of an installed Yield Warden
                           (install directory C:\Program Files\Yield Warden, current database
                           C:\YieldWarden\YieldWarden.yw) and YWConfig.ini with the vendors Ace
                           (short name ACE) and Custom (CUSTOM) and the table sections Ace,
                           PlanogramDetails and AdditionalDetails
  current-db FILE          a current database: Ace, PlanogramDetails, AceFileDate, ListBoxs,
                           Store (Sku, Comp1..Comp5; every other SKU) and Competitors
                           (Competitor, Name; Comp1..Comp5); a Jet 4 (Access 2000) file, as an
                           existing setup has it, unless --program-format is given
  full FILE                a full monthly data file: Ace, PlanogramDetails, AceFileDate and
                           AdditionalDetails
  mtd FILE                 a month-to-date data file, laid out as a full one
  custom FILE              a custom data file: Ace (SKU and AceRetail) and AceFileDate
  dump FILE TABLE          print a table's rows ordered by its first column, tab-separated,
                           after a line of column names
  convert SOURCE FILE      convert a database into a new file FILE, the direction told by
                           SOURCE's first page. A Jet (Access .mdb) database, such as the current
                           database of an existing setup, becomes a database of the program's
                           format: every table with its columns (their Jet types), rows and
                           primary key, and the Jet file's database password (--password is not
                           used). A database of the program's format becomes a Jet 4 (Access
                           2000) file that Yield Warden opens: every table with its columns,
                           primary key, indexes and rows, and the database password, which
                           --password must give when it is not the product's

Options:
  --rows N                 rows of Ace (default 100)
  --first-sku N            SKUs are the numbers from N on (default 1000000)
  --date M/D/YYYY          the AceFileDate row (default 3/1/2007); --date "" leaves it empty
  --password TEXT          the database password (default the product's); "" records none
  --no-additional-details  leave AdditionalDetails out of a data file
  --jet                    full, mtd, custom: make a Jet 4 (Access 2000) file, as the
                           wholesaler has them (current-db makes one without it)
  --program-format         current-db, full, mtd, custom: make a database of the program's own
                           format (full, mtd and custom make one without it)
  --help, -h               print this text and exit
  --version                print the version and exit
)";

int Fail(const std::string& message) {
  std::cerr << "ywdata: " << message << "\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> positional;
  cs::ywdata::DataOptions options;
  bool jet = false, program_format = false;
  std::string prefix;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const auto value = [&]() -> std::string {
      if (i + 1 >= argc) throw std::runtime_error(a + " needs a value");
      return argv[++i];
    };
    try {
      if (a == "--help" || a == "-h") {
        std::cout << kHelp << std::flush;
        return std::cout ? 0 : 1;
      } else if (a == "--version") {
        std::cout << "ywdata " << cs::platform::kVersionMajor << "." << cs::platform::kVersionMinor
                  << "." << cs::platform::kVersionRevision << "\n"
                  << std::flush;
        return std::cout ? 0 : 1;
      } else if (a == "--prefix") {
        prefix = value();
      } else if (a == "--rows") {
        options.rows = std::stoll(value());
      } else if (a == "--first-sku") {
        options.first_sku = std::stoll(value());
      } else if (a == "--date") {
        options.date = value();
      } else if (a == "--password") {
        options.password = value();
      } else if (a == "--jet") {
        jet = true;
      } else if (a == "--program-format") {
        program_format = true;
      } else if (a == "--no-additional-details") {
        options.additional_details = false;
      } else if (a.starts_with("--")) {
        return Fail("unknown option " + a + " (see --help)");
      } else {
        positional.push_back(a);
      }
    } catch (const std::exception& e) {
      return Fail(e.what());
    }
  }
  if (positional.empty()) return Fail("no command (see --help)");
  if (options.rows < 0) return Fail("--rows must not be negative");
  const std::filesystem::path root = prefix.empty() ? cs::platform::PrefixFromEnvironment() : std::filesystem::path(prefix);
  const std::string& command = positional[0];
  const auto need = [&](std::size_t n) {
    if (positional.size() != n + 1) throw std::runtime_error(command + " takes " + std::to_string(n) + " argument(s)");
  };
  if ((jet || program_format) && command != "current-db" && command != "full" && command != "mtd" &&
      command != "custom") {
    return Fail("--jet and --program-format go with current-db, full, mtd or custom (see --help)");
  }
  if (jet && program_format) return Fail("--jet and --program-format exclude each other");
  options.jet = jet || (command == "current-db" && !program_format);
  try {
    if (command == "env") {
      need(0);
      cs::ywdata::MakeEnvironment(root);
    } else if (command == "current-db") {
      need(1);
      cs::ywdata::MakeCurrentDatabase(root, positional[1], options);
    } else if (command == "full" || command == "mtd" || command == "custom") {
      need(1);
      const auto kind = command == "full"  ? cs::ywdata::DataKind::kFull
                        : command == "mtd" ? cs::ywdata::DataKind::kMonthToDate
                                           : cs::ywdata::DataKind::kCustom;
      cs::ywdata::MakeDataFile(root, positional[1], kind, options);
    } else if (command == "convert") {
      need(2);
      if (cs::db::jetfile::ReadHeader(positional[1])) {
        cs::db::jetfile::CopyOptions copy;
        copy.record_password = true;
        cs::db::jetfile::CopyToDatabase(positional[1], positional[2], positional[1], copy);
      } else {
        cs::platform::PosixFileSystem files;
        cs::db::jetfile::CopyToJetFile(files, positional[1], positional[2], options.password);
      }
    } else if (command == "dump") {
      need(2);
      cs::ywdata::DumpTable(root, positional[1], positional[2], std::cout, options.password);
    } else {
      return Fail("unknown command " + command + " (see --help)");
    }
  } catch (const cs::RunError& e) {
    return Fail(e.description());
  } catch (const std::exception& e) {
    return Fail(e.what());
  }
  return 0;
}
