// The records as the library works with them, and their byte forms.
//
// decode* reads a record's single form (text as UTF-8, trimmed of blanks and
// NULs at both ends); encode* writes the fields that an operation returns,
// leaving every other byte of the record as it was.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace kovadel {

struct ModuleFields {
    int32_t moduleId = 0;
    std::string moduleName;
    std::string directoryPrefix;
};

struct TopicFields {
    int32_t topicId = 0;
    int32_t moduleId = 0;
    int32_t parentId = 0;
    int32_t hasChild = 0;
    std::string patEdDocument;
    std::string description;
};

struct CodeFields {
    int32_t codeId = 0;
    std::string code;
    int32_t codingSystemId = 0;
    int32_t codeFlag = 0;
    std::string description;
    std::string patEdDocument;
};

struct CodingSystemFields {
    int32_t codingSystemId = 0;
    std::string codingSystemName;
};

// PatEdDefaultsRecord: its columns in declaration order. A text column has a
// width; a 32-bit value has width 0 and is carried as the signed value of its
// four bytes, so that it comes back bit for bit.
struct DefaultsColumn {
    const char* name;
    size_t offset;
    size_t width;
};
inline constexpr size_t kDefaultsColumnCount = 17;
extern const std::array<DefaultsColumn, kDefaultsColumnCount> kDefaultsColumns;

struct DefaultsFields {
    std::array<std::string, kDefaultsColumnCount> text; // text columns
    std::array<int32_t, kDefaultsColumnCount> value {}; // 32-bit columns
    const std::string& key() const { return text[0]; }
};

ModuleFields decodeModule(const void* record);
void encodeModule(void* record, const ModuleFields& fields); // every field

TopicFields decodeTopic(const void* record);
void encodeTopicId(void* record, int32_t topicId);

CodeFields decodeCode(const void* record);
// The same written over `fields`, whose strings keep their room.
void decodeCode(const void* record, CodeFields& fields);
void encodeCode(void* record, const CodeFields& fields); // every field

CodingSystemFields decodeCodingSystem(const void* record);
void encodeCodingSystem(void* record, const CodingSystemFields& fields); // every field

DefaultsFields decodeDefaults(const void* record);
void encodeDefaults(void* record, const DefaultsFields& fields); // every field

// Element forms of the arrays.
ModuleFields decodeModuleElement(const void* element);
void encodeModuleElement(void* element, const ModuleFields& fields);
CodingSystemFields decodeCodingSystemElement(const void* element);
void encodeCodingSystemElement(void* element, const CodingSystemFields& fields);
TopicFields decodeTopicElement(const void* element);
void encodeTopicElement(void* element, const TopicFields& fields);
CodeFields decodeCodeElement(const void* element);
void encodeCodeElement(void* element, const CodeFields& fields);

} // namespace kovadel
