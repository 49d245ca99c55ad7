// The rows a table is written from, pulled one at a time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jetfile/value.h"

namespace cs::jetfile {

// The name of a source's row in messages: "row 1" for the first.
inline std::string RowName(std::uint64_t ordinal) { return "row " + std::to_string(ordinal + 1); }

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
