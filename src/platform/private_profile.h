// GetPrivateProfileStringA and WritePrivateProfileStringA over files named by Windows paths.
// Arguments and results are ANSI bytes, as the Windows functions take them; a null pointer is the
// "no section", "no key", "no string" of the Windows calls. The file is read afresh for every call
// (IniDocument reads it); a write replaces it atomically, keeping every line it does not change.
// A path that is not a regular file (a directory, a FIFO, a device) is never read nor replaced.
#pragma once

#include <cstdint>

#include "platform/file_system.h"
#include "platform/windows_paths.h"

namespace cs::platform {

class PrivateProfile {
 public:
  PrivateProfile(FileSystem& files, const WindowsPaths& paths) : files_(files), paths_(paths) {}

  // Section and key: the value (outer quotes removed) or the default (trailing blanks removed),
  // cut to size - 1. The section "" is the one headed "[]" and the key "" is a line "=value", as
  // on Windows. Key null: the section's key names; section null: the file's section names; each
  // name followed by a NUL and the list by one more. A list that does not fit is cut so that two
  // NULs still fit, and the result is size - 2. The result never counts the last NUL. A missing
  // or unreadable file reads as an empty one.
  std::uint32_t GetPrivateProfileStringA(const char* section, const char* key,
                                         const char* default_value, char* buffer,
                                         std::uint32_t size, const char* file) const;

  // Key and string: writes key=string, creating the section and the file. String null: removes
  // the key. Key null: removes the section. Returns non-zero on success, 0 on failure (section
  // null, a missing or read-only directory, a read-only or unreadable file, a path that is not a
  // regular file).
  int WritePrivateProfileStringA(const char* section, const char* key, const char* string,
                                 const char* file) const;

 private:
  FileSystem& files_;
  const WindowsPaths& paths_;
};

}  // namespace cs::platform
