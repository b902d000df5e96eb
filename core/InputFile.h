// The input file of a build or load: choosing it, and reading its lines.
#pragma once

#include "core/PatEdContext.h"
#include "text/TextFile.h"

#include <QString>

#include <cstdint>

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

// Opens the input file of a load into `file`. Returns why it cannot be read,
// saying that no `what` (e.g. "codes") were loaded; empty when it is open.
QString openInputFile(TextFile& file, const QString& path, const QString& what);

// Reads lines of `file` up to the next one that `parse(text, line.fields)`
// accepts and sets `line` to it with its number; false at the end of the
// file. The lines it does not accept are counted as skipped and handed to
// `skipped(text, lineNumber)`. `tally` counts the lines in its `linesRead`
// and `linesSkipped`. A load reads its file this way inside its unit of work,
// one line at a time, so that memory does not grow with the file; `line` is
// reused from call to call.
template <class Fields, class Tally, class Parse, class Skipped>
bool nextInputLine(TextFile& file, Tally& tally, NumberedLine<Fields>& line, const Parse& parse, const Skipped& skipped)
{
    while (!file.atEnd()) {
        const QString text = file.readLine();
        ++tally.linesRead;
        if (!parse(text, line.fields)) {
            ++tally.linesSkipped;
            skipped(text, file.lineNumber());
            continue;
        }
        line.lineNumber = file.lineNumber();
        return true;
    }
    return false;
}

// Reads the rest of `file` as nextInputLine() does, storing nothing: a load
// that failed still counts every line of its file.
template <class Fields, class Tally, class Parse, class Skipped>
void countRemainingLines(
    TextFile& file, Tally& tally, NumberedLine<Fields>& line, const Parse& parse, const Skipped& skipped)
{
    while (nextInputLine(file, tally, line, parse, skipped)) { }
}
