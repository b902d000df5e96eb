#include "ByteForms.h"

#include "kovadel/codepage.h"
#include "kovadel/layout.h"

#include <array>
#include <cstring>

namespace kovadel {

namespace {

    constexpr char16_t kReplacement = 0xFFFD;

    bool isPad(unsigned char c) { return c == ' ' || c == '\0'; }
    bool isPad16(char16_t c) { return c == u' ' || c == u'\0'; }

    void appendUtf8(std::string& out, char32_t c)
    {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }

    // UTF-16 (pairs joined, a lone surrogate replaced) as UTF-8.
    std::string utf16AsUtf8(std::u16string_view text)
    {
        std::string out;
        out.reserve(text.size() + 8);
        for (size_t i = 0; i < text.size(); ++i) {
            const char16_t c = text[i];
            if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
                appendUtf8(out, 0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00));
                ++i;
            } else if (c >= 0xD800 && c <= 0xDFFF) {
                appendUtf8(out, kReplacement);
            } else {
                appendUtf8(out, c);
            }
        }
        return out;
    }

    // The UTF-8 form of each of the 256 bytes of the ANSI code page (at most
    // three bytes: the code page's characters are all in the BMP).
    struct AnsiTable {
        struct Entry {
            char bytes[3];
            unsigned char size;
        };
        std::array<Entry, 256> utf8 {};
        AnsiTable()
        {
            std::string bytes(256, '\0');
            for (int b = 0; b < 256; ++b)
                bytes[b] = static_cast<char>(b);
            const std::u16string units = ansiToUtf16(bytes);
            for (int b = 0; b < 256; ++b) {
                std::string encoded;
                appendUtf8(encoded, units[b]);
                utf8[b].size = static_cast<unsigned char>(encoded.size());
                std::memcpy(utf8[b].bytes, encoded.data(), encoded.size());
            }
        }
    };

    const AnsiTable& ansiTable()
    {
        static const AnsiTable table;
        return table;
    }

} // namespace

int32_t getInt32(const unsigned char* record, size_t offset)
{
    const unsigned char* p = record + offset;
    const uint32_t value = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8)
        | (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
    return static_cast<int32_t>(value);
}

void putInt32(unsigned char* record, size_t offset, int32_t value)
{
    const uint32_t bits = static_cast<uint32_t>(value);
    unsigned char* p = record + offset;
    p[0] = static_cast<unsigned char>(bits);
    p[1] = static_cast<unsigned char>(bits >> 8);
    p[2] = static_cast<unsigned char>(bits >> 16);
    p[3] = static_cast<unsigned char>(bits >> 24);
}

std::string ansiAsUtf8(std::string_view ansi)
{
    const AnsiTable& table = ansiTable();
    std::string out(ansi.size() * 3, '\0');
    char* p = out.data();
    for (const char c : ansi) {
        const AnsiTable::Entry& e = table.utf8[static_cast<unsigned char>(c)];
        p[0] = e.bytes[0];
        p[1] = e.bytes[1];
        p[2] = e.bytes[2];
        p += e.size;
    }
    out.resize(static_cast<size_t>(p - out.data()));
    return out;
}

std::u16string utf8AsUtf16(std::string_view utf8)
{
    std::u16string out;
    out.reserve(utf8.size());
    size_t i = 0;
    while (i < utf8.size()) {
        const unsigned char b = static_cast<unsigned char>(utf8[i]);
        int length = 0;
        char32_t c = 0;
        if (b < 0x80) {
            length = 1;
            c = b;
        } else if ((b & 0xE0) == 0xC0) {
            length = 2;
            c = b & 0x1F;
        } else if ((b & 0xF0) == 0xE0) {
            length = 3;
            c = b & 0x0F;
        } else if ((b & 0xF8) == 0xF0) {
            length = 4;
            c = b & 0x07;
        }
        bool valid = length > 0 && i + length <= utf8.size();
        for (int k = 1; valid && k < length; ++k) {
            const unsigned char next = static_cast<unsigned char>(utf8[i + k]);
            valid = (next & 0xC0) == 0x80;
            c = (c << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and values beyond Unicode are invalid.
        static constexpr char32_t minimum[5] = { 0, 0, 0x80, 0x800, 0x10000 };
        if (!valid || c < minimum[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
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
        i += length;
    }
    return out;
}

std::string getAnsiText(const unsigned char* record, size_t offset, size_t width)
{
    const unsigned char* begin = record + offset;
    const unsigned char* end = begin + width;
    while (begin < end && isPad(*begin))
        ++begin;
    while (end > begin && isPad(end[-1]))
        --end;
    return ansiAsUtf8(std::string_view(reinterpret_cast<const char*>(begin), static_cast<size_t>(end - begin)));
}

void putAnsiText(unsigned char* record, size_t offset, size_t width, std::string_view utf8)
{
    std::u16string text = utf8AsUtf16(utf8);
    if (text.size() > width)
        text.resize(width);
    const std::string ansi = utf16ToAnsi(text); // one byte per unit
    std::memcpy(record + offset, ansi.data(), ansi.size());
    std::memset(record + offset + ansi.size(), ' ', width - ansi.size());
}

std::string getUtf16Text(const unsigned char* element, size_t offset, size_t width)
{
    std::u16string text(width, u'\0');
    for (size_t i = 0; i < width; ++i) {
        const unsigned char* p = element + offset + 2 * i;
        text[i] = static_cast<char16_t>(p[0] | (p[1] << 8));
    }
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && isPad16(text[begin]))
        ++begin;
    while (end > begin && isPad16(text[end - 1]))
        --end;
    return utf16AsUtf8(std::u16string_view(text).substr(begin, end - begin));
}

void putUtf16Text(unsigned char* element, size_t offset, size_t width, std::string_view utf8)
{
    std::u16string text = utf8AsUtf16(utf8);
    if (text.size() > width) {
        text.resize(width);
        // Cutting between the halves of a surrogate pair would leave half a
        // character; the half goes and a blank takes its place.
        if (text.back() >= 0xD800 && text.back() <= 0xDBFF)
            text.pop_back();
    }
    for (size_t i = 0; i < width; ++i) {
        const char16_t unit = i < text.size() ? text[i] : u' ';
        unsigned char* p = element + offset + 2 * i;
        p[0] = static_cast<unsigned char>(unit & 0xFF);
        p[1] = static_cast<unsigned char>(unit >> 8);
    }
}

void putStatusText(void* status, std::string_view reason)
{
    if (!status)
        return;
    unsigned char* text = static_cast<unsigned char*>(status) + KV_STATUS_TEXT1;
    if (reason.empty()) {
        std::memset(text, ' ', KV_STATUS_TEXT1_LEN);
        return;
    }
    putAnsiText(text, 0, KV_STATUS_TEXT1_LEN, reason);
}

} // namespace kovadel
