// Text at the program's boundaries. Inside the program text is UTF-8; INI files, the registry
// file and the log are Windows-1252, the ANSI code page of a United States system.
#pragma once

#include <string>
#include <string_view>

namespace cs::platform {

// UTF-8 to Windows-1252. A character that Windows-1252 lacks, or a malformed UTF-8 sequence,
// becomes "?".
std::string Utf8ToAnsi(std::string_view utf8);

// Windows-1252 to UTF-8. The five bytes that Windows-1252 leaves undefined map to the C1 control
// characters of the same value, as Windows maps them, so every byte survives a round trip.
std::string AnsiToUtf8(std::string_view ansi);

// One code point appended as UTF-8; one UTF-8 sequence decoded at s[i], advancing i (a
// malformed sequence gives U+FFFD).
void AppendUtf8(std::string& out, char32_t c);
char32_t DecodeUtf8(std::string_view s, std::size_t& i);

// UTF-8 to UTF-16 and back, as Jet files hold text. A malformed UTF-8 sequence becomes U+FFFD; so
// does an unpaired surrogate going the other way.
std::u16string Utf8ToUtf16(std::string_view utf8);
// The same, appended to `out`.
void AppendUtf16(std::u16string& out, std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

// Upper and lower case of UTF-8 text for the letters of Windows-1252 (ASCII, Latin-1 and the
// few extra letters such as S with caron); other characters are kept as they are.
std::string UCase(std::string_view utf8);
std::string LCase(std::string_view utf8);

// True when the two texts are equal without regard to letter case (as above).
bool EqualsNoCase(std::string_view a, std::string_view b);

// Trims the given characters at both ends.
std::string_view Trim(std::string_view s, std::string_view chars = " \t");

// Replaces every occurrence of `from` (exact match) by `to`.
std::string ReplaceAll(std::string_view s, std::string_view from, std::string_view to);

}  // namespace cs::platform
