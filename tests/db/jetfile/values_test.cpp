// What Jet's bytes mean: dates, currency, text encodings, GUIDs and decimals.
#include "db/jetfile/values.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace cs::test {
namespace {

using namespace cs::db::jetfile;

std::vector<std::uint8_t> B(std::initializer_list<int> bytes) {
  std::vector<std::uint8_t> out;
  for (const int b : bytes) out.push_back(static_cast<std::uint8_t>(b));
  return out;
}

TEST(JetValues, DatesFromDaysSince1899) {
  const std::vector<std::pair<double, std::string>> cases = {
      {0.0, "1899-12-30 00:00:00"},
      {0.5, "1899-12-30 12:00:00"},
      {-0.5, "1899-12-30 12:00:00"},  // the fraction is the time, whatever the sign
      {-1.25, "1899-12-29 06:00:00"},
      {-18095.999988425926, "1850-06-15 23:59:59"},
      {1.0, "1899-12-31 00:00:00"},
      {39142.25982638889, "2007-03-01 06:14:09"},
      {39142.0 + 86399.9999 / 86400.0, "2007-03-02 00:00:00"},  // rounds up into the next day
      {-1.0 - 86399.9999 / 86400.0, "1899-12-30 00:00:00"},
      {60.0, "1900-02-28 00:00:00"},
      {61.0, "1900-03-01 00:00:00"},  // 1900 was no leap year
      {-657434.0, "0100-01-01 00:00:00"},
      {2958465.0 + 86399.0 / 86400.0, "9999-12-31 23:59:59"},
  };
  for (const auto& [days, text] : cases) EXPECT_EQ(DateTimeText(days), text) << days;
  for (const double bad :
       {-657435.0, 2958466.0, 2958465.99999999, 1e300, std::numeric_limits<double>::quiet_NaN(),
        std::numeric_limits<double>::infinity()}) {
    EXPECT_FALSE(DateTimeText(bad).has_value()) << bad;
  }
}

TEST(JetValues, CurrencyExactly) {
  const std::int64_t max = std::numeric_limits<std::int64_t>::max();
  const std::int64_t min = std::numeric_limits<std::int64_t>::min();
  const std::vector<std::pair<std::int64_t, std::string>> cases = {
      {0, "0.0000"},
      {5, "0.0005"},
      {-5, "-0.0005"},
      {199900, "19.9900"},
      {-12345678, "-1234.5678"},
      {max, "922337203685477.5807"},
      {min, "-922337203685477.5808"},
  };
  for (const auto& [value, text] : cases) EXPECT_EQ(CurrencyText(value), text);
  EXPECT_EQ(CurrencyToDouble(4900), 0.49);
  EXPECT_EQ(CurrencyToDouble(-12345678), -1234.5678);
}

TEST(JetValues, TextEncodings) {
  struct Case {
    std::vector<std::uint8_t> bytes;
    bool jet4;
    std::optional<std::string> text;
  };
  const std::vector<Case> cases = {
      {B({'a', 0, 'b', 0}), true, "ab"},
      {B({}), true, ""},
      {B({0xFF, 0xFE, 'a', 'b', 'c'}), true, "abc"},                // compressed
      {B({0xFF, 0xFE, 'G', 'r', 0xF6, 0xDF, 'e'}), true, "Größe"},  // Latin-1 compressed
      {B({0xFF, 0xFE, 'a', 0, 0xE5, 0x65, 0, 'b'}), true, "a日b"},  // a run of two bytes
      {B({0xFF, 0xFE}), true, ""},
      {B({0xFF, 0xFE, 'a', 0, 0xE5}), true, std::nullopt},      // half a character
      {B({'a', 0, 'b'}), true, std::nullopt},                   // odd length
      {B({0x3D, 0xD8, 0x00, 0xDE}), true, "\xF0\x9F\x98\x80"},  // a surrogate pair
      {B({0x3D, 0xD8, 'a', 0}), true, std::nullopt},            // a lone high surrogate
      {B({0x00, 0xDE}), true, std::nullopt},                    // a lone low surrogate
      {B({0xAC, 0x20, 0x0A, 0, 0x09, 0}), true, "€\n\t"},
      {B({'a', 0x80, 0xBD, 0x81, 0xFF}), false, "a€½\xC2\x81ÿ"},  // Windows-1252
  };
  for (const auto& c : cases) EXPECT_EQ(TextToUtf8(c.bytes, c.jet4), c.text);
}

TEST(JetValues, Utf8Check) {
  for (const char* good : {"", "abc", "Größe ½", "日本語", "\xF0\x9F\x98\x80", "a\0b"})
    EXPECT_TRUE(IsUtf8(good)) << good;
  for (const std::string bad :
       {"\x80", "\xC0\xAF", "\xC3", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xFF"}) {
    EXPECT_FALSE(IsUtf8(bad));
  }
}

TEST(JetValues, GuidsAndDecimals) {
  const auto guid = B({0x40, 0xFC, 0x29, 0x6B, 0x47, 0xCA, 0x67, 0x10, 0xB3, 0x1D, 0x00, 0xDD, 0x01,
                       0x06, 0x62, 0xDA});
  EXPECT_EQ(GuidText(std::span<const std::uint8_t, 16>(guid.data(), 16)),
            "{6B29FC40-CA47-1067-B31D-00DD010662DA}");
  // 1234567 with a scale of 4, stored in the last of the four words.
  auto decimal = B({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x87, 0xD6, 0x12, 0x00});
  const std::span<const std::uint8_t, 17> d(decimal.data(), 17);
  EXPECT_EQ(DecimalText(d, 4), "123.4567");
  EXPECT_EQ(DecimalText(d, 0), "1234567");
  EXPECT_EQ(DecimalText(d, 9), "0.001234567");
  EXPECT_FALSE(DecimalText(d, 29).has_value());
  decimal[0] = 0x80;
  EXPECT_EQ(DecimalText(d, 4), "-123.4567");
  decimal[1] = 1;  // the most significant word
  EXPECT_EQ(DecimalText(d, 0), "-79228162514264337593545184903");
}

}  // namespace
}  // namespace cs::test
