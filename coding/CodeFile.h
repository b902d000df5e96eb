// The two input files of a coding system, one line at a time.
//
// Code file line: a document word (name, point, suffix, one closing character)
// followed by the codes that lead to that document, all separated by spaces.
// Coding description line: a code and its description at fixed positions; the
// coding system "ICD" has a layout of its own, every other system shares a
// second one. The last character of a description line is never read.
#pragma once

#include <QString>
#include <QStringList>

// True for a name that is empty or holds spaces only.
bool isBlankName(const QString& name);

// The words of one code file line.
struct CodeFileLine {
    QString PatEdDocument; // the document in directory form, as xyz\abc.htm
    QStringList codes; // in the order of the line; possibly none
};

// The stored path of a document word: the closing character is dropped, then
// name.ext becomes ext\name.htm (abc.xyz, -> xyz\abc.htm).
QString codeDocumentPath(const QString& documentWord);

// Splits a code file line into the words that getnexttoken gives (see
// TokenWalk), in time linear in the line's length. False for an empty or
// all-blank line, which has no document word and is skipped.
bool splitCodeLine(const QString& line, CodeFileLine& words);

enum class DescriptionLayout {
    ICD, // 1 not read, code 2-7, 8-10 not read, description 11 to the next-to-last
    Other, // code 1-5, 6 not read, description 7 to the next-to-last
};

// "ICD" exactly (case-sensitive, not trimmed) selects the ICD layout; any
// other name, the empty one included, the second layout.
DescriptionLayout descriptionLayoutFor(const QString& CodeSys);

// The shortest line that a layout reads: 11 characters for ICD, 7 otherwise.
int minimumDescriptionLine(DescriptionLayout layout);

struct DescriptionLine {
    QString Code;
    QString Description; // as read: apostrophes stay single, nothing is cut here
};

// Takes the code and the description from their positions. False for a line
// shorter than its layout needs (an empty line included), which is skipped.
bool splitDescriptionLine(const QString& line, DescriptionLayout layout, DescriptionLine& fields);
