#include "db/engine.h"

#include <system_error>

#include "db/jetfile/copy.h"
#include "db/jetfile/header.h"
#include "db/jet/errors.h"

namespace fs = std::filesystem;

namespace cs::db {

std::optional<fs::path> Engine::Locate(std::string_view windows_path) const {
  auto host = paths_.Resolve(windows_path);
  if (!host || stand_ins_.empty()) return host;
  const auto it = stand_ins_.find(FileKey(*host));
  if (it != stand_ins_.end()) return it->second;
  return host;
}

void Engine::SetStandIn(const fs::path& original, const fs::path& stand_in) {
  stand_ins_[FileKey(original)] = stand_in;
}

void Engine::ClearStandIn(const fs::path& original) { stand_ins_.erase(FileKey(original)); }

bool Engine::IsStandIn(const fs::path& host) const {
  for (const auto& [original, stand_in] : stand_ins_) {
    if (stand_in == host) return true;
  }
  for (const auto& [original, copy] : jet_copies_) {
    if (copy.copy == host) return true;
  }
  return false;
}

fs::path Engine::JetCopy(const fs::path& host, const std::string& shown_path, const std::string& password) {
  jetfile::CheckPassword(host, shown_path, password);
  std::error_code ec1, ec2;
  const auto size = fs::file_size(host, ec1);
  const auto time = fs::last_write_time(host, ec2);
  if (ec1 || ec2) throw jet::FileNotFound(shown_path);
  const std::string key = FileKey(host);
  if (const auto it = jet_copies_.find(key); it != jet_copies_.end()) {
    if (it->second.size == size && it->second.time == time) return it->second.copy;
    lazy_rows_.Forget(it->second.copy);
    jet_copies_.erase(it);
  }
  const fs::path copy = PrivateFile("data" + std::to_string(jet_copies_.size() + 1) + ".yw");
  fs::remove(copy, ec1);
  jetfile::CopyOptions options;
  options.durable = false;  // a private copy: thrown away with the run, whatever happens
  std::string refusal;
  options.reader.refusal = &refusal;
  const bool lazy = read_when_used_.contains(key);
  options.reader.rows = !lazy;
  refusals_.erase(key);
  try {
    jetfile::CopyToDatabase(host, copy, shown_path, options);
  } catch (...) {
    if (!refusal.empty()) refusals_[key] = refusal;
    throw;
  }
  if (lazy) lazy_rows_.Add(host, shown_path, copy);
  // A file this run has just written whole is intact.
  checks_.Remember(copy);
  jet_copies_[key] = {size, time, copy};
  return copy;
}

void Engine::ReadRowsWhenUsed(const fs::path& host) { read_when_used_.insert(FileKey(host)); }

fs::path Engine::PrivateFile(const std::string& name) {
  if (!private_folder_) private_folder_.emplace();
  return private_folder_->path() / name;
}

std::string Engine::Refusal(std::string_view windows_path) const {
  const auto host = paths_.Resolve(windows_path);
  if (!host) return "";
  const auto it = refusals_.find(FileKey(*host));
  return it == refusals_.end() ? "" : it->second;
}

}  // namespace cs::db
