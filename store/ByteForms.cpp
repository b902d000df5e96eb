#include "store/ByteForms.h"

#include "encoding/CodePage.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <type_traits>

namespace {

// ---------------------------------------------------------------------------
// Layout checks: every offset of layout.h must follow from the field before it
// (text of N characters takes N bytes in the single form and 2N bytes in the
// element form; a 32-bit field starts at the next multiple of 4), and every
// text width must match the record type.

constexpr int alignTo4(int offset) { return (offset + 3) / 4 * 4; }

template <typename Field> constexpr int widthOf = std::remove_cvref_t<Field>::width;

// ModuleRecord
static_assert(KV_MODULE_ID == 0);
static_assert(KV_MODULE_NAME == KV_MODULE_ID + 4);
static_assert(KV_MODULE_PREFIX == KV_MODULE_NAME + KV_MODULE_NAME_LEN);
static_assert(KV_MODULE_SIZE == alignTo4(KV_MODULE_PREFIX + KV_MODULE_PREFIX_LEN));
static_assert(KV_MODULE_SIZE == 104);
static_assert(KV_MODULE_ELEMENT_NAME == KV_MODULE_ELEMENT_ID + 4);
static_assert(KV_MODULE_ELEMENT_PREFIX == KV_MODULE_ELEMENT_NAME + 2 * KV_MODULE_NAME_LEN);
static_assert(KV_MODULE_ELEMENT_SIZE == KV_MODULE_ELEMENT_PREFIX + 2 * KV_MODULE_PREFIX_LEN);
static_assert(KV_MODULE_ELEMENT_SIZE == 204);
static_assert(widthOf<decltype(ModuleRecord::ModuleName)> == KV_MODULE_NAME_LEN);
static_assert(widthOf<decltype(ModuleRecord::DirectoryPrefix)> == KV_MODULE_PREFIX_LEN);

// TopicRecord
static_assert(KV_TOPIC_ID == 0);
static_assert(KV_TOPIC_MODULE == KV_TOPIC_ID + 4);
static_assert(KV_TOPIC_PARENT == KV_TOPIC_MODULE + 4);
static_assert(KV_TOPIC_HASCHILD == KV_TOPIC_PARENT + 4);
static_assert(KV_TOPIC_DOCUMENT == KV_TOPIC_HASCHILD + 4);
static_assert(KV_TOPIC_DESCRIPTION == KV_TOPIC_DOCUMENT + KV_TOPIC_DOCUMENT_LEN);
static_assert(KV_TOPIC_SIZE == alignTo4(KV_TOPIC_DESCRIPTION + KV_TOPIC_DESCRIPTION_LEN));
static_assert(KV_TOPIC_SIZE == 148);
static_assert(KV_TOPIC_ELEMENT_ID == 0);
static_assert(KV_TOPIC_ELEMENT_MODULE == KV_TOPIC_ELEMENT_ID + 4);
static_assert(KV_TOPIC_ELEMENT_PARENT == KV_TOPIC_ELEMENT_MODULE + 4);
static_assert(KV_TOPIC_ELEMENT_HASCHILD == KV_TOPIC_ELEMENT_PARENT + 4);
static_assert(KV_TOPIC_ELEMENT_DOCUMENT == KV_TOPIC_ELEMENT_HASCHILD + 4);
static_assert(KV_TOPIC_ELEMENT_DESCRIPTION == KV_TOPIC_ELEMENT_DOCUMENT + 2 * KV_TOPIC_DOCUMENT_LEN);
static_assert(KV_TOPIC_ELEMENT_SIZE == KV_TOPIC_ELEMENT_DESCRIPTION + 2 * KV_TOPIC_DESCRIPTION_LEN);
static_assert(KV_TOPIC_ELEMENT_SIZE == 276);
static_assert(widthOf<decltype(TopicRecord::PatEdDocument)> == KV_TOPIC_DOCUMENT_LEN);
static_assert(widthOf<decltype(TopicRecord::Description)> == KV_TOPIC_DESCRIPTION_LEN);

// CodeRecord
static_assert(KV_CODE_ID == 0);
static_assert(KV_CODE_CODE == KV_CODE_ID + 4);
static_assert(KV_CODE_SYSTEM == alignTo4(KV_CODE_CODE + KV_CODE_CODE_LEN));
static_assert(KV_CODE_FLAG == KV_CODE_SYSTEM + 4);
static_assert(KV_CODE_DESCRIPTION == KV_CODE_FLAG + 4);
static_assert(KV_CODE_DOCUMENT == KV_CODE_DESCRIPTION + KV_CODE_DESCRIPTION_LEN);
static_assert(KV_CODE_SIZE == alignTo4(KV_CODE_DOCUMENT + KV_CODE_DOCUMENT_LEN));
static_assert(KV_CODE_SIZE == 216);
static_assert(KV_CODE_ELEMENT_ID == 0);
static_assert(KV_CODE_ELEMENT_CODE == KV_CODE_ELEMENT_ID + 4);
static_assert(KV_CODE_ELEMENT_SYSTEM == KV_CODE_ELEMENT_CODE + 2 * KV_CODE_CODE_LEN);
static_assert(KV_CODE_ELEMENT_FLAG == KV_CODE_ELEMENT_SYSTEM + 4);
static_assert(KV_CODE_ELEMENT_DESCRIPTION == KV_CODE_ELEMENT_FLAG + 4);
static_assert(KV_CODE_ELEMENT_DOCUMENT == KV_CODE_ELEMENT_DESCRIPTION + 2 * KV_CODE_DESCRIPTION_LEN);
static_assert(KV_CODE_ELEMENT_SIZE == KV_CODE_ELEMENT_DOCUMENT + 2 * KV_CODE_DOCUMENT_LEN);
static_assert(KV_CODE_ELEMENT_SIZE == 412);
static_assert(widthOf<decltype(CodeRecord::Code)> == KV_CODE_CODE_LEN);
static_assert(widthOf<decltype(CodeRecord::Description)> == KV_CODE_DESCRIPTION_LEN);
static_assert(widthOf<decltype(CodeRecord::PatEdDocument)> == KV_CODE_DOCUMENT_LEN);

// CodingSystemRecord
static_assert(KV_SYSTEM_ID == 0);
static_assert(KV_SYSTEM_NAME == KV_SYSTEM_ID + 4);
static_assert(KV_SYSTEM_SIZE == alignTo4(KV_SYSTEM_NAME + KV_SYSTEM_NAME_LEN));
static_assert(KV_SYSTEM_SIZE == 56);
static_assert(KV_SYSTEM_ELEMENT_NAME == KV_SYSTEM_ELEMENT_ID + 4);
static_assert(KV_SYSTEM_ELEMENT_SIZE == KV_SYSTEM_ELEMENT_NAME + 2 * KV_SYSTEM_NAME_LEN);
static_assert(KV_SYSTEM_ELEMENT_SIZE == 104);
static_assert(widthOf<decltype(CodingSystemRecord::CodingSystemName)> == KV_SYSTEM_NAME_LEN);

// PatEdDefaultsRecord
using Defaults = PatEdDefaultsRecord;
static_assert(KV_DEFAULTS_KEY == 0);
static_assert(widthOf<decltype(Defaults::DefaultsKey)> == KV_DEFAULTS_KEY_LEN);
static_assert(KV_DEFAULTS_SETTING02 == KV_DEFAULTS_KEY + KV_DEFAULTS_KEY_LEN);
static_assert(KV_DEFAULTS_SETTING03 == alignTo4(KV_DEFAULTS_SETTING02 + widthOf<decltype(Defaults::Setting02)>));
static_assert(KV_DEFAULTS_SETTING04 == KV_DEFAULTS_SETTING03 + 4);
static_assert(KV_DEFAULTS_SETTING05 == alignTo4(KV_DEFAULTS_SETTING04 + widthOf<decltype(Defaults::Setting04)>));
static_assert(KV_DEFAULTS_SETTING06 == KV_DEFAULTS_SETTING05 + 4);
static_assert(KV_DEFAULTS_MODULE == KV_DEFAULTS_SETTING06 + widthOf<decltype(Defaults::Setting06)>);
static_assert(widthOf<decltype(Defaults::DefaultModule)> == KV_DEFAULTS_MODULE_LEN);
static_assert(KV_DEFAULTS_SETTING08 == KV_DEFAULTS_MODULE + KV_DEFAULTS_MODULE_LEN);
static_assert(KV_DEFAULTS_SETTING09 == alignTo4(KV_DEFAULTS_SETTING08 + widthOf<decltype(Defaults::Setting08)>));
static_assert(KV_DEFAULTS_SETTING10 == KV_DEFAULTS_SETTING09 + 4);
static_assert(KV_DEFAULTS_SETTING11 == KV_DEFAULTS_SETTING10 + widthOf<decltype(Defaults::Setting10)>);
static_assert(KV_DEFAULTS_SETTING12 == alignTo4(KV_DEFAULTS_SETTING11 + widthOf<decltype(Defaults::Setting11)>));
static_assert(KV_DEFAULTS_SETTING13 == KV_DEFAULTS_SETTING12 + 4);
static_assert(KV_DEFAULTS_SETTING14 == KV_DEFAULTS_SETTING13 + widthOf<decltype(Defaults::Setting13)>);
static_assert(KV_DEFAULTS_SETTING15 == KV_DEFAULTS_SETTING14 + widthOf<decltype(Defaults::Setting14)>);
static_assert(KV_DEFAULTS_SETTING16 == KV_DEFAULTS_SETTING15 + widthOf<decltype(Defaults::Setting15)>);
static_assert(KV_DEFAULTS_SETTING17 == KV_DEFAULTS_SETTING16 + widthOf<decltype(Defaults::Setting16)>);
static_assert(KV_DEFAULTS_SIZE == alignTo4(KV_DEFAULTS_SETTING17 + widthOf<decltype(Defaults::Setting17)>));
static_assert(KV_DEFAULTS_SIZE == 768);

// CallStatus
static_assert(KV_STATUS_TEXT1 == 0);
static_assert(widthOf<decltype(CallStatus::StatusText1)> == KV_STATUS_TEXT1_LEN);
static_assert(KV_STATUS_TEXT2 == KV_STATUS_TEXT1 + KV_STATUS_TEXT1_LEN);
static_assert(widthOf<decltype(CallStatus::StatusText2)> == KV_STATUS_TEXT2_LEN);
static_assert(KV_STATUS_VALUE1 == alignTo4(KV_STATUS_TEXT2 + KV_STATUS_TEXT2_LEN));
static_assert(KV_STATUS_VALUE2 == KV_STATUS_VALUE1 + 4);
static_assert(KV_STATUS_VALUE3 == KV_STATUS_VALUE2 + 4);
static_assert(KV_STATUS_VALUE4 == KV_STATUS_VALUE3 + 4);
static_assert(KV_STATUS_SIZE == KV_STATUS_VALUE4 + 4);
static_assert(KV_STATUS_SIZE == 208);

// ---------------------------------------------------------------------------
// Field helpers.

// 32-bit integer or value, little-endian.
void putU32(uint8_t* out, size_t offset, uint32_t value)
{
    out[offset + 0] = static_cast<uint8_t>(value & 0xFFu);
    out[offset + 1] = static_cast<uint8_t>((value >> 8) & 0xFFu);
    out[offset + 2] = static_cast<uint8_t>((value >> 16) & 0xFFu);
    out[offset + 3] = static_cast<uint8_t>((value >> 24) & 0xFFu);
}

uint32_t getU32(const uint8_t* in, size_t offset)
{
    return static_cast<uint32_t>(in[offset + 0]) | (static_cast<uint32_t>(in[offset + 1]) << 8)
        | (static_cast<uint32_t>(in[offset + 2]) << 16) | (static_cast<uint32_t>(in[offset + 3]) << 24);
}

void putI32(uint8_t* out, size_t offset, int32_t value) { putU32(out, offset, static_cast<uint32_t>(value)); }

int32_t getI32(const uint8_t* in, size_t offset) { return static_cast<int32_t>(getU32(in, offset)); }

// Text of N characters in the single form: N ANSI bytes, no terminator. NUL
// characters go out as NUL bytes; a character the code page lacks becomes '?'.
template <int N> void putAnsi(uint8_t* out, size_t offset, const FixedText<N>& text)
{
    encoding::utf16ToAnsi(text.chars().data(), static_cast<size_t>(N), reinterpret_cast<char*>(out + offset));
}

template <int N> void getAnsi(const uint8_t* in, size_t offset, FixedText<N>& text)
{
    encoding::ansiToUtf16(reinterpret_cast<const char*>(in + offset), static_cast<size_t>(N), text.chars().data());
}

// Text of N characters in the element form: N UTF-16LE code units.
template <int N> void putUtf16(uint8_t* out, size_t offset, const FixedText<N>& text)
{
    const auto& chars = text.chars();
    for (int i = 0; i < N; ++i) {
        const char16_t unit = chars[static_cast<size_t>(i)];
        out[offset + 2 * static_cast<size_t>(i)] = static_cast<uint8_t>(unit & 0xFFu);
        out[offset + 2 * static_cast<size_t>(i) + 1] = static_cast<uint8_t>((unit >> 8) & 0xFFu);
    }
}

template <int N> void getUtf16(const uint8_t* in, size_t offset, FixedText<N>& text)
{
    auto& chars = text.chars();
    for (int i = 0; i < N; ++i) {
        const size_t at = offset + 2 * static_cast<size_t>(i);
        chars[static_cast<size_t>(i)] = static_cast<char16_t>(in[at] | (in[at + 1] << 8));
    }
}

} // namespace

// ---------------------------------------------------------------------------
// Single forms. The arrays start zeroed, so padding bytes go out as 0.

ModuleSingle toSingle(const ModuleRecord& record)
{
    ModuleSingle out {};
    putI32(out.data(), KV_MODULE_ID, record.ModuleID); // ModuleID
    putAnsi(out.data(), KV_MODULE_NAME, record.ModuleName); // ModuleName, 50
    putAnsi(out.data(), KV_MODULE_PREFIX, record.DirectoryPrefix); // DirectoryPrefix, 50
    return out;
}

void fromSingle(const ModuleSingle& bytes, ModuleRecord& record)
{
    record.ModuleID = getI32(bytes.data(), KV_MODULE_ID); // ModuleID
    getAnsi(bytes.data(), KV_MODULE_NAME, record.ModuleName); // ModuleName, 50
    getAnsi(bytes.data(), KV_MODULE_PREFIX, record.DirectoryPrefix); // DirectoryPrefix, 50
}

TopicSingle toSingle(const TopicRecord& record)
{
    TopicSingle out {};
    putI32(out.data(), KV_TOPIC_ID, record.TopicID); // TopicID
    putI32(out.data(), KV_TOPIC_MODULE, record.ModuleID); // ModuleID
    putI32(out.data(), KV_TOPIC_PARENT, record.ParentID); // ParentID
    putI32(out.data(), KV_TOPIC_HASCHILD, record.HasChild); // HasChild
    putAnsi(out.data(), KV_TOPIC_DOCUMENT, record.PatEdDocument); // PatEdDocument, 50
    putAnsi(out.data(), KV_TOPIC_DESCRIPTION, record.Description); // Description, 80
    return out; // 146..147: padding
}

void fromSingle(const TopicSingle& bytes, TopicRecord& record)
{
    record.TopicID = getI32(bytes.data(), KV_TOPIC_ID); // TopicID
    record.ModuleID = getI32(bytes.data(), KV_TOPIC_MODULE); // ModuleID
    record.ParentID = getI32(bytes.data(), KV_TOPIC_PARENT); // ParentID
    record.HasChild = getI32(bytes.data(), KV_TOPIC_HASCHILD); // HasChild
    getAnsi(bytes.data(), KV_TOPIC_DOCUMENT, record.PatEdDocument); // PatEdDocument, 50
    getAnsi(bytes.data(), KV_TOPIC_DESCRIPTION, record.Description); // Description, 80
}

CodeSingle toSingle(const CodeRecord& record)
{
    CodeSingle out {};
    putI32(out.data(), KV_CODE_ID, record.CodeID); // CodeID
    putAnsi(out.data(), KV_CODE_CODE, record.Code); // Code, 50; 54..55: padding
    putI32(out.data(), KV_CODE_SYSTEM, record.CodingSystemID); // CodingSystemID
    putI32(out.data(), KV_CODE_FLAG, record.CodeFlag); // CodeFlag
    putAnsi(out.data(), KV_CODE_DESCRIPTION, record.Description); // Description, 100
    putAnsi(out.data(), KV_CODE_DOCUMENT, record.PatEdDocument); // PatEdDocument, 50
    return out; // 214..215: padding
}

void fromSingle(const CodeSingle& bytes, CodeRecord& record)
{
    record.CodeID = getI32(bytes.data(), KV_CODE_ID); // CodeID
    getAnsi(bytes.data(), KV_CODE_CODE, record.Code); // Code, 50
    record.CodingSystemID = getI32(bytes.data(), KV_CODE_SYSTEM); // CodingSystemID
    record.CodeFlag = getI32(bytes.data(), KV_CODE_FLAG); // CodeFlag
    getAnsi(bytes.data(), KV_CODE_DESCRIPTION, record.Description); // Description, 100
    getAnsi(bytes.data(), KV_CODE_DOCUMENT, record.PatEdDocument); // PatEdDocument, 50
}

CodingSystemSingle toSingle(const CodingSystemRecord& record)
{
    CodingSystemSingle out {};
    putI32(out.data(), KV_SYSTEM_ID, record.CodingSystemID); // CodingSystemID
    putAnsi(out.data(), KV_SYSTEM_NAME, record.CodingSystemName); // CodingSystemName, 50
    return out; // 54..55: padding
}

void fromSingle(const CodingSystemSingle& bytes, CodingSystemRecord& record)
{
    record.CodingSystemID = getI32(bytes.data(), KV_SYSTEM_ID); // CodingSystemID
    getAnsi(bytes.data(), KV_SYSTEM_NAME, record.CodingSystemName); // CodingSystemName, 50
}

PatEdDefaultsSingle toSingle(const PatEdDefaultsRecord& record)
{
    PatEdDefaultsSingle out {};
    putAnsi(out.data(), KV_DEFAULTS_KEY, record.DefaultsKey); // DefaultsKey, 6
    putAnsi(out.data(), KV_DEFAULTS_SETTING02, record.Setting02); // Setting02, 50
    putU32(out.data(), KV_DEFAULTS_SETTING03, record.Setting03); // Setting03, carried
    putAnsi(out.data(), KV_DEFAULTS_SETTING04, record.Setting04); // Setting04, 50; 110..111: padding
    putU32(out.data(), KV_DEFAULTS_SETTING05, record.Setting05); // Setting05, carried
    putAnsi(out.data(), KV_DEFAULTS_SETTING06, record.Setting06); // Setting06, 50
    putAnsi(out.data(), KV_DEFAULTS_MODULE, record.DefaultModule); // DefaultModule, 50
    putAnsi(out.data(), KV_DEFAULTS_SETTING08, record.Setting08); // Setting08, 100
    putU32(out.data(), KV_DEFAULTS_SETTING09, record.Setting09); // Setting09, carried
    putAnsi(out.data(), KV_DEFAULTS_SETTING10, record.Setting10); // Setting10, 50
    putAnsi(out.data(), KV_DEFAULTS_SETTING11, record.Setting11); // Setting11, 80; 450..451: padding
    putU32(out.data(), KV_DEFAULTS_SETTING12, record.Setting12); // Setting12, carried
    putAnsi(out.data(), KV_DEFAULTS_SETTING13, record.Setting13); // Setting13, 50
    putAnsi(out.data(), KV_DEFAULTS_SETTING14, record.Setting14); // Setting14, 10
    putAnsi(out.data(), KV_DEFAULTS_SETTING15, record.Setting15); // Setting15, 50
    putAnsi(out.data(), KV_DEFAULTS_SETTING16, record.Setting16); // Setting16, 100
    putAnsi(out.data(), KV_DEFAULTS_SETTING17, record.Setting17); // Setting17, 100
    return out; // 766..767: padding
}

void fromSingle(const PatEdDefaultsSingle& bytes, PatEdDefaultsRecord& record)
{
    getAnsi(bytes.data(), KV_DEFAULTS_KEY, record.DefaultsKey); // DefaultsKey, 6
    getAnsi(bytes.data(), KV_DEFAULTS_SETTING02, record.Setting02); // Setting02, 50
    record.Setting03 = getU32(bytes.data(), KV_DEFAULTS_SETTING03); // Setting03, carried
    getAnsi(bytes.data(), KV_DEFAULTS_SETTING04, record.Setting04); // Setting04, 50
    record.Setting05 = getU32(bytes.data(), KV_DEFAULTS_SETTING05); // Setting05, carried
    getAnsi(bytes.data(), KV_DEFAULTS_SETTING06, record.Setting06); // Setting06, 50
    getAnsi(bytes.data(), KV_DEFAULTS_MODULE, record.DefaultModule); // DefaultModule, 50
    getAnsi(bytes.data(), KV_DEFAULTS_SETTING08, record.Setting08); // Setting08, 100
    record.Setting09 = getU32(bytes.data(), KV_DEFAULTS_SETTING09); // Setting09, carried
    getAnsi(bytes.data(), KV_DEFAULTS_SETTING10, record.Setting10); // Setting10, 50
    getAnsi(bytes.data(), KV_DEFAULTS_SETTING11, record.Setting11); // Setting11, 80
    record.Setting12 = getU32(bytes.data(), KV_DEFAULTS_SETTING12); // Setting12, carried
    getAnsi(bytes.data(), KV_DEFAULTS_SETTING13, record.Setting13); // Setting13, 50
    getAnsi(bytes.data(), KV_DEFAULTS_SETTING14, record.Setting14); // Setting14, 10
    getAnsi(bytes.data(), KV_DEFAULTS_SETTING15, record.Setting15); // Setting15, 50
    getAnsi(bytes.data(), KV_DEFAULTS_SETTING16, record.Setting16); // Setting16, 100
    getAnsi(bytes.data(), KV_DEFAULTS_SETTING17, record.Setting17); // Setting17, 100
}

CallStatusSingle toSingle(const CallStatus& record)
{
    CallStatusSingle out {};
    putAnsi(out.data(), KV_STATUS_TEXT1, record.StatusText1); // StatusText1, 128
    putAnsi(out.data(), KV_STATUS_TEXT2, record.StatusText2); // StatusText2, 64
    putU32(out.data(), KV_STATUS_VALUE1, record.StatusValue1); // StatusValue1, carried
    putU32(out.data(), KV_STATUS_VALUE2, record.StatusValue2); // StatusValue2, carried
    putU32(out.data(), KV_STATUS_VALUE3, record.StatusValue3); // StatusValue3, carried
    putU32(out.data(), KV_STATUS_VALUE4, record.StatusValue4); // StatusValue4, carried
    return out;
}

void fromSingle(const CallStatusSingle& bytes, CallStatus& record)
{
    getAnsi(bytes.data(), KV_STATUS_TEXT1, record.StatusText1); // StatusText1, 128
    getAnsi(bytes.data(), KV_STATUS_TEXT2, record.StatusText2); // StatusText2, 64
    record.StatusValue1 = getU32(bytes.data(), KV_STATUS_VALUE1); // StatusValue1, carried
    record.StatusValue2 = getU32(bytes.data(), KV_STATUS_VALUE2); // StatusValue2, carried
    record.StatusValue3 = getU32(bytes.data(), KV_STATUS_VALUE3); // StatusValue3, carried
    record.StatusValue4 = getU32(bytes.data(), KV_STATUS_VALUE4); // StatusValue4, carried
}

// ---------------------------------------------------------------------------
// Element forms: no padding, text in UTF-16LE, nothing converted.

ModuleElement toElement(const ModuleRecord& record)
{
    ModuleElement out {};
    putI32(out.data(), KV_MODULE_ELEMENT_ID, record.ModuleID); // ModuleID
    putUtf16(out.data(), KV_MODULE_ELEMENT_NAME, record.ModuleName); // ModuleName, 50 units
    putUtf16(out.data(), KV_MODULE_ELEMENT_PREFIX, record.DirectoryPrefix); // DirectoryPrefix, 50 units
    return out;
}

void fromElement(const uint8_t* bytes, ModuleRecord& record)
{
    record.ModuleID = getI32(bytes, KV_MODULE_ELEMENT_ID); // ModuleID
    getUtf16(bytes, KV_MODULE_ELEMENT_NAME, record.ModuleName); // ModuleName, 50 units
    getUtf16(bytes, KV_MODULE_ELEMENT_PREFIX, record.DirectoryPrefix); // DirectoryPrefix, 50 units
}

CodingSystemElement toElement(const CodingSystemRecord& record)
{
    CodingSystemElement out {};
    putI32(out.data(), KV_SYSTEM_ELEMENT_ID, record.CodingSystemID); // CodingSystemID
    putUtf16(out.data(), KV_SYSTEM_ELEMENT_NAME, record.CodingSystemName); // CodingSystemName, 50 units
    return out;
}

void fromElement(const uint8_t* bytes, CodingSystemRecord& record)
{
    record.CodingSystemID = getI32(bytes, KV_SYSTEM_ELEMENT_ID); // CodingSystemID
    getUtf16(bytes, KV_SYSTEM_ELEMENT_NAME, record.CodingSystemName); // CodingSystemName, 50 units
}

TopicElement toElement(const TopicRecord& record)
{
    TopicElement out {};
    putI32(out.data(), KV_TOPIC_ELEMENT_ID, record.TopicID); // TopicID
    putI32(out.data(), KV_TOPIC_ELEMENT_MODULE, record.ModuleID); // ModuleID
    putI32(out.data(), KV_TOPIC_ELEMENT_PARENT, record.ParentID); // ParentID
    putI32(out.data(), KV_TOPIC_ELEMENT_HASCHILD, record.HasChild); // HasChild
    putUtf16(out.data(), KV_TOPIC_ELEMENT_DOCUMENT, record.PatEdDocument); // PatEdDocument, 50 units
    putUtf16(out.data(), KV_TOPIC_ELEMENT_DESCRIPTION, record.Description); // Description, 80 units
    return out;
}

void fromElement(const uint8_t* bytes, TopicRecord& record)
{
    record.TopicID = getI32(bytes, KV_TOPIC_ELEMENT_ID); // TopicID
    record.ModuleID = getI32(bytes, KV_TOPIC_ELEMENT_MODULE); // ModuleID
    record.ParentID = getI32(bytes, KV_TOPIC_ELEMENT_PARENT); // ParentID
    record.HasChild = getI32(bytes, KV_TOPIC_ELEMENT_HASCHILD); // HasChild
    getUtf16(bytes, KV_TOPIC_ELEMENT_DOCUMENT, record.PatEdDocument); // PatEdDocument, 50 units
    getUtf16(bytes, KV_TOPIC_ELEMENT_DESCRIPTION, record.Description); // Description, 80 units
}

CodeElement toElement(const CodeRecord& record)
{
    CodeElement out {};
    putI32(out.data(), KV_CODE_ELEMENT_ID, record.CodeID); // CodeID
    putUtf16(out.data(), KV_CODE_ELEMENT_CODE, record.Code); // Code, 50 units
    putI32(out.data(), KV_CODE_ELEMENT_SYSTEM, record.CodingSystemID); // CodingSystemID
    putI32(out.data(), KV_CODE_ELEMENT_FLAG, record.CodeFlag); // CodeFlag
    putUtf16(out.data(), KV_CODE_ELEMENT_DESCRIPTION, record.Description); // Description, 100 units
    putUtf16(out.data(), KV_CODE_ELEMENT_DOCUMENT, record.PatEdDocument); // PatEdDocument, 50 units
    return out;
}

void fromElement(const uint8_t* bytes, CodeRecord& record)
{
    record.CodeID = getI32(bytes, KV_CODE_ELEMENT_ID); // CodeID
    getUtf16(bytes, KV_CODE_ELEMENT_CODE, record.Code); // Code, 50 units
    record.CodingSystemID = getI32(bytes, KV_CODE_ELEMENT_SYSTEM); // CodingSystemID
    record.CodeFlag = getI32(bytes, KV_CODE_ELEMENT_FLAG); // CodeFlag
    getUtf16(bytes, KV_CODE_ELEMENT_DESCRIPTION, record.Description); // Description, 100 units
    getUtf16(bytes, KV_CODE_ELEMENT_DOCUMENT, record.PatEdDocument); // PatEdDocument, 50 units
}

// ---------------------------------------------------------------------------
// Names the code page cannot hold.

namespace {

// Why `field` (a name of kind `kind`) cannot be represented, or empty.
template <int N> QString unrepresentable(const char* kind, const FixedText<N>& field)
{
    const auto& chars = field.chars();
    for (int i = 0; i < N; ++i) {
        const char16_t unit = chars[static_cast<size_t>(i)];
        if (encoding::ansiRepresents(unit))
            continue;
        // A character outside the Basic Multilingual Plane is shown whole.
        const bool pair
            = QChar::isHighSurrogate(unit) && i + 1 < N && QChar::isLowSurrogate(chars[static_cast<size_t>(i) + 1]);
        const QString character(reinterpret_cast<const QChar*>(chars.data() + i), pair ? 2 : 1);
        QString name = field.trimmed();
        while (name.endsWith(QChar(u'\0')))
            name.chop(1);
        return QStringLiteral("the %1 \"%2\" cannot be represented in the code page %3 (it has no \"%4\")")
            .arg(QString::fromLatin1(kind), name, QString::fromStdString(encoding::ansiCodePageName()), character);
    }
    return QString();
}

} // namespace

QString unrepresentableNames(const ModuleRecord& record)
{
    QString why = unrepresentable("module name", record.ModuleName);
    if (why.isEmpty())
        why = unrepresentable("directory prefix", record.DirectoryPrefix);
    return why;
}

QString unrepresentableNames(const CodingSystemRecord& record)
{
    return unrepresentable("coding system name", record.CodingSystemName);
}

QString unrepresentableNames(const PatEdDefaultsRecord& record)
{
    return unrepresentable("default module name", record.DefaultModule);
}
