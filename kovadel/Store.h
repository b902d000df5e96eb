// One open VELKINDEX database: its connection, its prepared statements, and
// the units of work that the program opens around its commands.
//
// Every operation prepares nothing on the hot path: statements are prepared
// when the database is opened (or, for the patterns of the list and delete
// operations, at their first use) and bound per call.
#pragma once

#include "DamageCheck.h"
#include "MadeFile.h"
#include "Records.h"
#include "Sqlite.h"
#include "Status.h"

#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kovadel {

class Store {
public:
    Store() = default;
    ~Store(); // an open unit of work is rolled back
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    // Opens `utf8Path`, creating the schema in a new or empty file. `shownPath`
    // names the file in reasons; `origin` is what was found at the path.
    Status open(const std::string& utf8Path, const std::string& shownPath,
        MadeFile::Origin origin = MadeFile::Origin::Existing);

    // The file this connection made, for undoMadeFile() once it is closed.
    const MadeFile& madeFile() const { return m_made; }

    // Units of work: see kovadel.h.
    Status beginUnit();
    Status commitUnit();
    Status rollbackUnit();

    Status getModules(const ModuleFields& filter, std::vector<ModuleFields>& rows);
    Status getModule(const std::string& name, ModuleFields& row);
    Status insertModule(const ModuleFields& module);
    Status deleteModules(const ModuleFields& pattern);

    Status insertTopic(const TopicFields& topic);
    Status getTopic(const TopicFields& key, int32_t& topicId);
    Status setTopic(int32_t topicId, int32_t hasChild);
    Status deleteTopics(const TopicFields& pattern);

    Status getCodingSystems(const CodingSystemFields& filter, std::vector<CodingSystemFields>& rows);
    Status getCodingSystem(const std::string& name, CodingSystemFields& row);
    Status insertCode(const CodeFields& code);
    Status setCode(const CodeFields& code);
    Status deleteCodes(const CodeFields& pattern);

    Status getDefaults(const std::string& key, DefaultsFields& defaults);
    Status setDefaults(const DefaultsFields& defaults);

    // `sql` is UTF-8.
    Status executeQuery(std::string_view sql);

private:
    // One condition of a list filter or a delete pattern. `column` may be an
    // expression over a column (the trimmed text).
    struct Condition {
        const char* column;
        bool any;
        int64_t number = 0;
        const std::string* text = nullptr; // the caller's field, alive for the run
    };
    static Condition number(const char* column, int64_t value, bool any) { return { column, any, value }; }
    static Condition text(const char* column, const std::string& value) { return { column, value.empty(), 0, &value }; }

    // What ExecuteQuery may not prepare; consulted by the authorizer.
    struct QueryGuard {
        bool active = false;
        const char* denied = nullptr; // why the last prepare was refused
        bool writesTopics = false; // the statement inserts or updates topics
    };
    static int authorize(void* guard, int action, const char* first, const char* second, const char*, const char*);

    Status openOnce(const std::string& utf8Path, const std::string& shownPath, MadeFile::Origin origin, bool& moved);
    Status prepareStatements();
    // Fails, naming the limit, when the next topic's number would not fit
    // its record; topicInserted() keeps the number known within a unit.
    Status roomForTopic();
    void topicInserted(const Status& insert);
    Status createSchemaIfEmpty(const std::string& shownPath, bool& created, int64_t& version);
    // Whether the path no longer names the file that the connection has open.
    bool fileMoved();
    // Keeps the bytes of the file that the schema was just created in.
    void keepFreshFile(int64_t versionAtCreation);
    int64_t dataVersion(); // PRAGMA data_version: changes when another connection commits

    // Diagnostics: when VELKINDEX_TRACE_COMMITS names a file, every commit and
    // roll-back of the connection appends one line to it, with the
    // synchronous level and journal mode that the connection reports. The
    // hooks may not run SQL, so the settings are read beforehand.
    void startTrace();
    void observeSettings();
    static int traceCommit(void* store);
    static void traceRollback(void* store);
    void appendTrace(const std::string& line) const;
    // Fails while the unit of work has been rolled back, and for good once the
    // file was found damaged.
    Status usable();
    // usable(); and before the first write outside a unit, the file checked.
    Status writable();
    // Checks the file once per connection; see verify() in Store.cpp.
    Status verify();
    Status takeVerdict(const CheckVerdict& verdict);
    // Refuses the file from now on; an open unit is rolled back at once.
    Status noteDamage(const std::string& detail);
    // After a failed step inside a unit: SQLite may have ended the
    // transaction itself, which dooms the unit.
    Status checked(Status status);
    void endUnit();
    // FULL for the transaction of a unit, so that its commit is synced;
    // NORMAL outside units.
    Status setSynchronous(bool full);
    Status run(Statement& statement);

    // The statement `head WHERE <conditions> tail`, where only the conditions
    // that are not `any` appear; prepared once per kind and combination.
    Statement* patternStatement(unsigned kind, std::string_view head, const std::vector<Condition>& conditions,
        std::string_view tail, Status& status);
    static void bindConditions(StatementRun& run, const std::vector<Condition>& conditions);
    // Runs that statement with its conditions bound, handing every row it
    // returns to `onRow` (when given).
    Status runPattern(unsigned kind, std::string_view head, const std::vector<Condition>& conditions,
        std::string_view tail, const std::function<void(const StatementRun&)>& onRow = {});

    Connection m_db;
    QueryGuard m_guard;
    std::string m_shownPath;
    MadeFile m_made;

    // Damage (see kovadel.h, KV_DAMAGED).
    bool m_verified = false; // verify() found the file sound
    std::string m_damageReason; // set once the file was found damaged

    std::string m_tracePath; // empty: no trace
    int64_t m_observedSynchronous = -1;
    std::string m_observedJournalMode;

    int m_depth = 0;
    int64_t m_nextTopicId = 0; // 0: not known
    bool m_doomed = false;
    std::string m_doomReason;

    Statement m_begin, m_commit, m_rollback;
    Statement m_savepoint, m_release, m_rollbackTo;
    Statement m_getModule, m_insertModule;
    Statement m_insertTopic, m_getTopic, m_setTopic, m_nextTopicIdQuery, m_largestTopicId;
    Statement m_getCodingSystem, m_insertCode, m_setCode, m_setCodeInSystem;
    Statement m_getDefaults, m_updateDefaults, m_insertDefaults;
    std::unordered_map<unsigned, Statement> m_patterns;
};

} // namespace kovadel
