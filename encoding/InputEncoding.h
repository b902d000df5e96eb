// How the bytes of an input file are to be read.
//
// Administrators save index, code and description files from whatever editor
// they have: Notepad's "ANSI", UTF-8 with or without a byte-order mark, now and
// then "Unicode" (UTF-16). The rule, taken from the whole content:
//
//   - EF BB BF at the start: UTF-8; the mark is not text.
//   - FF FE or FE FF at the start: UTF-16, which is refused.
//   - otherwise, well-formed UTF-8 holding at least one multi-byte sequence:
//     UTF-8.
//   - anything else (plain ASCII included): the ANSI code page.
#pragma once

#include <cstddef>
#include <string_view>

namespace encoding {

enum class TextEncoding {
    Ansi, // the ANSI code page (encoding/CodePage.h)
    Utf8, // UTF-8 without a mark
    Utf8WithMark, // UTF-8 after the mark EF BB BF
    Utf16, // begins with FF FE or FE FF: not read
};

TextEncoding detectEncoding(std::string_view bytes);

// Bytes of the mark at the start of the content (3 for Utf8WithMark, 2 for
// Utf16, 0 otherwise).
size_t markLength(TextEncoding form);

} // namespace encoding
