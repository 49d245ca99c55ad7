// GetPrivateProfileStringA and WritePrivateProfileStringA over files named by Windows paths.
// Arguments and results are ANSI bytes, as the Windows functions take them; a null pointer is the
// "no section", "no key", "no string" of the Windows calls. The file is read afresh for every call;
// a write rewrites it through a temporary file and a rename, keeping every line it does not change.
#pragma once

#include <cstdint>

#include "platform/windows_paths.h"

namespace cs::platform {

class PrivateProfile {
 public:
  explicit PrivateProfile(const WindowsPaths& paths) : paths_(paths) {}

  // Section and key: the value (outer quotes removed) or the default (trailing blanks removed),
  // cut to size - 1. Key null: the section's key names; section null: the file's section names;
  // each name followed by a NUL and the list by one more. A list that does not fit is cut so
  // that two NULs still fit, and the result is size - 2. The result never counts the last NUL.
  std::uint32_t GetPrivateProfileStringA(const char* section, const char* key,
                                         const char* default_value, char* buffer,
                                         std::uint32_t size, const char* file) const;

  // Key and string: writes key=string, creating the section and the file. String null: removes
  // the key. Key null: removes the section. Returns non-zero on success, 0 on failure (section
  // null, a missing or read-only directory).
  int WritePrivateProfileStringA(const char* section, const char* key, const char* string,
                                 const char* file) const;

 private:
  const WindowsPaths& paths_;
};

}  // namespace cs::platform
