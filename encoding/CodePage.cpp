#include "encoding/CodePage.h"

#include "encoding/Utf8.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iconv.h>
#include <memory>

namespace encoding {
namespace {

constexpr char16_t kReplacement = u'\uFFFD';

// Byte table of a single-byte code page, read from iconv: byte -> UTF-16 unit,
// and the reverse map for the Basic Multilingual Plane.
struct CodePage {
    std::string name;
    std::string problem;
    std::array<char16_t, 256> toUnicode {};
    std::unique_ptr<unsigned char[]> fromUnicode; // 65536 entries, 0 = not representable
    std::array<bool, 256> defined {};
    // Every byte below 0x80 is the ASCII character of that number, as in all
    // the Windows and ISO code pages: ASCII text then needs no table.
    bool asciiIdentity = false;
};

// Decodes one byte with iconv; returns false when the code page leaves it
// undefined or maps it to more than one UTF-16 unit.
bool decodeByte(iconv_t cd, unsigned char byte, char16_t& out)
{
    char in[1] = {static_cast<char>(byte)};
    char buffer[8] = {};
    char* inPtr = in;
    size_t inLeft = 1;
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1))
        return false;
    if (sizeof buffer - outLeft != 2)
        return false;
    out = static_cast<char16_t>(static_cast<unsigned char>(buffer[0]) | (static_cast<unsigned char>(buffer[1]) << 8));
    return true;
}

CodePage loadCodePage()
{
    CodePage cp;
    const char* env = std::getenv("VELKINDEX_CODEPAGE");
    cp.name = (env && *env) ? env : "WINDOWS-1252";
    // A problem names the variable and its value, on one line.
    std::string shown;
    for (const char c : cp.name)
        shown += static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? '?' : c;
    const std::string setting
        = (env && *env) ? "VELKINDEX_CODEPAGE is \"" + shown + "\"" : "the default code page " + shown;
    const std::string advice = "name a single-byte code page such as ISO-8859-15, or leave VELKINDEX_CODEPAGE "
                               "empty for Windows-1252";
    cp.fromUnicode = std::make_unique<unsigned char[]>(65536);
    for (auto& unit : cp.toUnicode)
        unit = kReplacement;

    iconv_t cd = iconv_open("UTF-16LE", cp.name.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        cp.problem = setting + ", which iconv does not know as a code page: " + advice;
    } else {
        int definedCount = 0;
        for (int b = 0; b < 256; ++b) {
            char16_t unit = 0;
            if (decodeByte(cd, static_cast<unsigned char>(b), unit)) {
                cp.toUnicode[b] = unit;
                cp.defined[b] = true;
                ++definedCount;
            }
        }
        iconv_close(cd);
        // A multi-byte code page leaves its lead bytes undefined on their own
        // and maps most of the upper half nowhere.
        if (definedCount < 200)
            cp.problem = setting + ", which is not a single-byte code page: " + advice;
    }
    if (!cp.problem.empty()) {
        // Fall back to Latin-1 so that text still round-trips byte for byte.
        for (int b = 0; b < 256; ++b) {
            cp.toUnicode[b] = static_cast<char16_t>(b);
            cp.defined[b] = true;
        }
    }
    // Reverse map; the first byte that gives a character wins.
    for (int b = 255; b >= 1; --b)
        if (cp.defined[b])
            cp.fromUnicode[cp.toUnicode[b]] = static_cast<unsigned char>(b);
    cp.asciiIdentity = true;
    for (int b = 0; b < 0x80; ++b)
        cp.asciiIdentity = cp.asciiIdentity && cp.defined[b] && cp.toUnicode[b] == static_cast<char16_t>(b);
    return cp;
}

const CodePage& codePage()
{
    static const CodePage cp = loadCodePage();
    return cp;
}

} // namespace

const std::string& ansiCodePageName() { return codePage().name; }

const std::string& ansiCodePageProblem() { return codePage().problem; }

const std::array<char16_t, 256>& ansiUnits() { return codePage().toUnicode; }

bool ansiRepresents(char16_t unit) { return unit == 0 || codePage().fromUnicode[unit] != 0; }

void ansiToUtf16(const char* ansi, size_t size, char16_t* out)
{
    const CodePage& cp = codePage();
    for (size_t i = 0; i < size; ++i)
        out[i] = cp.toUnicode[static_cast<unsigned char>(ansi[i])];
}

namespace {

    // Whether the eight bytes at `p` are all below 0x80.
    bool asciiWord(const char* p)
    {
        uint64_t word;
        std::memcpy(&word, p, sizeof word);
        return (word & 0x8080808080808080ull) == 0;
    }

} // namespace

void utf16ToAnsi(const char16_t* text, size_t size, char* out)
{
    const CodePage& cp = codePage();
    size_t i = 0;
    if (cp.asciiIdentity) {
        // Runs of ASCII are narrowed eight units at a time.
        while (i + 8 <= size) {
            char16_t any = 0;
            for (size_t k = 0; k < 8; ++k)
                any |= text[i + k];
            if (any >= 0x80)
                break;
            for (size_t k = 0; k < 8; ++k)
                out[i + k] = static_cast<char>(text[i + k]);
            i += 8;
        }
    }
    for (; i < size; ++i) {
        const char16_t unit = text[i];
        if (unit == 0) {
            out[i] = '\0';
            continue;
        }
        const unsigned char b = cp.fromUnicode[unit];
        out[i] = b ? static_cast<char>(b) : '?';
    }
}

std::u16string ansiToUtf16(std::string_view ansi)
{
    std::u16string out(ansi.size(), u'\0');
    ansiToUtf16(ansi.data(), ansi.size(), out.data());
    return out;
}

std::string utf16ToAnsi(std::u16string_view text)
{
    std::string out(text.size(), '\0');
    utf16ToAnsi(text.data(), text.size(), out.data());
    return out;
}

namespace {

// The UTF-8 form of each of the 256 bytes (at most three bytes: the code
// page's characters are all in the Basic Multilingual Plane).
struct Utf8Table {
    struct Entry {
        char bytes[3];
        unsigned char size;
    };
    std::array<Entry, 256> utf8 {};
    Utf8Table()
    {
        const std::array<char16_t, 256>& units = ansiUnits();
        for (size_t b = 0; b < utf8.size(); ++b) {
            char encoded[4];
            const int size = encodeUtf8(units[b], encoded);
            utf8[b].size = static_cast<unsigned char>(size);
            std::memcpy(utf8[b].bytes, encoded, static_cast<size_t>(size));
        }
    }
};

} // namespace

void ansiToUtf8(std::string_view ansi, std::string& out)
{
    // ASCII text is its own UTF-8.
    if (codePage().asciiIdentity) {
        size_t i = 0;
        while (i + 8 <= ansi.size() && asciiWord(ansi.data() + i))
            i += 8;
        while (i < ansi.size() && static_cast<unsigned char>(ansi[i]) < 0x80)
            ++i;
        if (i == ansi.size()) {
            out.assign(ansi);
            return;
        }
    }
    static const Utf8Table table;
    out.resize(ansi.size() * 3);
    char* p = out.data();
    for (const char c : ansi) {
        const Utf8Table::Entry& e = table.utf8[static_cast<unsigned char>(c)];
        p[0] = e.bytes[0];
        p[1] = e.bytes[1];
        p[2] = e.bytes[2];
        p += e.size;
    }
    out.resize(static_cast<size_t>(p - out.data()));
}

std::string ansiToUtf8(std::string_view ansi)
{
    std::string out;
    ansiToUtf8(ansi, out);
    return out;
}

} // namespace encoding
