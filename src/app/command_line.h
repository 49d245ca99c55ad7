// The command line: the data file's path and the switches -s, -z, -L and -?, in slash or dash
// form. A switch counts only as a word of its own, with blanks (or the start or end of the text)
// on both sides, so letters such as "-S" inside C:\DATA-SET\ are part of the path. Removing a
// switch takes out its two characters only; the blanks around it stay and are ignored when the
// file is looked up.
#pragma once

#include <string>

namespace cs::app {

// The path of the data file: the command line itself when it holds ":\" or ":/", otherwise the
// program directory + "\" + the argument text; upper case either way.
std::string BuildDBFileName(const std::string& argument_text, const std::string& program_dir);

// True when the switch (e.g. "/S") stands in the text as a word of its own.
bool HasSwitch(const std::string& text, const std::string& sw);
// Removes every such occurrence of the switch (its two characters only).
void RemoveSwitch(std::string& text, const std::string& sw);

inline constexpr char kHelpText[] =
    "Command Line Options\r\r-z = Zero Delay\r-s = Run Silent (No Screen Displayed)\r"
    "-? = This help Screen";

// True when the command line held no name: the path, its trailing blanks ignored, is the program
// directory followed by "\" and nothing else (the texts are compared, not their lengths).
bool HoldsNoFileName(const std::string& db_file_name, const std::string& program_dir);

// The syntax help that follows the boxes of CommandFileOK.
std::string SyntaxHelp(const std::string& program_dir);

}  // namespace cs::app
