#include "topics/BuildTopic.h"

#include "core/InputFile.h"
#include "modules/ModuleList.h"
#include "text/TextFile.h"

namespace {

// Ends a build: pointer, file, progress window, then the message of a failure
// (shown once its unit has ended).
struct BuildEnd {
    PatEdContext& ctx;
    TextFile& file;
    void operator()(const QString& failure) const
    {
        ctx.ui.setBusy(false);
        file.close();
        ctx.ui.loadStatus().unload();
        if (!failure.isEmpty())
            ctx.ui.messageBox(failure);
    }
};

} // namespace

bool BuildTopic_Click(PatEdContext& ctx, BuildCounts* counts)
{
    // 1. The file: from the command line after a mode word, else from the dialog.
    const QString path = chooseInputFile(ctx, !ctx.vars.fileFromCommandLine());
    if (path.isEmpty()) {
        if (ctx.vars.batchRun()) {
            ctx.ui.messageBox(QStringLiteral("No index file was named on the command line."));
            return false;
        }
        return true;
    }

    // 2. Progress window and busy pointer.
    ctx.ui.refreshMain();
    ProgressWindow& progress = ctx.ui.loadStatus();
    progress.show();
    progress.refresh();
    ctx.ui.setBusy(true);

    TextFile file;
    const BuildEnd end {ctx, file};

    // 3. A module must be selected. The message is shown while the progress
    // window still shows "Loading...", then the window is unloaded.
    const QString moduleName = ctx.ui.listText(ListName::ModuleList);
    if (moduleName.isEmpty()) {
        // The message waits for the operator: no unit is open yet.
        ctx.ui.messageBox(QString::fromLatin1(kSelectModuleMessage));
        end(QString());
        return false;
    }

    // The whole file is read before the database is touched, so an unreadable
    // file changes nothing.
    QString error;
    if (!file.open(path, &error)) {
        end(error + QStringLiteral(" Choose a readable index file and build again."));
        return false;
    }

    // 4. Line count for the progress bar, then the build in its unit of work.
    const int32_t lineTotal = ctx.store.FileLineCount(path);
    BuildCounts done;
    const QString failure = IndexBuild(ctx, file, path, moduleName, lineTotal).run(done);

    // 5. Pointer, file, progress window; a failure is shown once the unit has ended.
    end(failure);
    if (!failure.isEmpty())
        return false;
    if (counts)
        *counts = done;
    return true;
}
