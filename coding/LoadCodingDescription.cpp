#include "coding/LoadCodingDescription.h"

#include "coding/CodeFile.h"
#include "coding/InputFile.h"
#include "store/UnitOfWork.h"
#include "text/TextFile.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace {

struct NumberedDescriptionLine {
    int64_t lineNumber = 0;
    DescriptionLine fields;
};

// Returns the reason when the load failed, after the unit of work has been
// rolled back; empty on success.
QString loadDescriptionFile(PatEdContext& ctx, const QString& CodeSys, const QString& path, LoadCounts& tally)
{
    TextFile file;
    QString reason;
    if (!file.open(path, &reason)) {
        if (file.openFailure() == TextFile::OpenFailure::Utf16)
            return reason + QStringLiteral(" No descriptions were loaded.");
        return reason
            + QStringLiteral(" No descriptions were loaded; check the file's folder and name and load it again.");
    }

    const DescriptionLayout layout = descriptionLayoutFor(CodeSys);
    std::vector<NumberedDescriptionLine> lines;
    while (!file.atEnd()) {
        NumberedDescriptionLine line;
        const QString text = file.readLine();
        ++tally.linesRead;
        if (!splitDescriptionLine(text, layout, line.fields)) {
            ++tally.linesSkipped;
            if (isBlankName(text))
                tally.blankLines.note(file.lineNumber());
            else
                tally.shortLines.note(file.lineNumber());
            continue;
        }
        line.lineNumber = file.lineNumber();
        lines.push_back(std::move(line));
    }
    file.close();

    UnitOfWork unit(ctx.store);
    if (!unit.begin())
        return QStringLiteral("No descriptions were loaded from %1: the database cannot be written now (%2). "
                              "Close any other program that uses it, then load the file again.")
            .arg(path, unit.error());

    // One record for the whole file: only Code and Description are set per
    // line; the other fields carry what the previous SetCode left in them.
    CodeRecord record;
    CallStatus status;
    for (const NumberedDescriptionLine& line : lines) {
        record.Code = line.fields.Code;
        // Sent as read: the library stores record text exactly as sent, so
        // an apostrophe stays single.
        record.Description = line.fields.Description;
        if (line.fields.Description.size() > record.Description.width) {
            ++tally.descriptionsCut;
            tally.cutDescriptions.note(line.lineNumber);
        }
        if (ctx.store.SetCode(record, status) == 0) {
            tally.codesStored = 0;
            return QStringLiteral("%1: line %2: the description of the code \"%3\" could not be stored: %4. "
                                  "Nothing from this file was stored; correct the line or load the code file "
                                  "first, then load the descriptions again.")
                .arg(path, QString::number(line.lineNumber), line.fields.Code, ctx.store.LastError());
        }
        ++tally.codesStored;
    }

    if (!unit.commit()) {
        tally.codesStored = 0;
        return QStringLiteral("The descriptions of %1 could not be stored: %2. Nothing from this file was stored; "
                              "load it again.")
            .arg(path, unit.error());
    }
    return QString();
}

} // namespace

bool LoadCodeDescription_Click(PatEdContext& ctx, LoadCounts* counts)
{
    return LoadCodingDescription(ctx, ctx.ui.listText(ListName::CodeList), counts);
}

bool LoadCodingDescription(PatEdContext& ctx, const QString& CodeSys, LoadCounts* counts)
{
    LoadCounts tally;
    if (counts)
        *counts = tally;

    // Interactively the dialog is always shown; a batch run names the file.
    const QString path = chooseInputFile(ctx, !ctx.vars.BatchRun);

    // The pointer is busy from the moment the dialog closes, also when no
    // file was chosen.
    ctx.ui.setBusy(true);
    if (path.isEmpty()) {
        ctx.ui.setBusy(false);
        if (!ctx.vars.BatchRun)
            return true; // the operator chose no file
        ctx.ui.messageBox(QStringLiteral("No coding description file was named on the command line. Give the "
                                         "file's folder and name after the coding system's name."));
        return false;
    }

    const QString failure = loadDescriptionFile(ctx, CodeSys, path, tally);
    ctx.ui.setBusy(false);

    if (counts)
        *counts = tally;
    if (!failure.isEmpty()) {
        ctx.ui.messageBox(failure);
        return false;
    }
    return true;
}
