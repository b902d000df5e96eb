// The SQLite engine: one database file, opened through the library's own
// VFS, with its prepared statements and its units of work.
//
// The operations are split by what they touch: SqliteOpen.cpp opens the file
// (and recognises, creates or gives back a file the library made),
// ModuleOps.cpp, TopicOps.cpp, CodeOps.cpp and DefaultsOps.cpp hold the
// record operations, ReadOps.cpp the reads of topic lists and codes,
// QueryOps.cpp the SQL text of ExecuteQuery.
#pragma once

#include "Engine.h"
#include "Identifiers.h"
#include "SqlText.h"

#include "CommitTrace.h"
#include "MadeFile.h"
#include "PendingRows.h"
#include "QueryGuard.h"
#include "SqliteFactory.h"
#include "Sqlite.h"
#include "StatementCache.h"
#include "UnitOfWork.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kovadel {

class SqliteEngine final : public Engine {
public:
    SqliteEngine();
    ~SqliteEngine() override;

    // `database` is a file path, as the file system's bytes; the account is
    // not used (the file has none).
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
    // The topics and codes that a unit inserts wait in batches (see
    // PendingRows.h); ready() and readyToWrite() are usable() and writable()
    // with the waiting rows stored first, as every other operation needs.
    Status ready();
    Status readyToWrite();
    Status settle();
    void discardPending();
    // A batch that could not be stored leaves the unit without some of its
    // rows: it can only be rolled back.
    Status batchFailed(Status failure);

    // SqliteOpen.cpp
    Status openFile(const std::string& utf8Path, const std::string& shownPath, MadeFile::Origin origin);
    Status openOnce(const std::string& utf8Path, const std::string& shownPath, MadeFile::Origin origin, bool& moved);
    Status createSchemaIfEmpty(const std::string& shownPath, bool& created, int64_t& version);
    // Whether the path no longer names the file that the connection has open.
    bool fileMoved();
    // Keeps the bytes of the file that the schema was just created in.
    void keepFreshFile(int64_t versionAtCreation);
    int64_t dataVersion(); // PRAGMA data_version: changes when another connection commits

    // TopicOps.cpp. Fails, naming the limit, when the next topic's number
    // would not fit its record; topicInserted() keeps the number known
    // within a unit.
    Status roomForTopic();
    void topicInserted(const Status& insert);
    // Stores one topic with the prepared insert (the identifiers checked);
    // within a unit it waits in its batch, and the waiting topics are the
    // ones numbered just below the unit's next topic number.
    Status storeTopic(int64_t moduleId, int64_t parentId, int64_t hasChild, const std::string& patEdDocument,
        const std::string& description);

    // Runs the statement of a filter or pattern with its conditions bound,
    // handing every row it returns to `onRow` (when given).
    Status runPattern(PatternKind kind, std::string_view head, const std::vector<Condition>& conditions,
        std::string_view tail, const std::function<void(const StatementRun&)>& onRow = {});

    // Runs the statement of a list filter, making a row of each result with
    // `make(run, identifier)`; the identifier is the first column. One that a
    // record cannot hold fails the list, naming `what`, with no rows.
    template <class Row, class Make>
    Status listRows(PatternKind kind, std::string_view head, const std::vector<Condition>& conditions,
        std::string_view tail, const char* what, std::vector<Row>& rows, Make make)
    {
        rows.clear();
        int64_t beyond = 0;
        Status st = runPattern(kind, head, conditions, tail, [&](const StatementRun& r) {
            const int64_t id = r.columnInteger(0);
            if (!fitsRecord(id))
                beyond = id;
            rows.push_back(make(r, toInt32(id)));
        });
        if (st && beyond != 0) {
            rows.clear();
            return beyondRecord(what, beyond);
        }
        return st;
    }

    // Runs a lookup by name (bound as ?1), handing the first row to
    // `take(run, identifier)`; fails with `none` when there is no row.
    template <class Take>
    Status findByName(Statement& lookup, const std::string& name, const char* what, const std::string& none, Take take)
    {
        StatementRun r(lookup);
        r.text(1, name);
        if (r.next()) {
            if (!fitsRecord(r.columnInteger(0)))
                return beyondRecord(what, r.columnInteger(0));
            take(r, toInt32(r.columnInteger(0)));
            return {};
        }
        if (!r.status())
            return m_unit.checked(r.status());
        return Status::failure(none);
    }

    Connection m_db;
    std::string m_shownPath;
    MadeFile m_made;
    QueryGuard m_guard;
    CommitTrace m_trace;
    StatementCache m_statements;
    UnitOfWork m_unit;
    PendingRows m_pendingTopics {
        "INSERT INTO topics (ModuleID, ParentID, HasChild, PatEdDocument, Description) VALUES ", "iiitt"
    };
    PendingRows m_pendingCodes {
        "INSERT INTO codes (Code, CodingSystemID, CodeFlag, Description, PatEdDocument) VALUES ", "tiitt"
    };
    // Descriptions given to codes: a code appears at most once in a batch,
    // so that each row of the join sets the description last given to it.
    PendingRows m_pendingDescriptions { "UPDATE codes SET Description = v.column2 FROM (VALUES ", "tti",
        ") AS v WHERE trim(codes.Code) = v.column1 AND (v.column3 = 0 OR codes.CodingSystemID = v.column3)" };
    // The values of the program's topic insert, their room kept.
    TopicInsertValues m_topicInsert;
};

} // namespace kovadel
