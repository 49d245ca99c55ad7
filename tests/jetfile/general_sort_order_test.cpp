#include "jetfile/general_sort_order.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fixture.h"

namespace cs::jetfile {
namespace {

using test::Hex;
using test::ToHex;

Bytes Key(std::u16string_view text, bool ascending = true) {
  Bytes out;
  AppendGeneralSortKey(text, ascending, out);
  return out;
}

TEST(GeneralSortOrder, KeysOfCharactersOfEveryKind) {
  struct Case {
    std::u16string text;
    const char* ascending;
  };
  const std::vector<Case> cases = {
      {u"", "01 00"},
      {u"3505", "3C 40 36 40 01 00"},  // stored so in the fixtures' Sku indexes
      {u"A", "4A 01 00"},
      {u"a", "4A 01 00"},  // letter case does not count
      {u"Zz", "78 78 01 00"},
      {u"A  ", "4A 01 00"},    // trailing spaces are dropped
      {u" A", "07 4A 01 00"},  // leading ones are not
      {u"   ", "01 00"},
      {u"\u00B0", "34 AE 01 00"},  // degree sign: a two-byte simple code
      {u"\u20AC", "35 A1 01 00"},  // euro sign, above 0xFF
      {u"\u2122", "6E 04 01 00"},  // trade mark
      {u"\t", "08 03 01 00"},
      {u"\u00E9", "51 01 0E 00"},         // e acute: e, then its accent in the extra group
      {u"\u00C9", "51 01 0E 00"},         // E acute: the same
      {u"\u00D1", "62 01 19 00"},         // N tilde
      {u"e\u00E9", "51 51 01 02 0E 00"},  // a placeholder for the plain e before the accent
      {u"\u00E9e", "51 51 01 0E 00"},     // trailing placeholders are dropped
      {u"e\u0301", "51 01 0E 00"},        // e + combining acute keys as the precomposed e acute
      {u"\u00E9\u0301", "51 01 1A 00"},   // a combining accent adds to the accent before it
      {u"it's", "59 6D 6B 01 01 01 01 80 0F 06 80 00"},  // apostrophe: unprintable group
      {u"-", "01 01 01 01 80 07 06 82 00"},
      {u"\u3042", "7F 02 01 01 01 FF 02 80 FF 80 00"},  // a letter with a variant mark
      {u"\u200B", "08 13 01 00"},
      {std::u16string(1, u'\0') + u"A", "4A 01 00"},  // NUL is ignored
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ascending);
    EXPECT_EQ(ToHex(Key(c.text)), ToHex(Hex(c.ascending)));
    // Descending: every byte of the ascending key but the last inverted, then 0x00.
    Bytes descending = Hex(c.ascending);
    for (std::uint8_t& b : descending) b = static_cast<std::uint8_t>(~b);
    descending.push_back(0x00);
    EXPECT_EQ(ToHex(Key(c.text, false)), ToHex(descending));
  }
}

TEST(GeneralSortOrder, OrdersTextAsUsersExpect) {
  // Each group sorts after the one before it; texts within a group share one key.
  const std::vector<std::vector<std::u16string>> groups = {
      {u"", u" ", u"  "},
      {u"0"},
      {u"1", u"1 "},
      {u"10"},
      {u"2"},
      {u"9"},
      {u"a", u"A"},
      {u"ab", u"AB", u"Ab"},
      {u"abc"},
      {u"b"},
      {u"e", u"E"},
      {u"\u00E9", u"\u00C9"},
      {u"f"},
      {u"n"},
      {u"\u00F1", u"\u00D1"},
      {u"o"},
      {u"z", u"Z"},
  };
  Bytes previous;
  for (std::size_t g = 0; g < groups.size(); ++g) {
    const Bytes first = Key(groups[g][0]);
    for (const std::u16string& text : groups[g]) {
      EXPECT_EQ(Key(text), first) << "group " << g;
    }
    if (g > 0) {
      EXPECT_LT(previous, first) << "group " << g;
      // Descending keys run the other way.
      EXPECT_GT(Key(groups[g - 1][0], false), Key(groups[g][0], false)) << "group " << g;
    }
    previous = first;
  }
}

TEST(GeneralSortOrder, KeysEveryCodeUnitWithoutFailing) {
  // Every UTF-16 code unit, lone surrogates included, has a key that ends as keys must.
  for (std::uint32_t c = 0; c <= 0xFFFF; ++c) {
    const std::u16string text(1, static_cast<char16_t>(c));
    const Bytes key = Key(text);
    ASSERT_GE(key.size(), 2u) << c;
    EXPECT_EQ(key.back(), 0x00) << c;
  }
  // A surrogate pair keys as two computed codes with their marks in the extra group.
  EXPECT_EQ(ToHex(Key(u"\U0001F600")), ToHex(Hex("B0 3F B6 FC 01 3F 3F 00")));
}

TEST(GeneralSortOrder, OnlyTheFirst255CharactersCount) {
  const std::u16string long_text(300, u'a');
  EXPECT_EQ(Key(long_text), Key(long_text.substr(0, 255)));
  EXPECT_NE(Key(long_text.substr(0, 254)), Key(long_text.substr(0, 255)));
}

TEST(GeneralSortOrder, OnlyTheGeneralOrderIsAccepted) {
  const std::uint8_t general[] = {0x09, 0x04, 0x00, 0x00};
  const std::uint8_t general_2010[] = {0x09, 0x04, 0x00, 0x01};
  const std::uint8_t spanish[] = {0x0A, 0x0C, 0x00, 0x00};
  EXPECT_EQ(ReadSortOrder(general), kGeneralSortOrder);
  EXPECT_NO_THROW(RequireGeneralSortOrder(ReadSortOrder(general), "column Sku"));
  EXPECT_THROW(RequireGeneralSortOrder(ReadSortOrder(general_2010), "column Sku"), FormatError);
  EXPECT_THROW(RequireGeneralSortOrder(ReadSortOrder(spanish), "column Sku"), FormatError);
}

}  // namespace
}  // namespace cs::jetfile
