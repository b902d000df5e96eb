// ExecuteQuery: exactly one statement, never one that ends the caller's unit.
#include "KovadelTestSupport.h"

using namespace kovtest;

namespace {

class QueryTest : public DatabaseTest {
protected:
    Bytes status = callStatus();
};

// The tests of this suite run on both engines.
class QueriesOnEngines : public enginetest::OnEveryEngine<QueryTest> { };

TEST_F(QueryTest, TheProgramsTopicInsertIsStoredExactly)
{
    Bytes first = topicRecord(0, 7, 0, 0, "", "Adult Health");
    ASSERT_NE(InsertTopic(first.data(), status.data()), 0);
    EXPECT_OK(ExecuteQuery("Insert into topics (ModuleID, ParentID, HasChild, PatEdDocument, Description)"
                           "Values(7, 1, 0,'ADU_asthma_pdf.htm','Children''s Health ')",
                  status.data()),
        status);
    EXPECT_OK(ExecuteQuery("Insert into topics (ModuleID, ParentID, HasChild, PatEdDocument, Description)"
                           "Values(-3, 0, 0,'','M\xE9ni\xE8re')",
                  status.data()),
        status);
    EXPECT_EQ(raw().query("SELECT TopicID, ModuleID, ParentID, HasChild, quote(PatEdDocument), quote(Description), "
                          "typeof(ModuleID) FROM topics"),
        (Rows { { "1", "7", "0", "0", "''", "'Adult Health'", "integer" },
            { "2", "7", "1", "0", "'ADU_asthma_pdf.htm'", "'Children''s Health '", "integer" },
            { "3", "-3", "0", "0", "''", "'M\xC3\xA9ni\xC3\xA8re'", "integer" } }));
}

TEST_P(QueriesOnEngines, OtherStatementsRunAndRowsAreStepped)
{
    EXPECT_OK(
        ExecuteQuery("INSERT INTO codingsystems (CodingSystemName) VALUES ('ICD');  -- one system\n", status.data()),
        status);
    EXPECT_OK(ExecuteQuery("  ; SELECT * FROM codingsystems /* all */ ;", status.data()), status);
    EXPECT_OK(ExecuteQuery("UPDATE codingsystems SET CodingSystemName = 'CPT'", status.data()), status);
    EXPECT_EQ(raw().query("SELECT CodingSystemName FROM codingsystems"), (Rows { { "CPT" } }));
}

// The program's statement shape is stored without being compiled; the same
// statement written any other way is compiled by SQLite. Both store the same.
TEST_F(QueryTest, TheProgramsShapeAndAnyOtherSpellingStoreTheSameRow)
{
    const std::string values = "(-12, 2147483647, 1,'a''b\\c.htm','''M\xE9ni\xE8re''s''  ')";
    const std::string shapes[] = {
        "Insert into topics (ModuleID, ParentID, HasChild, PatEdDocument, Description)Values" + values,
        "INSERT INTO topics (ModuleID, ParentID, HasChild, PatEdDocument, Description) VALUES " + values,
        "Insert into topics (ModuleID, ParentID, HasChild, PatEdDocument, Description)Values" + values + " ;",
    };
    for (const std::string& sql : shapes)
        EXPECT_OK(ExecuteQuery(sql.c_str(), status.data()), status);
    const Rows rows = raw().query("SELECT ModuleID, ParentID, HasChild, quote(PatEdDocument), quote(Description), "
                                  "typeof(ParentID) FROM topics");
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], rows[1]);
    EXPECT_EQ(rows[0], rows[2]);
    EXPECT_EQ(rows[0],
        (std::vector<std::string> {
            "-12", "2147483647", "1", "'a''b\\c.htm'", "'''M\xC3\xA9ni\xC3\xA8re''s''  '", "integer" }));

    // A number too long for the shape goes to SQLite, which stores a real.
    EXPECT_OK(ExecuteQuery("Insert into topics (ModuleID, ParentID, HasChild, PatEdDocument, Description)"
                           "Values(7, 99999999999999999999, 0,'','')",
                  status.data()),
        status);
    EXPECT_EQ(raw().scalar("SELECT typeof(ParentID) FROM topics WHERE TopicID = 4"), "real");
    // The shape followed by more text is not the shape: a second statement is
    // refused, stray text is a syntax error.
    EXPECT_EQ(ExecuteQuery("Insert into topics (ModuleID, ParentID, HasChild, PatEdDocument, Description)"
                           "Values(7, 1, 0,'','x'); DELETE FROM topics",
                  status.data()),
        0);
    EXPECT_EQ(ExecuteQuery("Insert into topics (ModuleID, ParentID, HasChild, PatEdDocument, Description)"
                           "Values(7, 1, 0,'','x')')",
                  status.data()),
        0);
    EXPECT_EQ(raw().scalar("SELECT count(*) FROM topics"), "4");
}

struct Refused {
    const char* name;
    const char* sql;
    const char* reason; // a part of the reason
};

void PrintTo(const Refused& refused, std::ostream* os) { *os << refused.name; }

class RefusedQueryTest : public QueryTest, public ::testing::WithParamInterface<Refused> { };

// Refused text runs nothing, not even the part before the refusal, and a unit
// around it stays open and intact.
TEST_P(RefusedQueryTest, RunsNothing)
{
    ASSERT_NE(BeginUnit(status.data()), 0);
    Bytes module = moduleRecord(0, "Kept", "K");
    ASSERT_NE(InsertModule(module.data(), status.data()), 0);
    EXPECT_EQ(ExecuteQuery(GetParam().sql, status.data()), 0);
    EXPECT_NE(statusText(status).find(GetParam().reason), std::string::npos) << statusText(status);
    EXPECT_EQ(statusText(status).size(), 128u);
    EXPECT_OK(CommitUnit(status.data()), status);
    EXPECT_EQ(raw().query("SELECT ModuleName FROM modules"), (Rows { { "Kept" } }));
    EXPECT_EQ(raw().scalar("PRAGMA journal_mode"), "wal");
    EXPECT_EQ(raw().scalar("SELECT count(*) FROM pragma_database_list"), "1");
}

INSTANTIATE_TEST_SUITE_P(Statements, RefusedQueryTest,
    ::testing::Values(Refused { "insert_then_delete",
                          "INSERT INTO modules (ModuleName) VALUES ('X'); DELETE FROM modules", "more than one" },
        Refused { "delete_then_select", "DELETE FROM modules; SELECT 1", "more than one" },
        Refused { "commit", "COMMIT", "transaction" }, Refused { "begin", "BEGIN", "transaction" },
        Refused { "rollback", "ROLLBACK", "transaction" }, Refused { "end", "END TRANSACTION", "transaction" },
        Refused { "savepoint", "SAVEPOINT s", "transaction" }, Refused { "release", "RELEASE s", "transaction" },
        Refused { "attach", "ATTACH DATABASE ':memory:' AS other", "attach" },
        Refused { "journal_off", "PRAGMA journal_mode = DELETE", "pragma" },
        Refused { "synchronous_off", "PRAGMA synchronous = OFF", "pragma" },
        Refused { "page_checks_off", "PRAGMA cell_size_check = OFF", "pragma" },
        Refused { "no_such_table", "INSERT INTO nowhere VALUES (1)", "no such table" },
        Refused { "blank", "   ", "no statement" }, Refused { "comment", "-- only a comment", "no statement" }),
    [](const auto& info) { return std::string(info.param.name); });

VELK_ON_EVERY_ENGINE(QueriesOnEngines);

} // namespace
