#include "platform/prefix.h"

#include <cstdlib>
#include <fstream>
#include <system_error>

#include "platform/run_error.h"

namespace fs = std::filesystem;

namespace cs::platform {

fs::path PrefixFromEnvironment() {
  if (const char* p = std::getenv("CATALOGSYNC_PREFIX"); p != nullptr && *p != '\0') return p;
  const char* home = std::getenv("HOME");
  return fs::path(home != nullptr && *home != '\0' ? home : "/") / ".catalogsync";
}

void EnsurePrefix(const fs::path& prefix) {
  std::error_code ec;
  fs::create_directories(prefix / "drive_c", ec);
  if (ec) {
    throw RunError(err::kPathNotFound,
                   "Cannot create the prefix '" + prefix.string() + "': " + ec.message());
  }
  fs::create_directories(prefix / "dosdevices", ec);
  const fs::path c = prefix / "dosdevices" / "c:";
  const fs::path z = prefix / "dosdevices" / "z:";
  if (!fs::is_symlink(c, ec) && !fs::exists(c, ec)) fs::create_directory_symlink("../drive_c", c, ec);
  if (!fs::is_symlink(z, ec) && !fs::exists(z, ec)) fs::create_directory_symlink("/", z, ec);
  const fs::path reg = prefix / "user.reg";
  if (!fs::exists(reg, ec)) {
    // The keys that an installed Yield Warden has; values are left to their defaults.
    std::ofstream out(reg, std::ios::binary);
    out << "REGEDIT4\r\n\r\n"
           "[HKEY_CURRENT_USER\\Software\\Quillmarch\\Yield Warden]\r\n\r\n"
           "[HKEY_CURRENT_USER\\Software\\Quillmarch\\Yield Warden\\PriceFiles]\r\n\r\n"
           "[HKEY_CURRENT_USER\\Software\\Quillmarch\\Yield Warden\\Startup]\r\n\r\n";
  }
}

}  // namespace cs::platform
