#include "db/jetfile/wire.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace cs::db::jetfile::wire {
namespace {

// Reads the fields of one payload, refusing to read past its end.
class Cursor {
 public:
  explicit Cursor(std::string_view payload) : data_(payload) {}
  std::uint8_t U8() { return static_cast<std::uint8_t>(Take(1)[0]); }
  std::uint16_t U16() { return static_cast<std::uint16_t>(Le(Take(2))); }
  std::uint32_t U32() { return static_cast<std::uint32_t>(Le(Take(4))); }
  std::int64_t I64() { return static_cast<std::int64_t>(Le(Take(8))); }
  double F64() {
    const std::uint64_t bits = Le(Take(8));
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
  }
  std::string_view String() { return Take(U32()); }
  std::string_view Utf8(const char* what) {
    const std::string_view s = String();
    if (!IsUtf8(s)) throw Malformed(std::string(what) + " is not UTF-8");
    return s;
  }
  void ExpectEnd() const {
    if (position_ != data_.size()) throw Malformed("trailing bytes in a frame");
  }

 private:
  std::string_view Take(std::size_t n) {
    if (n > data_.size() - position_) throw Malformed("frame ends early");
    const std::string_view out = data_.substr(position_, n);
    position_ += n;
    return out;
  }
  static std::uint64_t Le(std::string_view bytes) {
    std::uint64_t v = 0;
    for (std::size_t i = bytes.size(); i-- > 0;)
      v = (v << 8) | static_cast<unsigned char>(bytes[i]);
    return v;
  }

  std::string_view data_;
  std::size_t position_ = 0;
};

// A name as the program can use it: not empty and without NUL characters.
std::string Name(Cursor& in, const char* what) {
  const std::string_view name = in.Utf8(what);
  if (name.empty() || name.size() > 1024 || name.find('\0') != std::string_view::npos) {
    throw Malformed(std::string(what) + " is empty or unusable");
  }
  return std::string(name);
}

// Letter case folded as SQLite compares names (ASCII letters only).
std::string FoldAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

void CheckInteger(std::int64_t v, std::uint8_t type) {
  bool ok = true;
  switch (static_cast<JetType>(type)) {
    case JetType::kYesNo:
      ok = v == 0 || v == -1;
      break;
    case JetType::kByte:
      ok = v >= 0 && v <= 255;
      break;
    case JetType::kInteger:
      ok = v >= std::numeric_limits<std::int16_t>::min() &&
           v <= std::numeric_limits<std::int16_t>::max();
      break;
    default:
      ok = v >= std::numeric_limits<std::int32_t>::min() &&
           v <= std::numeric_limits<std::int32_t>::max();
      break;
  }
  if (!ok) throw Malformed("integer out of its type's range");
}

}  // namespace

void Writer::Begin(FrameType type) {
  frame_start_ = buffer_.size();
  open_ = true;
  buffer_ += static_cast<char>(type);
  buffer_.append(4, '\0');
}

void Writer::U16(std::uint16_t v) {
  buffer_ += static_cast<char>(v & 0xFF);
  buffer_ += static_cast<char>(v >> 8);
}

void Writer::U32(std::uint32_t v) {
  for (int i = 0; i < 4; ++i) buffer_ += static_cast<char>((v >> (8 * i)) & 0xFF);
}

void Writer::I64(std::int64_t v) {
  const auto u = static_cast<std::uint64_t>(v);
  for (int i = 0; i < 8; ++i) buffer_ += static_cast<char>((u >> (8 * i)) & 0xFF);
}

void Writer::F64(double v) {
  std::uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  I64(static_cast<std::int64_t>(bits));
}

void Writer::String(std::string_view bytes) {
  U32(static_cast<std::uint32_t>(bytes.size()));
  buffer_.append(bytes);
}

void Writer::End() {
  const auto length = static_cast<std::uint32_t>(buffer_.size() - frame_start_ - kFrameHeaderBytes);
  for (int i = 0; i < 4; ++i)
    buffer_[frame_start_ + 1 + i] = static_cast<char>((length >> (8 * i)) & 0xFF);
  open_ = false;
}

void Writer::Abandon() {
  if (open_) buffer_.resize(frame_start_);
  open_ = false;
}

void FrameReader::Append(const char* data, std::size_t size) {
  if (consumed_ > 0 && consumed_ == buffer_.size()) {
    buffer_.clear();
    consumed_ = 0;
  } else if (consumed_ > (1u << 20) && consumed_ * 2 > buffer_.size()) {
    buffer_.erase(0, consumed_);
    consumed_ = 0;
  }
  // After an unusually large frame, give its memory back so that the reading stays small.
  if (buffer_.empty() && buffer_.capacity() > (8u << 20)) buffer_.shrink_to_fit();
  buffer_.append(data, size);
}

bool FrameReader::Next(FrameType& type, std::string_view& payload) {
  const std::size_t available = buffer_.size() - consumed_;
  if (available < kFrameHeaderBytes) return false;
  const auto* p = reinterpret_cast<const unsigned char*>(buffer_.data() + consumed_);
  switch (p[0]) {
    case 'H':
    case 'T':
    case 'R':
    case 'E':
    case 'Z':
    case 'X':
      break;
    default:
      throw Malformed("unknown frame type");
  }
  const std::uint32_t length =
      static_cast<std::uint32_t>(p[1]) | static_cast<std::uint32_t>(p[2]) << 8 |
      static_cast<std::uint32_t>(p[3]) << 16 | static_cast<std::uint32_t>(p[4]) << 24;
  if (length > kMaxPayload) throw Malformed("frame too large");
  if (available - kFrameHeaderBytes < length) return false;
  type = static_cast<FrameType>(p[0]);
  payload = std::string_view(buffer_).substr(consumed_ + kFrameHeaderBytes, length);
  consumed_ += kFrameHeaderBytes + length;
  return true;
}

void CheckHello(std::string_view payload) {
  Cursor in(payload);
  for (const char c : kMagic) {
    if (in.U8() != static_cast<std::uint8_t>(c)) throw Malformed("not a reader stream");
  }
  if (in.U16() != kVersion) throw Malformed("another version of the reader stream");
  in.ExpectEnd();
}

TableInfo DecodeTable(std::string_view payload) {
  Cursor in(payload);
  TableInfo table;
  table.name = Name(in, "table name");
  const std::size_t count = in.U16();
  if (count == 0 || count > kMaxColumns) throw Malformed("column count out of range");
  std::vector<std::string> folded;
  for (std::size_t i = 0; i < count; ++i) {
    ColumnInfo column;
    column.name = Name(in, "column name");
    column.jet_type = in.U8();
    column.size = in.U32();
    column.kind = KindOf(column.jet_type);
    if (column.jet_type == static_cast<std::uint8_t>(JetType::kText) &&
        (column.size < 1 || column.size > 255)) {
      throw Malformed("text column size out of range");
    }
    std::string f = FoldAscii(column.name);
    for (const auto& other : folded) {
      if (other == f) throw Malformed("two columns of the same name");
    }
    folded.push_back(std::move(f));
    table.columns.push_back(std::move(column));
  }
  const std::size_t keys = in.U16();
  if (keys > kMaxKeyColumns) throw Malformed("too many key columns");
  for (std::size_t i = 0; i < keys; ++i) {
    const std::size_t position = in.U16();
    if (position >= count) throw Malformed("key column out of range");
    for (const auto other : table.primary_key) {
      if (other == position) throw Malformed("key column named twice");
    }
    table.primary_key.push_back(position);
  }
  table.declared_rows = in.U32();
  in.ExpectEnd();
  return table;
}

void DecodeRow(std::string_view payload, const TableInfo& table, std::vector<std::string>& scratch,
               std::vector<FieldValue>& values) {
  Cursor in(payload);
  values.clear();
  scratch.resize(table.columns.size());
  for (std::size_t i = 0; i < table.columns.size(); ++i) {
    const ColumnInfo& column = table.columns[i];
    const std::uint8_t marker = in.U8();
    if (marker == 0) {
      if (column.jet_type == static_cast<std::uint8_t>(JetType::kYesNo))
        throw Malformed("Null Yes/No");
      values.emplace_back(std::monostate{});
      continue;
    }
    if (marker != 1) throw Malformed("bad value marker");
    switch (column.kind) {
      case ValueKind::kInteger: {
        const std::int64_t v = in.I64();
        CheckInteger(v, column.jet_type);
        values.emplace_back(v);
        break;
      }
      case ValueKind::kReal: {
        const double v = in.F64();
        if (std::isnan(v)) throw Malformed("not a number");
        if (column.jet_type == static_cast<std::uint8_t>(JetType::kSingle) && std::isfinite(v) &&
            static_cast<double>(static_cast<float>(v)) != v) {
          throw Malformed("a Single that is not one");
        }
        values.emplace_back(v);
        break;
      }
      case ValueKind::kCurrency:
        values.emplace_back(Currency{in.I64()});
        break;
      case ValueKind::kDateTime: {
        const double days = in.F64();
        auto text = DateTimeText(days);
        if (!text) throw Malformed("date out of range");
        scratch[i] = std::move(*text);
        values.emplace_back(DateTime{days, scratch[i]});
        break;
      }
      case ValueKind::kText:
        values.emplace_back(Text{in.Utf8("text")});
        break;
      case ValueKind::kBinary:
        values.emplace_back(Binary{in.String()});
        break;
    }
  }
  in.ExpectEnd();
}

std::uint32_t DecodeCount(std::string_view payload) {
  Cursor in(payload);
  const std::uint32_t count = in.U32();
  in.ExpectEnd();
  return count;
}

std::string DecodeFailure(std::string_view payload) {
  Cursor in(payload);
  std::string message(in.String().substr(0, 500));
  for (char& c : message) {
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) c = '?';
  }
  return message;
}

}  // namespace cs::db::jetfile::wire
