// Splitting a string into space-separated tokens.
#pragma once

#include <QString>
#include <QStringView>

#include <cstdint>

// Left-trims `inLine` in place (spaces only) and returns its first token: the
// characters before the first space, or the whole trimmed string when it holds
// no space. `remainingLine` receives everything after that space, unchanged
// (it may begin with further spaces), or becomes empty when there is none.
// Only the space separates; a tab is part of a token.
QString getnexttoken(QString& inLine, QString& remainingLine);

// The tokens of a whole line, in order: the words that getnexttoken gives on
// the line and then on each remainder until the remainder is empty, leaving
// out the empty token of a remainder of spaces only. Each character is looked
// at once, so splitting a line costs time linear in its length, where
// handing each remainder to getnexttoken copies the rest of the line once per
// token. The tokens are views into `line`, which must outlive them.
class TokenWalk {
public:
    explicit TokenWalk(QStringView line)
        : m_line(line)
    {
    }
    // The next token; false at the end of the line.
    bool next(QStringView& token);

private:
    QStringView m_line;
    qsizetype m_pos = 0;
};

// The characters that the token splitter has looked at or copied on this
// thread so far: a measure of its work, for tests and benchmarks.
int64_t tokenWork();
