// A small stand-in for the data-access library, loaded by the binding tests
// through QLibrary like the real one. It exports only some of the library's
// functions (the binding must report the others by name), records what it was
// given, and writes known values into every field of what it gets back.
//
// Fake* functions let the tests read what the last call received.

#include <kovadel/kovadel.h>

#include <algorithm>
#include <cstring>
#include <string>

#define FAKE_API extern "C" __attribute__((visibility("default")))

namespace {

unsigned char g_lastRecord[1024];
int32_t g_lastRecordSize = 0;
unsigned char g_lastStatus[KV_STATUS_SIZE];
int32_t g_lastArrayCount = -1;
std::string g_lastText[3];

unsigned char* bytes(void* p) { return static_cast<unsigned char*>(p); }

void putI32(unsigned char* at, uint32_t value)
{
    at[0] = static_cast<unsigned char>(value);
    at[1] = static_cast<unsigned char>(value >> 8);
    at[2] = static_cast<unsigned char>(value >> 16);
    at[3] = static_cast<unsigned char>(value >> 24);
}

uint32_t getI32(const unsigned char* at)
{
    return static_cast<uint32_t>(at[0]) | (static_cast<uint32_t>(at[1]) << 8) | (static_cast<uint32_t>(at[2]) << 16)
        | (static_cast<uint32_t>(at[3]) << 24);
}

// ANSI text padded with blanks to `width`.
void putText(unsigned char* at, int width, const char* text)
{
    const int n = std::min(width, static_cast<int>(std::strlen(text)));
    std::memcpy(at, text, static_cast<size_t>(n));
    std::memset(at + n, ' ', static_cast<size_t>(width - n));
}

// UTF-16LE text padded with blanks to `width` code units.
void putUnits(unsigned char* at, int width, const char16_t* text)
{
    int i = 0;
    for (; text[i] && i < width; ++i) {
        at[2 * i] = static_cast<unsigned char>(text[i] & 0xFF);
        at[2 * i + 1] = static_cast<unsigned char>(text[i] >> 8);
    }
    for (; i < width; ++i) {
        at[2 * i] = ' ';
        at[2 * i + 1] = 0;
    }
}

std::u16string getUnits(const unsigned char* at, int width)
{
    std::u16string text;
    for (int i = 0; i < width; ++i)
        text.push_back(static_cast<char16_t>(at[2 * i] | (at[2 * i + 1] << 8)));
    while (!text.empty() && (text.back() == u' ' || text.back() == 0))
        text.pop_back();
    return text;
}

void remember(const void* record, int32_t size, const void* status)
{
    std::memcpy(g_lastRecord, record, static_cast<size_t>(size));
    g_lastRecordSize = size;
    std::memcpy(g_lastStatus, status, KV_STATUS_SIZE);
}

// Every field of the status is written.
void fillStatus(void* status, const char* op)
{
    unsigned char* s = bytes(status);
    putText(s + 0, 128, op);
    putText(s + 128, 64, "second \xE9");
    putI32(s + 192, 0xA1B2C3D4u);
    putI32(s + 196, 0x00000001u);
    putI32(s + 200, 0xFFFFFFFFu);
    putI32(s + 204, 0x80000000u);
}

// The defaults as the store keeps them; every field distinct.
unsigned char g_defaults[KV_DEFAULTS_SIZE];
bool g_defaultsReady = false;

void prepareDefaults()
{
    if (g_defaultsReady)
        return;
    unsigned char* d = g_defaults;
    std::memset(d, 0, sizeof g_defaults);
    putText(d + 0, 6, "KEY");
    putText(d + 6, 50, "setting two");
    putI32(d + 56, 0x03030303u);
    putText(d + 60, 50, "setting four \x80");
    putI32(d + 112, 0x05050505u);
    putText(d + 116, 50, "setting six");
    putText(d + 166, 50, "Stored module");
    putText(d + 216, 100, "setting eight");
    putI32(d + 316, 0x09090909u);
    putText(d + 320, 50, "setting ten");
    putText(d + 370, 80, "setting eleven");
    putI32(d + 452, 0xC0FFEE12u);
    putText(d + 456, 50, "setting thirteen");
    putText(d + 506, 10, "fourteen!!");
    putText(d + 516, 50, "setting fifteen");
    putText(d + 566, 100, "setting sixteen");
    putText(d + 666, 100, "setting seventeen");
    g_defaultsReady = true;
}

} // namespace

// ---- What the tests read back ----------------------------------------------

FAKE_API int32_t FakeLastRecord(unsigned char* out, int32_t size)
{
    std::memcpy(out, g_lastRecord, static_cast<size_t>(std::min(size, g_lastRecordSize)));
    return g_lastRecordSize;
}

FAKE_API void FakeLastStatus(unsigned char* out) { std::memcpy(out, g_lastStatus, KV_STATUS_SIZE); }

FAKE_API int32_t FakeLastArrayCount() { return g_lastArrayCount; }

FAKE_API int32_t FakeLastText(int32_t index, char* out, int32_t size)
{
    const std::string& text = g_lastText[index];
    const size_t n = std::min(text.size(), static_cast<size_t>(size - 1));
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
    return static_cast<int32_t>(text.size());
}

// ---- The library's functions (a subset) -------------------------------------

int32_t StartVelk(const char* path, const char* user, const char* password)
{
    g_lastText[0] = path;
    g_lastText[1] = user;
    g_lastText[2] = password;
    return 7;
}

int32_t EndVelk(void) { return 3; }

int32_t VelkLastError(char* buffer, int32_t size)
{
    // Longer than a first guess at the buffer, ending in a code-page character.
    const std::string reason = "reason " + std::string(700, 'x') + " \xE9nd";
    if (size > 0) {
        const size_t n = std::min(reason.size(), static_cast<size_t>(size - 1));
        std::memcpy(buffer, reason.data(), n);
        buffer[n] = '\0';
    }
    return static_cast<int32_t>(reason.size());
}

int32_t FileLineCount(const char* path)
{
    g_lastText[0] = path;
    return 75000;
}

int32_t ExecuteQuery(const char* sql, void* status)
{
    g_lastText[0] = sql;
    std::memcpy(g_lastStatus, status, KV_STATUS_SIZE);
    fillStatus(status, "ExecuteQuery");
    return 1;
}

int32_t GetModule(void* record, void* status)
{
    remember(record, KV_MODULE_SIZE, status);
    unsigned char* r = bytes(record);
    putI32(r + 0, getI32(r + 0) + 1000);
    putText(r + 4, 50, "Returned caf\xE9");
    putText(r + 54, 50, "PFX");
    fillStatus(status, "GetModule");
    return 11;
}

int32_t InsertTopic(void* record, void* status)
{
    remember(record, KV_TOPIC_SIZE, status);
    unsigned char* r = bytes(record);
    putI32(r + 0, getI32(r + 0) + 1);
    putI32(r + 4, getI32(r + 4) + 2);
    putI32(r + 8, getI32(r + 8) + 3);
    putI32(r + 12, getI32(r + 12) + 4);
    putText(r + 16, 50, "pdf\\changed.htm");
    putText(r + 66, 80, "Changed description");
    r[146] = 0xEE; // padding: carries nothing back
    r[147] = 0xEE;
    fillStatus(status, "InsertTopic");
    return 12;
}

int32_t InsertCode(void* record, void* status)
{
    remember(record, KV_CODE_SIZE, status);
    unsigned char* r = bytes(record);
    putI32(r + 0, 0x7FFFFFFFu);
    putText(r + 4, 50, "Z99.9");
    r[54] = 0xEE;
    r[55] = 0xEE;
    putI32(r + 56, 0xFFFFFFFEu); // -2
    putI32(r + 60, 5);
    putText(r + 64, 100, "A description \x80");
    putText(r + 164, 50, "doc\\code.htm");
    fillStatus(status, "InsertCode");
    return 13;
}

int32_t GetCodingSystem(void* record, void* status)
{
    remember(record, KV_SYSTEM_SIZE, status);
    unsigned char* r = bytes(record);
    fillStatus(status, "GetCodingSystem");
    if (std::memcmp(r + 4, "ICD ", 4) != 0)
        return 0;
    putI32(r + 0, 9);
    return 1;
}

int32_t GetPatEdDefaults(void* record, void* status)
{
    prepareDefaults();
    remember(record, KV_DEFAULTS_SIZE, status);
    std::memcpy(record, g_defaults, KV_DEFAULTS_SIZE);
    fillStatus(status, "GetPatEdDefaults");
    return 1;
}

int32_t SetPatEdDefaults(void* record, void* status)
{
    remember(record, KV_DEFAULTS_SIZE, status);
    fillStatus(status, "SetPatEdDefaults");
    return 1;
}

int32_t BeginUnit(void* status)
{
    std::memcpy(g_lastStatus, status, KV_STATUS_SIZE);
    fillStatus(status, "BeginUnit");
    return 1;
}

// Remembers element 0 (the filter) and replaces the list by three modules.
int32_t GetModules(SAFEARRAY** list, void* status)
{
    SAFEARRAY* array = *list;
    g_lastArrayCount = array ? static_cast<int32_t>(array->rgsabound[0].cElements) : -1;
    g_lastRecordSize = 0;
    if (array && array->rgsabound[0].cElements > 0) {
        std::memcpy(g_lastRecord, kv_safearray_element(array, 0), KV_MODULE_ELEMENT_SIZE);
        g_lastRecordSize = KV_MODULE_ELEMENT_SIZE;
    }
    std::memcpy(g_lastStatus, status, KV_STATUS_SIZE);
    kv_safearray_redim(array, 3);
    const char16_t* names[3] = { u"Alpha", u"Bravo \u0416", u"Caf\u00E9" };
    for (uint32_t i = 0; i < 3; ++i) {
        unsigned char* e = bytes(kv_safearray_element(array, i));
        putI32(e + 0, 101 + i);
        putUnits(e + 4, 50, names[i]);
        putUnits(e + 104, 50, u"PRE");
    }
    fillStatus(status, "GetModules");
    return 3;
}

// The filter's name chooses what happens to the array:
//   none     re-dimensioned to no elements
//   null     released, and the reference set to NULL
//   replace  released and replaced by a new array of two
//   bad      replaced by an array whose elements have the wrong size
//   other    re-dimensioned to two
int32_t GetCodingSystems(SAFEARRAY** list, void* status)
{
    SAFEARRAY* array = *list;
    g_lastArrayCount = array ? static_cast<int32_t>(array->rgsabound[0].cElements) : -1;
    std::u16string filter;
    if (array && array->rgsabound[0].cElements > 0)
        filter = getUnits(bytes(kv_safearray_element(array, 0)) + 4, 50);
    fillStatus(status, "GetCodingSystems");

    if (filter == u"none") {
        kv_safearray_redim(array, 0);
        return 0;
    }
    if (filter == u"null") {
        kv_safearray_destroy(array);
        *list = nullptr;
        return 0;
    }
    if (filter == u"bad") {
        kv_safearray_destroy(array);
        *list = kv_safearray_create(50, 1);
        return 1;
    }
    if (filter == u"replace") {
        kv_safearray_destroy(array);
        array = kv_safearray_create(KV_SYSTEM_ELEMENT_SIZE, 2);
        *list = array;
    } else {
        kv_safearray_redim(array, 2);
    }
    putI32(bytes(kv_safearray_element(array, 0)), 1);
    putUnits(bytes(kv_safearray_element(array, 0)) + 4, 50, u"ICD");
    putI32(bytes(kv_safearray_element(array, 1)), 2);
    putUnits(bytes(kv_safearray_element(array, 1)) + 4, 50, u"CPT");
    return 2;
}

// Remembers element 0 (the module) and replaces the list by two topics,
// every field distinct.
int32_t GetTopics(SAFEARRAY** list, void* status)
{
    SAFEARRAY* array = *list;
    g_lastArrayCount = array ? static_cast<int32_t>(array->rgsabound[0].cElements) : -1;
    g_lastRecordSize = 0;
    if (array && array->rgsabound[0].cElements > 0) {
        std::memcpy(g_lastRecord, kv_safearray_element(array, 0), 276);
        g_lastRecordSize = 276;
    }
    std::memcpy(g_lastStatus, status, KV_STATUS_SIZE);
    kv_safearray_redim(array, 2);
    for (uint32_t i = 0; i < 2; ++i) {
        unsigned char* e = bytes(kv_safearray_element(array, i));
        putI32(e + 0, 301 + i); // TopicID
        putI32(e + 4, 7); // ModuleID
        putI32(e + 8, i == 0 ? 0 : 301); // ParentID
        putI32(e + 12, i == 0 ? 1 : 0); // HasChild
        putUnits(e + 16, 50, i == 0 ? u"htm\\first.htm" : u"htm\\second.htm"); // PatEdDocument
        putUnits(e + 116, 80, i == 0 ? u"Asthma \u0416" : u"Caf\u00E9 care"); // Description
    }
    fillStatus(status, "GetTopics");
    return 1;
}

// Remembers element 0 (system and cursor), the pattern (text 0) and the
// limit (as text 1), and replaces the list by `limit` codes (two when the
// limit is not above 0).
int32_t SearchCodes(SAFEARRAY** list, const char* pattern, int32_t limit, void* status)
{
    SAFEARRAY* array = *list;
    g_lastArrayCount = array ? static_cast<int32_t>(array->rgsabound[0].cElements) : -1;
    g_lastRecordSize = 0;
    if (array && array->rgsabound[0].cElements > 0) {
        std::memcpy(g_lastRecord, kv_safearray_element(array, 0), 412);
        g_lastRecordSize = 412;
    }
    g_lastText[0] = pattern ? pattern : "<null>";
    g_lastText[1] = std::to_string(limit);
    std::memcpy(g_lastStatus, status, KV_STATUS_SIZE);
    const uint32_t count = limit > 0 ? static_cast<uint32_t>(limit) : 2;
    kv_safearray_redim(array, count);
    for (uint32_t i = 0; i < count; ++i) {
        unsigned char* e = bytes(kv_safearray_element(array, i));
        putI32(e + 0, 501 + i); // CodeID
        putUnits(e + 4, 50, i == 0 ? u"A01" : u"A02.\u0394"); // Code
        putI32(e + 104, 3); // CodingSystemID
        putI32(e + 108, 0x10 + i); // CodeFlag
        putUnits(e + 112, 100, i == 0 ? u"Typhoid fever" : u"\u041E\u0441\u0442\u0440\u044B\u0439"); // Description
        putUnits(e + 312, 50, u"htm\\code.htm"); // PatEdDocument
    }
    fillStatus(status, "SearchCodes");
    return 1;
}
