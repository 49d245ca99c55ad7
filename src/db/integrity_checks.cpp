#include "db/integrity_checks.h"

#include <system_error>

#include "db/jet/errors.h"
#include "db/jet/types.h"

namespace fs = std::filesystem;

namespace cs::db {

bool PassesQuickCheck(const Database& db, const std::string& schema) {
  try {
    const auto check = Query(db, "PRAGMA " + jet::QuoteName(schema) + ".quick_check");
    return check.size() == 1 && check[0] == "ok";
  } catch (const RunError&) {
    return false;
  }
}

std::optional<IntegrityChecks::FileState> IntegrityChecks::StateOf(const fs::path& file) {
  std::error_code ec1, ec2;
  const auto size = fs::file_size(file, ec1);
  const auto time = fs::last_write_time(file, ec2);
  if (ec1 || ec2) return std::nullopt;
  return FileState{size, time};
}

// One name for a file however its path is written (the prefix reaches a drive by a link).
std::string IntegrityChecks::Key(const fs::path& file) {
  std::error_code ec;
  const auto canonical = fs::weakly_canonical(file, ec);
  return ec ? file.string() : canonical.string();
}

// Reads a database file whole for its check on a connection of its own, inside one read
// transaction, so that no writer changes it meanwhile. The state the file had while it was read
// when it passed; nothing when it failed or could not be read.
std::optional<IntegrityChecks::FileState> IntegrityChecks::CheckWholeFile(const fs::path& file) {
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
  std::lock_guard lock(mutex_);
  const auto it = passed_.find(Key(host));
  return state && it != passed_.end() && it->second == *state;
}

void IntegrityChecks::Remember(const fs::path& host) {
  const auto state = StateOf(host);
  std::lock_guard lock(mutex_);
  if (state) {
    passed_[Key(host)] = *state;
  } else {
    passed_.erase(Key(host));
  }
}

void IntegrityChecks::Vouch(const fs::path& original, const fs::path& copy) {
  if (Passed(original)) Remember(copy);
}

void IntegrityChecks::StartAhead(const fs::path& host) {
  if (Passed(host)) return;
  std::lock_guard lock(mutex_);
  if (ahead_.contains(Key(host))) return;
  auto task = std::make_shared<std::packaged_task<std::optional<FileState>()>>([host] { return CheckWholeFile(host); });
  ahead_.emplace(Key(host), task->get_future().share());
  workers_.push_back(std::make_unique<platform::Worker>([task] { (*task)(); }));
}

// Waits for a check started ahead of the file. True when it passed and the file still has the
// state it had then; the file then counts as checked.
bool IntegrityChecks::TakeAhead(const fs::path& host) {
  std::shared_future<std::optional<FileState>> result;
  {
    std::lock_guard lock(mutex_);
    const auto it = ahead_.find(Key(host));
    if (it == ahead_.end()) return false;
    result = it->second;
    ahead_.erase(it);
  }
  const auto passed = result.get();
  const auto now = StateOf(host);
  if (!passed || passed != now) return false;
  std::lock_guard lock(mutex_);
  passed_[Key(host)] = *now;
  return true;
}

bool IntegrityChecks::Verify(const Database& db, const std::string& schema, const fs::path& host) {
  if (Passed(host) || TakeAhead(host)) return true;
  if (!PassesQuickCheck(db, schema)) return false;
  Remember(host);
  return true;
}

}  // namespace cs::db
