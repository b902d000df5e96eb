// One suite over both engines: a test written once runs on an SQLite file
// and on a database of the test server (support/PgServer.h).
//
//     class MyTest : public enginetest::OnEveryEngine<SomeFixture> { };
//     TEST_P(MyTest, Something) { ... }
//     VELK_ON_EVERY_ENGINE(MyTest);
//
// The fixture asks engineKind() which database to make. Without a server the
// server case skips with "skipped: no PostgreSQL"; VELK_REQUIRE_PG=1 makes
// that a failure.
#pragma once

#include "support/PgServer.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <string_view>

namespace enginetest {

enum class EngineKind { sqlite, postgres };

inline bool isServerDatabase(std::string_view database)
{
    return database.starts_with("postgresql://") || database.starts_with("postgres://");
}

inline std::string engineName(EngineKind kind) { return kind == EngineKind::sqlite ? "sqlite" : "postgres"; }
inline void PrintTo(EngineKind kind, std::ostream* os) { *os << engineName(kind); }

// `Base` made a parameterised fixture whose parameter is the engine.
template <class Base> class OnEveryEngine : public Base, public ::testing::WithParamInterface<EngineKind> {
protected:
    EngineKind engineKind() const override { return this->GetParam(); }
};

} // namespace enginetest

// Sets `out` to the database of the test's engine: `sqlitePath`, or a fresh
// database of the test server; skips (or fails, with VELK_REQUIRE_PG=1) when
// there is no server.
#define ENGINE_DATABASE_OR_SKIP(kind, sqlitePath, out)                                                                 \
    do {                                                                                                               \
        if ((kind) == enginetest::EngineKind::sqlite) {                                                                \
            (out) = (sqlitePath);                                                                                      \
            break;                                                                                                     \
        }                                                                                                              \
        std::string why_;                                                                                              \
        (out) = pgtest::freshPgDatabase(why_);                                                                         \
        if ((out).empty()) {                                                                                           \
            if (pgtest::pgRequired() || why_ != pgtest::kNoServer)                                                     \
                FAIL() << why_ << " (VELK_REQUIRE_PG=1 asks for the test server)";                                     \
            GTEST_SKIP() << pgtest::kNoServer;                                                                         \
        }                                                                                                              \
    } while (0)

#define VELK_ON_EVERY_ENGINE(Suite)                                                                                    \
    INSTANTIATE_TEST_SUITE_P(Engines, Suite,                                                                           \
        ::testing::Values(enginetest::EngineKind::sqlite, enginetest::EngineKind::postgres),                           \
        [](const auto& info) { return enginetest::engineName(info.param); })
