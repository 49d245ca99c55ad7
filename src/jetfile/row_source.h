// The rows a table is written from, pulled one at a time.
#pragma once

#include <vector>

#include "jetfile/value.h"

namespace cs::jetfile {

class RowSource {
 public:
  virtual ~RowSource() = default;
  // The next row, one value per column in column-number order; false after the last.
  virtual bool Next(std::vector<Value>& row) = 0;
  // Starts the rows again from the first, giving the same rows again, for a writer that reads
  // them twice (once to check them and the table's indexes before anything is written, once to
  // write them); false when this source cannot, and the writer then keeps the rows in memory for
  // its second reading.
  virtual bool Rewind() { return false; }
};

}  // namespace cs::jetfile
