#include "core/LibraryContents.h"

namespace {

// 75000 as "75,000", as the run summaries write counts.
QString grouped(qsizetype n)
{
    QString digits = QString::number(n);
    for (qsizetype at = digits.size() - 3; at > 0; at -= 3)
        digits.insert(at, u',');
    return digits;
}

QString counted(qsizetype n, const char* one, const char* many)
{
    return QStringLiteral("%1 %2").arg(grouped(n), QLatin1String(n == 1 ? one : many));
}

} // namespace

LibraryContents::LibraryContents(ContentsSource& source)
    : m_source(source)
    , m_codes(source)
{
    m_filtered.setSourceModel(&m_tree);
    m_filtered.setFilterKeyColumn(TopicTreeModel::DescriptionColumn);
    m_filtered.setFilterCaseSensitivity(Qt::CaseInsensitive);
    // A match shows with every topic above it.
    m_filtered.setRecursiveFilteringEnabled(true);
}

QStringList LibraryContents::moduleNames() const
{
    QStringList names;
    for (const ContentsEntry& entry : m_modules)
        names.append(entry.name);
    return names;
}

QStringList LibraryContents::codingSystemNames() const
{
    QStringList names;
    for (const ContentsEntry& entry : m_systems)
        names.append(entry.name);
    return names;
}

int32_t LibraryContents::idOf(const std::vector<ContentsEntry>& list, const QString& name)
{
    for (const ContentsEntry& entry : list)
        if (entry.name == name)
            return entry.id;
    return 0;
}

QString LibraryContents::pick(const std::vector<ContentsEntry>& list, const QString& first, const QString& second)
{
    for (const QString& name : { first, second })
        if (!name.isEmpty() && idOf(list, name) != 0)
            return name;
    return list.empty() ? QString() : list.front().name;
}

bool LibraryContents::refresh(const QString& preferredModule, const QString& preferredSystem, bool preferFirst)
{
    auto choose
        = [preferFirst](const std::vector<ContentsEntry>& list, const QString& current, const QString& preferred) {
              return preferFirst ? pick(list, preferred, current) : pick(list, current, preferred);
          };
    bool ok = true;
    std::vector<ContentsEntry> found;
    if (m_source.modules(found)) {
        m_modules = std::move(found);
        m_topicsError.clear();
        ok = chooseModule(choose(m_modules, m_module, preferredModule)) && ok;
    } else {
        m_modules.clear();
        m_module.clear();
        m_tree.clear();
        m_topicsError = m_source.lastError();
        ok = false;
    }
    if (m_source.codingSystems(found)) {
        m_systems = std::move(found);
        m_systemsError.clear();
        ok = chooseCodingSystem(choose(m_systems, m_system, preferredSystem)) && ok;
    } else {
        m_systems.clear();
        m_system.clear();
        m_codes.clear();
        m_systemsError = m_source.lastError();
        ok = false;
    }
    return ok;
}

bool LibraryContents::chooseModule(const QString& name)
{
    m_topicsError.clear();
    const int32_t id = idOf(m_modules, name);
    if (id == 0) {
        m_module.clear();
        m_tree.clear();
        return true;
    }
    m_module = name;
    std::vector<ContentsTopic> topics;
    if (!m_source.topics(id, topics)) {
        m_topicsError = m_source.lastError();
        m_tree.clear();
        return false;
    }
    m_tree.setTopics(topics);
    return true;
}

bool LibraryContents::chooseCodingSystem(const QString& name)
{
    m_systemsError.clear();
    const int32_t id = idOf(m_systems, name);
    m_system = id == 0 ? QString() : name;
    m_codes.setSearch(id, m_pattern);
    return m_codes.error().isEmpty();
}

void LibraryContents::setTopicFilter(const QString& text)
{
    m_filter = text;
    m_filtered.setFilterFixedString(text);
}

void LibraryContents::setCodeSearch(const QString& pattern)
{
    m_pattern = pattern;
    m_codes.setSearch(idOf(m_systems, m_system), pattern);
}

QString LibraryContents::topicCounts() const
{
    if (m_module.isEmpty())
        return QStringLiteral("No module chosen");
    if (!m_topicsError.isEmpty())
        return QStringLiteral("The topics could not be read");
    QString text = QStringLiteral("%1, %2 at the top level")
                       .arg(counted(m_tree.topicCount(), "topic", "topics"))
                       .arg(grouped(m_tree.topLevelCount()));
    if (!m_filter.isEmpty())
        text += QStringLiteral("; %1 the filter").arg(counted(m_tree.countMatching(m_filter), "matches", "match"));
    return text;
}

QString LibraryContents::codeCounts() const
{
    if (m_system.isEmpty())
        return QStringLiteral("No coding system chosen");
    if (!m_codes.error().isEmpty() && m_codes.rowCount() == 0)
        return QStringLiteral("The codes could not be read");
    const int rows = m_codes.rowCount();
    const QString what
        = m_pattern.trimmed().isEmpty() ? QString() : QStringLiteral(" matching \"%1\"").arg(m_pattern.trimmed());
    if (m_codes.complete())
        return counted(rows, "code", "codes") + what;
    return QStringLiteral("The first %1%2; more are read as you scroll").arg(counted(rows, "code", "codes"), what);
}
