#include "Records.h"

#include "ByteForms.h"

#include "kovadel/layout.h"

namespace kovadel {

namespace {

    constexpr size_t roundUp4(size_t n) { return (n + 3) / 4 * 4; }

    const unsigned char* bytes(const void* p) { return static_cast<const unsigned char*>(p); }
    unsigned char* bytes(void* p) { return static_cast<unsigned char*>(p); }

    // The single form puts each field at the next free byte, a 32-bit field at the
    // next multiple of 4, and rounds the size up to a multiple of 4.
    static_assert(KV_MODULE_NAME == KV_MODULE_ID + 4);
    static_assert(KV_MODULE_PREFIX == KV_MODULE_NAME + KV_MODULE_NAME_LEN);
    static_assert(KV_MODULE_SIZE == roundUp4(KV_MODULE_PREFIX + KV_MODULE_PREFIX_LEN));
    static_assert(KV_MODULE_ELEMENT_NAME == KV_MODULE_ELEMENT_ID + 4);
    static_assert(KV_MODULE_ELEMENT_PREFIX == KV_MODULE_ELEMENT_NAME + 2 * KV_MODULE_NAME_LEN);
    static_assert(KV_MODULE_ELEMENT_SIZE == KV_MODULE_ELEMENT_PREFIX + 2 * KV_MODULE_PREFIX_LEN);

    static_assert(KV_TOPIC_MODULE == KV_TOPIC_ID + 4 && KV_TOPIC_PARENT == KV_TOPIC_MODULE + 4);
    static_assert(KV_TOPIC_HASCHILD == KV_TOPIC_PARENT + 4 && KV_TOPIC_DOCUMENT == KV_TOPIC_HASCHILD + 4);
    static_assert(KV_TOPIC_DESCRIPTION == KV_TOPIC_DOCUMENT + KV_TOPIC_DOCUMENT_LEN);
    static_assert(KV_TOPIC_SIZE == roundUp4(KV_TOPIC_DESCRIPTION + KV_TOPIC_DESCRIPTION_LEN));

    static_assert(KV_CODE_CODE == KV_CODE_ID + 4);
    static_assert(KV_CODE_SYSTEM == roundUp4(KV_CODE_CODE + KV_CODE_CODE_LEN));
    static_assert(KV_CODE_FLAG == KV_CODE_SYSTEM + 4 && KV_CODE_DESCRIPTION == KV_CODE_FLAG + 4);
    static_assert(KV_CODE_DOCUMENT == KV_CODE_DESCRIPTION + KV_CODE_DESCRIPTION_LEN);
    static_assert(KV_CODE_SIZE == roundUp4(KV_CODE_DOCUMENT + KV_CODE_DOCUMENT_LEN));

    static_assert(KV_TOPIC_ELEMENT_MODULE == KV_TOPIC_ELEMENT_ID + 4);
    static_assert(KV_TOPIC_ELEMENT_PARENT == KV_TOPIC_ELEMENT_MODULE + 4);
    static_assert(KV_TOPIC_ELEMENT_HASCHILD == KV_TOPIC_ELEMENT_PARENT + 4);
    static_assert(KV_TOPIC_ELEMENT_DOCUMENT == KV_TOPIC_ELEMENT_HASCHILD + 4);
    static_assert(KV_TOPIC_ELEMENT_DESCRIPTION == KV_TOPIC_ELEMENT_DOCUMENT + 2 * KV_TOPIC_DOCUMENT_LEN);
    static_assert(KV_TOPIC_ELEMENT_SIZE == KV_TOPIC_ELEMENT_DESCRIPTION + 2 * KV_TOPIC_DESCRIPTION_LEN);

    static_assert(KV_CODE_ELEMENT_CODE == KV_CODE_ELEMENT_ID + 4);
    static_assert(KV_CODE_ELEMENT_SYSTEM == KV_CODE_ELEMENT_CODE + 2 * KV_CODE_CODE_LEN);
    static_assert(KV_CODE_ELEMENT_FLAG == KV_CODE_ELEMENT_SYSTEM + 4);
    static_assert(KV_CODE_ELEMENT_DESCRIPTION == KV_CODE_ELEMENT_FLAG + 4);
    static_assert(KV_CODE_ELEMENT_DOCUMENT == KV_CODE_ELEMENT_DESCRIPTION + 2 * KV_CODE_DESCRIPTION_LEN);
    static_assert(KV_CODE_ELEMENT_SIZE == KV_CODE_ELEMENT_DOCUMENT + 2 * KV_CODE_DOCUMENT_LEN);

    static_assert(KV_SYSTEM_NAME == KV_SYSTEM_ID + 4);
    static_assert(KV_SYSTEM_SIZE == roundUp4(KV_SYSTEM_NAME + KV_SYSTEM_NAME_LEN));
    static_assert(KV_SYSTEM_ELEMENT_NAME == KV_SYSTEM_ELEMENT_ID + 4);
    static_assert(KV_SYSTEM_ELEMENT_SIZE == KV_SYSTEM_ELEMENT_NAME + 2 * KV_SYSTEM_NAME_LEN);

    static_assert(KV_STATUS_TEXT2 == KV_STATUS_TEXT1 + KV_STATUS_TEXT1_LEN);
    static_assert(KV_STATUS_VALUE1 == KV_STATUS_TEXT2 + KV_STATUS_TEXT2_LEN && KV_STATUS_SIZE == KV_STATUS_VALUE4 + 4);

} // namespace

const std::array<DefaultsColumn, kDefaultsColumnCount> kDefaultsColumns = { {
    { "DefaultsKey", KV_DEFAULTS_KEY, KV_DEFAULTS_KEY_LEN }, // text, 6: the record's key
    { "Setting02", KV_DEFAULTS_SETTING02, 50 }, // text, 50
    { "Setting03", KV_DEFAULTS_SETTING03, 0 }, // 32-bit value
    { "Setting04", KV_DEFAULTS_SETTING04, 50 }, // text, 50
    { "Setting05", KV_DEFAULTS_SETTING05, 0 }, // 32-bit value
    { "Setting06", KV_DEFAULTS_SETTING06, 50 }, // text, 50
    { "DefaultModule", KV_DEFAULTS_MODULE, KV_DEFAULTS_MODULE_LEN }, // text, 50: the default module's name
    { "Setting08", KV_DEFAULTS_SETTING08, 100 }, // text, 100
    { "Setting09", KV_DEFAULTS_SETTING09, 0 }, // 32-bit value
    { "Setting10", KV_DEFAULTS_SETTING10, 50 }, // text, 50
    { "Setting11", KV_DEFAULTS_SETTING11, 80 }, // text, 80
    { "Setting12", KV_DEFAULTS_SETTING12, 0 }, // 32-bit value
    { "Setting13", KV_DEFAULTS_SETTING13, 50 }, // text, 50
    { "Setting14", KV_DEFAULTS_SETTING14, 10 }, // text, 10
    { "Setting15", KV_DEFAULTS_SETTING15, 50 }, // text, 50
    { "Setting16", KV_DEFAULTS_SETTING16, 100 }, // text, 100
    { "Setting17", KV_DEFAULTS_SETTING17, 100 }, // text, 100
} };

// Each field ends where the next begins (after padding before a 32-bit value
// or at the end of the record).
static_assert(KV_DEFAULTS_SETTING02 == KV_DEFAULTS_KEY + KV_DEFAULTS_KEY_LEN);
static_assert(KV_DEFAULTS_SETTING03 == roundUp4(KV_DEFAULTS_SETTING02 + 50));
static_assert(KV_DEFAULTS_SETTING04 == KV_DEFAULTS_SETTING03 + 4);
static_assert(KV_DEFAULTS_SETTING05 == roundUp4(KV_DEFAULTS_SETTING04 + 50));
static_assert(KV_DEFAULTS_SETTING06 == KV_DEFAULTS_SETTING05 + 4);
static_assert(KV_DEFAULTS_MODULE == KV_DEFAULTS_SETTING06 + 50);
static_assert(KV_DEFAULTS_SETTING08 == KV_DEFAULTS_MODULE + KV_DEFAULTS_MODULE_LEN);
static_assert(KV_DEFAULTS_SETTING09 == roundUp4(KV_DEFAULTS_SETTING08 + 100));
static_assert(KV_DEFAULTS_SETTING10 == KV_DEFAULTS_SETTING09 + 4);
static_assert(KV_DEFAULTS_SETTING11 == KV_DEFAULTS_SETTING10 + 50);
static_assert(KV_DEFAULTS_SETTING12 == roundUp4(KV_DEFAULTS_SETTING11 + 80));
static_assert(KV_DEFAULTS_SETTING13 == KV_DEFAULTS_SETTING12 + 4);
static_assert(KV_DEFAULTS_SETTING14 == KV_DEFAULTS_SETTING13 + 50);
static_assert(KV_DEFAULTS_SETTING15 == KV_DEFAULTS_SETTING14 + 10);
static_assert(KV_DEFAULTS_SETTING16 == KV_DEFAULTS_SETTING15 + 50);
static_assert(KV_DEFAULTS_SETTING17 == KV_DEFAULTS_SETTING16 + 100);
static_assert(KV_DEFAULTS_SIZE == roundUp4(KV_DEFAULTS_SETTING17 + 100));

ModuleFields decodeModule(const void* record)
{
    const unsigned char* r = bytes(record);
    ModuleFields f;
    f.moduleId = getInt32(r, KV_MODULE_ID); // ModuleID
    f.moduleName = getAnsiText(r, KV_MODULE_NAME, KV_MODULE_NAME_LEN); // ModuleName
    f.directoryPrefix = getAnsiText(r, KV_MODULE_PREFIX, KV_MODULE_PREFIX_LEN); // DirectoryPrefix
    return f;
}

void encodeModule(void* record, const ModuleFields& f)
{
    unsigned char* r = bytes(record);
    putInt32(r, KV_MODULE_ID, f.moduleId); // ModuleID
    putAnsiText(r, KV_MODULE_NAME, KV_MODULE_NAME_LEN, f.moduleName); // ModuleName
    putAnsiText(r, KV_MODULE_PREFIX, KV_MODULE_PREFIX_LEN, f.directoryPrefix); // DirectoryPrefix
}

TopicFields decodeTopic(const void* record)
{
    const unsigned char* r = bytes(record);
    TopicFields f;
    f.topicId = getInt32(r, KV_TOPIC_ID); // TopicID
    f.moduleId = getInt32(r, KV_TOPIC_MODULE); // ModuleID
    f.parentId = getInt32(r, KV_TOPIC_PARENT); // ParentID
    f.hasChild = getInt32(r, KV_TOPIC_HASCHILD); // HasChild
    f.patEdDocument = getAnsiText(r, KV_TOPIC_DOCUMENT, KV_TOPIC_DOCUMENT_LEN); // PatEdDocument
    f.description = getAnsiText(r, KV_TOPIC_DESCRIPTION, KV_TOPIC_DESCRIPTION_LEN); // Description
    return f;
}

void encodeTopicId(void* record, int32_t topicId)
{
    putInt32(bytes(record), KV_TOPIC_ID, topicId); // TopicID
}

void decodeCode(const void* record, CodeFields& f)
{
    const unsigned char* r = bytes(record);
    f.codeId = getInt32(r, KV_CODE_ID); // CodeID
    getAnsiText(r, KV_CODE_CODE, KV_CODE_CODE_LEN, f.code); // Code
    f.codingSystemId = getInt32(r, KV_CODE_SYSTEM); // CodingSystemID
    f.codeFlag = getInt32(r, KV_CODE_FLAG); // CodeFlag
    getAnsiText(r, KV_CODE_DESCRIPTION, KV_CODE_DESCRIPTION_LEN, f.description); // Description
    getAnsiText(r, KV_CODE_DOCUMENT, KV_CODE_DOCUMENT_LEN, f.patEdDocument); // PatEdDocument
}

CodeFields decodeCode(const void* record)
{
    CodeFields f;
    decodeCode(record, f);
    return f;
}

CodingSystemFields decodeCodingSystem(const void* record)
{
    const unsigned char* r = bytes(record);
    CodingSystemFields f;
    f.codingSystemId = getInt32(r, KV_SYSTEM_ID); // CodingSystemID
    f.codingSystemName = getAnsiText(r, KV_SYSTEM_NAME, KV_SYSTEM_NAME_LEN); // CodingSystemName
    return f;
}

void encodeCodingSystem(void* record, const CodingSystemFields& f)
{
    unsigned char* r = bytes(record);
    putInt32(r, KV_SYSTEM_ID, f.codingSystemId); // CodingSystemID
    putAnsiText(r, KV_SYSTEM_NAME, KV_SYSTEM_NAME_LEN, f.codingSystemName); // CodingSystemName
}

DefaultsFields decodeDefaults(const void* record)
{
    const unsigned char* r = bytes(record);
    DefaultsFields f;
    for (size_t i = 0; i < kDefaultsColumnCount; ++i) {
        const DefaultsColumn& c = kDefaultsColumns[i];
        if (c.width == 0)
            f.value[i] = getInt32(r, c.offset);
        else
            f.text[i] = getAnsiText(r, c.offset, c.width);
    }
    return f;
}

void encodeDefaults(void* record, const DefaultsFields& f)
{
    unsigned char* r = bytes(record);
    for (size_t i = 0; i < kDefaultsColumnCount; ++i) {
        const DefaultsColumn& c = kDefaultsColumns[i];
        if (c.width == 0)
            putInt32(r, c.offset, f.value[i]);
        else
            putAnsiText(r, c.offset, c.width, f.text[i]);
    }
}

ModuleFields decodeModuleElement(const void* element)
{
    const unsigned char* e = bytes(element);
    ModuleFields f;
    f.moduleId = getInt32(e, KV_MODULE_ELEMENT_ID); // ModuleID
    f.moduleName = getUtf16Text(e, KV_MODULE_ELEMENT_NAME, KV_MODULE_NAME_LEN); // ModuleName
    f.directoryPrefix = getUtf16Text(e, KV_MODULE_ELEMENT_PREFIX, KV_MODULE_PREFIX_LEN); // DirectoryPrefix
    return f;
}

void encodeModuleElement(void* element, const ModuleFields& f)
{
    unsigned char* e = bytes(element);
    putInt32(e, KV_MODULE_ELEMENT_ID, f.moduleId); // ModuleID
    putUtf16Text(e, KV_MODULE_ELEMENT_NAME, KV_MODULE_NAME_LEN, f.moduleName); // ModuleName
    putUtf16Text(e, KV_MODULE_ELEMENT_PREFIX, KV_MODULE_PREFIX_LEN, f.directoryPrefix); // DirectoryPrefix
}

CodingSystemFields decodeCodingSystemElement(const void* element)
{
    const unsigned char* e = bytes(element);
    CodingSystemFields f;
    f.codingSystemId = getInt32(e, KV_SYSTEM_ELEMENT_ID); // CodingSystemID
    f.codingSystemName = getUtf16Text(e, KV_SYSTEM_ELEMENT_NAME, KV_SYSTEM_NAME_LEN); // CodingSystemName
    return f;
}

void encodeCodingSystemElement(void* element, const CodingSystemFields& f)
{
    unsigned char* e = bytes(element);
    putInt32(e, KV_SYSTEM_ELEMENT_ID, f.codingSystemId); // CodingSystemID
    putUtf16Text(e, KV_SYSTEM_ELEMENT_NAME, KV_SYSTEM_NAME_LEN, f.codingSystemName); // CodingSystemName
}

void encodeCode(void* record, const CodeFields& f)
{
    unsigned char* r = bytes(record);
    putInt32(r, KV_CODE_ID, f.codeId); // CodeID
    putAnsiText(r, KV_CODE_CODE, KV_CODE_CODE_LEN, f.code); // Code
    putInt32(r, KV_CODE_SYSTEM, f.codingSystemId); // CodingSystemID
    putInt32(r, KV_CODE_FLAG, f.codeFlag); // CodeFlag
    putAnsiText(r, KV_CODE_DESCRIPTION, KV_CODE_DESCRIPTION_LEN, f.description); // Description
    putAnsiText(r, KV_CODE_DOCUMENT, KV_CODE_DOCUMENT_LEN, f.patEdDocument); // PatEdDocument
}

TopicFields decodeTopicElement(const void* element)
{
    const unsigned char* e = bytes(element);
    TopicFields f;
    f.topicId = getInt32(e, KV_TOPIC_ELEMENT_ID); // TopicID
    f.moduleId = getInt32(e, KV_TOPIC_ELEMENT_MODULE); // ModuleID
    f.parentId = getInt32(e, KV_TOPIC_ELEMENT_PARENT); // ParentID
    f.hasChild = getInt32(e, KV_TOPIC_ELEMENT_HASCHILD); // HasChild
    f.patEdDocument = getUtf16Text(e, KV_TOPIC_ELEMENT_DOCUMENT, KV_TOPIC_DOCUMENT_LEN); // PatEdDocument
    f.description = getUtf16Text(e, KV_TOPIC_ELEMENT_DESCRIPTION, KV_TOPIC_DESCRIPTION_LEN); // Description
    return f;
}

void encodeTopicElement(void* element, const TopicFields& f)
{
    unsigned char* e = bytes(element);
    putInt32(e, KV_TOPIC_ELEMENT_ID, f.topicId); // TopicID
    putInt32(e, KV_TOPIC_ELEMENT_MODULE, f.moduleId); // ModuleID
    putInt32(e, KV_TOPIC_ELEMENT_PARENT, f.parentId); // ParentID
    putInt32(e, KV_TOPIC_ELEMENT_HASCHILD, f.hasChild); // HasChild
    putUtf16Text(e, KV_TOPIC_ELEMENT_DOCUMENT, KV_TOPIC_DOCUMENT_LEN, f.patEdDocument); // PatEdDocument
    putUtf16Text(e, KV_TOPIC_ELEMENT_DESCRIPTION, KV_TOPIC_DESCRIPTION_LEN, f.description); // Description
}

CodeFields decodeCodeElement(const void* element)
{
    const unsigned char* e = bytes(element);
    CodeFields f;
    f.codeId = getInt32(e, KV_CODE_ELEMENT_ID); // CodeID
    f.code = getUtf16Text(e, KV_CODE_ELEMENT_CODE, KV_CODE_CODE_LEN); // Code
    f.codingSystemId = getInt32(e, KV_CODE_ELEMENT_SYSTEM); // CodingSystemID
    f.codeFlag = getInt32(e, KV_CODE_ELEMENT_FLAG); // CodeFlag
    f.description = getUtf16Text(e, KV_CODE_ELEMENT_DESCRIPTION, KV_CODE_DESCRIPTION_LEN); // Description
    f.patEdDocument = getUtf16Text(e, KV_CODE_ELEMENT_DOCUMENT, KV_CODE_DOCUMENT_LEN); // PatEdDocument
    return f;
}

void encodeCodeElement(void* element, const CodeFields& f)
{
    unsigned char* e = bytes(element);
    putInt32(e, KV_CODE_ELEMENT_ID, f.codeId); // CodeID
    putUtf16Text(e, KV_CODE_ELEMENT_CODE, KV_CODE_CODE_LEN, f.code); // Code
    putInt32(e, KV_CODE_ELEMENT_SYSTEM, f.codingSystemId); // CodingSystemID
    putInt32(e, KV_CODE_ELEMENT_FLAG, f.codeFlag); // CodeFlag
    putUtf16Text(e, KV_CODE_ELEMENT_DESCRIPTION, KV_CODE_DESCRIPTION_LEN, f.description); // Description
    putUtf16Text(e, KV_CODE_ELEMENT_DOCUMENT, KV_CODE_DOCUMENT_LEN, f.patEdDocument); // PatEdDocument
}

} // namespace kovadel
