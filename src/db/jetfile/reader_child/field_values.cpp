#include "db/jetfile/reader_child/field_values.h"

#include <span>

#include "db/jetfile/table_definition.h"
#include "db/jetfile/values.h"

namespace cs::db::jetfile::reader_child {

namespace {

constexpr int kLongValueHeader = 12;

// The whole of a Memo or OLE value: kept in the row when short, else in one row of another page
// or in a chain of such rows, each beginning with the page and row of the next. The 12 bytes in
// the row hold the length (24 bits), its kind (0x80 in the row, 0x40 one other page, 0x00 a
// chain) and the page and row where it begins.
std::string ReadLongValue(MdbHandle* mdb, const unsigned char* field, int size,
                          const Where& where) {
  if (size < kLongValueHeader) throw ReadError("short long-value header in " + where.Text());
  const std::uint32_t head = Le32(field);
  const std::uint32_t length = head & 0x00FFFFFF;
  const std::uint32_t kind = head >> 24;
  if (kind == 0x80) {
    if (static_cast<std::uint32_t>(size - kLongValueHeader) != length) {
      throw ReadError("long value length mismatch in " + where.Text());
    }
    return std::string(reinterpret_cast<const char*>(field + kLongValueHeader), length);
  }
  if (kind != 0x40 && kind != 0x00) throw ReadError("unknown long value kind in " + where.Text());
  std::string out;
  int pg_row = static_cast<int>(Le32(field + 4));
  while (out.size() < length) {
    void* buf = nullptr;
    int offset = 0;
    std::size_t row_length = 0;
    if (pg_row == 0 || mdb_find_pg_row(mdb, pg_row, &buf, &offset, &row_length) != 0 ||
        offset < 0 || offset + row_length > static_cast<std::size_t>(mdb->fmt->pg_size)) {
      throw ReadError("long value page missing in " + where.Text());
    }
    const auto* row = static_cast<const unsigned char*>(buf) + offset;
    if (kind == 0x40) {
      if (row_length < length)
        throw ReadError("long value shorter than its length in " + where.Text());
      out.assign(reinterpret_cast<const char*>(row), length);
      break;
    }
    if (row_length <= 4 || row_length - 4 > length - out.size()) {
      throw ReadError("long value pages do not add up in " + where.Text());
    }
    pg_row = static_cast<int>(Le32(row));
    out.append(reinterpret_cast<const char*>(row + 4), row_length - 4);
  }
  return out;
}

// The length of UTF-8 text in the units a Text column's size counts: UTF-16 code units (a
// character beyond U+FFFF takes two), one a byte in Jet 3's single-byte text.
std::size_t Utf16Length(const std::string& utf8) {
  std::size_t units = 0;
  for (const char c : utf8) {
    const auto b = static_cast<unsigned char>(c);
    if ((b & 0xC0) != 0x80) units += b >= 0xF0 ? 2 : 1;
  }
  return units;
}

std::string DecodeText(std::span<const std::uint8_t> bytes, bool jet4, const Where& where) {
  auto text = cs::db::jetfile::TextToUtf8(bytes, jet4);
  if (!text) throw ReadError("text that does not decode in " + where.Text());
  return std::move(*text);
}

}  // namespace

void WriteValue(MdbHandle* mdb, const MdbColumn* col, const MdbField& field, bool jet4,
                const Where& where, wire::Writer& w) {
  const int type = col->col_type;
  if (type == static_cast<int>(JetType::kYesNo)) {
    // Yes/No lives in the row's null mask: a set bit is Yes.
    w.U8(1);
    w.I64(field.is_null ? 0 : -1);
    return;
  }
  if (field.is_null) {
    w.U8(0);
    return;
  }
  const auto* p = static_cast<const unsigned char*>(field.value);
  if (field.siz < 0 || (field.siz > 0 && p == nullptr))
    throw ReadError("bad field in " + where.Text());
  const std::span<const std::uint8_t> bytes(p, static_cast<std::size_t>(field.siz));
  // Yes/No has left above: its value is no field.
  const int fixed = cs::db::jetfile::TypeSize(static_cast<std::uint8_t>(type));
  if (fixed != 0 && field.siz != fixed)
    throw ReadError("field of the wrong size in " + where.Text());
  w.U8(1);
  switch (static_cast<JetType>(type)) {
    case JetType::kByte:
      w.I64(p[0]);
      break;
    case JetType::kInteger:
      w.I64(Raw<std::int16_t>(p));
      break;
    case JetType::kLong:
      w.I64(Raw<std::int32_t>(p));
      break;
    case JetType::kCurrency:
      w.I64(Raw<std::int64_t>(p));
      break;
    case JetType::kSingle:
      w.F64(static_cast<double>(Raw<float>(p)));
      break;
    case JetType::kDouble:
    case JetType::kDateTime:
      w.F64(Raw<double>(p));
      break;
    case JetType::kText: {
      const std::string text = DecodeText(bytes, jet4, where);
      if (Utf16Length(text) > static_cast<std::size_t>(jet4 ? col->col_size / 2 : col->col_size))
        throw ReadError("text longer than its column in " + where.Text());
      w.String(text);
      break;
    }
    case JetType::kMemo: {
      const std::string raw = ReadLongValue(mdb, p, field.siz, where);
      w.String(DecodeText(std::span(reinterpret_cast<const std::uint8_t*>(raw.data()), raw.size()),
                          jet4, where));
      break;
    }
    case JetType::kOle:
      w.String(ReadLongValue(mdb, p, field.siz, where));
      break;
    case JetType::kGuid:
      w.String(cs::db::jetfile::GuidText(bytes.first<16>()));
      break;
    case JetType::kDecimal: {
      const auto text = cs::db::jetfile::DecimalText(bytes.first<17>(), col->col_scale);
      if (!text) throw ReadError("decimal that does not decode in " + where.Text());
      w.String(*text);
      break;
    }
    default:
      w.String(std::string_view(reinterpret_cast<const char*>(p), bytes.size()));
      break;
  }
}

}  // namespace cs::db::jetfile::reader_child
