// The lines of the text files the program reads and writes in place (INI files and the registry
// file), and the `name = value` assignments inside them. Both formats go through these, so that
// a line ends, and an assignment splits, the same way everywhere.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

namespace cs::platform {

// The lines of a text, each with its own end: CR LF, LF or CR (a CR alone ends a line). The last
// line may have no end; an empty text has no lines. Works on bytes and on UTF-16 code units.
template <class Char>
std::vector<std::basic_string_view<Char>> SplitLines(std::basic_string_view<Char> text) {
  std::vector<std::basic_string_view<Char>> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != Char('\r') && text[i] != Char('\n')) continue;
    if (text[i] == Char('\r') && i + 1 < text.size() && text[i + 1] == Char('\n')) ++i;
    lines.push_back(text.substr(start, i + 1 - start));
    start = i + 1;
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

// A line without its end.
template <class Char>
std::basic_string_view<Char> LineContent(std::basic_string_view<Char> line) {
  while (!line.empty() && (line.back() == Char('\r') || line.back() == Char('\n'))) {
    line.remove_suffix(1);
  }
  return line;
}

// How the name of an assignment is written.
enum class NameForm {
  kBare,    // INI: the name runs to the first "="
  kQuoted,  // .reg: "name" in double quotes (with \\ and \" inside), or @ alone
};

struct Assignment {
  std::string_view name;   // as written (a quoted name keeps its quotes and escapes)
  std::string_view value;  // everything after the "=", blanks around it trimmed
};

// Splits `name = value`, the blanks around both trimmed. Nothing when the line is no assignment:
// it has no "=" (or, for a quoted name, no closing quote or no "=" right after the name).
std::optional<Assignment> SplitAssignment(std::string_view text, NameForm form,
                                          std::string_view blanks);

}  // namespace cs::platform
