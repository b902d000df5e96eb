#include "text/Tokens.h"

#include <utility>

namespace {

thread_local int64_t t_work = 0;

} // namespace

int64_t tokenWork() { return t_work; }

QString getnexttoken(QString& inLine, QString& remainingLine)
{
    // Trimming, the search and the two copies pass over the whole string.
    t_work += inLine.size();

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

bool TokenWalk::next(QStringView& token)
{
    const qsizetype size = m_line.size();
    qsizetype begin = m_pos;
    while (begin < size && m_line[begin] == u' ')
        ++begin;
    if (begin == size) {
        t_work += begin - m_pos;
        m_pos = size;
        return false;
    }
    qsizetype end = begin;
    while (end < size && m_line[end] != u' ')
        ++end;
    token = m_line.sliced(begin, end - begin);
    // The space after the token is passed over with it, as getnexttoken does.
    const qsizetype next = end < size ? end + 1 : end;
    t_work += next - m_pos;
    m_pos = next;
    return true;
}
