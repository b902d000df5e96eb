// Conversion between the ANSI code page, UTF-16 and UTF-8.
//
// The ANSI code page is Windows-1252 unless the environment variable
// VELKINDEX_CODEPAGE names another single-byte code page known to iconv.
// Its byte table is read from iconv once, at first use.
#pragma once

#include <string>
#include <string_view>

namespace kovadel {

// The code page in use, as iconv names it ("WINDOWS-1252" by default).
const std::string& ansiCodePageName();

// An empty string when the code page can be used, otherwise why not
// (unknown to iconv, or not a single-byte code page), as one line that names
// the variable and its value. The program and the library refuse to start
// with such a setting.
const std::string& ansiCodePageProblem();

// One byte gives one UTF-16 code unit. A byte that the code page leaves
// undefined becomes U+FFFD.
std::u16string ansiToUtf16(std::string_view ansi);

// One code unit gives one byte, so text keeps its length. A character that the
// code page cannot represent becomes '?'.
std::string utf16ToAnsi(std::u16string_view text);

// Whether the code page has a byte for this code unit, so that it comes back
// unchanged from the round trip through the code page. NUL always has one.
bool ansiRepresents(char16_t unit);

// The same two conversions into a caller's buffer of `size` units, without
// allocating: for the fixed-width record fields.
void ansiToUtf16(const char* ansi, size_t size, char16_t* out);
void utf16ToAnsi(const char16_t* text, size_t size, char* out);

std::string utf16ToUtf8(std::u16string_view text);

// Invalid UTF-8 bytes become U+FFFD.
std::u16string utf8ToUtf16(std::string_view utf8);

inline std::string ansiToUtf8(std::string_view ansi) { return utf16ToUtf8(ansiToUtf16(ansi)); }
inline std::string utf8ToAnsi(std::string_view utf8) { return utf16ToAnsi(utf8ToUtf16(utf8)); }

} // namespace kovadel
