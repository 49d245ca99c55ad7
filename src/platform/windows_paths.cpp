#include "platform/windows_paths.h"

#include <algorithm>
#include <vector>

#include "platform/text.h"

namespace fs = std::filesystem;

namespace cs::platform {

WindowsPaths::WindowsPaths(const FileSystem& files, fs::path prefix)
    : files_(files), prefix_(std::move(prefix)) {}

std::optional<fs::path> FindEntryNoCase(const FileSystem& files, const fs::path& dir,
                                        const std::string& name) {
  std::vector<std::string> entries;
  if (files.ListDirectory(dir, entries)) return std::nullopt;
  const std::string* found = nullptr;
  for (const auto& entry : entries) {
    if (entry == name) return dir / entry;
    if (EqualsNoCase(entry, name) && (found == nullptr || entry < *found)) found = &entry;
  }
  if (found == nullptr) return std::nullopt;
  return dir / *found;
}

namespace {

bool IsDirectory(const FileSystem& files, const fs::path& path) {
  return files.Stat(path).kind == FileKind::kDirectory;
}

}  // namespace

std::optional<WindowsPaths::Split> WindowsPaths::SplitPath(std::string_view windows_path) const {
  const std::string_view p = Trim(windows_path, " ");
  if (p.size() < 3) return std::nullopt;
  const char letter = p[0];
  const bool is_letter = (letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z');
  if (!is_letter || p[1] != ':' || (p[2] != '\\' && p[2] != '/')) return std::nullopt;

  const char lower = static_cast<char>(letter >= 'a' ? letter : letter + 0x20);
  const fs::path link = prefix_ / "dosdevices" / (std::string(1, lower) + ":");
  if (!IsDirectory(files_, link)) return std::nullopt;

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
  for (const auto& comp : split->components) {
    if (!IsDirectory(files_, current)) return std::nullopt;
    auto entry = FindEntryNoCase(files_, current, comp);
    if (!entry) return std::nullopt;
    current = *entry;
  }
  if (files_.Stat(current).kind == FileKind::kMissing) return std::nullopt;
  return current;
}

std::optional<fs::path> WindowsPaths::ResolveForCreate(std::string_view windows_path) const {
  auto split = SplitPath(windows_path);
  if (!split || split->components.empty()) return std::nullopt;
  fs::path current = split->root;
  for (std::size_t i = 0; i + 1 < split->components.size(); ++i) {
    auto entry = FindEntryNoCase(files_, current, split->components[i]);
    if (!entry || !IsDirectory(files_, *entry)) return std::nullopt;
    current = *entry;
  }
  if (!IsDirectory(files_, current)) return std::nullopt;
  const std::string& last = split->components.back();
  if (auto entry = FindEntryNoCase(files_, current, last)) return *entry;
  return current / last;
}

std::string WindowsPaths::ToWindows(const fs::path& host_path) const {
  const fs::path target = files_.Canonical(host_path);
  if (target.empty()) return {};
  std::string best_letter;
  fs::path best_root;
  std::size_t best_depth = 0;
  std::vector<std::string> drives;
  if (files_.ListDirectory(prefix_ / "dosdevices", drives)) return {};
  std::sort(drives.begin(), drives.end());  // of two drives on one folder, the first letter
  for (const auto& name : drives) {
    if (name.size() != 2 || name[1] != ':') continue;
    const char c = name[0];
    if (c < 'a' || c > 'z') continue;
    const fs::path link = prefix_ / "dosdevices" / name;
    if (!IsDirectory(files_, link)) continue;
    const fs::path root = files_.Canonical(link);
    if (root.empty()) continue;
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
