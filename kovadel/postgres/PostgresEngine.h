// The PostgreSQL engine: a library shared by several workstations on one
// server, reached through libpq.
//
// Every outermost unit of work is one transaction that takes the library's
// advisory lock as it begins (pg_advisory_xact_lock, waiting at most
// VELKINDEX_BUSY_TIMEOUT_MS), so that writers take turns and readers never
// wait; a write outside a unit is a unit of its own. Writes inside a unit are
// sent without waiting for their results (runs of InsertCode as one COPY,
// everything else pipelined); the first failure among them, known at the
// next read or at the commit, fails the whole unit.
//
// PgOpen.cpp connects and readies the tables, PgOps.cpp holds the record
// operations and ExecuteQuery, PgReadOps.cpp the lists of topics and codes.
#pragma once

#include "Engine.h"

#include "Conditions.h"
#include "PgLink.h"

#include <deque>
#include <functional>
#include <string>

namespace kovadel {

class PostgresEngine final : public Engine {
public:
    PostgresEngine() = default;
    ~PostgresEngine() override { close(); }

    // `database` is a postgresql:// or postgres:// URI; the account is used
    // where the URI and the environment name none.
    Status open(const std::string& database, const Credentials& credentials) override;
    void close() noexcept override;

    Status beginUnit() override;
    Status commitUnit() override;
    Status rollbackUnit() override;

    Status getModules(const ModuleFields& filter, std::vector<ModuleFields>& rows) override;
    Status getModule(const std::string& name, ModuleFields& row) override;
    Status insertModule(const ModuleFields& module) override;
    Status deleteModules(const ModuleFields& pattern) override;

    Status insertTopic(const TopicFields& topic) override;
    Status getTopic(const TopicFields& key, int32_t& topicId) override;
    Status setTopic(int32_t topicId, int32_t hasChild) override;
    Status deleteTopics(const TopicFields& pattern) override;

    Status getCodingSystems(const CodingSystemFields& filter, std::vector<CodingSystemFields>& rows) override;
    Status getCodingSystem(const std::string& name, CodingSystemFields& row) override;
    Status insertCode(const CodeFields& code) override;
    Status setCode(const CodeFields& code) override;
    Status deleteCodes(const CodeFields& pattern) override;

    Status getTopics(int32_t moduleId, std::vector<TopicFields>& rows) override;
    Status getCode(int32_t codingSystemId, const std::string& code, CodeFields& row) override;
    Status searchCodes(
        const CodeFields& after, const std::string& pattern, int32_t limit, std::vector<CodeFields>& rows) override;

    Status getDefaults(const std::string& key, DefaultsFields& defaults) override;
    Status setDefaults(const DefaultsFields& defaults) override;

    Status executeQuery(std::string_view sql) override;

private:
    // Fails while the unit has been doomed, or once the server is gone.
    Status usable();
    // A read: what is pending is settled first, so that the read sees it.
    Status read(const std::function<Status()>& work);
    // A write: inside a unit as it is (maybe only sent); outside one, in a
    // unit of its own. Held topics are sent first unless `keepHeld`.
    Status write(const std::function<Status()>& work, bool keepHeld = false);
    // After a failed step inside a unit: the server's transaction may be
    // over, and a write that was only sent is lost, so the unit is doomed.
    Status noted(Status status, bool deferred = false);
    void endUnit();

    // Topics are numbered here, under the library's lock, and streamed to
    // the server with COPY; the newest few are held back, so that marking
    // one of them as a parent (the index builder marks the topic just
    // stored) changes the held row instead of costing a statement.
    Status storeTopic(int64_t moduleId, int64_t parentId, int64_t hasChild, const std::string& document,
        const std::string& description);
    // Sends every held topic and moves the topics' numbering past them.
    Status sendHeldTopics();
    // The sequences of topics and modules past the numbers this unit gave.
    Status moveSequences();
    Status sendTopic(const TopicFields& topic);
    void forgetTopicNumbers();
    // A run of SetCode of one coding system goes to the server as rows of a
    // temporary table (by COPY), applied by one UPDATE as the run ends: the
    // last description given for a code wins, as when each is applied in turn.
    Status applyDescriptions();
    // Everything held back: topics and descriptions.
    Status sendHeld();
    // A statement of a filter or pattern, its conditions bound as $N.
    static std::string patternSql(std::string_view head, const std::vector<Condition>& conditions,
        std::string_view tail, PgValues& values);

    PgLink m_link;
    std::string m_shown; // the URI, its password masked
    std::string m_topicSequence; // the sequence that numbers topics
    int64_t m_nextTopicId = 0; // within a unit; 0 when not known
    bool m_modulesNumbered = false; // a module was stored in this unit: the sequence moves on at commit
    int64_t m_lastTopicId = 0; // the largest number given in this unit, for the sequence
    std::deque<TopicFields> m_heldTopics;
    bool m_descriptionTable = false; // the temporary table is there
    bool m_descriptionsHeld = false;
    int32_t m_descriptionSystem = 0; // the coding system of the held run
    int64_t m_descriptionCount = 0;
    int m_depth = 0;
    bool m_doomed = false;
    std::string m_doomReason;
};

} // namespace kovadel
