// Writing codes back out, without a database: document words, code file lines
// gathered by document, and description lines read back by the loader.
#include "coding/CodeExport.h"

#include "support/HandlerHarness.h"
#include "support/PrintQString.h"

#include <gtest/gtest.h>

#include <QDir>

#include <vector>

namespace {

struct WordCase {
    const char* name;
    QString path;
    bool ok;
    QString word;
};

class DocumentWordForPath : public testing::TestWithParam<WordCase> { };

TEST_P(DocumentWordForPath, GivesThePathBackThroughTheLoader)
{
    QString word;
    ASSERT_EQ(documentWordForPath(GetParam().path, word), GetParam().ok);
    if (!GetParam().ok)
        return;
    EXPECT_EQ(word, GetParam().word);
    EXPECT_EQ(codeDocumentPath(word), GetParam().path);
}

INSTANTIATE_TEST_SUITE_P(Cases, DocumentWordForPath,
    testing::Values(WordCase { "Plain", "pdf\\asthma.htm", true, "asthma.pdf," },
        WordCase { "NoPoint", "htm", true, "," }, WordCase { "NoSuffix", "\\abc.htm", true, "abc.," },
        WordCase { "PointInSuffix", "x.htm", true, "x.x.htm," },
        WordCase { "SpaceCannotBeInAWord", "pdf \\asthma.htm", false, "" }, WordCase { "Blank", "", false, "" },
        WordCase { "NotHtm", "pdf\\asthma.pdf", false, "" }),
    [](const auto& info) { return std::string(info.param.name); });

CodeRecord code(const QString& text, const QString& document, const QString& description = QString())
{
    CodeRecord c;
    c.CodeID = 1;
    c.Code = text;
    c.CodingSystemID = 3;
    c.CodeFlag = 0;
    c.Description = description;
    c.PatEdDocument = document;
    return c;
}

struct LinesCase {
    const char* name;
    std::vector<CodeRecord> codes;
    std::vector<QString> lines; // the lines, or "!" + the problem of the last code
};

class CodeFileLines : public testing::TestWithParam<LinesCase> { };

TEST_P(CodeFileLines, GatherNeighboursOfOneDocument)
{
    CodeLines lines;
    std::vector<QString> got;
    bool failed = false;
    for (const CodeRecord& c : GetParam().codes) {
        QString finished;
        bool hasFinished = false;
        QString problem;
        if (!lines.add(c, finished, hasFinished, problem)) {
            got.push_back(u'!' + problem);
            failed = true;
            break;
        }
        if (hasFinished)
            got.push_back(finished);
    }
    if (QString last; !failed && lines.finish(last))
        got.push_back(last);
    EXPECT_EQ(got, GetParam().lines);

    // Each line read back by the loader gives its document and codes.
    for (const QString& line : got) {
        if (line.startsWith(u'!'))
            continue;
        CodeFileLine words;
        ASSERT_TRUE(splitCodeLine(line, words));
        EXPECT_FALSE(words.codes.isEmpty());
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, CodeFileLines,
    testing::Values(LinesCase { "None", {}, {} },
        LinesCase { "OneDocument", { code("J45.20", "pdf\\asthma.htm"), code("J45.30 ", "pdf\\asthma.htm") },
            { "asthma.pdf, J45.20 J45.30" } },
        LinesCase { "DocumentComesBack",
            { code("E10.9", "doc\\diabetes.htm"), code("E11.9", "doc\\diabetes.htm"), code("I10", "doc\\bp.htm"),
                code("I11.9", "doc\\diabetes.htm") },
            { "diabetes.doc, E10.9 E11.9", "bp.doc, I10", "diabetes.doc, I11.9" } },
        LinesCase { "SameCodeTwoDocuments", { code("A1", "pdf\\a.htm"), code("A1", "pdf\\b.htm") },
            { "a.pdf, A1", "b.pdf, A1" } },
        LinesCase { "CodePageCharacters",
            { code(QString::fromUtf16(u"\u00C9T\u00C9"), QString::fromUtf16(u"pdf\\caf\u00E9.htm")) },
            { QString::fromUtf16(u"caf\u00E9.pdf, \u00C9T\u00C9") } },
        LinesCase { "SpaceInCode", { code("A 1", "pdf\\a.htm") },
            { "!the code \"A 1\" cannot be written: the words of a code file line are separated by spaces" } },
        LinesCase { "DocumentNoWordGives", { code("A1", "pdf\\a.htm"), code("A2", "pdf\\a.pdf") },
            { "!the code \"A2\" cannot be written: no code file word gives its document name \"pdf\\a.pdf\"" } },
        LinesCase { "CodeNotInTheCodePage", { code(QString::fromUtf16(u"\u0416"), "pdf\\a.htm") },
            { QString::fromUtf16(
                u"!the code \"\u0416\" cannot be written in the code page WINDOWS-1252 (it has no \"\u0416\")") } },
        LinesCase { "DocumentNotInTheCodePage", { code("A1", QString::fromUtf16(u"pdf\\\u0416.htm")) },
            { QString::fromUtf16(
                u"!the code \"A1\" cannot be written in the code page WINDOWS-1252 (it has no \"\u0416\")") } }),
    [](const auto& info) { return std::string(info.param.name); });

struct DescriptionCase {
    const char* name;
    DescriptionLayout layout;
    QString code;
    QString description;
    QString line; // or "!" + the problem
};

class DescriptionLines : public testing::TestWithParam<DescriptionCase> { };

TEST_P(DescriptionLines, AreReadBackByTheLoader)
{
    const DescriptionCase& c = GetParam();
    QString line;
    QString problem;
    const bool ok = descriptionLineFor(c.layout, c.code, c.description, line, problem);
    EXPECT_EQ(ok ? line : u'!' + problem, c.line);
    if (!ok)
        return;
    DescriptionLine fields;
    ASSERT_TRUE(splitDescriptionLine(line, c.layout, fields));
    EXPECT_EQ(fields.Code.trimmed(), c.code.trimmed());
    QString read = fields.Description;
    while (read.endsWith(u' '))
        read.chop(1);
    QString wanted = c.description;
    while (wanted.endsWith(u' '))
        wanted.chop(1);
    EXPECT_EQ(read, wanted);
}

INSTANTIATE_TEST_SUITE_P(Cases, DescriptionLines,
    testing::Values(
        DescriptionCase { "Icd", DescriptionLayout::ICD, "J45.20", "Asthma, mild", "\"J45.20\",\"Asthma, mild\"" },
        DescriptionCase {
            "IcdShortCode", DescriptionLayout::ICD, "E11.9", "Meniere's \"flu\"", "\"E11.9 \",\"Meniere's \"flu\"\"" },
        DescriptionCase { "IcdEmpty", DescriptionLayout::ICD, "I10", "", "\"I10   \",\"\"" },
        DescriptionCase {
            "IcdLeadingSpacesKept", DescriptionLayout::ICD, "I10", "  indented  ", "\"I10   \",\"  indented\"" },
        DescriptionCase {
            "Other", DescriptionLayout::Other, "89101", "Teaching visit|inhaler", "89101|Teaching visit|inhaler|" },
        DescriptionCase { "OtherShortCode", DescriptionLayout::Other, "891", QString::fromUtf16(u"Caf\u00E9 \u20AC"),
            QString::fromUtf16(u"891  |Caf\u00E9 \u20AC|") },
        DescriptionCase { "IcdCodeTooLong", DescriptionLayout::ICD, "J45.901", "x",
            "!the code \"J45.901\" cannot be written: a description line holds codes of 6 characters at most" },
        DescriptionCase { "OtherCodeTooLong", DescriptionLayout::Other, "J45.20", "x",
            "!the code \"J45.20\" cannot be written: a description line holds codes of 5 characters at most" },
        DescriptionCase { "LineBreak", DescriptionLayout::Other, "A1", "two\nlines",
            "!the code \"A1\" cannot be written: its description holds a line break" },
        DescriptionCase { "NotInTheCodePage", DescriptionLayout::ICD, "A1", QString::fromUtf16(u"\u0416\u0443\u043A"),
            QString::fromUtf16(
                u"!the code \"A1\" cannot be written in the code page WINDOWS-1252 (it has no \"\u0416\")") }),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace

namespace {

// The codes of one system, paged through SearchCodes, against the recording
// library: pages of kCodesPerPage, each continuing after the last code of the one
// before, no unit of work, and the file the loader would read.
class CodeExportPaging : public testing::Test {
protected:
    void SetUp() override
    {
        h.addCodingSystem(3, QStringLiteral("ICD"));
        h.addCodingSystem(4, QStringLiteral("CPT"));
        // Stored out of code order; a document keeps three neighbouring codes,
        // so runs of one document cross the page boundaries.
        for (int i = kTotal - 1; i >= 0; --i) {
            CodeRecord c = code(QStringLiteral("K%1").arg(i, 5, 10, QChar(u'0')),
                QStringLiteral("pdf\\doc%1.htm").arg(i / 3), QStringLiteral("Text %1").arg(i));
            c.CodeID = 100 + i;
            h.store.codes.push_back(c);
        }
        CodeRecord other = code(QStringLiteral("K00000"), QStringLiteral("pdf\\other.htm"));
        other.CodingSystemID = 4;
        other.CodeID = 99;
        h.store.codes.push_back(other);
    }
    static constexpr int kTotal = 2 * kCodesPerPage + 500;
    HandlerHarness<> h;
};

TEST_F(CodeExportPaging, PagesThroughTheCodesAndWritesAsItGoes)
{
    const QString path = h.dir.filePath(QStringLiteral("icd.txt"));
    ExportCounts counts;
    ASSERT_EQ(exportCodes(h.ctx, QStringLiteral("ICD"), path, counts), QString());
    EXPECT_EQ(counts.recordsWritten, kTotal);
    EXPECT_EQ(counts.linesWritten, (kTotal + 2) / 3);

    EXPECT_EQ(
        h.store.ops(), (std::vector<std::string> { "GetCodingSystem", "SearchCodes", "SearchCodes", "SearchCodes" }));
    const auto pages = h.store.callsOf("SearchCodes");
    EXPECT_EQ(pages[0]->codeList.size(), 1u);
    EXPECT_EQ(pages[0]->codeList[0].CodeID, 0);
    EXPECT_EQ(pages[0]->codeList[0].CodingSystemID, 3);
    for (const auto* page : pages) {
        EXPECT_EQ(page->limit, kCodesPerPage);
        EXPECT_EQ(page->text, QString());
    }
    // Each later page continues after the last code of the page before.
    EXPECT_EQ(pages[1]->codeList[0].Code.trimmed(), QStringLiteral("K01999"));
    EXPECT_EQ(pages[1]->codeList[0].CodeID, 100 + 1999);
    EXPECT_EQ(pages[2]->codeList[0].Code.trimmed(), QStringLiteral("K03999"));

    // Read back as the loader reads it: every code under its document.
    std::string bytes = fileBytes(path);
    const QStringList lines = QString::fromLatin1(bytes).split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), (kTotal + 2) / 3 + 1);
    EXPECT_EQ(lines.first(), QStringLiteral("doc0.pdf, K00000 K00001 K00002"));
    EXPECT_EQ(lines.at(666), QStringLiteral("doc666.pdf, K01998 K01999 K02000"));
    EXPECT_EQ(lines.last(), QString());
    int codesRead = 0;
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        CodeFileLine words;
        ASSERT_TRUE(splitCodeLine(lines.at(i), words));
        EXPECT_EQ(words.PatEdDocument, QStringLiteral("pdf\\doc%1.htm").arg(i));
        codesRead += static_cast<int>(words.codes.size());
    }
    EXPECT_EQ(codesRead, kTotal);
}

TEST_F(CodeExportPaging, DescriptionsInTheOtherLayout)
{
    h.store.codes.resize(3); // K04499, K04498, K04497
    h.store.codes[1].Description = QString();
    const QString path = h.dir.filePath(QStringLiteral("d.txt"));
    ExportCounts counts;
    // The codes are six characters: too long for the other layout.
    EXPECT_EQ(exportCodeDescriptions(h.ctx, QStringLiteral("CPT"), path, counts), QString());
    EXPECT_EQ(fileBytes(path), "");
    h.store.codes[0].CodingSystemID = 4;
    EXPECT_EQ(exportCodeDescriptions(h.ctx, QStringLiteral("CPT"), path, counts),
        path
            + QStringLiteral(": line 1: the code \"K04499\" cannot be written: a description line holds codes "
                             "of 5 characters at most. Nothing was written."));
    ASSERT_EQ(exportCodeDescriptions(h.ctx, QStringLiteral("ICD"), path, counts), QString());
    EXPECT_EQ(counts.recordsWritten, 1);
    EXPECT_EQ(fileBytes(path), "\"K04497\",\"Text 4497\"\r\n");
}

TEST_F(CodeExportPaging, AFailingPageLeavesTheOldFile)
{
    const QString path = h.dir.filePath(QStringLiteral("icd.txt"));
    ASSERT_TRUE(writeBytes(path, "old\r\n"));
    h.store.failOp = "SearchCodes";
    h.store.failAfter = 1;
    ExportCounts counts;
    EXPECT_EQ(exportCodes(h.ctx, QStringLiteral("ICD"), path, counts),
        QStringLiteral("The codes of coding system \"ICD\" could not be read: SearchCodes failed. Nothing was "
                       "written."));
    EXPECT_EQ(fileBytes(path), "old\r\n");
    EXPECT_EQ(QDir(h.dir.path()).entryList(QDir::Files), QStringList { QStringLiteral("icd.txt") });
    EXPECT_EQ(exportCodes(h.ctx, QStringLiteral("NOPE"), path, counts),
        QStringLiteral("No coding system named \"NOPE\" is in the database; nothing was written."));
}

} // namespace
