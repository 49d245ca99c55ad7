// A row's hash (64 bits), made of its values as the columns' Jet types hold them, the same for
// the values handed to the Jet writer and the values the Jet reader reads back: integers of every
// width as one, currency as its count of ten-thousandths, reals and dates by their bits, text by
// its characters (UTF-16 on one side, UTF-8 on the other), Null apart from every value. What the
// proof of a written Jet file compares rows by (jet_proof.h).
#pragma once

#include <cstdint>

#include "db/jetfile/wire.h"
#include "jetfile/table_layout.h"
#include "jetfile/value.h"

namespace cs::db::jetfile {

class RowHash {
 public:
  // Starts a new row.
  void Clear() { h_ = kOffset; }
  // The row's next value, as handed to the writer for a column of `spec`'s type.
  void Add(const cs::jetfile::ColumnSpec& spec, const cs::jetfile::Value& v);
  // The row's next value, as the reader read it from a column of `spec`'s type.
  void Add(const cs::jetfile::ColumnSpec& spec, const wire::FieldValue& v);
  std::uint64_t Hash() const;

 private:
  static constexpr std::uint64_t kOffset = 0xcbf29ce484222325ULL;
  void Mix(std::uint64_t word);
  void Tag(char tag) { Mix(0x100000000ULL | static_cast<std::uint8_t>(tag)); }
  void Null() { Tag('N'); }
  void Integer(char tag, std::int64_t n);
  void Real(char tag, double d);

  std::uint64_t h_ = kOffset;
};

}  // namespace cs::db::jetfile
