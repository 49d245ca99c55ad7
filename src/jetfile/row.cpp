#include "jetfile/row.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string>

#include "jetfile/text_codec.h"

namespace cs::jetfile {

namespace {

std::string Label(const ColumnDefinition& c) {
  std::string name;
  for (char16_t ch : c.name) name.push_back(ch < 0x80 ? static_cast<char>(ch) : '?');
  return "column " + name;
}

template <typename T>
T Load(const std::uint8_t* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  if constexpr (std::endian::native == std::endian::big) {
    auto* b = reinterpret_cast<std::uint8_t*>(&v);
    std::reverse(b, b + sizeof v);
  }
  return v;
}

template <typename T>
void Store(Bytes& out, T v) {
  std::size_t at = out.size();
  out.resize(at + sizeof v);
  std::memcpy(out.data() + at, &v, sizeof v);
  if constexpr (std::endian::native == std::endian::big) {
    std::reverse(out.begin() + static_cast<std::ptrdiff_t>(at), out.end());
  }
}

Value DecodeField(const ColumnDefinition& c, std::span<const std::uint8_t> data) {
  std::size_t size = FixedSizeOf(c.type);
  if (size != 0 && data.size() != size) {
    throw FormatError(Label(c) + ": " + std::to_string(data.size()) + " bytes where its type has " +
                      std::to_string(size));
  }
  const std::uint8_t* p = data.data();
  switch (c.type) {
    case ColumnType::kByte:
      return p[0];
    case ColumnType::kInteger:
      return Load<std::int16_t>(p);
    case ColumnType::kLong:
      return Load<std::int32_t>(p);
    case ColumnType::kCurrency:
      return Currency{Load<std::int64_t>(p)};
    case ColumnType::kSingle:
      return Load<float>(p);
    case ColumnType::kDouble:
      return Load<double>(p);
    case ColumnType::kDateTime:
      return DateTime{Load<double>(p)};
    case ColumnType::kText:
      return DecodeText(data);
    default:
      return Bytes(data.begin(), data.end());
  }
}

[[noreturn]] void WrongType(const ColumnDefinition& c) {
  throw FormatError(Label(c) + ": the value is not of the column's type (" +
                    std::to_string(static_cast<int>(c.type)) + ")");
}

template <typename T>
const T& As(const ColumnDefinition& c, const Value& v) {
  const T* p = std::get_if<T>(&v);
  if (p == nullptr) WrongType(c);
  return *p;
}

// Appends the bytes of a non-Null value that is not a long value to `out`.
void AppendField(const ColumnDefinition& c, const Value& v, Bytes& out) {
  std::size_t start = out.size();
  switch (c.type) {
    case ColumnType::kByte:
      out.push_back(As<std::uint8_t>(c, v));
      break;
    case ColumnType::kInteger:
      Store(out, As<std::int16_t>(c, v));
      break;
    case ColumnType::kLong:
      Store(out, As<std::int32_t>(c, v));
      break;
    case ColumnType::kCurrency:
      Store(out, As<Currency>(c, v).ten_thousandths);
      break;
    case ColumnType::kSingle:
      Store(out, As<float>(c, v));
      break;
    case ColumnType::kDouble:
      Store(out, As<double>(c, v));
      break;
    case ColumnType::kDateTime:
      Store(out, As<DateTime>(c, v).ole);
      break;
    case ColumnType::kText: {
      const std::u16string& text = As<std::u16string>(c, v);
      if (text.size() * 2 > c.length) {
        throw FormatError(Label(c) + ": text of " + std::to_string(text.size()) +
                          " characters is longer than its " + std::to_string(c.length / 2));
      }
      if (c.IsFixed() && text.size() * 2 != c.length) {
        // It would read back padded with NUL characters.
        throw FormatError(Label(c) + ": a fixed-length text column takes exactly " +
                          std::to_string(c.length / 2) + " characters");
      }
      // A fixed text column has no room for a marker; it is always stored plain.
      AppendText(text, c.IsCompressedUnicode() && !c.IsFixed(), out);
      break;
    }
    default: {
      const Bytes& bytes = As<Bytes>(c, v);
      std::size_t size = FixedSizeOf(c.type);
      if ((size != 0 && bytes.size() != size) || (size == 0 && bytes.size() > c.length) ||
          (c.IsFixed() && bytes.size() != c.length)) {
        throw FormatError(Label(c) + ": " + std::to_string(bytes.size()) +
                          " bytes do not fit the column's " + std::to_string(c.length));
      }
      out.insert(out.end(), bytes.begin(), bytes.end());
      break;
    }
  }
  if (c.IsFixed() && out.size() - start > c.length) {
    throw FormatError(Label(c) + ": " + std::to_string(out.size() - start) +
                      " bytes do not fit its fixed length " + std::to_string(c.length));
  }
}

}  // namespace

std::vector<Value> DecodeRow(const TableDefinition& def, std::span<const std::uint8_t> row) {
  if (row.size() < 2) throw FormatError("row of " + std::to_string(row.size()) + " bytes");
  std::size_t column_count = GetU16(row.data());
  std::size_t mask_size = (column_count + 7) / 8;
  if (2 + mask_size > row.size()) {
    throw FormatError("row of " + std::to_string(row.size()) +
                      " bytes cannot hold the null mask of " + std::to_string(column_count) +
                      " columns");
  }
  const std::uint8_t* mask = row.data() + row.size() - mask_size;
  auto present = [&](std::uint16_t number) {
    return number < column_count && (mask[number / 8] & (1u << (number % 8))) != 0;
  };
  // The fixed area and variable data end where the trailer begins.
  std::size_t data_end = row.size() - mask_size;
  std::vector<std::uint16_t> offsets;  // variable entries, then the end of data
  if (def.variable_column_count > 0) {
    if (data_end < 4) throw FormatError("row too short for its variable-column table");
    std::size_t var_count = GetU16(row.data() + data_end - 2);
    if (2 * var_count + 4 > data_end - 2) {
      throw FormatError("row of " + std::to_string(row.size()) + " bytes cannot hold " +
                        std::to_string(var_count) + " variable offsets");
    }
    std::size_t table_start = data_end - 4 - 2 * var_count;
    offsets.resize(var_count + 1);
    for (std::size_t i = 0; i <= var_count; ++i) {
      offsets[i] = GetU16(row.data() + data_end - 4 - 2 * i);
    }
    for (std::size_t i = 0; i <= var_count; ++i) {
      if (offsets[i] < 2 || offsets[i] > table_start || (i > 0 && offsets[i] < offsets[i - 1])) {
        throw FormatError("row: variable offset " + std::to_string(i) + " (" +
                          std::to_string(offsets[i]) + ") lies outside 2.." +
                          std::to_string(table_start) + " or before the one before it");
      }
    }
    data_end = table_start;
  }
  std::vector<Value> values;
  values.reserve(def.columns.size());
  for (const ColumnDefinition& c : def.columns) {
    if (c.type == ColumnType::kBoolean) {
      values.emplace_back(present(c.number));
      continue;
    }
    if (!present(c.number)) {
      values.emplace_back();
      continue;
    }
    if (c.IsFixed()) {
      std::size_t begin = 2 + std::size_t{c.fixed_offset};
      if (begin + c.length > data_end) {
        throw FormatError(Label(c) + ": fixed value at " + std::to_string(begin) + ".." +
                          std::to_string(begin + c.length) + " runs past the row's data (" +
                          std::to_string(data_end) + ")");
      }
      values.push_back(DecodeField(c, row.subspan(begin, c.length)));
      continue;
    }
    if (offsets.empty() || std::size_t{c.variable_index} + 1 >= offsets.size()) {
      values.emplace_back();  // the row predates the column
      continue;
    }
    std::size_t begin = offsets[c.variable_index];
    std::size_t end = offsets[c.variable_index + 1];
    values.push_back(DecodeField(c, row.subspan(begin, end - begin)));
  }
  return values;
}

Bytes EncodeRow(const TableDefinition& def, std::span<const Value> values, LongValueStore* store) {
  if (values.size() != def.columns.size()) {
    throw FormatError("row of " + std::to_string(values.size()) + " values for " +
                      std::to_string(def.columns.size()) + " columns");
  }
  std::size_t mask_size = (std::size_t{def.max_columns} + 7) / 8;
  Bytes mask(mask_size, 0);
  auto mark = [&](const ColumnDefinition& c) {
    if (c.number >= def.max_columns) {
      throw FormatError(Label(c) + ": number " + std::to_string(c.number) + " past the table's " +
                        std::to_string(def.max_columns) + " columns");
    }
    mask[c.number / 8] = static_cast<std::uint8_t>(mask[c.number / 8] | (1u << (c.number % 8)));
  };

  Bytes row;
  row.reserve(256);
  Store(row, def.max_columns);
  std::size_t fixed_end = 2;
  Bytes scratch;
  scratch.reserve(32);
  std::vector<std::size_t> variable;  // positions in def.columns, by variable index
  for (std::size_t i = 0; i < def.columns.size(); ++i) {
    const ColumnDefinition& c = def.columns[i];
    const Value& v = values[i];
    if (c.type == ColumnType::kBoolean) {
      if (!IsNull(v) && As<bool>(c, v)) mark(c);
      continue;
    }
    if (!c.IsFixed()) {
      variable.push_back(i);
      continue;
    }
    std::size_t begin = 2 + std::size_t{c.fixed_offset};
    std::size_t end = begin + c.length;
    if (end > kMaxRowSize) throw FormatError(Label(c) + ": fixed area past the row's room");
    if (row.size() < end) row.resize(end, 0);
    fixed_end = std::max(fixed_end, end);
    if (IsNull(v)) continue;
    scratch.clear();
    AppendField(c, v, scratch);
    std::copy(scratch.begin(), scratch.end(), row.begin() + static_cast<std::ptrdiff_t>(begin));
    mark(c);
  }
  row.resize(fixed_end);

  if (def.variable_column_count > 0) {
    std::sort(variable.begin(), variable.end(), [&](std::size_t a, std::size_t b) {
      return def.columns[a].variable_index < def.columns[b].variable_index;
    });
    std::size_t var_count = def.variable_column_count;
    std::size_t trailer = mask_size + 4 + 2 * var_count;
    // What the variable data may take, with 12 bytes set aside for each long value still to
    // come so that an early value cannot starve a later one of its reference.
    std::ptrdiff_t room = static_cast<std::ptrdiff_t>(kMaxRowSize) -
                          static_cast<std::ptrdiff_t>(row.size() + trailer);
    for (std::size_t i : variable) {
      if (def.columns[i].IsLongValue() && !IsNull(values[i])) {
        room -= static_cast<std::ptrdiff_t>(kLongValueReferenceSize);
      }
    }
    std::vector<std::uint16_t> offsets(var_count, 0);
    std::size_t next_entry = 0;
    for (std::size_t i : variable) {
      const ColumnDefinition& c = def.columns[i];
      const Value& v = values[i];
      if (c.variable_index >= var_count) {
        throw FormatError(Label(c) + ": variable index " + std::to_string(c.variable_index) +
                          " past the table's " + std::to_string(var_count));
      }
      std::size_t offset = row.size();
      if (!IsNull(v)) {
        std::size_t before = row.size();
        if (c.IsLongValue()) {
          Bytes field;
          if (store != nullptr) {
            auto left = static_cast<std::size_t>(std::max<std::ptrdiff_t>(room, 0));
            field = c.type == ColumnType::kMemo
                        ? store->Store(
                              EncodeText(As<std::u16string>(c, v), c.IsCompressedUnicode()), left)
                        : store->Store(As<Bytes>(c, v), left);
          } else {
            field = As<Bytes>(c, v);
            if (field.size() < kLongValueReferenceSize) {
              throw FormatError(Label(c) + ": a long-value field of " +
                                std::to_string(field.size()) +
                                " bytes is shorter than its reference");
            }
          }
          room += static_cast<std::ptrdiff_t>(kLongValueReferenceSize);
          row.insert(row.end(), field.begin(), field.end());
        } else {
          AppendField(c, v, row);
        }
        room -= static_cast<std::ptrdiff_t>(row.size() - before);
        if (room < 0) {
          throw FormatError("the row is larger than the " + std::to_string(kMaxRowSize) +
                            " bytes a page holds (at " + Label(c) + ")");
        }
        mark(c);
      }
      while (next_entry <= c.variable_index)
        offsets[next_entry++] = static_cast<std::uint16_t>(offset);
    }
    while (next_entry < var_count) offsets[next_entry++] = static_cast<std::uint16_t>(row.size());
    Store(row, static_cast<std::uint16_t>(row.size()));  // end of data
    for (std::size_t i = var_count; i-- > 0;) Store(row, offsets[i]);
    Store(row, static_cast<std::uint16_t>(var_count));
  } else if (!variable.empty()) {
    throw FormatError("the table has variable columns but no variable-offset table");
  }
  row.insert(row.end(), mask.begin(), mask.end());
  if (row.size() > kMaxRowSize) {
    throw FormatError("the row of " + std::to_string(row.size()) + " bytes is larger than the " +
                      std::to_string(kMaxRowSize) + " bytes a page holds");
  }
  return row;
}

}  // namespace cs::jetfile
