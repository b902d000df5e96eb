#include "text/IndexLine.h"

#include <limits>

namespace {

// Trimming removes the space character only; tabs are ordinary text.
QString trimSpacesRight(const QString& text)
{
    qsizetype end = text.size();
    while (end > 0 && text.at(end - 1) == u' ')
        --end;
    return text.left(end);
}

QString trimSpaces(const QString& text)
{
    qsizetype begin = 0;
    while (begin < text.size() && text.at(begin) == u' ')
        ++begin;
    return trimSpacesRight(text.mid(begin));
}

} // namespace

int32_t ReadNextLine(TextFile& file, QString& Description, QString& PatEdDocument)
{
    if (file.atEnd())
        return -1;
    const QString line = file.readLine();
    return splitIndexLine(line, Description, PatEdDocument);
}

int32_t splitIndexLine(const QString& line, QString& Description, QString& PatEdDocument)
{
    // Level: the 1-based column of the first character that is not a space, or
    // the column just after the end of a line of spaces only. Positions are
    // qsizetype, so any indentation is representable.
    qsizetype levelColumn = 0; // 0-based
    while (levelColumn < line.size() && line.at(levelColumn) == u' ')
        ++levelColumn;

    QString description;
    QString document;
    const qsizetype firstTilde = line.indexOf(u'~', levelColumn);
    if (firstTilde < 0) {
        description = trimSpaces(line);
    } else {
        description = trimSpacesRight(line.mid(levelColumn, firstTilde - levelColumn));
        const qsizetype secondTilde = line.indexOf(u'~', firstTilde + 1);
        if (secondTilde >= 0)
            document = documentDirectoryForm(line.mid(firstTilde + 1, secondTilde - firstTilde - 1));
    }

    // The description goes into a quoted SQL string literal.
    description.replace(u'\'', QStringLiteral("''"));

    Description = description;
    PatEdDocument = document;

    const qsizetype level = levelColumn + 1;
    return level > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max()
                                                       : static_cast<int32_t>(level);
}

QString documentDirectoryForm(const QString& field)
{
    // e: what follows the first "." of the field, or the whole field.
    const qsizetype dot = field.indexOf(u'.');
    const QString extension = dot < 0 ? field : field.mid(dot + 1);
    // t: e \ field; the result is t up to and including its first ".", then htm.
    const QString joined = extension + u'\\' + field;
    const qsizetype cut = joined.indexOf(u'.');
    return (cut < 0 ? QString() : joined.left(cut + 1)) + QStringLiteral("htm");
}

bool fieldForDirectoryForm(const QString& directoryForm, QString& field)
{
    field.clear();
    if (directoryForm == QLatin1String("htm"))
        return true; // an empty field, or one without a dot
    if (!directoryForm.endsWith(QLatin1String(".htm")))
        return false;
    const QString stem = directoryForm.chopped(4);
    const qsizetype slash = stem.indexOf(u'\\');
    if (slash >= 0) {
        // ext\name.htm comes from name.ext.
        field = stem.mid(slash + 1) + u'.' + stem.left(slash);
    } else {
        // name.htm without a directory comes from a field of two dots, whose
        // text after the first dot begins with the name.
        field = stem + u'.' + stem + QLatin1String(".htm");
    }
    return documentDirectoryForm(field) == directoryForm;
}
