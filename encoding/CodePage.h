// The ANSI code page: the single-byte code page that input files without a
// UTF-8 form, the records' ANSI fields and the database's text are in.
//
// It is Windows-1252 unless the environment variable VELKINDEX_CODEPAGE names
// another single-byte code page known to iconv. Its byte table is read from
// iconv once, at first use; every conversion after that is a table look-up.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace encoding {

// The code page in use, as iconv names it ("WINDOWS-1252" by default).
const std::string& ansiCodePageName();

// An empty string when the code page can be used, otherwise why not
// (unknown to iconv, or not a single-byte code page), as one line that names
// the variable and its value. The program and the library refuse to start
// with such a setting.
const std::string& ansiCodePageProblem();

// The UTF-16 code unit of each of the 256 bytes. A byte that the code page
// leaves undefined gives U+FFFD.
const std::array<char16_t, 256>& ansiUnits();

// One byte gives one UTF-16 code unit (ansiUnits).
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

// ANSI text as UTF-8, through a table of each byte's UTF-8 form made once:
// the library runs it for every text field of every call.
std::string ansiToUtf8(std::string_view ansi);
// The same written over `out`, whose room is kept.
void ansiToUtf8(std::string_view ansi, std::string& out);

} // namespace encoding
