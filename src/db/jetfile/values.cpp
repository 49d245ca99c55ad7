#include "db/jetfile/values.h"

#include <cmath>
#include <cstdio>
#include <vector>

#include "platform/text.h"

namespace cs::db::jetfile {
namespace {

// UTF-16 code units to UTF-8, one at a time: a surrogate pair is held until its second half
// comes. False for a lone surrogate.
class Utf16Decoder {
 public:
  explicit Utf16Decoder(std::string& out) : out_(out) {}
  bool Add(std::uint32_t u) {
    if (high_ != 0) {
      if (u < 0xDC00 || u > 0xDFFF) return false;
      platform::AppendUtf8(out_, 0x10000 + ((high_ - 0xD800) << 10) + (u - 0xDC00u));
      high_ = 0;
    } else if (u < 0x80) {
      out_ += static_cast<char>(u);
    } else if (u >= 0xD800 && u <= 0xDBFF) {
      high_ = u;
    } else if (u >= 0xDC00 && u <= 0xDFFF) {
      return false;
    } else {
      platform::AppendUtf8(out_, u);
    }
    return true;
  }
  bool Done() const { return high_ == 0; }

 private:
  std::string& out_;
  std::uint32_t high_ = 0;
};

}  // namespace

ValueKind KindOf(std::uint8_t jet_type) {
  switch (static_cast<JetType>(jet_type)) {
    case JetType::kYesNo:
    case JetType::kByte:
    case JetType::kInteger:
    case JetType::kLong:
      return ValueKind::kInteger;
    case JetType::kSingle:
    case JetType::kDouble:
      return ValueKind::kReal;
    case JetType::kCurrency:
      return ValueKind::kCurrency;
    case JetType::kDateTime:
      return ValueKind::kDateTime;
    case JetType::kText:
    case JetType::kMemo:
    case JetType::kGuid:
    case JetType::kDecimal:
      return ValueKind::kText;
    default:
      return ValueKind::kBinary;
  }
}

std::string Windows1252ToUtf8(std::span<const std::uint8_t> bytes) {
  return platform::AnsiToUtf8(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::optional<std::string> TextToUtf8(std::span<const std::uint8_t> bytes, bool jet4) {
  if (!jet4) return Windows1252ToUtf8(bytes);
  if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
    std::string out;
    out.reserve(bytes.size());
    Utf16Decoder decoder(out);
    bool compressed = true;
    std::size_t i = 2;
    while (i < bytes.size()) {
      if (bytes[i] == 0) {
        compressed = !compressed;
        ++i;
      } else if (compressed) {
        if (!decoder.Add(bytes[i])) return std::nullopt;
        ++i;
      } else {
        if (i + 1 >= bytes.size() || !decoder.Add(static_cast<std::uint32_t>(bytes[i] | (bytes[i + 1] << 8)))) {
          return std::nullopt;
        }
        i += 2;
      }
    }
    if (!decoder.Done()) return std::nullopt;
    return out;
  }
  return Utf16LeToUtf8(bytes);
}

std::optional<std::string> Utf16LeToUtf8(std::span<const std::uint8_t> bytes) {
  if (bytes.size() % 2 != 0) return std::nullopt;
  std::string out;
  out.reserve(bytes.size() / 2);
  Utf16Decoder decoder(out);
  for (std::size_t i = 0; i < bytes.size(); i += 2) {
    if (!decoder.Add(static_cast<std::uint32_t>(bytes[i] | (bytes[i + 1] << 8)))) return std::nullopt;
  }
  if (!decoder.Done()) return std::nullopt;
  return out;
}

bool IsUtf8(std::string_view bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t n = bytes.size();
  std::size_t i = 0;
  while (i < n) {
    const unsigned char c = p[i];
    if (c < 0x80) {
      ++i;
      continue;
    }
    std::size_t len = 0;
    std::uint32_t cp = 0;
    if (c >= 0xC2 && c <= 0xDF) {
      len = 2;
      cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      len = 3;
      cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      len = 4;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (i + len > n) return false;
    for (std::size_t k = 1; k < len; ++k) {
      if ((p[i + k] & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (p[i + k] & 0x3F);
    }
    if ((len == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
        (len == 4 && (cp < 0x10000 || cp > 0x10FFFF))) {
      return false;
    }
    i += len;
  }
  return true;
}

std::optional<std::string> DateTimeText(double days) {
  // Jet's range: 1 January 100 (day -657434) to 31 December 9999 (day 2958465).
  if (!std::isfinite(days) || days <= -657435.0 || days >= 2958466.0) return std::nullopt;
  const double whole = std::trunc(days);
  const auto seconds_of_day =
      static_cast<std::int64_t>(std::llround(std::fabs(days - whole) * 86400.0));
  const std::int64_t total = static_cast<std::int64_t>(whole) * 86400 + seconds_of_day;
  std::int64_t day = total / 86400;
  std::int64_t second = total % 86400;
  if (second < 0) {
    second += 86400;
    --day;
  }
  // Days since 1899-12-30 to a civil date (the proleptic Gregorian calendar Jet uses).
  std::int64_t z = day - 25569 + 719468;  // 1899-12-30 is 25569 days before 1970-01-01
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  const std::int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const std::int64_t m = mp < 10 ? mp + 3 : mp - 9;
  const std::int64_t y = yoe + era * 400 + (m <= 2 ? 1 : 0);
  if (y < 100 || y > 9999) return std::nullopt;
  // "YYYY-MM-DD HH:MM:SS", written digit by digit: every date of a table read passes here.
  std::string text = "0000-00-00 00:00:00";
  const auto put = [&text](std::size_t end, std::int64_t value, int digits) {
    for (int k = 0; k < digits; ++k, value /= 10) text[end - static_cast<std::size_t>(k)] = static_cast<char>('0' + value % 10);
  };
  put(3, y, 4);
  put(6, m, 2);
  put(9, d, 2);
  put(12, second / 3600, 2);
  put(15, second / 60 % 60, 2);
  put(18, second % 60, 2);
  return text;
}

std::optional<double> DateTimeDays(std::string_view text) {
  if (text.size() != 10 && text.size() != 19) return std::nullopt;
  int field[6] = {0, 0, 0, 0, 0, 0};
  const char* shape = "dddd-dd-dd dd:dd:dd";
  int n = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (shape[i] == 'd') {
      if (text[i] < '0' || text[i] > '9') return std::nullopt;
      field[n] = field[n] * 10 + (text[i] - '0');
    } else if (text[i] != shape[i]) {
      return std::nullopt;
    } else {
      ++n;
    }
  }
  const int y = field[0], m = field[1], d = field[2], hh = field[3], mm = field[4], ss = field[5];
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  if (y < 100 || m < 1 || m > 12 || d < 1 || d > kDays[m - 1] + (m == 2 && leap ? 1 : 0) ||
      hh > 23 || mm > 59 || ss > 59) {
    return std::nullopt;
  }
  // A civil date to days since 1970-01-01 (the proleptic Gregorian calendar), then to Jet's days.
  const std::int64_t yy = y - (m <= 2 ? 1 : 0);
  const std::int64_t era = (yy >= 0 ? yy : yy - 399) / 400;
  const std::int64_t yoe = yy - era * 400;
  const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const std::int64_t day = era * 146097 + doe - 719468 + 25569;
  const double time = (hh * 3600 + mm * 60 + ss) / 86400.0;
  return day >= 0 ? static_cast<double>(day) + time : static_cast<double>(day) - time;
}

std::string CurrencyText(std::int64_t ten_thousandths) {
  const bool negative = ten_thousandths < 0;
  // The magnitude of the most negative value does not fit a signed 64-bit integer.
  const std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(ten_thousandths)
                                           : static_cast<std::uint64_t>(ten_thousandths);
  char frac[8];
  std::snprintf(frac, sizeof frac, "%04u", static_cast<unsigned>(magnitude % 10000));
  return (negative ? "-" : "") + std::to_string(magnitude / 10000) + "." + frac;
}

double CurrencyToDouble(std::int64_t ten_thousandths) {
  return static_cast<double>(ten_thousandths) / 10000.0;
}

std::string GuidText(std::span<const std::uint8_t, 16> b) {
  char buf[40];
  std::snprintf(buf, sizeof buf,
                "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", b[3],
                b[2], b[1], b[0], b[5], b[4], b[7], b[6], b[8], b[9], b[10], b[11], b[12], b[13],
                b[14], b[15]);
  return buf;
}

std::optional<std::string> DecimalText(std::span<const std::uint8_t, 17> bytes, int scale) {
  if (scale < 0 || scale > 28) return std::nullopt;
  unsigned __int128 magnitude = 0;
  for (int word = 0; word < 4; ++word) {
    std::uint32_t w = 0;
    for (int k = 3; k >= 0; --k) w = (w << 8) | bytes[1 + word * 4 + k];
    magnitude = (magnitude << 32) | w;
  }
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(magnitude % 10)));
    magnitude /= 10;
  } while (magnitude != 0);
  if (static_cast<int>(digits.size()) <= scale) digits.insert(0, scale + 1 - digits.size(), '0');
  if (scale > 0) digits.insert(digits.size() - scale, ".");
  const bool zero = digits.find_first_not_of("0.") == std::string::npos;
  return ((bytes[0] & 0x80) && !zero ? "-" : "") + digits;
}

}  // namespace cs::db::jetfile
