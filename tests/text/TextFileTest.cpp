// TextFile: reading in blocks, CR / CR LF / LF line ends (also where a block
// ends), the ANSI code page,
// and reasons for files that cannot be opened.

#include "text/TextFile.h"

#include "support/PrintQString.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString writeFile(const QTemporaryDir& dir, const QString& name, const std::string& bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        ADD_FAILURE() << "cannot write " << path.toStdString();
    file.write(bytes.data(), static_cast<qint64>(bytes.size()));
    return path;
}

QStringList readAllLines(TextFile& file)
{
    QStringList lines;
    while (!file.atEnd())
        lines << file.readLine();
    return lines;
}

struct LineCase {
    const char* name;
    std::string bytes;
    QStringList lines;
};

const LineCase kCases[] = {
    { "CarriageReturn", "one\rtwo\rthree\r", { "one", "two", "three" } },
    { "CarriageReturnLineFeed", "one\r\ntwo\r\n", { "one", "two" } },
    { "LineFeed", "one\ntwo\n", { "one", "two" } },
    { "Mixed", "a\r\n\nb\rc\n\r", { "a", "", "b", "c", "" } },
    { "NoFinalTerminator", "one\r\ntwo", { "one", "two" } },
    { "SingleLineNoTerminator", "only", { "only" } },
    { "Empty", "", {} },
    { "OnlyCrLf", "\r\n\r\n", { "", "" } },
    { "OnlyCr", "\r\r\r", { "", "", "" } },
    { "OnlyLf", "\n", { "" } },
    { "LfThenCrIsTwoEnds", "\n\r", { "", "" } },
    { "CrCrLf", "x\r\r\ny", { "x", "", "y" } },
    { "SpacesAndTabsKept", "  a\t \r\n\t", { "  a\t ", "\t" } },
    { "CodePage", "caf\xE9 \x80\r\n\x93quoted\x94 \xFC",
        { QString::fromUtf16(u"caf\u00E9 \u20AC"), QString::fromUtf16(u"\u201Cquoted\u201D \u00FC") } },
};

// The file is read in blocks of 64 KiB: these lines end, or a character is
// cut, where the first block ends.
constexpr size_t kBlock = 1 << 16;
const std::string kFirstBlockLess1(kBlock - 1, 'a');
const QString kLineLess1 = QString::fromStdString(kFirstBlockLess1);

const LineCase kBlockCases[] = {
    { "CrLfSplitByTheBlock", kFirstBlockLess1 + "\r\nb", { kLineLess1, "b" } },
    { "CrEndsTheBlock", kFirstBlockLess1 + "\rb", { kLineLess1, "b" } },
    { "CrEndsTheFile", kFirstBlockLess1 + "\r", { kLineLess1 } },
    { "LfEndsTheBlockAndTheFile", kFirstBlockLess1 + "\n", { kLineLess1 } },
    { "LineOverThreeBlocks", std::string(3 * kBlock + 5, 'x') + "\ny",
        { QString(static_cast<qsizetype>(3 * kBlock + 5), QLatin1Char('x')), "y" } },
    { "Utf8CharacterSplitByTheBlock", kFirstBlockLess1 + "\xC3\xA9\n", { kLineLess1 + QChar(0xE9) } },
    { "CodePageByteInTheSecondBlock", std::string(kBlock + 10, 'a') + "\xC3\xA9 \xE9",
        { QString(static_cast<qsizetype>(kBlock + 10), QLatin1Char('a'))
            + QString::fromUtf16(u"\u00C3\u00A9 \u00E9") } },
    { "MarkThenManyBlocks", "\xEF\xBB\xBF" + std::string(2 * kBlock, 'm') + "\r\n\xEF\xBB\xBFz",
        { QString(static_cast<qsizetype>(2 * kBlock), QLatin1Char('m')), "z" } },
};

class TextFileLines : public ::testing::TestWithParam<LineCase> { };

} // namespace

TEST_P(TextFileLines, SplitsAtEveryLineEnd)
{
    const LineCase& c = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = writeFile(dir, QStringLiteral("input.txt"), c.bytes);

    TextFile file;
    QString error;
    ASSERT_TRUE(file.open(path, &error)) << error.toStdString();
    EXPECT_TRUE(file.isOpen());
    EXPECT_EQ(file.path(), path);
    EXPECT_EQ(file.lineNumber(), 0);
    EXPECT_EQ(readAllLines(file), c.lines);
    EXPECT_EQ(file.lineNumber(), c.lines.size());
    EXPECT_TRUE(file.atEnd());
    EXPECT_EQ(file.readLine(), QString()) << "reading at the end gives nothing";
    EXPECT_EQ(file.lineNumber(), c.lines.size());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TextFileLines, ::testing::ValuesIn(kCases), [](const auto& info) { return std::string(info.param.name); });
INSTANTIATE_TEST_SUITE_P(Blocks, TextFileLines, ::testing::ValuesIn(kBlockCases),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TextFile, NulByteAfterTheFirstBlockIsNamedByItsLine)
{
    std::string bytes;
    for (int i = 0; i < 40000; ++i)
        bytes += i % 2 ? "ab\r" : "cd\r\n";
    bytes += std::string("x\0", 2);
    QTemporaryDir dir;
    const QString path = writeFile(dir, QStringLiteral("late.txt"), bytes);
    TextFile file;
    QString error;
    EXPECT_FALSE(file.open(path, &error));
    EXPECT_EQ(file.openFailure(), TextFile::OpenFailure::Unreadable);
    EXPECT_EQ(error,
        QStringLiteral("The file %1 holds a NUL byte on line 40001, so it is not a text file; nothing was read "
                       "from it.")
            .arg(path));
}

TEST(TextFile, NulByteRefusesTheWholeFile)
{
    // Text sent to the library ends at a NUL, so a file holding one is not
    // read at all; the reason names the file and the line of the first NUL.
    QTemporaryDir dir;
    const QString path = writeFile(dir, QStringLiteral("binary.txt"), std::string("ok\r\nnext\r\na\0b\r\n", 14));
    TextFile file;
    QString error;
    EXPECT_FALSE(file.open(path, &error));
    EXPECT_FALSE(file.isOpen());
    EXPECT_TRUE(error.contains(path)) << error.toStdString();
    EXPECT_TRUE(error.contains(QStringLiteral("NUL byte on line 3"))) << error.toStdString();
}

TEST(TextFile, UndefinedCodePageByteBecomesReplacementCharacter)
{
    QTemporaryDir dir;
    const QString path = writeFile(dir, QStringLiteral("odd.txt"), "a\x81z");
    TextFile file;
    ASSERT_TRUE(file.open(path));
    EXPECT_EQ(file.readLine(), QString::fromUtf16(u"a\uFFFDz"));
}

TEST(TextFile, CloseAndReopen)
{
    QTemporaryDir dir;
    const QString first = writeFile(dir, QStringLiteral("first.txt"), "1\r\n2\r\n");
    const QString second = writeFile(dir, QStringLiteral("second.txt"), "x\r\n");
    TextFile file;
    ASSERT_TRUE(file.open(first));
    EXPECT_EQ(file.readLine(), QStringLiteral("1"));
    file.close();
    EXPECT_FALSE(file.isOpen());
    EXPECT_TRUE(file.atEnd());

    ASSERT_TRUE(file.open(second));
    EXPECT_EQ(file.lineNumber(), 0);
    EXPECT_EQ(readAllLines(file), QStringList({ QStringLiteral("x") }));

    // Opening again starts from the first line.
    ASSERT_TRUE(file.open(first));
    EXPECT_EQ(readAllLines(file), QStringList({ QStringLiteral("1"), QStringLiteral("2") }));
}

TEST(TextFile, NeverOpenedIsAtEnd)
{
    TextFile file;
    EXPECT_FALSE(file.isOpen());
    EXPECT_TRUE(file.atEnd());
    EXPECT_EQ(file.readLine(), QString());
}

// ---- Files that cannot be opened --------------------------------------------------

TEST(TextFile, MissingFileIsNamedInTheReason)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("absent.txt"));
    TextFile file;
    QString error;
    EXPECT_FALSE(file.open(path, &error));
    EXPECT_FALSE(file.isOpen());
    EXPECT_TRUE(error.contains(path)) << error.toStdString();
    EXPECT_TRUE(error.contains(QStringLiteral("does not exist"))) << error.toStdString();
    EXPECT_FALSE(error.contains(u'\n'));
    EXPECT_FALSE(file.open(path)) << "no error text wanted: still fails cleanly";
}

TEST(TextFile, MissingFolderIsNamedInTheReason)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("no-folder/index.txt"));
    TextFile file;
    QString error;
    EXPECT_FALSE(file.open(path, &error));
    EXPECT_TRUE(error.contains(path)) << error.toStdString();
}

TEST(TextFile, FolderIsNotAFile)
{
    QTemporaryDir dir;
    TextFile file;
    QString error;
    EXPECT_FALSE(file.open(dir.path(), &error));
    EXPECT_FALSE(file.isOpen());
    EXPECT_TRUE(error.contains(dir.path())) << error.toStdString();
    EXPECT_TRUE(error.contains(QStringLiteral("folder"))) << error.toStdString();
}

TEST(TextFile, UnreadableFileGivesTheSystemReason)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "running as root: every file is readable";
    QTemporaryDir dir;
    const QString path = writeFile(dir, QStringLiteral("locked.txt"), "secret\r\n");
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0), 0);
    TextFile file;
    QString error;
    EXPECT_FALSE(file.open(path, &error));
    EXPECT_TRUE(error.contains(path)) << error.toStdString();
    EXPECT_TRUE(error.contains(QStringLiteral("cannot be read"))) << error.toStdString();
    ::chmod(QFile::encodeName(path).constData(), S_IRUSR | S_IWUSR);
}

TEST(TextFile, FailedOpenClosesThePreviousFile)
{
    QTemporaryDir dir;
    const QString path = writeFile(dir, QStringLiteral("a.txt"), "a\r\n");
    TextFile file;
    ASSERT_TRUE(file.open(path));
    EXPECT_FALSE(file.open(dir.filePath(QStringLiteral("absent.txt"))));
    EXPECT_FALSE(file.isOpen());
    EXPECT_TRUE(file.atEnd());
}

// ---- Size ---------------------------------------------------------------------------

TEST(TextFile, SeventyFiveThousandLinesAllRead)
{
    QTemporaryDir dir;
    std::string bytes;
    const int count = 75000;
    for (int i = 1; i <= count; ++i)
        bytes += std::string(static_cast<size_t>(i % 7), ' ') + "Topic number " + std::to_string(i) + " ~doc"
            + std::to_string(i) + ".pdf~\r\n";
    const QString path = writeFile(dir, QStringLiteral("big.txt"), bytes);

    TextFile file;
    ASSERT_TRUE(file.open(path));
    int lines = 0;
    QString last;
    while (!file.atEnd()) {
        last = file.readLine();
        ++lines;
    }
    EXPECT_EQ(lines, count);
    EXPECT_EQ(file.lineNumber(), count);
    EXPECT_EQ(last, QStringLiteral("  Topic number 75000 ~doc75000.pdf~")); // 75000 % 7 == 2
}

TEST(TextFile, LineLongerThan32767Characters)
{
    QTemporaryDir dir;
    const QString path = writeFile(dir, QStringLiteral("long.txt"), std::string(100000, 'q') + "\r\nnext");
    TextFile file;
    ASSERT_TRUE(file.open(path));
    EXPECT_EQ(file.readLine().size(), 100000);
    EXPECT_EQ(file.readLine(), QStringLiteral("next"));
}
