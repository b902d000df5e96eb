#include "text/Tokens.h"

#include <utility>

QString getnexttoken(QString& inLine, QString& remainingLine)
{
    // Left-trim: spaces only; the caller's variable keeps the trimmed value.
    qsizetype first = 0;
    while (first < inLine.size() && inLine.at(first) == u' ')
        ++first;
    if (first > 0)
        inLine.remove(0, first);

    // Token and remainder are taken before either output is written, so the
    // caller may pass one variable for both.
    const qsizetype space = inLine.indexOf(u' ');
    if (space < 0) {
        QString token = inLine;
        remainingLine.clear();
        return token;
    }
    QString token = inLine.left(space);
    QString rest = inLine.mid(space + 1);
    remainingLine = std::move(rest);
    return token;
}
