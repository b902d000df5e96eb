#include "coding/CmdLoad.h"

#include "coding/CodeFile.h"
#include "coding/InputFile.h"
#include "store/UnitOfWork.h"
#include "text/TextFile.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace {

struct NumberedCodeLine {
    int64_t lineNumber = 0;
    CodeFileLine words;
};

// Loads `path` into the coding system `CodeSys`. Returns the reason when the
// load failed, after the unit of work has been rolled back; empty on success.
QString loadCodeFile(PatEdContext& ctx, const QString& CodeSys, const QString& path, LoadCounts& tally)
{
    // The whole file is read before the database is touched, so that the unit
    // below never waits on the file.
    TextFile file;
    QString reason;
    if (!file.open(path, &reason)) {
        if (file.openFailure() == TextFile::OpenFailure::Utf16)
            return reason + QStringLiteral(" No codes were loaded.");
        return reason + QStringLiteral(" No codes were loaded; check the file's folder and name and load it again.");
    }

    std::vector<NumberedCodeLine> lines;
    while (!file.atEnd()) {
        NumberedCodeLine line;
        const QString text = file.readLine();
        ++tally.linesRead;
        if (!splitCodeLine(text, line.words)) {
            ++tally.linesSkipped;
            tally.blankLines.note(file.lineNumber());
            continue;
        }
        line.lineNumber = file.lineNumber();
        lines.push_back(std::move(line));
    }
    file.close();

    UnitOfWork unit(ctx.store);
    if (!unit.begin())
        return QStringLiteral("No codes were loaded from %1: the database cannot be written now (%2). "
                              "Close any other program that uses it, then load the file again.")
            .arg(path, unit.error());

    CallStatus status;
    CodingSystemRecord system;
    system.CodingSystemID = 0;
    system.CodingSystemName = CodeSys;
    if (ctx.store.GetCodingSystem(system, status) == 0) {
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
    for (const NumberedCodeLine& line : lines) {
        if (!line.words.codes.isEmpty() && line.words.PatEdDocument.size() > record.PatEdDocument.width)
            tally.cutDocuments.note(line.lineNumber);
        for (const QString& code : line.words.codes) {
            record.CodeID = 0;
            record.Code = code;
            record.CodingSystemID = codingSystemId;
            record.CodeFlag = 0;
            record.Description = QString();
            record.PatEdDocument = line.words.PatEdDocument;
            if (code.size() > record.Code.width || line.words.PatEdDocument.size() > record.PatEdDocument.width)
                ++tally.textsCut;
            if (code.size() > record.Code.width)
                tally.cutCodes.note(line.lineNumber);
            if (ctx.store.InsertCode(record, status) == 0) {
                tally.codesStored = 0;
                return QStringLiteral("%1: line %2: the code \"%3\" could not be stored: %4. "
                                      "Nothing from this file was stored; correct the line or the database, then "
                                      "load the file again.")
                    .arg(path, QString::number(line.lineNumber), code, ctx.store.LastError());
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

    const QString path = chooseInputFile(ctx, ctx.vars.RunMode == QLatin1String("interactive"));
    if (path.isEmpty()) {
        if (!ctx.vars.BatchRun)
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
