// Connecting to the server, readying the tables, and the units of work.
#include "PostgresEngine.h"

#include "PgLibrary.h"
#include "PgSchema.h"
#include "kovadel/DatabaseUri.h"
#include "Settings.h"

#include <cstdlib>
#include <cstring>

namespace kovadel {
namespace {

    constexpr const char* kDoomedReason = "the unit of work was rolled back";
    constexpr const char* kNoUnitReason = "no unit of work is open";

    // Whether the URI (or its query part) sets `keyword`.
    bool uriGives(const std::string& uri, const char* keyword)
    {
        char* error = nullptr;
        PQconninfoOption* options = PQconninfoParse(uri.c_str(), &error);
        PQfreemem(error);
        if (!options)
            return false;
        bool given = false;
        for (PQconninfoOption* o = options; o->keyword; ++o)
            if (std::strcmp(o->keyword, keyword) == 0 && o->val && *o->val)
                given = true;
        PQconninfoFree(options);
        return given;
    }

    bool environmentGives(const char* variable)
    {
        const char* value = std::getenv(variable);
        return value && *value;
    }

} // namespace

Status PostgresEngine::open(const std::string& database, const Credentials& credentials)
{
    close();
    m_shown = maskedUri(database);
    const std::string cannot = "cannot open the database " + m_shown + ": ";
    // libpq is loaded with the first library on a server, not before.
    if (Status st = loadPgLibrary(); !st)
        return Status::failure(cannot + st.reason());
    // Keywords before the URI are defaults that the URI overrides; those
    // after it are the library's own. The account of StartVelk counts only
    // where neither the URI nor the environment names one; without a
    // password libpq looks in ~/.pgpass (or PGPASSFILE).
    std::vector<const char*> keywords, values;
    if (!credentials.user.empty() && !uriGives(database, "user") && !environmentGives("PGUSER")) {
        keywords.push_back("user");
        values.push_back(credentials.user.c_str());
    }
    if (!credentials.password.empty() && !uriGives(database, "password") && !environmentGives("PGPASSWORD")) {
        keywords.push_back("password");
        values.push_back(credentials.password.c_str());
    }
    keywords.push_back("connect_timeout");
    values.push_back("10");
    keywords.push_back("application_name");
    values.push_back("velkindex");
    keywords.push_back("dbname");
    values.push_back(database.c_str());
    keywords.push_back("client_encoding");
    values.push_back("UTF8");
    if (Status st = m_link.connect(keywords, values); !st)
        return Status::failure(cannot + st.reason());
    // A backslash in a literal of ExecuteQuery's text is stored as written.
    if (Status st = m_link.exec("SET standard_conforming_strings = on"); !st) {
        m_link.close();
        return Status::failure(cannot + st.reason());
    }
    if (Status st = preparePgSchema(m_link, m_shown); !st) {
        m_link.close();
        return st.reason().starts_with("cannot open") || st.reason().find("not a VELKINDEX") != std::string::npos
            ? st
            : st.withReason(cannot + st.reason());
    }
    PgResult r;
    if (Status st = m_link.run("SELECT pg_get_serial_sequence('topics', 'topicid')", PgValues(), &r, false);
        !st || PQgetisnull(r.get(), 0, 0)) {
        m_link.close();
        return Status::failure(cannot + (st ? std::string("the topics table numbers no topics") : st.reason()));
    }
    m_topicSequence = pgText(r.get(), 0, 0);
    // Where runs of descriptions wait for their UPDATE; without it (no
    // TEMPORARY privilege) each description is an UPDATE of its own.
    m_descriptionTable = m_link
                             .exec("CREATE TEMPORARY TABLE kovadel_descriptions (seq bigint, code text, description "
                                   "text) ON COMMIT DELETE ROWS")
                             .ok();
    return {};
}

void PostgresEngine::close() noexcept
{
    // The server rolls back an open transaction as the connection ends.
    m_link.close();
    m_depth = 0;
    m_doomed = false;
    m_doomReason.clear();
    forgetTopicNumbers();
    m_descriptionTable = false;
}

Status PostgresEngine::sendHeld()
{
    if (Status st = sendHeldTopics(); !st)
        return st;
    return applyDescriptions();
}

void PostgresEngine::forgetTopicNumbers()
{
    m_descriptionsHeld = false; // rolled back with the unit, or deleted as it commits
    m_descriptionCount = 0;
    m_heldTopics.clear();
    m_nextTopicId = 0;
    m_lastTopicId = 0;
    m_modulesNumbered = false;
}

Status PostgresEngine::usable()
{
    if (!m_link.isOpen())
        return Status::failure("no database is open");
    if (m_link.lost())
        return Status::failure(m_link.reason(nullptr));
    if (m_depth > 0 && m_doomed)
        return Status::failure(m_doomReason);
    return {};
}

Status PostgresEngine::noted(Status status, bool deferred)
{
    if (status || m_depth == 0 || m_doomed)
        return status;
    if (deferred || m_link.inFailedTransaction()) {
        m_doomed = true;
        m_doomReason = m_link.lost()
            ? m_link.reason(nullptr)
            : std::string(kDoomedReason) + " (the database ended its transaction after: " + status.reason() + ")";
    }
    return status;
}

Status PostgresEngine::read(const std::function<Status()>& work)
{
    if (Status st = usable(); !st)
        return st;
    if (Status st = sendHeld(); !st)
        return noted(st, true);
    if (m_link.pending())
        if (Status st = m_link.settle(); !st)
            return noted(st, true);
    return noted(work());
}

Status PostgresEngine::write(const std::function<Status()>& work, bool keepHeld)
{
    if (Status st = usable(); !st)
        return st;
    if (m_depth > 0) {
        if (!keepHeld)
            if (Status st = sendHeld(); !st)
                return noted(st, true);
        return noted(work(), m_link.pending());
    }
    if (Status st = beginUnit(); !st)
        return st;
    if (Status st = work(); !st) {
        (void)rollbackUnit();
        return st;
    }
    return commitUnit();
}

Status PostgresEngine::beginUnit()
{
    if (Status st = usable(); !st)
        return st;
    if (m_depth > 0) {
        ++m_depth;
        return {};
    }
    if (Status st = m_link.exec("BEGIN"); !st)
        return st;
    // The library's lock, held until the transaction ends: another writer
    // waits for it, at most the busy wait, and then fails as busy.
    const int wait = busyTimeoutMs();
    Status st;
    const std::string key = std::to_string(kPgLibraryLock);
    if (wait == 0) {
        PgResult r;
        st = m_link.run("SELECT pg_try_advisory_xact_lock(" + key + ")", PgValues(), &r);
        if (st && pgText(r.get(), 0, 0) != "t")
            st = Status::busyFailure(kBusyReason);
    } else {
        st = m_link.exec("SET LOCAL lock_timeout = " + std::to_string(wait));
        if (st)
            st = m_link.exec("SELECT pg_advisory_xact_lock(" + key + ")");
    }
    if (!st) {
        if (!m_link.lost())
            (void)m_link.exec("ROLLBACK");
        return st;
    }
    m_depth = 1;
    m_doomed = false;
    m_doomReason.clear();
    return {};
}

Status PostgresEngine::commitUnit()
{
    if (m_depth == 0)
        return Status::failure(kNoUnitReason);
    if (m_depth > 1) {
        --m_depth;
        return m_doomed ? Status::failure(m_doomReason) : Status();
    }
    Status result = usable();
    if (result)
        result = noted(sendHeld(), true);
    if (result)
        result = noted(moveSequences(), true);
    if (result)
        result = noted(m_link.settle(), true);
    if (result) {
        PgResult r;
        result = m_link.run("COMMIT", PgValues(), &r, false);
        // A transaction that failed ends with ROLLBACK, not COMMIT.
        if (result && std::strcmp(PQcmdStatus(r.get()), "COMMIT") != 0)
            result = Status::failure(kDoomedReason);
    } else if (!m_link.lost()) {
        (void)m_link.exec("ROLLBACK");
    }
    endUnit();
    return result;
}

Status PostgresEngine::rollbackUnit()
{
    if (m_depth == 0)
        return Status::failure(kNoUnitReason);
    Status result;
    forgetTopicNumbers(); // held topics go unsent
    (void)m_link.settle(); // what was only sent goes with the rest
    if (!m_link.lost() && PQtransactionStatus(m_link.handle()) != PQTRANS_IDLE)
        result = m_link.exec("ROLLBACK");
    if (m_link.lost())
        result = Status::failure(m_link.reason(nullptr));
    if (--m_depth > 0) {
        if (!m_doomed) {
            m_doomed = true;
            m_doomReason = kDoomedReason;
        }
    } else {
        endUnit();
    }
    return result;
}

void PostgresEngine::endUnit()
{
    forgetTopicNumbers(); // another workstation may number topics next
    m_depth = 0;
    m_doomed = false;
    m_doomReason.clear();
}

} // namespace kovadel
