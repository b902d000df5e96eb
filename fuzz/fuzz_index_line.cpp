// Index lines on any text: splitIndexLine's level, description and document,
// the document's directory form, and ReadNextLine over a whole input file made
// of the fuzzer's bytes.
#include "fuzz/FuzzSupport.h"

#include "text/IndexLine.h"
#include "text/TextFile.h"

#include <QDir>
#include <QTemporaryDir>

#include <cstdio>
#include <limits>
#include <vector>

namespace {

// Properties of "name.ext" -> "ext\name.htm".
void checkDirectoryForm(const QString& field)
{
    const QString form = documentDirectoryForm(field);
    const QString shown = visible(field) + QStringLiteral(" -> ") + visible(form);
    FUZZ_CHECK(form.endsWith(QLatin1String("htm")), shown);
    const QString head = form.chopped(3);
    if (!field.contains(u'.')) {
        FUZZ_CHECK(head.isEmpty(), shown);
        return;
    }
    // One point, closing the head.
    FUZZ_CHECK(head.endsWith(u'.') && head.count(u'.') == 1, shown);
    const qsizetype dot = field.indexOf(u'.');
    const QString extension = field.mid(dot + 1);
    if (!extension.contains(u'.'))
        FUZZ_CHECK(form == extension + u'\\' + field.left(dot) + QLatin1String(".htm"), shown);
}

void checkSplit(const QString& line)
{
    QString description = QStringLiteral("stale");
    QString document = QStringLiteral("stale");
    const int32_t level = splitIndexLine(line, description, document);
    const QString shown = visible(line) + QStringLiteral(" -> ") + QString::number(level) + u' '
        + visible(description) + u' ' + visible(document);

    qsizetype lead = 0;
    while (lead < line.size() && line.at(lead) == u' ')
        ++lead;
    const qsizetype expectedLevel = lead + 1;
    FUZZ_CHECK(level >= 1, shown);
    FUZZ_CHECK(level == (expectedLevel > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max()
                                                                              : static_cast<int32_t>(expectedLevel)),
               shown);

    // Apostrophes come out doubled; undoing that gives the text of the line.
    QString plain = description;
    plain.replace(QLatin1String("''"), QLatin1String("'"));
    FUZZ_CHECK(description.count(u'\'') == 2 * plain.count(u'\''), shown);
    FUZZ_CHECK(!plain.contains(u'~'), shown);
    FUZZ_CHECK(!plain.startsWith(u' ') && !plain.endsWith(u' '), shown);
    // The description starts at the level's column and is followed by blanks
    // only, up to the end of the line or the first "~".
    const QString fromLevel = line.mid(lead);
    FUZZ_CHECK(fromLevel.startsWith(plain), shown);
    const QString after = fromLevel.mid(plain.size());
    qsizetype blanks = 0;
    while (blanks < after.size() && after.at(blanks) == u' ')
        ++blanks;
    FUZZ_CHECK(blanks == after.size() || after.at(blanks) == u'~', shown);

    // The document: the directory form of the text between the first two "~".
    const qsizetype first = line.indexOf(u'~');
    const qsizetype second = first < 0 ? -1 : line.indexOf(u'~', first + 1);
    if (second < 0) {
        FUZZ_CHECK(document.isEmpty(), shown);
    } else {
        const QString field = line.mid(first + 1, second - first - 1);
        FUZZ_CHECK(document == documentDirectoryForm(field), shown);
        checkDirectoryForm(field);
    }
}

QString scratchPath()
{
    static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/velk-fuzz-XXXXXX"));
    static const QString path = dir.filePath(QStringLiteral("index.txt"));
    return path;
}

bool writeFile(const QString& path, const uint8_t* data, size_t size)
{
    std::FILE* out = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!out)
        return false;
    const bool ok = std::fwrite(data, 1, size, out) == size;
    return std::fclose(out) == 0 && ok;
}

// Lines of plain ASCII bytes, as the reader must cut them: at CR, CR LF or LF,
// with a last line that has no terminator read like the others.
std::vector<QString> asciiLines(const uint8_t* data, size_t size)
{
    std::vector<QString> lines;
    size_t pos = 0;
    while (pos < size) {
        size_t end = pos;
        while (end < size && data[end] != '\r' && data[end] != '\n')
            ++end;
        lines.push_back(QString::fromLatin1(reinterpret_cast<const char*>(data + pos), static_cast<qsizetype>(end - pos)));
        pos = end;
        if (pos < size)
            pos += (data[pos] == '\r' && pos + 1 < size && data[pos + 1] == '\n') ? 2 : 1;
    }
    return lines;
}

void checkFile(const uint8_t* data, size_t size)
{
    const QString path = scratchPath();
    FUZZ_CHECK(writeFile(path, data, size), path);

    // A file that begins with a UTF-16 byte-order mark is refused, plain
    // ASCII text (no NUL) is always read, and any other content is read or
    // refused with a one-line reason that names the file.
    bool ascii = true;
    for (size_t i = 0; i < size; ++i)
        ascii = ascii && data[i] != 0 && data[i] < 0x80;
    const bool utf16Mark = size >= 2 && ((data[0] == 0xFF && data[1] == 0xFE) || (data[0] == 0xFE && data[1] == 0xFF));
    TextFile byLevel;
    TextFile byLine;
    QString error;
    const bool opened = byLevel.open(path, &error);
    if (utf16Mark)
        FUZZ_CHECK(!opened, path);
    if (ascii)
        FUZZ_CHECK(opened, error);
    if (!opened) {
        FUZZ_CHECK(error.contains(path) && !error.contains(u'\n'), error);
        FUZZ_CHECK(byLevel.atEnd(), error);
        QString description = QStringLiteral("unchanged");
        QString document = QStringLiteral("unchanged");
        FUZZ_CHECK(ReadNextLine(byLevel, description, document) == -1, error);
        FUZZ_CHECK(description == QLatin1String("unchanged") && document == QLatin1String("unchanged"), error);
        return;
    }
    FUZZ_CHECK(byLine.open(path, &error), error);

    const std::vector<QString> expected = ascii ? asciiLines(data, size) : std::vector<QString>();

    int64_t lines = 0;
    for (;;) {
        QString description = QStringLiteral("unchanged");
        QString document = QStringLiteral("unchanged");
        const bool atEnd = byLevel.atEnd();
        const int32_t level = ReadNextLine(byLevel, description, document);
        if (atEnd) {
            FUZZ_CHECK(level == -1, QString::number(level));
            FUZZ_CHECK(description == QLatin1String("unchanged") && document == QLatin1String("unchanged"),
                       visible(description) + u' ' + visible(document));
            FUZZ_CHECK(byLine.atEnd(), QString::number(lines));
            break;
        }
        ++lines;
        FUZZ_CHECK(lines <= static_cast<int64_t>(size) + 1, QString::number(lines));
        FUZZ_CHECK(byLevel.lineNumber() == lines, QString::number(byLevel.lineNumber()));

        FUZZ_CHECK(!byLine.atEnd(), QString::number(lines));
        const QString line = byLine.readLine();
        FUZZ_CHECK(!line.contains(u'\r') && !line.contains(u'\n'), visible(line));
        if (ascii) {
            FUZZ_CHECK(static_cast<size_t>(lines) <= expected.size(), visible(line));
            FUZZ_CHECK(line == expected[static_cast<size_t>(lines - 1)],
                       visible(line) + QStringLiteral(" != ") + visible(expected[static_cast<size_t>(lines - 1)]));
        }
        QString lineDescription;
        QString lineDocument;
        FUZZ_CHECK(splitIndexLine(line, lineDescription, lineDocument) == level, visible(line));
        FUZZ_CHECK(lineDescription == description && lineDocument == document, visible(line));
    }
    if (ascii)
        FUZZ_CHECK(static_cast<size_t>(lines) == expected.size(), QString::number(lines));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = fuzzText(data, size);
    checkSplit(text);
    checkDirectoryForm(text);
    checkFile(data, size);
    return 0;
}
