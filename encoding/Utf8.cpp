#include "encoding/Utf8.h"

#include <cstdint>
#include <cstring>

namespace encoding {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool isHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool isLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

} // namespace

int utf8Sequence(const unsigned char* at, size_t left, char32_t& value)
{
    if (left == 0)
        return 0;
    const unsigned char lead = at[0];
    if (lead < 0x80) {
        value = lead;
        return 1;
    }
    // Lead byte: how many bytes the sequence has, and the smallest code point
    // that needs this many (anything below is overlong).
    int length = 0;
    char32_t smallest = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1Fu;
        smallest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0Fu;
        smallest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07u;
        smallest = 0x10000;
    } else {
        return 0; // a continuation byte without a lead, C0, C1 or F5 to FF
    }
    if (left < static_cast<size_t>(length))
        return 0; // cut off
    for (int i = 1; i < length; ++i) {
        if ((at[i] & 0xC0u) != 0x80u)
            return 0;
        value = (value << 6) | (at[i] & 0x3Fu);
    }
    if (value < smallest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    return length;
}

int encodeUtf8(char32_t value, char out[4])
{
    if (value < 0x80) {
        out[0] = static_cast<char>(value);
        return 1;
    }
    if (value < 0x800) {
        out[0] = static_cast<char>(0xC0 | (value >> 6));
        out[1] = static_cast<char>(0x80 | (value & 0x3F));
        return 2;
    }
    if (value < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (value >> 12));
        out[1] = static_cast<char>(0x80 | ((value >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (value & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (value >> 18));
    out[1] = static_cast<char>(0x80 | ((value >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((value >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (value & 0x3F));
    return 4;
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
        char32_t value = 0;
        const int length = utf8Sequence(p, static_cast<size_t>(end - p), value);
        if (length == 0)
            return false;
        if (length > 1)
            sawMultiByte = true;
        p += length;
    }
    if (multiByte)
        *multiByte = sawMultiByte;
    return true;
}

std::u16string utf8ToUtf16(std::string_view utf8)
{
    std::u16string out;
    out.reserve(utf8.size());
    const auto* data = reinterpret_cast<const unsigned char*>(utf8.data());
    size_t i = 0;
    while (i < utf8.size()) {
        char32_t c = 0;
        const int length = utf8Sequence(data + i, utf8.size() - i, c);
        if (length == 0) {
            out += kReplacement;
            ++i;
            continue;
        }
        if (c >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
        i += static_cast<size_t>(length);
    }
    return out;
}

std::string utf16ToUtf8(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size() + 8);
    char encoded[4];
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        char32_t value = c;
        if (isHighSurrogate(c) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
            value = 0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00);
            ++i;
        } else if (isHighSurrogate(c) || isLowSurrogate(c)) {
            value = kReplacement;
        }
        out.append(encoded, static_cast<size_t>(encodeUtf8(value, encoded)));
    }
    return out;
}

} // namespace encoding
