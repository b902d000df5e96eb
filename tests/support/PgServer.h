// The tests' PostgreSQL server: the throwaway cluster that the pg_cluster
// CTest fixture starts (scripts/pg-cluster.sh), a fresh database per test,
// and PgReader, the tests' own libpq reader for checking stored rows.
//
// Without a cluster a server case skips with "skipped: no PostgreSQL"; with
// VELK_REQUIRE_PG=1 (CI) it fails instead.
#pragma once

#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace pgtest {

inline constexpr const char* kNoServer = "skipped: no PostgreSQL";

// The line that a test program prints last when some of its cases skipped for
// want of a server and every other case passed. CTest's
// SKIP_REGULAR_EXPRESSION of the server tests looks for this line, not for
// the cases' own "skipped: no PostgreSQL": a skip seen in the output wins
// over a failing exit status there, so a program with a failed case must not
// print it.
inline constexpr const char* kNoServerSummary = "skipped: no PostgreSQL server for";

class NoServerSummary : public ::testing::EmptyTestEventListener {
    void OnTestEnd(const ::testing::TestInfo& test) override
    {
        const ::testing::TestResult* result = test.result();
        if (!result->Skipped())
            return;
        for (int i = 0; i < result->total_part_count(); ++i)
            if (std::string(result->GetTestPartResult(i).message()).find(kNoServer) != std::string::npos) {
                ++m_skipped;
                return;
            }
    }
    void OnTestProgramEnd(const ::testing::UnitTest& unit) override
    {
        if (m_skipped > 0 && unit.Passed() && unit.failed_test_count() == 0)
            std::printf("%s %d case(s); the other %d passed\n", kNoServerSummary, m_skipped,
                unit.test_to_run_count() - unit.skipped_test_count());
        std::fflush(stdout);
    }
    int m_skipped = 0;
};

// Every program that includes this header reports its skipped server cases.
inline const bool kNoServerSummaryListening = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new NoServerSummary);
    return true;
}();

inline std::string clusterDir()
{
    if (const char* dir = std::getenv("VELK_PG_CLUSTER"); dir && *dir)
        return dir;
#ifdef VELK_PG_CLUSTER_DIR
    return VELK_PG_CLUSTER_DIR;
#else
    return std::string();
#endif
}

inline std::string readFirstLine(const std::string& path)
{
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

// The superuser's URI of the cluster; empty when there is none.
inline std::string pgServerUri() { return readFirstLine(clusterDir() + "/uri"); }
// The folder of the server's socket.
inline std::string pgServerHost() { return readFirstLine(clusterDir() + "/host"); }
// The server binaries' folder (psql, pg_ctl).
inline std::string pgBinDir() { return readFirstLine(clusterDir() + "/bindir"); }

inline bool pgRequired()
{
    const char* v = std::getenv("VELK_REQUIRE_PG");
    return v && std::string(v) == "1";
}

// The socket folder as a URI host (percent-encoded slashes).
inline std::string uriHost()
{
    std::string host;
    for (char c : pgServerHost())
        host += c == '/' ? std::string("%2F") : std::string(1, c);
    return host;
}

// The URI of database `name` for `user` (with `password` when given).
inline std::string pgUri(const std::string& name, const std::string& user = "velk", const std::string& password = "")
{
    return "postgresql://" + user + (password.empty() ? "" : ":" + password) + "@" + uriHost() + "/" + name;
}

// The tests' own connection: every row read as text, values bound.
class PgReader {
public:
    explicit PgReader(const std::string& uri)
        : m_conn(PQconnectdb(uri.c_str()))
    {
        PQsetNoticeProcessor(m_conn, [](void*, const char*) {}, nullptr);
        if (PQstatus(m_conn) != CONNECTION_OK)
            m_error = PQerrorMessage(m_conn);
        else
            exec("SET standard_conforming_strings = on");
    }
    ~PgReader() { PQfinish(m_conn); }
    PgReader(const PgReader&) = delete;
    PgReader& operator=(const PgReader&) = delete;

    const std::string& error() const { return m_error; }
    PGconn* handle() const { return m_conn; }

    // Rows of `sql` as text ("NULL" for NULL); `?N` in the text is the
    // server's `$N`. `ok` tells whether the statement ran.
    std::vector<std::vector<std::string>> table(
        const std::string& sql, const std::vector<std::string>& values = {}, bool* ok = nullptr)
    {
        std::vector<std::vector<std::string>> rows;
        std::vector<const char*> p;
        for (const std::string& v : values)
            p.push_back(v.c_str());
        PGresult* r = PQexecParams(m_conn, dollars(sql).c_str(), static_cast<int>(p.size()), nullptr, p.data(),
            nullptr, nullptr, 0);
        const ExecStatusType s = PQresultStatus(r);
        const bool good = s == PGRES_TUPLES_OK || s == PGRES_COMMAND_OK;
        if (ok)
            *ok = good;
        if (!good)
            m_error = PQresultErrorMessage(r);
        for (int i = 0; good && i < PQntuples(r); ++i) {
            std::vector<std::string> row;
            for (int j = 0; j < PQnfields(r); ++j)
                row.push_back(PQgetisnull(r, i, j) ? "NULL" : PQgetvalue(r, i, j));
            rows.push_back(std::move(row));
        }
        PQclear(r);
        return rows;
    }

    // Runs text of one or more statements; true when all ran.
    bool exec(const std::string& sql)
    {
        PGresult* r = PQexec(m_conn, sql.c_str());
        const ExecStatusType s = PQresultStatus(r);
        const bool good = s == PGRES_TUPLES_OK || s == PGRES_COMMAND_OK;
        if (!good)
            m_error = PQresultErrorMessage(r);
        PQclear(r);
        return good;
    }

private:
    static std::string dollars(const std::string& sql)
    {
        std::string out;
        for (size_t i = 0; i < sql.size(); ++i)
            out += sql[i] == '?' && i + 1 < sql.size() && std::isdigit(static_cast<unsigned char>(sql[i + 1]))
                ? '$'
                : sql[i];
        return out;
    }

    PGconn* m_conn;
    std::string m_error;
};

// A new, empty database of the cluster for one test; its URI, or empty (with
// `why`) when there is no server.
inline std::string freshPgDatabase(std::string& why)
{
    const std::string admin = pgServerUri();
    if (admin.empty()) {
        why = kNoServer;
        return std::string();
    }
    static std::atomic<int> counter { 0 };
    const std::string name = "velk_t" + std::to_string(::getpid()) + "_" + std::to_string(++counter);
    PgReader server(pgUri("postgres"));
    if (!server.error().empty()) {
        why = "the test server cannot be reached: " + server.error();
        return std::string();
    }
    // The databases of the tests before this one go: the cluster's folder
    // would otherwise grow by one database per test.
    static std::vector<std::pair<std::string, std::string>> made; // test, database
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string current = test ? std::string(test->test_suite_name()) + "." + test->name() : std::string();
    for (auto it = made.begin(); it != made.end();) {
        if (it->first != current) {
            (void)server.exec("DROP DATABASE IF EXISTS " + it->second + " WITH (FORCE)");
            it = made.erase(it);
        } else {
            ++it;
        }
    }
    made.emplace_back(current, name);
    if (!server.exec("DROP DATABASE IF EXISTS " + name) || !server.exec("CREATE DATABASE " + name)) {
        why = "cannot create a test database: " + server.error();
        return std::string();
    }
    return pgUri(name);
}

} // namespace pgtest
