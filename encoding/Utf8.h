// UTF-8: the form of the database's text, of most input files and of most
// file names. One decoder of a sequence and one encoder serve every
// conversion; a sequence is well-formed when it is the shortest form of a
// code point up to U+10FFFF that is no surrogate.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace encoding {

// The length (1 to 4) of the well-formed sequence that starts at `at`, with
// `left` bytes available there, and its code point in `value`; 0 when none
// starts there (a stray continuation byte, a cut-off sequence, an overlong
// form, a surrogate, or more than U+10FFFF).
int utf8Sequence(const unsigned char* at, size_t left, char32_t& value);

// Writes the UTF-8 form of `value` (at most U+10FFFF) to `out` and returns
// its length, 1 to 4.
int encodeUtf8(char32_t value, char out[4]);

// True when the bytes are well-formed UTF-8 throughout. `multiByte` tells
// whether there was at least one sequence of 2 to 4 bytes.
bool isWellFormedUtf8(std::string_view bytes, bool* multiByte = nullptr);

// UTF-8 as UTF-16; every byte at which no well-formed sequence starts
// becomes one U+FFFD.
std::u16string utf8ToUtf16(std::string_view utf8);

// UTF-16 as UTF-8: surrogate pairs joined, a lone surrogate as U+FFFD.
std::string utf16ToUtf8(std::u16string_view text);

} // namespace encoding
