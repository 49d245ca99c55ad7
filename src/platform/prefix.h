// The prefix: the folder that holds everything the program treats as "the machine".
// It is named by CATALOGSYNC_PREFIX, or ~/.catalogsync when that is unset.
//
//   <prefix>/user.reg        HKEY_CURRENT_USER as a REGEDIT4 file
//   <prefix>/dosdevices/c:   link to ../drive_c (drive C:)
//   <prefix>/dosdevices/z:   link to / (drive Z:)
//   <prefix>/drive_c/        what the program sees as drive C
#pragma once

#include <filesystem>

#include "platform/file_system.h"

namespace cs::platform {

// The prefix folder from the environment.
std::filesystem::path PrefixFromEnvironment();

// Creates what is missing of a prefix with its defaults: the folder, drive_c, the two drive links
// and a user.reg holding the product's keys without values. Existing parts are left alone (a
// user.reg made meanwhile by another process too). Throws RunError when a part cannot be made.
void EnsurePrefix(FileSystem& files, const std::filesystem::path& prefix);

}  // namespace cs::platform
