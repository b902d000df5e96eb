#include "coding/CmdLoad.h"

#include "coding/CodeFile.h"
#include "core/InputFile.h"
#include "store/UnitOfWork.h"

#include <cstdint>

namespace {

// Loads `path` into the coding system `CodeSys`. Returns the reason when the
// load failed, after the unit of work has been rolled back; empty on success.
QString loadCodeFile(PatEdContext& ctx, const QString& CodeSys, const QString& path, LoadCounts& tally)
{
    TextFile file;
    if (QString reason = openInputFile(file, path, QStringLiteral("codes")); !reason.isEmpty())
        return reason;
    NumberedLine<CodeFileLine> line;
    const auto parse = [](const QString& text, CodeFileLine& fields) { return splitCodeLine(text, fields); };
    const auto skipped = [&tally](const QString&, int64_t lineNumber) { tally.blankLines.note(lineNumber); };
    const auto countRest = [&]() { countRemainingLines(file, tally, line, parse, skipped); };

    UnitOfWork unit(ctx.store);
    if (!unit.begin()) {
        countRest();
        return QStringLiteral("No codes were loaded from %1: the database cannot be written now (%2). "
                              "Close any other program that uses it, then load the file again.")
            .arg(path, unit.error());
    }

    CallStatus status;
    CodingSystemRecord system;
    system.CodingSystemID = 0;
    system.CodingSystemName = CodeSys;
    if (ctx.store.GetCodingSystem(system, status) == 0) {
        countRest();
        if (isBlankName(CodeSys))
            return QStringLiteral("No codes were loaded from %1: no coding system was selected. "
                                  "Select the coding system in the list (or name it on the command line), then "
                                  "load the file again.")
                .arg(path);
        return QStringLiteral("No codes were loaded from %1: the coding system \"%2\" is not in the database. "
                              "Add a coding system of that name to the database, then load the file again.")
            .arg(path, CodeSys);
    }
    const int32_t codingSystemId = system.CodingSystemID;

    CodeRecord record;
    while (nextInputLine(file, tally, line, parse, skipped)) {
        if (!line.fields.codes.isEmpty() && line.fields.PatEdDocument.size() > record.PatEdDocument.width)
            tally.cutDocuments.note(line.lineNumber);
        for (const QString& code : line.fields.codes) {
            record.CodeID = 0;
            record.Code = code;
            record.CodingSystemID = codingSystemId;
            record.CodeFlag = 0;
            record.Description = QString();
            record.PatEdDocument = line.fields.PatEdDocument;
            if (code.size() > record.Code.width || line.fields.PatEdDocument.size() > record.PatEdDocument.width)
                ++tally.textsCut;
            if (code.size() > record.Code.width)
                tally.cutCodes.note(line.lineNumber);
            if (ctx.store.InsertCode(record, status) == 0) {
                tally.codesStored = 0;
                const QString number = QString::number(line.lineNumber);
                const QString failed = code;
                countRest();
                return QStringLiteral("%1: line %2: the code \"%3\" could not be stored: %4. "
                                      "Nothing from this file was stored; correct the line or the database, then "
                                      "load the file again.")
                    .arg(path, number, failed, ctx.store.LastError());
            }
            ++tally.codesStored;
        }
    }

    if (!unit.commit()) {
        tally.codesStored = 0;
        return QStringLiteral("The codes of %1 could not be stored: %2. Nothing from this file was stored; "
                              "load it again.")
            .arg(path, unit.error());
    }
    return QString();
}

} // namespace

bool CmdLoad_Click(PatEdContext& ctx, LoadCounts* counts)
{
    LoadCounts tally;
    if (counts)
        *counts = tally;

    const QString path = chooseInputFile(ctx, !ctx.vars.fileFromCommandLine());
    if (path.isEmpty()) {
        if (!ctx.vars.batchRun())
            return true; // the operator chose no file
        ctx.ui.messageBox(QStringLiteral("No code file was named on the command line. Give the file's folder and "
                                         "name after the coding system's name."));
        return false;
    }

    ctx.ui.setBusy(true);
    const QString failure = loadCodeFile(ctx, ctx.ui.listText(ListName::CodeList), path, tally);
    ctx.ui.setBusy(false);

    if (counts)
        *counts = tally;
    if (!failure.isEmpty()) {
        ctx.ui.messageBox(failure);
        return false;
    }
    return true;
}
