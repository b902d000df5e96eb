#include "batch/BatchActions.h"

#include "coding/CmdClear.h"
#include "coding/CmdLoad.h"
#include "coding/CodeExport.h"
#include "coding/LoadCodingDescription.h"
#include "modules/ClearTopic.h"
#include "store/ByteForms.h"
#include "store/UnitOfWork.h"
#include "topics/BuildTopic.h"
#include "topics/IndexExport.h"

namespace {

// Appends the name to the list and selects it, so that the list's text is the name.
void selectName(PatEdContext& ctx, ListName list, const QString& name)
{
    ctx.ui.addListItem(list, name);
    ctx.ui.setListText(list, name);
}

// Re-creates the module: clears it with its index, inserts it anew, makes it
// the default module when none is set, and builds its index.
bool topicCreate(PatEdContext& ctx, const CommandLinePlan& plan, RunReport& report)
{
    selectName(ctx, ListName::ModuleList, plan.name);
    if (!ClearTopic_Click(ctx))
        return false;
    selectName(ctx, ListName::ModuleList, plan.name);

    CallStatus status;
    ModuleRecord module;
    module.ModuleID = 0;
    module.ModuleName = plan.name;
    module.DirectoryPrefix = plan.prefix;
    if (!ctx.store.InsertModule(module, status)) {
        ctx.ui.messageBox(
            QStringLiteral("The module \"%1\" could not be stored: %2").arg(plan.name, ctx.store.LastError()));
        return false;
    }

    PatEdDefaultsRecord defaults;
    defaults.DefaultsKey = QStringLiteral("   ");
    if (!ctx.store.GetPatEdDefaults(defaults, status)) {
        ctx.ui.messageBox(QStringLiteral("The defaults could not be read: %1").arg(ctx.store.LastError()));
        return false;
    }
    if (defaults.DefaultModule.trimmed().isEmpty()) {
        defaults.DefaultModule = plan.name;
        if (!ctx.store.SetPatEdDefaults(defaults, status)) {
            ctx.ui.messageBox(QStringLiteral("The default module could not be set: %1").arg(ctx.store.LastError()));
            return false;
        }
    }
    BuildCounts counts;
    if (!BuildTopic_Click(ctx, &counts))
        return false;
    report = topicCreateReport(plan.name, ctx.vars.BatchFileDir + ctx.vars.BatchFileName, counts);
    return true;
}

bool topicDelete(PatEdContext& ctx, const CommandLinePlan& plan, RunReport& report)
{
    selectName(ctx, ListName::ModuleList, plan.name);
    int deleted = 0;
    if (!ClearTopic_Click(ctx, &deleted))
        return false;
    // Deleting what is not there succeeds; the report says nothing matched.
    report = topicDeleteReport(plan.name, deleted);
    return true;
}

bool codeCreate(PatEdContext& ctx, const CommandLinePlan& plan, RunReport& report)
{
    selectName(ctx, ListName::CodeList, plan.name);
    if (!CmdClear_Click(ctx))
        return false;
    selectName(ctx, ListName::CodeList, plan.name);
    LoadCounts counts;
    if (!CmdLoad_Click(ctx, &counts))
        return false;
    report = codeCreateReport(plan.name, ctx.vars.BatchFileDir + ctx.vars.BatchFileName, counts);
    return true;
}

bool codeDelete(PatEdContext& ctx, const CommandLinePlan& plan, RunReport& report)
{
    selectName(ctx, ListName::CodeList, plan.name);
    int cleared = 0;
    if (!CmdClear_Click(ctx, &cleared))
        return false;
    report = codeDeleteReport(plan.name, cleared);
    return true;
}

bool codeDescription(PatEdContext& ctx, const CommandLinePlan& plan, RunReport& report)
{
    // The load itself only picks the layout by the name; a night job that
    // names a coding system the database does not have is told so.
    CallStatus status;
    CodingSystemRecord system;
    system.CodingSystemName = plan.name;
    if (!ctx.store.GetCodingSystem(system, status)) {
        ctx.ui.messageBox(QStringLiteral("No coding system named \"%1\" is in the database; no descriptions were "
                                         "loaded. Add the coding system first (see the README).")
                              .arg(plan.name));
        return false;
    }
    selectName(ctx, ListName::CodeList, plan.name);
    LoadCounts counts;
    if (!LoadCodingDescription(ctx, ctx.ui.listText(ListName::CodeList), &counts))
        return false;
    report = codeDescriptionReport(plan.name, ctx.vars.BatchFileDir + ctx.vars.BatchFileName, counts);
    return true;
}

bool isExport(BatchAction action)
{
    return action == BatchAction::TopicExport || action == BatchAction::CodeExport
        || action == BatchAction::CodeExportDescriptions;
}

// An export only reads the database: it takes no unit of work, so a writer
// in another process is neither held up nor holds it up. The output file is
// replaced whole, or left as it was.
bool runExport(PatEdContext& ctx, const CommandLinePlan& plan, RunReport& report)
{
    const QString path = plan.fileDir + plan.fileName;
    if (path.isEmpty()) {
        ctx.ui.messageBox(QStringLiteral("No output file was named on the command line. Give the file's folder "
                                         "and name after the name."));
        return false;
    }
    ExportCounts counts;
    QString failure;
    switch (plan.action) {
    case BatchAction::TopicExport:
        failure = exportTopicIndex(ctx, plan.name, path, counts);
        report = topicExportReport(plan.name, path, counts.recordsWritten);
        break;
    case BatchAction::CodeExport:
        failure = exportCodes(ctx, plan.name, path, counts);
        report = codeExportReport(plan.name, path, counts.recordsWritten, counts.linesWritten);
        break;
    default:
        failure = exportCodeDescriptions(ctx, plan.name, path, counts);
        report = descriptionExportReport(plan.name, path, counts.recordsWritten);
        break;
    }
    if (!failure.isEmpty()) {
        report = RunReport();
        ctx.ui.messageBox(failure);
        return false;
    }
    return true;
}

QString missingNameMessage(BatchAction action)
{
    switch (action) {
    case BatchAction::TopicCreate:
    case BatchAction::TopicDelete:
    case BatchAction::TopicExport:
        return QStringLiteral("No module name was given on the command line.");
    default:
        return QStringLiteral("No coding system name was given on the command line.");
    }
}

// Why a name from the command line cannot be used: one that the code page
// cannot hold would be stored under one text and looked up under another.
// Empty when the names can be used.
QString unrepresentableName(const CommandLinePlan& plan)
{
    if (plan.action == BatchAction::TopicCreate || plan.action == BatchAction::TopicDelete) {
        ModuleRecord module;
        module.ModuleName = plan.name;
        if (plan.action == BatchAction::TopicCreate)
            module.DirectoryPrefix = plan.prefix;
        return unrepresentableNames(module);
    }
    if (plan.action == BatchAction::TopicExport) {
        ModuleRecord module;
        module.ModuleName = plan.name;
        return unrepresentableNames(module);
    }
    CodingSystemRecord system;
    system.CodingSystemName = plan.name;
    return unrepresentableNames(system);
}

// The work of a batch run is written when its unit commits, after the last
// line of its input file has been read: a full disk or a failing disk shows up
// there, and the operator is told which file and line the run had reached.
QString commitFailureMessage(PatEdContext& ctx, const CommandLinePlan& plan, const QString& reason)
{
    const bool readsFile = plan.action == BatchAction::TopicCreate || plan.action == BatchAction::CodeCreate
        || plan.action == BatchAction::CodeDescription;
    if (!readsFile)
        return QStringLiteral("The changes could not be saved to %1: %2. Nothing was changed; run it again.")
            .arg(ctx.vars.DbPath, reason);
    const QString path = plan.fileDir + plan.fileName;
    const int32_t lines = ctx.store.FileLineCount(path);
    const QString where = lines > 0 ? QStringLiteral("line %1 (the end of the file)").arg(lines)
                                    : QStringLiteral("the end of the file");
    return QStringLiteral("%1: %2: the changes could not be saved to %3: %4. Nothing from this file was stored; "
                          "check that the disk has room and works, then run it again.")
        .arg(path, where, ctx.vars.DbPath, reason);
}

// The library found the database file damaged: nothing was written to it.
QString damagedMessage(const QString& reason)
{
    return QStringLiteral("Nothing was changed: %1. Restore the database from a backup, then run again.").arg(reason);
}

} // namespace

bool runBatchAction(PatEdContext& ctx, const CommandLinePlan& plan, RunReport& report, bool& damaged)
{
    if (plan.name.isEmpty()) {
        ctx.ui.messageBox(missingNameMessage(plan.action));
        return false;
    }
    if (const QString reason = unrepresentableName(plan); !reason.isEmpty()) {
        ctx.ui.messageBox(reason.left(1).toUpper() + reason.mid(1) + QStringLiteral("; nothing was changed."));
        return false;
    }
    if (isExport(plan.action))
        return runExport(ctx, plan, report);
    UnitOfWork unit(ctx.store);
    if (!unit.begin()) {
        damaged = unit.damaged();
        ctx.ui.messageBox(damaged
                ? damagedMessage(unit.error())
                : QStringLiteral("The database %1 could not be changed: %2").arg(ctx.vars.DbPath, unit.error()));
        return false;
    }
    bool ok = false;
    RunReport done;
    switch (plan.action) {
    case BatchAction::TopicCreate:
        ok = topicCreate(ctx, plan, done);
        break;
    case BatchAction::TopicDelete:
        ok = topicDelete(ctx, plan, done);
        break;
    case BatchAction::CodeCreate:
        ok = codeCreate(ctx, plan, done);
        break;
    case BatchAction::CodeDelete:
        ok = codeDelete(ctx, plan, done);
        break;
    case BatchAction::CodeDescription:
        ok = codeDescription(ctx, plan, done);
        break;
    case BatchAction::TopicExport:
    case BatchAction::CodeExport:
    case BatchAction::CodeExportDescriptions:
    case BatchAction::None:
        break;
    }
    if (!ok) {
        // The handler has said why; a damaged file ends the run as unusable.
        unit.rollback();
        damaged = unit.damaged();
        return false;
    }
    if (!unit.commit()) {
        damaged = unit.damaged();
        ctx.ui.messageBox(damaged ? damagedMessage(unit.error()) : commitFailureMessage(ctx, plan, unit.error()));
        return false;
    }
    report = done;
    return true;
}

