// The record operations: what each stores, finds, changes and deletes.
#include "KovadelTestSupport.h"

using namespace kovtest;

namespace {

class RecordsTest : public DatabaseTest {
protected:
    Bytes status = callStatus();

    void insertModule(std::string_view name, std::string_view prefix)
    {
        Bytes record = moduleRecord(0, name, prefix);
        EXPECT_OK(InsertModule(record.data(), status.data()), status);
    }
    void insertTopic(int32_t module, int32_t parent, std::string_view document, std::string_view description)
    {
        Bytes record = topicRecord(999, module, parent, 0, document, description);
        EXPECT_OK(InsertTopic(record.data(), status.data()), status);
    }
    void insertCode(std::string_view code, int32_t system, std::string_view description, std::string_view document)
    {
        Bytes record = codeRecord(0, code, system, 0, description, document);
        EXPECT_OK(InsertCode(record.data(), status.data()), status);
    }
    // An array of one element, the filter, as the program passes it.
    static SAFEARRAY* filterArray(uint32_t elementSize, int32_t id, std::u16string_view name, bool nulName = false)
    {
        SAFEARRAY* sa = kv_safearray_create(elementSize, 1);
        auto* e = static_cast<unsigned char*>(sa->pvData);
        Bytes idBytes(4);
        put32(idBytes, 0, id);
        std::copy(idBytes.begin(), idBytes.end(), e);
        if (!nulName)
            putUtf16(e, 4, 50, name);
        return sa;
    }
    static std::vector<std::pair<int32_t, std::u16string>> elements(SAFEARRAY* sa, size_t nameWidth = 50)
    {
        std::vector<std::pair<int32_t, std::u16string>> out;
        for (uint32_t i = 0; i < sa->rgsabound[0].cElements; ++i) {
            auto* e = static_cast<unsigned char*>(sa->pvData) + size_t(i) * sa->cbElements;
            out.emplace_back(e[0] | (e[1] << 8) | (e[2] << 16) | (e[3] << 24), getUtf16(e, 4, nameWidth));
        }
        return out;
    }
};

// The tests of this suite run on both engines.
class RecordsOnEngines : public enginetest::OnEveryEngine<RecordsTest> { };

// ---- modules ---------------------------------------------------------------

TEST_P(RecordsOnEngines, ModulesAreListedAllOrByExactName)
{
    insertModule("Adult Health", "ADU");
    insertModule("Child", "CHI");
    insertModule("Adult Health", "AD2");
    insertModule("adult health", "LOW");
    EXPECT_EQ(raw().query("SELECT ModuleID, ModuleName, DirectoryPrefix FROM modules ORDER BY ModuleID"),
        (Rows { { "1", "Adult Health", "ADU" }, { "2", "Child", "CHI" }, { "3", "Adult Health", "AD2" },
            { "4", "adult health", "LOW" } }));

    const std::u16string all[] = { u"", u"  " };
    for (const auto& blank : all) {
        SAFEARRAY* sa = filterArray(204, 0, blank);
        EXPECT_OK(GetModules(&sa, status.data()), status);
        ASSERT_EQ(sa->rgsabound[0].cElements, 4u);
        EXPECT_EQ(sa->rgsabound[0].lLbound, 0);
        auto* e = static_cast<unsigned char*>(sa->pvData) + 204; // element 1: Child
        EXPECT_EQ(getUtf16(e, 4, 50), padded16(u"Child", 50));
        EXPECT_EQ(getUtf16(e, 104, 50), padded16(u"CHI", 50));
        kv_safearray_destroy(sa);
    }
    SAFEARRAY* sa = filterArray(204, 0, u"", true); // element of zeros and NULs
    EXPECT_OK(GetModules(&sa, status.data()), status);
    EXPECT_EQ(sa->rgsabound[0].cElements, 4u);
    kv_safearray_destroy(sa);

    sa = filterArray(204, 0, u" Adult Health\0"); // trimmed, case-sensitive
    EXPECT_OK(GetModules(&sa, status.data()), status);
    EXPECT_EQ(elements(sa),
        (std::vector<std::pair<int32_t, std::u16string>> {
            { 1, padded16(u"Adult Health", 50) }, { 3, padded16(u"Adult Health", 50) } }));
    kv_safearray_destroy(sa);

    sa = filterArray(204, 0, u"Nobody");
    EXPECT_OK(GetModules(&sa, status.data()), status);
    EXPECT_EQ(sa->rgsabound[0].cElements, 0u);
    kv_safearray_destroy(sa);

    sa = nullptr; // no array at all: one is made
    EXPECT_OK(GetModules(&sa, status.data()), status);
    ASSERT_NE(sa, nullptr);
    EXPECT_EQ(sa->cbElements, 204u);
    EXPECT_EQ(sa->rgsabound[0].cElements, 4u);
    kv_safearray_destroy(sa);
}

TEST_P(RecordsOnEngines, GetModuleFillsTheFirstOfThatName)
{
    insertModule("Child", "CHI");
    insertModule("Adult", "ADU");
    insertModule("Adult", "AD2");
    Bytes record(104, 0);
    putText(record, 4, 50, "Adult");
    EXPECT_OK(GetModule(record.data(), status.data()), status);
    EXPECT_EQ(get32(record, 0), 2);
    EXPECT_EQ(getText(record, 4, 50), padded("Adult", 50));
    EXPECT_EQ(getText(record, 54, 50), padded("ADU", 50));

    Bytes missing = moduleRecord(0, "ADULT", "");
    EXPECT_EQ(GetModule(missing.data(), status.data()), 0);
    EXPECT_NE(statusText(status).find("no module is named ADULT"), std::string::npos) << statusText(status);
    EXPECT_EQ(get32(missing, 0), 0);
}

TEST_P(RecordsOnEngines, DeleteModulesByPattern)
{
    insertModule("A", "PA");
    insertModule("B", "PB");
    insertModule("C", "PB");
    Bytes byId = moduleRecord(2, "", "");
    EXPECT_OK(DeleteModules(byId.data(), status.data()), status);
    EXPECT_EQ(raw().query("SELECT ModuleName FROM modules"), (Rows { { "A" }, { "C" } }));
    Bytes byPrefix = moduleRecord(-1, "", "PB");
    EXPECT_OK(DeleteModules(byPrefix.data(), status.data()), status);
    EXPECT_EQ(raw().query("SELECT ModuleName FROM modules"), (Rows { { "A" } }));
    Bytes everything = moduleRecord(-1, "", "");
    EXPECT_OK(DeleteModules(everything.data(), status.data()), status);
    EXPECT_EQ(raw().scalar("SELECT count(*) FROM modules"), "0");
}

// ---- topics ----------------------------------------------------------------

TEST_P(RecordsOnEngines, TopicsAreNumberedByTheStoreEvenAfterDeletions)
{
    insertTopic(7, 0, "pdf\\a.htm", "First");
    insertTopic(7, 1, "", "Second");
    Bytes newest = topicRecord(-1, -1, -1, -1, "", "Second");
    EXPECT_OK(DeleteTopics(newest.data(), status.data()), status);
    insertTopic(7, 1, "", "Third");
    EXPECT_EQ(raw().query("SELECT TopicID, ModuleID, ParentID, HasChild, PatEdDocument, Description FROM topics"),
        (Rows { { "1", "7", "0", "0", "pdf\\a.htm", "First" }, { "3", "7", "1", "0", "", "Third" } }));
}

TEST_P(RecordsOnEngines, GetTopicReturnsTheNewestMatch)
{
    insertTopic(7, 0, "doc.htm", "Asthma");
    insertTopic(8, 0, "doc.htm", "Asthma");
    insertTopic(7, 0, "doc.htm", "Asthma");
    insertTopic(7, 0, "other.htm", "Asthma");
    ASSERT_NE(ExecuteQuery("Insert into topics (ModuleID, ParentID, HasChild, PatEdDocument, Description)"
                           "Values(7, 0, 0,'doc.htm','asthma ')",
                  status.data()),
        0);
    Bytes key = topicRecord(0, 7, 0, 0, "doc.htm", "Asthma");
    EXPECT_OK(GetTopic(key.data(), status.data()), status);
    EXPECT_EQ(get32(key, 0), 3);
    EXPECT_EQ(getText(key, 66, 80), padded("Asthma", 80)); // only TopicID is written

    ASSERT_NE(ExecuteQuery("Insert into topics (ModuleID, ParentID, HasChild, PatEdDocument, Description)"
                           "Values(7, 0, 0,'doc.htm','Asthma ')",
                  status.data()),
        0);
    EXPECT_OK(GetTopic(key.data(), status.data()), status); // trailing blank of the stored text trimmed
    EXPECT_EQ(get32(key, 0), 6);

    Bytes none = topicRecord(0, 9, 0, 0, "doc.htm", "Asthma");
    EXPECT_EQ(GetTopic(none.data(), status.data()), 0);
    EXPECT_EQ(get32(none, 0), 0);
}

// A topic number travels in a 32-bit record: one past 2147483647 is neither
// given to a new topic nor handed back, inside a unit or outside one.
TEST_F(RecordsTest, TopicNumbersPastTheRecordRangeAreRefused)
{
    insertTopic(7, 0, "doc.htm", "Kept");
    ASSERT_EQ(raw().exec("UPDATE sqlite_sequence SET seq = 2147483646 WHERE name = 'topics'"), SQLITE_OK);
    const std::string insert = "Insert into topics (ModuleID, ParentID, HasChild, PatEdDocument, Description)"
                               "Values(7, 1, 0,'doc.htm','Next ')";
    ASSERT_NE(BeginUnit(status.data()), 0) << lastError();
    EXPECT_OK(ExecuteQuery(insert.c_str(), status.data()), status); // 2147483647: the last that fits
    Bytes record = topicRecord(0, 7, 0, 0, "doc.htm", "Later");
    EXPECT_EQ(InsertTopic(record.data(), status.data()), 0);
    EXPECT_NE(lastError().find("2147483648, past 2147483647"), std::string::npos) << lastError();
    EXPECT_EQ(ExecuteQuery(insert.c_str(), status.data()), 0);
    EXPECT_NE(lastError().find("2147483647"), std::string::npos) << lastError();
    EXPECT_OK(CommitUnit(status.data()), status);
    EXPECT_EQ(
        raw().query("SELECT TopicID, Description FROM topics"), (Rows { { "1", "Kept" }, { "2147483647", "Next " } }));

    // Outside a unit, and by any statement: nothing is left of the attempt.
    EXPECT_EQ(InsertTopic(record.data(), status.data()), 0);
    EXPECT_EQ(ExecuteQuery("INSERT INTO topics (ModuleID, Description) VALUES (7, 'Other')", status.data()), 0);
    EXPECT_EQ(ExecuteQuery("UPDATE topics SET TopicID = 4294967297 WHERE TopicID = 1", status.data()), 0);
    EXPECT_NE(lastError().find("4294967297 is past 2147483647"), std::string::npos) << lastError();
    EXPECT_EQ(raw().query("SELECT TopicID FROM topics ORDER BY TopicID"), (Rows { { "1" }, { "2147483647" } }));
    EXPECT_EQ(raw().scalar("SELECT seq FROM sqlite_sequence WHERE name = 'topics'"), "2147483647");

    // A parent number that no record holds is refused as well.
    EXPECT_EQ(ExecuteQuery("Insert into topics (ModuleID, ParentID, HasChild, PatEdDocument, Description)"
                           "Values(7, 4294967297, 0,'doc.htm','Wrapped ')",
                  status.data()),
        0);
    EXPECT_NE(lastError().find("2147483647"), std::string::npos) << lastError();

    // A row numbered past the range by another program is not handed back cut.
    ASSERT_EQ(raw().exec("INSERT INTO topics (TopicID, ModuleID, PatEdDocument, Description) "
                         "VALUES (4294967298, 8, 'doc.htm', 'Far')"),
        SQLITE_OK);
    Bytes key = topicRecord(0, 8, 0, 0, "doc.htm", "Far");
    EXPECT_EQ(GetTopic(key.data(), status.data()), 0);
    EXPECT_NE(lastError().find("4294967298 is past 2147483647"), std::string::npos) << lastError();
    EXPECT_EQ(get32(key, 0), 0);
}

TEST_P(RecordsOnEngines, SetTopicChangesOnlyHasChild)
{
    insertTopic(7, 0, "a.htm", "Parent");
    insertTopic(7, 1, "b.htm", "Child");
    Bytes mark = topicRecord(1, 0, -1, 1, "", ""); // as the index builder sends it
    EXPECT_OK(SetTopic(mark.data(), status.data()), status);
    EXPECT_EQ(raw().query("SELECT TopicID, ModuleID, ParentID, HasChild, PatEdDocument, Description FROM topics "
                          "ORDER BY TopicID"),
        (Rows { { "1", "7", "0", "1", "a.htm", "Parent" }, { "2", "7", "1", "0", "b.htm", "Child" } }));
    Bytes unknown = topicRecord(42, 0, -1, 1, "", "");
    EXPECT_EQ(SetTopic(unknown.data(), status.data()), 0);
    EXPECT_NE(lastError().find("42"), std::string::npos);
}

struct TopicPattern {
    int32_t topicId, moduleId, parentId, hasChild;
    const char* document;
    const char* description;
    const char* remaining; // TopicIDs left, in order
};

void PrintTo(const TopicPattern& p, std::ostream* os)
{
    *os << p.topicId << ' ' << p.moduleId << ' ' << p.parentId << ' ' << p.hasChild << " '" << p.document << "' '"
        << p.description << "'";
}

class DeleteTopicsTest : public RecordsTest, public ::testing::WithParamInterface<TopicPattern> { };

TEST_P(DeleteTopicsTest, RemovesExactlyTheMatchingRows)
{
    insertTopic(7, 0, "a.htm", "One"); // 1
    insertTopic(7, 1, "b.htm", "Two"); // 2
    insertTopic(8, 0, "a.htm", "One"); // 3
    insertTopic(8, 3, "c.htm", "Three"); // 4
    Bytes mark = topicRecord(2, 0, -1, 1, "", "");
    ASSERT_NE(SetTopic(mark.data(), status.data()), 0);
    const TopicPattern& p = GetParam();
    Bytes pattern = topicRecord(p.topicId, p.moduleId, p.parentId, p.hasChild, p.document, p.description);
    EXPECT_OK(DeleteTopics(pattern.data(), status.data()), status);
    std::string left;
    for (const auto& row : raw().query("SELECT TopicID FROM topics ORDER BY TopicID"))
        left += row[0];
    EXPECT_EQ(left, p.remaining);
}

INSTANTIATE_TEST_SUITE_P(Patterns, DeleteTopicsTest,
    ::testing::Values(TopicPattern { -1, 7, -1, -1, "", "", "34" }, // a module's whole index
        TopicPattern { -1, -1, -1, -1, "", "", "" }, // everything
        TopicPattern { 3, -1, -1, -1, "", "", "124" }, TopicPattern { -1, -1, 0, -1, "", "", "24" },
        TopicPattern { -1, -1, -1, 1, "", "", "134" }, TopicPattern { -1, -1, -1, -1, "a.htm", "", "24" },
        TopicPattern { -1, 8, -1, -1, "", "One", "124" }, TopicPattern { -1, 9, -1, -1, "", "", "1234" }));

// ---- coding systems and codes ---------------------------------------------

TEST_P(RecordsOnEngines, CodingSystemsAreFoundByTrimmedExactName)
{
    ASSERT_EQ(raw().exec("INSERT INTO codingsystems (CodingSystemName) VALUES ('ICD'), ('CPT '), ('icd')"), SQLITE_OK);
    Bytes record = systemRecord(0, "CPT");
    EXPECT_OK(GetCodingSystem(record.data(), status.data()), status);
    EXPECT_EQ(get32(record, 0), 2);
    EXPECT_EQ(getText(record, 4, 50), padded("CPT", 50));
    Bytes missing = systemRecord(0, "Icd");
    EXPECT_EQ(GetCodingSystem(missing.data(), status.data()), 0);
    EXPECT_EQ(statusText(status), padded("no coding system is named Icd", 128));

    SAFEARRAY* sa = filterArray(104, 0, u"ICD");
    EXPECT_OK(GetCodingSystems(&sa, status.data()), status);
    EXPECT_EQ(elements(sa), (std::vector<std::pair<int32_t, std::u16string>> { { 1, padded16(u"ICD", 50) } }));
    kv_safearray_destroy(sa);
    sa = filterArray(104, 0, u"");
    EXPECT_OK(GetCodingSystems(&sa, status.data()), status);
    EXPECT_EQ(elements(sa).size(), 3u);
    EXPECT_EQ(elements(sa)[1].second, padded16(u"CPT", 50));
    kv_safearray_destroy(sa);
    sa = filterArray(104, 0, u"XYZ");
    EXPECT_OK(GetCodingSystems(&sa, status.data()), status);
    EXPECT_EQ(sa->rgsabound[0].cElements, 0u);
    EXPECT_EQ(sa->pvData, nullptr);
    kv_safearray_destroy(sa);
}

TEST_P(RecordsOnEngines, AnArrayOfTheWrongElementSizeIsRefused)
{
    SAFEARRAY* sa = filterArray(104, 0, u"");
    EXPECT_EQ(GetModules(&sa, status.data()), 0);
    EXPECT_EQ(sa->rgsabound[0].cElements, 1u);
    kv_safearray_destroy(sa);
    EXPECT_EQ(GetCodingSystems(nullptr, status.data()), 0);
}

TEST_P(RecordsOnEngines, InsertCodeStoresEveryField)
{
    Bytes record = codeRecord(55, "J45.9", 3, 2, "Asthma", "pdf\\asthma.htm");
    EXPECT_OK(InsertCode(record.data(), status.data()), status);
    EXPECT_EQ(raw().query("SELECT CodeID, Code, CodingSystemID, CodeFlag, Description, PatEdDocument FROM codes"),
        (Rows { { "1", "J45.9", "3", "2", "Asthma", "pdf\\asthma.htm" } }));
}

TEST_P(RecordsOnEngines, SetCodeReplacesTheDescriptionOfThatCode)
{
    insertCode("A1", 1, "", "x.htm");
    insertCode("A1", 2, "", "y.htm");
    insertCode("B2", 1, "", "z.htm");
    insertCode("a1", 1, "", "w.htm");
    // As the description loader sends it: identifiers 0, the document NULs.
    Bytes any(216, 0);
    putText(any, 4, 50, "A1");
    putText(any, 64, 100, "First text");
    EXPECT_OK(SetCode(any.data(), status.data()), status);
    Bytes one = codeRecord(0, "A1", 2, 0, "Second text", "");
    EXPECT_OK(SetCode(one.data(), status.data()), status);
    EXPECT_EQ(raw().query("SELECT Code, CodingSystemID, Description, PatEdDocument FROM codes ORDER BY CodeID"),
        (Rows { { "A1", "1", "First text", "x.htm" }, { "A1", "2", "Second text", "y.htm" }, { "B2", "1", "", "z.htm" },
            { "a1", "1", "", "w.htm" } }));
    // A code that is not stored changes nothing and is no failure.
    Bytes unknown = codeRecord(0, "ZZ", 0, 0, "Nothing", "");
    EXPECT_OK(SetCode(unknown.data(), status.data()), status);
    EXPECT_EQ(raw().scalar("SELECT count(*) FROM codes WHERE Description = 'Nothing'"), "0");
}

struct CodePattern {
    int32_t codeId;
    const char* code;
    int32_t system, flag;
    const char* description;
    const char* document;
    const char* remaining;
};

void PrintTo(const CodePattern& p, std::ostream* os)
{
    *os << p.codeId << " '" << p.code << "' " << p.system << ' ' << p.flag << " '" << p.description << "' '"
        << p.document << "'";
}

class DeleteCodesTest : public RecordsTest, public ::testing::WithParamInterface<CodePattern> { };

TEST_P(DeleteCodesTest, RemovesExactlyTheMatchingRows)
{
    insertCode("A1", 1, "", "x.htm"); // 1
    insertCode("A1", 2, "Desc", "x.htm"); // 2
    insertCode("B2", 1, "Desc", "y.htm"); // 3
    const CodePattern& p = GetParam();
    Bytes pattern = codeRecord(p.codeId, p.code, p.system, p.flag, p.description, p.document);
    EXPECT_OK(DeleteCodes(pattern.data(), status.data()), status);
    std::string left;
    for (const auto& row : raw().query("SELECT CodeID FROM codes ORDER BY CodeID"))
        left += row[0];
    EXPECT_EQ(left, p.remaining);
}

INSTANTIATE_TEST_SUITE_P(Patterns, DeleteCodesTest,
    ::testing::Values(CodePattern { -1, "", 1, -1, "", "", "2" }, // a coding system's codes
        CodePattern { -1, "", -1, -1, "", "", "" }, // everything
        CodePattern { -1, "", 3, -1, "", "", "123" }, CodePattern { 2, "", -1, -1, "", "", "13" },
        CodePattern { -1, "A1", -1, -1, "", "", "3" }, CodePattern { -1, "", -1, 0, "Desc", "", "1" },
        CodePattern { -1, "", -1, -1, "", "x.htm", "3" }, CodePattern { -1, "A1", 1, 5, "", "", "123" }));

// ---- defaults --------------------------------------------------------------

TEST_P(RecordsOnEngines, DefaultsComeBackFieldForFieldAndBitForBit)
{
    Bytes record(768, 0);
    putText(record, 0, 6, "");
    EXPECT_OK(GetPatEdDefaults(record.data(), status.data()), status);
    EXPECT_EQ(getText(record, 166, 50), std::string(50, ' ')); // DefaultModule blank-padded
    EXPECT_EQ(getText(record, 6, 50), std::string(50, ' '));
    EXPECT_EQ(get32(record, 56), 0);

    putText(record, 166, 50, "Adult Health");
    putText(record, 216, 100, "Setting eight");
    putText(record, 506, 10, "ten chars!");
    put32(record, 56, static_cast<int32_t>(0xDEADBEEF)); // Setting03
    put32(record, 112, INT32_MIN); // Setting05
    put32(record, 316, -1); // Setting09
    put32(record, 452, 0x01020304); // Setting12
    const Bytes sent = record;
    EXPECT_OK(SetPatEdDefaults(record.data(), status.data()), status);
    EXPECT_EQ(raw().query("SELECT DefaultsKey, DefaultModule, Setting08, Setting14, Setting03, Setting05 FROM "
                          "patEdDefaults"),
        (Rows { { "", "Adult Health", "Setting eight", "ten chars!", std::to_string(int32_t(0xDEADBEEF)),
            std::to_string(INT32_MIN) } }));

    Bytes back(768, 0);
    EXPECT_OK(GetPatEdDefaults(back.data(), status.data()), status);
    for (size_t i = 0; i < 766; ++i) // all but the two padding bytes at the end
        ASSERT_EQ(back[i], sent[i]) << "byte " << i;

    Bytes other = sent;
    putText(other, 0, 6, "B");
    putText(other, 166, 50, "Other");
    EXPECT_OK(SetPatEdDefaults(other.data(), status.data()), status); // a new key adds a row
    EXPECT_EQ(raw().query("SELECT DefaultsKey, DefaultModule FROM patEdDefaults ORDER BY DefaultsKey"),
        (Rows { { "", "Adult Health" }, { "B", "Other" } }));
    Bytes unknown(768, 0);
    putText(unknown, 0, 6, "ZZ");
    EXPECT_EQ(GetPatEdDefaults(unknown.data(), status.data()), 0);
}

TEST_P(RecordsOnEngines, DefaultsOfTheBlankKeyReadAsBlankWhenTheirRowIsMissing)
{
    ASSERT_EQ(raw().exec("DELETE FROM patEdDefaults"), SQLITE_OK);
    Bytes record(768, 0);
    putText(record, 0, 6, "");
    EXPECT_OK(GetPatEdDefaults(record.data(), status.data()), status);
    Bytes blank(768, 0);
    putText(blank, 0, 6, "");
    Bytes none(768, 0);
    EXPECT_OK(SetPatEdDefaults(blank.data(), status.data()), status); // the blank record's byte form
    EXPECT_OK(GetPatEdDefaults(none.data(), status.data()), status);
    for (size_t i = 0; i < 766; ++i) // all but the two padding bytes at the end
        ASSERT_EQ(record[i], none[i]) << "byte " << i;
    EXPECT_EQ(getText(record, 166, 50), std::string(50, ' '));
    EXPECT_EQ(get32(record, 56), 0);

    // SetPatEdDefaults stores the row again.
    ASSERT_EQ(raw().exec("DELETE FROM patEdDefaults"), SQLITE_OK);
    putText(record, 166, 50, "ADULT");
    EXPECT_OK(SetPatEdDefaults(record.data(), status.data()), status);
    EXPECT_EQ(raw().query("SELECT DefaultsKey, DefaultModule FROM patEdDefaults"), (Rows { { "", "ADULT" } }));

    // Another key is found only where its row is.
    Bytes other(768, 0);
    putText(other, 0, 6, "B");
    EXPECT_EQ(GetPatEdDefaults(other.data(), status.data()), 0);
}

// ---- text ------------------------------------------------------------------

TEST_P(RecordsOnEngines, TextIsTrimmedOfBlanksAndNulsWhenStored)
{
    Bytes record(104, 0);
    const std::string name = std::string("  Adult") + '\0' + " ";
    std::copy(name.begin(), name.end(), record.begin() + 4);
    putText(record, 54, 50, std::string(50, 'P')); // the full width is kept
    EXPECT_OK(InsertModule(record.data(), status.data()), status);
    EXPECT_EQ(
        raw().query("SELECT ModuleName, DirectoryPrefix FROM modules"), (Rows { { "Adult", std::string(50, 'P') } }));
    Bytes empty(104, 0); // NUL text stores as empty text
    EXPECT_OK(InsertModule(empty.data(), status.data()), status);
    EXPECT_EQ(raw().scalar("SELECT '[' || ModuleName || ']' FROM modules WHERE ModuleID = 2"), "[]");
}

TEST_P(RecordsOnEngines, AnsiTextIsStoredAsUtf8AndComesBackInBothForms)
{
    const std::string ansi = "M\xE9ni\xE8re's \x80"; // Ménière's € in Windows-1252
    const std::string utf8 = "M\xC3\xA9ni\xC3\xA8re's \xE2\x82\xAC";
    insertModule(ansi, "PRE");
    EXPECT_EQ(raw().scalar("SELECT ModuleName FROM modules"), utf8);

    Bytes record = moduleRecord(0, ansi, "");
    EXPECT_OK(GetModule(record.data(), status.data()), status);
    EXPECT_EQ(getText(record, 4, 50), padded(ansi, 50));

    SAFEARRAY* sa = nullptr;
    EXPECT_OK(GetModules(&sa, status.data()), status);
    ASSERT_EQ(sa->rgsabound[0].cElements, 1u);
    EXPECT_EQ(getUtf16(static_cast<unsigned char*>(sa->pvData), 4, 50), padded16(u"M\u00E9ni\u00E8re's \u20AC", 50));
    kv_safearray_destroy(sa);

    // The element form carries what the code page cannot: A→B stored by SQL.
    ASSERT_EQ(raw().exec("UPDATE modules SET ModuleName = 'A\xE2\x86\x92"
                         "B'"),
        SQLITE_OK);
    sa = nullptr;
    EXPECT_OK(GetModules(&sa, status.data()), status);
    EXPECT_EQ(getUtf16(static_cast<unsigned char*>(sa->pvData), 4, 4), u"A\u2192B ");
    kv_safearray_destroy(sa);
}

TEST_P(RecordsOnEngines, NullStatusIsAccepted)
{
    Bytes module = moduleRecord(0, "A", "B");
    EXPECT_NE(InsertModule(module.data(), nullptr), 0);
    EXPECT_NE(GetModule(module.data(), nullptr), 0);
    Bytes missing = moduleRecord(0, "None", "");
    EXPECT_EQ(GetModule(missing.data(), nullptr), 0);
    EXPECT_NE(ExecuteQuery("SELECT 1", nullptr), 0);
    EXPECT_NE(BeginUnit(nullptr), 0);
    EXPECT_NE(CommitUnit(nullptr), 0);
    EXPECT_EQ(CommitUnit(nullptr), 0);
    EXPECT_EQ(InsertModule(nullptr, nullptr), 0);
}

VELK_ON_EVERY_ENGINE(RecordsOnEngines);

} // namespace
