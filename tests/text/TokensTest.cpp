// getnexttoken: one space-separated token per call, positions of any size.

#include "text/Tokens.h"

#include "support/PrintQString.h"

#include <gtest/gtest.h>

#include <QStringList>

namespace {

struct TokenCase {
    const char* name;
    QString line;
    QString lineAfter; // the caller's variable after the call
    QString token;
    QString remainder;
};

// · in the comments stands for one space.
const TokenCase kCases[] = {
    { "LeadingAndInnerSpaces", "  abc  def ", "abc  def ", "abc", " def " }, // ··abc··def·
    { "SecondCallOnRemainder", " def ", "def ", "def", "" }, // ·def·
    { "Empty", "", "", "", "" },
    { "SpacesOnly", "   ", "", "", "" },
    { "OneWord", "abc", "abc", "abc", "" },
    { "OneWordTrailingSpace", "abc ", "abc ", "abc", "" },
    { "TabIsText", "abc\tdef", "abc\tdef", "abc\tdef", "" },
    { "TabInsideFirstToken", "\tabc\tdef ghi", "\tabc\tdef ghi", "\tabc\tdef", "ghi" },
    { "NonBreakingSpaceIsText", QString::fromUtf16(u"a\u00A0b c"), QString::fromUtf16(u"a\u00A0b c"),
        QString::fromUtf16(u"a\u00A0b"), "c" },
    { "RemainderKeepsItsSpaces", "a   b  ", "a   b  ", "a", "  b  " },
    { "SpaceAtStartOfRemainderOnly", "a b", "a b", "a", "b" },
};

class GetNextToken : public ::testing::TestWithParam<TokenCase> { };

} // namespace

TEST_P(GetNextToken, SplitsOneToken)
{
    const TokenCase& c = GetParam();
    QString line = c.line;
    QString remainder = QStringLiteral("stale");
    const QString token = getnexttoken(line, remainder);
    EXPECT_EQ(token, c.token);
    EXPECT_EQ(remainder, c.remainder);
    EXPECT_EQ(line, c.lineAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GetNextToken, ::testing::ValuesIn(kCases), [](const auto& info) { return std::string(info.param.name); });

TEST(GetNextTokenLoop, CommandLineIsReadOneTokenPerCall)
{
    QString line = QStringLiteral("C:\\db\\pated.mdb  topic create Cardiology CARD C:\\in index.txt ");
    QString remainder;
    QStringList tokens;
    do {
        tokens << getnexttoken(line, remainder);
        line = remainder;
    } while (!remainder.isEmpty());
    EXPECT_EQ(tokens,
        QStringList({ QStringLiteral("C:\\db\\pated.mdb"), QStringLiteral("topic"), QStringLiteral("create"),
            QStringLiteral("Cardiology"), QStringLiteral("CARD"), QStringLiteral("C:\\in"),
            QStringLiteral("index.txt") }));
}

TEST(GetNextTokenLoop, SameVariableForLineAndRemainder)
{
    QString line = QStringLiteral(" one two");
    const QString first = getnexttoken(line, line);
    EXPECT_EQ(first, QStringLiteral("one"));
    EXPECT_EQ(line, QStringLiteral("two"));
    const QString second = getnexttoken(line, line);
    EXPECT_EQ(second, QStringLiteral("two"));
    EXPECT_EQ(line, QString());
}

TEST(GetNextTokenLong, FirstSpaceBeyond32767)
{
    QString line = QString(40000, u'x') + QStringLiteral(" rest of it");
    QString remainder;
    const QString token = getnexttoken(line, remainder);
    EXPECT_EQ(token.size(), 40000);
    EXPECT_EQ(remainder, QStringLiteral("rest of it"));
}

TEST(GetNextTokenLong, ManyLeadingSpaces)
{
    QString line = QString(70000, u' ') + QStringLiteral("abc def");
    QString remainder;
    EXPECT_EQ(getnexttoken(line, remainder), QStringLiteral("abc"));
    EXPECT_EQ(line, QStringLiteral("abc def"));
    EXPECT_EQ(remainder, QStringLiteral("def"));
}

TEST(GetNextTokenLong, LongTokenWithoutSpace)
{
    QString line = QString(100000, u'y');
    QString remainder;
    EXPECT_EQ(getnexttoken(line, remainder).size(), 100000);
    EXPECT_TRUE(remainder.isEmpty());
}
