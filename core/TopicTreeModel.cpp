#include "core/TopicTreeModel.h"

#include <unordered_map>

void TopicTreeModel::setTopics(const std::vector<ContentsTopic>& topics)
{
    beginResetModel();
    m_nodes.clear();
    m_roots.clear();
    m_nodes.reserve(topics.size());
    std::unordered_map<int32_t, int> byId;
    byId.reserve(topics.size());
    for (const ContentsTopic& topic : topics) {
        const int self = static_cast<int>(m_nodes.size());
        Node node;
        node.topic = topic;
        const auto parent = topic.parentId > 0 ? byId.find(topic.parentId) : byId.end();
        // Only a topic stored earlier can be a parent: no cycles, no topic lost.
        if (parent != byId.end() && m_nodes[parent->second].topic.id < topic.id) {
            node.parent = parent->second;
            node.row = static_cast<int>(m_nodes[parent->second].children.size());
            m_nodes[parent->second].children.push_back(self);
        } else {
            node.row = static_cast<int>(m_roots.size());
            m_roots.push_back(self);
        }
        m_nodes.push_back(std::move(node));
        byId.emplace(topic.id, self);
    }
    endResetModel();
}

int TopicTreeModel::countMatching(const QString& text) const
{
    if (text.isEmpty())
        return topicCount();
    int count = 0;
    for (const Node& node : m_nodes)
        if (node.topic.description.contains(text, Qt::CaseInsensitive))
            ++count;
    return count;
}

const ContentsTopic* TopicTreeModel::topic(const QModelIndex& index) const
{
    if (!index.isValid() || index.model() != this)
        return nullptr;
    return &m_nodes[index.internalId()].topic;
}

const std::vector<int>& TopicTreeModel::childrenOf(const QModelIndex& parent) const
{
    return parent.isValid() ? m_nodes[parent.internalId()].children : m_roots;
}

QModelIndex TopicTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    if (column < 0 || column >= ColumnCount || row < 0 || (parent.isValid() && parent.column() != 0))
        return {};
    const std::vector<int>& children = childrenOf(parent);
    if (row >= static_cast<int>(children.size()))
        return {};
    return createIndex(row, column, static_cast<quintptr>(children[row]));
}

QModelIndex TopicTreeModel::parent(const QModelIndex& child) const
{
    if (!child.isValid())
        return {};
    const int parent = m_nodes[child.internalId()].parent;
    if (parent < 0)
        return {};
    return createIndex(m_nodes[parent].row, 0, static_cast<quintptr>(parent));
}

int TopicTreeModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid() && parent.column() != 0)
        return 0;
    return static_cast<int>(childrenOf(parent).size());
}

int TopicTreeModel::columnCount(const QModelIndex&) const { return ColumnCount; }

QVariant TopicTreeModel::data(const QModelIndex& index, int role) const
{
    const ContentsTopic* shown = topic(index);
    if (!shown)
        return {};
    if (role == TopicIdRole)
        return shown->id;
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return index.column() == DescriptionColumn ? shown->description : shown->document;
    return {};
}

QVariant TopicTreeModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case DescriptionColumn:
        return QStringLiteral("Description");
    case DocumentColumn:
        return QStringLiteral("Document");
    default:
        return {};
    }
}

Qt::ItemFlags TopicTreeModel::flags(const QModelIndex& index) const
{
    // Selectable to read, never editable.
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}
