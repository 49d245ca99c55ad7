#include "db/integrity_checks.h"

#include <sstream>

#include "db/jet/errors.h"
#include "db/jet/types.h"

namespace fs = std::filesystem;

namespace cs::db {
namespace {

// How many databases the record remembers: a setup has one current database, a few at most.
constexpr std::size_t kKeptFiles = 16;

}  // namespace

bool PassesQuickCheck(const Database& db, const std::string& schema) {
  try {
    const auto check = Query(db, "PRAGMA " + jet::QuoteName(schema) + ".quick_check");
    return check.size() == 1 && check[0] == "ok";
  } catch (const RunError&) {
    return false;
  }
}

IntegrityChecks::IntegrityChecks(platform::FileSystem& files, fs::path record)
    : files_(files), record_(std::move(record)) {
  ReadRecord();
}

// The record: a line per database, "size modified-ns device inode path". A line that does not read
// is passed over: its file is checked again.
void IntegrityChecks::ReadRecord() {
  std::string text;
  if (record_.empty() || files_.ReadFile(record_, text, nullptr)) return;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    platform::FileStat state;
    std::string path;
    if (!(fields >> state.size >> state.modified_ns >> state.device >> state.inode)) continue;
    fields.get();
    std::getline(fields, path);
    if (path.empty()) continue;
    state.kind = platform::FileKind::kRegular;
    kept_[path] = state;
    passed_[path] = state;
  }
}

std::optional<platform::FileStat> IntegrityChecks::StateOf(const fs::path& file) const {
  const platform::FileStat state = files_.Stat(file);
  if (state.kind != platform::FileKind::kRegular) return std::nullopt;
  return state;
}

// One name for a file however its path is written (the prefix reaches a drive by a link).
std::string IntegrityChecks::Key(const fs::path& file) const {
  const fs::path canonical = files_.Canonical(file);
  return canonical.empty() ? file.string() : canonical.string();
}

// Reads a database file whole for its check on a connection of its own, inside one read
// transaction, so that no writer changes it meanwhile. The state the file had while it was read
// when it passed; nothing when it failed or could not be read.
std::optional<platform::FileStat> IntegrityChecks::CheckWholeFile(const fs::path& file) const {
  try {
    Database db = Database::Open(file, Database::Mode::kReadOnly, jet::NotADatabase(file.string()));
    db.Exec("BEGIN");
    const auto before = StateOf(file);
    const bool intact = PassesQuickCheck(db, "main");
    const auto after = StateOf(file);
    if (intact && before && before == after) return after;
  } catch (const RunError&) {
  }
  return std::nullopt;
}

bool IntegrityChecks::Passed(const fs::path& host) {
  const auto state = StateOf(host);
  const std::string key = Key(host);
  std::lock_guard lock(mutex_);
  const auto it = passed_.find(key);
  return state && it != passed_.end() && it->second == *state;
}

void IntegrityChecks::Remember(const fs::path& host) {
  const auto state = StateOf(host);
  const std::string key = Key(host);
  std::lock_guard lock(mutex_);
  if (state) {
    passed_[key] = *state;
  } else {
    passed_.erase(key);
  }
}

void IntegrityChecks::Vouch(const fs::path& original, const fs::path& copy) {
  if (Passed(original)) Remember(copy);
}

void IntegrityChecks::Keep(const fs::path& host) {
  Remember(host);
  const auto state = StateOf(host);
  if (record_.empty() || !state) return;
  std::string text;
  {
    std::lock_guard lock(mutex_);
    const std::string key = Key(host);
    kept_.erase(key);
    while (kept_.size() >= kKeptFiles) kept_.erase(kept_.begin());
    kept_[key] = *state;
    for (const auto& [path, s] : kept_) {
      text += std::to_string(s.size) + " " + std::to_string(s.modified_ns) + " " + std::to_string(s.device) +
              " " + std::to_string(s.inode) + " " + path + "\n";
    }
  }
  // A record that cannot be written costs the next run a check, nothing else.
  files_.WriteFileAtomically(record_, text, platform::IfExists::kReplace, nullptr);
}

void IntegrityChecks::StartAhead(const fs::path& host) {
  if (Passed(host)) return;
  const std::string key = Key(host);
  std::lock_guard lock(mutex_);
  if (ahead_.contains(key)) return;
  auto task = std::make_shared<std::packaged_task<std::optional<platform::FileStat>()>>(
      [this, host] { return CheckWholeFile(host); });
  ahead_.emplace(key, task->get_future().share());
  workers_.push_back(std::make_unique<platform::Worker>([task] { (*task)(); }));
}

// Waits for a check started ahead of the file. True when it passed and the file still has the
// state it had then; the file then counts as checked.
bool IntegrityChecks::TakeAhead(const fs::path& host) {
  const std::string key = Key(host);
  std::shared_future<std::optional<platform::FileStat>> result;
  {
    std::lock_guard lock(mutex_);
    const auto it = ahead_.find(key);
    if (it == ahead_.end()) return false;
    result = it->second;
    ahead_.erase(it);
  }
  const auto passed = result.get();
  const auto now = StateOf(host);
  if (!passed || passed != now) return false;
  std::lock_guard lock(mutex_);
  passed_[key] = *now;
  return true;
}

bool IntegrityChecks::Verify(const Database& db, const std::string& schema, const fs::path& host) {
  if (Passed(host) || TakeAhead(host)) return true;
  if (!PassesQuickCheck(db, schema)) return false;
  Remember(host);
  return true;
}

}  // namespace cs::db
