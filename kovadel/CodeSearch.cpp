#include "CodeSearch.h"

#include "encoding/Utf8.h"

#include <algorithm>

namespace kovadel {
namespace {

    bool even(char32_t c) { return c % 2 == 0; }

    bool isLetterOrDigit(char32_t c)
    {
        if (c < 0x80)
            return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        if (c == 0xAA || c == 0xB5 || c == 0xBA)
            return true;
        if (c >= 0xC0 && c <= 0x24F)
            return c != 0xD7 && c != 0xF7;
        return (c >= 0x370 && c <= 0x3FF && c != 0x37E && c != 0x387)
            || (c >= 0x400 && c <= 0x52F && (c < 0x482 || c > 0x489));
    }

    bool startsWith(const std::u32string& text, size_t at, const std::u32string& part)
    {
        return text.size() - at >= part.size() && std::equal(part.begin(), part.end(), text.begin() + at);
    }

    // Blanks (the space only) cut from both ends.
    std::string_view trimmed(std::string_view text)
    {
        const size_t begin = text.find_first_not_of(' ');
        if (begin == std::string_view::npos)
            return {};
        return text.substr(begin, text.find_last_not_of(' ') - begin + 1);
    }

} // namespace

char32_t foldCase(char32_t c)
{
    if (c < 0x80)
        return c >= 'A' && c <= 'Z' ? c + 0x20 : c;
    // Latin-1 Supplement
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
        return c + 0x20;
    // Latin Extended-A: mostly pairs, the capital first.
    if (c >= 0x100 && c <= 0x17F) {
        if (c == 0x130)
            return U'i'; // capital I with dot
        if (c == 0x178)
            return 0xFF; // capital Y with diaeresis
        if (c == 0x17F)
            return U's'; // long s
        if ((c <= 0x12F || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) && even(c))
            return c + 1;
        if (((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) && !even(c))
            return c + 1;
        return c;
    }
    // Greek
    if (c >= 0x386 && c <= 0x3AB) {
        if (c == 0x386)
            return 0x3AC;
        if (c >= 0x388 && c <= 0x38A)
            return c + 0x25;
        if (c == 0x38C)
            return 0x3CC;
        if (c == 0x38E || c == 0x38F)
            return c + 0x3F;
        if (c >= 0x391 && c != 0x3A2)
            return c + 0x20;
        return c;
    }
    if (c == 0x3C2)
        return 0x3C3; // final sigma
    // Cyrillic
    if (c >= 0x400 && c <= 0x40F)
        return c + 0x50;
    if (c >= 0x410 && c <= 0x42F)
        return c + 0x20;
    if (((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF) || (c >= 0x4D0 && c <= 0x52F)) && even(c))
        return c + 1;
    if (c == 0x4C0)
        return 0x4CF;
    if (c >= 0x4C1 && c <= 0x4CE && !even(c))
        return c + 1;
    return c;
}

std::u32string foldedText(std::string_view utf8)
{
    std::u32string out;
    out.reserve(utf8.size());
    const auto* at = reinterpret_cast<const unsigned char*>(utf8.data());
    size_t left = utf8.size();
    while (left > 0) {
        char32_t value = 0;
        int length = encoding::utf8Sequence(at, left, value);
        if (length == 0) {
            // Kept as itself, above every code point, so it matches only itself.
            value = 0x110000 + *at;
            length = 1;
        }
        out.push_back(foldCase(value));
        at += length;
        left -= static_cast<size_t>(length);
    }
    return out;
}

CodePattern::CodePattern(std::string_view utf8)
{
    const std::string_view pattern = trimmed(utf8);
    m_prefix = foldedText(pattern);
    size_t at = 0;
    while (at < pattern.size()) {
        const size_t end = std::min(pattern.find(' ', at), pattern.size());
        if (end > at)
            m_words.push_back(foldedText(pattern.substr(at, end - at)));
        at = end + 1;
    }
}

bool CodePattern::matches(std::string_view code, std::string_view description) const
{
    if (matchesAll())
        return true;
    if (startsWith(foldedText(trimmed(code)), 0, m_prefix))
        return true;
    const std::u32string text = foldedText(description);
    return std::all_of(m_words.begin(), m_words.end(), [&](const std::u32string& word) {
        for (size_t at = text.find(word); at != std::u32string::npos; at = text.find(word, at + 1))
            if (at == 0 || !isLetterOrDigit(text[at - 1]))
                return true;
        return false;
    });
}

} // namespace kovadel
