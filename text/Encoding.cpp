#include "text/Encoding.h"

#include <cstdint>
#include <cstring>

namespace {

bool startsWith(std::string_view bytes, std::string_view mark)
{
    return bytes.size() >= mark.size() && bytes.substr(0, mark.size()) == mark;
}

constexpr std::string_view kUtf8Mark("\xEF\xBB\xBF", 3);
constexpr std::string_view kUtf16LittleEndianMark("\xFF\xFE", 2);
constexpr std::string_view kUtf16BigEndianMark("\xFE\xFF", 2);

} // namespace

TextEncoding detectEncoding(std::string_view bytes)
{
    if (startsWith(bytes, kUtf8Mark))
        return TextEncoding::Utf8WithMark;
    if (startsWith(bytes, kUtf16LittleEndianMark) || startsWith(bytes, kUtf16BigEndianMark))
        return TextEncoding::Utf16;
    bool multiByte = false;
    if (isWellFormedUtf8(bytes, &multiByte) && multiByte)
        return TextEncoding::Utf8;
    return TextEncoding::Ansi;
}

size_t markLength(TextEncoding encoding)
{
    switch (encoding) {
    case TextEncoding::Utf8WithMark:
        return kUtf8Mark.size();
    case TextEncoding::Utf16:
        return kUtf16LittleEndianMark.size();
    case TextEncoding::Ansi:
    case TextEncoding::Utf8:
        break;
    }
    return 0;
}

bool isWellFormedUtf8(std::string_view bytes, bool* multiByte)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* const end = p + bytes.size();
    bool sawMultiByte = false;
    while (p < end) {
        // Runs of ASCII, the bulk of every file, eight bytes at a time.
        while (end - p >= 8) {
            uint64_t word = 0;
            std::memcpy(&word, p, sizeof word);
            if (word & UINT64_C(0x8080808080808080))
                break;
            p += 8;
        }
        if (p == end)
            break;
        const unsigned char lead = *p;
        if (lead < 0x80) {
            ++p;
            continue;
        }

        // Lead byte: how many continuation bytes follow, and the smallest
        // code point that needs this many (anything below is overlong).
        ptrdiff_t following = 0;
        uint32_t codePoint = 0;
        uint32_t smallest = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            following = 1;
            codePoint = lead & 0x1Fu;
            smallest = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            following = 2;
            codePoint = lead & 0x0Fu;
            smallest = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            following = 3;
            codePoint = lead & 0x07u;
            smallest = 0x10000;
        } else {
            return false; // a continuation byte without a lead, C0, C1 or F5 to FF
        }
        if (end - p <= following)
            return false; // cut off by the end of the file
        for (ptrdiff_t i = 1; i <= following; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                return false;
            codePoint = (codePoint << 6) | (p[i] & 0x3Fu);
        }
        if (codePoint < smallest || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
            return false;
        sawMultiByte = true;
        p += following + 1;
    }
    if (multiByte)
        *multiByte = sawMultiByte;
    return true;
}
