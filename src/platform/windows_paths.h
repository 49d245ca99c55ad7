// Windows paths over the prefix. Every path the program handles is a Windows path
// ("C:\YIELDWARDEN\YIELDWARDEN.YW"); this turns one into a host path when a file is opened,
// tested or created, and a host path back into its Windows form.
//
// Rules: a drive letter and ":" followed by "\" or "/" (both separators anywhere); the drive is a
// link in <prefix>/dosdevices ("c:", letter case ignored); UNC paths and paths without a drive
// name no file. Each component matches a directory entry without regard to letter case (an exact
// match wins); trailing blanks and dots of a component are ignored; "." and ".." work as on
// Windows (".." never climbs above the drive's root); blanks around the whole path are ignored.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"

namespace cs::platform {

// Every look-up goes through the FileSystem, so that a test can serve it from memory.
class WindowsPaths {
 public:
  WindowsPaths(const FileSystem& files, std::filesystem::path prefix);

  // The host path of an existing file or directory, or nothing when the path names none.
  std::optional<std::filesystem::path> Resolve(std::string_view windows_path) const;

  // The host path at which a file named by the path is opened for writing: an existing entry of
  // any letter case is reused; otherwise the last component as given (trailing blanks and dots
  // removed) inside the directory the rest resolves to. Nothing when that directory is missing.
  std::optional<std::filesystem::path> ResolveForCreate(std::string_view windows_path) const;

  // The Windows form of a host path: the drive whose folder holds it (the deepest match), then
  // the rest with backslashes. Empty text when no drive holds it.
  std::string ToWindows(const std::filesystem::path& host_path) const;

  const std::filesystem::path& prefix() const { return prefix_; }
  const FileSystem& files() const { return files_; }

 private:
  struct Split {
    std::filesystem::path root;
    std::vector<std::string> components;  // already normalised: no ".", ".." applied
  };
  std::optional<Split> SplitPath(std::string_view windows_path) const;

  const FileSystem& files_;
  std::filesystem::path prefix_;
};

// Finds the entry of `dir` named `name` without regard to letter case; an exact match wins, and
// of several that differ only in case the same one every time.
std::optional<std::filesystem::path> FindEntryNoCase(const FileSystem& files,
                                                     const std::filesystem::path& dir,
                                                     const std::string& name);

}  // namespace cs::platform
