// The records' byte forms on any bytes: decoding a form and encoding the
// record again must give the same bytes, for every record's single form and
// for both element forms.
//
// What does not come back, precisely:
// - Padding bytes are not part of any field and are not carried: they are
//   zeroed in the input first, and the encoder must write them as 0.
// - In the single form text is in the code page, fixed to Windows-1252 here.
//   Five of its bytes are undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D): they decode
//   to U+FFFD, which the code page cannot represent, so they come back as '?'.
//   Every other byte of a text field, NUL included, comes back as it was.
// - The element form's text is UTF-16LE and carried unit for unit, so there
//   every byte comes back.
// Going the other way, a record whose text comes from an element form goes
// through the single form with each character the code page lacks as '?'.
#include "fuzz/FuzzSupport.h"

#include "store/ByteForms.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr std::array<uint8_t, 5> kUndefinedBytes {0x81, 0x8D, 0x8F, 0x90, 0x9D};

bool undefinedByte(uint8_t b) { return std::find(kUndefinedBytes.begin(), kUndefinedBytes.end(), b) != kUndefinedBytes.end(); }

// A byte of a text field after decoding and encoding again.
uint8_t ansiRoundTrip(uint8_t b) { return undefinedByte(b) ? uint8_t {'?'} : b; }

// Characters the code page can write, from its own byte table.
std::vector<bool>& representable()
{
    static std::vector<bool> chars(65536, false);
    return chars;
}

enum class Kind { Number, Ansi, Utf16 };

struct Field {
    size_t offset;
    size_t length; // in bytes
    Kind kind;
};

// The fields of each form, from kovadel/layout.h. A byte outside every field is padding.
const std::vector<Field> kModuleSingle {
    {KV_MODULE_ID, 4, Kind::Number},
    {KV_MODULE_NAME, KV_MODULE_NAME_LEN, Kind::Ansi},
    {KV_MODULE_PREFIX, KV_MODULE_PREFIX_LEN, Kind::Ansi},
};
const std::vector<Field> kTopicSingle {
    {KV_TOPIC_ID, 4, Kind::Number},
    {KV_TOPIC_MODULE, 4, Kind::Number},
    {KV_TOPIC_PARENT, 4, Kind::Number},
    {KV_TOPIC_HASCHILD, 4, Kind::Number},
    {KV_TOPIC_DOCUMENT, KV_TOPIC_DOCUMENT_LEN, Kind::Ansi},
    {KV_TOPIC_DESCRIPTION, KV_TOPIC_DESCRIPTION_LEN, Kind::Ansi},
};
const std::vector<Field> kCodeSingle {
    {KV_CODE_ID, 4, Kind::Number},
    {KV_CODE_CODE, KV_CODE_CODE_LEN, Kind::Ansi},
    {KV_CODE_SYSTEM, 4, Kind::Number},
    {KV_CODE_FLAG, 4, Kind::Number},
    {KV_CODE_DESCRIPTION, KV_CODE_DESCRIPTION_LEN, Kind::Ansi},
    {KV_CODE_DOCUMENT, KV_CODE_DOCUMENT_LEN, Kind::Ansi},
};
const std::vector<Field> kSystemSingle {
    {KV_SYSTEM_ID, 4, Kind::Number},
    {KV_SYSTEM_NAME, KV_SYSTEM_NAME_LEN, Kind::Ansi},
};
const std::vector<Field> kDefaultsSingle {
    {KV_DEFAULTS_KEY, KV_DEFAULTS_KEY_LEN, Kind::Ansi},
    {KV_DEFAULTS_SETTING02, 50, Kind::Ansi},
    {KV_DEFAULTS_SETTING03, 4, Kind::Number},
    {KV_DEFAULTS_SETTING04, 50, Kind::Ansi},
    {KV_DEFAULTS_SETTING05, 4, Kind::Number},
    {KV_DEFAULTS_SETTING06, 50, Kind::Ansi},
    {KV_DEFAULTS_MODULE, KV_DEFAULTS_MODULE_LEN, Kind::Ansi},
    {KV_DEFAULTS_SETTING08, 100, Kind::Ansi},
    {KV_DEFAULTS_SETTING09, 4, Kind::Number},
    {KV_DEFAULTS_SETTING10, 50, Kind::Ansi},
    {KV_DEFAULTS_SETTING11, 80, Kind::Ansi},
    {KV_DEFAULTS_SETTING12, 4, Kind::Number},
    {KV_DEFAULTS_SETTING13, 50, Kind::Ansi},
    {KV_DEFAULTS_SETTING14, 10, Kind::Ansi},
    {KV_DEFAULTS_SETTING15, 50, Kind::Ansi},
    {KV_DEFAULTS_SETTING16, 100, Kind::Ansi},
    {KV_DEFAULTS_SETTING17, 100, Kind::Ansi},
};
const std::vector<Field> kStatusSingle {
    {KV_STATUS_TEXT1, KV_STATUS_TEXT1_LEN, Kind::Ansi},
    {KV_STATUS_TEXT2, KV_STATUS_TEXT2_LEN, Kind::Ansi},
    {KV_STATUS_VALUE1, 4, Kind::Number},
    {KV_STATUS_VALUE2, 4, Kind::Number},
    {KV_STATUS_VALUE3, 4, Kind::Number},
    {KV_STATUS_VALUE4, 4, Kind::Number},
};
const std::vector<Field> kModuleElement {
    {KV_MODULE_ELEMENT_ID, 4, Kind::Number},
    {KV_MODULE_ELEMENT_NAME, 2 * KV_MODULE_NAME_LEN, Kind::Utf16},
    {KV_MODULE_ELEMENT_PREFIX, 2 * KV_MODULE_PREFIX_LEN, Kind::Utf16},
};
const std::vector<Field> kSystemElement {
    {KV_SYSTEM_ELEMENT_ID, 4, Kind::Number},
    {KV_SYSTEM_ELEMENT_NAME, 2 * KV_SYSTEM_NAME_LEN, Kind::Utf16},
};

// What each byte of a form is: the kind of its field, or padding.
std::vector<const Field*> fieldMap(const char* form, const std::vector<Field>& fields, size_t size)
{
    std::vector<const Field*> map(size, nullptr);
    for (const Field& field : fields) {
        FUZZ_CHECK(field.offset + field.length <= size, QString::fromLatin1(form));
        for (size_t i = field.offset; i < field.offset + field.length; ++i) {
            FUZZ_CHECK(map[i] == nullptr, QString::fromLatin1(form)); // fields do not overlap
            map[i] = &field;
        }
    }
    return map;
}

QString describe(const char* form, size_t at, uint8_t in, uint8_t out)
{
    return QStringLiteral("%1 byte %2: in 0x%3, out 0x%4")
        .arg(QString::fromLatin1(form))
        .arg(at)
        .arg(in, 2, 16, QLatin1Char('0'))
        .arg(out, 2, 16, QLatin1Char('0'));
}

// The form's bytes from the input, with the padding zeroed. Held on the heap at
// their exact size so that a read past the end is caught.
template <size_t Size>
std::unique_ptr<std::array<uint8_t, Size>> formBytes(const std::vector<const Field*>& map, const uint8_t* data,
                                                     size_t size)
{
    auto bytes = std::make_unique<std::array<uint8_t, Size>>();
    bytes->fill(0);
    std::memcpy(bytes->data(), data, std::min(size, Size));
    for (size_t i = 0; i < Size; ++i)
        if (!map[i])
            (*bytes)[i] = 0;
    return bytes;
}

template <typename Record, size_t Size>
void checkSingle(const char* form, const std::vector<Field>& fields, const uint8_t* data, size_t size)
{
    const auto map = fieldMap(form, fields, Size);
    const auto in = formBytes<Size>(map, data, size);

    Record record;
    fromSingle(*in, record);
    const auto out = std::make_unique<std::array<uint8_t, Size>>(toSingle(record));

    bool exact = true;
    for (size_t i = 0; i < Size; ++i) {
        const uint8_t b = (*in)[i];
        uint8_t expected = b;
        if (map[i] && map[i]->kind == Kind::Ansi) {
            expected = ansiRoundTrip(b);
            exact = exact && expected == b;
        }
        FUZZ_CHECK((*out)[i] == expected, describe(form, i, b, (*out)[i]));
    }

    // Every field is overwritten: a record full of other values decodes the same.
    auto filler = std::make_unique<std::array<uint8_t, Size>>();
    filler->fill(0x5A);
    Record reused;
    fromSingle(*filler, reused);
    fromSingle(*in, reused);
    FUZZ_CHECK(reused == record, QString::fromLatin1(form));

    // The bytes written decode to a record that writes them again.
    Record again;
    fromSingle(*out, again);
    FUZZ_CHECK(toSingle(again) == *out, QString::fromLatin1(form));
    if (exact)
        FUZZ_CHECK(again == record, QString::fromLatin1(form));
}

template <typename Record, size_t Size>
Record checkElement(const char* form, const std::vector<Field>& fields, const uint8_t* data, size_t size)
{
    const auto map = fieldMap(form, fields, Size);
    for (const Field* field : map)
        FUZZ_CHECK(field != nullptr, QString::fromLatin1(form)); // an element has no padding
    std::vector<uint8_t> in(Size, 0);
    std::memcpy(in.data(), data, std::min(size, Size));

    Record record;
    fromElement(in.data(), record);
    const auto out = toElement(record);
    static_assert(std::tuple_size_v<std::remove_const_t<decltype(out)>> == Size);
    for (size_t i = 0; i < Size; ++i)
        FUZZ_CHECK(out[i] == in[i], describe(form, i, in[i], out[i]));

    std::vector<uint8_t> filler(Size, 0x5A);
    Record reused;
    fromElement(filler.data(), reused);
    fromElement(in.data(), reused);
    FUZZ_CHECK(reused == record, QString::fromLatin1(form));
    return record;
}

// Text through the single form: NUL stays NUL, a character the code page has
// comes back, any other becomes '?'.
template <int N> void checkThroughAnsi(const char* form, const FixedText<N>& before, const FixedText<N>& after)
{
    for (int i = 0; i < N; ++i) {
        const char16_t c = before.chars()[static_cast<size_t>(i)];
        const char16_t expected = (c == 0 || representable()[c]) ? c : u'?';
        const char16_t got = after.chars()[static_cast<size_t>(i)];
        FUZZ_CHECK(got == expected, QStringLiteral("%1 character %2: U+%3 came back as U+%4")
                                        .arg(QString::fromLatin1(form))
                                        .arg(i)
                                        .arg(static_cast<unsigned>(c), 4, 16, QLatin1Char('0'))
                                        .arg(static_cast<unsigned>(got), 4, 16, QLatin1Char('0')));
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // The exception above holds for Windows-1252; make sure that is what runs.
    setenv("VELKINDEX_CODEPAGE", "WINDOWS-1252", 1);
    FUZZ_CHECK(encoding::ansiCodePageProblem().empty(), QString::fromStdString(encoding::ansiCodePageProblem()));
    for (int b = 0; b < 256; ++b) {
        const char byte = static_cast<char>(b);
        const std::u16string unit = encoding::ansiToUtf16(std::string_view(&byte, 1));
        const QString shown = QStringLiteral("byte 0x%1 -> U+%2").arg(b, 2, 16, QLatin1Char('0')).arg(
            static_cast<unsigned>(unit[0]), 4, 16, QLatin1Char('0'));
        FUZZ_CHECK((unit[0] == u'\uFFFD') == undefinedByte(static_cast<uint8_t>(b)), shown);
        FUZZ_CHECK(static_cast<uint8_t>(encoding::utf16ToAnsi(unit)[0]) == ansiRoundTrip(static_cast<uint8_t>(b)), shown);
        if (!undefinedByte(static_cast<uint8_t>(b)))
            representable()[unit[0]] = true;
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    checkSingle<ModuleRecord, KV_MODULE_SIZE>("module", kModuleSingle, data, size);
    checkSingle<TopicRecord, KV_TOPIC_SIZE>("topic", kTopicSingle, data, size);
    checkSingle<CodeRecord, KV_CODE_SIZE>("code", kCodeSingle, data, size);
    checkSingle<CodingSystemRecord, KV_SYSTEM_SIZE>("coding system", kSystemSingle, data, size);
    checkSingle<PatEdDefaultsRecord, KV_DEFAULTS_SIZE>("defaults", kDefaultsSingle, data, size);
    checkSingle<CallStatus, KV_STATUS_SIZE>("call status", kStatusSingle, data, size);

    const ModuleRecord module = checkElement<ModuleRecord, KV_MODULE_ELEMENT_SIZE>("module element", kModuleElement,
                                                                                   data, size);
    const CodingSystemRecord system = checkElement<CodingSystemRecord, KV_SYSTEM_ELEMENT_SIZE>(
        "coding system element", kSystemElement, data, size);

    // Any UTF-16 text, from the element forms, through the single forms.
    ModuleRecord moduleBack;
    fromSingle(toSingle(module), moduleBack);
    FUZZ_CHECK(moduleBack.ModuleID == module.ModuleID, QStringLiteral("module id"));
    checkThroughAnsi("module name", module.ModuleName, moduleBack.ModuleName);
    checkThroughAnsi("module prefix", module.DirectoryPrefix, moduleBack.DirectoryPrefix);
    CodingSystemRecord systemBack;
    fromSingle(toSingle(system), systemBack);
    FUZZ_CHECK(systemBack.CodingSystemID == system.CodingSystemID, QStringLiteral("coding system id"));
    checkThroughAnsi("coding system name", system.CodingSystemName, systemBack.CodingSystemName);
    return 0;
}
