// The check of a written table: the proof, before a written file is trusted, that the table's
// definition is sound, that each of its indexes is in order with one entry per row (or per row
// with a value, where Nulls are ignored) keyed by that row's values, and that every page it uses
// is its own once: listed by exactly the map that should list it, in no other table's maps, not
// free, each data page owned by its definition page.
#pragma once

#include "jetfile/format.h"

namespace cs::jetfile {

class PageFile;
class FreePageMap;

// Checks the table whose definition starts on page `first`. Throws FormatError saying what is
// wrong and where. Changes nothing.
void CheckTablePages(PageFile& pages, const FreePageMap& free_pages, PageNumber first);

}  // namespace cs::jetfile
