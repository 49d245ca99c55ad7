#include "db/engine.h"

#include <system_error>

namespace fs = std::filesystem;

namespace cs::db {

std::string Engine::Key(const fs::path& file) {
  std::error_code ec;
  const auto canonical = fs::weakly_canonical(file, ec);
  return ec ? file.string() : canonical.string();
}

std::optional<fs::path> Engine::Locate(std::string_view windows_path) const {
  auto host = paths_.Resolve(windows_path);
  if (!host || stand_ins_.empty()) return host;
  const auto it = stand_ins_.find(Key(*host));
  if (it != stand_ins_.end()) return it->second;
  return host;
}

void Engine::SetStandIn(const fs::path& original, const fs::path& stand_in) {
  stand_ins_[Key(original)] = stand_in;
}

void Engine::ClearStandIn(const fs::path& original) { stand_ins_.erase(Key(original)); }

}  // namespace cs::db
