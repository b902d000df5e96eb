#include "topics/IndexExport.h"

#include "text/IndexLine.h"
#include "text/OutputTextFile.h"
#include "topics/IndexBuild.h"

#include <vector>

namespace {

const QString kHtm = QStringLiteral(".htm");

// Text that would end the line early or split it at another place.
QString lineBreaker(const QString& text)
{
    if (text.contains(u'~'))
        return QStringLiteral("a \"~\"");
    if (text.contains(u'\r') || text.contains(u'\n'))
        return QStringLiteral("a line break");
    return QString();
}

// The topic as messages name it: its description, or its number when it has none.
QString topicName(const TopicRecord& topic)
{
    const QString description = topic.Description.trimmed();
    if (description.isEmpty())
        return QStringLiteral("the topic number %1 (without description)").arg(topic.TopicID);
    return QStringLiteral("the topic \"%1\"").arg(description);
}

} // namespace

bool fieldForStoredDocument(const QString& prefix, const QString& stored, QString& field)
{
    field.clear();
    const QString head = prefix + u'_';
    if (!stored.startsWith(head) || !stored.endsWith(kHtm) || stored.size() < head.size() + kHtm.size())
        return false;
    // Prefix_name_ext.htm: the name and the directory meet at the last "_";
    // where a name or an extension holds one itself, either split gives the
    // same stored name back.
    const QString middle = stored.mid(head.size(), stored.size() - head.size() - kHtm.size());
    const qsizetype join = middle.lastIndexOf(u'_');
    if (join < 0)
        return false;
    const QString name = middle.left(join);
    const QString directory = middle.mid(join + 1);
    field = directory.isEmpty() ? name + u'.' : name + u'.' + directory;
    return composeStoredDocument(prefix, documentDirectoryForm(field)) == stored;
}

bool IndexOutline::depthFor(const TopicRecord& topic, int& depth) const
{
    const int32_t parent = topic.ParentID;
    // A line at column 1 is at the top wherever the lines before it were.
    if (parent == 0) {
        depth = 1;
        return true;
    }
    if (m_depth == 0)
        return false; // the first line is at the top
    // Otherwise a line goes one level deeper, stays, or goes up one level.
    if (m_depth < TopicTree::kMaxDepth && parent == m_topicAtDepth[m_depth]) {
        depth = m_depth + 1;
        return true;
    }
    if (m_depth >= 2 && parent == m_topicAtDepth[m_depth - 1]) {
        depth = m_depth;
        return true;
    }
    if (m_depth >= 3 && parent == m_topicAtDepth[m_depth - 2]) {
        depth = m_depth - 1;
        return true;
    }
    return false;
}

bool IndexOutline::lineFor(const TopicRecord& topic, QString& line, QString& problem)
{
    line.clear();
    problem.clear();
    int depth = 1;
    if (!depthFor(topic, depth)) {
        problem = QStringLiteral("%1 is not where the indentation of an index file can place it (its parent is "
                                 "number %2)")
                      .arg(topicName(topic))
                      .arg(topic.ParentID);
        return false;
    }
    const QString description = topic.Description.trimmed();
    if (const QString breaker = lineBreaker(description); !breaker.isEmpty()) {
        problem = QStringLiteral("%1 cannot be written: its description holds %2").arg(topicName(topic), breaker);
        return false;
    }

    // The first line's document is stored in directory form, every later
    // one composed with the prefix.
    const QString stored = topic.PatEdDocument.trimmed();
    QString field;
    if (!stored.isEmpty()) {
        const bool found
            = m_depth == 0 ? fieldForDirectoryForm(stored, field) : fieldForStoredDocument(m_prefix, stored, field);
        if (!found || !lineBreaker(field).isEmpty()) {
            problem = QStringLiteral("%1 cannot be written: no index line gives its document name \"%2\"")
                          .arg(topicName(topic), stored);
            return false;
        }
    }

    line = QString(2 * (depth - 1), u' ') + description;
    if (!stored.isEmpty())
        line += u'~' + field + u'~';
    if (const QString missing = OutputTextFile::missingCharacter(line); !missing.isEmpty()) {
        problem = QStringLiteral("%1 cannot be written in the code page %2 (it has no \"%3\")")
                      .arg(topicName(topic), OutputTextFile::codePageName(), missing);
        line.clear();
        return false;
    }
    m_depth = depth;
    m_topicAtDepth[static_cast<size_t>(depth)] = topic.TopicID;
    return true;
}

QString exportTopicIndex(PatEdContext& ctx, const QString& name, const QString& path, ExportCounts& counts)
{
    counts = ExportCounts();
    CallStatus status;
    ModuleRecord module;
    module.ModuleID = 0;
    module.ModuleName = name;
    if (!ctx.store.GetModule(module, status) || module.ModuleID == 0)
        return QStringLiteral("No module named \"%1\" is in the database; nothing was written.").arg(name);

    std::vector<TopicRecord> topics(1);
    topics[0].ModuleID = module.ModuleID;
    if (!ctx.store.GetTopics(topics, status))
        return QStringLiteral("The topics of module \"%1\" could not be read: %2. Nothing was written.")
            .arg(name, ctx.store.LastError());

    OutputTextFile out;
    QString error;
    if (!out.open(path, &error))
        return error + QStringLiteral(". Nothing was written.");
    IndexOutline outline(module.DirectoryPrefix.trimmed());
    QString line;
    QString problem;
    for (const TopicRecord& topic : topics) {
        if (!outline.lineFor(topic, line, problem))
            return QStringLiteral("%1: line %2: %3. Nothing was written.")
                .arg(path)
                .arg(counts.linesWritten + 1)
                .arg(problem);
        if (!out.writeLine(line))
            break; // commit() says why
        ++counts.linesWritten;
        ++counts.recordsWritten;
    }
    if (!out.commit(&error)) {
        counts = ExportCounts();
        return error + QStringLiteral(". Nothing was written.");
    }
    return QString();
}
