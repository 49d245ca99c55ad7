#include "platform/system.h"

#include <cstdlib>

#include "platform/run_error.h"
#include "platform/temporary_directory.h"
#include "platform/text.h"

namespace fs = std::filesystem;

namespace cs::platform {

void ExitProcessEnd::EndNow() {
  // Nothing after this runs a destructor: the run's private folders go first.
  RemoveLiveTemporaryDirectories();
  std::_Exit(0);
}

System::System(FileSystem& files, fs::path prefix, fs::path program_dir,
               std::vector<std::string> args)
    : files_(files),
      paths_(files, prefix),
      registry_(files, prefix / "user.reg"),
      profile_(files, paths_),
      program_dir_(std::move(program_dir)),
      args_(std::move(args)) {}

std::string System::ProgramDirectory() const {
  std::string dir = paths_.ToWindows(program_dir_);
  while (dir.size() > 2 && (dir.back() == '\\')) dir.pop_back();
  return dir;
}

std::string System::CommandLineText() const { return RebuildCommandLine(args_, paths_); }

bool System::FileExists(const std::string& windows_path) const {
  auto host = paths_.Resolve(windows_path);
  return host && files_.Stat(*host).kind == FileKind::kRegular;
}

std::string System::DirQuery(const std::string& windows_path) const {
  auto host = paths_.Resolve(windows_path);
  if (!host || files_.Stat(*host).kind != FileKind::kRegular) return {};
  return host->filename().string();
}

void System::WriteText(const std::string& windows_path, const std::string& ansi,
                       bool append) const {
  auto host = paths_.ResolveForCreate(windows_path);
  if (!host) throw RunError(err::kPathNotFound, "Path not found");
  if (files_.WriteFile(*host, ansi, append)) {
    throw RunError(err::kPathFileAccess, "Path/File access error");
  }
}

std::string RebuildCommandLine(const std::vector<std::string>& args, const WindowsPaths& paths) {
  std::string text;
  for (const auto& arg : args) {
    if (!text.empty()) text += ' ';
    const std::string lower = LCase(arg);
    const bool is_switch = lower == "/s" || lower == "/z" || lower == "/l" || lower == "/?";
    const bool relative = arg.starts_with("./") || arg.starts_with("../");
    if ((arg.starts_with('/') && !is_switch) || relative) {
      const std::string win = paths.ToWindows(arg);
      text += win.empty() ? arg : win;
    } else {
      text += arg;
    }
  }
  return text;
}

fs::path ExecutableDirectory(const FileSystem& files) {
  const fs::path exe = files.Canonical("/proc/self/exe");
  if (exe.empty()) return files.Canonical(".");
  return exe.parent_path();
}

}  // namespace cs::platform
