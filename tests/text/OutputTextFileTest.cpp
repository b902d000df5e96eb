// OutputTextFile: the bytes it writes (code page, CR LF), the file named
// replaced whole or left as it was, and the reasons it gives.

#include "text/OutputTextFile.h"

#include "support/HandlerHarness.h"
#include "support/PrintQString.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <string>

namespace {

void put(const QString& path, const std::string& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

// The names in the folder besides `keep`: a temporary file left behind shows here.
QStringList leftovers(const QTemporaryDir& dir, const QString& keep)
{
    QStringList names = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    names.removeAll(keep);
    return names;
}

TEST(OutputTextFile, WritesCodePageBytesWithCrLf)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.txt"));
    OutputTextFile out;
    ASSERT_TRUE(out.open(path));
    EXPECT_TRUE(out.writeLine(QString::fromUtf16(u"Caf\u00E9 \u20AC 5")));
    EXPECT_TRUE(out.writeLine(QString()));
    EXPECT_TRUE(out.writeLine(QStringLiteral("  Children's Health~kids.pdf~")));
    EXPECT_EQ(out.linesWritten(), 3);
    EXPECT_EQ(fileBytes(path), "<missing>") << "nothing is in place before the commit";
    QString error;
    ASSERT_TRUE(out.commit(&error)) << qPrintable(error);
    EXPECT_EQ(fileBytes(path), "Caf\xE9 \x80 5\r\n\r\n  Children's Health~kids.pdf~\r\n");
    EXPECT_TRUE(leftovers(dir, QStringLiteral("out.txt")).isEmpty());
}

TEST(OutputTextFile, NoLinesGiveAnEmptyFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("empty.txt"));
    OutputTextFile out;
    ASSERT_TRUE(out.open(path));
    ASSERT_TRUE(out.commit());
    EXPECT_EQ(fileBytes(path), "");
}

TEST(OutputTextFile, ManyLinesArriveWholeAcrossBufferPieces)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big.txt"));
    OutputTextFile out;
    ASSERT_TRUE(out.open(path));
    std::string expected;
    for (int i = 0; i < 20000; ++i) {
        const QString line = QStringLiteral("line %1 ").arg(i) + QString(i % 37, u'x');
        out.writeLine(line);
        expected += line.toStdString() + "\r\n";
    }
    ASSERT_TRUE(out.commit());
    EXPECT_EQ(fileBytes(path), expected);
}

TEST(OutputTextFile, ReplacesAnExistingFileWholeAndKeepsItsMode)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("old.txt"));
    put(path, "old content\r\n");
    ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    OutputTextFile out;
    ASSERT_TRUE(out.open(path));
    out.writeLine(QStringLiteral("new"));
    EXPECT_EQ(fileBytes(path), "old content\r\n") << "the old file stays until the commit";
    ASSERT_TRUE(out.commit());
    EXPECT_EQ(fileBytes(path), "new\r\n");
    EXPECT_EQ(QFile::permissions(path) & (QFile::ReadUser | QFile::WriteUser | QFile::ReadGroup | QFile::ReadOther),
        QFile::ReadUser | QFile::WriteUser | QFile::ReadGroup);
}

TEST(OutputTextFile, AFileNotCommittedLeavesTheOldOneAndNoTemporary)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("keep.txt"));
    put(path, "keep me\r\n");
    {
        OutputTextFile out;
        ASSERT_TRUE(out.open(path));
        out.writeLine(QStringLiteral("half"));
        EXPECT_EQ(leftovers(dir, QStringLiteral("keep.txt")).size(), 1) << "the temporary file is beside it";
    } // dropped without a commit
    EXPECT_EQ(fileBytes(path), "keep me\r\n");
    EXPECT_TRUE(leftovers(dir, QStringLiteral("keep.txt")).isEmpty());

    OutputTextFile out;
    ASSERT_TRUE(out.open(path));
    out.writeLine(QStringLiteral("half"));
    out.discard();
    EXPECT_FALSE(out.commit());
    EXPECT_EQ(fileBytes(path), "keep me\r\n");
    EXPECT_TRUE(leftovers(dir, QStringLiteral("keep.txt")).isEmpty());
}

struct FailureCase {
    const char* name;
    const char* target; // under the temporary folder
    const char* expected; // the reason, after the path
};

class OutputTextFileFailure : public ::testing::TestWithParam<FailureCase> { };

TEST_P(OutputTextFileFailure, SaysWhyAndLeavesNothing)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("folder")));
    const QString path = dir.filePath(QString::fromUtf8(GetParam().target));
    OutputTextFile out;
    QString error;
    if (out.open(path, &error)) {
        out.writeLine(QStringLiteral("x"));
        EXPECT_FALSE(out.commit(&error));
    }
    EXPECT_EQ(error, path + QString::fromUtf8(GetParam().expected));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
        QStringList { QStringLiteral("folder") });
}

INSTANTIATE_TEST_SUITE_P(Cases, OutputTextFileFailure,
    ::testing::Values(
        FailureCase { "MissingFolder", "no/such/out.txt", " cannot be written: No such file or directory" },
        FailureCase { "TargetIsAFolder", "folder", " could not be written: Is a directory" }),
    [](const auto& info) { return std::string(info.param.name); });

TEST(OutputTextFile, AFileThatWouldReadBackAsUtf8IsRefused)
{
    // "Ã©" in Windows-1252 is C3 A9, the UTF-8 form of "é": a reader would
    // take the whole file for UTF-8.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("utf8.txt"));
    put(path, "before\r\n");
    OutputTextFile out;
    ASSERT_TRUE(out.open(path));
    out.writeLine(QString::fromUtf16(u"Caf\u00C3\u00A9"));
    QString error;
    EXPECT_FALSE(out.commit(&error));
    EXPECT_EQ(error,
        path
            + QStringLiteral(" could not be written: its bytes in the code page WINDOWS-1252 would be "
                             "read back as UTF-8"));
    EXPECT_EQ(fileBytes(path), "before\r\n");

    // One byte that is no UTF-8 anywhere in the file makes it ANSI again.
    OutputTextFile mixed;
    ASSERT_TRUE(mixed.open(path));
    mixed.writeLine(QString::fromUtf16(u"Caf\u00C3\u00A9"));
    mixed.writeLine(QString::fromUtf16(u"Caf\u00E9"));
    ASSERT_TRUE(mixed.commit(&error)) << qPrintable(error);
    EXPECT_EQ(fileBytes(path), "Caf\xC3\xA9\r\nCaf\xE9\r\n");
}

struct MissingCase {
    const char* name;
    QString text;
    QString missing;
};

class MissingCharacter : public ::testing::TestWithParam<MissingCase> { };

TEST_P(MissingCharacter, IsTheFirstCharacterWithoutAByte)
{
    EXPECT_EQ(OutputTextFile::missingCharacter(GetParam().text), GetParam().missing);
}

INSTANTIATE_TEST_SUITE_P(Cases, MissingCharacter,
    ::testing::Values(MissingCase { "Ascii", QStringLiteral("Asthma~a.pdf~"), QString() },
        MissingCase { "Latin", QString::fromUtf16(u"Caf\u00E9 \u20AC \u0160"), QString() },
        MissingCase { "Cyrillic", QString::fromUtf16(u"a\u0416\u0443\u043A"), QString::fromUtf16(u"\u0416") },
        MissingCase { "BeyondTheBasicPlane", QString::fromUtf16(u"x\U0001F600y"), QString::fromUtf16(u"\U0001F600") },
        MissingCase { "Empty", QString(), QString() }),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
