// The summary line, the stderr listing and the window's notice, compared as
// text.
#include "batch/RunSummary.h"

#include "support/PrintQString.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>

namespace {

const QString kPath = QStringLiteral("/data/in.txt");

void noteRange(NotedLines& lines, int64_t first, int64_t count)
{
    for (int64_t i = 0; i < count; ++i)
        lines.note(first + i);
}

QStringList numbered(const char* what, int64_t first, int64_t count)
{
    QStringList lines;
    for (int64_t i = 0; i < count; ++i)
        lines << QStringLiteral("velkindex: /data/in.txt: line %1: %2").arg(first + i).arg(QLatin1String(what));
    return lines;
}

struct GroupCase {
    int64_t number;
    const char* text;
};

class Grouped : public ::testing::TestWithParam<GroupCase> { };

TEST_P(Grouped, ThousandsSeparators) { EXPECT_EQ(groupedNumber(GetParam().number), QLatin1String(GetParam().text)); }

INSTANTIATE_TEST_SUITE_P(Numbers, Grouped,
    ::testing::Values(GroupCase { 0, "0" }, GroupCase { 7, "7" }, GroupCase { 999, "999" }, GroupCase { 1000, "1,000" },
        GroupCase { 14567, "14,567" }, GroupCase { 100000, "100,000" }, GroupCase { 1234567, "1,234,567" },
        GroupCase { -1234, "-1,234" }, GroupCase { -999, "-999" },
        GroupCase { std::numeric_limits<int64_t>::min(), "-9,223,372,036,854,775,808" }));

TEST(NotedLines, KeepsTheFirstTwentyAndCountsTheRest)
{
    NotedLines lines;
    EXPECT_TRUE(lines.empty());
    noteRange(lines, 1, 25);
    EXPECT_EQ(lines.total(), 25);
    EXPECT_EQ(lines.listed().size(), NotedLines::kListed);
    EXPECT_EQ(lines.listed().front(), 1);
    EXPECT_EQ(lines.listed().back(), 20);
    EXPECT_EQ(lines.unlisted(), 5);
}

// ---- Summary lines --------------------------------------------------------------------

TEST(Summary, TopicCreate)
{
    BuildCounts counts;
    counts.linesRead = 412;
    counts.topicsStored = 412;
    const RunReport report = topicCreateReport(QStringLiteral("ADULT"), kPath, counts);
    EXPECT_EQ(report.summary, QStringLiteral("topic create ADULT: 412 lines read, 412 topics stored, 0 lines skipped"));
    EXPECT_TRUE(report.listing.isEmpty());
}

TEST(Summary, TopicCreateOfOneLineAndOfNone)
{
    BuildCounts counts;
    counts.linesRead = 1;
    counts.topicsStored = 1;
    EXPECT_EQ(topicCreateReport(QStringLiteral("X"), kPath, counts).summary,
        QStringLiteral("topic create X: 1 line read, 1 topic stored, 0 lines skipped"));
    EXPECT_EQ(topicCreateReport(QStringLiteral("X"), kPath, BuildCounts()).summary,
        QStringLiteral("topic create X: 0 lines read, 0 topics stored, 0 lines skipped"));
}

TEST(Summary, TopicCreateWithTheFirstTopicCut)
{
    BuildCounts counts;
    counts.linesRead = 3;
    counts.topicsStored = 3;
    counts.cutDescriptions.note(1);
    counts.cutDocuments.note(1);
    const RunReport report = topicCreateReport(QStringLiteral("ADULT"), kPath, counts);
    EXPECT_EQ(report.summary,
        QStringLiteral("topic create ADULT: 3 lines read, 3 topics stored, 0 lines skipped, 1 description cut to "
                       "80 characters, 1 document name cut to 50 characters"));
    EXPECT_EQ(report.listing,
        QStringList({ QStringLiteral("velkindex: /data/in.txt: line 1: description cut to 80 characters"),
            QStringLiteral("velkindex: /data/in.txt: line 1: document name cut to 50 characters") }));
}

TEST(Summary, TopicDelete)
{
    EXPECT_EQ(
        topicDeleteReport(QStringLiteral("ADULT"), 1).summary, QStringLiteral("topic delete ADULT: 1 module deleted"));
    EXPECT_EQ(
        topicDeleteReport(QStringLiteral("ADULT"), 2).summary, QStringLiteral("topic delete ADULT: 2 modules deleted"));
    EXPECT_TRUE(topicDeleteReport(QStringLiteral("ADULT"), 1).listing.isEmpty());
    // Nothing matched: still a summary, and one notice that says so.
    const RunReport none = topicDeleteReport(QStringLiteral("NOPE"), 0);
    EXPECT_EQ(none.summary, QStringLiteral("topic delete NOPE: 0 modules deleted"));
    EXPECT_EQ(none.listing,
        QStringList({ QStringLiteral("velkindex: No module named \"NOPE\" is in the database; nothing was deleted.") }));
}

TEST(Summary, CodeCreate)
{
    LoadCounts counts;
    counts.linesRead = 1200;
    counts.codesStored = 3400;
    counts.blankLines.note(4);
    counts.blankLines.note(1200);
    const RunReport report = codeCreateReport(QStringLiteral("ICD"), kPath, counts);
    EXPECT_EQ(report.summary,
        QStringLiteral("code create ICD: 1,200 lines read, 3,400 codes stored, 2 lines skipped (blank)"));
    EXPECT_EQ(report.listing,
        QStringList({ QStringLiteral("velkindex: /data/in.txt: line 4: skipped (blank)"),
            QStringLiteral("velkindex: /data/in.txt: line 1200: skipped (blank)") }));
}

TEST(Summary, CodeCreateCleanAndWithCuts)
{
    LoadCounts counts;
    counts.linesRead = 3;
    counts.codesStored = 1;
    EXPECT_EQ(codeCreateReport(QStringLiteral("CPT"), kPath, counts).summary,
        QStringLiteral("code create CPT: 3 lines read, 1 code stored, 0 lines skipped"));

    counts.cutCodes.note(2);
    counts.cutCodes.note(2);
    counts.cutDocuments.note(3);
    const RunReport report = codeCreateReport(QStringLiteral("CPT"), kPath, counts);
    EXPECT_EQ(report.summary,
        QStringLiteral("code create CPT: 3 lines read, 1 code stored, 0 lines skipped, 2 codes cut to "
                       "50 characters, 1 document name cut to 50 characters"));
    EXPECT_EQ(report.listing,
        QStringList({ QStringLiteral("velkindex: /data/in.txt: line 2: code cut to 50 characters"),
            QStringLiteral("velkindex: /data/in.txt: line 2: code cut to 50 characters"),
            QStringLiteral("velkindex: /data/in.txt: line 3: document name cut to 50 characters") }));
}

struct ExportSummaryCase {
    RunReport report;
    const char* summary;
};

class ExportSummary : public ::testing::TestWithParam<ExportSummaryCase> { };

TEST_P(ExportSummary, CountsWhatWasWritten)
{
    EXPECT_EQ(GetParam().report.summary, QString::fromUtf8(GetParam().summary));
    EXPECT_TRUE(GetParam().report.listing.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Cases, ExportSummary,
    ::testing::Values(ExportSummaryCase { topicExportReport(QStringLiteral("ADULT"), kPath, 4120),
                          "topic export ADULT: 4,120 topics written to /data/in.txt" },
        ExportSummaryCase { topicExportReport(QStringLiteral("EMPTY"), kPath, 0),
            "topic export EMPTY: 0 topics written to /data/in.txt" },
        ExportSummaryCase { codeExportReport(QStringLiteral("ICD"), kPath, 75000, 12001),
            "code export ICD: 75,000 codes written to /data/in.txt in 12,001 lines" },
        ExportSummaryCase { codeExportReport(QStringLiteral("CPT"), kPath, 1, 1),
            "code export CPT: 1 code written to /data/in.txt in 1 line" },
        ExportSummaryCase { descriptionExportReport(QStringLiteral("ICD"), kPath, 1),
            "code export-descriptions ICD: 1 description written to /data/in.txt" }));

TEST(Summary, CodeDelete)
{
    const RunReport report = codeDeleteReport(QStringLiteral("ICD"), 1);
    EXPECT_EQ(report.summary, QStringLiteral("code delete ICD: codes deleted"));
    EXPECT_TRUE(report.listing.isEmpty());
    const RunReport none = codeDeleteReport(QStringLiteral("NOPE"), 0);
    EXPECT_EQ(none.summary, QStringLiteral("code delete NOPE: no codes deleted"));
    EXPECT_EQ(none.listing,
        QStringList({ QStringLiteral(
            "velkindex: No coding system named \"NOPE\" is in the database; nothing was deleted.") }));
}

TEST(Summary, CodeDescriptionWithBothListsCapped)
{
    LoadCounts counts;
    counts.linesRead = 14567;
    counts.codesStored = 14560;
    noteRange(counts.shortLines, 100, 7);
    noteRange(counts.cutDescriptions, 1, 1476);
    const RunReport report = codeDescriptionReport(QStringLiteral("ICD"), kPath, counts);
    EXPECT_EQ(report.summary,
        QStringLiteral("code description ICD: 14,567 lines read, 14,560 codes described, 7 lines "
                       "skipped (too short), 1,476 descriptions cut to 100 characters"));
    QStringList expected = numbered("skipped (too short)", 100, 7);
    expected << numbered("description cut to 100 characters", 1, 20);
    expected << QStringLiteral("velkindex: /data/in.txt: and 1,456 more descriptions cut to 100 characters");
    EXPECT_EQ(report.listing, expected);
}

TEST(Summary, CodeDescriptionBlankAndShortAreTwoKinds)
{
    LoadCounts counts;
    counts.linesRead = 10;
    counts.codesStored = 7;
    counts.blankLines.note(10);
    counts.shortLines.note(2);
    counts.shortLines.note(5);
    const RunReport report = codeDescriptionReport(QStringLiteral("CPT"), kPath, counts);
    EXPECT_EQ(report.summary,
        QStringLiteral("code description CPT: 10 lines read, 7 codes described, 1 line skipped (blank), "
                       "2 lines skipped (too short)"));
    EXPECT_EQ(report.listing,
        QStringList({ QStringLiteral("velkindex: /data/in.txt: line 10: skipped (blank)"),
            QStringLiteral("velkindex: /data/in.txt: line 2: skipped (too short)"),
            QStringLiteral("velkindex: /data/in.txt: line 5: skipped (too short)") }));
}

struct CapCase {
    int64_t noted;
    const char* lastLine; // nullptr: no count line
};

class Capped : public ::testing::TestWithParam<CapCase> { };

TEST_P(Capped, TwentyNamedThenACount)
{
    LoadCounts counts;
    noteRange(counts.shortLines, 1, GetParam().noted);
    const QStringList listing = codeDescriptionReport(QStringLiteral("ICD"), kPath, counts).listing;
    QStringList expected = numbered("skipped (too short)", 1, std::min<int64_t>(GetParam().noted, 20));
    if (GetParam().lastLine)
        expected << QStringLiteral("velkindex: /data/in.txt: ") + QLatin1String(GetParam().lastLine);
    EXPECT_EQ(listing, expected);
}

INSTANTIATE_TEST_SUITE_P(Counts, Capped,
    ::testing::Values(CapCase { 19, nullptr }, CapCase { 20, nullptr },
        CapCase { 21, "and 1 more line skipped (too short)" }, CapCase { 25, "and 5 more lines skipped (too short)" },
        CapCase { 5020, "and 5,000 more lines skipped (too short)" }));

// ---- The window's notice ----------------------------------------------------------------

TEST(Notice, NothingSkippedOrCutShowsNothing)
{
    LoadCounts load;
    load.linesRead = 5;
    load.codesStored = 9;
    EXPECT_EQ(codeLoadNotice(kPath, load), QString());
    EXPECT_EQ(descriptionLoadNotice(kPath, load), QString());
    BuildCounts build;
    build.linesRead = 5;
    build.topicsStored = 5;
    EXPECT_EQ(buildNotice(kPath, build), QString());
}

TEST(Notice, SumsUpTheLoad)
{
    LoadCounts counts;
    counts.linesRead = 40;
    counts.codesStored = 36;
    counts.blankLines.note(4);
    noteRange(counts.shortLines, 10, 23);
    counts.cutDescriptions.note(2);
    EXPECT_EQ(descriptionLoadNotice(kPath, counts),
        QStringLiteral("Loaded from /data/in.txt: 40 lines read, 36 codes described, 1 line skipped (blank), 23 "
                       "lines skipped (too short), 1 description cut to 100 characters.\n"
                       "Skipped (blank): line 4.\n"
                       "Skipped (too short): lines 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, "
                       "25, 26, 27, 28, 29 and 3 more.\n"
                       "Description cut to 100 characters: line 2."));

    LoadCounts codes;
    codes.linesRead = 3;
    codes.codesStored = 2;
    codes.blankLines.note(2);
    EXPECT_EQ(codeLoadNotice(QStringLiteral("C:/codes.txt"), codes),
        QStringLiteral("Loaded from C:/codes.txt: 3 lines read, 2 codes stored, 1 line skipped (blank).\n"
                       "Skipped (blank): line 2."));

    BuildCounts build;
    build.linesRead = 2;
    build.topicsStored = 2;
    build.cutDescriptions.note(1);
    EXPECT_EQ(buildNotice(kPath, build),
        QStringLiteral("Loaded from /data/in.txt: 2 lines read, 2 topics stored, 0 lines skipped, 1 description "
                       "cut to 80 characters.\nDescription cut to 80 characters: line 1."));
}

// ---- Writing --------------------------------------------------------------------------

std::string contents(FILE* file)
{
    std::rewind(file);
    std::string text;
    char buffer[256];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        text.append(buffer, got);
    return text;
}

TEST(Write, ListingToErrSummaryToOut)
{
    FILE* out = std::tmpfile();
    FILE* err = std::tmpfile();
    ASSERT_TRUE(out && err);
    RunReport report;
    report.summary
        = QString::fromUtf16(u"topic create M\u00C9NI\u00C8RE: 1 line read, 1 topic stored, 0 lines skipped");
    report.listing << QStringLiteral("velkindex: a: line 1: x") << QStringLiteral("velkindex: a: line 2: x");
    writeRunReport(report, out, err);
    EXPECT_EQ(contents(out), QString(report.summary + u'\n').toLocal8Bit().toStdString());
    EXPECT_EQ(contents(err), "velkindex: a: line 1: x\nvelkindex: a: line 2: x\n");

    // An empty report writes nothing at all (the window's run).
    FILE* out2 = std::tmpfile();
    FILE* err2 = std::tmpfile();
    writeRunReport(RunReport(), out2, err2);
    EXPECT_EQ(contents(out2), "");
    EXPECT_EQ(contents(err2), "");
    for (FILE* f : { out, err, out2, err2 })
        std::fclose(f);
}

} // namespace
