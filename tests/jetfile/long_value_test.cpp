#include "jetfile/long_value.h"

#include <gtest/gtest.h>

#include <map>

#include "fixture.h"
#include "jetfile/text_codec.h"
#include "jetfile/table_definition_check.h"
#include "jetfile/table_definition_pages.h"

namespace cs::jetfile {
namespace {

using test::JetFile;

// Hands out page numbers from 100 up.
class CountingPages : public LongValuePages {
 public:
  PageNumber AllocatePage() override { return next_++; }
  std::size_t handed_out() const { return next_ - 100; }

 private:
  PageNumber next_ = 100;
};

PageReader ReaderOf(std::map<PageNumber, Page> pages) {
  return [pages = std::move(pages)](PageNumber n) {
    auto it = pages.find(n);
    if (it == pages.end()) throw FormatError("no page " + std::to_string(n));
    return it->second;
  };
}

Bytes Data(std::size_t size) {
  Bytes b(size);
  for (std::size_t i = 0; i < size; ++i) b[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
  return b;
}

// Each form around its limits: what is chosen, how many pages it takes, and that it reads back.
TEST(LongValue, WritesTheFormItsSizeAndRoomCallFor) {
  struct Case {
    std::size_t size;
    std::size_t room;
    std::uint8_t form;
    std::size_t pages;
  };
  const Case cases[] = {
      {0, 4000, kLongValueInline, 0},
      {1, 4000, kLongValueInline, 0},
      {64, 76, kLongValueInline, 0},
      {64, 75, kLongValueOneRow, 1},  // no room left in the row
      {1, 12, kLongValueOneRow, 1},
      {65, 4000, kLongValueOneRow, 1},
      {4076, 4000, kLongValueOneRow, 1},
      {4077, 4000, kLongValueChain, 2},
      {4072 * 2, 4000, kLongValueChain, 2},
      {4072 * 2 + 1, 4000, kLongValueChain, 3},
      {16 * 1024 + 5, 4000, kLongValueChain, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.size) + " bytes, room " + std::to_string(c.room));
    CountingPages allocator;
    LongValueWriter writer(allocator);
    Bytes data = Data(c.size);
    Bytes field = writer.Store(data, c.room);
    LongValueReference ref = ParseLongValueReference(field);
    EXPECT_EQ(ref.form, c.form);
    EXPECT_EQ(ref.length, c.size);
    EXPECT_EQ(field.size(), c.form == kLongValueInline ? 12 + c.size : 12u);
    EXPECT_EQ(writer.Pages().size(), c.pages);
    EXPECT_EQ(allocator.handed_out(), c.pages);
    for (const auto& [n, page] : writer.Pages()) {
      EXPECT_EQ(DataPageOwner(page), kLongValueOwner);
      EXPECT_NO_THROW(ListRows(page, n));
    }
    EXPECT_EQ(ReadLongValue(field, ReaderOf(writer.Pages())), data);
  }
}

// Values share the current long-value page while it has room; a chain's later pieces each start
// a page, and what follows the chain shares its last page.
TEST(LongValue, RowsShareTheCurrentPage) {
  CountingPages allocator;
  LongValueWriter writer(allocator);
  std::vector<std::pair<Bytes, Bytes>> stored;  // field, data
  for (std::size_t size : {1000, 1000, 1000, 1100, 9000, 500}) {
    Bytes data = Data(size);
    stored.emplace_back(writer.Store(data, 0), data);
  }
  // 1000 x 3 on page 100; 1100 does not fit with them: page 101; the chain needs a page with
  // room for a whole piece: 102, then 103 and 104; 500 bytes join 104.
  EXPECT_EQ(allocator.handed_out(), 5u);
  auto first = [](const Bytes& field) { return ParseLongValueReference(field).first; };
  EXPECT_EQ(first(stored[0].first), (RowPointer{100, 0}));
  EXPECT_EQ(first(stored[2].first), (RowPointer{100, 2}));
  EXPECT_EQ(first(stored[3].first), (RowPointer{101, 0}));
  EXPECT_EQ(first(stored[4].first), (RowPointer{102, 0}));
  EXPECT_EQ(first(stored[5].first), (RowPointer{104, 1}));
  // The pages before the current one are finished and can be taken away; together with what
  // is left they hold every value.
  std::map<PageNumber, Page> pages = writer.TakeFinishedPages();
  EXPECT_EQ(pages.size(), 4u);
  EXPECT_EQ(writer.Pages().size(), 1u);
  pages.merge(writer.Pages());
  for (const auto& [field, data] : stored) EXPECT_EQ(ReadLongValue(field, ReaderOf(pages)), data);
}

// The Memo values of the fixtures: Store.Notes (chains of 4.2 to 16 KB of UTF-16 text) and the
// memo of more than 16 KB of the types file read whole, and written again they take the same
// form over the same number of pieces of the same sizes.
TEST(LongValue, FixtureMemosReadWholeAndAreWrittenInTheSameForm) {
  struct Case {
    std::string file;
    std::u16string table;
    std::size_t at_least;
  };
  const Case cases[] = {
      {"current/YWCURRENT.mdb", u"Store", 20},
      {"TYPES_V2000.mdb", u"Types", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    JetFile file(c.file);
    PageNumber tdef = file.Tables().at(c.table);
    TableDefinition def = ReadTableDefinition(tdef, file.Reader());
    std::size_t memos = 0, longest = 0;
    for (const auto& row : file.RowsOf(tdef)) {
      std::vector<Value> values = DecodeRow(def, row.bytes);
      for (std::size_t i = 0; i < def.columns.size(); ++i) {
        if (def.columns[i].type != ColumnType::kMemo || IsNull(values[i])) continue;
        const Bytes& field = std::get<Bytes>(values[i]);
        LongValueReference ref = ParseLongValueReference(field);
        Bytes data = ReadLongValue(field, file.Reader());
        std::u16string text = DecodeMemoText(data);
        // Stored as the writer stores memo text, so encoding it again gives the same bytes.
        EXPECT_EQ(EncodeText(text, def.columns[i].IsCompressedUnicode()), data);
        if (ref.form != kLongValueChain) continue;
        ++memos;
        longest = std::max(longest, data.size());

        CountingPages allocator;
        LongValueWriter writer(allocator);
        Bytes ours = writer.Store(data, 0);
        EXPECT_EQ(ParseLongValueReference(ours).form, kLongValueChain);
        EXPECT_EQ(ReadLongValue(ours, ReaderOf(writer.Pages())), data);
        // Walk both chains piece by piece.
        auto pieces = [](const Bytes& f, const PageReader& read) {
          std::vector<std::size_t> sizes;
          RowPointer at = ParseLongValueReference(f).first;
          while (at.page != 0) {
            Page page = read(at.page);
            auto r = RowBytes(page, at.page, at.row);
            sizes.push_back(r.size());
            at = RowPointer{GetU24(r.data() + 1), r[0]};
          }
          return sizes;
        };
        EXPECT_EQ(pieces(ours, ReaderOf(writer.Pages())), pieces(field, file.Reader()));
      }
    }
    EXPECT_GE(memos, c.at_least);
    EXPECT_GT(longest, 4200u);
  }
}

// Memo text through the row encoder: compressed when it can be, inline when short and the row
// has room, on a long-value page when the row is nearly full. The table: eight Text(255)
// columns, then the Memo; 12 bytes of the row are set aside for the Memo's reference.
TEST(LongValue, RowEncoderStoresMemoTextThroughTheWriter) {
  TableDefinition def;
  def.max_columns = 9;
  def.variable_column_count = 9;
  for (std::uint16_t i = 0; i < 9; ++i) {
    ColumnDefinition c;
    c.type = i < 8 ? ColumnType::kText : ColumnType::kMemo;
    c.number = i;
    c.variable_index = i;
    c.length = i < 8 ? 510 : 0;
    c.extended_flags = kColumnCompressedUnicode;
    def.columns.push_back(c);
  }
  CheckTableDefinition(def);

  // Row: 2 + text + 12 (reference) + trailer 24 (mask 2, count 2, EOD 2, 9 offsets); the short
  // note's 12 bytes stay inline while 2 + text + 24 + 12 + 24 <= 4060, i.e. text <= 3998 bytes.
  struct Case {
    std::size_t text_chars;  // of U+4E01, two bytes each
    std::u16string note;
    std::uint8_t form;
    std::size_t stored_bytes;
  };
  const std::u16string latin(64, u'\u00E9');
  const Case cases[] = {
      {0, u"short note", kLongValueInline, 12},
      {0, latin.substr(0, 62), kLongValueInline, 64},              // FF FE + 62
      {0, latin.substr(0, 63), kLongValueOneRow, 65},              // one byte over the limit
      {0, u"\u20AC" + latin.substr(0, 31), kLongValueInline, 64},  // UTF-16: 32 x 2
      {1999, u"short note", kLongValueInline, 12},
      {2000, u"short note", kLongValueOneRow, 12},
      {2000, std::u16string(u"\u20AC") + latin + latin + latin, kLongValueOneRow, 386},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.text_chars) + " characters of text");
    CountingPages allocator;
    LongValueWriter writer(allocator);
    std::vector<Value> values;
    std::size_t left = c.text_chars;
    for (int i = 0; i < 8; ++i) {
      std::size_t n = std::min<std::size_t>(255, left);
      values.emplace_back(std::u16string(n, u'\u4E01'));
      left -= n;
    }
    values.emplace_back(c.note);
    Bytes row = EncodeRow(def, values, &writer);
    EXPECT_LE(row.size(), kMaxRowSize);
    std::vector<Value> decoded = DecodeRow(def, row);
    const Bytes& field = std::get<Bytes>(decoded[8]);
    EXPECT_EQ(ParseLongValueReference(field).form, c.form);
    EXPECT_EQ(ParseLongValueReference(field).length, c.stored_bytes);
    EXPECT_EQ(DecodeMemoText(ReadLongValue(field, ReaderOf(writer.Pages()))), c.note);
  }
}

// A chain and a one-row value with their pages damaged: each is a FormatError, never a hang, a
// crash or a value silently cut.
TEST(LongValue, DamagedReferencesAndChainsAreRefused) {
  CountingPages allocator;
  LongValueWriter writer(allocator);
  const Bytes data = Data(10000);
  const Bytes chain = writer.Store(data, 0);  // pages 100, 101, 102
  const Bytes one_row = writer.Store(Data(300), 0);
  const std::map<PageNumber, Page> sound = writer.Pages();
  ASSERT_EQ(ReadLongValue(chain, ReaderOf(sound)), data);

  auto with_length = [](Bytes field, std::uint32_t length) {
    PutU32(field.data(), (GetU32(field.data()) & 0xC0000000u) | length);
    return field;
  };
  auto first_row_of = [](std::map<PageNumber, Page>& pages, PageNumber n) {
    Page& p = pages.at(n);
    return p.data() + (GetU16(p.data() + 14) & kRowOffsetMask);
  };
  struct Case {
    const char* what;
    Bytes field;
    std::function<void(std::map<PageNumber, Page>&)> damage;
  };
  const Case cases[] = {
      {"chain loops back to its first row", chain,
       [&](auto& pages) { PutU24(first_row_of(pages, 101) + 1, 100); }},
      {"chain longer than stated", with_length(chain, 9000), [](auto&) {}},
      {"chain shorter than stated", with_length(chain, 11000), [](auto&) {}},
      {"stated length enormous", with_length(chain, 0x3FFFFFFF), [](auto&) {}},
      {"chain into a missing page", chain,
       [&](auto& pages) { PutU24(first_row_of(pages, 100) + 1, 999); }},
      {"chain into a missing row", chain, [&](auto& pages) { first_row_of(pages, 100)[0] = 7; }},
      {"page not a long-value page", chain,
       [](auto& pages) { PutU32(pages.at(101).data() + 4, 15); }},
      {"one row shorter than stated", with_length(one_row, 301), [](auto&) {}},
      {"row deleted", one_row,
       [](auto& pages) {
         Page& p = pages.at(102);
         PutU16(p.data() + 16, static_cast<std::uint16_t>(GetU16(p.data() + 16) | 0xC000));
       }},
  };
  for (const Case& c : cases) {
    std::map<PageNumber, Page> pages = sound;
    c.damage(pages);
    EXPECT_THROW(ReadLongValue(c.field, ReaderOf(pages)), FormatError) << c.what;
  }

  const Bytes bad_fields[] = {
      Bytes(11, 0),                                       // shorter than a reference
      Bytes{5, 0, 0, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 'a'},  // inline, 5 stated, 1 present
      Bytes{5, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0, 0},       // both flags
      Bytes{5, 0, 0, 0x40, 0, 1, 0, 0, 0, 0, 0, 0, 'x'},  // one row, with bytes after it
  };
  for (const Bytes& f : bad_fields) EXPECT_THROW(ReadLongValue(f, ReaderOf(sound)), FormatError);
}

}  // namespace
}  // namespace cs::jetfile
