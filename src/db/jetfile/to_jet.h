// A database of the program's format written out as a new Jet 4 (Access 2000) file, the way back
// for a setup that was converted into the program's format: Yield Warden opens only Jet files.
#pragma once

#include <filesystem>
#include <string>

#include "platform/file_system.h"

namespace cs::db::jetfile {

// Makes a new Jet 4 file at `new_jet` (a host path that must not exist yet) from the database of
// the program's format at `source`: every table but the password record, with its columns (the
// Jet types their definitions name), its primary key and other indexes, and its rows. `password`
// must open the source (it is checked against the source's record, as opening it would); the new
// file gets it as its database password, or none when the source records none. The file appears
// only when it is whole: it is written under a temporary name beside `new_jet`, flushed and renamed.
// Throws RunError: "File already exists", "Not a valid password.", or the reason a table cannot
// be written as a Jet table (a type Jet files of this program do not hold, a value out of its
// column's range), naming the table and the column.
void CopyToJetFile(platform::FileSystem& files, const std::filesystem::path& source,
                   const std::filesystem::path& new_jet, const std::string& password);

}  // namespace cs::db::jetfile
