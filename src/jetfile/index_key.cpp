#include "jetfile/index_key.h"

#include <bit>
#include <string>

#include "jetfile/general_sort_order.h"

namespace cs::jetfile {
namespace {

constexpr std::uint8_t kAscendingStart = 0x7F;
constexpr std::uint8_t kAscendingNull = 0x00;
constexpr std::uint8_t kDescendingStart = 0x80;
constexpr std::uint8_t kDescendingNull = 0xFF;
constexpr std::uint8_t kAscendingYes = 0x00;
constexpr std::uint8_t kAscendingNo = 0xFF;
constexpr std::size_t kGuidSize = 16;

std::string TypeName(ColumnType type) {
  switch (type) {
    case ColumnType::kBoolean:
      return "Yes/No";
    case ColumnType::kByte:
      return "Byte";
    case ColumnType::kInteger:
      return "Integer";
    case ColumnType::kLong:
      return "Long";
    case ColumnType::kCurrency:
      return "Currency";
    case ColumnType::kSingle:
      return "Single";
    case ColumnType::kDouble:
      return "Double";
    case ColumnType::kDateTime:
      return "Date/Time";
    case ColumnType::kBinary:
      return "Binary";
    case ColumnType::kText:
      return "Text";
    case ColumnType::kOle:
      return "OLE";
    case ColumnType::kMemo:
      return "Memo";
    case ColumnType::kGuid:
      return "GUID";
    case ColumnType::kNumeric:
      return "Numeric";
  }
  return "type " + std::to_string(static_cast<int>(type));
}

template <typename T>
const T& Expect(const IndexKeyColumn& column, const Value& value) {
  if (const T* v = std::get_if<T>(&value)) return *v;
  throw FormatError("index key: a " + TypeName(column.type) +
                    " column was given a value of another type");
}

void Invert(Bytes& out, std::size_t from) {
  for (std::size_t i = from; i < out.size(); ++i) out[i] = static_cast<std::uint8_t>(~out[i]);
}

// Big-endian bits of a two's complement number with the sign flipped: bytewise order is numeric.
void AppendSigned(std::uint64_t bits, int bytes, Bytes& out) {
  bits ^= std::uint64_t{1} << (bytes * 8 - 1);
  for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(bits >> (i * 8)));
}

// IEEE bits: the sign bit flipped for positive numbers, every bit inverted for negative ones.
void AppendFloating(std::uint64_t bits, int bytes, Bytes& out) {
  const std::uint64_t sign = std::uint64_t{1} << (bytes * 8 - 1);
  const std::uint64_t mask = bytes == 8 ? ~std::uint64_t{0} : (sign << 1) - 1;
  bits = (bits & sign) ? (~bits & mask) : (bits ^ sign);
  for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(bits >> (i * 8)));
}

// Bytes in groups of 8, each followed by its length, or 9 when another group follows. A
// descending key inverts everything but the 9s between groups.
void AppendGrouped(const Bytes& data, bool ascending, Bytes& out) {
  std::size_t pos = 0;
  while (data.size() - pos > 8) {
    const std::size_t from = out.size();
    out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(pos),
               data.begin() + static_cast<std::ptrdiff_t>(pos + 8));
    if (!ascending) Invert(out, from);
    out.push_back(9);
    pos += 8;
  }
  const std::size_t rest = data.size() - pos;
  if (rest == 0) return;
  const std::size_t from = out.size();
  out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(pos), data.end());
  out.insert(out.end(), 8 - rest, 0);
  out.push_back(static_cast<std::uint8_t>(rest));
  if (!ascending) Invert(out, from);
}

// A GUID as a row stores it has its first three fields little-endian; keys hold them big-endian,
// so that the key follows the GUID's written form.
Bytes GuidInWrittenOrder(const Bytes& stored) {
  if (stored.size() != kGuidSize) {
    throw FormatError("index key: a GUID has 16 bytes, not " + std::to_string(stored.size()));
  }
  Bytes guid = stored;
  std::swap(guid[0], guid[3]);
  std::swap(guid[1], guid[2]);
  std::swap(guid[4], guid[5]);
  std::swap(guid[6], guid[7]);
  return guid;
}

}  // namespace

void AppendIndexKeyColumn(const IndexKeyColumn& column, const Value& value, Bytes& out) {
  const bool asc = column.ascending;
  if (column.type == ColumnType::kBoolean) {
    // Yes/No has no Null of its own: a missing value is No.
    const bool yes = IsNull(value) ? false : Expect<bool>(column, value);
    out.push_back(asc ? kAscendingStart : kDescendingStart);
    const std::uint8_t code = yes ? kAscendingYes : kAscendingNo;
    out.push_back(asc ? code : static_cast<std::uint8_t>(~code));
    return;
  }
  if (column.type == ColumnType::kOle || column.type == ColumnType::kNumeric) {
    throw FormatError("index key: " + TypeName(column.type) + " columns cannot be indexed here");
  }
  if (IsNull(value)) {
    out.push_back(asc ? kAscendingNull : kDescendingNull);
    return;
  }
  out.push_back(asc ? kAscendingStart : kDescendingStart);
  const std::size_t from = out.size();
  switch (column.type) {
    case ColumnType::kByte:
      out.push_back(Expect<std::uint8_t>(column, value));
      break;
    case ColumnType::kInteger:
      AppendSigned(static_cast<std::uint16_t>(Expect<std::int16_t>(column, value)), 2, out);
      break;
    case ColumnType::kLong:
      AppendSigned(static_cast<std::uint32_t>(Expect<std::int32_t>(column, value)), 4, out);
      break;
    case ColumnType::kCurrency:
      AppendSigned(static_cast<std::uint64_t>(Expect<Currency>(column, value).ten_thousandths), 8,
                   out);
      break;
    case ColumnType::kSingle:
      AppendFloating(std::bit_cast<std::uint32_t>(Expect<float>(column, value)), 4, out);
      break;
    case ColumnType::kDouble:
      AppendFloating(std::bit_cast<std::uint64_t>(Expect<double>(column, value)), 8, out);
      break;
    case ColumnType::kDateTime:
      AppendFloating(std::bit_cast<std::uint64_t>(Expect<DateTime>(column, value).ole), 8, out);
      break;
    case ColumnType::kText:
    case ColumnType::kMemo:
      // The text carries its own order handling (its last byte is not inverted).
      AppendGeneralSortKey(Expect<std::u16string>(column, value), asc, out);
      return;
    case ColumnType::kGuid:
      AppendGrouped(GuidInWrittenOrder(Expect<Bytes>(column, value)), asc, out);
      return;
    case ColumnType::kBinary:
      AppendGrouped(Expect<Bytes>(column, value), asc, out);
      return;
    default:
      throw FormatError("index key: " + TypeName(column.type) + " columns cannot be indexed here");
  }
  if (!asc) Invert(out, from);
}

Bytes MakeIndexKey(std::span<const IndexKeyColumn> columns, std::span<const Value> values) {
  if (columns.size() != values.size()) {
    throw FormatError("index key: " + std::to_string(columns.size()) + " columns but " +
                      std::to_string(values.size()) + " values");
  }
  Bytes key;
  for (std::size_t i = 0; i < columns.size(); ++i) AppendIndexKeyColumn(columns[i], values[i], key);
  return key;
}

}  // namespace cs::jetfile
