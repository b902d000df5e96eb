// The exported C functions. Each one serialises on the library's lock,
// checks and decodes its arguments, runs the operation on the open engine
// (Engine.h) and reports the outcome: the result, StatusText1 of the
// CallStatus, and the reason kept for VelkLastError. No exception leaves a
// function.
#include "kovadel/kovadel.h"

#include "ByteForms.h"
#include "Engine.h"
#include "LineCounter.h"
#include "Records.h"
#include "Settings.h"

#include "encoding/CodePage.h"
#include "encoding/Utf8.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>

namespace kovadel {
namespace {

    struct Library {
        std::mutex mutex;
        std::unique_ptr<Engine> engine; // null while no database is open
        std::string lastError; // UTF-8; empty after a success
    };

    Library& library()
    {
        static Library instance;
        return instance;
    }

    // Runs `body(library, result)` under the lock and reports its Status. A
    // success returns `result` (1 unless the body sets it); a failure returns
    // `failureValue`.
    template <class Body>
    int32_t call(void* status, int32_t failureValue, Body&& body, int32_t damageValue = 0) noexcept
    {
        if (damageValue == 0)
            damageValue = failureValue;
        std::string reason;
        try {
            Library& lib = library();
            std::lock_guard<std::mutex> lock(lib.mutex);
            int32_t result = 1;
            const Status st = body(lib, result);
            if (!st) {
                reason = st.reason();
                std::replace_if(
                    reason.begin(), reason.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
                result = st.isDamage() ? damageValue : failureValue;
            }
            lib.lastError = reason;
            putStatusText(status, reason);
            return result;
        } catch (const std::bad_alloc&) {
            reason = "out of memory";
        } catch (const std::exception& e) {
            reason = std::string("internal failure: ") + e.what();
        } catch (...) {
            reason = "internal failure";
        }
        try {
            Library& lib = library();
            std::lock_guard<std::mutex> lock(lib.mutex);
            lib.lastError = reason;
            putStatusText(status, reason);
        } catch (...) {
        }
        return failureValue;
    }

    // An operation on the open database.
    template <class Body> int32_t engineCall(void* status, Body&& body) noexcept
    {
        return call(status, 0, [&](Library& lib, int32_t&) -> Status {
            if (!lib.engine)
                return Status::failure("no database is open");
            return body(*lib.engine);
        });
    }

    // A unit operation: KV_DAMAGED instead of 0 when the file is damaged.
    template <class Body> int32_t unitCall(void* status, Body&& body) noexcept
    {
        return call(
            status, 0,
            [&](Library& lib, int32_t&) -> Status {
                if (!lib.engine)
                    return Status::failure("no database is open");
                return body(*lib.engine);
            },
            KV_DAMAGED);
    }

    // An operation on the open database with a record argument.
    template <class Body> int32_t recordCall(void* record, void* status, Body&& body) noexcept
    {
        return engineCall(status, [&](Engine& engine) -> Status {
            if (!record)
                return Status::failure("no record was given");
            return body(engine);
        });
    }

    // The fields of a code record, decoded into the same strings at every
    // call: a load sends one record per code.
    const CodeFields& decodedCode(const void* record)
    {
        thread_local CodeFields fields;
        decodeCode(record, fields);
        return fields;
    }

    // Closes the open database (an engine puts back a file that it made but
    // stored nothing in).
    void closeEngine(Library& lib)
    {
        if (!lib.engine)
            return;
        lib.engine->close();
        lib.engine.reset();
    }

    // The element size that a list operation expects, checked against what the
    // caller's descriptor declares.
    Status checkArray(SAFEARRAY** list, uint32_t elementSize)
    {
        if (!list)
            return Status::failure("no array was given");
        const SAFEARRAY* sa = *list;
        if (!sa)
            return {};
        if (sa->cDims != 1 || sa->cbElements != elementSize)
            return Status::failure(
                "the array is not a one-dimensional array of " + std::to_string(elementSize) + "-byte elements");
        if (sa->cLocks != 0)
            return Status::failure("the array is locked");
        return {};
    }

    // Element 0 of a list that names what is read (the module of GetTopics,
    // the coding system of SearchCodes), checked like any list.
    Status keyElement(SAFEARRAY** list, uint32_t elementSize, const char* names, const void*& element)
    {
        if (Status st = checkArray(list, elementSize); !st)
            return st;
        const SAFEARRAY* sa = *list;
        if (!sa || sa->rgsabound[0].cElements == 0 || !sa->pvData)
            return Status::failure(std::string("the array has no element 0 to name the ") + names);
        element = sa->pvData;
        return {};
    }

    const void* filterElement(SAFEARRAY** list)
    {
        const SAFEARRAY* sa = *list;
        if (!sa || sa->rgsabound[0].cElements == 0 || !sa->pvData)
            return nullptr;
        return sa->pvData;
    }

    // Replaces the array's contents by `rows` (creating the array when the caller
    // passed none); the array is left as it was when memory runs out.
    template <class Row, class Encode>
    Status fillArray(SAFEARRAY** list, uint32_t elementSize, const std::vector<Row>& rows, Encode encode)
    {
        SAFEARRAY* sa = *list;
        const bool created = sa == nullptr;
        if (created && !(sa = kv_safearray_create(elementSize, 0)))
            return Status::failure("out of memory");
        if (!kv_safearray_redim(sa, static_cast<uint32_t>(rows.size()))) {
            if (created)
                kv_safearray_destroy(sa);
            return Status::failure("out of memory");
        }
        sa->rgsabound[0].lLbound = 0;
        for (size_t i = 0; i < rows.size(); ++i)
            encode(kv_safearray_element(sa, static_cast<uint32_t>(i)), rows[i]);
        *list = sa;
        return {};
    }

} // namespace
} // namespace kovadel

using namespace kovadel;

extern "C" {

KOVADEL_API int32_t StartVelk(const char* path, const char* user, const char* password)
{
    int32_t failure = KOVADEL_START_FAILED;
    const int32_t result = call(nullptr, 0, [&](Library& lib, int32_t&) -> Status {
        closeEngine(lib); // a database already open is closed first
        // The settings before the file: a mistyped setting opens nothing.
        if (Status st = checkSettings(); !st) {
            failure = KOVADEL_START_BAD_SETTING;
            return st;
        }
        // The file system's bytes, used as they are (kovadel.h).
        const std::string database = path ? std::string(path) : std::string();
        if (database.empty())
            return Status::failure("no database path was given");
        // The account as given; an engine whose database has none ignores it.
        const Credentials credentials { user ? user : "", password ? password : "" };
        std::unique_ptr<Engine> engine = chooseEngine(database);
        if (Status st = engine->open(database, credentials); !st) {
            if (st.busy())
                failure = KOVADEL_START_BUSY;
            return st; // the engine lets go of what it opened as it goes away
        }
        lib.engine = std::move(engine);
        return {};
    });
    return result != 0 ? result : failure;
}

KOVADEL_API int32_t EndVelk(void)
{
    return call(nullptr, 0, [](Library& lib, int32_t&) -> Status {
        closeEngine(lib); // rolls back an open unit and closes the database
        return {};
    });
}

KOVADEL_API int32_t VelkLastError(char* buffer, int32_t size)
{
    try {
        Library& lib = library();
        std::lock_guard<std::mutex> lock(lib.mutex);
        const std::string ansi = encoding::utf16ToAnsi(encoding::utf8ToUtf16(lib.lastError));
        if (buffer && size > 0) {
            const size_t n = std::min(ansi.size(), static_cast<size_t>(size) - 1);
            std::memcpy(buffer, ansi.data(), n);
            buffer[n] = '\0';
        }
        return static_cast<int32_t>(std::min<size_t>(ansi.size(), INT32_MAX));
    } catch (...) {
        if (buffer && size > 0)
            buffer[0] = '\0';
        return 0;
    }
}

KOVADEL_API int32_t FileLineCount(const char* path)
{
    return call(nullptr, -1, [&](Library&, int32_t& result) -> Status {
        if (!path)
            return Status::failure("no file path was given");
        std::string reason;
        result = countLines(path, reason); // the file system's bytes, as they are
        return result < 0 ? Status::failure(reason) : Status();
    });
}

KOVADEL_API int32_t ExecuteQuery(const char* sql, void* status)
{
    return engineCall(status, [&](Engine& engine) -> Status {
        if (!sql)
            return Status::failure("no SQL text was given");
        // A load sends one statement per topic: the text's room is kept.
        thread_local std::string utf8;
        encoding::ansiToUtf8(sql, utf8);
        return engine.executeQuery(utf8);
    });
}

// ---- modules ---------------------------------------------------------------

KOVADEL_API int32_t GetModules(SAFEARRAY** list, void* status)
{
    return engineCall(status, [&](Engine& engine) -> Status {
        if (Status st = checkArray(list, KV_MODULE_ELEMENT_SIZE); !st)
            return st;
        const void* element = filterElement(list);
        const ModuleFields filter = element ? decodeModuleElement(element) : ModuleFields();
        std::vector<ModuleFields> rows;
        if (Status st = engine.getModules(filter, rows); !st)
            return st;
        return fillArray(list, KV_MODULE_ELEMENT_SIZE, rows, encodeModuleElement);
    });
}

KOVADEL_API int32_t GetModule(void* record, void* status)
{
    return recordCall(record, status, [&](Engine& engine) -> Status {
        ModuleFields found;
        if (Status st = engine.getModule(decodeModule(record).moduleName, found); !st)
            return st;
        encodeModule(record, found);
        return {};
    });
}

KOVADEL_API int32_t InsertModule(void* record, void* status)
{
    return recordCall(record, status, [&](Engine& engine) { return engine.insertModule(decodeModule(record)); });
}

KOVADEL_API int32_t DeleteModules(void* record, void* status)
{
    return recordCall(record, status, [&](Engine& engine) { return engine.deleteModules(decodeModule(record)); });
}

// ---- topics ----------------------------------------------------------------

KOVADEL_API int32_t InsertTopic(void* record, void* status)
{
    return recordCall(record, status, [&](Engine& engine) { return engine.insertTopic(decodeTopic(record)); });
}

KOVADEL_API int32_t GetTopic(void* record, void* status)
{
    return recordCall(record, status, [&](Engine& engine) -> Status {
        int32_t topicId = 0;
        if (Status st = engine.getTopic(decodeTopic(record), topicId); !st)
            return st;
        encodeTopicId(record, topicId);
        return {};
    });
}

KOVADEL_API int32_t SetTopic(void* record, void* status)
{
    return recordCall(record, status, [&](Engine& engine) {
        const TopicFields topic = decodeTopic(record);
        return engine.setTopic(topic.topicId, topic.hasChild);
    });
}

KOVADEL_API int32_t DeleteTopics(void* record, void* status)
{
    return recordCall(record, status, [&](Engine& engine) { return engine.deleteTopics(decodeTopic(record)); });
}

KOVADEL_API int32_t GetTopics(SAFEARRAY** list, void* status)
{
    return engineCall(status, [&](Engine& engine) -> Status {
        const void* element = nullptr;
        if (Status st = keyElement(list, KV_TOPIC_ELEMENT_SIZE, "module", element); !st)
            return st;
        std::vector<TopicFields> rows;
        if (Status st = engine.getTopics(decodeTopicElement(element).moduleId, rows); !st)
            return st;
        return fillArray(list, KV_TOPIC_ELEMENT_SIZE, rows, encodeTopicElement);
    });
}

// ---- coding systems and codes ---------------------------------------------

KOVADEL_API int32_t GetCodingSystems(SAFEARRAY** list, void* status)
{
    return engineCall(status, [&](Engine& engine) -> Status {
        if (Status st = checkArray(list, KV_SYSTEM_ELEMENT_SIZE); !st)
            return st;
        const void* element = filterElement(list);
        const CodingSystemFields filter = element ? decodeCodingSystemElement(element) : CodingSystemFields();
        std::vector<CodingSystemFields> rows;
        if (Status st = engine.getCodingSystems(filter, rows); !st)
            return st;
        return fillArray(list, KV_SYSTEM_ELEMENT_SIZE, rows, encodeCodingSystemElement);
    });
}

KOVADEL_API int32_t GetCodingSystem(void* record, void* status)
{
    return recordCall(record, status, [&](Engine& engine) -> Status {
        CodingSystemFields found;
        if (Status st = engine.getCodingSystem(decodeCodingSystem(record).codingSystemName, found); !st)
            return st;
        encodeCodingSystem(record, found);
        return {};
    });
}

KOVADEL_API int32_t InsertCode(void* record, void* status)
{
    return recordCall(record, status, [&](Engine& engine) { return engine.insertCode(decodedCode(record)); });
}

KOVADEL_API int32_t SetCode(void* record, void* status)
{
    return recordCall(record, status, [&](Engine& engine) { return engine.setCode(decodedCode(record)); });
}

KOVADEL_API int32_t DeleteCodes(void* record, void* status)
{
    return recordCall(record, status, [&](Engine& engine) { return engine.deleteCodes(decodeCode(record)); });
}

KOVADEL_API int32_t GetCode(void* record, void* status)
{
    return recordCall(record, status, [&](Engine& engine) -> Status {
        const CodeFields key = decodeCode(record);
        CodeFields found;
        if (Status st = engine.getCode(key.codingSystemId, key.code, found); !st)
            return st;
        encodeCode(record, found);
        return {};
    });
}

KOVADEL_API int32_t SearchCodes(SAFEARRAY** list, const char* pattern, int32_t limit, void* status)
{
    return engineCall(status, [&](Engine& engine) -> Status {
        const void* element = nullptr;
        if (Status st = keyElement(list, KV_CODE_ELEMENT_SIZE, "coding system", element); !st)
            return st;
        // No pattern at all matches every code, as a blank one does.
        const std::string text = pattern ? encoding::ansiToUtf8(pattern) : std::string();
        std::vector<CodeFields> rows;
        if (Status st = engine.searchCodes(decodeCodeElement(element), text, limit, rows); !st)
            return st;
        return fillArray(list, KV_CODE_ELEMENT_SIZE, rows, encodeCodeElement);
    });
}

// ---- defaults --------------------------------------------------------------

KOVADEL_API int32_t GetPatEdDefaults(void* record, void* status)
{
    return recordCall(record, status, [&](Engine& engine) -> Status {
        DefaultsFields found;
        if (Status st = engine.getDefaults(decodeDefaults(record).key(), found); !st)
            return st;
        encodeDefaults(record, found);
        return {};
    });
}

KOVADEL_API int32_t SetPatEdDefaults(void* record, void* status)
{
    return recordCall(record, status, [&](Engine& engine) { return engine.setDefaults(decodeDefaults(record)); });
}

// ---- units of work ---------------------------------------------------------

KOVADEL_API int32_t BeginUnit(void* status)
{
    return unitCall(status, [](Engine& engine) { return engine.beginUnit(); });
}

KOVADEL_API int32_t CommitUnit(void* status)
{
    return unitCall(status, [](Engine& engine) { return engine.commitUnit(); });
}

KOVADEL_API int32_t RollbackUnit(void* status)
{
    return unitCall(status, [](Engine& engine) { return engine.rollbackUnit(); });
}

} // extern "C"
