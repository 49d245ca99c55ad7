// One .reg file as regedit exports it, held as its lines in the file's own bytes, so that a change
// rewrites only the line it touches and every other line comes back byte for byte, in whichever
// encoding the file has (see reg_text.h). No file I/O: bytes in, a document, bytes out.
//
// The file is applied as regedit imports it, from top to bottom: a key block opens a key (its
// parents exist with it), a later block of the same key adds to it, "[-key]" deletes a key and
// everything below it, "name"=- deletes a value, a later value of the same name wins. Names of
// keys and values match without regard to letter case and keep the case first written. Parsing
// takes time linear in the size of the file; a look-up goes through an index, never through the
// lines.
//
// The interface speaks ANSI (Windows-1252) bytes, as the registry's A functions do: names and
// string data are converted from and to the file's text, and in a version 5 file the UTF-16 data
// of hex(1), hex(2) and hex(7) values is converted too. A character that Windows-1252 lacks
// reads as "?", while the file keeps it.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/reg_text.h"

namespace cs::platform {

inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegMultiSz = 7;

struct RegValue {
  std::uint32_t type = kRegSz;
  std::string data;  // the value's bytes; REG_SZ without a terminating NUL
};

// What a logical line of a .reg file says (a hex value continued over several physical lines is
// one logical line).
enum class RegLineKind : std::uint8_t { kOther, kKey, kKeyDelete, kValue, kValueDelete };

class RegFile {
 public:
  // Parses a whole file. Throws RunError (1009) when it is empty, when its first line is neither
  // "REGEDIT4" nor "Windows Registry Editor Version 5.00", or when its text holds a NUL.
  static RegFile Parse(std::string bytes);

  // The file's bytes, with the changes made.
  std::string Serialize() const;

  // `key` is a full path under a root, "HKEY_CURRENT_USER\Software\...". A root always exists.
  bool KeyExists(std::string_view key) const;
  std::optional<RegValue> Get(std::string_view key, std::string_view name) const;

  // Creates or replaces a value of an existing key; returns false when the key does not exist.
  // A replaced value keeps its line; a new one goes after the last value of the key's latest
  // block, or into a new block at the end when the key exists only as a parent. New lines end
  // the way the file's first line does.
  bool Set(std::string_view key, std::string_view name, const RegValue& value);

 private:
  struct Line {
    std::size_t begin = 0;  // the line's bytes in bytes_, or
    std::size_t size = 0;
    std::int32_t replacement = -1;  // their index in replacements_ once changed
    RegLineKind kind = RegLineKind::kOther;
  };
  struct Key {
    std::size_t first_block = 0;  // its header as first written
    std::size_t last_block = 0;
    std::map<std::string, std::size_t> values;  // folded name -> the line that sets it
  };

  std::string_view Bytes(const Line& line) const;
  std::string Text(std::size_t line) const;  // the logical line as UTF-8
  void Insert(std::size_t at, std::string_view utf8, RegLineKind kind);
  void Replace(std::size_t line, std::string bytes);
  void EndLastLine();
  std::string FormatValueLine(std::string_view name, const RegValue& value) const;

  std::string bytes_;
  RegEncoding encoding_ = RegEncoding::kAnsi;
  bool version5_ = false;
  std::string newline_ = "\r\n";
  std::vector<Line> lines_;  // the first is the header
  std::vector<std::string> replacements_;
  std::map<std::string, Key> keys_;  // by folded path; deleted keys are gone
};

}  // namespace cs::platform
