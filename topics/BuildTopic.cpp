#include "topics/BuildTopic.h"

#include "modules/ModuleList.h"
#include "store/UnitOfWork.h"
#include "text/IndexLine.h"
#include "text/TextFile.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>

namespace {

constexpr int kMaxDepth = 10;

// Topic identifiers travel in 32-bit records and are counted from the first.
constexpr int64_t kLargestTopicId = INT32_MAX;


// The reader doubles apostrophes for SQL text; a record carries the text as read.
QString singleApostrophes(QString text) { return text.replace(QStringLiteral("''"), QStringLiteral("'")); }

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

QString composeStoredDocument(const QString& directoryPrefix, const QString& document)
{
    QString t = document;
    while (t.startsWith(u' '))
        t.remove(0, 1);
    while (t.endsWith(u' '))
        t.chop(1);
    if (t.isEmpty())
        return QString();

    // 1-based positions: just after the backslash (1 without one), and the first dot.
    const qsizetype namePos = t.indexOf(u'\\') + 2;
    const qsizetype dotPos = t.indexOf(u'.') + 1;
    if (dotPos <= namePos)
        return QString();

    QString prefix = directoryPrefix;
    while (prefix.startsWith(u' '))
        prefix.remove(0, 1);
    while (prefix.endsWith(u' '))
        prefix.chop(1);
    // Without a backslash there is no directory part.
    const QString directory = namePos >= 2 ? t.left(namePos - 2) : QString();
    return prefix + u'_' + t.mid(namePos - 1, dotPos - namePos) + u'_' + directory + t.mid(dotPos - 1);
}

QString topicInsertStatement(int32_t moduleNo, int32_t parentId, int16_t hasChild, const QString& storedDocument,
                             const QString& description)
{
    static const QString head
        = QStringLiteral("Insert into topics (ModuleID, ParentID, HasChild, PatEdDocument, Description)Values(");
    QString sql;
    sql.reserve(head.size() + 40 + 2 * storedDocument.size() + description.size());
    sql += head;
    sql += QString::number(moduleNo);
    sql += QLatin1String(", ");
    sql += QString::number(parentId);
    sql += QLatin1String(", ");
    sql += QString::number(hasChild);
    sql += QLatin1String(",'");
    for (const QChar c : storedDocument) {
        sql += c;
        if (c == u'\'')
            sql += c;
    }
    sql += QLatin1String("','");
    sql += description;
    sql += QLatin1String(" ')");
    return sql;
}

bool BuildTopic_Click(PatEdContext& ctx, BuildCounts* counts)
{
    MainVariables& v = ctx.vars;
    OpenFileDialog& dialog = ctx.ui.commonDialog();

    // 1. The file: from the command line in a batch run, else from the dialog.
    if (v.fileFromCommandLine()) {
        dialog.setFileName(v.BatchFileDir + v.BatchFileName);
    } else {
        dialog.setFilter(QStringLiteral("All Files (*.*)|*.*|Index Files") + QStringLiteral("(*.txt)|*.txt"));
        dialog.setFilterIndex(2);
        dialog.showOpen();
    }
    const QString path = dialog.fileName();
    if (path.isEmpty()) {
        if (v.batchRun()) {
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

    // 4. Line count for the progress bar.
    const int32_t lineTotal = ctx.store.FileLineCount(path);

    QString failure;
    BuildCounts done;
    {
        UnitOfWork unit(ctx.store);
        CallStatus status;
        if (!unit.begin()) {
            failure = QStringLiteral("The index of module \"%1\" could not be built: %2. Close any other program "
                                     "that uses the database, then build the index again.")
                          .arg(moduleName, unit.error());
        }

        // 5. The module's identifier and directory prefix.
        ModuleRecord module;
        int32_t moduleNo = 0;
        if (failure.isEmpty()) {
            module.ModuleID = 0;
            module.ModuleName = moduleName;
            if (!ctx.store.GetModule(module, status))
                failure = QStringLiteral("The module \"%1\" was not found in the database, so its index was not built. "
                                         "Create the module on the Modules tab first.")
                              .arg(moduleName);
            moduleNo = module.ModuleID;
        }

        if (failure.isEmpty()) {
            // 6. Status line.
            QString shownName = module.ModuleName.trimmed();
            if (shownName.isEmpty())
                shownName = v.BatchTargetName;
            progress.setStatus(QStringLiteral("Saving - ") + shownName + QStringLiteral(" Module to Database"));
            progress.refresh();
        }

        // 7. The first line is the reference level.
        std::array<int32_t, kMaxDepth + 1> topicAtDepth {};
        int depth = 1;
        int32_t prevLevel = -1;
        if (failure.isEmpty())
            prevLevel = ReadNextLine(file, v.CurDescription, v.CurPatEdDocument);
        auto lineFailure = [&](const QString& what) {
            return QStringLiteral("%1: line %2: %3: %4. Nothing from this file was stored; correct the line or "
                                  "the database, then build the index again.")
                .arg(path)
                .arg(file.lineNumber())
                .arg(what, ctx.store.LastError());
        };

        // 8. The first topic is stored through the record operations, with its
        // document in directory form; its identifier is read back.
        if (failure.isEmpty() && prevLevel >= 1) {
            ++done.linesRead;
            v.CurHasChild = 0;
            v.CurParentID = 0;
            TopicRecord first;
            first.TopicID = v.CurTopicID;
            first.ModuleID = moduleNo;
            first.ParentID = 0;
            first.HasChild = 0;
            first.PatEdDocument = v.CurPatEdDocument;
            first.Description = singleApostrophes(v.CurDescription);
            if (v.CurPatEdDocument.size() > first.PatEdDocument.width)
                done.cutDocuments.note(file.lineNumber());
            if (singleApostrophes(v.CurDescription).size() > first.Description.width)
                done.cutDescriptions.note(file.lineNumber());
            if (!ctx.store.InsertTopic(first, status)) {
                failure = lineFailure(QStringLiteral("the topic could not be stored"));
            } else {
                TopicRecord stored;
                stored.TopicID = 0;
                stored.ModuleID = moduleNo;
                stored.ParentID = 0;
                stored.HasChild = 0;
                stored.PatEdDocument = v.CurPatEdDocument;
                stored.Description = singleApostrophes(v.CurDescription);
                if (!ctx.store.GetTopic(stored, status))
                    failure = lineFailure(QStringLiteral("the stored topic could not be read back"));
                v.CurTopicID = stored.TopicID;
                topicAtDepth[1] = v.CurTopicID;
                ++done.topicsStored;
            }
        }

        // The later topics are numbered by counting on from the first: all of
        // them must fit, or none is stored (a number past the limit would wrap
        // into another module's topics).
        auto pastTheLimit = [&](int64_t last) {
            return QStringLiteral("The index of module \"%1\" was not built: the %2 topics of %3 would be numbered %4 "
                                  "to %5, past %6, the largest number a topic can have. Nothing from this file was "
                                  "stored.")
                .arg(moduleName)
                .arg(std::max<int64_t>(lineTotal, 1))
                .arg(path)
                .arg(v.CurTopicID)
                .arg(last)
                .arg(kLargestTopicId);
        };
        if (failure.isEmpty() && prevLevel >= 1 && lineTotal > 1
            && static_cast<int64_t>(v.CurTopicID) + (lineTotal - 1) > kLargestTopicId)
            failure = pastTheLimit(static_cast<int64_t>(v.CurTopicID) + (lineTotal - 1));

        // 9. Every further line: place it in the tree by its indentation and
        // insert it; identifiers are counted, not read back.
        int64_t linesRead = 0;
        while (failure.isEmpty() && !file.atEnd()) {
            if (v.CurTopicID >= kLargestTopicId) {
                // The line count was short of the file: the same limit.
                failure = pastTheLimit(static_cast<int64_t>(v.CurTopicID) + 1);
                break;
            }
            const int32_t newLevel = ReadNextLine(file, v.CurDescription, v.CurPatEdDocument);
            ++done.linesRead;
            ++v.CurTopicID;
            v.CurHasChild = 0;
            ++linesRead;
            const double percent = lineTotal > 0 ? static_cast<double>(linesRead) / lineTotal * 100.0 : 0.0;
            progress.setValue(static_cast<float>(std::clamp(percent, 0.0, 100.0)));

            if (newLevel > prevLevel) {
                // One level deeper, however large the step; the tenth level is
                // the deepest, further lines stay there as siblings.
                if (depth < kMaxDepth) {
                    ++depth;
                    TopicRecord parent;
                    parent.TopicID = topicAtDepth[depth - 1];
                    parent.ModuleID = 0;
                    parent.ParentID = -1;
                    parent.HasChild = 1;
                    parent.PatEdDocument = QString();
                    parent.Description = QString();
                    if (!ctx.store.SetTopic(parent, status)) {
                        failure = lineFailure(QStringLiteral("the parent topic could not be marked"));
                        break;
                    }
                }
            } else if (newLevel < prevLevel) {
                // Column 1 is always the top level; otherwise one level up,
                // never above the top.
                depth = newLevel == 1 ? 1 : std::max(1, depth - 1);
            }
            v.CurParentID = depth == 1 ? 0 : topicAtDepth[depth - 1];
            topicAtDepth[depth] = v.CurTopicID;
            prevLevel = newLevel;

            const QString storedDocument = composeStoredDocument(module.DirectoryPrefix.trimmed(), v.CurPatEdDocument);
            const QString statement
                = topicInsertStatement(moduleNo, v.CurParentID, v.CurHasChild, storedDocument, v.CurDescription);
            if (!ctx.store.ExecuteQuery(statement, status)) {
                failure = lineFailure(QStringLiteral("the topic could not be stored"));
                break;
            }
            ++done.topicsStored;
        }

        if (failure.isEmpty() && !unit.commit())
            failure = QStringLiteral("The index of module \"%1\" could not be saved: %2. Nothing from %3 was "
                                     "stored; build the index again.")
                          .arg(moduleName, unit.error(), path);
    } // a unit still open here is rolled back

    // 11. Pointer, file, progress window; a failure is shown once the unit has ended.
    end(failure);
    if (!failure.isEmpty())
        return false;
    if (counts)
        *counts = done;
    return true;
}
