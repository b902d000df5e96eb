// The binding against the project's own data-access library, when it has been
// built: a short session through KovadelLibrary on a fresh database.

#include "store/KovadelLibrary.h"

#include "store/FileSystemName.h"
#include "store/Interruption.h"
#include "store/UnitOfWork.h"
#include "support/PrintQString.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

TEST(RealLibrary, ShortSessionOnAFreshDatabase)
{
    const QString libraryPath = QStringLiteral(KOVADEL_LIBRARY_PATH);
    if (!QFileInfo::exists(libraryPath))
        GTEST_SKIP() << "the data-access library has not been built";

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    KovadelLibrary library(libraryPath);
    ASSERT_NE(library.StartVelk(dir.filePath(QStringLiteral("pated.mdb")), QStringLiteral("ADMIN"), QString()), 0)
        << library.LastError().toStdString();

    CallStatus status;
    ModuleRecord module;
    module.ModuleID = 0;
    module.ModuleName = QString::fromUtf16(u"Caf\u00E9 Cardiology");
    module.DirectoryPrefix = QStringLiteral("CARD");
    ASSERT_NE(library.InsertModule(module, status), 0) << library.LastError().toStdString();

    // List all: element 0 unassigned.
    std::vector<ModuleRecord> list(1);
    library.GetModules(list, status);
    const auto found = std::find_if(list.begin(), list.end(),
        [](const ModuleRecord& m) { return m.ModuleName.trimmed() == QString::fromUtf16(u"Caf\u00E9 Cardiology"); });
    ASSERT_NE(found, list.end()) << "module not listed";
    EXPECT_NE(found->ModuleID, 0);

    ModuleRecord lookUp;
    lookUp.ModuleName = QString::fromUtf16(u"Caf\u00E9 Cardiology");
    library.GetModule(lookUp, status);
    EXPECT_EQ(lookUp.ModuleID, found->ModuleID);
    EXPECT_EQ(lookUp.DirectoryPrefix.trimmed(), QStringLiteral("CARD"));

    CodingSystemRecord system;
    system.CodingSystemName = QStringLiteral("NO-SUCH-SYSTEM");
    EXPECT_EQ(library.GetCodingSystem(system, status), 0);

    const QString textPath = dir.filePath(QStringLiteral("three.txt"));
    QFile text(textPath);
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("a\r\nb\r\nc\r\n");
    text.close();
    EXPECT_EQ(library.FileLineCount(textPath), 3);

    library.EndVelk();
}

namespace {

bool libraryBuilt() { return QFileInfo::exists(QStringLiteral(KOVADEL_LIBRARY_PATH)); }

} // namespace

TEST(RealLibrary, PathsNameExactlyTheirFiles)
{
    if (!libraryBuilt())
        GTEST_SKIP() << "the data-access library has not been built";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray folder = QFile::encodeName(dir.path()) + '/';
    KovadelLibrary library(QStringLiteral(KOVADEL_LIBRARY_PATH));

    // Outside the code page, and bytes that are not UTF-8.
    for (const QByteArray& name : { QByteArray("\xD0\x96\xD1\x83\xD0\xBA.mdb"), QByteArray("\xC9t\xE9.mdb") }) {
        const QString path = fromFileSystemBytes(folder + name);
        ASSERT_NE(library.StartVelk(path, QStringLiteral("ADMIN"), QString()), 0) << library.LastError().toStdString();
        // Something stored, so that the new database stays.
        ModuleRecord module;
        module.ModuleName = QStringLiteral("M");
        CallStatus status;
        ASSERT_NE(library.InsertModule(module, status), 0) << library.LastError().toStdString();
        library.EndVelk();
        EXPECT_TRUE(std::filesystem::exists(std::string(folder + name))) << name.toStdString();
    }
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder.toStdString()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string> { "\xC9t\xE9.mdb", "\xD0\x96\xD1\x83\xD0\xBA.mdb" }))
        << "no other file was made";

    const QByteArray text = folder + "\xD0\x9B\xD0\xB5\xD1\x81.txt";
    {
        QFile file(fromFileSystemBytes(text));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("a\nb\n");
    }
    EXPECT_EQ(library.FileLineCount(fromFileSystemBytes(text)), 2) << library.LastError().toStdString();
}

TEST(RealLibrary, NamesOutsideTheCodePageAreRefusedBeforeTheyReachTheLibrary)
{
    if (!libraryBuilt())
        GTEST_SKIP() << "the data-access library has not been built";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    KovadelLibrary library(QStringLiteral(KOVADEL_LIBRARY_PATH));
    ASSERT_NE(library.StartVelk(dir.filePath(QStringLiteral("names.mdb")), QStringLiteral("ADMIN"), QString()), 0);
    const QString zhuk = QString::fromUtf16(u"\u0416\u0443\u043A");

    CallStatus status;
    ModuleRecord module;
    module.ModuleName = zhuk;
    module.DirectoryPrefix = QStringLiteral("ZHU");
    EXPECT_EQ(library.InsertModule(module, status), 0);
    const QString reason = QStringLiteral("the module name \"%1\" cannot be represented in the code page WINDOWS-1252 "
                                          "(it has no \"%2\")")
                               .arg(zhuk, zhuk.left(1));
    EXPECT_EQ(library.LastError(), reason);
    EXPECT_EQ(status.StatusText1.trimmed(), reason.left(128));

    // The look-up that finds a module to clear takes the same rule: refused,
    // and nothing found, rather than the name looked up as it is.
    std::vector<ModuleRecord> found(1);
    found[0].ModuleName = zhuk;
    EXPECT_EQ(library.GetModules(found, status), 0);
    EXPECT_TRUE(found.empty());
    CodingSystemRecord system;
    system.CodingSystemName = zhuk;
    EXPECT_EQ(library.GetCodingSystem(system, status), 0);
    EXPECT_TRUE(library.LastError().startsWith(QStringLiteral("the coding system name")))
        << library.LastError().toStdString();
    std::vector<CodingSystemRecord> systems(1);
    systems[0].CodingSystemName = zhuk;
    EXPECT_EQ(library.GetCodingSystems(systems, status), 0);
    EXPECT_TRUE(systems.empty());

    // Nothing was stored, and the next call clears the reason.
    std::vector<ModuleRecord> all(1);
    EXPECT_NE(library.GetModules(all, status), 0);
    EXPECT_TRUE(all.empty());
    EXPECT_EQ(library.LastError(), QString());
    library.EndVelk();
}

TEST(RealLibrary, AStopRequestEndsTheUnitAtItsNextCall)
{
    if (!libraryBuilt())
        GTEST_SKIP() << "the data-access library has not been built";
    ASSERT_TRUE(Interruption::install());
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("stop.mdb"));
    KovadelLibrary library(QStringLiteral(KOVADEL_LIBRARY_PATH));
    ASSERT_NE(library.StartVelk(path, QStringLiteral("ADMIN"), QString()), 0);

    CallStatus status;
    ModuleRecord module;
    module.ModuleName = QStringLiteral("ADULT");
    module.DirectoryPrefix = QStringLiteral("ADU");
    {
        UnitOfWork unit(library);
        ASSERT_TRUE(unit.begin());
        ASSERT_NE(library.InsertModule(module, status), 0);
        ASSERT_EQ(::raise(SIGTERM), 0); // recorded, not fatal
        EXPECT_EQ(Interruption::signal(), SIGTERM);
        EXPECT_THROW(library.InsertModule(module, status), InterruptedError);
        EXPECT_THROW(unit.commit(), InterruptedError);
        EXPECT_TRUE(unit.isOpen()) << "a commit that was refused leaves the unit to be rolled back";
    } // rolled back here, although the stop is still asked for

    // Outside a unit the calls go on; a new unit is refused.
    std::vector<ModuleRecord> all(1);
    EXPECT_NE(library.GetModules(all, status), 0);
    EXPECT_TRUE(all.empty()) << "the module was rolled back";
    UnitOfWork another(library);
    EXPECT_THROW(another.begin(), InterruptedError);
    library.EndVelk();
    Interruption::reset();
    EXPECT_FALSE(Interruption::requested());
}

// The three reads through the binding: topics of a module, one code, and a
// search that pages with the last code it got; the pattern goes out in the
// code page and its small letters find capitals.
TEST(RealLibrary, ReadsOfTopicsAndCodes)
{
    const QString libraryPath = QStringLiteral(KOVADEL_LIBRARY_PATH);
    if (!QFileInfo::exists(libraryPath))
        GTEST_SKIP() << "the data-access library has not been built";

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    KovadelLibrary library(libraryPath);
    ASSERT_NE(library.StartVelk(dir.filePath(QStringLiteral("reads.db")), QStringLiteral("ADMIN"), QString()), 0)
        << library.LastError().toStdString();
    CallStatus status;
    ASSERT_NE(
        library.ExecuteQuery(QStringLiteral("INSERT INTO codingsystems (CodingSystemName) VALUES ('ICD')"), status), 0);
    CodingSystemRecord system;
    system.CodingSystemName = QStringLiteral("ICD");
    ASSERT_NE(library.GetCodingSystem(system, status), 0);

    const char16_t* codes[][2] = { { u"B20", u"HIV disease" }, { u"A01", u"Typhoid fever" },
        { u"C50", u"\u00C9ryth\u00E8me fever" }, { u"A02", u"Salmonella" } };
    for (const auto& c : codes) {
        CodeRecord code;
        code.Code = QString::fromUtf16(c[0]);
        code.CodingSystemID = system.CodingSystemID;
        code.Description = QString::fromUtf16(c[1]);
        code.PatEdDocument = QStringLiteral("htm\\code.htm");
        ASSERT_NE(library.InsertCode(code, status), 0) << library.LastError().toStdString();
    }

    CodeRecord one;
    one.Code = QStringLiteral("A02");
    one.CodingSystemID = system.CodingSystemID;
    ASSERT_EQ(library.GetCode(one, status), 1) << library.LastError().toStdString();
    EXPECT_EQ(one.Description.trimmed(), QStringLiteral("Salmonella"));
    EXPECT_EQ(one.PatEdDocument.trimmed(), QStringLiteral("htm\\code.htm"));
    one.Code = QStringLiteral("A03");
    EXPECT_EQ(library.GetCode(one, status), 0);

    struct Case {
        const char16_t* pattern;
        QStringList codes; // in code order, paged two at a time
    };
    const Case cases[] = {
        { u"", { QStringLiteral("A01"), QStringLiteral("A02"), QStringLiteral("B20"), QStringLiteral("C50") } },
        { u"a0", { QStringLiteral("A01"), QStringLiteral("A02") } },
        { u"FEVER", { QStringLiteral("A01"), QStringLiteral("C50") } },
        { u"\u00E9ryth", { QStringLiteral("C50") } },
    };
    for (const Case& c : cases) {
        QStringList found;
        std::vector<CodeRecord> page(1);
        page[0].CodingSystemID = system.CodingSystemID;
        for (int pages = 0; pages < 10; ++pages) {
            ASSERT_EQ(library.SearchCodes(page, QString::fromUtf16(c.pattern), 2, status), 1)
                << library.LastError().toStdString();
            ASSERT_LE(page.size(), 2u);
            for (const CodeRecord& r : page)
                found.append(r.Code.trimmed());
            if (page.empty())
                break;
            // The last code received is the next call's cursor.
            const CodeRecord last = page.back();
            page.assign(1, last);
        }
        EXPECT_EQ(found, c.codes) << QString::fromUtf16(c.pattern).toStdString();
    }

    ModuleRecord module;
    module.ModuleName = QStringLiteral("Adult");
    module.DirectoryPrefix = QStringLiteral("ADU");
    ASSERT_NE(library.InsertModule(module, status), 0);
    ASSERT_NE(library.GetModule(module, status), 0);
    for (const char* description : { "Asthma", "Bronchitis" }) {
        TopicRecord topic;
        topic.ModuleID = module.ModuleID;
        topic.PatEdDocument = QStringLiteral("htm\\t.htm");
        topic.Description = QString::fromLatin1(description);
        ASSERT_NE(library.InsertTopic(topic, status), 0);
    }
    std::vector<TopicRecord> topics(1);
    topics[0].ModuleID = module.ModuleID;
    ASSERT_EQ(library.GetTopics(topics, status), 1) << library.LastError().toStdString();
    ASSERT_EQ(topics.size(), 2u);
    EXPECT_LT(topics[0].TopicID, topics[1].TopicID);
    EXPECT_EQ(topics[0].Description.trimmed(), QStringLiteral("Asthma"));
    EXPECT_EQ(topics[1].ModuleID, module.ModuleID);
    library.EndVelk();
}
