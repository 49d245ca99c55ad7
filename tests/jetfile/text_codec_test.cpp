#include "jetfile/text_codec.h"

#include <gtest/gtest.h>

namespace cs::jetfile {
namespace {

TEST(TextCodec, DecodesBothFormsAndEveryModeSwitch) {
  struct Case {
    const char* what;
    Bytes stored;
    std::u16string text;
  };
  const Case cases[] = {
      {"empty", {}, u""},
      {"UTF-16LE", {'a', 0, 0xAC, 0x20}, u"a\u20AC"},
      {"marker only", {0xFF, 0xFE}, u""},
      {"compressed", {0xFF, 0xFE, 'a', 'b', 0xD1}, u"ab\u00D1"},
      {"to two-byte mode and back", {0xFF, 0xFE, 'a', 0, 0xAC, 0x20, 0, 'b'}, u"a\u20ACb"},
      {"starts in two-byte mode", {0xFF, 0xFE, 0, 0x22, 0x21}, u"\u2122"},
      {"switch at the end", {0xFF, 0xFE, 'a', 'b', 0}, u"ab"},
      {"two switches in a row", {0xFF, 0xFE, 'a', 0, 0, 'b'}, u"ab"},
      {"Latin in a two-byte run", {0xFF, 0xFE, 'a', 0, 'b', 0, 'c', 0}, u"abc"},
      {"marker-like UTF-16 is not the marker", {0xFE, 0xFF, 'a', 0}, u"\uFFFEa"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DecodeText(c.stored), c.text) << c.what;
  }
  // An odd two-byte run loses a character: refused, in either form.
  const Bytes damaged[] = {{'a'}, {'a', 0, 'b'}, {0xFF, 0xFE, 'a', 0, 0x22, 0x21, 0x20}};
  for (const Bytes& b : damaged) EXPECT_THROW(DecodeText(b), FormatError);
}

TEST(TextCodec, CompressesOnlyWhereItSavesRoomAndTheColumnAllows) {
  struct Case {
    std::u16string text;
    bool column_compresses;
    bool compressed;
  };
  const Case cases[] = {
      {u"abc", true, true},
      {u"ab", true, false},  // two characters: the marker costs what compression saves
      {u"", true, false},
      {u"abc", false, false},
      {u"\u00BD \u00B0 \u00D1 \u00E9", true, true},  // Latin-1 fits one byte
      {u"price \u20AC", true, false},                // the euro sign does not
      {u"a\u0000bc", true, false},                   // NUL would read as a mode switch
      {std::u16string(1024, u'x'), true, true},
      {std::u16string(1025, u'x'), true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.text.size()) + " characters");
    EXPECT_EQ(ShouldCompressText(c.text, c.column_compresses), c.compressed);
    Bytes stored = EncodeText(c.text, c.column_compresses);
    EXPECT_EQ(stored.size(), c.compressed ? c.text.size() + 2 : c.text.size() * 2);
    EXPECT_EQ(DecodeText(stored), c.text);
  }
}

// Text that begins with U+FEFF would read back as compressed text if stored as plain UTF-16: it
// is stored so that it reads back unchanged, or refused when it cannot be.
TEST(TextCodec, TextBeginningWithTheMarkerReadsBackUnchanged) {
  const std::u16string readable[] = {u"\uFEFF", u"\uFEFFabc", u"\uFEFF\u20AC\u00D1x",
                                     u"\uFEFF\u4E01"};
  for (const auto& text : readable) {
    for (bool column_compresses : {true, false}) {
      EXPECT_EQ(DecodeText(EncodeText(text, column_compresses)), text);
    }
  }
  EXPECT_THROW(EncodeText(u"\uFEFF\u0100", false), FormatError);
  EXPECT_THROW(EncodeText(u"\uFEFF\u4E00", true), FormatError);
  EXPECT_THROW(EncodeText(std::u16string(u"\uFEFFa\0b", 4), false), FormatError);
}

}  // namespace
}  // namespace cs::jetfile
