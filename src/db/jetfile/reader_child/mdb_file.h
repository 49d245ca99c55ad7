// What the reader process knows of the file it reads: libmdb's handle with the file's Jet
// version and size, the error that ends the reading in a failure frame, and the few byte-level
// helpers every part of the reading needs.
#pragma once

// glib first: mdbtools.h includes it inside extern "C", where its C++ parts do not compile.
#include <glib.h>
#include <mdbtools.h>

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>

namespace cs::db::jetfile::reader_child {

// A problem with the file, reported to the program in a failure frame.
class ReadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Where a value is, for the message of a problem; made into text only when one arises.
struct Where {
  const std::string& table;
  std::uint32_t row;
  std::string Text() const { return table + " row " + std::to_string(row); }
};

// Row-offset flags of a data page: 0x4000 marks a deleted row, or a row that was moved (read
// where it now lies); the low 13 bits are the offset.
constexpr int kRowSkippedFlag = 0x4000;
constexpr int kRowOffsetMask = 0x1FFF;

struct TableCloser {
  void operator()(MdbTableDef* t) const { mdb_free_tabledef(t); }
};

// What the reading of one file needs to know of it.
struct File {
  MdbHandle* mdb;
  bool jet4;
  std::uint32_t pages;  // whole pages in the file
};

inline std::uint32_t Le32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

template <typename T>
T Raw(const unsigned char* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

}  // namespace cs::db::jetfile::reader_child
