// Writing a coding system's codes back out: as a code file that a load reads
// into the same codes and documents, and as a coding description file in the
// layout that a description load reads for that system.
//
// The codes are read from the library a page at a time in code order and
// written as they come, so that a system of any size takes the same memory.
// Code file: the codes that follow each other in code order with the same
// document share one line, "asthma.pdf, J45.20 J45.30"; the document word is
// the name.ext that gives the stored path back (pdf\asthma.htm) and its
// closing ",". Description file: one line per code that has a description,
// "\"J45.20\",\"Asthma, mild\"" for ICD, "89101|Teaching visit|" otherwise.
#pragma once

#include "coding/CodeFile.h"
#include "core/PatEdContext.h"
#include "store/Structures.h"
#include "text/IndexLine.h"
#include "text/OutputTextFile.h"

#include <QString>
#include <QStringList>

// The document word of a code file line whose stored path is `path`
// (pdf\asthma.htm -> "asthma.pdf,"). False when no word gives that path.
bool documentWordForPath(const QString& path, QString& word);

// The codes of one system as code file lines, code by code in code order.
class CodeLines {
public:
    // Takes the next code. When it begins a new line, `finished` is set to
    // the line it ends and true is returned in `hasFinished`. False with
    // `problem` when the code cannot be written.
    bool add(const CodeRecord& code, QString& finished, bool& hasFinished, QString& problem);
    // The last line, after the last code; false when there was no code.
    bool finish(QString& finished);
    // The 1-based line of the code that add() refused last.
    int64_t problemLine() const { return m_problemLine; }

private:
    int64_t m_started = 0; // lines begun
    int64_t m_problemLine = 0;
    QString m_document; // the stored path of the line being gathered
    QString m_line;
};

// The description line of `code` in `layout`, or false with `problem`.
// `description` is the stored description (blanks at its end do not count).
bool descriptionLineFor(
    DescriptionLayout layout, const QString& code, const QString& description, QString& line, QString& problem);

// How many codes one page of SearchCodes holds.
constexpr int32_t kCodesPerPage = 2000;

// Each writes the codes of the coding system `name` to `path` (replaced
// whole, or left as it was on failure) and returns why it failed, in one
// line; empty on success.
QString exportCodes(PatEdContext& ctx, const QString& name, const QString& path, ExportCounts& counts);
QString exportCodeDescriptions(PatEdContext& ctx, const QString& name, const QString& path, ExportCounts& counts);
