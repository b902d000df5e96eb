// The lines of code files and coding description files, without a database.
#include "coding/CodeFile.h"

#include "support/HandlerHarness.h"
#include "text/Tokens.h"

#include <gtest/gtest.h>

namespace {

struct PathCase {
    const char* word;
    const char* path;
};

class CodeDocumentPath : public testing::TestWithParam<PathCase> { };

TEST_P(CodeDocumentPath, DropsTheClosingCharacterAndMovesTheSuffixInFront)
{
    EXPECT_EQ(codeDocumentPath(QString::fromUtf8(GetParam().word)), QString::fromUtf8(GetParam().path));
}

INSTANTIATE_TEST_SUITE_P(Words, CodeDocumentPath,
    testing::Values(PathCase { "abc.xyz,", "xyz\\abc.htm" },
        PathCase { "abc.xyz;", "xyz\\abc.htm" }, // the closing character is not looked at
        PathCase { "abc.xyzz", "xyz\\abc.htm" }, // a letter closes as well
        PathCase { "abc,", "htm" }, // no point
        PathCase { "abc.,", "\\abc.htm" }, // nothing between point and closing
        PathCase { "abc.x.y,", "x.htm" }, // a point inside the suffix
        PathCase { ",", "htm" }, // the closing character alone
        PathCase { "asthma.doc,", "doc\\asthma.htm" }, PathCase { "a.bc", "b\\a.htm" }));

struct CodeLineCase {
    const char* line;
    bool read;
    const char* document;
    QStringList codes;
};

class SplitCodeLine : public testing::TestWithParam<CodeLineCase> { };

TEST_P(SplitCodeLine, TakesTheDocumentWordThenOneCodePerWord)
{
    const CodeLineCase& c = GetParam();
    CodeFileLine words;
    ASSERT_EQ(splitCodeLine(QString::fromUtf8(c.line), words), c.read) << c.line;
    EXPECT_EQ(words.PatEdDocument, QString::fromUtf8(c.document));
    EXPECT_EQ(words.codes, c.codes);
}

INSTANTIATE_TEST_SUITE_P(Lines, SplitCodeLine,
    testing::Values(CodeLineCase { "abc.xyz, C1 C2", true, "xyz\\abc.htm", { "C1", "C2" } },
        CodeLineCase { "   abc.xyz,    C1     C2    ", true, "xyz\\abc.htm", { "C1", "C2" } }, // runs of spaces
        CodeLineCase { "abc.xyz, C1\tC2 C3", true, "xyz\\abc.htm", { "C1\tC2", "C3" } }, // a tab is part of a word
        CodeLineCase { "abc.xyz,\tC1", true, "xyz,\tC\\abc.htm", {} }, // the tab joins the document word
        CodeLineCase { "abc.xyz,", true, "xyz\\abc.htm", {} }, // only the document word
        CodeLineCase { "abc.xyz,     ", true, "xyz\\abc.htm", {} }, // trailing spaces store nothing
        CodeLineCase { "gout.doc, M10.9", true, "doc\\gout.htm", { "M10.9" } },
        CodeLineCase { "", false, "", {} }, // empty line: skipped
        CodeLineCase { "     ", false, "", {} }, // blank line: skipped
        CodeLineCase { "\t", true, "htm", {} })); // a tab is not blank

TEST(SplitCodeLine, ALineOf300000CodesIsSplitInOnePass)
{
    // Every code, in order, and the splitter's work in proportion to the
    // line: handing each remainder on would copy the rest once per code.
    constexpr int kCodes = 300000;
    QString line = QStringLiteral("big.doc,");
    for (int i = 0; i < kCodes; ++i)
        line += QString::fromLatin1(i % 3 ? " C%1" : "   C%1").arg(i);
    const int64_t before = tokenWork();
    CodeFileLine words;
    ASSERT_TRUE(splitCodeLine(line, words));
    const int64_t work = tokenWork() - before;
    EXPECT_LE(work, 2 * line.size()) << "characters looked at or copied for a line of " << line.size();
    EXPECT_EQ(words.PatEdDocument, QStringLiteral("doc\\big.htm"));
    ASSERT_EQ(words.codes.size(), kCodes);
    for (int i = 0; i < kCodes; ++i)
        ASSERT_EQ(words.codes[i], QStringLiteral("C%1").arg(i)) << "code " << i;
}

TEST(DescriptionLayout, OnlyTheExactNameIcdSelectsTheIcdLayout)
{
    EXPECT_EQ(descriptionLayoutFor(QStringLiteral("ICD")), DescriptionLayout::ICD);
    for (const char* name : { "icd", "Icd", "ICD ", " ICD", "ICD9", "ICD-10", "CPT", "" })
        EXPECT_EQ(descriptionLayoutFor(QString::fromUtf8(name)), DescriptionLayout::Other) << name;
    EXPECT_EQ(descriptionLayoutFor(QString()), DescriptionLayout::Other); // no selection
    EXPECT_EQ(minimumDescriptionLine(DescriptionLayout::ICD), 11);
    EXPECT_EQ(minimumDescriptionLine(DescriptionLayout::Other), 7);
}

struct DescriptionCase {
    DescriptionLayout layout;
    const char* line;
    bool read;
    const char* code;
    const char* description;
};

class SplitDescriptionLine : public testing::TestWithParam<DescriptionCase> { };

TEST_P(SplitDescriptionLine, TakesFixedPositionsAndNeverTheLastCharacter)
{
    const DescriptionCase& c = GetParam();
    DescriptionLine fields;
    ASSERT_EQ(splitDescriptionLine(QString::fromUtf8(c.line), c.layout, fields), c.read) << c.line;
    EXPECT_EQ(fields.Code, QString::fromUtf8(c.code));
    EXPECT_EQ(fields.Description, QString::fromUtf8(c.description));
}

constexpr DescriptionLayout ICD = DescriptionLayout::ICD;
constexpr DescriptionLayout Other = DescriptionLayout::Other;

INSTANTIATE_TEST_SUITE_P(Lines, SplitDescriptionLine,
    testing::Values(DescriptionCase { ICD, "\"J45.20\",\"Asthma, mild\"", true, "J45.20", "Asthma, mild" },
        DescriptionCase { ICD, "\"I10   \",\"High blood pressure\"", true, "I10   ", "High blood pressure" },
        DescriptionCase { ICD, "xABCDEFyyyz", true, "ABCDEF", "" }, // exactly 11: empty description
        DescriptionCase { ICD, "xABCDEFyyyDz", true, "ABCDEF", "D" }, // 12: one character
        DescriptionCase { ICD, "xABCDEFyyy", false, "", "" }, // 10: too short, skipped
        DescriptionCase { ICD, "", false, "", "" }, // empty: skipped
        DescriptionCase { ICD, "\"H81.0 \",\"Meniere's disease\"", true, "H81.0 ", "Meniere's disease" },
        DescriptionCase { Other, "89101|Inhaler technique|", true, "89101", "Inhaler technique" },
        DescriptionCase { Other, "12345|z", true, "12345", "" }, // exactly 7: empty description
        DescriptionCase { Other, "12345|", false, "", "" }, // 6: too short, skipped
        DescriptionCase { Other, "", false, "", "" },
        DescriptionCase { Other, "12345|Meniere's disease|", true, "12345", "Meniere's disease" }, // one stays one
        DescriptionCase { Other, "12345|a''b|", true, "12345", "a''b" }, // two stay two
        DescriptionCase { Other, "12345|   spaced   |", true, "12345", "   spaced   " }, // leading spaces kept
        // An ICD line read in the second layout, as for "icd".
        DescriptionCase { Other, "\"J45.20\",\"Asthma\"", true, "\"J45.", "0\",\"Asthma" }));

TEST(SplitDescriptionLine, DoesNotCutLongDescriptions)
{
    // The record field cuts to 100; the line reader hands over the whole text.
    const QString description(150, u'd');
    DescriptionLine fields;
    ASSERT_TRUE(splitDescriptionLine(QStringLiteral("12345|") + description + u'|', Other, fields));
    EXPECT_EQ(fields.Description, description);
}

TEST(IsBlankName, SpacesOnly)
{
    EXPECT_TRUE(isBlankName(QString()));
    EXPECT_TRUE(isBlankName(QStringLiteral("   ")));
    EXPECT_FALSE(isBlankName(QStringLiteral(" ICD ")));
    EXPECT_FALSE(isBlankName(QStringLiteral("\t")));
}

} // namespace
