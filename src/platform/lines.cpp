#include "platform/lines.h"

#include "platform/text.h"

namespace cs::platform {

std::optional<Assignment> SplitAssignment(std::string_view text, NameForm form,
                                          std::string_view blanks) {
  text = Trim(text, blanks);
  std::size_t name_end = 0;
  if (form == NameForm::kBare) {
    const auto eq = text.find('=');
    if (eq == std::string_view::npos) return std::nullopt;
    return Assignment{Trim(text.substr(0, eq), blanks), Trim(text.substr(eq + 1), blanks)};
  }
  if (text.starts_with('@')) {
    name_end = 1;
  } else if (text.starts_with('"')) {
    std::size_t i = 1;
    while (i < text.size() && text[i] != '"') i += (text[i] == '\\' && i + 1 < text.size()) ? 2 : 1;
    if (i >= text.size()) return std::nullopt;
    name_end = i + 1;
  } else {
    return std::nullopt;
  }
  const std::string_view rest = Trim(text.substr(name_end), blanks);
  if (!rest.starts_with('=')) return std::nullopt;
  return Assignment{text.substr(0, name_end), Trim(rest.substr(1), blanks)};
}

}  // namespace cs::platform
