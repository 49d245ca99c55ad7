#include "app/command_line.h"

#include "platform/text.h"

namespace cs::app {
namespace {

bool WordAt(const std::string& text, std::size_t pos, std::size_t size) {
  const bool starts = pos == 0 || text[pos - 1] == ' ';
  const bool ends = pos + size == text.size() || text[pos + size] == ' ';
  return starts && ends;
}

}  // namespace

std::string BuildDBFileName(const std::string& argument_text, const std::string& program_dir) {
  const std::string command_line = platform::UCase(argument_text);
  if (command_line.find(":\\") != std::string::npos || command_line.find(":/") != std::string::npos) {
    return command_line;
  }
  return platform::UCase(program_dir + "\\" + argument_text);
}

bool HasSwitch(const std::string& text, const std::string& sw) {
  for (auto pos = text.find(sw); pos != std::string::npos; pos = text.find(sw, pos + 1)) {
    if (WordAt(text, pos, sw.size())) return true;
  }
  return false;
}

void RemoveSwitch(std::string& text, const std::string& sw) {
  for (auto pos = text.find(sw); pos != std::string::npos; pos = text.find(sw, pos)) {
    if (WordAt(text, pos, sw.size())) {
      text.erase(pos, sw.size());
    } else {
      ++pos;
    }
  }
}

bool HoldsNoFileName(const std::string& db_file_name, const std::string& program_dir) {
  const auto end = db_file_name.find_last_not_of(' ');
  const std::string_view name(db_file_name.data(), end == std::string::npos ? 0 : end + 1);
  return name == platform::UCase(program_dir) + "\\";
}

std::string SyntaxHelp(const std::string& program_dir) {
  return std::string("Proper Syntax:   ") + "\r" + "Execution Path:  " + program_dir + "\\     " +
         "\r\n" + "EXE File:        " + "AceFeedPump.exe" + "\r\n" + "CommandLine:     " +
         "'databasename.yw'" + "\r" + "\r" + "Example:         " +
         "AceFeedPump.exe databasename.exe" + "\r\n" + "\r\n" +
         "The application will now terminate!";
}

}  // namespace cs::app
