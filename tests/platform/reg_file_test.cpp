#include "platform/reg_file.h"

#include <gtest/gtest.h>

#include "platform/run_error.h"

namespace cs::platform {
namespace {

constexpr char kApp[] = "HKEY_CURRENT_USER\\Software\\App";

std::string Utf16(std::u16string_view text, bool big_endian) {
  std::string bytes = big_endian ? "\xFE\xFF" : "\xFF\xFE";
  for (const char16_t c : text) {
    const char hi = static_cast<char>(c >> 8), lo = static_cast<char>(c & 0xFF);
    bytes += big_endian ? hi : lo;
    bytes += big_endian ? lo : hi;
  }
  return bytes;
}

std::string Text(const RegFile& file, const char* key, const char* name) {
  const auto v = file.Get(key, name);
  return v ? v->data : "(none)";
}

// Files as regedit and people write them: comments, end-of-line comments, hex data continued
// over several lines, a key block twice, deletions, other roots, LF line ends.
TEST(RegFileTest, ReadsExportedFiles) {
  const std::string text =
      "REGEDIT4\n"
      "; exported settings\n"
      "\n"
      "[HKEY_CURRENT_USER\\Software\\App]\n"
      "\"Size\"=dword:00000010 ; sixteen\n"
      "\"Data\"=hex:01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,\\\n"
      "  17,18,19,1a\n"
      "  \"Indented\" = \"yes\"\n"
      "\"Old\"=\"gone soon\"\n"
      "[HKEY_LOCAL_MACHINE\\Software\\App]\n"
      "\"Machine\"=\"not ours\"\n"
      "[hkey_current_user\\software\\app]\n"
      "\"Size\"=dword:20\n"
      "\"Old\"=-\n"
      "[HKEY_CURRENT_USER\\Software\\Doomed\\Child]\n"
      "\"x\"=\"y\"\n"
      "[-HKEY_CURRENT_USER\\Software\\Doomed]\n";
  const RegFile file = RegFile::Parse(text);
  const std::string key = "HKEY_CURRENT_USER\\Software\\App";
  ASSERT_TRUE(file.Get(key, "Size"));
  EXPECT_EQ(file.Get(key, "size")->data, std::string("\x20\0\0\0", 4));  // the later block wins
  ASSERT_TRUE(file.Get(key, "Data"));
  EXPECT_EQ(file.Get(key, "Data")->data.size(), 26u);
  EXPECT_EQ(file.Get(key, "Data")->data.back(), '\x1a');
  EXPECT_EQ(file.Get(key, "Indented")->data, "yes");
  EXPECT_FALSE(file.Get(key, "Old"));
  EXPECT_FALSE(file.Get(key, "Machine"));
  EXPECT_FALSE(file.KeyExists("HKEY_CURRENT_USER\\Software\\Doomed"));
  EXPECT_FALSE(file.KeyExists("HKEY_CURRENT_USER\\Software\\Doomed\\Child"));
  EXPECT_EQ(file.Serialize(), text);  // untouched, byte for byte
}

TEST(RegFileTest, ReadsVersionFiveInUtf16AndWritesItBackSo) {
  const std::string ascii =
      "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\App]\r\n"
      "\"Name\"=\"caf\xc3\xa9\"\r\n";  // UTF-8 é
  // The same text as UTF-16LE with a byte-order mark.
  std::string utf16 = "\xFF\xFE";
  for (std::size_t i = 0; i < ascii.size(); ++i) {
    if (static_cast<unsigned char>(ascii[i]) == 0xC3) {
      utf16 += '\xE9';
      utf16 += '\0';
      ++i;
    } else {
      utf16 += ascii[i];
      utf16 += '\0';
    }
  }
  for (const std::string& bytes : {ascii, utf16}) {
    RegFile file = RegFile::Parse(bytes);
    EXPECT_EQ(file.Get("HKEY_CURRENT_USER\\Software\\App", "Name")->data, "caf\xe9");
    EXPECT_EQ(file.Serialize(), bytes);
  }
}

// Every encoding regedit and Wine read: the text is read alike, a value written goes in the
// file's own encoding, and the rest stays byte for byte.
TEST(RegFileTest, EveryEncodingReadsAndWritesInItsOwnBytes) {
  const std::u16string v5 =
      u"Windows Registry Editor Version 5.00\r\n\r\n"
      u"[HKEY_CURRENT_USER\\Software\\App]\r\n"
      u"\"Greek\"=\"\u03b1\u03b2\"\r\n"
      u"\"Name\"=\"caf\u00e9 \u20ac\"\r\n";
  const std::u16string added = u"\"New\"=\"\u00fc\"\r\n";
  const std::string v5_utf8 =
      "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\App]\r\n"
      "\"Greek\"=\"\xce\xb1\xce\xb2\"\r\n\"Name\"=\"caf\xc3\xa9 \xe2\x82\xac\"\r\n";
  struct Case {
    const char* what;
    std::string bytes;
    std::string appended;
  } cases[] = {
      {"UTF-16LE", Utf16(v5, false), Utf16(added, false).substr(2)},
      {"UTF-16BE", Utf16(v5, true), Utf16(added, true).substr(2)},
      {"UTF-8 with a byte-order mark", "\xEF\xBB\xBF" + v5_utf8, "\"New\"=\"\xc3\xbc\"\r\n"},
      {"UTF-8", v5_utf8, "\"New\"=\"\xc3\xbc\"\r\n"},
      {"REGEDIT4 in Windows-1252",
       "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\App]\r\n\"Greek\"=\"??\"\r\n"
       "\"Name\"=\"caf\xe9 \x80\"\r\n",
       "\"New\"=\"\xfc\"\r\n"},
  };
  for (const auto& c : cases) {
    RegFile file = RegFile::Parse(c.bytes);
    EXPECT_EQ(Text(file, kApp, "Name"), "caf\xe9 \x80") << c.what;
    EXPECT_EQ(Text(file, kApp, "Greek"), "??") << c.what;
    ASSERT_TRUE(file.Set(kApp, "New", {kRegSz, "\xfc"})) << c.what;
    EXPECT_EQ(file.Serialize(), c.bytes + c.appended) << c.what;
    EXPECT_EQ(Text(RegFile::Parse(file.Serialize()), kApp, "New"), "\xfc") << c.what;
  }
}

// The data of string types kept as hex is UTF-16 in a version 5 file and ANSI bytes in a
// REGEDIT4 file; the A functions see ANSI either way.
TEST(RegFileTest, HexStringsFollowTheFileVersion) {
  const std::string v5 =
      "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\App]\r\n"
      "\"Path\"=hex(2):25,00,41,00,25,00,e9,00,00,00\r\n"
      "\"List\"=hex(7):61,00,00,00,ac,20,00,00,00,00\r\n"
      "\"Bytes\"=hex:e9,00\r\n";
  RegFile file = RegFile::Parse(v5);
  EXPECT_EQ(file.Get(kApp, "Path")->data, std::string("%A%\xe9\0", 5));
  EXPECT_EQ(file.Get(kApp, "List")->data, std::string("a\0\x80\0\0", 5));
  EXPECT_EQ(file.Get(kApp, "Bytes")->data, std::string("\xe9\0", 2));  // binary: as stored
  ASSERT_TRUE(file.Set(kApp, "Inner", {kRegSz, std::string("a\0\xe9", 3)}));
  EXPECT_NE(file.Serialize().find("\"Inner\"=hex(1):61,00,00,00,e9,00\r\n"), std::string::npos);
  EXPECT_EQ(RegFile::Parse(file.Serialize()).Get(kApp, "Inner")->data, std::string("a\0\xe9", 3));

  RegFile v4 = RegFile::Parse(
      "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\App]\r\n"
      "\"Path\"=hex(2):25,41,25,e9,00\r\n");
  EXPECT_EQ(v4.Get(kApp, "Path")->data, std::string("%A%\xe9\0", 5));
}

// Damaged and hostile files: refused whole when they are no .reg file, read as far as they make
// sense otherwise, and never changed where they are not written.
TEST(RegFileTest, DamagedFilesAreRefusedOrReadAsFarAsTheyGo) {
  const std::string header = "REGEDIT4\r\n";
  struct Refused {
    const char* what;
    std::string bytes;
  } refused[] = {
      {"empty", ""},
      {"a byte-order mark alone", "\xFF\xFE"},
      {"no header", "[HKEY_CURRENT_USER\\Software\\App]\r\n"},
      {"an unknown version", "REGEDIT5\r\n"},
      {"a UTF-16 mark before ANSI text", "\xFF\xFEREGEDIT4\r\n"},
      {"a UTF-8 mark twice", "\xEF\xBB\xBF\xEF\xBB\xBFREGEDIT4\r\n"},
      {"a NUL", std::string("REGEDIT4\r\n\"a\"=\"b\0c\"\r\n", 22)},
      {"a NUL in UTF-16", Utf16(std::u16string(u"REGEDIT4\r\n[x\0y]\r\n", 17), false)},
  };
  for (const auto& c : refused) {
    EXPECT_THROW(RegFile::Parse(c.bytes), RunError) << c.what;
  }

  const std::string huge(10'000'000, 'x');
  struct Read {
    const char* what;
    std::string bytes;
    const char* name;
    std::optional<std::string> value;
  } read[] = {
      {"a value before any key", header + "\"a\"=\"b\"\r\n[HKEY_CURRENT_USER\\Software\\App]\r\n",
       "a", std::nullopt},
      {"an unclosed quote", header + "[HKEY_CURRENT_USER\\Software\\App]\r\n\"a\"=\"b\r\n", "a",
       std::nullopt},
      {"a key without its bracket",
       header + "[HKEY_CURRENT_USER\\Software\\App\r\n\"a\"=\"b\"\r\n"
                "[HKEY_CURRENT_USER\\Software\\App\\Sub]\r\n",
       "a", std::nullopt},
      {"a bad dword", header + "[HKEY_CURRENT_USER\\Software\\App]\r\n\"a\"=dword:123456789\r\n",
       "a", std::nullopt},
      {"bad hex", header + "[HKEY_CURRENT_USER\\Software\\App]\r\n\"a\"=hex:0g\r\n", "a",
       std::nullopt},
      {"a continuation at the end",
       header + "[HKEY_CURRENT_USER\\Software\\App]\r\n\"a\"=hex:01,\\", "a", std::string("\x01")},
      {"a string ending in a backslash",
       header + "[HKEY_CURRENT_USER\\Software\\App]\r\n\"a\"=\"b\" ; c:\\\r\n\"c\"=\"d\"\r\n", "c",
       std::string("d")},
      {"a key deleted and made again",
       header + "[HKEY_CURRENT_USER\\Software\\App]\r\n\"a\"=\"old\"\r\n[-HKEY_CURRENT_"
                "USER\\Software]\r\n"
                "[HKEY_CURRENT_USER\\Software\\App]\r\n\"b\"=\"new\"\r\n",
       "a", std::nullopt},
      {"a block repeated",
       header + "[HKEY_CURRENT_USER\\Software\\App]\r\n\"a\"=\"1\"\r\n"
                "[HKEY_CURRENT_USER\\Software\\App]\r\n\"a\"=\"2\"\r\n",
       "a", std::string("2")},
      {"a huge line", header + "[HKEY_CURRENT_USER\\Software\\App]\r\n\"a\"=\"" + huge + "\"\r\n",
       "a", huge},
      {"bad UTF-8 in a version 5 file",
       "Windows Registry Editor Version 5.00\r\n"
       "[HKEY_CURRENT_USER\\Software\\App]\r\n\"a\"=\"\xff\xe9\"\r\n",
       "a", std::string("??")},
      {"a cut-off UTF-16 file",
       Utf16(u"REGEDIT4\r\n[HKEY_CURRENT_USER\\Software\\App]\r\n"
             u"\"a\"=\"b\"\r\n\"c",
             false) +
           "\"",
       "a", std::string("b")},
  };
  for (const auto& c : read) {
    RegFile file = RegFile::Parse(c.bytes);
    const auto got = file.Get(kApp, c.name);
    EXPECT_EQ(got.has_value(), c.value.has_value()) << c.what;
    if (got && c.value) {
      EXPECT_EQ(got->data, *c.value) << c.what;
    }
    EXPECT_EQ(file.Serialize(), c.bytes) << c.what;
    // A write goes in and every line before it stays; the file still reads.
    ASSERT_TRUE(file.Set(kApp, "written", {kRegSz, "w"})) << c.what;
    const std::string after = file.Serialize();
    EXPECT_EQ(Text(RegFile::Parse(after), kApp, "written"), "w") << c.what;
    if (c.value && *c.value != huge) {
      EXPECT_EQ(Text(RegFile::Parse(after), kApp, c.name), *c.value) << c.what;
    }
  }
}

// A new value goes after the last value of the key's latest block, in the line ends of the file;
// the index stays right for every other key after lines moved.
TEST(RegFileTest, NewValuesGoIntoTheLatestBlockAndTheIndexFollows) {
  std::string text = "REGEDIT4\n\n";
  for (int i = 0; i < 300; ++i) {
    text += "[HKEY_CURRENT_USER\\Software\\K" + std::to_string(i) + "]\n\"v\"=\"" +
            std::to_string(i) + "\"\n; note\n\n";
  }
  text += "[HKEY_CURRENT_USER\\Software\\K13]\n\"late\"=\"x\"\n";  // K13's latest block, last
  RegFile file = RegFile::Parse(text.substr(0, text.size() - 1));  // no line end at the end
  for (int round = 0; round < 3; ++round) {
    for (int i = 299; i >= 0; i -= 13) {
      const std::string key = "HKEY_CURRENT_USER\\Software\\K" + std::to_string(i);
      ASSERT_TRUE(file.Set(key, "n" + std::to_string(round), {kRegSz, std::to_string(i)}));
    }
  }
  const RegFile again = RegFile::Parse(file.Serialize());
  for (int i = 0; i < 300; ++i) {
    const std::string key = "HKEY_CURRENT_USER\\Software\\K" + std::to_string(i);
    EXPECT_EQ(again.Get(key, "v")->data, std::to_string(i)) << key;
    EXPECT_EQ(file.Get(key, "v")->data, std::to_string(i)) << key;
    const bool written = (299 - i) % 13 == 0;
    EXPECT_EQ(again.Get(key, "n2").has_value(), written) << key;
  }
  const std::string out = file.Serialize();
  EXPECT_EQ(out.find('\r'), std::string::npos);  // LF, as the file has it
  EXPECT_NE(out.find("[HKEY_CURRENT_USER\\Software\\K12]\n\"v\"=\"12\"\n; note\n"),
            std::string::npos);  // untouched
  EXPECT_TRUE(out.ends_with("\"late\"=\"x\"\n\"n0\"=\"13\"\n\"n1\"=\"13\"\n\"n2\"=\"13\"\n"));
  EXPECT_NE(out.find("\"v\"=\"26\"\n\"n0\"=\"26\"\n\"n1\"=\"26\"\n\"n2\"=\"26\"\n; note\n"),
            std::string::npos);
}

}  // namespace
}  // namespace cs::platform
