// The binding of the data-access library, exercised through a real dlopen of a
// small stand-in library (FakeKovadel.cpp) and of files that are not there.

#include "store/KovadelLibrary.h"

#include "store/ByteForms.h"
#include "store/FileSystemName.h"
#include "support/PrintQString.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QLibrary>
#include <QTemporaryDir>

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace {

const QString kFakePath = QStringLiteral(FAKE_KOVADEL_PATH);

uint32_t le32(const uint8_t* bytes)
{
    return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8)
        | (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

std::string ansiAt(const uint8_t* bytes, size_t offset, size_t width)
{
    return std::string(reinterpret_cast<const char*>(bytes + offset), width);
}

std::string padded(const std::string& text, size_t width) { return text + std::string(width - text.size(), ' '); }

QString paddedText(const QString& text, qsizetype width) { return text + QString(width - text.size(), u' '); }

// Reads what the stand-in received, through its own exported helpers. The
// stand-in is the same loaded object the binding uses (same file).
class FakeProbe {
public:
    FakeProbe()
        : m_library(kFakePath)
    {
        if (!m_library.load())
            ADD_FAILURE() << m_library.errorString().toStdString();
    }

    std::array<uint8_t, 1024> lastRecord(int32_t* size = nullptr)
    {
        std::array<uint8_t, 1024> bytes {};
        auto function = reinterpret_cast<int32_t (*)(unsigned char*, int32_t)>(m_library.resolve("FakeLastRecord"));
        const int32_t n = function(bytes.data(), static_cast<int32_t>(bytes.size()));
        if (size)
            *size = n;
        return bytes;
    }

    std::array<uint8_t, 208> lastStatus()
    {
        std::array<uint8_t, 208> bytes {};
        auto function = reinterpret_cast<void (*)(unsigned char*)>(m_library.resolve("FakeLastStatus"));
        function(bytes.data());
        return bytes;
    }

    int32_t lastArrayCount()
    {
        auto function = reinterpret_cast<int32_t (*)()>(m_library.resolve("FakeLastArrayCount"));
        return function();
    }

    // The text argument `index` of the last call, as the bytes received.
    std::string lastText(int index)
    {
        auto function = reinterpret_cast<int32_t (*)(int32_t, char*, int32_t)>(m_library.resolve("FakeLastText"));
        std::string buffer(4096, '\0');
        const int32_t n = function(index, buffer.data(), static_cast<int32_t>(buffer.size()));
        buffer.resize(static_cast<size_t>(n));
        return buffer;
    }

private:
    QLibrary m_library;
};

// What every stand-in operation writes into the status.
void expectStatusFilled(const CallStatus& status, const char* op)
{
    EXPECT_EQ(status.StatusText1.text(), paddedText(QString::fromLatin1(op), 128));
    EXPECT_EQ(status.StatusText2.text(), paddedText(QString::fromUtf16(u"second \u00E9"), 64));
    EXPECT_EQ(status.StatusValue1, 0xA1B2C3D4u);
    EXPECT_EQ(status.StatusValue2, 0x00000001u);
    EXPECT_EQ(status.StatusValue3, 0xFFFFFFFFu);
    EXPECT_EQ(status.StatusValue4, 0x80000000u);
}

CallStatus sentStatus()
{
    CallStatus status;
    status.StatusText1 = QStringLiteral("previous");
    status.StatusValue1 = 0x01020304u;
    status.StatusValue4 = 0xCAFEBABEu;
    return status;
}

void expectStatusSent(FakeProbe& probe)
{
    const auto bytes = probe.lastStatus();
    EXPECT_EQ(ansiAt(bytes.data(), 0, 128), padded("previous", 128));
    for (size_t i = 128; i < 192; ++i)
        EXPECT_EQ(bytes[i], 0) << "unassigned StatusText2, byte " << i;
    EXPECT_EQ(le32(bytes.data() + 192), 0x01020304u);
    EXPECT_EQ(le32(bytes.data() + 196), 0u);
    EXPECT_EQ(le32(bytes.data() + 204), 0xCAFEBABEu);
}

} // namespace

// ---- Binding failures -------------------------------------------------------------

TEST(KovadelLibrary, MissingLibraryIsReportedAtTheFirstCallNamingTheFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("no-such-dir/libkovadel.so"));

    KovadelLibrary library(path); // nothing is loaded yet
    EXPECT_EQ(library.libraryPath(), path);

    ModuleRecord record;
    record.ModuleName = QStringLiteral("Unchanged");
    CallStatus status;
    try {
        library.GetModule(record, status);
        FAIL() << "no error for a missing library";
    } catch (const ExternalsError& error) {
        const QString message = QString::fromStdString(error.what());
        EXPECT_TRUE(message.contains(path)) << error.what();
        EXPECT_FALSE(message.endsWith(QStringLiteral(": "))) << "QLibrary's reason is missing: " << error.what();
        EXPECT_FALSE(message.contains(u'\n')) << error.what();
    }
    EXPECT_EQ(record.ModuleName.trimmed(), QStringLiteral("Unchanged"));

    // Every later call fails the same way; none of them crashes.
    EXPECT_THROW(library.StartVelk(QStringLiteral("db.mdb"), QStringLiteral("ADMIN"), QString()), ExternalsError);
    EXPECT_THROW(library.EndVelk(), ExternalsError);
    std::vector<ModuleRecord> list(1);
    EXPECT_THROW(library.GetModules(list, status), ExternalsError);
    EXPECT_EQ(list.size(), 1u);

    // LastError reports the reason instead of raising it.
    EXPECT_TRUE(library.LastError().contains(path));
}

TEST(KovadelLibrary, FileThatIsNotALibraryIsReported)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("libkovadel.so"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a shared object");
    file.close();

    KovadelLibrary library(path);
    try {
        library.EndVelk();
        FAIL() << "no error for a file that is not a library";
    } catch (const ExternalsError& error) {
        EXPECT_TRUE(QString::fromStdString(error.what()).contains(path)) << error.what();
    }
}

TEST(KovadelLibrary, MissingFunctionIsReportedNamingFunctionAndLibrary)
{
    KovadelLibrary library(kFakePath);
    TopicRecord record;
    record.ModuleID = 4;
    CallStatus status;
    // The stand-in does not export DeleteTopics.
    try {
        library.DeleteTopics(record, status);
        FAIL() << "no error for a missing function";
    } catch (const ExternalsError& error) {
        const QString message = QString::fromStdString(error.what());
        EXPECT_TRUE(message.contains(QStringLiteral("DeleteTopics"))) << error.what();
        EXPECT_TRUE(message.contains(kFakePath)) << error.what();
    }
    EXPECT_EQ(record.ModuleID, 4);
    EXPECT_THROW(library.SetTopic(record, status), ExternalsError);
    EXPECT_THROW(library.CommitUnit(status), ExternalsError);

    // The library itself is fine: functions it has still work.
    EXPECT_EQ(library.EndVelk(), 3);
}

// ---- Text arguments --------------------------------------------------------------

TEST(KovadelLibrary, TextArgumentsGoOutAsNulTerminatedAnsiAndPathsAsTheFileSystemsBytes)
{
    FakeProbe probe;
    KovadelLibrary library(kFakePath);
    EXPECT_EQ(library.StartVelk(
                  QString::fromUtf16(u"/data/Caf\u00E9 \u20AC.mdb"), QString::fromUtf16(u"ADMIN\u00E9"), QString()),
        7);
    EXPECT_EQ(probe.lastText(0), "/data/Caf\xC3\xA9 \xE2\x82\xAC.mdb");
    EXPECT_EQ(probe.lastText(1), "ADMIN\xE9");
    EXPECT_EQ(probe.lastText(2), "");

    EXPECT_EQ(library.FileLineCount(QString::fromUtf16(u"/tmp/index \u0416.txt")), 75000);
    EXPECT_EQ(probe.lastText(0), "/tmp/index \xD0\x96.txt");

    // A name whose bytes are not UTF-8 comes back as those bytes.
    EXPECT_EQ(library.FileLineCount(fromFileSystemBytes(QByteArray("/tmp/\xC9t\xE9.txt"))), 75000);
    EXPECT_EQ(probe.lastText(0), "/tmp/\xC9t\xE9.txt");
}

TEST(KovadelLibrary, ExecuteQuerySendsTheStatementAndReturnsTheStatus)
{
    FakeProbe probe;
    KovadelLibrary library(kFakePath);
    CallStatus status = sentStatus();
    const QString sql = QStringLiteral("insert into topics (ModuleID, ParentID, HasChild, PatEdDocument, Description) "
                                       "values (1, 0, 0, 'x.htm', 'Children''s Health')");
    EXPECT_EQ(library.ExecuteQuery(sql, status), 1);
    EXPECT_EQ(probe.lastText(0), sql.toStdString());
    expectStatusSent(probe);
    expectStatusFilled(status, "ExecuteQuery");
}

TEST(KovadelLibrary, LastErrorReadsTheWholeReason)
{
    KovadelLibrary library(kFakePath);
    const QString reason = library.LastError();
    EXPECT_EQ(reason.size(), 7 + 700 + 4);
    EXPECT_TRUE(reason.startsWith(QStringLiteral("reason xxx")));
    EXPECT_TRUE(reason.endsWith(QString::fromUtf16(u" \u00E9nd")));
}

// ---- Records: every field in-out ---------------------------------------------------

TEST(KovadelLibrary, ModuleRecordTravelsInSingleFormAndComesBackChanged)
{
    FakeProbe probe;
    KovadelLibrary library(kFakePath);
    ModuleRecord record;
    record.ModuleID = 5;
    record.ModuleName = QStringLiteral("Cardiology");
    CallStatus status = sentStatus();

    EXPECT_EQ(library.GetModule(record, status), 11);

    int32_t size = 0;
    const auto sent = probe.lastRecord(&size);
    EXPECT_EQ(size, 104);
    EXPECT_EQ(le32(sent.data()), 5u);
    EXPECT_EQ(ansiAt(sent.data(), 4, 50), padded("Cardiology", 50));
    for (size_t i = 54; i < 104; ++i)
        EXPECT_EQ(sent[i], 0) << "unassigned DirectoryPrefix, byte " << i;
    expectStatusSent(probe);

    EXPECT_EQ(record.ModuleID, 1005);
    EXPECT_EQ(record.ModuleName.text(), paddedText(QString::fromUtf16(u"Returned caf\u00E9"), 50));
    EXPECT_EQ(record.DirectoryPrefix.trimmed(), QStringLiteral("PFX"));
    expectStatusFilled(status, "GetModule");
}

TEST(KovadelLibrary, TopicRecordComesBackWithEveryFieldChanged)
{
    FakeProbe probe;
    KovadelLibrary library(kFakePath);
    TopicRecord record;
    record.TopicID = 10;
    record.ModuleID = 20;
    record.ParentID = -1;
    record.HasChild = 0;
    record.PatEdDocument = QStringLiteral("Prefix_asthma_pdf.htm");
    record.Description = QStringLiteral("Children''s Health");
    CallStatus status;

    EXPECT_EQ(library.InsertTopic(record, status), 12);

    const auto sent = probe.lastRecord();
    EXPECT_EQ(le32(sent.data() + 0), 10u);
    EXPECT_EQ(le32(sent.data() + 4), 20u);
    EXPECT_EQ(le32(sent.data() + 8), 0xFFFFFFFFu);
    EXPECT_EQ(le32(sent.data() + 12), 0u);
    EXPECT_EQ(ansiAt(sent.data(), 16, 50), padded("Prefix_asthma_pdf.htm", 50));
    EXPECT_EQ(ansiAt(sent.data(), 66, 80), padded("Children''s Health", 80));

    EXPECT_EQ(record.TopicID, 11);
    EXPECT_EQ(record.ModuleID, 22);
    EXPECT_EQ(record.ParentID, 2);
    EXPECT_EQ(record.HasChild, 4);
    EXPECT_EQ(record.PatEdDocument.trimmed(), QStringLiteral("pdf\\changed.htm"));
    EXPECT_EQ(record.Description.trimmed(), QStringLiteral("Changed description"));
    expectStatusFilled(status, "InsertTopic");
}

TEST(KovadelLibrary, CodeRecordComesBackWithEveryFieldChanged)
{
    FakeProbe probe;
    KovadelLibrary library(kFakePath);
    CodeRecord record;
    record.CodeID = 0;
    record.Code = QStringLiteral("I10");
    record.CodingSystemID = 3;
    record.CodeFlag = 0;
    record.Description = QString();
    record.PatEdDocument = QStringLiteral("pdf\\bp.htm");
    CallStatus status;

    EXPECT_EQ(library.InsertCode(record, status), 13);

    const auto sent = probe.lastRecord();
    EXPECT_EQ(ansiAt(sent.data(), 4, 50), padded("I10", 50));
    EXPECT_EQ(sent[54], 0);
    EXPECT_EQ(sent[55], 0);
    EXPECT_EQ(le32(sent.data() + 56), 3u);
    EXPECT_EQ(ansiAt(sent.data(), 64, 100), std::string(100, ' '));
    EXPECT_EQ(ansiAt(sent.data(), 164, 50), padded("pdf\\bp.htm", 50));

    EXPECT_EQ(record.CodeID, 0x7FFFFFFF);
    EXPECT_EQ(record.Code.trimmed(), QStringLiteral("Z99.9"));
    EXPECT_EQ(record.CodingSystemID, -2);
    EXPECT_EQ(record.CodeFlag, 5);
    EXPECT_EQ(record.Description.trimmed(), QString::fromUtf16(u"A description \u20AC"));
    EXPECT_EQ(record.PatEdDocument.trimmed(), QStringLiteral("doc\\code.htm"));
    expectStatusFilled(status, "InsertCode");
}

TEST(KovadelLibrary, ResultOfGetCodingSystemAndIdentifierOnlyWhenFound)
{
    KovadelLibrary library(kFakePath);
    CallStatus status;
    CodingSystemRecord found;
    found.CodingSystemName = QStringLiteral("ICD");
    EXPECT_EQ(library.GetCodingSystem(found, status), 1);
    EXPECT_EQ(found.CodingSystemID, 9);

    CodingSystemRecord missing;
    missing.CodingSystemName = QStringLiteral("XYZ");
    EXPECT_EQ(library.GetCodingSystem(missing, status), 0);
    EXPECT_EQ(missing.CodingSystemID, 0);
    EXPECT_EQ(missing.CodingSystemName.trimmed(), QStringLiteral("XYZ"));
}

TEST(KovadelLibrary, DefaultsAreHandedBackExactlyAsTheLibraryFilledThem)
{
    FakeProbe probe;
    KovadelLibrary library(kFakePath);
    PatEdDefaultsRecord record;
    record.DefaultsKey = QString();
    CallStatus status;
    ASSERT_EQ(library.GetPatEdDefaults(record, status), 1);
    const auto filled = probe.lastRecord(); // what was sent: blank key, the rest 0 and NUL
    EXPECT_EQ(ansiAt(filled.data(), 0, 6), "      ");

    EXPECT_EQ(record.DefaultModule.trimmed(), QStringLiteral("Stored module"));
    EXPECT_EQ(record.Setting03, 0x03030303u);
    EXPECT_EQ(record.Setting05, 0x05050505u);
    EXPECT_EQ(record.Setting09, 0x09090909u);
    EXPECT_EQ(record.Setting12, 0xC0FFEE12u);
    EXPECT_EQ(record.Setting04.trimmed(), QString::fromUtf16(u"setting four \u20AC"));
    EXPECT_EQ(record.Setting14.text(), QStringLiteral("fourteen!!"));

    const PatEdDefaultsRecord asReturned = record;
    record.DefaultModule = QStringLiteral("Cardiology");
    ASSERT_EQ(library.SetPatEdDefaults(record, status), 1);
    const auto stored = probe.lastRecord();

    // Byte for byte what GetPatEdDefaults wrote, except DefaultModule.
    PatEdDefaultsRecord expected = asReturned;
    expected.DefaultModule = QStringLiteral("Cardiology");
    const auto expectedBytes = toSingle(expected);
    EXPECT_TRUE(std::equal(expectedBytes.begin(), expectedBytes.end(), stored.begin()));
    EXPECT_EQ(ansiAt(stored.data(), 166, 50), padded("Cardiology", 50));
    EXPECT_EQ(le32(stored.data() + 452), 0xC0FFEE12u);
    EXPECT_EQ(ansiAt(stored.data(), 60, 50), padded("setting four \x80", 50));
    expectStatusFilled(status, "SetPatEdDefaults");
}

TEST(KovadelLibrary, StatusOnlyOperations)
{
    FakeProbe probe;
    KovadelLibrary library(kFakePath);
    CallStatus status = sentStatus();
    EXPECT_EQ(library.BeginUnit(status), 1);
    expectStatusSent(probe);
    expectStatusFilled(status, "BeginUnit");
}

// ---- Arrays ---------------------------------------------------------------------------

TEST(KovadelLibrary, GetModulesSendsTheFilterAndReadsEveryElement)
{
    FakeProbe probe;
    KovadelLibrary library(kFakePath);
    std::vector<ModuleRecord> list(1);
    list[0].ModuleName = QStringLiteral("Filter");
    CallStatus status = sentStatus();

    EXPECT_EQ(library.GetModules(list, status), 3);

    EXPECT_EQ(probe.lastArrayCount(), 1);
    int32_t size = 0;
    const auto filter = probe.lastRecord(&size);
    ASSERT_EQ(size, 204);
    EXPECT_EQ(le32(filter.data()), 0u);
    EXPECT_EQ(filter[4], 'F') << "element form: UTF-16LE";
    EXPECT_EQ(filter[5], 0);
    EXPECT_EQ(filter[6], 'i');
    for (size_t i = 104; i < 204; ++i)
        EXPECT_EQ(filter[i], 0) << "unassigned DirectoryPrefix, byte " << i;
    expectStatusSent(probe);

    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].ModuleID, 101);
    EXPECT_EQ(list[0].ModuleName.trimmed(), QStringLiteral("Alpha"));
    EXPECT_EQ(list[1].ModuleID, 102);
    EXPECT_EQ(list[1].ModuleName.trimmed(), QString::fromUtf16(u"Bravo \u0416")) << "nothing converted";
    EXPECT_EQ(list[2].ModuleID, 103);
    EXPECT_EQ(list[2].ModuleName.trimmed(), QString::fromUtf16(u"Caf\u00E9"));
    EXPECT_EQ(list[2].DirectoryPrefix.trimmed(), QStringLiteral("PRE"));
    expectStatusFilled(status, "GetModules");
}

TEST(KovadelLibrary, GetModulesWithAnUnassignedFilterListsAll)
{
    FakeProbe probe;
    KovadelLibrary library(kFakePath);
    std::vector<ModuleRecord> list(1);
    CallStatus status;
    EXPECT_EQ(library.GetModules(list, status), 3);
    const auto filter = probe.lastRecord();
    for (size_t i = 0; i < 204; ++i)
        EXPECT_EQ(filter[i], 0) << "byte " << i;
    EXPECT_EQ(list.size(), 3u);
}

TEST(KovadelLibrary, GetCodingSystemsArrayOutcomes)
{
    struct Row {
        const char* filter;
        size_t expectedCount;
        int32_t expectedResult;
    };
    const Row rows[] = {
        { "", 2, 2 }, // re-dimensioned in place
        { "replace", 2, 2 }, // descriptor replaced by a new one
        { "none", 0, 0 }, // no elements
        { "null", 0, 0 }, // descriptor released, reference NULL
    };
    KovadelLibrary library(kFakePath);
    for (const Row& row : rows) {
        std::vector<CodingSystemRecord> list(1);
        if (*row.filter)
            list[0].CodingSystemName = QString::fromLatin1(row.filter);
        CallStatus status;
        EXPECT_EQ(library.GetCodingSystems(list, status), row.expectedResult) << row.filter;
        ASSERT_EQ(list.size(), row.expectedCount) << row.filter;
        if (row.expectedCount == 2) {
            EXPECT_EQ(list[0].CodingSystemID, 1);
            EXPECT_EQ(list[0].CodingSystemName.trimmed(), QStringLiteral("ICD"));
            EXPECT_EQ(list[1].CodingSystemID, 2);
            EXPECT_EQ(list[1].CodingSystemName.trimmed(), QStringLiteral("CPT"));
        }
        expectStatusFilled(status, "GetCodingSystems");
    }
}

TEST(KovadelLibrary, EmptyListIsSentAsAnArrayWithoutElements)
{
    FakeProbe probe;
    KovadelLibrary library(kFakePath);
    std::vector<CodingSystemRecord> list;
    CallStatus status;
    EXPECT_EQ(library.GetCodingSystems(list, status), 2);
    EXPECT_EQ(probe.lastArrayCount(), 0);
    EXPECT_EQ(list.size(), 2u);
}

TEST(KovadelLibrary, ArrayWithTheWrongElementSizeIsAnError)
{
    KovadelLibrary library(kFakePath);
    std::vector<CodingSystemRecord> list(1);
    list[0].CodingSystemName = QStringLiteral("bad");
    CallStatus status;
    try {
        library.GetCodingSystems(list, status);
        FAIL() << "no error for a malformed array";
    } catch (const ExternalsError& error) {
        EXPECT_TRUE(QString::fromStdString(error.what()).contains(QStringLiteral("GetCodingSystems"))) << error.what();
    }
}

TEST(KovadelLibrary, GetTopicsSendsTheModuleAndReadsEveryElementAtItsOffsets)
{
    FakeProbe probe;
    KovadelLibrary library(kFakePath);
    std::vector<TopicRecord> list(1);
    list[0].ModuleID = 7;
    CallStatus status = sentStatus();

    EXPECT_EQ(library.GetTopics(list, status), 1);

    EXPECT_EQ(probe.lastArrayCount(), 1);
    int32_t size = 0;
    const auto filter = probe.lastRecord(&size);
    ASSERT_EQ(size, 276);
    EXPECT_EQ(le32(filter.data() + 4), 7u) << "ModuleID at element offset 4";
    for (size_t i : { 0u, 8u, 12u })
        EXPECT_EQ(le32(filter.data() + i), 0u) << "offset " << i;
    for (size_t i = 16; i < 276; ++i)
        EXPECT_EQ(filter[i], 0) << "unassigned text, byte " << i;
    expectStatusSent(probe);

    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].TopicID, 301);
    EXPECT_EQ(list[0].ModuleID, 7);
    EXPECT_EQ(list[0].ParentID, 0);
    EXPECT_EQ(list[0].HasChild, 1);
    EXPECT_EQ(list[0].PatEdDocument.text(), paddedText(QStringLiteral("htm\\first.htm"), 50));
    EXPECT_EQ(list[0].Description.text(), paddedText(QString::fromUtf16(u"Asthma \u0416"), 80)) << "nothing converted";
    EXPECT_EQ(list[1].TopicID, 302);
    EXPECT_EQ(list[1].ParentID, 301);
    EXPECT_EQ(list[1].HasChild, 0);
    EXPECT_EQ(list[1].Description.trimmed(), QString::fromUtf16(u"Caf\u00E9 care"));
    expectStatusFilled(status, "GetTopics");
}

TEST(KovadelLibrary, SearchCodesSendsCursorPatternAndLimit)
{
    struct Row {
        const char16_t* pattern;
        const char* patternBytes; // as the library receives it: ANSI
        int32_t limit;
        size_t expectedCount;
    };
    const Row rows[] = {
        { u"", "", 0, 2 },
        { u"  typh fev ", "  typh fev ", -1, 2 },
        { u"caf\u00E9", "caf\xE9", 1, 1 },
        { u"A0", "A0", 3, 3 },
    };
    FakeProbe probe;
    KovadelLibrary library(kFakePath);
    for (const Row& row : rows) {
        const QString pattern = QString::fromUtf16(row.pattern);
        std::vector<CodeRecord> list(1);
        list[0].CodingSystemID = 3;
        list[0].CodeID = 77;
        list[0].Code = QStringLiteral("B9");
        CallStatus status = sentStatus();

        EXPECT_EQ(library.SearchCodes(list, pattern, row.limit, status), 1) << row.patternBytes;

        EXPECT_EQ(probe.lastText(0), std::string(row.patternBytes));
        EXPECT_EQ(probe.lastText(1), std::to_string(row.limit));
        int32_t size = 0;
        const auto cursor = probe.lastRecord(&size);
        ASSERT_EQ(size, 412);
        EXPECT_EQ(le32(cursor.data() + 0), 77u) << "CodeID at 0";
        EXPECT_EQ(cursor[4], 'B') << "Code at 4, UTF-16LE";
        EXPECT_EQ(cursor[5], 0);
        EXPECT_EQ(cursor[6], '9');
        EXPECT_EQ(cursor[8], ' ') << "Code blank-padded";
        EXPECT_EQ(le32(cursor.data() + 104), 3u) << "CodingSystemID at 104";
        EXPECT_EQ(le32(cursor.data() + 108), 0u);
        for (size_t i = 112; i < 412; ++i)
            EXPECT_EQ(cursor[i], 0) << "unassigned text, byte " << i;
        expectStatusSent(probe);

        ASSERT_EQ(list.size(), row.expectedCount) << row.patternBytes;
        EXPECT_EQ(list[0].CodeID, 501);
        EXPECT_EQ(list[0].Code.text(), paddedText(QStringLiteral("A01"), 50));
        EXPECT_EQ(list[0].CodingSystemID, 3);
        EXPECT_EQ(list[0].CodeFlag, 0x10);
        EXPECT_EQ(list[0].Description.text(), paddedText(QStringLiteral("Typhoid fever"), 100));
        EXPECT_EQ(list[0].PatEdDocument.trimmed(), QStringLiteral("htm\\code.htm"));
        if (row.expectedCount > 1) {
            EXPECT_EQ(list[1].CodeID, 502);
            EXPECT_EQ(list[1].Code.trimmed(), QString::fromUtf16(u"A02.\u0394")) << "nothing converted";
            EXPECT_EQ(list[1].CodeFlag, 0x11);
            EXPECT_EQ(list[1].Description.trimmed(), QString::fromUtf16(u"\u041E\u0441\u0442\u0440\u044B\u0439"));
        }
        expectStatusFilled(status, "SearchCodes");
    }
}

TEST(KovadelLibrary, GetCodeMissingFromTheLibraryIsNamed)
{
    KovadelLibrary library(kFakePath);
    CodeRecord record;
    record.Code = QStringLiteral("A01");
    record.CodingSystemID = 3;
    CallStatus status;
    // The stand-in does not export GetCode.
    try {
        library.GetCode(record, status);
        FAIL() << "no error for a missing function";
    } catch (const ExternalsError& error) {
        const QString message = QString::fromStdString(error.what());
        EXPECT_TRUE(message.contains(QStringLiteral("function GetCode;"))) << error.what();
        EXPECT_TRUE(message.contains(kFakePath)) << error.what();
    }
    EXPECT_EQ(record.Code.trimmed(), QStringLiteral("A01"));
    EXPECT_EQ(record.CodingSystemID, 3);
}

// ---- Default location -------------------------------------------------------------

TEST(KovadelLibrary, DefaultPathIsBesideTheProgramOrTheBareName)
{
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe");
    const QString beside = QString::fromStdString((exe.parent_path() / "libkovadel.so").string());
    const QString expected = QFileInfo::exists(beside) ? beside : QStringLiteral("libkovadel.so");
    EXPECT_EQ(KovadelLibrary().libraryPath(), expected);
    EXPECT_EQ(KovadelLibrary(QStringLiteral("/x/y.so")).libraryPath(), QStringLiteral("/x/y.so"));
}
