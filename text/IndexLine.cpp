#include "text/IndexLine.h"

#include <limits>

QStringView trimSpacesRight(QStringView text)
{
    while (!text.isEmpty() && text.back() == u' ')
        text.chop(1);
    return text;
}

QStringView trimSpaces(QStringView text)
{
    while (!text.isEmpty() && text.front() == u' ')
        text = text.sliced(1);
    return trimSpacesRight(text);
}

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
        description = trimSpaces(line).toString();
    } else {
        description = trimSpacesRight(QStringView(line).mid(levelColumn, firstTilde - levelColumn)).toString();
        const qsizetype secondTilde = line.indexOf(u'~', firstTilde + 1);
        if (secondTilde >= 0)
            document = documentDirectoryForm(QStringView(line).mid(firstTilde + 1, secondTilde - firstTilde - 1));
    }

    // The description goes into a quoted SQL string literal.
    description.replace(u'\'', QStringLiteral("''"));

    Description = description;
    PatEdDocument = document;

    const qsizetype level = levelColumn + 1;
    return level > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max()
                                                       : static_cast<int32_t>(level);
}

QString documentDirectoryForm(QStringView field)
{
    // e: what follows the first "." of the field, or the whole field.
    // t: e \ field; the result is t up to and including its first ".", then
    // htm. That first dot is e's own when the field has two dots, else the
    // field's first (after e and the backslash), else there is none.
    const qsizetype dot = field.indexOf(u'.');
    if (dot < 0)
        return QStringLiteral("htm");
    const QStringView extension = field.sliced(dot + 1);
    QString form;
    const qsizetype extensionDot = extension.indexOf(u'.');
    if (extensionDot >= 0) {
        form.reserve(extensionDot + 4);
        form.append(extension.left(extensionDot + 1));
    } else {
        form.reserve(extension.size() + dot + 5);
        form.append(extension).append(u'\\').append(field.left(dot + 1));
    }
    return form.append(QLatin1String("htm"));
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
