#include "jetfile/table_definition.h"

#include <algorithm>
#include <set>

namespace cs::jetfile {

namespace {

constexpr std::size_t kLengthOffset = 0x08;
constexpr std::size_t kTableBlockSize = 0x3F;
constexpr std::size_t kRealIndexBlockSize = 12;
constexpr std::size_t kColumnSize = 25;
constexpr std::size_t kRealIndexSize = 52;
constexpr std::size_t kLogicalIndexSize = 28;
constexpr std::uint16_t kLongValueListEnd = 0xFFFF;
// Counts beyond these cannot come from a sound definition that fits its pages; refusing them
// early keeps a damaged count from asking for unbounded memory.
constexpr std::uint32_t kMaxColumns = 255;
constexpr std::uint32_t kMaxIndexes = 1000;

// Reads fields in order from a definition, refusing to step past its end.
class Cursor {
 public:
  Cursor(std::span<const std::uint8_t> data, std::size_t pos) : data_(data), pos_(pos) {}

  const std::uint8_t* Take(std::size_t n, const char* what) {
    if (n > data_.size() || pos_ > data_.size() - n) {
      throw FormatError(std::string("table definition: ") + what + " at offset " +
                        std::to_string(pos_) + " runs past the definition's end (" +
                        std::to_string(data_.size()) + " bytes)");
    }
    const std::uint8_t* p = data_.data() + pos_;
    pos_ += n;
    return p;
  }
  std::uint8_t U8(const char* what) { return *Take(1, what); }
  std::uint16_t U16(const char* what) { return GetU16(Take(2, what)); }
  std::uint32_t U24(const char* what) { return GetU24(Take(3, what)); }
  std::uint32_t U32(const char* what) { return GetU32(Take(4, what)); }
  template <std::size_t N>
  std::array<std::uint8_t, N> Array(const char* what) {
    std::array<std::uint8_t, N> a{};
    const std::uint8_t* p = Take(N, what);
    std::copy(p, p + N, a.begin());
    return a;
  }
  UsageMapRef Map(const char* what) {
    UsageMapRef m;
    m.row = U8(what);
    m.page = U24(what);
    return m;
  }
  std::u16string Name(const char* what) {
    std::uint16_t bytes = U16(what);
    if (bytes % 2 != 0) {
      throw FormatError(std::string("table definition: ") + what + " at offset " +
                        std::to_string(pos_ - 2) + " has an odd byte length " +
                        std::to_string(bytes));
    }
    const std::uint8_t* p = Take(bytes, what);
    std::u16string s;
    s.reserve(bytes / 2);
    for (std::size_t i = 0; i < bytes; i += 2) s.push_back(static_cast<char16_t>(GetU16(p + i)));
    return s;
  }
  std::size_t Position() const { return pos_; }
  std::size_t Remaining() const { return data_.size() - pos_; }

 private:
  std::span<const std::uint8_t> data_;
  std::size_t pos_;
};

// Appends fields in the stored order.
class Writer {
 public:
  explicit Writer(Bytes& out) : out_(out) {}
  void U8(std::uint8_t v) { out_.push_back(v); }
  void U16(std::uint16_t v) {
    std::uint8_t b[2];
    PutU16(b, v);
    out_.insert(out_.end(), b, b + 2);
  }
  void U24(std::uint32_t v) {
    std::uint8_t b[3];
    PutU24(b, v);
    out_.insert(out_.end(), b, b + 3);
  }
  void U32(std::uint32_t v) {
    std::uint8_t b[4];
    PutU32(b, v);
    out_.insert(out_.end(), b, b + 4);
  }
  template <std::size_t N>
  void Array(const std::array<std::uint8_t, N>& a) {
    out_.insert(out_.end(), a.begin(), a.end());
  }
  void Map(const UsageMapRef& m) {
    U8(m.row);
    U24(m.page);
  }
  void Name(const std::u16string& s) {
    if (s.size() > 0x7FFF) throw FormatError("table definition: a name is too long to store");
    U16(static_cast<std::uint16_t>(s.size() * 2));
    for (char16_t c : s) U16(static_cast<std::uint16_t>(c));
  }

 private:
  Bytes& out_;
};

}  // namespace

const ColumnDefinition* TableDefinition::FindColumn(std::uint16_t number) const {
  for (const ColumnDefinition& c : columns) {
    if (c.number == number) return &c;
  }
  return nullptr;
}

std::size_t FixedSizeOf(ColumnType type) {
  switch (type) {
    case ColumnType::kBoolean:
      return 0;
    case ColumnType::kByte:
      return 1;
    case ColumnType::kInteger:
      return 2;
    case ColumnType::kLong:
    case ColumnType::kSingle:
      return 4;
    case ColumnType::kCurrency:
    case ColumnType::kDouble:
    case ColumnType::kDateTime:
      return 8;
    case ColumnType::kGuid:
      return 16;
    case ColumnType::kNumeric:
      return 17;
    default:
      return 0;
  }
}

TableDefinition ParseTableDefinition(std::span<const std::uint8_t> joined) {
  if (joined.size() < kTableBlockSize) {
    throw FormatError("table definition: " + std::to_string(joined.size()) +
                      " bytes, shorter than its table block");
  }
  if (joined[0] != kTableDefinitionPageType) {
    throw FormatError("table definition: page type " + std::to_string(joined[0]) +
                      ", not a definition page");
  }
  std::uint32_t length = GetU32(joined.data() + kLengthOffset);
  if (length > joined.size() - kTableDefinitionHeaderSize ||
      length + kTableDefinitionHeaderSize < kTableBlockSize) {
    throw FormatError("table definition: stated length " + std::to_string(length) +
                      " does not fit its " + std::to_string(joined.size()) + " bytes");
  }
  Cursor in(joined.first(kTableDefinitionHeaderSize + length), 0x0C);
  TableDefinition def;
  def.header_byte1 = joined[1];
  def.unknown0c = in.U32("table block");
  def.row_count = in.U32("row count");
  def.next_autonumber = in.U32("next autonumber");
  def.autonumber_flag = in.U8("autonumber flag");
  def.unknown19 = in.Array<15>("table block");
  def.table_type = in.U8("table type");
  def.max_columns = in.U16("max columns");
  def.variable_column_count = in.U16("variable column count");
  std::uint16_t column_count = in.U16("column count");
  std::uint32_t logical_count = in.U32("logical index count");
  std::uint32_t real_count = in.U32("real index count");
  def.owned_pages = in.Map("owned-pages map");
  def.free_space_pages = in.Map("free-space map");
  if (column_count > kMaxColumns || real_count > kMaxIndexes || logical_count > kMaxIndexes) {
    throw FormatError("table definition: implausible counts: " + std::to_string(column_count) +
                      " columns, " + std::to_string(real_count) + " real and " +
                      std::to_string(logical_count) + " logical indexes");
  }
  // Each count is checked against the bytes left before anything is reserved for it.
  if (static_cast<std::size_t>(real_count) * kRealIndexBlockSize +
          static_cast<std::size_t>(column_count) * kColumnSize >
      in.Remaining()) {
    throw FormatError("table definition: " + std::to_string(column_count) + " columns and " +
                      std::to_string(real_count) + " real indexes run past its end");
  }
  def.real_indexes.resize(real_count);
  for (RealIndex& r : def.real_indexes) {
    r.block_unknown0 = in.U32("real index block");
    r.block_count = in.U32("real index block");
    r.block_unknown8 = in.U32("real index block");
  }
  def.columns.resize(column_count);
  for (ColumnDefinition& c : def.columns) {
    c.type = static_cast<ColumnType>(in.U8("column type"));
    c.unknown1 = in.U32("column");
    c.number = in.U16("column number");
    c.variable_index = in.U16("column variable index");
    c.unknown9 = in.U16("column");
    c.sort_order_or_precision = in.Array<2>("column sort order");
    c.unknown13 = in.U16("column");
    c.flags = in.U8("column flags");
    c.extended_flags = in.U8("column extended flags");
    c.unknown17 = in.U32("column");
    c.fixed_offset = in.U16("column fixed offset");
    c.length = in.U16("column length");
  }
  for (ColumnDefinition& c : def.columns) c.name = in.Name("column name");
  if (static_cast<std::size_t>(real_count) * kRealIndexSize +
          static_cast<std::size_t>(logical_count) * kLogicalIndexSize >
      in.Remaining()) {
    throw FormatError("table definition: " + std::to_string(real_count) + " real and " +
                      std::to_string(logical_count) + " logical indexes run past its end");
  }
  for (RealIndex& r : def.real_indexes) {
    r.unknown0 = in.U32("real index");
    for (IndexColumn& ic : r.columns) {
      ic.number = in.U16("real index column");
      ic.order = in.U8("real index order");
    }
    r.usage_map = in.Map("real index usage map");
    r.root_page = in.U32("real index root page");
    r.unknown42 = in.Array<4>("real index");
    r.flags = in.U8("real index flags");
    r.unknown47 = in.Array<5>("real index");
  }
  def.logical_indexes.resize(logical_count);
  for (LogicalIndex& l : def.logical_indexes) {
    l.unknown0 = in.U32("logical index");
    l.number = in.U32("logical index number");
    l.real_index = in.U32("logical index's real index");
    l.foreign_table_type = in.U8("logical index");
    l.foreign_index = static_cast<std::int32_t>(in.U32("logical index foreign index"));
    l.foreign_table = in.U32("logical index foreign table");
    l.cascade_updates = in.U8("logical index");
    l.cascade_deletes = in.U8("logical index");
    l.kind = in.U8("logical index kind");
    l.unknown24 = in.Array<4>("logical index");
  }
  for (LogicalIndex& l : def.logical_indexes) l.name = in.Name("logical index name");
  for (;;) {
    std::uint16_t column = in.U16("long-value map list");
    if (column == kLongValueListEnd) break;
    if (def.long_value_maps.size() >= column_count) {
      throw FormatError("table definition: more long-value map entries than columns");
    }
    LongValueMaps m;
    m.column = column;
    m.owned = in.Map("long-value owned map");
    m.free = in.Map("long-value free map");
    def.long_value_maps.push_back(m);
  }
  const std::uint8_t* rest = in.Take(in.Remaining(), "trailing bytes");
  def.trailing.assign(rest, joined.data() + kTableDefinitionHeaderSize + length);
  return def;
}

Bytes SerializeTableDefinition(const TableDefinition& def) {
  if (def.columns.size() > kMaxColumns || def.real_indexes.size() > kMaxIndexes ||
      def.logical_indexes.size() > kMaxIndexes) {
    throw FormatError("table definition: too many columns or indexes to store");
  }
  Bytes out;
  out.reserve(1024);
  Writer w(out);
  w.U8(kTableDefinitionPageType);
  w.U8(def.header_byte1);
  w.U16(0);
  w.U32(0);
  w.U32(0);  // length, filled in at the end
  w.U32(def.unknown0c);
  w.U32(def.row_count);
  w.U32(def.next_autonumber);
  w.U8(def.autonumber_flag);
  w.Array(def.unknown19);
  w.U8(def.table_type);
  w.U16(def.max_columns);
  w.U16(def.variable_column_count);
  w.U16(static_cast<std::uint16_t>(def.columns.size()));
  w.U32(static_cast<std::uint32_t>(def.logical_indexes.size()));
  w.U32(static_cast<std::uint32_t>(def.real_indexes.size()));
  w.Map(def.owned_pages);
  w.Map(def.free_space_pages);
  for (const RealIndex& r : def.real_indexes) {
    w.U32(r.block_unknown0);
    w.U32(r.block_count);
    w.U32(r.block_unknown8);
  }
  for (const ColumnDefinition& c : def.columns) {
    w.U8(static_cast<std::uint8_t>(c.type));
    w.U32(c.unknown1);
    w.U16(c.number);
    w.U16(c.variable_index);
    w.U16(c.unknown9);
    w.Array(c.sort_order_or_precision);
    w.U16(c.unknown13);
    w.U8(c.flags);
    w.U8(c.extended_flags);
    w.U32(c.unknown17);
    w.U16(c.fixed_offset);
    w.U16(c.length);
  }
  for (const ColumnDefinition& c : def.columns) w.Name(c.name);
  for (const RealIndex& r : def.real_indexes) {
    w.U32(r.unknown0);
    for (const IndexColumn& ic : r.columns) {
      w.U16(ic.number);
      w.U8(ic.order);
    }
    w.Map(r.usage_map);
    w.U32(r.root_page);
    w.Array(r.unknown42);
    w.U8(r.flags);
    w.Array(r.unknown47);
  }
  for (const LogicalIndex& l : def.logical_indexes) {
    w.U32(l.unknown0);
    w.U32(l.number);
    w.U32(l.real_index);
    w.U8(l.foreign_table_type);
    w.U32(static_cast<std::uint32_t>(l.foreign_index));
    w.U32(l.foreign_table);
    w.U8(l.cascade_updates);
    w.U8(l.cascade_deletes);
    w.U8(l.kind);
    w.Array(l.unknown24);
  }
  for (const LogicalIndex& l : def.logical_indexes) w.Name(l.name);
  for (const LongValueMaps& m : def.long_value_maps) {
    w.U16(m.column);
    w.Map(m.owned);
    w.Map(m.free);
  }
  w.U16(kLongValueListEnd);
  out.insert(out.end(), def.trailing.begin(), def.trailing.end());
  PutU32(out.data() + kLengthOffset,
         static_cast<std::uint32_t>(out.size() - kTableDefinitionHeaderSize));
  return out;
}

}  // namespace cs::jetfile
