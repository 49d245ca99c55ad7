#include "platform/prefix.h"

#include <cstdlib>
#include <string>
#include <system_error>

#include "platform/run_error.h"

namespace fs = std::filesystem;

namespace cs::platform {
namespace {

[[noreturn]] void CannotCreate(const fs::path& what, const std::error_code& ec) {
  throw RunError(err::kPathNotFound,
                 "Cannot create the prefix '" + what.string() + "': " + ec.message());
}

}  // namespace

fs::path PrefixFromEnvironment() {
  if (const char* p = std::getenv("CATALOGSYNC_PREFIX"); p != nullptr && *p != '\0') return p;
  const char* home = std::getenv("HOME");
  return fs::path(home != nullptr && *home != '\0' ? home : "/") / ".catalogsync";
}

void EnsurePrefix(FileSystem& files, const fs::path& prefix) {
  for (const fs::path& dir : {prefix / "drive_c", prefix / "dosdevices"}) {
    if (auto ec = files.CreateDirectories(dir)) CannotCreate(dir, ec);
  }
  // A link that exists, even one that points nowhere, is the user's and stays as it is.
  for (const auto& [name, target] : {std::pair{"c:", "../drive_c"}, std::pair{"z:", "/"}}) {
    const fs::path link = prefix / "dosdevices" / name;
    if (files.Stat(link).kind != FileKind::kMissing) continue;
    if (auto ec = files.CreateSymlink(target, link); ec && ec != std::errc::file_exists) {
      CannotCreate(link, ec);
    }
  }
  const fs::path reg = prefix / "user.reg";
  if (files.Stat(reg).kind == FileKind::kMissing) {
    // The keys that an installed Yield Warden has; values are left to their defaults.
    const std::string defaults =
        "REGEDIT4\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\Quillmarch\\Yield Warden]\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\Quillmarch\\Yield Warden\\PriceFiles]\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\Quillmarch\\Yield Warden\\Startup]\r\n\r\n";
    if (auto ec = files.WriteFileAtomically(reg, defaults, IfExists::kFail, nullptr);
        ec && ec != std::errc::file_exists) {
      CannotCreate(reg, ec);
    }
  }
}

}  // namespace cs::platform
