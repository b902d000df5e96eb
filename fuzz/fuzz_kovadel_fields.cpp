// The data-access library's side of the records' text fields on any bytes:
// reading a field and writing what was read gives the field back, writing
// never touches a byte outside its field, and text cut to a field's width
// never leaves half a character behind.
#include "fuzz/FuzzSupport.h"

#include "encoding/CodePage.h"
#include "encoding/Utf8.h"
#include "kovadel/ByteForms.h"

#include <kovadel/layout.h>

#include <QString>
#include <QStringDecoder>

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr uint8_t kGuard = 0xA5;
constexpr size_t kGuardSize = 8;

// A field of `size` bytes between guard bytes, on the heap at its exact size.
struct GuardedField {
    explicit GuardedField(size_t size)
        : bytes(size + 2 * kGuardSize, kGuard)
        , size(size)
    {
    }
    unsigned char* field() { return bytes.data() + kGuardSize; }
    bool guardsIntact() const
    {
        for (size_t i = 0; i < kGuardSize; ++i)
            if (bytes[i] != kGuard || bytes[kGuardSize + size + i] != kGuard)
                return false;
        return true;
    }
    std::vector<unsigned char> bytes;
    size_t size;
};

QString shownUtf8(std::string_view text);

// UTF-8 decoded by Qt, a U+FEFF at the start kept as a character. `ok` tells
// whether the bytes were well-formed (a U+FFFD written out in them included).
QString decodeUtf8(std::string_view text, bool* ok = nullptr)
{
    const QByteArray bytes(text.data(), static_cast<qsizetype>(text.size()));
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    const QString decoded = decoder.decode(bytes);
    if (ok)
        *ok = !decoder.hasError() && decoded.toUtf8() == bytes;
    return decoded;
}

QString shownUtf8(std::string_view text) { return visible(decodeUtf8(text)); }

bool wellFormedUtf8(std::string_view text)
{
    bool ok = false;
    decodeUtf8(text, &ok);
    return ok;
}

constexpr std::string_view kReplacementUtf8("\xEF\xBF\xBD", 3);

bool hasPadAtEnds(std::string_view text)
{
    auto pad = [](char c) { return c == ' ' || c == '\0'; };
    return !text.empty() && (pad(text.front()) || pad(text.back()));
}

std::string replacementAsQuestionMark(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    size_t from = 0;
    for (size_t at = text.find(kReplacementUtf8); at != std::string_view::npos;
         at = text.find(kReplacementUtf8, from)) {
        out.append(text.substr(from, at - from));
        out.push_back('?');
        from = at + kReplacementUtf8.size();
    }
    out.append(text.substr(from));
    return out;
}

void checkAnsiField(std::string_view input, size_t width)
{
    // Read a field of the input's bytes, then write what was read.
    std::vector<unsigned char> source(width, 0);
    std::memcpy(source.data(), input.data(), std::min(width, input.size()));
    const std::string read = kovadel::getAnsiText(source.data(), 0, width);
    FUZZ_CHECK(wellFormedUtf8(read) && !hasPadAtEnds(read), shownUtf8(read));

    GuardedField written(width);
    kovadel::putAnsiText(written.field(), 0, width, read);
    FUZZ_CHECK(written.guardsIntact(), shownUtf8(read));
    // A byte the code page leaves undefined was read as U+FFFD, which is
    // written as '?'; everything else comes back.
    const std::string again = kovadel::getAnsiText(written.field(), 0, width);
    FUZZ_CHECK(again == replacementAsQuestionMark(read), shownUtf8(read) + QStringLiteral(" -> ") + shownUtf8(again));

    // Any text, cut to the width: nothing outside the field is written.
    GuardedField any(width);
    kovadel::putAnsiText(any.field(), 0, width, input);
    FUZZ_CHECK(any.guardsIntact(), shownUtf8(input));
    const std::string anyRead = kovadel::getAnsiText(any.field(), 0, width);
    FUZZ_CHECK(wellFormedUtf8(anyRead) && !hasPadAtEnds(anyRead), shownUtf8(anyRead));
}

void checkUtf16Field(std::string_view input, size_t width)
{
    std::vector<unsigned char> source(2 * width, 0);
    std::memcpy(source.data(), input.data(), std::min(2 * width, input.size()));
    const std::string read = kovadel::getUtf16Text(source.data(), 0, width);
    FUZZ_CHECK(wellFormedUtf8(read) && !hasPadAtEnds(read), shownUtf8(read));

    // What was read fits the field and comes back unchanged.
    GuardedField written(2 * width);
    kovadel::putUtf16Text(written.field(), 0, width, read);
    FUZZ_CHECK(written.guardsIntact(), shownUtf8(read));
    const std::string again = kovadel::getUtf16Text(written.field(), 0, width);
    FUZZ_CHECK(again == read, shownUtf8(read) + QStringLiteral(" -> ") + shownUtf8(again));

    // Any text, cut to the width: nothing outside the field is written, and a
    // well-formed text never comes back with half a surrogate pair (U+FFFD).
    GuardedField any(2 * width);
    kovadel::putUtf16Text(any.field(), 0, width, input);
    FUZZ_CHECK(any.guardsIntact(), shownUtf8(input));
    const std::string anyRead = kovadel::getUtf16Text(any.field(), 0, width);
    FUZZ_CHECK(wellFormedUtf8(anyRead), shownUtf8(anyRead));
    if (wellFormedUtf8(input) && input.find(kReplacementUtf8) == std::string_view::npos)
        FUZZ_CHECK(anyRead.find(kReplacementUtf8) == std::string::npos,
                   shownUtf8(input) + QStringLiteral(" -> ") + shownUtf8(anyRead));
}

void checkConversions(std::string_view input)
{
    // Well-formed UTF-8 decodes as every decoder decodes it; anything else
    // decodes too, never to more units than bytes.
    const std::u16string units = encoding::utf8ToUtf16(input);
    FUZZ_CHECK(units.size() <= input.size(), shownUtf8(input));
    if (wellFormedUtf8(input)) {
        const QString expected = decodeUtf8(input);
        FUZZ_CHECK(units == std::u16string_view(reinterpret_cast<const char16_t*>(expected.utf16()),
                                                static_cast<size_t>(expected.size())),
                   shownUtf8(input));
    }

    // The code page's UTF-8 table agrees with the code page's units as Qt
    // encodes them, and with the conversion through UTF-16.
    const std::u16string ansiUnits = encoding::ansiToUtf16(input);
    const QByteArray expectedUtf8
        = QString::fromUtf16(ansiUnits.data(), static_cast<qsizetype>(ansiUnits.size())).toUtf8();
    const std::string ansiUtf8 = encoding::ansiToUtf8(input);
    FUZZ_CHECK(ansiUtf8 == std::string_view(expectedUtf8.constData(), static_cast<size_t>(expectedUtf8.size())),
               shownUtf8(input));
    FUZZ_CHECK(ansiUtf8 == encoding::utf16ToUtf8(ansiUnits), shownUtf8(input));
}

void checkStatusText(std::string_view input)
{
    GuardedField status(KV_STATUS_SIZE);
    std::vector<unsigned char> before(status.bytes);
    kovadel::putStatusText(status.field(), input);
    FUZZ_CHECK(status.guardsIntact(), shownUtf8(input));
    // Only StatusText1 is written.
    for (size_t i = KV_STATUS_TEXT1 + KV_STATUS_TEXT1_LEN; i < KV_STATUS_SIZE; ++i)
        FUZZ_CHECK(status.field()[i] == kGuard, shownUtf8(input));
    if (input.empty())
        for (size_t i = 0; i < KV_STATUS_TEXT1_LEN; ++i)
            FUZZ_CHECK(status.field()[KV_STATUS_TEXT1 + i] == ' ', QStringLiteral("empty reason"));
    kovadel::putStatusText(nullptr, input); // no record: nothing happens
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    for (const size_t width : {size_t {1}, size_t {KV_DEFAULTS_KEY_LEN}, size_t {KV_MODULE_NAME_LEN}})
        checkAnsiField(input, width);
    for (const size_t width : {size_t {1}, size_t {2}, size_t {KV_SYSTEM_NAME_LEN}})
        checkUtf16Field(input, width);
    checkConversions(input);
    checkStatusText(input);
    return 0;
}
