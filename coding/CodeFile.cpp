#include "coding/CodeFile.h"

#include "text/IndexLine.h"
#include "text/Tokens.h"

bool isBlankName(const QString& name)
{
    for (const QChar c : name)
        if (c != u' ')
            return false;
    return true;
}

QString codeDocumentPath(const QString& documentWord)
{
    // The closing character is dropped without being looked at.
    return documentDirectoryForm(documentWord.left(documentWord.size() - 1));
}

bool splitCodeLine(const QString& line, CodeFileLine& words)
{
    words = CodeFileLine();

    // The words that getnexttoken gives one call at a time, taken in one pass
    // over the line: a line of many codes would otherwise copy its rest once
    // per code. A run of spaces gives no empty codes.
    TokenWalk walk(line);
    QStringView word;
    if (!walk.next(word))
        return false;
    words.PatEdDocument = codeDocumentPath(word.toString());
    while (walk.next(word))
        words.codes.append(word.toString());
    return true;
}

DescriptionLayout descriptionLayoutFor(const QString& CodeSys)
{
    return CodeSys == QLatin1String("ICD") ? DescriptionLayout::ICD : DescriptionLayout::Other;
}

int minimumDescriptionLine(DescriptionLayout layout) { return layout == DescriptionLayout::ICD ? 11 : 7; }

bool splitDescriptionLine(const QString& line, DescriptionLayout layout, DescriptionLine& fields)
{
    fields = DescriptionLine();

    const qsizetype length = line.size();
    if (length < minimumDescriptionLine(layout))
        return false;

    // Positions below count from 1, as in the file's description; the
    // description stops one character before the end of the line.
    if (layout == DescriptionLayout::ICD) {
        fields.Code = line.mid(1, 6); // 2 to 7
        fields.Description = line.mid(10, length - 11); // 11 to length - 1
    } else {
        fields.Code = line.mid(0, 5); // 1 to 5
        fields.Description = line.mid(6, length - 7); // 7 to length - 1
    }
    return true;
}
