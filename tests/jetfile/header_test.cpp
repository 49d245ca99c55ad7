// Page 0: what a Jet 4 header says, what is refused, and a new header as Jet makes one.
#include "jetfile/header.h"

#include <gtest/gtest.h>

#include <array>
#include <limits>

#include "jetfile/rc4.h"
#include "fixture.h"

namespace cs::jetfile {
namespace {

using test::ReadFixture;

Page Page0(const std::string& fixture) {
  const auto bytes = ReadFixture(fixture, kPageSize);
  Page page{};
  EXPECT_GE(bytes.size(), kPageSize) << fixture;
  std::copy_n(bytes.begin(), std::min(bytes.size(), kPageSize), page.begin());
  return page;
}

TEST(JetfileHeader, EveryJet4FixtureGivesItsFactsAndIsStoredAgainByteForByte) {
  struct Case {
    const char* file;
    std::u16string password;
    bool encoded;
  };
  const std::vector<Case> cases = {
      {"ACEDATA0307.mdb", u"qed5190", false},
      {"ACEDATA0307-ENCODED.mdb", u"qed5190", true},
      {"ACEMTD0315.mdb", u"qed5190", false},
      {"CUSTOMDATA.mdb", u"qed5190", false},
      {"ACEDATA0407-NOPW.mdb", u"", false},
      {"ACEDATA0407-OTHERPW.mdb", u"other99", false},
      {"TYPES_V2000.mdb", u"", false},
      {"current/YWCURRENT.mdb", u"qed5190", false},
      {"current/YWCURRENT-ACCESS.mdb", u"qed5190", false},
      {"access-made/V2000-PASSWORD.mdb", u"password", false},
      {"access-made/V2000-ENCODED.mdb", u"", true},
      {"access-made/V2003-PASSWORD.mdb", u"password", false},
      {"access-made/V2003-NOPASSWORD.mdb", u"", false},
      {"access-made/V2003-TEST.mdb", u"", false},
  };
  ASSERT_EQ(cases.size(), test::Jet4FixtureNames().size());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const Page stored = Page0(c.file);
    const Header header = Header::Parse(stored);
    EXPECT_EQ(header.password(), c.password);
    EXPECT_EQ(header.database_key() != 0, c.encoded);
    EXPECT_EQ(header.code_page(), 1252);
    EXPECT_EQ(header.sort_order(), 0x0409u);
    EXPECT_GT(header.creation_date(), 30000.0);  // after 1982
    EXPECT_EQ(header.Stored(), stored);

    // A new password is masked with the file's own date and changes nothing else.
    Header changed = header;
    changed.set_password(u"n\u00e9w\u20ac");
    EXPECT_EQ(Header::Parse(changed.Stored()).password(), u"n\u00e9w\u20ac");
    changed.set_password(c.password);
    EXPECT_EQ(changed.Stored(), stored);
  }
}

TEST(JetfileHeader, OtherFormatsAndDamagedHeadersAreRefusedPlainly) {
  const Page jet4 = Page0("ACEDATA0307.mdb");
  struct Case {
    const char* what;
    Page page;
    const char* message_part;
  };
  std::vector<Case> cases;
  cases.push_back({"Jet 3", Page0("access-made/V1997-TEST.mdb"), "Jet 3 (Access 97)"});
  Page ace = jet4;
  std::copy_n("Standard ACE DB", 15, ace.begin() + 4);
  ace[0x14] = 2;
  cases.push_back({"Access 2007", ace, "Access 2007 or later"});
  Page later = jet4;
  later[0x14] = 3;
  cases.push_back({"a later version byte", later, "Access 2007 or later"});
  Page flipped = jet4;
  flipped[6] ^= 0x20;
  cases.push_back({"a flipped signature byte", flipped, "does not begin as a Jet database"});
  cases.push_back({"zeros", Page{}, "does not begin as a Jet database"});
  // The date's exponent all ones: no date at all (Not a Number), so no password mask either.
  Page date = jet4;
  const std::uint8_t key[] = {0xC7, 0xDA, 0x39, 0x6B};
  Rc4Apply(key, std::span(date).subspan(0x18, 128));
  date[0x72 + 6] = 0xFF;
  date[0x72 + 7] = 0x7F;
  Rc4Apply(key, std::span(date).subspan(0x18, 128));
  cases.push_back({"a damaged creation date", date, "creation date"});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    try {
      Header::Parse(c.page);
      ADD_FAILURE() << "accepted";
    } catch (const FormatError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message_part), std::string::npos) << e.what();
    }
  }
}

TEST(JetfileHeader, ANewHeaderIsPageZeroOfANewAccess2000Database) {
  // The two fixtures share the creation date of a new database made by another writer, and
  // differ only in the password.
  const double date = Header::Parse(Page0("ACEDATA0407-NOPW.mdb")).creation_date();
  EXPECT_EQ(Header::CreateNew(u"", date).Stored(), Page0("ACEDATA0407-NOPW.mdb"));
  EXPECT_EQ(Header::CreateNew(u"other99", date).Stored(), Page0("ACEDATA0407-OTHERPW.mdb"));

  const Header today = Header::CreateNew(u"qed5190", 46000.75);
  const Header again = Header::Parse(today.Stored());
  EXPECT_EQ(again.password(), u"qed5190");
  EXPECT_EQ(again.creation_date(), 46000.75);
  EXPECT_EQ(again.database_key(), 0u);

  const std::u16string longest(Header::kMaxPasswordLength, u'x');
  EXPECT_EQ(Header::Parse(Header::CreateNew(longest, date).Stored()).password(), longest);
  EXPECT_THROW(Header::CreateNew(longest + u"x", date), std::invalid_argument);
  EXPECT_THROW(Header::CreateNew(std::u16string(u"a\0b", 3), date), std::invalid_argument);
  EXPECT_THROW(Header::CreateNew(u"", std::numeric_limits<double>::quiet_NaN()),
               std::invalid_argument);
  EXPECT_THROW(Header::CreateNew(u"", 1e12), std::invalid_argument);
}

}  // namespace
}  // namespace cs::jetfile
