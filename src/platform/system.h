// The machine as the program sees it: the prefix with its drives, the registry, the INI functions,
// files named by Windows paths, and the process (its directory, version, command line and end).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/private_profile.h"
#include "platform/registry_store.h"
#include "platform/windows_paths.h"

namespace cs::platform {

// Ends the process; a test's implementation throws instead so that the run can be inspected.
class ProcessEnd {
 public:
  virtual ~ProcessEnd() = default;
  [[noreturn]] virtual void EndNow() = 0;
};

class ExitProcessEnd : public ProcessEnd {
 public:
  [[noreturn]] void EndNow() override;
};

class System {
 public:
  // `files` is the file system of every file operation; it must outlive the System.
  // `program_dir` is the host folder that holds the executable.
  System(FileSystem& files, std::filesystem::path prefix, std::filesystem::path program_dir,
         std::vector<std::string> args);

  FileSystem& files() const { return files_; }
  const WindowsPaths& paths() const { return paths_; }
  RegistryStore& registry() { return registry_; }
  const PrivateProfile& profile() const { return profile_; }

  // The program's directory in Windows form, without a trailing separator.
  std::string ProgramDirectory() const;
  // The argument text: the arguments joined by blanks, a host path argument in Windows form.
  std::string CommandLineText() const;

  // True when a regular file exists at the Windows path.
  bool FileExists(const std::string& windows_path) const;
  // The directory query with normal attributes: the file's name when a file exists, else "".
  std::string DirQuery(const std::string& windows_path) const;

  // Writes ANSI text to a file named by a Windows path: emptied first, or appended to; the file
  // is opened and closed again for every call. Throws RunError when the path names no folder
  // (76) or the file cannot be written (75).
  void WriteText(const std::string& windows_path, const std::string& ansi, bool append) const;

 private:
  FileSystem& files_;
  WindowsPaths paths_;
  RegistryStore registry_;
  PrivateProfile profile_;
  std::filesystem::path program_dir_;
  std::vector<std::string> args_;
};

// Rebuilds the argument text of a Windows command line from arguments already split: joined by
// single blanks; an argument that begins with "/" and is not one of the switches /s, /z, /l, /?
// (any case) is a host path and enters in its Windows form, and so does one that begins with "./"
// or "../", a host path relative to the current directory (as a user types a file's name in its
// own folder). A path that does not exist keeps its Windows form, so that the run names it.
std::string RebuildCommandLine(const std::vector<std::string>& args, const WindowsPaths& paths);

// The folder that holds the running executable.
std::filesystem::path ExecutableDirectory(const FileSystem& files);

}  // namespace cs::platform
