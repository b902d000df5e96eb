/*
 * Byte layouts of the records exchanged with the data-access library.
 *
 * Single form: one record passed by itself. Text of N characters is N bytes
 * in the ANSI code page, no terminator; 32-bit fields are little-endian at
 * offsets that are multiples of 4.
 * Element form: the elements of the GetModules, GetCodingSystems, GetTopics
 * and SearchCodes arrays. No padding; text of N characters is N UTF-16LE
 * code units.
 */
#ifndef KOVADEL_LAYOUT_H
#define KOVADEL_LAYOUT_H

/* ModuleRecord */
#define KV_MODULE_SIZE 104
#define KV_MODULE_ID 0
#define KV_MODULE_NAME 4
#define KV_MODULE_NAME_LEN 50
#define KV_MODULE_PREFIX 54
#define KV_MODULE_PREFIX_LEN 50
#define KV_MODULE_ELEMENT_SIZE 204
#define KV_MODULE_ELEMENT_ID 0
#define KV_MODULE_ELEMENT_NAME 4
#define KV_MODULE_ELEMENT_PREFIX 104

/* TopicRecord */
#define KV_TOPIC_SIZE 148
#define KV_TOPIC_ID 0
#define KV_TOPIC_MODULE 4
#define KV_TOPIC_PARENT 8
#define KV_TOPIC_HASCHILD 12
#define KV_TOPIC_DOCUMENT 16
#define KV_TOPIC_DOCUMENT_LEN 50
#define KV_TOPIC_DESCRIPTION 66
#define KV_TOPIC_DESCRIPTION_LEN 80
#define KV_TOPIC_ELEMENT_SIZE 276
#define KV_TOPIC_ELEMENT_ID 0
#define KV_TOPIC_ELEMENT_MODULE 4
#define KV_TOPIC_ELEMENT_PARENT 8
#define KV_TOPIC_ELEMENT_HASCHILD 12
#define KV_TOPIC_ELEMENT_DOCUMENT 16
#define KV_TOPIC_ELEMENT_DESCRIPTION 116

/* CodeRecord */
#define KV_CODE_SIZE 216
#define KV_CODE_ID 0
#define KV_CODE_CODE 4
#define KV_CODE_CODE_LEN 50
#define KV_CODE_SYSTEM 56
#define KV_CODE_FLAG 60
#define KV_CODE_DESCRIPTION 64
#define KV_CODE_DESCRIPTION_LEN 100
#define KV_CODE_DOCUMENT 164
#define KV_CODE_DOCUMENT_LEN 50
#define KV_CODE_ELEMENT_SIZE 412
#define KV_CODE_ELEMENT_ID 0
#define KV_CODE_ELEMENT_CODE 4
#define KV_CODE_ELEMENT_SYSTEM 104
#define KV_CODE_ELEMENT_FLAG 108
#define KV_CODE_ELEMENT_DESCRIPTION 112
#define KV_CODE_ELEMENT_DOCUMENT 312

/* CodingSystemRecord */
#define KV_SYSTEM_SIZE 56
#define KV_SYSTEM_ID 0
#define KV_SYSTEM_NAME 4
#define KV_SYSTEM_NAME_LEN 50
#define KV_SYSTEM_ELEMENT_SIZE 104
#define KV_SYSTEM_ELEMENT_ID 0
#define KV_SYSTEM_ELEMENT_NAME 4

/* PatEdDefaultsRecord: text fields (offset, length) and 32-bit values */
#define KV_DEFAULTS_SIZE 768
#define KV_DEFAULTS_KEY 0
#define KV_DEFAULTS_KEY_LEN 6
#define KV_DEFAULTS_SETTING02 6
#define KV_DEFAULTS_SETTING03 56
#define KV_DEFAULTS_SETTING04 60
#define KV_DEFAULTS_SETTING05 112
#define KV_DEFAULTS_SETTING06 116
#define KV_DEFAULTS_MODULE 166
#define KV_DEFAULTS_MODULE_LEN 50
#define KV_DEFAULTS_SETTING08 216
#define KV_DEFAULTS_SETTING09 316
#define KV_DEFAULTS_SETTING10 320
#define KV_DEFAULTS_SETTING11 370
#define KV_DEFAULTS_SETTING12 452
#define KV_DEFAULTS_SETTING13 456
#define KV_DEFAULTS_SETTING14 506
#define KV_DEFAULTS_SETTING15 516
#define KV_DEFAULTS_SETTING16 566
#define KV_DEFAULTS_SETTING17 666

/* CallStatus */
#define KV_STATUS_SIZE 208
#define KV_STATUS_TEXT1 0
#define KV_STATUS_TEXT1_LEN 128
#define KV_STATUS_TEXT2 128
#define KV_STATUS_TEXT2_LEN 64
#define KV_STATUS_VALUE1 192
#define KV_STATUS_VALUE2 196
#define KV_STATUS_VALUE3 200
#define KV_STATUS_VALUE4 204

#endif /* KOVADEL_LAYOUT_H */
