// An INI file as text, read and changed the way Windows' private-profile functions read and change
// it, without any file I/O: text in, a document, text out. Every line that a change does not touch
// comes back byte for byte.
//
// Reading: lines end with CR LF, LF or CR; blanks (space, tab, vertical tab) around names and
// values are trimmed; "[name]" opens a section (the name ends at the first "]", a missing "]" is
// forgiven, "[]" is the section named ""); a line whose first non-blank is ";" is a comment; a
// line with "=" is a key (its name may be ""); a value wrapped in a matching pair of " or ' loses
// that pair. Names match without regard to letter case. Lines before the first section belong to
// no section. Of two sections of one name only the first is searched; of two keys, the first.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cs::platform {

class IniDocument {
 public:
  explicit IniDocument(std::string_view text = {});

  std::string Text() const;

  // The value of a key of a section, or nothing when either is missing.
  std::optional<std::string_view> Value(std::string_view section, std::string_view key) const;
  // Every section header's name, in file order (a repeated section twice).
  std::vector<std::string_view> SectionNames() const;
  // The names of the keys of the first section of that name, in file order.
  std::vector<std::string_view> KeyNames(std::string_view section) const;

  // Writes key=value (the names trimmed, the value as given): an existing key keeps its place,
  // its case and its line end; a new key goes after the last key of its section; a new section
  // goes at the end of the file.
  void Set(std::string_view section, std::string_view key, std::string_view value);
  // Removes a key, or a whole section with its lines; false when there was nothing to remove.
  bool RemoveKey(std::string_view section, std::string_view key);
  bool RemoveSection(std::string_view section);

 private:
  std::size_t FindSection(std::string_view name) const;
  std::size_t SectionEnd(std::size_t header) const;
  std::size_t FindKey(std::size_t header, std::string_view key) const;
  void EndLine(std::size_t index);

  std::vector<std::string> lines_;  // each with its own line end
};

}  // namespace cs::platform
