#include "ByteForms.h"

#include "encoding/CodePage.h"
#include "encoding/Utf8.h"
#include "kovadel/layout.h"

#include <cstring>

namespace kovadel {

namespace {

    bool isPad(unsigned char c) { return c == ' ' || c == '\0'; }
    bool isPad16(char16_t c) { return c == u' ' || c == u'\0'; }

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

void getAnsiText(const unsigned char* record, size_t offset, size_t width, std::string& out)
{
    const unsigned char* begin = record + offset;
    const unsigned char* end = begin + width;
    while (begin < end && isPad(*begin))
        ++begin;
    while (end > begin && isPad(end[-1]))
        --end;
    encoding::ansiToUtf8(std::string_view(reinterpret_cast<const char*>(begin), static_cast<size_t>(end - begin)), out);
}

std::string getAnsiText(const unsigned char* record, size_t offset, size_t width)
{
    std::string out;
    getAnsiText(record, offset, width, out);
    return out;
}

void putAnsiText(unsigned char* record, size_t offset, size_t width, std::string_view utf8)
{
    std::u16string text = encoding::utf8ToUtf16(utf8);
    if (text.size() > width)
        text.resize(width);
    const std::string ansi = encoding::utf16ToAnsi(text); // one byte per unit
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
    return encoding::utf16ToUtf8(std::u16string_view(text).substr(begin, end - begin));
}

void putUtf16Text(unsigned char* element, size_t offset, size_t width, std::string_view utf8)
{
    std::u16string text = encoding::utf8ToUtf16(utf8);
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
