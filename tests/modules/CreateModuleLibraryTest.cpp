// Creating modules against a real database through the real library; rows are
// read back with a separate sqlite3 connection.
#include "modules/CreateModule.h"

#include "support/SqliteTextReader.h"
#include "support/HandlerHarness.h"
#include "store/KovadelLibrary.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

class CreateModuleLibraryTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        const QString dbPath = m_dir.filePath(QStringLiteral("velk.mdb"));
        ASSERT_NE(m_store.StartVelk(dbPath, QStringLiteral("ADMIN"), QString()), 0)
            << m_store.LastError().toStdString();
        m_raw = std::make_unique<SqliteTextReader>(dbPath);
        ASSERT_TRUE(m_raw->error().isEmpty()) << m_raw->error().toStdString();
        m_vars.RunMode = QStringLiteral("interactive");
    }
    void TearDown() override
    {
        m_raw.reset();
        m_store.EndVelk();
    }
    QString messages() const { return m_ui.messages.join(u'\n'); }

    QTemporaryDir m_dir;
    KovadelLibrary m_store { QStringLiteral(KOVADEL_LIBRARY_PATH) };
    RecordingShell m_ui;
    MainVariables m_vars;
    PatEdContext m_ctx { m_vars, m_ui, m_store };
    std::unique_ptr<SqliteTextReader> m_raw;
};

TEST_F(CreateModuleLibraryTest, StoresTheModulesAndListsThem)
{
    const QString name60 = QStringLiteral("Patient education for adults with long-term conditions 12345");
    ASSERT_EQ(name60.size(), 60);
    ASSERT_TRUE(CreateModule_Click(m_ctx, name60, QStringLiteral("ADLT"))) << messages().toStdString();
    ASSERT_TRUE(CreateModule_Click(m_ctx, QStringLiteral("Women's Health"), QStringLiteral("WH")))
        << messages().toStdString();

    EXPECT_EQ(
        m_raw->rows(QStringLiteral("SELECT rtrim(ModuleName), rtrim(DirectoryPrefix) FROM modules ORDER BY ModuleID")),
        (QStringList { name60.left(50).trimmed() + QStringLiteral("|ADLT"), QStringLiteral("Women's Health|WH") }));
    EXPECT_EQ(m_ui.listItems(ListName::ModuleList),
        (QStringList { name60.left(50).trimmed(), QStringLiteral("Women's Health") }));
    EXPECT_EQ(m_ui.refreshes, 2);
}

TEST_F(CreateModuleLibraryTest, EmptyTextsStoreNothing)
{
    EXPECT_FALSE(CreateModule_Click(m_ctx, QStringLiteral("Pediatric"), QString()));
    EXPECT_EQ(m_raw->count(QStringLiteral("SELECT count(*) FROM modules")), 0);
    EXPECT_EQ(
        m_ui.messages, QStringList { QStringLiteral("You must supply both a module name and a directory prefix") });
}

} // namespace
