// What keeps an import from losing the user's data or meeting another import of the same
// database:
//
// - the current database is locked for the whole import; a second import of it waits;
// - before its first write the import keeps a copy of the current database beside it
//   ("<file>.before-import"); a failed import puts the copy back whole, a completed one removes
//   it. A copy found at the start was left by an import that never ended (the lock rules out a
//   running one): it is named in the log and kept, and this import's copy takes another name.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "app/frm_main.h"
#include "platform/file_lock.h"

namespace cs::import {

inline constexpr char kCopySuffix[] = ".before-import";

class ImportSafeguard {
 public:
  // Locks the current database at the Windows path `ToFile` (waiting, with a status, while
  // another import holds it) and names any copy left by an earlier import in the log.
  ImportSafeguard(app::frmMain& form, const std::string& ToFile, const char* source);

  // Makes the copy. Throws RunError when it cannot be made.
  void KeepCopy();

  // Ends the import: with result False the copy is put back, then removed; with True it is
  // removed. A copy that cannot be put back is kept and named in the log.
  void Finish(bool result);

  const std::optional<std::filesystem::path>& copy() const { return copy_; }

 private:
  void LogAlways(std::string text);

  app::frmMain& form_;
  const char* source_;
  std::string to_file_;
  std::optional<std::filesystem::path> host_;
  std::unique_ptr<platform::FileLock> lock_;
  std::optional<std::filesystem::path> copy_;
};

}  // namespace cs::import
