// Which encoding an input file is read in, what its lines hold then, and that
// the library's FileLineCount counts the lines the reader gives.
#include "encoding/CodePage.h"
#include "encoding/EncodedText.h"
#include "encoding/InputEncoding.h"
#include "encoding/Utf8.h"
#include "store/KovadelLibrary.h"
#include "text/IndexLine.h"
#include "support/PrintQString.h"
#include "text/TextFile.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

using encoding::detectEncoding;
using encoding::isWellFormedUtf8;
using encoding::TextEncoding;

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        ADD_FAILURE() << "cannot write " << path.toStdString();
    file.write(bytes);
    return path;
}

QStringList readAllLines(TextFile& file)
{
    QStringList lines;
    while (!file.atEnd())
        lines << file.readLine();
    return lines;
}

std::string printable(const std::string& bytes)
{
    std::string out;
    for (const unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out;
}

// ---- Detection ---------------------------------------------------------------------

struct DetectCase {
    const char* name;
    std::string bytes;
    TextEncoding expected;
};

void PrintTo(const DetectCase& c, std::ostream* os) { *os << c.name << " \"" << printable(c.bytes) << '"'; }

const std::string kAsciiRun(40, 'a'); // longer than the eight-byte steps over ASCII

const DetectCase kDetectCases[] = {
    { "Empty", "", TextEncoding::Ansi },
    { "Ascii", "Asthma~asthma.pdf~\r\n", TextEncoding::Ansi },
    { "Cp1252", "M\xE9ni\xE8re's", TextEncoding::Ansi },
    { "Cp1252EuroAndQuotes", "\x80 \x93x\x94", TextEncoding::Ansi },
    { "Utf8TwoBytes", "M\xC3\xA9ni\xC3\xA8re's", TextEncoding::Utf8 },
    { "Utf8ThreeBytes", "\xE2\x82\xAC 5", TextEncoding::Utf8 },
    { "Utf8FourBytes", "\xF0\x9F\x98\x80", TextEncoding::Utf8 },
    { "Utf8AfterLongAscii", kAsciiRun + "\xC3\xA4" + kAsciiRun, TextEncoding::Utf8 },
    { "Utf8HighestCodePoint", "\xF4\x8F\xBF\xBF", TextEncoding::Utf8 },
    { "Utf8Mark",
        "\xEF\xBB\xBF"
        "abc",
        TextEncoding::Utf8WithMark },
    { "Utf8MarkAlone", "\xEF\xBB\xBF", TextEncoding::Utf8WithMark },
    { "Utf8MarkThenCp1252",
        "\xEF\xBB\xBF"
        "M\xE9ni\xE8re",
        TextEncoding::Utf8WithMark },
    { "Utf16LittleEndian",
        std::string("\xFF\xFE"
                    "a\0b\0",
            6),
        TextEncoding::Utf16 },
    { "Utf16BigEndian", std::string("\xFE\xFF\0a\0b", 6), TextEncoding::Utf16 },
    { "Utf16MarkAlone", "\xFF\xFE", TextEncoding::Utf16 },
    { "Cp1252ThornAndYLater", "x\xFE\xFF", TextEncoding::Ansi },
    { "ValidUtf8ThenOneBadByte", "\xC3\xA9 \xE9", TextEncoding::Ansi },
    { "StrayContinuation", "a\x80z", TextEncoding::Ansi },
    { "OverlongSlash", "\xC0\xAF", TextEncoding::Ansi },
    { "OverlongThreeBytes", "\xE0\x80\xAF", TextEncoding::Ansi },
    { "Surrogate", "\xED\xA0\x80", TextEncoding::Ansi },
    { "AboveUnicode", "\xF4\x90\x80\x80", TextEncoding::Ansi },
    { "LeadF5", "\xF5\x80\x80\x80", TextEncoding::Ansi },
    { "CutOffAtTheEnd", "caf\xC3", TextEncoding::Ansi },
    { "CutOffByALineEnd", "caf\xE2\x82\r\n", TextEncoding::Ansi },
    { "Cp1252AfterLongAscii", kAsciiRun + "\xE4" + kAsciiRun, TextEncoding::Ansi },
};

class Detect : public ::testing::TestWithParam<DetectCase> { };

TEST_P(Detect, TakesTheEncodingFromTheContent)
{
    const DetectCase& c = GetParam();
    EXPECT_EQ(static_cast<int>(detectEncoding(c.bytes)), static_cast<int>(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Detect, ::testing::ValuesIn(kDetectCases), [](const auto& info) { return std::string(info.param.name); });

TEST(Detect, WellFormedUtf8TellsWhetherItSawAMultiByteSequence)
{
    bool multiByte = true;
    EXPECT_TRUE(isWellFormedUtf8("plain", &multiByte));
    EXPECT_FALSE(multiByte);
    EXPECT_TRUE(isWellFormedUtf8("", &multiByte));
    EXPECT_FALSE(multiByte);
    EXPECT_TRUE(isWellFormedUtf8("\xC3\xA4", &multiByte));
    EXPECT_TRUE(multiByte);
    EXPECT_FALSE(isWellFormedUtf8("\xC3"));
    EXPECT_EQ(markLength(TextEncoding::Utf8WithMark), 3u);
    EXPECT_EQ(markLength(TextEncoding::Utf8), 0u);
    EXPECT_EQ(markLength(TextEncoding::Ansi), 0u);
}

// The one UTF-8 decoder behind the library's fields, the file names and the
// input files: every byte at which no well-formed sequence starts is one
// U+FFFD, and the encoder joins what the decoder split.
TEST(Convert, Utf8AndUtf16)
{
    struct Row {
        const char* name;
        std::string utf8;
        std::u16string utf16;
    };
    const Row rows[] = {
        { "Ascii", "Asthma", u"Asthma" },
        { "TwoBytes", "M\xC3\xA9", u"M\u00E9" },
        { "FourBytes", "\xF0\x9F\x98\x80", u"\U0001F600" },
        { "Overlong", "\xC0\xAF", u"\uFFFD\uFFFD" },
        { "Surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD" },
        { "CutOff", "caf\xE2\x82", u"caf\uFFFD\uFFFD" },
        { "LeadF5", "\xF5\x80", u"\uFFFD\uFFFD" },
    };
    for (const Row& row : rows) {
        EXPECT_EQ(encoding::utf8ToUtf16(row.utf8), row.utf16) << row.name;
        if (isWellFormedUtf8(row.utf8)) {
            EXPECT_EQ(encoding::utf16ToUtf8(row.utf16), row.utf8) << row.name;
        }
    }
    // A lone surrogate has no UTF-8 form.
    EXPECT_EQ(encoding::utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

// The code page's conversions (Windows-1252 here) take runs of ASCII eight
// at a time: one character outside ASCII at every place of texts of every
// length up to three such runs must come out as the character by character
// conversion gives it.
TEST(Convert, CodePageTextWithOneCharacterOutsideAsciiAnywhere)
{
    struct Outside {
        const char* name;
        char16_t unit;
        char ansi; // its byte in Windows-1252; '?' when it has none
        const char* utf8; // the UTF-8 of that byte's character
    };
    const Outside outside[] = {
        { "Latin1", u'\u00E9', '\xE9', "\xC3\xA9" },
        { "EuroAt0x80", u'\u20AC', '\x80', "\xE2\x82\xAC" },
        { "NotInTheCodePage", u'\u03A9', '?', "?" },
        { "Nul", u'\0', '\0', std::string_view("\0", 1).data() },
    };
    for (const Outside& o : outside) {
        const size_t utf8Size = o.unit == 0 ? 1 : std::strlen(o.utf8);
        for (size_t length = 1; length <= 25; ++length) {
            for (size_t at = 0; at < length; ++at) {
                std::u16string text;
                std::string ansi, utf8;
                for (size_t i = 0; i < length; ++i) {
                    const char c = static_cast<char>('a' + i % 26);
                    text += i == at ? o.unit : static_cast<char16_t>(c);
                    ansi += i == at ? o.ansi : c;
                    utf8 += i == at ? std::string(o.utf8, utf8Size) : std::string(1, c);
                }
                EXPECT_EQ(encoding::utf16ToAnsi(text), ansi) << o.name << " " << length << " " << at;
                EXPECT_EQ(encoding::ansiToUtf8(ansi), utf8) << o.name << " " << length << " " << at;
                // All ASCII: the same texts unchanged.
                std::string plain = ansi;
                plain[at] = 'A';
                EXPECT_EQ(encoding::ansiToUtf8(plain), plain) << length;
            }
        }
    }
}

// ---- Reading ------------------------------------------------------------------------

const QStringList kNames = {
    QString::fromUtf16(u"M\u00E9ni\u00E8re's"),
    QString::fromUtf16(u"Friedl\u00E4nder"),
    QStringLiteral("Children's"),
    QString::fromUtf16(u"\u201CEar\u201D care \u2013 \u20AC5"),
};

class ReadAs : public ::testing::TestWithParam<SavedAs> { };

TEST_P(ReadAs, EveryFormGivesTheSameLines)
{
    QTemporaryDir dir;
    const QByteArray bytes = savedText(kNames, GetParam());
    const QString path = writeFile(dir, QStringLiteral("names.txt"), bytes);
    TextFile file;
    QString error;
    ASSERT_TRUE(file.open(path, &error)) << error.toStdString();
    EXPECT_EQ(file.openFailure(), TextFile::OpenFailure::None);
    const TextEncoding expected = GetParam() == SavedAs::Cp1252CrLf ? TextEncoding::Ansi
        : GetParam() == SavedAs::Utf8Lf                             ? TextEncoding::Utf8
                                                                    : TextEncoding::Utf8WithMark;
    EXPECT_EQ(static_cast<int>(file.encoding()), static_cast<int>(expected));
    EXPECT_EQ(readAllLines(file), kNames);
    EXPECT_EQ(file.lineNumber(), kNames.size());
}

INSTANTIATE_TEST_SUITE_P(Forms, ReadAs, ::testing::ValuesIn(kAllForms),
    [](const auto& info) { return std::string(savedAsName(info.param)); });

TEST(ReadAs, TheMarkIsNotPartOfTheFirstLine)
{
    QTemporaryDir dir;
    const QString path = writeFile(dir, QStringLiteral("index.txt"),
        "\xEF\xBB\xBF"
        "Adult Health\r\n  Asthma~asthma.pdf~\r\n");
    TextFile file;
    ASSERT_TRUE(file.open(path));
    QString description;
    QString document;
    EXPECT_EQ(ReadNextLine(file, description, document), 1) << "the mark would indent the first line";
    EXPECT_EQ(description, QStringLiteral("Adult Health"));
    EXPECT_EQ(ReadNextLine(file, description, document), 3);
    EXPECT_EQ(description, QStringLiteral("Asthma"));
    EXPECT_EQ(document, QStringLiteral("pdf\\asthma.htm"));
}

TEST(ReadAs, AMarkAtTheStartOfALaterLineIsDroppedInUtf8)
{
    // Two files saved with a mark, then joined: the second mark starts line 2.
    QTemporaryDir dir;
    const QString path = writeFile(dir, QStringLiteral("joined.txt"),
        "\xEF\xBB\xBF"
        "caf\xC3\xA9\r\n\xEF\xBB\xBF"
        "th\xC3\xA9\r\n");
    TextFile file;
    ASSERT_TRUE(file.open(path));
    EXPECT_EQ(readAllLines(file), QStringList({ QString::fromUtf16(u"caf\u00E9"), QString::fromUtf16(u"th\u00E9") }));
}

TEST(ReadAs, NotUtf8ButHighBytesIsTheCodePage)
{
    QTemporaryDir dir;
    const QString path = writeFile(dir, QStringLiteral("cp.txt"), "M\xE9ni\xE8re's\r\n");
    TextFile file;
    ASSERT_TRUE(file.open(path));
    EXPECT_EQ(static_cast<int>(file.encoding()), static_cast<int>(TextEncoding::Ansi));
    EXPECT_EQ(file.readLine(), QString::fromUtf16(u"M\u00E9ni\u00E8re's"));
}

TEST(ReadAs, ALoneCarriageReturnEndsTheLineInUtf8Too)
{
    QTemporaryDir dir;
    const QString path = writeFile(dir, QStringLiteral("cr.txt"),
        "\xEF\xBB\xBF"
        "a.doc, A1\rb.doc, \xC3\x84"
        "1\r\n");
    TextFile file;
    ASSERT_TRUE(file.open(path));
    EXPECT_EQ(readAllLines(file), QStringList({ QStringLiteral("a.doc, A1"), QString::fromUtf16(u"b.doc, \u00C41") }));
}

TEST(ReadAs, InvalidBytesAfterAMarkBecomeReplacementCharacters)
{
    QTemporaryDir dir;
    const QString path = writeFile(dir, QStringLiteral("mixed.txt"),
        "\xEF\xBB\xBF"
        "a\xE9z\r\n");
    TextFile file;
    ASSERT_TRUE(file.open(path));
    EXPECT_EQ(file.readLine(), QString::fromUtf16(u"a\uFFFDz"));
}

TEST(ReadAs, AMarkAloneIsAnEmptyFile)
{
    QTemporaryDir dir;
    const QString path = writeFile(dir, QStringLiteral("mark.txt"), "\xEF\xBB\xBF");
    TextFile file;
    ASSERT_TRUE(file.open(path));
    EXPECT_TRUE(file.atEnd());
    EXPECT_TRUE(readAllLines(file).isEmpty());
}

// ---- UTF-16 is refused ----------------------------------------------------------------

struct RefusedCase {
    const char* name;
    QByteArray bytes;
    const char* mark;
};

class Refused : public ::testing::TestWithParam<RefusedCase> { };

TEST_P(Refused, Utf16SaysWhatToDo)
{
    QTemporaryDir dir;
    const QString path = writeFile(dir, QStringLiteral("unicode.txt"), GetParam().bytes);
    TextFile file;
    QString error;
    EXPECT_FALSE(file.open(path, &error));
    EXPECT_FALSE(file.isOpen());
    EXPECT_TRUE(file.atEnd());
    EXPECT_EQ(file.openFailure(), TextFile::OpenFailure::Utf16);
    EXPECT_EQ(error,
        QStringLiteral("The file %1 is saved as UTF-16 (it begins with the byte-order mark %2), which cannot be "
                       "read; save it as UTF-8 or ANSI.")
            .arg(path, QLatin1String(GetParam().mark)));

    // The reason is cleared by the next open that works.
    const QString good = writeFile(dir, QStringLiteral("good.txt"), "x\r\n");
    ASSERT_TRUE(file.open(good));
    EXPECT_EQ(file.openFailure(), TextFile::OpenFailure::None);
}

INSTANTIATE_TEST_SUITE_P(Orders, Refused,
    ::testing::Values(RefusedCase { "LittleEndian",
                          QByteArray("\xFF\xFE"
                                     "A\0d\0\r\0\n\0",
                              10),
                          "FF FE" },
        RefusedCase { "BigEndian", QByteArray("\xFE\xFF\0A\0d\0\r\0\n", 10), "FE FF" }),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Refused, OtherFailuresKeepTheirKind)
{
    QTemporaryDir dir;
    TextFile file;
    EXPECT_FALSE(file.open(dir.filePath(QStringLiteral("absent.txt"))));
    EXPECT_EQ(file.openFailure(), TextFile::OpenFailure::Missing);
    EXPECT_FALSE(file.open(dir.path()));
    EXPECT_EQ(file.openFailure(), TextFile::OpenFailure::Folder);
}

// ---- The library counts the same lines --------------------------------------------------

struct CountCase {
    const char* name;
    std::string bytes;
};

void PrintTo(const CountCase& c, std::ostream* os) { *os << c.name << " \"" << printable(c.bytes) << '"'; }

const CountCase kCountCases[] = {
    { "MarkAlone", "\xEF\xBB\xBF" },
    { "MarkThenLineEnd", "\xEF\xBB\xBF\r\n" },
    { "MarkThenOneLine",
        "\xEF\xBB\xBF"
        "a" },
    { "MarkCrLf",
        "\xEF\xBB\xBF"
        "a\r\nb\r\n" },
    { "MarkLf",
        "\xEF\xBB\xBF"
        "a\nb" },
    { "MarkCr",
        "\xEF\xBB\xBF"
        "a\rb\r" },
    { "MarkBlankLines", "\xEF\xBB\xBF\r\n\r\n\n\r" },
    { "JoinedWithMarks",
        "\xEF\xBB\xBF"
        "a\r\n\xEF\xBB\xBF"
        "b\r\n" },
    { "Utf8NoMark", "caf\xC3\xA9\rth\xC3\xA9\n" },
    { "Cp1252", "M\xE9ni\xE8re\r\nFriedl\xE4nder" },
    { "MarkAndInvalidBytes",
        "\xEF\xBB\xBF"
        "a\xE9\r\nb" },
};

class LineCount : public ::testing::TestWithParam<CountCase> { };

TEST_P(LineCount, FileLineCountAgreesWithTheReader)
{
    const QString libraryPath = QStringLiteral(KOVADEL_LIBRARY_PATH);
    ASSERT_TRUE(QFileInfo::exists(libraryPath)) << "the data-access library is built with the tests";
    QTemporaryDir dir;
    const QString path = writeFile(dir, QStringLiteral("lines.txt"), QByteArray::fromStdString(GetParam().bytes));

    TextFile file;
    ASSERT_TRUE(file.open(path));
    const QStringList lines = readAllLines(file);
    for (const QString& line : lines)
        EXPECT_FALSE(line.contains(QChar(0xFEFF))) << "a mark was left in " << line.toStdString();

    KovadelLibrary library(libraryPath);
    EXPECT_EQ(library.FileLineCount(path), lines.size());
}

INSTANTIATE_TEST_SUITE_P(
    Files, LineCount, ::testing::ValuesIn(kCountCases), [](const auto& info) { return std::string(info.param.name); });

} // namespace
