#include "batch/Startup.h"

#include "batch/BatchActions.h"
#include "encoding/CodePage.h"
#include "kovadel/DatabaseUri.h"
#include "modules/ModuleList.h"
#include "store/Interruption.h"

namespace {

// The database as messages name it: a server URI with its password masked.
QString shownDatabase(const QString& database)
{
    if (!kovadel::isPostgresUri(database.toStdString()))
        return database;
    return QString::fromStdString(kovadel::maskedUri(database.toStdString()));
}

void fillCodeList(PatEdContext& ctx)
{
    CallStatus status;
    std::vector<CodingSystemRecord> systems(1);
    ctx.store.GetCodingSystems(systems, status);
    for (const CodingSystemRecord& system : systems)
        ctx.ui.addListItem(ListName::CodeList, system.CodingSystemName.trimmed());
}

// A setting of the environment that is not valid: `reason` names the
// variable and its value.
QString badSettingMessage(const QString& reason)
{
    return QStringLiteral("%1. Nothing was opened; correct the setting and start VELKINDEX again.").arg(reason);
}

} // namespace

StartupOutcome Form_Load(PatEdContext& ctx, const CommandLinePlan& plan)
{
    MainVariables& v = ctx.vars;
    StartupOutcome outcome;

    // The settings the program reads itself are checked before anything is
    // opened, the dialog included; the library checks its own in StartVelk.
    if (const std::string& problem = encoding::ansiCodePageProblem(); !problem.empty()) {
        ctx.ui.messageBox(badSettingMessage(QString::fromLocal8Bit(problem)));
        outcome.exitStatus = kExitCannotStart;
        return outcome;
    }

    // 1-2. The database: from the command line, or chosen in the dialog.
    v.DbPath = plan.dbPath;
    if (v.DbPath.isEmpty()) {
        OpenFileDialog& dialog = ctx.ui.commonDialog();
        // The second entry, shown first, lists the SQLite databases that
        // this program makes; the first keeps the older name.
        dialog.setFilter(QStringLiteral("DB File (*.mdb)|*.mdb|SQLite Database (*.db)|*.db"));
        dialog.setFilterIndex(2);
        dialog.showOpen();
        v.DbPath = dialog.fileName();
    }

    // 3. Mode word and verb.
    v.RunMode = plan.runMode;
    v.RunAction = plan.runAction;

    try {
        // 4. Open the database.
        if (v.DbPath.isEmpty()) {
            ctx.ui.messageBox(QStringLiteral("No database was chosen. Start VELKINDEX again and choose a database "
                                             "file, or name one on the command line."));
            outcome.exitStatus = kExitCannotStart;
            return outcome;
        }
        const int32_t started = ctx.store.StartVelk(v.DbPath, QStringLiteral("ADMIN"), QString());
        if (started == Externals::kStartBadSetting) {
            ctx.ui.messageBox(badSettingMessage(ctx.store.LastError()));
            outcome.exitStatus = kExitCannotStart;
            return outcome;
        }
        if (started == Externals::kStartBusy) {
            // Another program held the database for the whole wait: a batch
            // run failed and can be run again; the window cannot start.
            ctx.ui.messageBox(QStringLiteral("The database %1 could not be opened: %2. Nothing was changed; run it "
                                             "again once the other program has finished with the database.")
                                  .arg(shownDatabase(v.DbPath), ctx.store.LastError()));
            outcome.exitStatus = plan.action == BatchAction::None ? kExitCannotStart : kExitFailed;
            return outcome;
        }
        if (started <= 0) {
            ctx.ui.messageBox(QStringLiteral("The database %1 could not be opened: %2. Check the path and the file's "
                                             "permissions, then start VELKINDEX again.")
                                  .arg(shownDatabase(v.DbPath), ctx.store.LastError()));
            outcome.exitStatus = kExitCannotStart;
            return outcome;
        }
        outcome.databaseOpen = true;

        // 5-6. Both lists from the database.
        refillModuleList(ctx, ModuleRecord());
        ctx.ui.clearList(ListName::CodeList);
        fillCodeList(ctx);

        // 7. Dispatch.
        v.RunMode = runModeFor(plan.runMode);
        if (plan.action == BatchAction::None) {
            outcome.showWindow = true;
            return outcome;
        }
        v.BatchTargetName = plan.name;
        v.BatchFileDir = plan.fileDir;
        v.BatchFileName = plan.fileName;
        bool damaged = false;
        const bool ok = runBatchAction(ctx, plan, outcome.report, damaged);
        outcome.exitStatus = ok ? kExitOk : damaged ? kExitCannotStart : kExitFailed;
    } catch (const InterruptedError&) {
        // A signal stopped the run before its unit committed; the unit has
        // rolled back on the way here.
        ctx.ui.messageBox(QStringLiteral("interrupted: nothing was changed"));
        outcome.showWindow = false;
        outcome.exitStatus = kExitFailed;
    } catch (const ExternalsError& error) {
        // The library or one of its functions is missing: nothing can be done.
        ctx.ui.messageBox(QString::fromUtf8(error.what()));
        outcome.showWindow = false;
        outcome.exitStatus = kExitCannotStart;
    }
    return outcome;
}
