#include "db/jetfile/row_hash.h"

#include <cmath>
#include <cstring>

namespace cs::db::jetfile {

using cs::jetfile::ColumnSpec;
using cs::jetfile::ColumnType;

void RowHash::Add(const ColumnSpec& spec, const cs::jetfile::Value& v) {
  if (cs::jetfile::IsNull(v)) return Null();
  switch (spec.type) {
    case ColumnType::kBoolean:
      return Integer('B', std::get<bool>(v) ? 1 : 0);
    case ColumnType::kByte:
      return Integer('I', std::get<std::uint8_t>(v));
    case ColumnType::kInteger:
      return Integer('I', std::get<std::int16_t>(v));
    case ColumnType::kLong:
      return Integer('I', std::get<std::int32_t>(v));
    case ColumnType::kCurrency:
      return Integer('C', std::get<cs::jetfile::Currency>(v).ten_thousandths);
    case ColumnType::kSingle:
      return Real('S', static_cast<double>(std::get<float>(v)));
    case ColumnType::kDouble:
      return Real('D', std::get<double>(v));
    case ColumnType::kDateTime:
      return Real('T', std::get<cs::jetfile::DateTime>(v).ole);
    case ColumnType::kText:
    case ColumnType::kMemo: {
      Tag('X');
      const std::u16string& text = std::get<std::u16string>(v);
      for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
          c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        }
        Mix(c);
      }
      return Mix(0xFFFFFFFF);
    }
    default: {
      Tag('Y');
      for (const std::uint8_t b : std::get<cs::jetfile::Bytes>(v)) Mix(b);
      return Mix(0xFFFFFFFF);
    }
  }
}

void RowHash::Add(const ColumnSpec& spec, const wire::FieldValue& v) {
  if (std::holds_alternative<std::monostate>(v)) return Null();
  if (const auto* n = std::get_if<std::int64_t>(&v)) {
    return spec.type == ColumnType::kBoolean ? Integer('B', *n != 0 ? 1 : 0) : Integer('I', *n);
  }
  if (const auto* c = std::get_if<wire::Currency>(&v)) return Integer('C', c->ten_thousandths);
  if (const auto* d = std::get_if<double>(&v)) {
    return spec.type == ColumnType::kSingle ? Real('S', static_cast<double>(static_cast<float>(*d))) : Real('D', *d);
  }
  if (const auto* t = std::get_if<wire::DateTime>(&v)) return Real('T', t->days);
  if (const auto* t = std::get_if<wire::Text>(&v)) {
    Tag('X');
    const std::string_view s = t->utf8;
    for (std::size_t i = 0; i < s.size();) {
      const auto b = static_cast<std::uint8_t>(s[i]);
      const std::size_t n = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
      char32_t c = n == 1 ? b : b & (0x7F >> n);
      for (std::size_t k = 1; k < n && i + k < s.size(); ++k) c = (c << 6) | (static_cast<std::uint8_t>(s[i + k]) & 0x3F);
      Mix(c);
      i += n;
    }
    return Mix(0xFFFFFFFF);
  }
  Tag('Y');
  for (const char b : std::get<wire::Binary>(v).bytes) Mix(static_cast<std::uint8_t>(b));
  Mix(0xFFFFFFFF);
}


std::uint64_t RowHash::Hash() const {
  std::uint64_t h = h_;
  h ^= h >> 30;
  h *= 0xbf58476d1ce4e5b9ULL;
  h ^= h >> 27;
  h *= 0x94d049bb133111ebULL;
  return h ^ (h >> 31);
}

void RowHash::Mix(std::uint64_t word) {
  h_ = (h_ ^ word) * 0x100000001b3ULL;
  h_ ^= h_ >> 29;
}

void RowHash::Integer(char tag, std::int64_t n) {
  Tag(tag);
  Mix(static_cast<std::uint64_t>(n));
}

void RowHash::Real(char tag, double d) {
  Tag(tag);
  if (std::isnan(d)) return Mix(0x7FF8000000000000ULL);
  if (d == 0) d = 0;  // -0 and 0 are one value
  std::uint64_t bits;
  std::memcpy(&bits, &d, sizeof bits);
  Mix(bits);
}

}  // namespace cs::db::jetfile
