// Batch "code" runs of the executable on a real database, read back with an
// independent reader; every suite but the failure cases runs on both engines.
#include "support/BatchRunner.h"
#include "support/EngineDatabase.h"
#include "support/StoredRows.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct BatchCodes : ::testing::Test {
    virtual enginetest::EngineKind engineKind() const { return enginetest::EngineKind::sqlite; }
    QTemporaryDir dir;
    QString db;
    QString ex = QStringLiteral(VELK_SOURCE_DIR "/examples/");

    void SetUp() override
    {
        std::string database;
        ENGINE_DATABASE_OR_SKIP(engineKind(), dir.filePath(QStringLiteral("velk.db")).toStdString(), database);
        db = QString::fromStdString(database);
        // A database with one module, then the administrator's coding systems.
        const BatchResult seed = run(db + QStringLiteral(" topic create ADULT ADU ") + ex + QStringLiteral(" adult-index.txt"));
        ASSERT_EQ(seed.exitCode, 0) << qPrintable(seed.err);
        StoredRows admin(db.toStdString());
        ASSERT_TRUE(admin.exec("INSERT INTO codingsystems (CodingSystemName) VALUES ('ICD'), ('CPT')")) << admin.error();
    }

    void write(const QString& name, const QByteArray& bytes)
    {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    BatchResult run(const QString& line) { return runVelkindex(line.split(u' ')); }

    std::vector<std::string> codes(const char* system)
    {
        StoredRows reader(db.toStdString());
        return reader.rows(std::string("SELECT c.Code, c.CodeFlag, c.PatEdDocument, c.Description FROM codes c JOIN "
                                       "codingsystems s USING (CodingSystemID) WHERE s.CodingSystemName = '")
                           + system + "' ORDER BY c.CodeID");
    }

    std::vector<std::string> dump() { return StoredRows(db.toStdString()).dump(); }
};

struct BatchCodesOnEngines : enginetest::OnEveryEngine<BatchCodes> { };

TEST_P(BatchCodesOnEngines, CreateThenDescribeThenDelete)
{
    write(QStringLiteral("icd.txt"), "asthma.pdf, J45.20 J45.30\r\nflu.doc, J10\n");
    write(QStringLiteral("icd-desc.txt"), "\"J45.20\",\"Asthma, mild\"\r\n\"J10   \",\"Meniere's flu\"\r\n");
    BatchResult r = run(db + QStringLiteral(" code create ICD ") + dir.path() + QStringLiteral("/ icd.txt"));
    ASSERT_EQ(r.exitCode, 0) << qPrintable(r.err);
    EXPECT_EQ(codes("ICD"), (std::vector<std::string> {"J45.20|0|pdf\\asthma.htm|", "J45.30|0|pdf\\asthma.htm|",
                                                      "J10|0|doc\\flu.htm|"}));

    r = run(db + QStringLiteral(" code description ICD ") + dir.path() + QStringLiteral("/ icd-desc.txt"));
    ASSERT_EQ(r.exitCode, 0) << qPrintable(r.err);
    EXPECT_EQ(codes("ICD"), (std::vector<std::string> {"J45.20|0|pdf\\asthma.htm|Asthma, mild",
                                                      "J45.30|0|pdf\\asthma.htm|",
                                                      "J10|0|doc\\flu.htm|Meniere's flu"}));

    // A second create replaces the codes instead of adding to them.
    r = run(db + QStringLiteral(" code create ICD ") + dir.path() + QStringLiteral("/ icd.txt"));
    ASSERT_EQ(r.exitCode, 0) << qPrintable(r.err);
    EXPECT_EQ(codes("ICD").size(), 3u);

    r = run(db + QStringLiteral(" code delete ICD"));
    ASSERT_EQ(r.exitCode, 0) << qPrintable(r.err);
    EXPECT_TRUE(codes("ICD").empty());
    StoredRows reader(db.toStdString());
    EXPECT_EQ(reader.rows("SELECT CodingSystemName FROM codingsystems ORDER BY 1"),
              (std::vector<std::string> {"CPT", "ICD"}));
}

TEST_P(BatchCodesOnEngines, OtherLayoutAndOtherSystemsUntouched)
{
    ASSERT_EQ(run(db + QStringLiteral(" code create ICD ") + ex + QStringLiteral(" codes-icd.txt")).exitCode, 0);
    const auto icd = codes("ICD");
    ASSERT_FALSE(icd.empty());
    write(QStringLiteral("cpt.txt"), "inhaler.pdf, 89101\r\n");
    write(QStringLiteral("cpt-desc.txt"), "89101|Teaching visit: a parent's guide|\r\n");
    ASSERT_EQ(run(db + QStringLiteral(" code create CPT ") + dir.path() + QStringLiteral("/ cpt.txt")).exitCode, 0);
    ASSERT_EQ(run(db + QStringLiteral(" code description CPT ") + dir.path() + QStringLiteral("/ cpt-desc.txt")).exitCode,
              0);
    EXPECT_EQ(codes("CPT"), std::vector<std::string> {"89101|0|pdf\\inhaler.htm|Teaching visit: a parent's guide"});
    EXPECT_EQ(codes("ICD"), icd);
}

TEST_P(BatchCodesOnEngines, DeletingAnUnknownSystemSucceedsAndSaysNothingMatched)
{
    // Night scripts delete before they create: nothing to delete is no failure.
    ASSERT_EQ(run(db + QStringLiteral(" code create ICD ") + ex + QStringLiteral(" codes-icd.txt")).exitCode, 0);
    const auto before = dump();
    const BatchResult r = run(db + QStringLiteral(" code delete NDC"));
    EXPECT_EQ(r.exitCode, 0) << qPrintable(r.err);
    EXPECT_FALSE(r.crashed);
    EXPECT_EQ(r.out, QStringLiteral("code delete NDC: no codes deleted\n"));
    EXPECT_EQ(r.err, QStringLiteral("velkindex: No coding system named \"NDC\" is in the database; nothing was "
                                    "deleted.\n"));
    EXPECT_EQ(dump(), before);
}

struct FailureCase {
    const char* name;
    const char* args; // %DB%, %EX% replaced
    const char* stderrPart;
};

class BatchCodeFailures : public BatchCodes, public ::testing::WithParamInterface<FailureCase> { };

TEST_P(BatchCodeFailures, FailWithReasonAndChangeNothing)
{
    ASSERT_EQ(run(db + QStringLiteral(" code create ICD ") + ex + QStringLiteral(" codes-icd.txt")).exitCode, 0);
    const auto before = dump();
    QString args = QString::fromUtf8(GetParam().args);
    args.replace(QStringLiteral("%DB%"), db).replace(QStringLiteral("%EX%"), ex);
    const BatchResult r = run(args);
    EXPECT_EQ(r.exitCode, 1) << qPrintable(r.err);
    EXPECT_FALSE(r.crashed);
    EXPECT_TRUE(r.err.contains(QString::fromUtf8(GetParam().stderrPart))) << qPrintable(r.err);
    EXPECT_EQ(dump(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BatchCodeFailures,
    ::testing::Values(FailureCase {"MissingCodeFile", "%DB% code create ICD %EX% missing.txt", "missing.txt"},
                      FailureCase {"UnknownSystemCreate", "%DB% code create NDC %EX% codes-icd.txt", "NDC"},
                      FailureCase {"UnknownSystemDescription", "%DB% code description NDC %EX% descriptions-icd.txt",
                                   "NDC"},
                      FailureCase {"MissingDescriptionFile", "%DB% code description ICD %EX% missing.txt",
                                   "missing.txt"},
                      FailureCase {"NoNameToClear", "%DB% code delete", "No coding system name"},
                      FailureCase {"NoCodeFileNamed", "%DB% code create ICD", "named"}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

VELK_ON_EVERY_ENGINE(BatchCodesOnEngines);

} // namespace
