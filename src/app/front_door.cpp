#include "app/front_door.h"

#include "version.h"

namespace cs::app {
namespace {

constexpr char kUsage[] = R"(Usage: acefeedpump DATAFILE [-L] [-s] [-z] [-?]
  or:  acefeedpump --help | -h | --version
Import one of the wholesaler's data files into the current Yield Warden database.

A full monthly file (ACEDATA0307.YW) replaces the product table Ace and the planogram table. A
month-to-date file (MTD in its path, as in ACEMTD0315.YW) is merged into Ace: new items are added,
known ones updated; it is refused unless it is of the current database's month. A custom file
(CUSTOMDATA.YW in its path) fills the competitor price column Comp5 of the store table. The
vendor is found from the file's name and Yield Warden's configuration INI, the current database
from Yield Warden's registry settings. An import changes the current database all at once or not
at all. The outcome of a run is in its log and in the registry; the exit status is 0 for every
outcome.

DATAFILE, the data file's path, takes one of these forms.
  C:\Downloads\ACEDATA0307.YW  a Windows path, on a drive of the prefix
  /srv/prices/ACEDATA0307.YW   a host path; it enters in its Windows form, on drive Z: (the
                               whole host file system) or on a drive whose folder holds it
  ./ACEDATA0307.YW             a host path relative to the current directory, likewise
  ../ACEDATA0307.YW            the same, from the parent of the current directory
  ACEDATA0307.YW               a name in the folder that holds the program itself

Options:
  -L          log every step; without it the log keeps its first four lines and any error
              reports
  -s          silent: no window, no status texts, no closing pause (message boxes still appear)
  -z          accepted and ignored (zero delay)
  -?          show the help box and end; it needs a data file whose vendor is identified
  -h, --help  print this help and exit (only as the whole command line)
  --version   print the version and exit (only as the whole command line)

The switches stand before or after DATAFILE, in dash or slash form and in any letter case, but
only as words of their own.
)";

}  // namespace

std::string UsageText() { return kUsage; }

std::string VersionText() {
  return "acefeedpump " + std::to_string(platform::kVersionMajor) + "." +
         std::to_string(platform::kVersionMinor) + "." +
         std::to_string(platform::kVersionRevision) + "\n";
}

std::optional<std::string> FrontDoorAnswer(const std::vector<std::string>& args) {
  if (args.size() != 1) return std::nullopt;
  if (args[0] == "--help" || args[0] == "-h") return UsageText();
  if (args[0] == "--version") return VersionText();
  return std::nullopt;
}

}  // namespace cs::app
