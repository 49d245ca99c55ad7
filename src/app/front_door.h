// The front door of the program on Linux: what a command line asks before any run is made of it.
// A user new to the program types `acefeedpump --help` or `--version` first; those two questions
// (and `-h`) are answered on standard output, and the run, its prefix and its window are never
// started for them. Only a command line that is exactly one of them is taken: anything else, "-?"
// and "--help -s" included, is the run's own command line and goes to the run unchanged.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace cs::app {

// The usage: the synopsis, what the program does, the forms of the data file's path and the
// switches. The manual page acefeedpump(1) is generated from this text.
std::string UsageText();

// The program's name and its version as the error dialog shows it (major.minor.revision), as one
// line: "acefeedpump 1.0.0\n".
std::string VersionText();

// The text to print for a command line (the arguments after the program's name) that asks for
// the usage (exactly "--help" or "-h") or the version (exactly "--version"); nothing for every
// other command line, which is a run's.
std::optional<std::string> FrontDoorAnswer(const std::vector<std::string>& args);

}  // namespace cs::app
