// The first page of a Jet file: its version and its password, as Jet keeps them.
#include "db/jetfile/header.h"

#include <gtest/gtest.h>

#include <array>

#include "db/jet/errors.h"
#include "jetfile/rc4.h"
#include "jet_support.h"

namespace cs::test {
namespace {

using jetfile::JetVersion;

std::vector<std::uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

TEST(JetHeader, Rc4KeyStreamOfTheHeaderKey) {
  std::array<std::uint8_t, 8> bytes{};
  const std::uint8_t key[] = {0xC7, 0xDA, 0x39, 0x6B};
  cs::jetfile::Rc4Apply(key, bytes);
  EXPECT_EQ(bytes, (std::array<std::uint8_t, 8>{0xB5, 0x6F, 0x03, 0x62, 0x61, 0x08, 0xC2, 0x55}));
  cs::jetfile::Rc4Apply(key, bytes);
  EXPECT_EQ(bytes, (std::array<std::uint8_t, 8>{}));
}

TEST(JetHeader, EveryFixtureGivesItsVersionAndPassword) {
  struct Case {
    const char* file;
    JetVersion version;
    std::optional<std::string> password;
    bool encoded;
  };
  const std::vector<Case> cases = {
      {"ACEDATA0307.mdb", JetVersion::kJet4, "qed5190", false},
      {"ACEDATA0307-ENCODED.mdb", JetVersion::kJet4, "qed5190", true},
      {"ACEMTD0315.mdb", JetVersion::kJet4, "qed5190", false},
      {"CUSTOMDATA.mdb", JetVersion::kJet4, "qed5190", false},
      {"ACEDATA0407-NOPW.mdb", JetVersion::kJet4, std::nullopt, false},
      {"ACEDATA0407-OTHERPW.mdb", JetVersion::kJet4, "other99", false},
      {"TYPES_V2000.mdb", JetVersion::kJet4, std::nullopt, false},
      {"access-made/V2000-PASSWORD.mdb", JetVersion::kJet4, "password", false},
      {"access-made/V2003-PASSWORD.mdb", JetVersion::kJet4, "password", false},
      {"access-made/V2003-NOPASSWORD.mdb", JetVersion::kJet4, std::nullopt, false},
      {"access-made/V2003-TEST.mdb", JetVersion::kJet4, std::nullopt, false},
      {"access-made/V2000-ENCODED.mdb", JetVersion::kJet4, std::nullopt, true},
      {"access-made/V1997-TEST.mdb", JetVersion::kJet3, std::nullopt, false},
      {"access-made/V1997-QED5190.mdb", JetVersion::kJet3, "qed5190", false},
      {"access-made/V1997-ENCODED.mdb", JetVersion::kJet3, std::nullopt, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const auto header = jetfile::ReadHeader(JetFixture(c.file));
    ASSERT_TRUE(header.has_value());
    EXPECT_EQ(header->version, c.version);
    EXPECT_EQ(header->password, c.password);
    EXPECT_EQ(header->page_key != 0, c.encoded);
    EXPECT_TRUE(jetfile::PasswordOpens(*header, c.password.value_or("anything")));
    EXPECT_EQ(jetfile::PasswordOpens(*header, "qed5190"), !c.password || *c.password == "qed5190");
    EXPECT_EQ(jetfile::PasswordOpens(*header, "QED5190"), !c.password);  // letter case counts
  }
}

TEST(JetHeader, OnlyJet3AndJet4HeadersAreJet) {
  std::string jet4 = FileBytes(JetFixture("ACEDATA0307.mdb")).substr(0, 4096);
  std::string jet3 = FileBytes(JetFixture("access-made/V1997-TEST.mdb")).substr(0, 2048);
  EXPECT_EQ(jetfile::JetVersionOf(Bytes(jet4)), JetVersion::kJet4);
  EXPECT_EQ(jetfile::JetVersionOf(Bytes(jet3)), JetVersion::kJet3);
  std::string ace = jet4;
  ace.replace(4, 15, "Standard ACE DB");
  std::string later = jet4;
  later[0x14] = 2;  // an Access 2007 file
  std::string sqlite("SQLite format 3\0", 16);
  sqlite.resize(4096);
  for (const std::string& bytes :
       {ace, later, sqlite, jet4.substr(0, 0x14), std::string(), std::string(4096, '\0')}) {
    EXPECT_FALSE(jetfile::JetVersionOf(Bytes(bytes)).has_value());
    EXPECT_FALSE(jetfile::DecodeHeader(Bytes(bytes)).has_value());
  }
  // The signature alone is not enough to decode: the hidden header must be there.
  EXPECT_TRUE(jetfile::JetVersionOf(Bytes(jet4.substr(0, 0x20))).has_value());
  EXPECT_FALSE(jetfile::DecodeHeader(Bytes(jet4.substr(0, 0x20))).has_value());
}

TEST(JetHeader, CheckPasswordBeforeReading) {
  TempDir dir;
  const auto protected_file = dir.Copy("ACEDATA0407-OTHERPW.mdb");
  const auto open_file = dir.Copy("ACEDATA0407-NOPW.mdb");
  EXPECT_NO_THROW(jetfile::CheckPassword(protected_file, "X", "other99"));
  EXPECT_NO_THROW(jetfile::CheckPassword(open_file, "X", "qed5190"));
  EXPECT_NO_THROW(jetfile::CheckPassword(open_file, "X", ""));
  try {
    jetfile::CheckPassword(protected_file, "X", "qed5190");
    ADD_FAILURE() << "a wrong password opened the file";
  } catch (const RunError& e) {
    EXPECT_EQ(e.number(), db::jet::kErrPassword);
    EXPECT_EQ(e.description(), "Not a valid password.");
  }
  PutFile(dir / "text.mdb", "just some text");
  std::filesystem::create_directory(dir / "folder.mdb");
  for (const auto& not_jet : {dir / "text.mdb", dir / "folder.mdb", dir / "missing.mdb"}) {
    try {
      jetfile::CheckPassword(not_jet, "C:\\DATA\\X.MDB", "qed5190");
      ADD_FAILURE() << not_jet;
    } catch (const RunError& e) {
      EXPECT_EQ(e.description(), "Unrecognized database format 'C:\\DATA\\X.MDB'.");
    }
  }
}

}  // namespace
}  // namespace cs::test
