// --help and --version: the choice made from the first token, the texts, and
// the program answering them without a database and without a display.
#include "batch/CommandLine.h"
#include "support/BatchRunner.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

struct InfoCase {
    const char* line;
    InfoRequest request;
};

class InfoRequestTest : public ::testing::TestWithParam<InfoCase> { };

TEST_P(InfoRequestTest, FirstTokenDecides)
{
    const InfoCase& c = GetParam();
    EXPECT_EQ(planCommandLine(QString::fromUtf8(c.line)).info, c.request) << c.line;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InfoRequestTest,
    ::testing::Values(InfoCase {"--help", InfoRequest::Help}, InfoCase {"--version", InfoRequest::Version},
                      // Spaces before the first token are skipped, as for every token.
                      InfoCase {"   --help", InfoRequest::Help},
                      // Only the first token counts; the rest is ignored.
                      InfoCase {"--version topic create ADULT", InfoRequest::Version},
                      InfoCase {"--help --version", InfoRequest::Help},
                      // Anywhere else, or spelt otherwise, it is a database path or a word of the action.
                      InfoCase {"library.db --help", InfoRequest::None},
                      InfoCase {"library.db topic create --version", InfoRequest::None},
                      InfoCase {"--HELP", InfoRequest::None}, InfoCase {"-h", InfoRequest::None},
                      InfoCase {"-help", InfoRequest::None}, InfoCase {"--helpful.db", InfoRequest::None},
                      InfoCase {"--versions", InfoRequest::None}, InfoCase {"", InfoRequest::None}));

// The batch forms of the README's table, e.g. "velkindex DB code delete NAME".
QStringList readmeBatchForms()
{
    QFile readme(QStringLiteral(VELK_SOURCE_DIR "/README.md"));
    if (!readme.open(QIODevice::ReadOnly))
        return {};
    const QString text = QString::fromUtf8(readme.readAll());
    static const QRegularExpression row(QStringLiteral("^\\| `(velkindex DB [^`]+)` \\|"),
                                        QRegularExpression::MultilineOption);
    QStringList forms;
    for (auto it = row.globalMatch(text); it.hasNext();)
        forms << it.next().captured(1);
    return forms;
}

TEST(UsageText, ShowsEveryBatchFormOfTheReadme)
{
    const QStringList forms = readmeBatchForms();
    ASSERT_EQ(forms.size(), 8) << "the README's table of batch forms was not found";
    const QString usage = usageText();
    for (const QString& form : forms)
        EXPECT_TRUE(usage.contains(form)) << "missing from --help: " << qPrintable(form);
}

TEST(UsageText, ShowsGrammarExitStatusesAndEnvironment)
{
    const QString usage = usageText();
    EXPECT_TRUE(usage.startsWith(QStringLiteral("Usage: velkindex [DATABASE [MODE VERB NAME ARGUMENTS...]]\n")));
    for (const char* word : {"--help", "--version", "Exit status: 0", "1 the batch action failed", "2 the program",
                             "VELKINDEX_CODEPAGE", "VELKINDEX_BUSY_TIMEOUT_MS", "default 5000", "velkindex(1)"})
        EXPECT_TRUE(usage.contains(QLatin1String(word))) << word;
    EXPECT_TRUE(usage.endsWith(u'\n'));
}

TEST(VersionText, IsTheProjectVersion)
{
    EXPECT_EQ(versionText(), QStringLiteral("velkindex " VELK_EXPECTED_VERSION "\n"));
}

struct ProgramCase {
    const char* name;
    QStringList args;
    bool help;
};

class InfoRunTest : public ::testing::TestWithParam<ProgramCase> { };

// The program prints the text on stdout and ends with 0, creates no file
// (the token is not taken for a database), and never touches a display:
// one that names an X server nobody runs must not matter. The window program
// started directly answers as velkindex does.
TEST_P(InfoRunTest, AnswersWithoutDatabaseOrDisplay)
{
    const ProgramCase& c = GetParam();
    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());

    const QList<QProcessEnvironment> environments = [] {
        QProcessEnvironment noDisplay = headlessEnvironment();
        QProcessEnvironment deadDisplay = headlessEnvironment();
        deadDisplay.insert(QStringLiteral("DISPLAY"), QStringLiteral(":97"));
        deadDisplay.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        return QList<QProcessEnvironment> {noDisplay, deadDisplay};
    }();
    QList<std::pair<QString, QProcessEnvironment>> runs;
    for (const char* program : {VELKINDEX_EXECUTABLE, VELKINDEX_WINDOW_EXECUTABLE})
        for (const QProcessEnvironment& env : environments)
            runs.append({QString::fromUtf8(program), env});
    for (const auto& [program, env] : runs) {
        SCOPED_TRACE(program.toStdString());
        QProcess process;
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(work.path());
        process.setStandardInputFile(QProcess::nullDevice());
        process.start(program, c.args);
        ASSERT_TRUE(process.waitForStarted(10000)) << qPrintable(process.errorString());
        ASSERT_TRUE(process.waitForFinished(60000));
        const QString out = QString::fromLocal8Bit(process.readAllStandardOutput());
        const QString err = QString::fromLocal8Bit(process.readAllStandardError());
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 0) << qPrintable(err);
        EXPECT_EQ(out, c.help ? usageText() : versionText());
        EXPECT_TRUE(err.isEmpty()) << qPrintable(err);
        EXPECT_TRUE(QDir(work.path()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden))
            << "a file was created in " << qPrintable(work.path());
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, InfoRunTest,
                         ::testing::Values(ProgramCase {"Help", {QStringLiteral("--help")}, true},
                                           ProgramCase {"Version", {QStringLiteral("--version")}, false},
                                           ProgramCase {"VersionWithMore",
                                                        {QStringLiteral("--version"), QStringLiteral("library.db"),
                                                         QStringLiteral("topic"), QStringLiteral("delete"),
                                                         QStringLiteral("ADULT")},
                                                        false}),
                         [](const ::testing::TestParamInfo<ProgramCase>& info) { return std::string(info.param.name); });

// Any other first token is still the database: a batch run on a path that
// looks like an option opens that database, finds no such module there (a
// notice, status 0) and, having stored nothing, leaves no database behind.
TEST(InfoRun, OtherOptionLikeTokenIsTheDatabase)
{
    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());
    const QString db = work.filePath(QStringLiteral("--helpful.db"));
    const BatchResult result
        = runVelkindex({db, QStringLiteral("topic"), QStringLiteral("delete"), QStringLiteral("NOSUCH")});
    EXPECT_FALSE(result.crashed);
    EXPECT_EQ(result.exitCode, 0) << qPrintable(result.err);
    EXPECT_TRUE(result.err.contains(QStringLiteral("No module named \"NOSUCH\""))) << qPrintable(result.err);
    EXPECT_FALSE(QFile::exists(db));
}

} // namespace
