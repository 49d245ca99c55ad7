#include "jetfile/general_sort_order.h"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <string>
#include <vector>

namespace cs::jetfile {
namespace {

// The code tables, verbatim. Each line holds one character's codes: a letter for its kind, then
// comma-separated fields of hex bytes (an odd number of digits has lost a leading 0):
//   S<codes>                 simple: the codes, nothing else
//   I<codes>,<extra>         accented: the codes of its base letter, and bytes for the extra group
//   U<code>                  unprintable: no codes; an entry in the unprintable group
//   P<modifier>              combining mark: adds to the previous extra byte
//   Z<codes>,<extra>,<flag>  letters with a two-bit variant mark ("1" one variant, empty another)
//   X                        ignored altogether
// The surrogates U+D800 to U+DFFF have no lines; their codes are computed below.
constexpr char kCodesText[] =
#include "jetfile/general_sort_order_codes.inc"
    ;
constexpr char kExtCodesText[] =
#include "jetfile/general_sort_order_ext_codes.inc"
    ;
const std::string_view kCodes(kCodesText, sizeof kCodesText - 1);
const std::string_view kExtCodes(kExtCodesText, sizeof kExtCodesText - 1);

enum class Kind : std::uint8_t { kIgnored, kSimple, kOther };

struct CharCode {
  Kind kind = Kind::kIgnored;
  std::uint8_t inline_length = 0;
  std::uint8_t extra_length = 0;
  std::uint8_t modifier = 0;  // P: added to the last extra byte
  std::uint8_t variant = 0;   // Z: 2 or 3, packed two bits each into the variant group
  bool unprintable = false;   // U: `unprintable_code` goes into the unprintable group
  std::uint8_t unprintable_code = 0;
  std::array<std::uint8_t, 4> inline_bytes{};
  std::array<std::uint8_t, 4> extra_bytes{};
};

constexpr std::uint8_t kEndText = 0x01;
constexpr std::uint8_t kEndExtra = 0x00;
constexpr std::uint8_t kExtraPlaceholder = 0x02;
constexpr std::uint8_t kUnprintableMidfix = 0x06;
constexpr std::uint8_t kVariantStart = 0x80;
constexpr std::uint8_t kVariantOne = 0x02;
constexpr std::uint8_t kVariantOther = 0x03;
constexpr std::array<std::uint8_t, 5> kVariantSuffix = {0xFF, 0x02, 0x80, 0xFF, 0x80};
constexpr std::uint8_t kVariantUnprintableSuffix = 0xFF;
constexpr std::size_t kMaxIndexedCharacters = 255;

// The tables are part of the program, so a malformed line is a fault of the build, not of a file.
[[noreturn]] void BadTable(std::size_t character, std::string_view line) {
  throw std::logic_error("general sort order table: bad line for character " +
                         std::to_string(character) + ": '" + std::string(line) + "'");
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Hex digits into `out`; returns the number of bytes, or -1 when they do not fit or are not hex.
int ParseHex(std::string_view hex, std::array<std::uint8_t, 4>& out) {
  std::string digits(hex);
  if (digits.size() % 2 != 0) digits.insert(digits.begin(), '0');
  if (digits.size() / 2 > out.size()) return -1;
  for (std::size_t i = 0; i < digits.size(); i += 2) {
    int hi = HexDigit(digits[i]);
    int lo = HexDigit(digits[i + 1]);
    if (hi < 0 || lo < 0) return -1;
    out[i / 2] = static_cast<std::uint8_t>(hi * 16 + lo);
  }
  return static_cast<int>(digits.size() / 2);
}

std::vector<std::string_view> SplitFields(std::string_view text) {
  std::vector<std::string_view> fields;
  while (true) {
    std::size_t comma = text.find(',');
    fields.push_back(text.substr(0, comma));
    if (comma == std::string_view::npos) return fields;
    text.remove_prefix(comma + 1);
  }
}

CharCode ParseLine(std::size_t character, std::string_view line) {
  CharCode code;
  if (line.empty()) BadTable(character, line);
  const char kind = line[0];
  const std::vector<std::string_view> fields = SplitFields(line.substr(1));
  auto need = [&](std::size_t count) {
    if (fields.size() != count) BadTable(character, line);
  };
  auto bytes = [&](std::string_view hex, std::array<std::uint8_t, 4>& out, bool required) {
    if (hex.empty()) {
      if (required) BadTable(character, line);
      return std::uint8_t{0};
    }
    int n = ParseHex(hex, out);
    if (n <= 0) BadTable(character, line);
    return static_cast<std::uint8_t>(n);
  };
  std::array<std::uint8_t, 4> scratch{};
  switch (kind) {
    case 'S':
      need(1);
      code.kind = Kind::kSimple;
      code.inline_length = bytes(fields[0], code.inline_bytes, true);
      break;
    case 'I':
      need(2);
      code.kind = Kind::kOther;
      code.inline_length = bytes(fields[0], code.inline_bytes, true);
      code.extra_length = bytes(fields[1], code.extra_bytes, true);
      break;
    case 'U':
      need(1);
      code.kind = Kind::kOther;
      if (bytes(fields[0], scratch, true) != 1) BadTable(character, line);
      code.unprintable = true;
      code.unprintable_code = scratch[0];
      break;
    case 'P':
      need(1);
      code.kind = Kind::kOther;
      if (bytes(fields[0], scratch, true) != 1 || scratch[0] == 0) BadTable(character, line);
      code.modifier = scratch[0];
      break;
    case 'Z':
      need(3);
      code.kind = Kind::kOther;
      code.inline_length = bytes(fields[0], code.inline_bytes, true);
      code.extra_length = bytes(fields[1], code.extra_bytes, false);
      code.variant = fields[2] == "1" ? kVariantOne : kVariantOther;
      break;
    case 'X':
      if (line.size() != 1) BadTable(character, line);
      break;
    default:
      BadTable(character, line);
  }
  return code;
}

// Surrogates sort by a code computed from their value, and mark the extra group with 0x3F.
CharCode SurrogateCode(std::uint32_t c) {
  std::uint32_t index = 0;
  if (c < 0xDC00) {
    index = c - 10238;
  } else {
    const std::uint32_t offset = c - 0xDC00;
    const std::uint32_t shift = offset < 8             ? 9992
                                : offset < 8 + 254     ? 9990
                                : offset < 8 + 2 * 254 ? 9988
                                : offset < 8 + 3 * 254 ? 9986
                                                       : 9984;
    index = c - shift;
  }
  CharCode code;
  code.kind = Kind::kOther;
  code.inline_length = 2;
  code.inline_bytes = {static_cast<std::uint8_t>(index >> 8), static_cast<std::uint8_t>(index), 0,
                       0};
  code.extra_length = 1;
  code.extra_bytes = {0x3F, 0, 0, 0};
  return code;
}

std::vector<CharCode> LoadTable() {
  std::vector<CharCode> table(0x10000);
  auto load = [&](std::string_view text, std::uint32_t first, std::uint32_t last) {
    if (!text.empty() && text.front() == '\n') text.remove_prefix(1);
    for (std::uint32_t c = first; c <= last; ++c) {
      if (c >= 0xD800 && c <= 0xDFFF) {
        table[c] = SurrogateCode(c);
        continue;
      }
      std::size_t end = text.find('\n');
      if (end == std::string_view::npos) BadTable(c, "(missing)");
      table[c] = ParseLine(c, text.substr(0, end));
      text.remove_prefix(end + 1);
    }
    if (!text.empty()) BadTable(last, "(extra lines)");
  };
  load(kCodes, 0x0000, 0x00FF);
  load(kExtCodes, 0x0100, 0xFFFF);
  return table;
}

const std::vector<CharCode>& Table() {
  static const std::vector<CharCode> table = LoadTable();
  return table;
}

void TrimTrailing(std::vector<std::uint8_t>& bytes, std::uint8_t low, std::uint8_t high) {
  while (!bytes.empty() && bytes.back() >= low && bytes.back() <= high) bytes.pop_back();
}

}  // namespace

SortOrder ReadSortOrder(const std::uint8_t* bytes) { return SortOrder{GetU16(bytes), bytes[3]}; }

void RequireGeneralSortOrder(SortOrder order, std::string_view where) {
  if (order == kGeneralSortOrder) return;
  throw FormatError(std::string(where) + ": text sorts in sort order " +
                    std::to_string(order.code) + " version " + std::to_string(order.version) +
                    "; only the General sort order (1033 version 0) can be indexed");
}

void AppendGeneralSortKey(std::u16string_view text, bool ascending, Bytes& out) {
  const std::vector<CharCode>& table = Table();
  if (text.size() > kMaxIndexedCharacters) text = text.substr(0, kMaxIndexedCharacters);
  while (!text.empty() && text.back() == u' ') text.remove_suffix(1);

  const std::size_t start = out.size();
  // The extra group has one entry per character that has codes, counted in `extra_characters`;
  // characters without extra bytes before one that has them are filled in with a placeholder.
  std::vector<std::uint8_t> extra;
  std::size_t extra_characters = 0;
  std::size_t extra_lead = 0;  // a modifier that arrived before any extra byte
  bool extra_started = false;
  std::vector<std::uint8_t> unprintables;
  std::vector<std::uint8_t> variants;
  bool any_variant = false;

  std::size_t position = 0;  // characters with codes so far
  for (char16_t c : text) {
    const CharCode& code = table[c];
    const std::size_t here = position;
    if (code.inline_length > 0) {
      out.insert(out.end(), code.inline_bytes.begin(),
                 code.inline_bytes.begin() + code.inline_length);
      ++position;
    }
    if (code.kind != Kind::kOther) continue;

    if (code.extra_length > 0 || code.modifier != 0) {
      extra_started = true;
      if (extra_characters < here) {
        extra.insert(extra.end(), here - extra_characters, kExtraPlaceholder);
        extra_characters = here;
      }
      if (code.extra_length > 0) {
        extra.insert(extra.end(), code.extra_bytes.begin(),
                     code.extra_bytes.begin() + code.extra_length);
        ++extra_characters;
      } else if (!extra.empty()) {
        extra.back() = static_cast<std::uint8_t>(extra.back() + code.modifier);
      } else {
        extra.push_back(code.modifier);
        extra_lead = 1;
      }
    }
    if (code.unprintable) {
      // Where the character sits, counted in entries of the extra group as it would stand.
      std::size_t at = here;
      if (extra_started) at = extra.size() + (here - extra_characters) - extra_lead;
      const std::uint32_t mark = (7 + 4 * static_cast<std::uint32_t>(at)) | 0x8000;
      unprintables.push_back(static_cast<std::uint8_t>(mark >> 8));
      unprintables.push_back(static_cast<std::uint8_t>(mark));
      unprintables.push_back(kUnprintableMidfix);
      unprintables.push_back(code.unprintable_code);
    }
    if (code.variant != 0) {
      variants.push_back(code.variant);
      any_variant = true;
    }
  }
  out.push_back(kEndText);

  TrimTrailing(extra, 0x00, kExtraPlaceholder);
  const bool any_unprintable = !unprintables.empty();
  out.insert(out.end(), extra.begin(), extra.end());
  if (any_variant || any_unprintable) {
    out.push_back(kEndText);
    out.push_back(kEndText);
    if (any_variant) {
      // Trailing marks of the second kind say nothing and go; the rest pack three to a byte.
      TrimTrailing(variants, kVariantOther, kVariantOther);
      std::uint8_t packed = kVariantStart;
      int used = 0;
      for (std::uint8_t v : variants) {
        packed = static_cast<std::uint8_t>(packed | (v << ((2 - used) * 2)));
        if (++used == 3) {
          out.push_back(packed);
          packed = kVariantStart;
          used = 0;
        }
      }
      if (used > 0) out.push_back(packed);
      out.insert(out.end(), kVariantSuffix.begin(), kVariantSuffix.end());
      if (any_unprintable) out.push_back(kVariantUnprintableSuffix);
    }
    if (any_unprintable) {
      out.push_back(kEndText);
      out.insert(out.end(), unprintables.begin(), unprintables.end());
    }
  }

  if (!ascending) {
    out.push_back(kEndExtra);
    for (std::size_t i = start; i < out.size(); ++i) out[i] = static_cast<std::uint8_t>(~out[i]);
  }
  out.push_back(kEndExtra);
}

}  // namespace cs::jetfile
