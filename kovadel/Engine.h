// The storage interface: what the C interface asks of a database, whatever
// keeps it. The C layer (Api.cpp) checks the arguments, decodes and encodes
// the byte forms and reports the Status; an engine stores and reads the
// records and keeps the units of work.
//
// Every operation fails with a one-line reason (UTF-8). A failure because
// another process held the database for the whole wait is a busy one
// (Status::busyFailure); one because the database itself is damaged is
// Status::damage, and from then on every operation of that engine fails so.
#pragma once

#include "Records.h"
#include "Status.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kovadel {

// The account that StartVelk was given, as its bytes came; an engine whose
// database has no accounts ignores it.
struct Credentials {
    std::string user;
    std::string password;
};

class Engine {
public:
    virtual ~Engine() = default; // an engine closes itself as it goes away
    Engine() = default;
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // Opens `database` (never empty), creating the tables in a new or empty
    // database. After a failure the engine holds nothing open.
    virtual Status open(const std::string& database, const Credentials& credentials) = 0;
    // Rolls back an open unit of work and lets the database go. Closing twice
    // does nothing more.
    virtual void close() noexcept = 0;

    // Units of work: see kovadel.h.
    virtual Status beginUnit() = 0;
    virtual Status commitUnit() = 0;
    virtual Status rollbackUnit() = 0;

    // A filter's identifier of 0 or -1 and its blank texts ask for every
    // row; a pattern's -1 and blank texts match any value.
    virtual Status getModules(const ModuleFields& filter, std::vector<ModuleFields>& rows) = 0;
    virtual Status getModule(const std::string& name, ModuleFields& row) = 0;
    virtual Status insertModule(const ModuleFields& module) = 0;
    virtual Status deleteModules(const ModuleFields& pattern) = 0;

    // The engine numbers a new topic; the identifier given is not used.
    virtual Status insertTopic(const TopicFields& topic) = 0;
    virtual Status getTopic(const TopicFields& key, int32_t& topicId) = 0;
    virtual Status setTopic(int32_t topicId, int32_t hasChild) = 0;
    virtual Status deleteTopics(const TopicFields& pattern) = 0;

    virtual Status getCodingSystems(const CodingSystemFields& filter, std::vector<CodingSystemFields>& rows) = 0;
    virtual Status getCodingSystem(const std::string& name, CodingSystemFields& row) = 0;
    virtual Status insertCode(const CodeFields& code) = 0;
    virtual Status setCode(const CodeFields& code) = 0;
    virtual Status deleteCodes(const CodeFields& pattern) = 0;

    // Reads that take no write lock and see the last committed state (and,
    // inside a unit, its changes). Every topic of the module, in TopicID
    // order; none for an unknown module.
    virtual Status getTopics(int32_t moduleId, std::vector<TopicFields>& rows) = 0;
    // The code of that coding system whose code, blanks cut, is `code`; fails
    // with a reason when there is none.
    virtual Status getCode(int32_t codingSystemId, const std::string& code, CodeFields& row) = 0;
    // The codes of after.codingSystemId that match `pattern` (CodeSearch.h),
    // in code order (the code with its blanks cut, byte by byte, then the
    // identifier); only those after (after.code, after.codeId) when
    // after.codeId > 0; at most `limit` of them when limit > 0.
    virtual Status searchCodes(
        const CodeFields& after, const std::string& pattern, int32_t limit, std::vector<CodeFields>& rows)
        = 0;

    virtual Status getDefaults(const std::string& key, DefaultsFields& defaults) = 0;
    virtual Status setDefaults(const DefaultsFields& defaults) = 0;

    // One statement of SQL text (UTF-8).
    virtual Status executeQuery(std::string_view sql) = 0;
};

// The engine that keeps `database`: see EngineChoice.cpp.
std::unique_ptr<Engine> chooseEngine(std::string_view database);

} // namespace kovadel
