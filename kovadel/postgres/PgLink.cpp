#include "PgLink.h"

#include <cstdlib>
#include <cstring>

namespace kovadel {
namespace {

    // Statements sent before their results are read: enough to keep the
    // server busy, few enough that neither side's socket buffer fills.
    constexpr int kPipelineBatch = 256;
    // COPY data gathered before it is handed to libpq.
    constexpr size_t kCopyChunk = 64 * 1024;

    // The first line of libpq's text, without its trailing blanks.
    std::string firstLine(const char* text)
    {
        std::string s = text ? text : "";
        const size_t end = s.find('\n');
        if (end != std::string::npos)
            s.erase(end);
        while (!s.empty() && (s.back() == ' ' || s.back() == '\r'))
            s.pop_back();
        return s;
    }

    // libpq's connection messages can span lines ("connection to server on
    // socket ... failed: FATAL:  ..."): they are joined into one.
    std::string oneLine(const char* text)
    {
        std::string out;
        bool blank = false;
        for (const char* c = text ? text : ""; *c; ++c) {
            const bool space = *c == '\n' || *c == '\r' || *c == ' ' || *c == '\t';
            if (space) {
                blank = !out.empty();
                continue;
            }
            if (blank)
                out += ' ';
            blank = false;
            out += *c;
        }
        return out;
    }

    bool succeeded(const PGresult* r)
    {
        const ExecStatusType s = PQresultStatus(r);
        return s == PGRES_COMMAND_OK || s == PGRES_TUPLES_OK || s == PGRES_SINGLE_TUPLE;
    }

} // namespace

std::string pgText(const PGresult* r, int row, int column)
{
    return std::string(PQgetvalue(r, row, column), static_cast<size_t>(PQgetlength(r, row, column)));
}

int64_t pgInteger(const PGresult* r, int row, int column) { return std::strtoll(PQgetvalue(r, row, column), nullptr, 10); }

Status PgLink::connect(const std::vector<const char*>& keywords, const std::vector<const char*>& values)
{
    close();
    std::vector<const char*> k = keywords, v = values;
    k.push_back(nullptr);
    v.push_back(nullptr);
    PGconn* conn = PQconnectdbParams(k.data(), v.data(), 1);
    if (!conn)
        return Status::failure("out of memory");
    if (PQstatus(conn) != CONNECTION_OK) {
        const std::string why = oneLine(PQerrorMessage(conn));
        PQfinish(conn);
        return Status::failure(why);
    }
    // The server's notices and warnings are not the program's output.
    PQsetNoticeProcessor(conn, [](void*, const char*) {}, nullptr);
    m_conn = conn;
    return {};
}

void PgLink::close() noexcept
{
    if (m_conn)
        PQfinish(m_conn); // the server rolls back whatever transaction was open
    m_conn = nullptr;
    m_prepared.clear();
    m_pipelined = 0;
    m_expects.clear();
    m_copySql.clear();
    m_copyBuffer.clear();
}

bool PgLink::inFailedTransaction() const
{
    if (!m_conn || PQstatus(m_conn) == CONNECTION_BAD)
        return true;
    return PQtransactionStatus(m_conn) == PQTRANS_INERROR;
}

std::string PgLink::reason(const PGresult* r) const
{
    if (!m_conn || PQstatus(m_conn) == CONNECTION_BAD) {
        std::string why = firstLine(m_conn ? PQerrorMessage(m_conn) : "");
        return "the connection to the database server was lost" + (why.empty() ? std::string() : ": " + why);
    }
    if (r) {
        // The server ending the connection (a restart, an administrator)
        // says so first; the connection breaks right after.
        const char* state = PQresultErrorField(r, PG_DIAG_SQLSTATE);
        const char* primary = PQresultErrorField(r, PG_DIAG_MESSAGE_PRIMARY);
        if (state && std::strncmp(state, "57P", 3) == 0)
            return "the connection to the database server was lost: " + firstLine(primary);
    }
    if (r) {
        const char* primary = PQresultErrorField(r, PG_DIAG_MESSAGE_PRIMARY);
        if (primary && *primary)
            return firstLine(primary);
        const std::string message = firstLine(PQresultErrorMessage(r));
        if (!message.empty())
            return message;
    }
    const std::string message = firstLine(PQerrorMessage(m_conn));
    return message.empty() ? std::string("the database server gave no reason") : message;
}

Status PgLink::failureOf(const PGresult* r) const
{
    const char* state = r ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr;
    if (state && std::strcmp(state, kLockNotAvailable) == 0)
        return Status::busyFailure(kBusyReason);
    return Status::failure(reason(r));
}

Status PgLink::linkFailure(const std::string& what) const
{
    if (lost())
        return Status::failure(reason(nullptr));
    return Status::failure(what + ": " + reason(nullptr));
}

Status PgLink::exec(const std::string& sql)
{
    if (!m_conn)
        return Status::failure("no database is open");
    if (Status st = settle(); !st)
        return st;
    PgResult r(PQexec(m_conn, sql.c_str()));
    if (!r || !succeeded(r.get()))
        return failureOf(r.get());
    return {};
}

Status PgLink::prepared(const std::string& sql, int count, std::string& name)
{
    auto found = m_prepared.find(sql);
    if (found != m_prepared.end()) {
        name = found->second;
        return {};
    }
    name = "kv" + std::to_string(m_prepared.size() + 1);
    PgResult r(PQprepare(m_conn, name.c_str(), sql.c_str(), count, nullptr));
    if (!r || !succeeded(r.get()))
        return failureOf(r.get());
    m_prepared.emplace(sql, name);
    return {};
}

Status PgLink::run(const std::string& sql, const PgValues& values, PgResult* result, bool prepare)
{
    if (!m_conn)
        return Status::failure("no database is open");
    if (Status st = settle(); !st)
        return st;
    const std::vector<const char*> p = values.pointers();
    const int count = static_cast<int>(p.size());
    PgResult r;
    if (prepare) {
        std::string name;
        if (Status st = prepared(sql, count, name); !st)
            return st;
        r.reset(PQexecPrepared(m_conn, name.c_str(), count, p.data(), nullptr, nullptr, 0));
    } else {
        r.reset(PQexecParams(m_conn, sql.c_str(), count, nullptr, p.data(), nullptr, nullptr, 0));
    }
    if (!r || !succeeded(r.get()))
        return failureOf(r.get());
    if (result)
        *result = std::move(r);
    return {};
}

Status PgLink::queue(const std::string& sql, const PgValues& values, PgExpect expect)
{
    if (!m_conn)
        return Status::failure("no database is open");
    if (!m_copySql.empty())
        if (Status st = endCopy(); !st)
            return st;
    if (PQpipelineStatus(m_conn) == PQ_PIPELINE_OFF && !PQenterPipelineMode(m_conn))
        return linkFailure("the statements could not be pipelined");
    const std::vector<const char*> p = values.pointers();
    const int count = static_cast<int>(p.size());
    auto found = m_prepared.find(sql);
    std::string name;
    if (found == m_prepared.end()) {
        name = "kv" + std::to_string(m_prepared.size() + 1);
        if (!PQsendPrepare(m_conn, name.c_str(), sql.c_str(), count, nullptr))
            return linkFailure("a statement could not be sent");
        m_prepared.emplace(sql, name);
        ++m_pipelined;
        m_expects.push_back({ false, sql }); // a prepare: its text, so that a failed one is forgotten
    } else {
        name = found->second;
    }
    if (!PQsendQueryPrepared(m_conn, name.c_str(), count, p.data(), nullptr, nullptr, 0))
        return linkFailure("a statement could not be sent");
    ++m_pipelined;
    m_expects.push_back(std::move(expect));
    if (m_pipelined >= kPipelineBatch)
        return endPipeline();
    return {};
}

Status PgLink::copyRow(const std::string& copySql, const std::string& row)
{
    if (!m_conn)
        return Status::failure("no database is open");
    if (m_copySql != copySql) {
        if (Status st = settle(); !st)
            return st;
        PgResult r(PQexec(m_conn, copySql.c_str()));
        if (!r || PQresultStatus(r.get()) != PGRES_COPY_IN)
            return failureOf(r.get());
        m_copySql = copySql;
    }
    m_copyBuffer += row;
    if (m_copyBuffer.size() >= kCopyChunk) {
        if (PQputCopyData(m_conn, m_copyBuffer.data(), static_cast<int>(m_copyBuffer.size())) != 1) {
            m_copyBuffer.clear();
            return linkFailure("the rows could not be sent");
        }
        m_copyBuffer.clear();
    }
    return {};
}

Status PgLink::endCopy()
{
    Status result;
    if (!m_copyBuffer.empty()
        && PQputCopyData(m_conn, m_copyBuffer.data(), static_cast<int>(m_copyBuffer.size())) != 1)
        result = linkFailure("the rows could not be sent");
    m_copyBuffer.clear();
    m_copySql.clear();
    if (PQputCopyEnd(m_conn, nullptr) != 1 && result)
        result = linkFailure("the rows could not be sent");
    // The COPY's own result, then the end of its results.
    while (PGresult* raw = PQgetResult(m_conn)) {
        PgResult r(raw);
        if (result && !succeeded(r.get()))
            result = failureOf(r.get());
        if (lost())
            break;
    }
    if (result && lost())
        result = Status::failure(reason(nullptr));
    return result;
}

Status PgLink::endPipeline()
{
    Status result;
    if (!PQpipelineSync(m_conn))
        result = linkFailure("the statements could not be sent");
    size_t index = 0;
    int nulls = 0;
    while (result || !lost()) {
        PGresult* raw = PQgetResult(m_conn);
        if (!raw) {
            // NULL ends each statement's results; only a broken connection
            // gives one after another.
            if (++nulls > 1 && lost())
                break;
            if (lost())
                break;
            continue;
        }
        nulls = 0;
        PgResult r(raw);
        const ExecStatusType s = PQresultStatus(r.get());
        if (s == PGRES_PIPELINE_SYNC)
            break;
        const PgExpect expect = index < m_expects.size() ? m_expects[index] : PgExpect();
        const bool isPrepare = index < m_expects.size() && !expect.needsRow && !expect.none.empty();
        ++index;
        if (s == PGRES_PIPELINE_ABORTED) {
            if (isPrepare)
                m_prepared.erase(expect.none);
            continue;
        }
        if (!succeeded(r.get())) {
            if (isPrepare)
                m_prepared.erase(expect.none);
            if (result)
                result = failureOf(r.get());
            continue;
        }
        if (expect.needsRow && result && std::strtoll(PQcmdTuples(r.get()), nullptr, 10) == 0)
            result = Status::failure(expect.none);
    }
    if (result && lost())
        result = Status::failure(reason(nullptr));
    m_pipelined = 0;
    m_expects.clear();
    if (!lost() && PQpipelineStatus(m_conn) != PQ_PIPELINE_OFF)
        (void)PQexitPipelineMode(m_conn); // stays on, idle, until the next batch
    return result;
}

Status PgLink::settle()
{
    if (!m_conn)
        return {};
    Status result;
    if (!m_copySql.empty())
        result = endCopy();
    if (m_pipelined > 0) {
        Status st = endPipeline();
        if (result)
            result = st;
    }
    if (PQpipelineStatus(m_conn) != PQ_PIPELINE_OFF && !lost())
        (void)PQexitPipelineMode(m_conn);
    return result;
}

} // namespace kovadel
