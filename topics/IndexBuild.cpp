#include "topics/IndexBuild.h"

#include "store/UnitOfWork.h"
#include "text/IndexLine.h"
#include "text/TextFile.h"

#include <algorithm>
#include <climits>

namespace {

// Topic identifiers travel in 32-bit records and are counted from the first.
constexpr int64_t kLargestTopicId = INT32_MAX;

// The reader doubles apostrophes for SQL text; a record carries the text as read.
QString singleApostrophes(QString text) { return text.replace(QStringLiteral("''"), QStringLiteral("'")); }

} // namespace

TopicTree::Place TopicTree::place(int32_t level) const
{
    Place where;
    where.depth = m_depth;
    if (level > m_level) {
        // One level deeper, however large the step; the tenth level is
        // the deepest, further lines stay there as siblings.
        if (m_depth < kMaxDepth) {
            where.depth = m_depth + 1;
            where.marksParent = true;
            where.parentToMark = m_topicAtDepth[m_depth];
        }
    } else if (level < m_level) {
        // Column 1 is always the top level; otherwise one level up,
        // never above the top.
        where.depth = level == 1 ? 1 : std::max(1, m_depth - 1);
    }
    return where;
}

int32_t TopicTree::settle(const Place& where, int32_t level, int32_t topicId)
{
    m_depth = where.depth;
    m_level = level;
    m_topicAtDepth[m_depth] = topicId;
    return m_depth == 1 ? 0 : m_topicAtDepth[m_depth - 1];
}

IndexBuild::IndexBuild(
    PatEdContext& ctx, TextFile& file, const QString& path, const QString& moduleName, int32_t lineTotal)
    : m_ctx(ctx)
    , m_v(ctx.vars)
    , m_file(file)
    , m_path(path)
    , m_moduleName(moduleName)
    , m_lineTotal(lineTotal)
{
}

QString IndexBuild::run(BuildCounts& done)
{
    UnitOfWork unit(m_ctx.store);
    if (!unit.begin())
        return QStringLiteral("The index of module \"%1\" could not be built: %2. Close any other program "
                              "that uses the database, then build the index again.")
            .arg(m_moduleName, unit.error());
    if (QString failure = findModule(); !failure.isEmpty())
        return failure;
    showStatus();

    TopicTree tree(ReadNextLine(m_file, m_v.CurDescription, m_v.CurPatEdDocument));
    const bool hasFirst = tree.firstLevel() >= 1;
    if (hasFirst) {
        if (QString failure = storeFirstTopic(tree, done); !failure.isEmpty())
            return failure;
        if (QString failure = checkTopicNumbers(); !failure.isEmpty())
            return failure;
    }
    int64_t laterLines = 0;
    while (!m_file.atEnd()) {
        if (m_v.CurTopicID >= kLargestTopicId) // the line count was short of the file: the same limit
            return pastTheLimit(static_cast<int64_t>(m_v.CurTopicID) + 1);
        if (QString failure = storeNextLine(tree, ++laterLines, done); !failure.isEmpty())
            return failure;
    }

    if (!unit.commit())
        return QStringLiteral("The index of module \"%1\" could not be saved: %2. Nothing from %3 was "
                              "stored; build the index again.")
            .arg(m_moduleName, unit.error(), m_path);
    return QString();
}

// The module's identifier and directory prefix.
QString IndexBuild::findModule()
{
    m_module.ModuleID = 0;
    m_module.ModuleName = m_moduleName;
    const bool found = m_ctx.store.GetModule(m_module, m_status);
    m_moduleNo = m_module.ModuleID;
    m_prefix = m_module.DirectoryPrefix.trimmed();
    if (!found)
        return QStringLiteral("The module \"%1\" was not found in the database, so its index was not built. "
                              "Create the module on the Modules tab first.")
            .arg(m_moduleName);
    return QString();
}

// The progress window's status line.
void IndexBuild::showStatus()
{
    QString shownName = m_module.ModuleName.trimmed();
    if (shownName.isEmpty())
        shownName = m_v.BatchTargetName;
    ProgressWindow& progress = m_ctx.ui.loadStatus();
    progress.setStatus(QStringLiteral("Saving - ") + shownName + QStringLiteral(" Module to Database"));
    progress.refresh();
}

// The first topic goes through the record operations, with its document
// in directory form; its identifier is read back and tops the tree.
QString IndexBuild::storeFirstTopic(TopicTree& tree, BuildCounts& done)
{
    ++done.linesRead;
    m_v.CurHasChild = 0;
    m_v.CurParentID = 0;
    TopicRecord first;
    first.TopicID = m_v.CurTopicID;
    first.ModuleID = m_moduleNo;
    first.ParentID = 0;
    first.HasChild = 0;
    first.PatEdDocument = m_v.CurPatEdDocument;
    first.Description = singleApostrophes(m_v.CurDescription);
    if (m_v.CurPatEdDocument.size() > first.PatEdDocument.width)
        done.cutDocuments.note(m_file.lineNumber());
    if (singleApostrophes(m_v.CurDescription).size() > first.Description.width)
        done.cutDescriptions.note(m_file.lineNumber());
    if (!m_ctx.store.InsertTopic(first, m_status))
        return lineFailure(QStringLiteral("the topic could not be stored"));

    TopicRecord stored;
    stored.TopicID = 0;
    stored.ModuleID = m_moduleNo;
    stored.ParentID = 0;
    stored.HasChild = 0;
    stored.PatEdDocument = m_v.CurPatEdDocument;
    stored.Description = singleApostrophes(m_v.CurDescription);
    const bool readBack = m_ctx.store.GetTopic(stored, m_status);
    m_v.CurTopicID = stored.TopicID;
    tree.setTop(m_v.CurTopicID);
    ++done.topicsStored;
    if (!readBack)
        return lineFailure(QStringLiteral("the stored topic could not be read back"));
    return QString();
}

// The later topics are numbered by counting on from the first: all of
// them must fit, or none is stored (a number past the limit would wrap
// into another module's topics).
QString IndexBuild::checkTopicNumbers() const
{
    if (m_lineTotal <= 1)
        return QString();
    const int64_t last = static_cast<int64_t>(m_v.CurTopicID) + (m_lineTotal - 1);
    return last > kLargestTopicId ? pastTheLimit(last) : QString();
}

// Every further line: its place in the tree by its indentation, the
// topic above it marked as a parent when the line goes one level deeper,
// and its insert; identifiers are counted, not read back. `laterLines`
// counts it among the lines after the first, for the progress bar.
QString IndexBuild::storeNextLine(TopicTree& tree, int64_t laterLines, BuildCounts& done)
{
    const int32_t level = ReadNextLine(m_file, m_v.CurDescription, m_v.CurPatEdDocument);
    ++done.linesRead;
    ++m_v.CurTopicID;
    m_v.CurHasChild = 0;
    const double percent = m_lineTotal > 0 ? static_cast<double>(laterLines) / m_lineTotal * 100.0 : 0.0;
    m_ctx.ui.loadStatus().setValue(static_cast<float>(std::clamp(percent, 0.0, 100.0)));

    const TopicTree::Place where = tree.place(level);
    if (where.marksParent) {
        if (QString failure = markParent(where.parentToMark); !failure.isEmpty())
            return failure;
    }
    m_v.CurParentID = tree.settle(where, level, m_v.CurTopicID);

    if (QString failure = storeTopic(); !failure.isEmpty())
        return failure;
    ++done.topicsStored;
    return QString();
}

// HasChild set on a topic already stored; -1 and blank leave the rest.
QString IndexBuild::markParent(int32_t parentId)
{
    TopicRecord parent;
    parent.TopicID = parentId;
    parent.ModuleID = 0;
    parent.ParentID = -1;
    parent.HasChild = 1;
    parent.PatEdDocument = QString();
    parent.Description = QString();
    if (!m_ctx.store.SetTopic(parent, m_status))
        return lineFailure(QStringLiteral("the parent topic could not be marked"));
    return QString();
}

// The current line as an insert statement, its document composed with
// the module's directory prefix.
QString IndexBuild::storeTopic()
{
    const QString storedDocument = composeStoredDocument(m_prefix, m_v.CurPatEdDocument);
    writeTopicInsertStatement(m_statement, m_moduleNo, m_v.CurParentID, m_v.CurHasChild, storedDocument,
                              m_v.CurDescription);
    if (!m_ctx.store.ExecuteQuery(m_statement, m_status))
        return lineFailure(QStringLiteral("the topic could not be stored"));
    return QString();
}

QString IndexBuild::lineFailure(const QString& what) const
{
    return QStringLiteral("%1: line %2: %3: %4. Nothing from this file was stored; correct the line or "
                          "the database, then build the index again.")
        .arg(m_path)
        .arg(m_file.lineNumber())
        .arg(what, m_ctx.store.LastError());
}

QString IndexBuild::pastTheLimit(int64_t last) const
{
    return QStringLiteral("The index of module \"%1\" was not built: the %2 topics of %3 would be numbered %4 "
                          "to %5, past %6, the largest number a topic can have. Nothing from this file was "
                          "stored.")
        .arg(m_moduleName)
        .arg(std::max<int64_t>(m_lineTotal, 1))
        .arg(m_path)
        .arg(m_v.CurTopicID)
        .arg(last)
        .arg(kLargestTopicId);
}

QString composeStoredDocument(const QString& directoryPrefix, const QString& document)
{
    const QStringView t = trimSpaces(document);
    if (t.isEmpty())
        return QString();

    // 1-based positions: just after the backslash (1 without one), and the first dot.
    const qsizetype namePos = t.indexOf(u'\\') + 2;
    const qsizetype dotPos = t.indexOf(u'.') + 1;
    if (dotPos <= namePos)
        return QString();

    const QStringView prefix = trimSpaces(directoryPrefix);
    // Without a backslash there is no directory part.
    const QStringView directory = namePos >= 2 ? t.left(namePos - 2) : QStringView();
    const QStringView name = t.mid(namePos - 1, dotPos - namePos);
    const QStringView rest = t.mid(dotPos - 1);
    QString stored;
    stored.reserve(prefix.size() + name.size() + directory.size() + rest.size() + 2);
    stored.append(prefix).append(u'_').append(name).append(u'_').append(directory).append(rest);
    return stored;
}

namespace {

// Appends the decimal digits of `value`, as QString::number gives them,
// without a string of its own.
void appendNumber(QString& text, int64_t value)
{
    char16_t digits[24];
    size_t n = 0;
    uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    do {
        digits[sizeof digits / sizeof digits[0] - 1 - n++] = static_cast<char16_t>(u'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0)
        digits[sizeof digits / sizeof digits[0] - 1 - n++] = u'-';
    text.append(QStringView(digits + (sizeof digits / sizeof digits[0] - n), static_cast<qsizetype>(n)));
}

} // namespace

void writeTopicInsertStatement(QString& sql, int32_t moduleNo, int32_t parentId, int16_t hasChild,
                               const QString& storedDocument, const QString& description)
{
    static const QString head
        = QStringLiteral("Insert into topics (ModuleID, ParentID, HasChild, PatEdDocument, Description)Values(");
    // Emptied, not freed: one statement's room serves the next.
    sql.truncate(0);
    sql.reserve(head.size() + 40 + 2 * storedDocument.size() + description.size());
    sql += head;
    appendNumber(sql, moduleNo);
    sql += QLatin1String(", ");
    appendNumber(sql, parentId);
    sql += QLatin1String(", ");
    appendNumber(sql, hasChild);
    sql += QLatin1String(",'");
    // Apostrophes doubled; the text between them goes whole.
    QStringView rest = storedDocument;
    for (qsizetype quote = rest.indexOf(u'\''); quote >= 0; quote = rest.indexOf(u'\'')) {
        sql += rest.left(quote + 1);
        sql += u'\'';
        rest = rest.sliced(quote + 1);
    }
    sql += rest;
    sql += QLatin1String("','");
    sql += description;
    sql += QLatin1String(" ')");
}

QString topicInsertStatement(int32_t moduleNo, int32_t parentId, int16_t hasChild, const QString& storedDocument,
                             const QString& description)
{
    QString sql;
    writeTopicInsertStatement(sql, moduleNo, parentId, hasChild, storedDocument, description);
    return sql;
}
