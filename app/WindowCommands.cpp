#include "app/WindowCommands.h"

#include "coding/CmdClear.h"
#include "coding/CmdLoad.h"
#include "coding/LoadCodingDescription.h"
#include "modules/CreateModule.h"
#include "topics/BuildTopic.h"
#include "topics/ClearTopic.h"

namespace {

// Runs one handler; a library or function that cannot be bound is told to the
// operator instead of ending the program.
std::function<void()> guarded(PatEdContext& ctx, std::function<void()> handler)
{
    return [&ctx, handler = std::move(handler)]() {
        try {
            handler();
        } catch (const ExternalsError& error) {
            ctx.ui.setBusy(false);
            ctx.ui.messageBox(QString::fromUtf8(error.what()));
        }
    };
}

} // namespace

PatEdConfig::Commands windowCommands(PatEdContext& ctx, PatEdConfig& window)
{
    PatEdConfig::Commands commands;
    commands.BuildTopic = guarded(ctx, [&ctx]() { BuildTopic_Click(ctx); });
    commands.ClearTopic = guarded(ctx, [&ctx]() { ClearTopic_Click(ctx); });
    commands.CreateModule
        = guarded(ctx, [&ctx, &window]() { CreateModule_Click(ctx, window.modName(), window.modDirPrefix()); });
    commands.CmdLoad = guarded(ctx, [&ctx]() { CmdLoad_Click(ctx); });
    commands.CmdClear = guarded(ctx, [&ctx]() { CmdClear_Click(ctx); });
    commands.LoadCodeDescription = guarded(ctx, [&ctx]() { LoadCodeDescription_Click(ctx); });
    return commands;
}
