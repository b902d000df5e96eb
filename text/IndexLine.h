// Reading one line of an index file as level, description and document.
#pragma once

#include "text/TextFile.h"

#include <QString>

#include <cstdint>

// Reads the next line of `file`. Returns the line's level (the column of its
// first non-space character, 1 or more) and sets `Description` (apostrophes
// doubled) and `PatEdDocument` (the "~" field in directory form, as
// pdf\asthma.htm). At the end of the file returns -1 and leaves both outputs
// as they were.
int32_t ReadNextLine(TextFile& file, QString& Description, QString& PatEdDocument);

// The same split applied to one line already read.
int32_t splitIndexLine(const QString& line, QString& Description, QString& PatEdDocument);

// The text without the space characters at its end, or at both ends.
// Only the space is trimmed; tabs are ordinary text.
QStringView trimSpacesRight(QStringView text);
QStringView trimSpaces(QStringView text);

// "name.ext" -> "ext\name.htm" (the extension becomes a directory): the
// derivation shared by index lines and code files.
QString documentDirectoryForm(QStringView field);

// The "~" field of an index line whose document the reader turns into
// `directoryForm` (pdf\asthma.htm -> asthma.pdf, htm -> the empty field).
// False when no field gives that form.
bool fieldForDirectoryForm(const QString& directoryForm, QString& field);
