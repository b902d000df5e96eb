#include "app/WindowCommands.h"

#include "batch/RunSummary.h"
#include "coding/CmdClear.h"
#include "coding/CmdLoad.h"
#include "coding/LoadCodingDescription.h"
#include "modules/CreateModule.h"
#include "store/Interruption.h"
#include "topics/BuildTopic.h"
#include "modules/ClearTopic.h"

namespace {

// Runs one handler; a library or function that cannot be bound is told to the
// operator instead of ending the program. A handler stopped by a signal has
// rolled its unit back on the way out; its pointer and progress window go,
// and `interrupted` ends the program.
std::function<void()> guardedBy(
    PatEdContext& ctx, const std::function<void()>& interrupted, std::function<void()> handler)
{
    return [&ctx, interrupted, handler = std::move(handler)]() {
        try {
            handler();
        } catch (const InterruptedError&) {
            ctx.ui.setBusy(false);
            ctx.ui.loadStatus().unload();
            if (interrupted)
                interrupted();
        } catch (const ExternalsError& error) {
            ctx.ui.setBusy(false);
            ctx.ui.messageBox(QString::fromUtf8(error.what()));
        }
    };
}

} // namespace

PatEdConfig::Commands windowCommands(PatEdContext& ctx, PatEdConfig& window, std::function<void()> interrupted)
{
    auto guarded = [&interrupted](PatEdContext& context, std::function<void()> handler) {
        return guardedBy(context, interrupted, std::move(handler));
    };
    PatEdConfig::Commands commands;
    // A build or load that skipped or cut lines says so once its unit has ended.
    auto tell = [&ctx](const QString& notice) {
        if (!notice.isEmpty())
            ctx.ui.messageBox(notice);
    };
    commands.BuildTopic = guarded(ctx, [&ctx, tell]() {
        BuildCounts counts;
        if (BuildTopic_Click(ctx, &counts))
            tell(buildNotice(ctx.ui.commonDialog().fileName(), counts));
    });
    commands.ClearTopic = guarded(ctx, [&ctx]() { ClearTopic_Click(ctx); });
    commands.CreateModule
        = guarded(ctx, [&ctx, &window]() { CreateModule_Click(ctx, window.modName(), window.modDirPrefix()); });
    commands.CmdLoad = guarded(ctx, [&ctx, tell]() {
        LoadCounts counts;
        if (CmdLoad_Click(ctx, &counts))
            tell(codeLoadNotice(ctx.ui.commonDialog().fileName(), counts));
    });
    commands.CmdClear = guarded(ctx, [&ctx]() { CmdClear_Click(ctx); });
    commands.LoadCodeDescription = guarded(ctx, [&ctx, tell]() {
        LoadCounts counts;
        if (LoadCodeDescription_Click(ctx, &counts))
            tell(descriptionLoadNotice(ctx.ui.commonDialog().fileName(), counts));
    });
    return commands;
}
