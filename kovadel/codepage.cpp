#include "kovadel/codepage.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <iconv.h>
#include <memory>
#include <mutex>

namespace kovadel {
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

bool ansiRepresents(char16_t unit) { return unit == 0 || codePage().fromUnicode[unit] != 0; }

void ansiToUtf16(const char* ansi, size_t size, char16_t* out)
{
    const CodePage& cp = codePage();
    for (size_t i = 0; i < size; ++i)
        out[i] = cp.toUnicode[static_cast<unsigned char>(ansi[i])];
}

void utf16ToAnsi(const char16_t* text, size_t size, char* out)
{
    const CodePage& cp = codePage();
    for (size_t i = 0; i < size; ++i) {
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

// Runs iconv over the whole input. Invalid input units are replaced by
// `replacement` (already in the target encoding) and conversion goes on.
std::string convert(const char* to, const char* from, const char* data, size_t size, size_t unit,
                    std::string_view replacement)
{
    thread_local struct Cache {
        std::string key;
        iconv_t cd = reinterpret_cast<iconv_t>(-1);
        ~Cache()
        {
            if (cd != reinterpret_cast<iconv_t>(-1))
                iconv_close(cd);
        }
    } cache;
    const std::string key = std::string(to) + '<' + from;
    if (cache.key != key) {
        if (cache.cd != reinterpret_cast<iconv_t>(-1))
            iconv_close(cache.cd);
        cache.cd = iconv_open(to, from);
        cache.key = key;
    }
    std::string out;
    if (cache.cd == reinterpret_cast<iconv_t>(-1) || size == 0)
        return out;
    iconv(cache.cd, nullptr, nullptr, nullptr, nullptr);
    out.resize(size * 2 + 16);
    char* in = const_cast<char*>(data);
    size_t inLeft = size;
    size_t done = 0;
    while (inLeft > 0) {
        char* outPtr = out.data() + done;
        size_t outLeft = out.size() - done;
        const size_t rc = iconv(cache.cd, &in, &inLeft, &outPtr, &outLeft);
        done = out.size() - outLeft;
        if (rc != static_cast<size_t>(-1))
            break;
        if (errno == E2BIG) {
            out.resize(out.size() * 2);
        } else { // EILSEQ or EINVAL: skip one input unit
            const size_t skip = inLeft < unit ? inLeft : unit;
            in += skip;
            inLeft -= skip;
            out.resize(std::max(out.size(), done + replacement.size() + inLeft * 2 + 16));
            out.replace(done, replacement.size(), replacement);
            done += replacement.size();
        }
    }
    out.resize(done);
    return out;
}

} // namespace

std::string utf16ToUtf8(std::u16string_view text)
{
    return convert("UTF-8", "UTF-16LE", reinterpret_cast<const char*>(text.data()), text.size() * 2, 2,
                   "\xEF\xBF\xBD");
}

std::u16string utf8ToUtf16(std::string_view utf8)
{
    const std::string bytes = convert("UTF-16LE", "UTF-8", utf8.data(), utf8.size(), 1, std::string_view("\xFD\xFF", 2));
    std::u16string out(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                       (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    return out;
}

} // namespace kovadel
