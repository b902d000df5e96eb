// The command line on any text: planCommandLine only splits and chooses, so
// its plan must follow from the line's space-separated words alone.
#include "fuzz/FuzzSupport.h"

#include "batch/CommandLine.h"

#include <QStringList>

namespace {

QString word(const QStringList& words, qsizetype index) { return index < words.size() ? words.at(index) : QString(); }

BatchAction expectedAction(const QString& mode, const QString& verb)
{
    if (mode == QLatin1String("topic")) {
        if (verb == QLatin1String("create"))
            return BatchAction::TopicCreate;
        if (verb == QLatin1String("delete"))
            return BatchAction::TopicDelete;
        if (verb == QLatin1String("export"))
            return BatchAction::TopicExport;
    } else if (mode == QLatin1String("code")) {
        if (verb == QLatin1String("create"))
            return BatchAction::CodeCreate;
        if (verb == QLatin1String("delete"))
            return BatchAction::CodeDelete;
        if (verb == QLatin1String("description"))
            return BatchAction::CodeDescription;
        if (verb == QLatin1String("export"))
            return BatchAction::CodeExport;
        if (verb == QLatin1String("export-descriptions"))
            return BatchAction::CodeExportDescriptions;
    }
    return BatchAction::None;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString line = fuzzText(data, size);
    const CommandLinePlan plan = planCommandLine(line);
    const QString shown = visible(line) + QStringLiteral(" -> [") + visible(plan.dbPath) + u' ' + visible(plan.runMode)
        + u' ' + visible(plan.runAction) + QStringLiteral("] action ") + QString::number(static_cast<int>(plan.action))
        + u' ' + visible(plan.name) + u' ' + visible(plan.prefix) + u' ' + visible(plan.fileDir) + u' '
        + visible(plan.fileName);

    // No token holds a space.
    for (const QString* token : {&plan.dbPath, &plan.runMode, &plan.runAction, &plan.name, &plan.prefix, &plan.fileDir,
                                 &plan.fileName})
        FUZZ_CHECK(!token->contains(u' '), shown);

    // The first three words, as given.
    const QStringList words = line.split(u' ', Qt::SkipEmptyParts);
    FUZZ_CHECK(plan.dbPath == word(words, 0), shown);
    FUZZ_CHECK(plan.runMode == word(words, 1), shown);
    FUZZ_CHECK(plan.runAction == word(words, 2), shown);

    // The action follows from the mode word and the verb, exactly.
    FUZZ_CHECK(plan.action == expectedAction(plan.runMode, plan.runAction), shown);
    const QString mode = runModeFor(plan.runMode);
    if (plan.runMode == QLatin1String("topic") || plan.runMode == QLatin1String("code"))
        FUZZ_CHECK(mode == plan.runMode, shown);
    else
        FUZZ_CHECK(mode == QLatin1String("interactive"), shown);
    if (plan.action == BatchAction::TopicCreate || plan.action == BatchAction::TopicDelete
        || plan.action == BatchAction::TopicExport)
        FUZZ_CHECK(mode == QLatin1String("topic"), shown);
    else if (plan.action != BatchAction::None)
        FUZZ_CHECK(mode == QLatin1String("code"), shown);

    // The arguments: the words after the verb at their places; none without an action.
    switch (plan.action) {
    case BatchAction::None:
        FUZZ_CHECK(plan.name.isEmpty() && plan.prefix.isEmpty() && plan.fileDir.isEmpty() && plan.fileName.isEmpty(),
                   shown);
        break;
    case BatchAction::TopicCreate:
        FUZZ_CHECK(plan.name == word(words, 3) && plan.prefix == word(words, 4) && plan.fileDir == word(words, 5)
                       && plan.fileName == word(words, 6),
                   shown);
        break;
    case BatchAction::TopicDelete: // the word after the name is read and dropped
        FUZZ_CHECK(plan.name == word(words, 3) && plan.prefix.isEmpty() && plan.fileDir == word(words, 5)
                       && plan.fileName == word(words, 6),
                   shown);
        break;
    case BatchAction::CodeCreate:
    case BatchAction::CodeDelete:
    case BatchAction::CodeDescription:
    case BatchAction::TopicExport:
    case BatchAction::CodeExport:
    case BatchAction::CodeExportDescriptions:
        FUZZ_CHECK(plan.name == word(words, 3) && plan.prefix.isEmpty() && plan.fileDir == word(words, 4)
                       && plan.fileName == word(words, 5),
                   shown);
        break;
    }

    // The same line again gives the same plan: nothing is kept between calls.
    const CommandLinePlan again = planCommandLine(line);
    FUZZ_CHECK(again.dbPath == plan.dbPath && again.runMode == plan.runMode && again.runAction == plan.runAction
                   && again.action == plan.action && again.name == plan.name && again.prefix == plan.prefix
                   && again.fileDir == plan.fileDir && again.fileName == plan.fileName,
               shown);
    return 0;
}
