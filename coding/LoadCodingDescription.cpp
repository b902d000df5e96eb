#include "coding/LoadCodingDescription.h"

#include "coding/CodeFile.h"
#include "core/InputFile.h"
#include "store/UnitOfWork.h"

#include <cstdint>

namespace {

// Returns the reason when the load failed, after the unit of work has been
// rolled back; empty on success.
QString loadDescriptionFile(PatEdContext& ctx, const QString& CodeSys, const QString& path, LoadCounts& tally)
{
    const DescriptionLayout layout = descriptionLayoutFor(CodeSys);
    const auto parse = [layout](const QString& text, DescriptionLine& fields) {
        return splitDescriptionLine(text, layout, fields);
    };
    const auto skipped = [&tally](const QString& text, int64_t lineNumber) {
        (isBlankName(text) ? tally.blankLines : tally.shortLines).note(lineNumber);
    };
    TextFile file;
    if (QString reason = openInputFile(file, path, QStringLiteral("descriptions")); !reason.isEmpty())
        return reason;
    NumberedLine<DescriptionLine> line;
    const auto countRest = [&]() { countRemainingLines(file, tally, line, parse, skipped); };

    UnitOfWork unit(ctx.store);
    if (!unit.begin()) {
        countRest();
        return QStringLiteral("No descriptions were loaded from %1: the database cannot be written now (%2). "
                              "Close any other program that uses it, then load the file again.")
            .arg(path, unit.error());
    }

    // One record for the whole file: only Code and Description are set per
    // line; the other fields carry what the previous SetCode left in them.
    CodeRecord record;
    CallStatus status;
    while (nextInputLine(file, tally, line, parse, skipped)) {
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
            const QString number = QString::number(line.lineNumber);
            const QString failed = line.fields.Code;
            countRest();
            return QStringLiteral("%1: line %2: the description of the code \"%3\" could not be stored: %4. "
                                  "Nothing from this file was stored; correct the line or load the code file "
                                  "first, then load the descriptions again.")
                .arg(path, number, failed, ctx.store.LastError());
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
    const QString path = chooseInputFile(ctx, !ctx.vars.batchRun());

    // The pointer is busy from the moment the dialog closes, also when no
    // file was chosen.
    ctx.ui.setBusy(true);
    if (path.isEmpty()) {
        ctx.ui.setBusy(false);
        if (!ctx.vars.batchRun())
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
