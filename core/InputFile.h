// The input file of a build or load: choosing it, and reading its lines.
#pragma once

#include "core/PatEdContext.h"
#include "text/TextFile.h"

#include <QString>

#include <cstdint>
#include <utility>
#include <vector>

// The filter of the shared dialog for code and coding description files.
QString inputFileFilter();

// With `showDialog`, asks through the shared dialog (index files offered
// first) and returns the confirmed path, empty when the operator cancelled.
// Otherwise returns BatchFileDir followed directly by BatchFileName, which the
// dialog keeps as its last file name, as if it had been chosen there.
QString chooseInputFile(PatEdContext& ctx, bool showDialog);

// One line of an input file that its parser accepted, with its 1-based number.
template <class Fields> struct NumberedLine {
    int64_t lineNumber = 0;
    Fields fields;
};

// Reads the whole input file before the database is touched, so that a unit
// of work never waits on the file. Every line goes to `parse(text, fields)`;
// the lines it accepts are kept in `lines` with their numbers, the others are
// counted as skipped and handed to `skipped(text, lineNumber)`. `tally`
// counts the lines in its `linesRead` and `linesSkipped`. Returns why the
// file cannot be read, saying that no `what` (e.g. "codes") were loaded;
// empty when it was read.
template <class Fields, class Tally, class Parse, class Skipped>
QString readInputLines(const QString& path, const QString& what, Tally& tally,
    std::vector<NumberedLine<Fields>>& lines, Parse parse, Skipped skipped)
{
    TextFile file;
    QString reason;
    if (!file.open(path, &reason)) {
        if (file.openFailure() == TextFile::OpenFailure::Utf16)
            return reason + QStringLiteral(" No %1 were loaded.").arg(what);
        return reason
            + QStringLiteral(" No %1 were loaded; check the file's folder and name and load it again.").arg(what);
    }
    while (!file.atEnd()) {
        NumberedLine<Fields> line;
        const QString text = file.readLine();
        ++tally.linesRead;
        if (!parse(text, line.fields)) {
            ++tally.linesSkipped;
            skipped(text, file.lineNumber());
            continue;
        }
        line.lineNumber = file.lineNumber();
        lines.push_back(std::move(line));
    }
    return QString();
}
