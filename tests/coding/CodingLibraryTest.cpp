// The coding-system handlers and module creation against a real database,
// through the real data-access library. Rows are read back with a separate
// sqlite3 connection.
#include "coding/CmdClear.h"
#include "coding/CmdLoad.h"
#include "coding/LoadCodingDescription.h"
#include "modules/CreateModule.h"

#include "support/SqliteTextReader.h"
#include "support/HandlerHarness.h"
#include "store/KovadelLibrary.h"
#include "store/UnitOfWork.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>

namespace {

const QString kExamples = QStringLiteral(VELK_SOURCE_DIR "/examples/");

class CodingLibraryTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_dbPath = m_dir.filePath(QStringLiteral("velk.mdb"));
        ASSERT_NE(m_store.StartVelk(m_dbPath, QStringLiteral("ADMIN"), QString()), 0)
            << m_store.LastError().toStdString();
        m_raw = std::make_unique<SqliteTextReader>(m_dbPath);
        ASSERT_TRUE(m_raw->error().isEmpty()) << m_raw->error().toStdString();
        ASSERT_TRUE(m_raw->exec(QStringLiteral("INSERT INTO codingsystems(CodingSystemName) VALUES('ICD');"
                                               "INSERT INTO codingsystems(CodingSystemName) VALUES('CPT');")))
            << m_raw->error().toStdString();
        m_icd = m_raw->count(QStringLiteral("SELECT CodingSystemID FROM codingsystems WHERE CodingSystemName='ICD'"));
        m_cpt = m_raw->count(QStringLiteral("SELECT CodingSystemID FROM codingsystems WHERE CodingSystemName='CPT'"));
        m_ui.fillList(ListName::CodeList, { QStringLiteral("ICD"), QStringLiteral("CPT") });
        m_vars.RunMode = QStringLiteral("interactive");
    }
    void TearDown() override
    {
        m_raw.reset();
        m_store.EndVelk();
    }

    // Interactive load of an example file into the selected system.
    bool loadCodes(const QString& system, const QString& path, LoadCounts* counts = nullptr)
    {
        m_ui.setListText(ListName::CodeList, system);
        m_ui.dialog.nextAnswer = path;
        return CmdLoad_Click(m_ctx, counts);
    }
    bool loadDescriptions(const QString& system, const QString& path, LoadCounts* counts = nullptr)
    {
        m_ui.setListText(ListName::CodeList, system);
        m_ui.dialog.nextAnswer = path;
        return LoadCodeDescription_Click(m_ctx, counts);
    }
    int codesOf(int systemId)
    {
        return m_raw->count(QStringLiteral("SELECT count(*) FROM codes WHERE CodingSystemID=%1").arg(systemId));
    }
    QString messages() const { return m_ui.messages.join(u'\n'); }

    QTemporaryDir m_dir;
    QString m_dbPath;
    KovadelLibrary m_store { QStringLiteral(KOVADEL_LIBRARY_PATH) };
    RecordingShell m_ui;
    MainVariables m_vars;
    PatEdContext m_ctx { m_vars, m_ui, m_store };
    std::unique_ptr<SqliteTextReader> m_raw;
    int m_icd = 0;
    int m_cpt = 0;
};

TEST_F(CodingLibraryTest, LoadsTheExampleCodesAndDescriptions)
{
    LoadCounts counts;
    ASSERT_TRUE(loadCodes(QStringLiteral("ICD"), kExamples + QStringLiteral("codes-icd.txt"), &counts))
        << messages().toStdString();
    EXPECT_EQ(counts.linesRead, 7);
    EXPECT_EQ(counts.codesStored, 18);
    ASSERT_TRUE(loadCodes(QStringLiteral("CPT"), kExamples + QStringLiteral("codes-cpt.txt")))
        << messages().toStdString();
    EXPECT_EQ(codesOf(m_icd), 18);
    EXPECT_EQ(codesOf(m_cpt), 12);

    // One row per code: the document in directory form, flag 0, no description yet.
    EXPECT_EQ(m_raw->rows(QStringLiteral("SELECT rtrim(Code), CodeFlag, rtrim(Description), rtrim(PatEdDocument) "
                                         "FROM codes WHERE CodingSystemID=%1 AND trim(Code) LIKE 'J45%' "
                                         "ORDER BY CodeID")
                              .arg(m_icd)),
        (QStringList { QStringLiteral("J45.20|0||doc\\asthma.htm"), QStringLiteral("J45.30|0||doc\\asthma.htm"),
            QStringLiteral("J45.40|0||doc\\asthma.htm"), QStringLiteral("J45.50|0||doc\\asthma.htm") }));
    EXPECT_EQ(m_raw->value(QStringLiteral("SELECT rtrim(PatEdDocument) FROM codes WHERE trim(Code)='89110'")),
        QStringLiteral("doc\\childfever.htm"));

    ASSERT_TRUE(loadDescriptions(QStringLiteral("ICD"), kExamples + QStringLiteral("descriptions-icd.txt"), &counts))
        << messages().toStdString();
    EXPECT_EQ(counts.codesStored, 18);
    ASSERT_TRUE(loadDescriptions(QStringLiteral("CPT"), kExamples + QStringLiteral("descriptions-cpt.txt")))
        << messages().toStdString();

    const std::map<QString, QString> expected {
        { QStringLiteral("H81.0"), QStringLiteral("Meniere's disease") }, // one apostrophe, as in the file
        { QStringLiteral("I10"), QStringLiteral("High blood pressure") },
        { QStringLiteral("J45.20"), QStringLiteral("Asthma, mild, with symptoms that come and go") },
        { QStringLiteral("89110"), QStringLiteral("Counselling: a parent's guide to fever in children") },
        { QStringLiteral("89101"), QStringLiteral("Teaching visit: using an asthma inhaler and spacer") },
    };
    for (const auto& [code, description] : expected)
        EXPECT_EQ(m_raw->value(QStringLiteral("SELECT rtrim(Description) FROM codes WHERE trim(Code)='%1'").arg(code)),
            description)
            << code.toStdString();
    EXPECT_EQ(m_raw->count(QStringLiteral("SELECT count(*) FROM codes WHERE rtrim(Description)=''")), 0);
    EXPECT_TRUE(m_ui.messages.isEmpty()) << messages().toStdString();
}

TEST_F(CodingLibraryTest, ClearingDeletesOnlyTheNamedSystemsCodes)
{
    ASSERT_TRUE(loadCodes(QStringLiteral("ICD"), kExamples + QStringLiteral("codes-icd.txt")))
        << messages().toStdString();
    ASSERT_TRUE(loadCodes(QStringLiteral("CPT"), kExamples + QStringLiteral("codes-cpt.txt")))
        << messages().toStdString();

    m_ui.setListText(ListName::CodeList, QStringLiteral("ICD"));
    int cleared = 0;
    ASSERT_TRUE(CmdClear_Click(m_ctx, &cleared)) << messages().toStdString();
    EXPECT_EQ(cleared, 1);
    EXPECT_EQ(codesOf(m_icd), 0);
    EXPECT_EQ(codesOf(m_cpt), 12);
    EXPECT_EQ(m_raw->count(QStringLiteral("SELECT count(*) FROM codingsystems")), 2); // the systems stay
    EXPECT_EQ(m_ui.listItems(ListName::CodeList), (QStringList { QStringLiteral("ICD"), QStringLiteral("CPT") }));

    // A second clear finds nothing to delete and still succeeds.
    m_ui.setListText(ListName::CodeList, QStringLiteral("ICD"));
    ASSERT_TRUE(CmdClear_Click(m_ctx)) << messages().toStdString();
    EXPECT_EQ(codesOf(m_cpt), 12);
}

TEST_F(CodingLibraryTest, AnUnknownOrBlankNameDeletesNothing)
{
    ASSERT_TRUE(loadCodes(QStringLiteral("ICD"), kExamples + QStringLiteral("codes-icd.txt")))
        << messages().toStdString();
    ASSERT_TRUE(loadCodes(QStringLiteral("CPT"), kExamples + QStringLiteral("codes-cpt.txt")))
        << messages().toStdString();

    m_ui.fillList(ListName::CodeList, { QStringLiteral("SNOMED") }, QStringLiteral("SNOMED"));
    int cleared = -1;
    ASSERT_TRUE(CmdClear_Click(m_ctx, &cleared)) << messages().toStdString();
    EXPECT_EQ(cleared, 0);
    EXPECT_EQ(m_ui.listItems(ListName::CodeList), (QStringList { QStringLiteral("ICD"), QStringLiteral("CPT") }));

    m_ui.fillList(ListName::CodeList, { QStringLiteral("ICD"), QString() }, QString());
    EXPECT_FALSE(CmdClear_Click(m_ctx));
    EXPECT_EQ(m_ui.messages.size(), 1);
    EXPECT_EQ(codesOf(m_icd), 18);
    EXPECT_EQ(codesOf(m_cpt), 12);
}

TEST_F(CodingLibraryTest, ACodeRefusedHalfWayLeavesTheCodesAsTheyWere)
{
    ASSERT_TRUE(loadCodes(QStringLiteral("ICD"), kExamples + QStringLiteral("codes-icd.txt")))
        << messages().toStdString();
    // The database itself refuses one code of the new file.
    ASSERT_TRUE(
        m_raw->exec(QStringLiteral("CREATE TRIGGER refuse_code BEFORE INSERT ON codes "
                                   "WHEN trim(NEW.Code) = 'BAD1' BEGIN SELECT RAISE(ABORT, 'code refused'); END")))
        << m_raw->error().toStdString();
    const QString path = m_dir.filePath(QStringLiteral("more-codes.txt"));
    ASSERT_TRUE(writeBytes(path, "extra.doc, X01 X02\r\nbad.doc, X03 BAD1 X04\r\n"));

    EXPECT_FALSE(loadCodes(QStringLiteral("ICD"), path));
    EXPECT_EQ(codesOf(m_icd), 18);
    EXPECT_EQ(m_raw->count(QStringLiteral("SELECT count(*) FROM codes WHERE trim(Code) LIKE 'X0%'")), 0);
    ASSERT_EQ(m_ui.messages.size(), 1);
    // Codes are stored in batches as the unit goes; the refused one is named
    // when its batch is written, here at the commit.
    EXPECT_TRUE(m_ui.messages[0].startsWith(QStringLiteral("The codes of ") + path
        + QStringLiteral(" could not be stored: code refused (storing the code \"BAD1\"). Nothing from this file "
                         "was stored")))
        << messages().toStdString();

    // The database is usable again afterwards.
    m_ui.messages.clear();
    ASSERT_TRUE(loadCodes(QStringLiteral("CPT"), kExamples + QStringLiteral("codes-cpt.txt")))
        << messages().toStdString();
    EXPECT_EQ(codesOf(m_cpt), 12);
}

TEST_F(CodingLibraryTest, ABatchCreateWhoseFileIsMissingKeepsTheOldCodes)
{
    ASSERT_TRUE(loadCodes(QStringLiteral("ICD"), kExamples + QStringLiteral("codes-icd.txt")))
        << messages().toStdString();

    // As the start-up runs "code create ICD DIR FILE": one outer unit around
    // the clear and the load.
    m_vars.RunMode = QStringLiteral("code");
    m_vars.RunAction = QStringLiteral("create"); // a batch action runs
    m_vars.BatchFileDir = m_dir.path() + u'/';
    m_vars.BatchFileName = QStringLiteral("missing-codes.txt");
    bool ok = false;
    {
        UnitOfWork outer(m_store);
        ASSERT_TRUE(outer.begin()) << outer.error().toStdString();
        m_ui.setListText(ListName::CodeList, QStringLiteral("ICD"));
        ok = CmdClear_Click(m_ctx);
        EXPECT_TRUE(ok) << messages().toStdString();
        m_ui.addListItem(ListName::CodeList, QStringLiteral("ICD"));
        m_ui.setListText(ListName::CodeList, QStringLiteral("ICD"));
        ok = ok && CmdLoad_Click(m_ctx);
        if (ok)
            outer.commit();
    }
    EXPECT_FALSE(ok);
    EXPECT_EQ(codesOf(m_icd), 18);
    ASSERT_EQ(m_ui.messages.size(), 1);
    EXPECT_TRUE(m_ui.messages[0].contains(QStringLiteral("missing-codes.txt"))) << messages().toStdString();
}

TEST_F(CodingLibraryTest, AnUnknownCodingSystemStoresNothing)
{
    m_ui.addListItem(ListName::CodeList, QStringLiteral("SNOMED"));
    EXPECT_FALSE(loadCodes(QStringLiteral("SNOMED"), kExamples + QStringLiteral("codes-icd.txt")));
    EXPECT_EQ(m_raw->count(QStringLiteral("SELECT count(*) FROM codes")), 0);
    ASSERT_EQ(m_ui.messages.size(), 1);
    EXPECT_TRUE(m_ui.messages[0].contains(QStringLiteral("\"SNOMED\" is not in the database")))
        << messages().toStdString();
}

TEST_F(CodingLibraryTest, ALongDescriptionIsCutTo100Characters)
{
    ASSERT_TRUE(loadCodes(QStringLiteral("CPT"), kExamples + QStringLiteral("codes-cpt.txt")))
        << messages().toStdString();
    QString description;
    for (int i = 0; i < 12; ++i)
        description += QStringLiteral("Parent's  "); // 120 characters
    const QString path = m_dir.filePath(QStringLiteral("long.txt"));
    ASSERT_TRUE(writeBytes(path, (QStringLiteral("89101|") + description + QStringLiteral("|\r\n")).toLatin1()));
    ASSERT_TRUE(loadDescriptions(QStringLiteral("CPT"), path)) << messages().toStdString();
    EXPECT_EQ(m_raw->value(QStringLiteral("SELECT rtrim(Description) FROM codes WHERE trim(Code)='89101'")),
        description.left(100).trimmed());
}

} // namespace
