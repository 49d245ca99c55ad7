// One .reg file as regedit exports it, held as its logical lines so that a change rewrites only
// the line it touches. Texts are ANSI bytes (Windows-1252), as the registry's A functions see them.
//
// Reading applies the file as regedit imports it, from top to bottom: a key block opens a key
// (its parents exist with it), a later block of the same key adds to it, "[-key]" deletes a key
// and everything below it, "name"=- deletes a value, a later value of the same name wins. Names
// of keys and values match without regard to letter case and keep the case first written.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cs::platform {

inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;

struct RegValue {
  std::uint32_t type = kRegSz;
  std::string data;  // the value's bytes; REG_SZ without a terminating NUL
};

class RegFile {
 public:
  // Parses a whole file. Throws RunError when it is not a .reg file (the first line is neither
  // "REGEDIT4" nor "Windows Registry Editor Version 5.00"), or holds a NUL byte in ANSI text.
  static RegFile Parse(std::string_view bytes);

  // The file's text, in the encoding it was read in (REGEDIT4: ANSI; version 5: UTF-16LE with a
  // byte-order mark, or UTF-8 when it was read so). Untouched lines come back byte for byte.
  std::string Serialize() const;

  // `key` is a full path under a root, "HKEY_CURRENT_USER\Software\...".
  bool KeyExists(std::string_view key) const;
  std::optional<RegValue> Get(std::string_view key, std::string_view name) const;

  // Creates or replaces a value of an existing key; returns false when the key does not exist.
  bool Set(std::string_view key, std::string_view name, const RegValue& value);

 private:
  enum class Encoding { kAnsi, kUtf8, kUtf16 };
  enum class Kind { kOther, kKey, kKeyDelete, kValue, kValueDelete };
  struct Line {
    Line(std::string r) : raw(std::move(r)) {}  // NOLINT: a line of raw text
    Line(std::string r, Kind k, std::string n, RegValue v)
        : raw(std::move(r)), kind(k), name(std::move(n)), value(std::move(v)) {}
    std::string raw;  // the logical line as read, continuation lines included
    Kind kind = Kind::kOther;
    std::string name;  // key path, or value name ("" for @)
    RegValue value;
  };
  struct KeyState {
    std::string display;  // the key's path as first written
    std::optional<std::size_t> last_block;
  };
  struct ValueState {
    std::size_t line;
    RegValue value;
  };
  struct State {
    std::map<std::string, KeyState> keys;                                   // by lower-case path
    std::map<std::pair<std::string, std::string>, ValueState> values;       // by lower-case names
  };

  State Apply() const;
  static void ClassifyLine(Line& line);
  static std::string FormatValueLine(std::string_view name, const RegValue& value);

  Encoding encoding_ = Encoding::kAnsi;
  std::vector<Line> lines_;  // the first is the header
  bool trailing_newline_ = true;
};

}  // namespace cs::platform
