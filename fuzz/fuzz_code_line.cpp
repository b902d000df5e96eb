// Code file lines on any text: the document word and the codes that follow it.
#include "fuzz/FuzzSupport.h"

#include "coding/CodeFile.h"
#include "text/IndexLine.h"

#include <QStringList>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString line = fuzzText(data, size);
    CodeFileLine words;
    words.PatEdDocument = QStringLiteral("stale");
    words.codes = QStringList {QStringLiteral("stale")};
    const bool used = splitCodeLine(line, words);
    const QString shown = visible(line) + QStringLiteral(" -> ") + visible(words.PatEdDocument) + u' '
        + visible(words.codes.join(u'|'));

    // A line of blanks only has no document word and is skipped, with nothing left over.
    const QStringList expected = line.split(u' ', Qt::SkipEmptyParts);
    FUZZ_CHECK(used == !isBlankName(line), shown);
    FUZZ_CHECK(used == !expected.isEmpty(), shown);
    if (!used) {
        FUZZ_CHECK(words.PatEdDocument.isEmpty() && words.codes.isEmpty(), shown);
        return 0;
    }

    // The first word is the document; its last character is dropped unread.
    const QString documentWord = expected.first();
    FUZZ_CHECK(words.PatEdDocument == codeDocumentPath(documentWord), shown);
    FUZZ_CHECK(words.PatEdDocument == documentDirectoryForm(documentWord.chopped(1)), shown);
    FUZZ_CHECK(words.PatEdDocument.endsWith(QLatin1String("htm")), shown);

    // Every further word is a code, in order; none is empty or holds a blank.
    FUZZ_CHECK(words.codes == expected.mid(1), shown);
    for (const QString& code : words.codes)
        FUZZ_CHECK(!code.isEmpty() && !code.contains(u' '), shown);
    return 0;
}
