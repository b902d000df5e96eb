// The byte forms in which the data-access library sees the records.
//
// Single form: every record passed by itself (text in the ANSI code page, one
// byte per character). Element form: the elements of the module,
// coding-system, topic and code arrays (text in UTF-16LE). Offsets and sizes are those of
// kovadel/layout.h.
#pragma once

#include "store/Structures.h"

#include <kovadel/layout.h>

#include <QString>

#include <array>
#include <cstdint>

using ModuleSingle = std::array<uint8_t, KV_MODULE_SIZE>;
using TopicSingle = std::array<uint8_t, KV_TOPIC_SIZE>;
using CodeSingle = std::array<uint8_t, KV_CODE_SIZE>;
using CodingSystemSingle = std::array<uint8_t, KV_SYSTEM_SIZE>;
using PatEdDefaultsSingle = std::array<uint8_t, KV_DEFAULTS_SIZE>;
using CallStatusSingle = std::array<uint8_t, KV_STATUS_SIZE>;
using ModuleElement = std::array<uint8_t, KV_MODULE_ELEMENT_SIZE>;
using CodingSystemElement = std::array<uint8_t, KV_SYSTEM_ELEMENT_SIZE>;
using TopicElement = std::array<uint8_t, KV_TOPIC_ELEMENT_SIZE>;
using CodeElement = std::array<uint8_t, KV_CODE_ELEMENT_SIZE>;

// Record -> single form. Padding bytes are 0.
ModuleSingle toSingle(const ModuleRecord& record);
TopicSingle toSingle(const TopicRecord& record);
CodeSingle toSingle(const CodeRecord& record);
CodingSystemSingle toSingle(const CodingSystemRecord& record);
PatEdDefaultsSingle toSingle(const PatEdDefaultsRecord& record);
CallStatusSingle toSingle(const CallStatus& record);

// Single form -> record: every field is overwritten (N bytes give N characters).
void fromSingle(const ModuleSingle& bytes, ModuleRecord& record);
void fromSingle(const TopicSingle& bytes, TopicRecord& record);
void fromSingle(const CodeSingle& bytes, CodeRecord& record);
void fromSingle(const CodingSystemSingle& bytes, CodingSystemRecord& record);
void fromSingle(const PatEdDefaultsSingle& bytes, PatEdDefaultsRecord& record);
void fromSingle(const CallStatusSingle& bytes, CallStatus& record);

// Element forms of the array element types.
ModuleElement toElement(const ModuleRecord& record);
CodingSystemElement toElement(const CodingSystemRecord& record);
TopicElement toElement(const TopicRecord& record);
CodeElement toElement(const CodeRecord& record);
void fromElement(const uint8_t* bytes, ModuleRecord& record);       // KV_MODULE_ELEMENT_SIZE bytes
void fromElement(const uint8_t* bytes, CodingSystemRecord& record); // KV_SYSTEM_ELEMENT_SIZE bytes
void fromElement(const uint8_t* bytes, TopicRecord& record);        // KV_TOPIC_ELEMENT_SIZE bytes
void fromElement(const uint8_t* bytes, CodeRecord& record);         // KV_CODE_ELEMENT_SIZE bytes

// Names (module names, directory prefixes, coding-system names, the default
// module) must be held whole by the ANSI code page: the single form would
// turn a character the code page lacks into '?', while the element form
// carries the name in UTF-16 as it is, so that one name would be stored
// under one text and looked up under another. Each returns why the names of
// a record cannot be represented, for example
//   the module name "Жук" cannot be represented in the code page WINDOWS-1252 (it has no "Ж")
// or an empty string when they can. Only the characters the fields keep count.
QString unrepresentableNames(const ModuleRecord& record);
QString unrepresentableNames(const CodingSystemRecord& record);
QString unrepresentableNames(const PatEdDefaultsRecord& record);
