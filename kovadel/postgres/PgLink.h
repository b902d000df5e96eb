// One connection to a PostgreSQL server through libpq, with the three ways
// the engine sends statements: one at a time (the extended protocol, values
// always bound), pipelined (many statements sent before their results are
// read), and COPY (rows streamed into one table).
//
// Pipelined statements and COPY rows are only sent; their outcome is known
// at settle(), which reads every result and reports the first failure.
#pragma once

#include "Status.h"

#include <libpq-fe.h>

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace kovadel {

// A result of libpq, cleared as it goes away.
struct PgResultFree {
    void operator()(PGresult* r) const { PQclear(r); }
};
using PgResult = std::unique_ptr<PGresult, PgResultFree>;

// The values of one statement, as text (nullptr: NULL).
class PgValues {
public:
    PgValues& text(const std::string& value)
    {
        m_text.push_back(value);
        return *this;
    }
    PgValues& integer(int64_t value)
    {
        m_text.push_back(std::to_string(value));
        return *this;
    }
    std::vector<const char*> pointers() const
    {
        std::vector<const char*> p;
        p.reserve(m_text.size());
        for (const std::string& t : m_text)
            p.push_back(t.c_str());
        return p;
    }
    size_t size() const { return m_text.size(); }

private:
    std::vector<std::string> m_text;
};

// The text of a field, integers parsed.
std::string pgText(const PGresult* r, int row, int column);
int64_t pgInteger(const PGresult* r, int row, int column);

// How a statement's outcome is judged when it is settled: any success, or
// one that must have changed at least one row (`none` is the reason otherwise).
struct PgExpect {
    bool needsRow = false;
    std::string none;
};

class PgLink {
public:
    PgLink() = default;
    ~PgLink() { close(); }
    PgLink(const PgLink&) = delete;
    PgLink& operator=(const PgLink&) = delete;

    // Connects with libpq's keywords and values (expand_dbname on). The
    // reason of a failure is libpq's, on one line.
    Status connect(const std::vector<const char*>& keywords, const std::vector<const char*>& values);
    void close() noexcept;
    bool isOpen() const { return m_conn != nullptr; }
    PGconn* handle() const { return m_conn; }
    // Whether the server is gone: the connection broke.
    bool lost() const { return m_conn && PQstatus(m_conn) == CONNECTION_BAD; }
    // Whether the server's transaction is in a failed state (or gone).
    bool inFailedTransaction() const;

    // Runs text of the simple protocol (internal statements only).
    Status exec(const std::string& sql);
    // Runs one statement with bound values (the extended protocol), keeping
    // its result when `result` is given. Prepared once per text when
    // `prepare` is set.
    Status run(const std::string& sql, const PgValues& values, PgResult* result = nullptr, bool prepare = true);

    // Pipelined statements (always prepared). settle() is needed before
    // anything else is sent.
    Status queue(const std::string& sql, const PgValues& values, PgExpect expect = {});
    // COPY of rows into `copySql` (a COPY ... FROM STDIN statement); a row is
    // the text form of COPY, ending in a newline. A COPY of another text
    // first settles what is open.
    Status copyRow(const std::string& copySql, const std::string& row);
    // Ends what is pending (the COPY, the pipeline) and reads every result:
    // the first failure is returned.
    Status settle();
    bool pending() const { return m_pipelined > 0 || !m_copySql.empty(); }

    // The reason of a failed result, or of the connection, on one line; a
    // broken connection says so.
    std::string reason(const PGresult* r) const;
    // A status of that result: a lock that could not be had in time is busy.
    Status failureOf(const PGresult* r) const;

private:
    Status prepared(const std::string& sql, int count, std::string& name);
    Status endCopy();
    Status endPipeline();
    Status linkFailure(const std::string& what) const;

    PGconn* m_conn = nullptr;
    std::unordered_map<std::string, std::string> m_prepared; // text -> statement name
    int m_pipelined = 0; // statements sent and not yet read
    std::vector<PgExpect> m_expects; // what each of them must do
    std::string m_copySql; // the COPY open, if any
    std::string m_copyBuffer;
};

// The SQLSTATE of a lock wait that ran out (lock_timeout).
inline constexpr const char* kLockNotAvailable = "55P03";

} // namespace kovadel
