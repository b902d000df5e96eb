// The operations of the data-access library, as the program calls them.
//
// Externals is the seam between the handlers and the library: the program
// binds the real library (KovadelLibrary), tests substitute a recording
// stand-in. Records pass by reference and every field is in-out; the list
// operations take a vector that the caller sizes to one element (the filter,
// for SearchCodes also the cursor) and that the call replaces by the rows
// found.
#pragma once

#include "store/Structures.h"

#include <QString>

#include <cstdint>
#include <stdexcept>
#include <vector>

// A library or function that cannot be bound. The message names it.
class ExternalsError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Externals {
public:
    virtual ~Externals() = default;

    // What StartVelk returns when no database is open (the library's
    // KOVADEL_START_ values); a positive result means it is open.
    static constexpr int32_t kStartFailed = 0; // cannot be opened or used
    static constexpr int32_t kStartBusy = -1; // held by another process for the whole busy wait
    static constexpr int32_t kStartBadSetting = -2; // a setting of the environment is not valid

    virtual int32_t StartVelk(const QString& path, const QString& user, const QString& password) = 0;
    virtual int32_t EndVelk() = 0;
    virtual int32_t FileLineCount(const QString& path) = 0;
    virtual int32_t ExecuteQuery(const QString& sql, CallStatus& status) = 0;

    virtual int32_t GetModules(std::vector<ModuleRecord>& list, CallStatus& status) = 0;
    virtual int32_t GetModule(ModuleRecord& record, CallStatus& status) = 0;
    virtual int32_t InsertModule(ModuleRecord& record, CallStatus& status) = 0;
    virtual int32_t DeleteModules(ModuleRecord& record, CallStatus& status) = 0;

    virtual int32_t InsertTopic(TopicRecord& record, CallStatus& status) = 0;
    virtual int32_t GetTopic(TopicRecord& record, CallStatus& status) = 0;
    virtual int32_t SetTopic(TopicRecord& record, CallStatus& status) = 0;
    virtual int32_t DeleteTopics(TopicRecord& record, CallStatus& status) = 0;
    // Every topic of list[0].ModuleID, in TopicID order.
    virtual int32_t GetTopics(std::vector<TopicRecord>& list, CallStatus& status) = 0;

    virtual int32_t GetCodingSystems(std::vector<CodingSystemRecord>& list, CallStatus& status) = 0;
    virtual int32_t GetCodingSystem(CodingSystemRecord& record, CallStatus& status) = 0;
    virtual int32_t InsertCode(CodeRecord& record, CallStatus& status) = 0;
    virtual int32_t SetCode(CodeRecord& record, CallStatus& status) = 0;
    virtual int32_t DeleteCodes(CodeRecord& record, CallStatus& status) = 0;
    // The code record.Code of record.CodingSystemID: 1 and every field filled in, 0 when not found.
    virtual int32_t GetCode(CodeRecord& record, CallStatus& status) = 0;
    // The codes of list[0].CodingSystemID that match `pattern` (code prefix, or
    // description words), in code order; after (list[0].Code, list[0].CodeID)
    // when list[0].CodeID > 0; at most `limit` of them when limit > 0.
    virtual int32_t SearchCodes(
        std::vector<CodeRecord>& list, const QString& pattern, int32_t limit, CallStatus& status) = 0;

    virtual int32_t GetPatEdDefaults(PatEdDefaultsRecord& record, CallStatus& status) = 0;
    virtual int32_t SetPatEdDefaults(PatEdDefaultsRecord& record, CallStatus& status) = 0;

    // Units of work (nesting; only the outermost commit writes).
    virtual int32_t BeginUnit(CallStatus& status) = 0;
    virtual int32_t CommitUnit(CallStatus& status) = 0;
    virtual int32_t RollbackUnit(CallStatus& status) = 0;

    // Why the last call failed (StartVelk's too); empty when it succeeded.
    virtual QString LastError() = 0;
};
