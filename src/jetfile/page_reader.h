// How the structures above the page layer read the pages they span, without knowing where pages
// come from (a file, its cache, or pages built in memory by a test).
#pragma once

#include <functional>

#include "jetfile/format.h"

namespace cs::jetfile {

// Returns the image of page `number`. Throws FormatError when the file has no such page.
using PageReader = std::function<Page(PageNumber number)>;

}  // namespace cs::jetfile
