#include "platform/windows_paths.h"

#include <system_error>
#include <vector>

#include "platform/text.h"

namespace fs = std::filesystem;

namespace cs::platform {

WindowsPaths::WindowsPaths(fs::path prefix) : prefix_(std::move(prefix)) {}

std::optional<fs::path> FindEntryNoCase(const fs::path& dir, const std::string& name) {
  std::error_code ec;
  fs::directory_iterator it(dir, ec);
  if (ec) return std::nullopt;
  std::optional<fs::path> found;
  for (const auto& e : it) {
    const std::string entry = e.path().filename().string();
    if (entry == name) return e.path();
    // Several entries differing only in case: take the same one every time.
    if (EqualsNoCase(entry, name) && (!found || entry < found->filename().string())) {
      found = e.path();
    }
  }
  return found;
}

std::optional<WindowsPaths::Split> WindowsPaths::SplitPath(std::string_view windows_path) const {
  const std::string_view p = Trim(windows_path, " ");
  if (p.size() < 3) return std::nullopt;
  const char letter = p[0];
  const bool is_letter = (letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z');
  if (!is_letter || p[1] != ':' || (p[2] != '\\' && p[2] != '/')) return std::nullopt;

  const char lower = static_cast<char>(letter >= 'a' ? letter : letter + 0x20);
  const fs::path link = prefix_ / "dosdevices" / (std::string(1, lower) + ":");
  std::error_code ec;
  if (!fs::is_directory(link, ec)) return std::nullopt;

  Split out;
  out.root = link;
  std::string_view rest = p.substr(3);
  std::size_t pos = 0;
  while (pos <= rest.size()) {
    const auto next = rest.find_first_of("\\/", pos);
    const auto end = next == std::string_view::npos ? rest.size() : next;
    std::string comp(rest.substr(pos, end - pos));
    if (comp == "..") {
      if (!out.components.empty()) out.components.pop_back();
    } else if (comp != ".") {
      const auto keep = comp.find_last_not_of(" .");
      comp = keep == std::string::npos ? std::string() : comp.substr(0, keep + 1);
      if (!comp.empty()) out.components.push_back(std::move(comp));
    }
    if (next == std::string_view::npos) break;
    pos = next + 1;
  }
  return out;
}

std::optional<fs::path> WindowsPaths::Resolve(std::string_view windows_path) const {
  auto split = SplitPath(windows_path);
  if (!split) return std::nullopt;
  fs::path current = split->root;
  std::error_code ec;
  for (const auto& comp : split->components) {
    if (!fs::is_directory(current, ec)) return std::nullopt;
    auto entry = FindEntryNoCase(current, comp);
    if (!entry) return std::nullopt;
    current = *entry;
  }
  if (!fs::exists(current, ec)) return std::nullopt;
  return current;
}

std::optional<fs::path> WindowsPaths::ResolveForCreate(std::string_view windows_path) const {
  auto split = SplitPath(windows_path);
  if (!split || split->components.empty()) return std::nullopt;
  fs::path current = split->root;
  std::error_code ec;
  for (std::size_t i = 0; i + 1 < split->components.size(); ++i) {
    auto entry = FindEntryNoCase(current, split->components[i]);
    if (!entry || !fs::is_directory(*entry, ec)) return std::nullopt;
    current = *entry;
  }
  if (!fs::is_directory(current, ec)) return std::nullopt;
  const std::string& last = split->components.back();
  if (auto entry = FindEntryNoCase(current, last)) return *entry;
  return current / last;
}

std::string WindowsPaths::ToWindows(const fs::path& host_path) const {
  std::error_code ec;
  const fs::path target = fs::weakly_canonical(fs::absolute(host_path, ec), ec);
  if (ec) return {};
  std::string best_letter;
  fs::path best_root;
  std::size_t best_depth = 0;
  fs::directory_iterator it(prefix_ / "dosdevices", ec);
  if (ec) return {};
  for (const auto& e : it) {
    const std::string name = e.path().filename().string();
    if (name.size() != 2 || name[1] != ':') continue;
    const char c = name[0];
    if (c < 'a' || c > 'z') continue;
    std::error_code ec2;
    const fs::path root = fs::canonical(e.path(), ec2);
    if (ec2) continue;
    // Is `root` a prefix of `target`, component by component?
    auto r = root.begin();
    auto t = target.begin();
    std::size_t depth = 0;
    for (; r != root.end() && t != target.end() && *r == *t; ++r, ++t) ++depth;
    if (r != root.end()) continue;
    if (best_letter.empty() || depth > best_depth) {
      best_letter = std::string(1, static_cast<char>(c - 0x20));
      best_root = root;
      best_depth = depth;
    }
  }
  if (best_letter.empty()) return {};
  std::string out = best_letter + ":";
  const fs::path rel = target.lexically_relative(best_root);
  bool any = false;
  for (const auto& part : rel) {
    const std::string s = part.string();
    if (s.empty() || s == ".") continue;
    out += "\\" + s;
    any = true;
  }
  if (!any) out += "\\";
  return out;
}

}  // namespace cs::platform
