// The token splitter on any text: getnexttoken must trim, cut at the first
// space and hand back the rest unchanged, and walking a line token by token
// (with getnexttoken, or in one pass with TokenWalk) must give the line's
// space-separated words and end.
#include "fuzz/FuzzSupport.h"

#include "text/Tokens.h"

#include <QStringList>

namespace {

QString leftTrimmedSpaces(const QString& text)
{
    qsizetype begin = 0;
    while (begin < text.size() && text.at(begin) == u' ')
        ++begin;
    return text.mid(begin);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString input = fuzzText(data, size);
    const QString shown = visible(input);

    // One call, separate variables.
    QString inLine = input;
    QString rest = QStringLiteral("stale");
    const QString token = getnexttoken(inLine, rest);
    const QString trimmed = leftTrimmedSpaces(input);
    FUZZ_CHECK(inLine == trimmed, shown);
    FUZZ_CHECK(!token.contains(u' '), shown);
    const qsizetype space = trimmed.indexOf(u' ');
    if (space < 0) {
        FUZZ_CHECK(token == trimmed, shown);
        FUZZ_CHECK(rest.isEmpty(), shown);
    } else {
        FUZZ_CHECK(token + u' ' + rest == trimmed, shown);
        FUZZ_CHECK(!token.isEmpty(), shown);
    }

    // One variable for both: the same token, and the variable ends as the rest.
    QString both = input;
    const QString sameToken = getnexttoken(both, both);
    FUZZ_CHECK(sameToken == token, shown);
    FUZZ_CHECK(both == rest, shown);

    // Token by token to the end: each call shortens the rest, only the last
    // token may be empty (a rest of spaces only), and the words are the line's.
    QStringList words;
    QString walk = input;
    qsizetype calls = 0;
    while (!walk.isEmpty()) {
        const qsizetype before = walk.size();
        QString line = walk;
        const QString word = getnexttoken(line, walk);
        FUZZ_CHECK(walk.size() < before, shown);
        FUZZ_CHECK(!word.contains(u' '), shown);
        if (word.isEmpty())
            FUZZ_CHECK(walk.isEmpty(), shown);
        else
            words.append(word);
        FUZZ_CHECK(++calls <= input.size() + 1, shown);
    }
    FUZZ_CHECK(words == input.split(u' ', Qt::SkipEmptyParts), shown);

    // The one-pass walk gives the same words, looking at each character once.
    QStringList walked;
    TokenWalk pass(input);
    QStringView next;
    const int64_t workBefore = tokenWork();
    while (pass.next(next))
        walked.append(next.toString());
    FUZZ_CHECK(walked == words, shown);
    FUZZ_CHECK(tokenWork() - workBefore == input.size(), shown);
    return 0;
}
