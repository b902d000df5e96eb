// Index lines: level, description and document of one line; reading lines
// from a file; the name.ext -> ext\name.htm derivation.

#include "text/IndexLine.h"

#include "support/PrintQString.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <string>

namespace {

struct LineCase {
    const char* name;
    QString line;
    int32_t level;
    QString description;
    QString document;
};

// · in the comments stands for one space.
const LineCase kCases[] = {
    { "PlainText", "Asthma", 1, "Asthma", "" },
    { "PlainTextIndented", "   Asthma  ", 4, "Asthma", "" }, // ···Asthma··
    { "FullShape", "  Asthma ~asthma.pdf~ x", 3, "Asthma", "pdf\\asthma.htm" },
    { "FullShapeExtra", "    Asthma ~asthma.pdf~ extra", 5, "Asthma", "pdf\\asthma.htm" },
    { "SpacesInsideFieldStay", "Asthma~ asthma.pdf ~", 1, "Asthma", "pdf \\ asthma.htm" },
    { "OneTildeOnly", "Asthma~asthma.pdf", 1, "Asthma", "" },
    { "FieldWithoutDot", "Asthma~asthma~", 1, "Asthma", "htm" },
    { "EmptyField", "Asthma~~", 1, "Asthma", "htm" },
    { "NoDescription", "~x.pdf~", 1, "", "pdf\\x.htm" },
    { "NoDescriptionIndented", "  ~x.doc~", 3, "", "doc\\x.htm" },
    { "EmptyLine", "", 1, "", "" },
    { "ThreeSpaces", "   ", 4, "", "" },
    { "LeadingTab", "\tAsthma", 1, "\tAsthma", "" },
    { "LeadingTabWithField", "\tAsthma ~a.pdf~", 1, "\tAsthma", "pdf\\a.htm" },
    { "TabsAreNotTrimmed", "  Asthma\t ", 3, "Asthma\t", "" },
    { "TrailingTabBeforeTilde", "Asthma\t~a.pdf~", 1, "Asthma\t", "pdf\\a.htm" },
    { "Apostrophe", "Children's Health", 1, "Children''s Health", "" },
    { "TwoApostrophes", " 'Quoted' topic~q.pdf~", 2, "''Quoted'' topic", "pdf\\q.htm" },
    { "ApostropheInFieldNotDoubled", "Topic~o'neil.pdf~", 1, "Topic", "pdf\\o'neil.htm" },
    { "TwoDots", "Topic~a.b.pdf~", 1, "Topic", "b.htm" },
    { "ThirdTildeIgnored", "Topic~a.pdf~b.doc~", 1, "Topic", "pdf\\a.htm" },
    { "DescriptionSpacesInsideKept", "  Heart  Disease  ~h.pdf~", 3, "Heart  Disease", "pdf\\h.htm" },
    { "SpacesBeforeTildeOnly", "   ~", 4, "", "" },
    { "CodePageCharacters", QString::fromUtf16(u"Caf\u00E9 \u20AC~caf\u00E9.pdf~"), 1,
        QString::fromUtf16(u"Caf\u00E9 \u20AC"), QString::fromUtf16(u"pdf\\caf\u00E9.htm") },
};

class SplitIndexLine : public ::testing::TestWithParam<LineCase> { };

struct FormCase {
    const char* name;
    QString field;
    QString form;
};

const FormCase kForms[] = {
    { "PdfBecomesDirectory", "asthma.pdf", "pdf\\asthma.htm" },
    { "Doc", "asthma.doc", "doc\\asthma.htm" },
    { "TwoDots", "a.b.pdf", "b.htm" },
    { "NoDot", "asthma", "htm" },
    { "Empty", "", "htm" },
    { "OnlyDot", ".", "\\.htm" },
    { "LeadingDot", ".pdf", "pdf\\.htm" },
    { "TrailingDot", "name.", "\\name.htm" },
    { "SpacesKept", " asthma.pdf ", "pdf \\ asthma.htm" },
    { "Backslash", "dir\\x.pdf", "pdf\\dir\\x.htm" },
    // A code-file document word minus its last character.
    { "CodeWordMinusLastCharacter", "bp.pdf", "pdf\\bp.htm" },
};

class DocumentDirectoryForm : public ::testing::TestWithParam<FormCase> { };

QString writeFile(const QTemporaryDir& dir, const std::string& bytes)
{
    const QString path = dir.filePath(QStringLiteral("index.txt"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        ADD_FAILURE() << "cannot write " << path.toStdString();
    file.write(bytes.data(), static_cast<qint64>(bytes.size()));
    return path;
}

} // namespace

TEST_P(SplitIndexLine, LevelDescriptionDocument)
{
    const LineCase& c = GetParam();
    QString description = QStringLiteral("stale");
    QString document = QStringLiteral("stale");
    EXPECT_EQ(splitIndexLine(c.line, description, document), c.level);
    EXPECT_EQ(description, c.description);
    EXPECT_EQ(document, c.document);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitIndexLine, ::testing::ValuesIn(kCases), [](const auto& info) { return std::string(info.param.name); });

TEST_P(DocumentDirectoryForm, Derivation)
{
    const FormCase& c = GetParam();
    EXPECT_EQ(documentDirectoryForm(c.field), c.form);
}

INSTANTIATE_TEST_SUITE_P(Cases, DocumentDirectoryForm, ::testing::ValuesIn(kForms),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Wide positions -----------------------------------------------------------------

TEST(SplitIndexLineLong, HundredThousandLeadingSpaces)
{
    QString description;
    QString document;
    const QString line = QString(100000, u' ') + QStringLiteral("Deep ~deep.pdf~");
    EXPECT_EQ(splitIndexLine(line, description, document), 100001);
    EXPECT_EQ(description, QStringLiteral("Deep"));
    EXPECT_EQ(document, QStringLiteral("pdf\\deep.htm"));

    EXPECT_EQ(splitIndexLine(QString(100000, u' '), description, document), 100001);
    EXPECT_EQ(description, QString());
    EXPECT_EQ(document, QString());
}

TEST(SplitIndexLineLong, TildeAndDotBeyond32767)
{
    QString description;
    QString document;
    const QString text(40000, u'd');
    const QString name(40000, u'n');
    EXPECT_EQ(splitIndexLine(text + QStringLiteral("~") + name + QStringLiteral(".pdf~"), description, document), 1);
    EXPECT_EQ(description, text);
    EXPECT_EQ(document, QStringLiteral("pdf\\") + name + QStringLiteral(".htm"));
}

// ---- Reading from a file --------------------------------------------------------------

TEST(ReadNextLine, ReadsEveryLineThenMinusOneLeavingOutputsUnchanged)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = writeFile(dir,
        "Patient Education\r\n"
        " Asthma ~asthma.pdf~\r\n"
        "\r\n"
        "  Children's Health~kids.doc~ note\r\n"
        "   ");
    TextFile file;
    QString error;
    ASSERT_TRUE(file.open(path, &error)) << error.toStdString();

    QString description;
    QString document;
    struct Expected {
        int32_t level;
        const char* description;
        const char* document;
    };
    const Expected expected[] = {
        { 1, "Patient Education", "" },
        { 2, "Asthma", "pdf\\asthma.htm" },
        { 1, "", "" },
        { 3, "Children''s Health", "doc\\kids.htm" },
        { 4, "", "" },
    };
    for (const Expected& e : expected) {
        ASSERT_FALSE(file.atEnd());
        EXPECT_EQ(ReadNextLine(file, description, document), e.level);
        EXPECT_EQ(description, QString::fromLatin1(e.description));
        EXPECT_EQ(document, QString::fromLatin1(e.document));
    }
    EXPECT_TRUE(file.atEnd());

    description = QStringLiteral("previous description");
    document = QStringLiteral("previous\\document.htm");
    EXPECT_EQ(ReadNextLine(file, description, document), -1);
    EXPECT_EQ(description, QStringLiteral("previous description"));
    EXPECT_EQ(document, QStringLiteral("previous\\document.htm"));
    EXPECT_EQ(ReadNextLine(file, description, document), -1) << "stays at the end";
    EXPECT_EQ(file.lineNumber(), 5);
}

TEST(ReadNextLine, EmptyFileIsAtItsEndAtOnce)
{
    QTemporaryDir dir;
    const QString path = writeFile(dir, "");
    TextFile file;
    ASSERT_TRUE(file.open(path));
    QString description = QStringLiteral("kept");
    QString document = QStringLiteral("kept.htm");
    EXPECT_EQ(ReadNextLine(file, description, document), -1);
    EXPECT_EQ(description, QStringLiteral("kept"));
    EXPECT_EQ(document, QStringLiteral("kept.htm"));
}

TEST(ReadNextLine, LineEndsOfEveryKindAndTheCodePage)
{
    QTemporaryDir dir;
    const QString path = writeFile(dir, "Caf\xE9\rB\nC\r\n D ~d.pdf~");
    TextFile file;
    ASSERT_TRUE(file.open(path));
    QString description;
    QString document;
    EXPECT_EQ(ReadNextLine(file, description, document), 1);
    EXPECT_EQ(description, QString::fromUtf16(u"Caf\u00E9"));
    EXPECT_EQ(ReadNextLine(file, description, document), 1);
    EXPECT_EQ(description, QStringLiteral("B"));
    EXPECT_EQ(ReadNextLine(file, description, document), 1);
    EXPECT_EQ(description, QStringLiteral("C"));
    EXPECT_EQ(ReadNextLine(file, description, document), 2);
    EXPECT_EQ(description, QStringLiteral("D"));
    EXPECT_EQ(document, QStringLiteral("pdf\\d.htm"));
    EXPECT_EQ(ReadNextLine(file, description, document), -1);
}

TEST(ReadNextLine, FileThatWasNeverOpenedIsAtItsEnd)
{
    TextFile file;
    QString description = QStringLiteral("d");
    QString document = QStringLiteral("p");
    EXPECT_EQ(ReadNextLine(file, description, document), -1);
    EXPECT_EQ(description, QStringLiteral("d"));
    EXPECT_EQ(document, QStringLiteral("p"));
}
