// The read operations GetTopics, GetCode and SearchCodes through the C
// interface: element layouts at literal offsets, the rows they return against
// what the independent reader stores, paging with the cursor, and reads while
// another process holds a unit open.
#include "KovadelTestSupport.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace kovtest;

// One element of the SearchCodes array, texts with their blanks cut.
struct CodeRow {
    int32_t id = 0;
    std::u16string code;
    int32_t system = 0;
    int32_t flag = 0;
    std::u16string description;
    std::u16string document;
};

std::u16string trimmed16(std::u16string text)
{
    while (!text.empty() && text.back() == u' ')
        text.pop_back();
    return text;
}

std::string toUtf8(const std::u16string& text)
{
    std::string out;
    for (char16_t c : text) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

class LookupTest : public DatabaseTest {
protected:
    void SetUp() override
    {
        DatabaseTest::SetUp();
        ASSERT_EQ(
            raw().exec("INSERT INTO codingsystems (CodingSystemID, CodingSystemName) VALUES (1, 'ICD'), (2, 'CPT')"),
            SQLITE_OK);
    }

    // A code stored by the independent reader, its texts exactly as given.
    void storeCode(int32_t id, const std::string& code, int32_t system, const std::string& description,
        const std::string& document = "htm\\code.htm", int32_t flag = 0)
    {
        ASSERT_EQ(
            raw()
                .query("INSERT INTO codes (CodeID, Code, CodingSystemID, CodeFlag, Description, PatEdDocument)"
                       " VALUES (?1, ?2, ?3, ?4, ?5, ?6) RETURNING CodeID",
                    { std::to_string(id), code, std::to_string(system), std::to_string(flag), description, document })
                .size(),
            1u);
    }

    // SearchCodes with element 0 holding the system and the cursor.
    int32_t search(int32_t system, const char* pattern, int32_t limit, std::vector<CodeRow>& rows, int32_t afterId = 0,
        std::u16string_view afterCode = u"")
    {
        SAFEARRAY* sa = kv_safearray_create(412, 1);
        unsigned char* key = static_cast<unsigned char*>(kv_safearray_element(sa, 0));
        Bytes id(4, 0);
        put32(id, 0, afterId);
        std::copy(id.begin(), id.end(), key);
        putUtf16(key, 4, 50, afterCode);
        id.assign(4, 0);
        put32(id, 0, system);
        std::copy(id.begin(), id.end(), key + 104);
        const int32_t result = SearchCodes(&sa, pattern, limit, status.data());
        rows = codeRows(sa);
        kv_safearray_destroy(sa);
        return result;
    }

    static std::vector<CodeRow> codeRows(SAFEARRAY* sa)
    {
        std::vector<CodeRow> rows;
        if (!sa)
            return rows;
        EXPECT_EQ(sa->cbElements, 412u);
        for (uint32_t i = 0; i < sa->rgsabound[0].cElements; ++i) {
            const unsigned char* e = static_cast<const unsigned char*>(kv_safearray_element(sa, i));
            const Bytes b(e, e + 412);
            rows.push_back({ get32(b, 0), trimmed16(getUtf16(e, 4, 50)), get32(b, 104), get32(b, 108),
                trimmed16(getUtf16(e, 112, 100)), trimmed16(getUtf16(e, 312, 50)) });
        }
        return rows;
    }

    static std::vector<int32_t> idsOf(const std::vector<CodeRow>& rows)
    {
        std::vector<int32_t> ids;
        for (const CodeRow& r : rows)
            ids.push_back(r.id);
        return ids;
    }

    // Every code of the system in code order, as the independent reader sorts
    // them (BINARY: byte by byte).
    std::vector<int32_t> storedOrder(int32_t system)
    {
        std::vector<int32_t> ids;
        for (const auto& row :
            raw().query("SELECT CodeID FROM codes WHERE CodingSystemID = ?1 ORDER BY trim(Code), CodeID",
                { std::to_string(system) }))
            ids.push_back(std::stoi(row[0]));
        return ids;
    }

    // GetTopics for `module`: the elements, or the result only.
    int32_t topics(int32_t module, SAFEARRAY*& sa)
    {
        sa = kv_safearray_create(276, 1);
        unsigned char* key = static_cast<unsigned char*>(kv_safearray_element(sa, 0));
        Bytes id(4, 0);
        put32(id, 0, module);
        std::copy(id.begin(), id.end(), key + 4);
        return GetTopics(&sa, status.data());
    }

    Bytes status = callStatus();
};

// A small coding system whose codes exercise order, blanks and case.
class SearchTest : public LookupTest {
protected:
    void SetUp() override
    {
        LookupTest::SetUp();
        storeCode(11, "A02", 1, "Other salmonella infections");
        storeCode(12, "A01", 1, "Typhoid fever");
        storeCode(13, "B20  ", 1, "HIV disease"); // trailing blanks, as SQL text may store them
        storeCode(14, "a10", 1, "Cholera (acute)");
        storeCode(15, "A1", 1, "\xC3\x89ryth\xC3\xA8me fever"); // Érythème
        storeCode(16, "B20", 1, "HIV disease, second row");
        storeCode(17,
            "\xC5\x92"
            "D",
            1,
            "\xC5\x92"
            "d\xC3\xA8me pulmonaire"); // ŒD, Œdème
        storeCode(18, "A01", 2, "Not of this system");
    }
};

// These suites run on both engines.
class LookupTestOnEngines : public enginetest::OnEveryEngine<LookupTest> { };
class SearchTestOnEngines : public enginetest::OnEveryEngine<SearchTest> { };

TEST_P(SearchTestOnEngines, CodeElementsCarryEveryFieldAtItsOffset)
{
    storeCode(30, "Z99.\xC3\xA9", 1, "Caf\xC3\xA9 \xD0\x96", "htm\\z99.htm", -7);
    SAFEARRAY* sa = kv_safearray_create(412, 1);
    unsigned char* key = static_cast<unsigned char*>(kv_safearray_element(sa, 0));
    key[104] = 1; // CodingSystemID 1
    ASSERT_EQ(SearchCodes(&sa, "z99", 0, status.data()), 1) << lastError();
    EXPECT_EQ(statusText(status), std::string(128, ' '));
    ASSERT_NE(sa, nullptr);
    ASSERT_EQ(sa->cbElements, 412u);
    ASSERT_EQ(sa->rgsabound[0].cElements, 1u);
    const unsigned char* e = static_cast<const unsigned char*>(kv_safearray_element(sa, 0));
    const Bytes b(e, e + 412);
    EXPECT_EQ(get32(b, 0), 30);
    EXPECT_EQ(getUtf16(e, 4, 50), padded16(u"Z99.\u00E9", 50));
    EXPECT_EQ(get32(b, 104), 1);
    EXPECT_EQ(get32(b, 108), -7);
    EXPECT_EQ(getUtf16(e, 112, 100), padded16(u"Caf\u00E9 \u0416", 100));
    EXPECT_EQ(getUtf16(e, 312, 50), padded16(u"htm\\z99.htm", 50));
    EXPECT_EQ(e[112 + 2 * 5], 0x16) << "UTF-16LE: U+0416 low byte first";
    EXPECT_EQ(e[112 + 2 * 5 + 1], 0x04);
    kv_safearray_destroy(sa);
}

TEST_P(SearchTestOnEngines, PatternsLimitsAndOrder)
{
    struct Case {
        const char* pattern; // ANSI, Windows-1252
        int32_t limit;
        std::vector<int32_t> ids; // in code order
    };
    // Code order, byte by byte: A01 (12), A02 (11), A1 (15), B20 (13), B20 (16), a10 (14), ŒD (17).
    const Case cases[] = {
        { "", 0, { 12, 11, 15, 13, 16, 14, 17 } },
        { "   ", -1, { 12, 11, 15, 13, 16, 14, 17 } },
        { "", 3, { 12, 11, 15 } },
        { "A0", 0, { 12, 11 } },
        { " a0 ", 0, { 12, 11 } }, // trimmed, any case
        { "a1", 0, { 15, 14 } },
        { "b20", 1, { 13 } },
        { "A01 ", 0, { 12 } },
        { "fever", 0, { 12, 15 } },
        { "typh FEV", 0, { 12 } }, // every word begins a word
        { "yphoid", 0, {} }, // not at the start of a word
        { "acute", 0, { 14 } }, // a word after a parenthesis
        { "hiv zzz", 0, {} },
        { "salmonella infections", 0, { 11 } },
        { "hiv second", 0, { 16 } },
        { "\xC9RYTH\xC8ME", 0, { 15 } }, // ÉRYTHÈME
        { "\x9C"
          "d\xE8me",
            0, { 17 } }, // œdème
        { "\x9C"
          "d",
            0, { 17 } }, // the code ŒD, by its small letters
        { "A01.9", 0, {} },
    };
    for (const Case& c : cases) {
        std::vector<CodeRow> rows;
        EXPECT_EQ(search(1, c.pattern, c.limit, rows), 1) << c.pattern << ": " << lastError();
        EXPECT_EQ(statusText(status), std::string(128, ' ')) << c.pattern;
        EXPECT_EQ(idsOf(rows), c.ids) << "pattern \"" << c.pattern << "\", limit " << c.limit;
        for (const CodeRow& r : rows)
            EXPECT_EQ(r.system, 1) << c.pattern;
    }
}

TEST_P(SearchTestOnEngines, TheCursorContinuesAfterTheElementPassedBack)
{
    struct Case {
        int32_t afterId;
        std::u16string afterCode;
        const char* pattern;
        std::vector<int32_t> ids;
    };
    const Case cases[] = {
        { 12, u"A01", "", { 11, 15, 13, 16, 14, 17 } },
        { 13, u"B20", "", { 16, 14, 17 } }, // the same code, a later identifier
        { 16, u"B20", "", { 14, 17 } }, { 13, u"B20", "hiv", { 16 } }, { 17, u"\u0152D", "", {} }, // after the last
        { 5, u"A0", "a", { 12, 11, 15, 14 } }, // a cursor need not be a stored code
    };
    for (const Case& c : cases) {
        std::vector<CodeRow> rows;
        EXPECT_EQ(search(1, c.pattern, 0, rows, c.afterId, c.afterCode), 1) << lastError();
        EXPECT_EQ(idsOf(rows), c.ids) << "after " << c.afterId;
    }
}

TEST_P(SearchTestOnEngines, UnknownSystemAndBadArraysAreToldApart)
{
    std::vector<CodeRow> rows;
    EXPECT_EQ(search(99, "", 0, rows), 1) << "an unknown system has no codes";
    EXPECT_TRUE(rows.empty());

    SAFEARRAY* none = nullptr;
    EXPECT_EQ(SearchCodes(&none, "", 0, status.data()), 0);
    EXPECT_EQ(statusText(status), padded("the array has no element 0 to name the coding system", 128));
    EXPECT_EQ(SearchCodes(nullptr, "", 0, status.data()), 0);
    EXPECT_EQ(statusText(status), padded("no array was given", 128));
    SAFEARRAY* wrong = kv_safearray_create(216, 1);
    EXPECT_EQ(SearchCodes(&wrong, "", 0, status.data()), 0);
    EXPECT_EQ(statusText(status), padded("the array is not a one-dimensional array of 412-byte elements", 128));
    EXPECT_EQ(wrong->rgsabound[0].cElements, 1u) << "a refused array is left as it was";
    kv_safearray_destroy(wrong);

    // A NULL pattern matches every code, as a blank one does.
    SAFEARRAY* sa = kv_safearray_create(412, 1);
    static_cast<unsigned char*>(kv_safearray_element(sa, 0))[104] = 2;
    EXPECT_EQ(SearchCodes(&sa, nullptr, 0, status.data()), 1);
    EXPECT_EQ(idsOf(codeRows(sa)), std::vector<int32_t> { 18 });
    kv_safearray_destroy(sa);

    EndVelk();
    EXPECT_EQ(search(1, "", 0, rows), 0);
    EXPECT_EQ(statusText(status), padded("no database is open", 128));
}

TEST_P(LookupTestOnEngines, PagingGivesEveryCodeOnceInCodeOrder)
{
    // Codes stored out of order, some texts twice, another system between.
    ASSERT_EQ(raw().exec("BEGIN"), SQLITE_OK);
    for (int i = 0; i < 3000; ++i) {
        const int n = (i * 7919) % 2500; // 500 texts come twice
        char code[16];
        std::snprintf(code, sizeof code, "%c%03d.%d", 'A' + n % 26, n % 997, n % 3);
        storeCode(1000 + i, code, i % 5 == 0 ? 2 : 1, "row " + std::to_string(i) + (n % 4 == 0 ? " fever" : ""));
    }
    ASSERT_EQ(raw().exec("COMMIT"), SQLITE_OK);

    struct Case {
        const char* pattern;
        int32_t pageSize;
    };
    const Case cases[] = { { "", 37 }, { "", 1 }, { "fever", 50 }, { "b", 16 } };
    for (const Case& c : cases) {
        std::vector<CodeRow> whole;
        ASSERT_EQ(search(1, c.pattern, 0, whole), 1);
        std::vector<int32_t> paged;
        std::vector<CodeRow> page;
        int32_t afterId = 0;
        std::u16string afterCode;
        int pages = 0;
        do {
            ASSERT_EQ(search(1, c.pattern, c.pageSize, page, afterId, afterCode), 1) << lastError();
            ASSERT_LE(page.size(), static_cast<size_t>(c.pageSize));
            for (const CodeRow& r : page)
                paged.push_back(r.id);
            if (!page.empty()) {
                afterId = page.back().id;
                afterCode = page.back().code;
            }
            ASSERT_LT(++pages, 3000) << "paging does not end";
        } while (!page.empty());
        EXPECT_EQ(paged, idsOf(whole)) << c.pattern;
        EXPECT_EQ(std::set<int32_t>(paged.begin(), paged.end()).size(), paged.size()) << "a code came twice";
        if (*c.pattern == '\0') {
            EXPECT_EQ(paged, storedOrder(1)) << "every code of the system in code order";
        }
    }
}

TEST_P(LookupTestOnEngines, GetTopicsListsTheModuleInTopicIdOrder)
{
    ASSERT_EQ(raw().exec("INSERT INTO modules (ModuleID, ModuleName, DirectoryPrefix) VALUES (1, 'Adult', 'ADU'),"
                         " (2, 'Child', 'CHI'), (3, 'Empty', 'EMP')"),
        SQLITE_OK);
    ASSERT_EQ(raw()
                  .query("INSERT INTO topics (TopicID, ModuleID, ParentID, HasChild, PatEdDocument, Description)"
                         " VALUES (7, 1, 3, 0, 'ADU_b_htm.htm', ?1), (3, 1, 0, 1, 'htm\\a.htm', 'Asthma'),"
                         " (5, 2, 0, 0, 'CHI_c_htm.htm', 'Croup'), (4, 1, 3, 0, 'ADU_d_htm.htm', 'Diet  ')"
                         " RETURNING TopicID",
                      { "Caf\xC3\xA9 \xD0\x96" })
                  .size(),
        4u);
    SAFEARRAY* sa = nullptr;
    ASSERT_EQ(topics(1, sa), 1) << lastError();
    EXPECT_EQ(statusText(status), std::string(128, ' '));
    ASSERT_EQ(sa->cbElements, 276u);
    ASSERT_EQ(sa->rgsabound[0].cElements, 3u);
    const int32_t expected[3][4] = { { 3, 1, 0, 1 }, { 4, 1, 3, 0 }, { 7, 1, 3, 0 } };
    const std::u16string documents[3] = { u"htm\\a.htm", u"ADU_d_htm.htm", u"ADU_b_htm.htm" };
    const std::u16string descriptions[3] = { u"Asthma", u"Diet", u"Caf\u00E9 \u0416" };
    for (uint32_t i = 0; i < 3; ++i) {
        const unsigned char* e = static_cast<const unsigned char*>(kv_safearray_element(sa, i));
        const Bytes b(e, e + 276);
        for (int f = 0; f < 4; ++f)
            EXPECT_EQ(get32(b, 4 * static_cast<size_t>(f)), expected[i][f]) << "topic " << i << ", field at " << 4 * f;
        EXPECT_EQ(getUtf16(e, 16, 50), padded16(documents[i], 50)) << i;
        EXPECT_EQ(getUtf16(e, 116, 80), padded16(descriptions[i], 80)) << i;
    }
    kv_safearray_destroy(sa);

    // A module without topics, and one that does not exist: no elements, no failure.
    for (int32_t module : { 3, 99 }) {
        ASSERT_EQ(topics(module, sa), 1) << module;
        EXPECT_EQ(sa->rgsabound[0].cElements, 0u) << module;
        EXPECT_EQ(statusText(status), std::string(128, ' '));
        kv_safearray_destroy(sa);
    }
}

TEST_P(LookupTestOnEngines, GetTopicsRefusesWhatNamesNoModule)
{
    struct Case {
        const char* what;
        SAFEARRAY* array;
        bool passArray;
        const char* reason;
    };
    const Case cases[] = {
        { "no descriptor", nullptr, true, "the array has no element 0 to name the module" },
        { "no elements", kv_safearray_create(276, 0), true, "the array has no element 0 to name the module" },
        { "module elements", kv_safearray_create(204, 1), true,
            "the array is not a one-dimensional array of 276-byte elements" },
        { "no array", nullptr, false, "no array was given" },
    };
    for (const Case& c : cases) {
        SAFEARRAY* sa = c.array;
        EXPECT_EQ(GetTopics(c.passArray ? &sa : nullptr, status.data()), 0) << c.what;
        EXPECT_EQ(statusText(status), padded(c.reason, 128)) << c.what;
        EXPECT_EQ(lastError(), c.reason) << c.what;
        kv_safearray_destroy(sa);
    }
}

TEST_P(SearchTestOnEngines, GetCodeFindsByCodeAndSystem)
{
    struct Case {
        int32_t system;
        const char* code;
        int32_t expectedId; // 0: not found
        const char* storedCode; // as the record returns it
    };
    const Case cases[] = {
        { 1, "A01", 12, "A01" },
        { 2, "A01", 18, "A01" },
        { 1, "B20", 13, "B20" }, // the first of two; stored with trailing blanks
        { 1, "a10", 14, "a10" },
        { 1, "A10", 0, nullptr }, // the code's own case
        { 3, "A01", 0, nullptr },
        { 1, "A0", 0, nullptr },
    };
    for (const Case& c : cases) {
        Bytes record = codeRecord(0, c.code, c.system, 0, "", "");
        const int32_t result = GetCode(record.data(), status.data());
        if (c.expectedId == 0) {
            EXPECT_EQ(result, 0) << c.code;
            const std::string reason = "coding system " + std::to_string(c.system) + " has no code " + c.code;
            EXPECT_EQ(statusText(status), padded(reason, 128));
            EXPECT_EQ(get32(record, 0), 0) << "nothing filled in";
            continue;
        }
        EXPECT_EQ(result, 1) << c.code << ": " << lastError();
        EXPECT_EQ(statusText(status), std::string(128, ' '));
        EXPECT_EQ(get32(record, 0), c.expectedId) << c.code;
        EXPECT_EQ(getText(record, 4, 50), padded(c.storedCode, 50));
        EXPECT_EQ(get32(record, 56), c.system);
    }

    storeCode(40, "Q1", 1, "Caf\xC3\xA9 au lait spots", "htm\\q1.htm", 9);
    Bytes record = codeRecord(0, "Q1", 1, 0, "", "");
    ASSERT_EQ(GetCode(record.data(), status.data()), 1) << lastError();
    EXPECT_EQ(get32(record, 0), 40);
    EXPECT_EQ(get32(record, 60), 9);
    EXPECT_EQ(getText(record, 64, 100), padded("Caf\xE9 au lait spots", 100)) << "Windows-1252";
    EXPECT_EQ(getText(record, 164, 50), padded("htm\\q1.htm", 50));
}

TEST_P(LookupTestOnEngines, ReadsNeedNoUnitAndSeeTheOpenUnitsChanges)
{
    Bytes code = codeRecord(0, "K50", 1, 0, "", "htm\\k.htm");
    EXPECT_OK(BeginUnit(status.data()), status);
    EXPECT_OK(InsertCode(code.data(), status.data()), status);
    std::vector<CodeRow> rows;
    EXPECT_OK(search(1, "k5", 0, rows), status);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].code, u"K50");
    Bytes found = codeRecord(0, "K50", 1, 0, "", "");
    EXPECT_OK(GetCode(found.data(), status.data()), status);
    EXPECT_OK(RollbackUnit(status.data()), status);
    EXPECT_OK(search(1, "k5", 0, rows), status);
    EXPECT_TRUE(rows.empty()) << "rolled back";
    EXPECT_EQ(GetCode(found.data(), status.data()), 0);
}

// A child process and a pipe each way to it.
struct Child {
    pid_t pid = -1;
    int toChild = -1;
    int fromChild = -1;

    bool tell(char c) { return write(toChild, &c, 1) == 1; }
    char hear()
    {
        char c = 0;
        return read(fromChild, &c, 1) == 1 ? c : '\0';
    }
    int exitCode()
    {
        close(toChild);
        close(fromChild);
        int st = 0;
        waitpid(pid, &st, 0);
        return WIFEXITED(st) ? WEXITSTATUS(st) : 200;
    }
};

TEST_P(SearchTestOnEngines, AReadWhileAnotherProcessWritesGetsTheCommittedRowsAtOnce)
{
    ASSERT_EQ(raw().exec("INSERT INTO modules (ModuleID, ModuleName, DirectoryPrefix) VALUES (1, 'Adult', 'ADU')"),
        SQLITE_OK);
    ASSERT_EQ(raw().exec("INSERT INTO topics (ModuleID, PatEdDocument, Description) VALUES (1, 'a.htm', 'Asthma')"),
        SQLITE_OK);
    EndVelk(); // the child opens the database of its own
    int down[2], up[2];
    ASSERT_EQ(pipe(down), 0);
    ASSERT_EQ(pipe(up), 0);
    Child child;
    child.pid = fork();
    ASSERT_GE(child.pid, 0);
    if (child.pid == 0) {
        close(down[1]);
        close(up[0]);
        char c = 0;
        Bytes st = callStatus();
        Bytes code = codeRecord(0, "A00", 1, 0, "Cholera", "htm\\a00.htm");
        Bytes topic = topicRecord(0, 1, 0, 0, "b.htm", "Bronchitis");
        if (StartVelk(m_path.c_str(), "ADMIN", "") != 1 || BeginUnit(st.data()) != 1
            || InsertCode(code.data(), st.data()) != 1 || InsertTopic(topic.data(), st.data()) != 1)
            _exit(1);
        // The unit holds the write lock until told to commit.
        if (write(up[1], "w", 1) != 1 || read(down[0], &c, 1) != 1 || CommitUnit(st.data()) != 1)
            _exit(2);
        if (write(up[1], "c", 1) != 1 || read(down[0], &c, 1) != 1)
            _exit(3);
        EndVelk();
        _exit(0);
    }
    close(down[0]);
    close(up[1]);
    child.toChild = down[1];
    child.fromChild = up[0];
    ASSERT_EQ(child.hear(), 'w');

    // No waiting at all: a read that met the lock would fail as busy at once.
    setenv("VELKINDEX_BUSY_TIMEOUT_MS", "0", 1);
    const int32_t started = StartVelk(m_path.c_str(), "ADMIN", "");
    unsetenv("VELKINDEX_BUSY_TIMEOUT_MS");
    ASSERT_EQ(started, 1) << lastError();
    std::vector<CodeRow> rows;
    EXPECT_OK(search(1, "", 0, rows), status);
    EXPECT_EQ(idsOf(rows), (std::vector<int32_t> { 12, 11, 15, 13, 16, 14, 17 })) << "the committed codes only";
    Bytes uncommitted = codeRecord(0, "A00", 1, 0, "", "");
    EXPECT_EQ(GetCode(uncommitted.data(), status.data()), 0);
    EXPECT_EQ(statusText(status), padded("coding system 1 has no code A00", 128));
    SAFEARRAY* sa = nullptr;
    EXPECT_OK(topics(1, sa), status);
    EXPECT_EQ(sa->rgsabound[0].cElements, 1u);
    kv_safearray_destroy(sa);
    EXPECT_OK(search(1, "chol", 0, rows), status);
    EXPECT_EQ(idsOf(rows), std::vector<int32_t> { 14 });

    ASSERT_TRUE(child.tell('c'));
    ASSERT_EQ(child.hear(), 'c');
    // The commit is seen by the next read.
    EXPECT_OK(search(1, "chol", 0, rows), status);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].code, u"A00");
    EXPECT_EQ(rows[0].description, u"Cholera");
    EXPECT_OK(GetCode(uncommitted.data(), status.data()), status);
    EXPECT_OK(topics(1, sa), status);
    EXPECT_EQ(sa->rgsabound[0].cElements, 2u);
    kv_safearray_destroy(sa);
    ASSERT_TRUE(child.tell('e'));
    EXPECT_EQ(child.exitCode(), 0);
}

// Letters beyond ASCII in the code page that VELKINDEX_CODEPAGE names; the
// ctest runs of this test set it to Windows-1253 and Windows-1251 (the code
// page is read once per process).
TEST_F(LookupTest, CaseIsIgnoredForTheLettersOfTheCodePage)
{
    struct Case {
        const char* codePage; // as VELKINDEX_CODEPAGE names it; "" when unset
        const char* description; // UTF-8, as stored
        const char* pattern; // ANSI in that code page
        bool matches;
    };
    const Case cases[] = {
        { "", "\xC3\x89ryth\xC3\xA8me", "\xE9RYTH\xC8ME", true }, // éRYTHÈME
        { "",
            "\xC5\xA0kola \xC5\xBD"
            "ivot",
            "\x9Akola \x8Eivot", true }, // škola Život (Š, Ž)
        { "", "\xC3\x84rger", "\xE4RG", true }, // äRG
        { "", "\xC3\x84rger", "rg", false },
        { "WINDOWS-1253", "\xCE\xA0\xCE\x9D\xCE\x95\xCE\xA5\xCE\x9C\xCE\x9F\xCE\x9D\xCE\x99\xCE\x91",
            "\xF0\xED\xE5\xF5\xEC", true }, // ΠΝΕΥΜΟΝΙΑ by πνευμ
        { "WINDOWS-1253",
            "\xCE\x9F\xCE\xBE\xCE\xB5\xCE\xAF\xCE\xB1 "
            "\xCE\xB2\xCF\x81\xCE\xBF\xCE\xB3\xCF\x87\xCE\xAF\xCF\x84\xCE\xB9\xCE\xB4\xCE\xB1",
            "\xCF\xCE\xC5\xBA\xC1 \xC2\xD1", true }, // Οξεία βρογχίτιδα by ΟΞΕΊΑ ΒΡ
        { "WINDOWS-1253", "\xCE\x99\xCE\x9F\xCE\x93\xCE\x95\xCE\x9D\xCE\x97\xCE\xA3", "\xE9\xEF\xE3\xE5\xED\xE7\xF2",
            true }, // ΙΟΓΕΝΗΣ by ιογενης (final sigma)
        { "WINDOWS-1253", "\xCE\x9F\xCE\xBE\xCE\xB5\xCE\xAF\xCE\xB1", "\xCF\xCE\xC5\xC9\xC1",
            false }, // ΟΞΕΙΑ: no accent
        { "WINDOWS-1251",
            "\xD0\x9E\xD1\x81\xD1\x82\xD1\x80\xD1\x8B\xD0\xB9 \xD0\xB1\xD1\x80\xD0\xBE\xD0\xBD\xD1\x85\xD0\xB8\xD1\x82",
            "\xC1\xD0\xCE\xCD\xD5", true }, // Острый бронхит by БРОНХ
        { "WINDOWS-1251", "\xD0\x81\xD0\xB6", "\xB8\xE6", true }, // Ёж by ёж
        { "WINDOWS-1251", "\xD2\x90\xD0\xB0\xD0\xBD\xD0\xBE\xD0\xBA", "\xB4\xE0\xED", true }, // Ґанок by ґан
        { "WINDOWS-1251", "\xD0\x9E\xD1\x81\xD1\x82\xD1\x80\xD1\x8B\xD0\xB9", "\xF1\xF2\xF0", false }, // стр: mid-word
    };
    const char* setting = std::getenv("VELKINDEX_CODEPAGE");
    const std::string codePage = setting ? setting : "";
    int tried = 0;
    for (const Case& c : cases) {
        if (codePage != c.codePage)
            continue;
        ++tried;
        ASSERT_EQ(raw().exec("DELETE FROM codes"), SQLITE_OK);
        storeCode(1, "X1", 1, c.description);
        std::vector<CodeRow> rows;
        EXPECT_EQ(search(1, c.pattern, 0, rows), 1) << lastError();
        EXPECT_EQ(rows.size(), c.matches ? 1u : 0u) << c.description;
        if (c.matches && !rows.empty()) {
            EXPECT_EQ(toUtf8(rows[0].description), c.description);
        }
    }
    EXPECT_GT(tried, 0) << "no case for the code page " << codePage;
}

VELK_ON_EVERY_ENGINE(LookupTestOnEngines);
VELK_ON_EVERY_ENGINE(SearchTestOnEngines);

} // namespace
