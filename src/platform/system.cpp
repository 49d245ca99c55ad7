#include "platform/system.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <system_error>

#include "platform/run_error.h"
#include "platform/text.h"

namespace fs = std::filesystem;

namespace cs::platform {

void ExitProcessEnd::EndNow() { std::_Exit(0); }

System::System(fs::path prefix, fs::path program_dir, std::vector<std::string> args)
    : paths_(prefix),
      registry_(prefix / "user.reg"),
      profile_(paths_),
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
  std::error_code ec;
  return host && fs::is_regular_file(*host, ec);
}

std::string System::DirQuery(const std::string& windows_path) const {
  auto host = paths_.Resolve(windows_path);
  std::error_code ec;
  if (!host || !fs::is_regular_file(*host, ec)) return {};
  return host->filename().string();
}

void System::WriteText(const std::string& windows_path, const std::string& ansi,
                       bool append) const {
  auto host = paths_.ResolveForCreate(windows_path);
  if (!host) throw RunError(err::kPathNotFound, "Path not found");
  std::ofstream out(*host, std::ios::binary | (append ? std::ios::app : std::ios::trunc));
  if (!out) throw RunError(err::kPathFileAccess, "Path/File access error");
  out.write(ansi.data(), static_cast<std::streamsize>(ansi.size()));
  out.flush();
  if (!out) throw RunError(err::kPathFileAccess, "Path/File access error");
}

std::string RebuildCommandLine(const std::vector<std::string>& args, const WindowsPaths& paths) {
  std::string text;
  for (const auto& arg : args) {
    if (!text.empty()) text += ' ';
    const std::string lower = LCase(arg);
    const bool is_switch = lower == "/s" || lower == "/z" || lower == "/l" || lower == "/?";
    if (arg.starts_with('/') && !is_switch) {
      const std::string win = paths.ToWindows(arg);
      text += win.empty() ? arg : win;
    } else {
      text += arg;
    }
  }
  return text;
}

fs::path ExecutableDirectory() {
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return fs::current_path();
  return exe.parent_path();
}

}  // namespace cs::platform
