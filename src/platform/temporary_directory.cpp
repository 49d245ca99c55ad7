#include "platform/temporary_directory.h"

#include <stdlib.h>

#include <cstdlib>
#include <string>
#include <system_error>

#include "platform/run_error.h"

namespace fs = std::filesystem;

namespace cs::platform {

TemporaryDirectory::TemporaryDirectory() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = (fs::path(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") / "catalogsync-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    throw RunError(err::kPathFileAccess, "Cannot make a temporary folder: " +
                                             std::error_code(errno, std::generic_category()).message());
  }
  path_ = pattern;
}

TemporaryDirectory::~TemporaryDirectory() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

}  // namespace cs::platform
