// The topic index of one module as a tree: a row per topic under its parent,
// the description in column 0 and the document in column 1. Read-only.
//
// A topic sits under its parent when the parent is a topic of the module
// stored before it (a smaller identifier), as every build stores them; any
// other topic (its parent missing or stored later) is shown at the top level,
// so that no topic is hidden and the tree can hold no cycle.
#pragma once

#include "core/ContentsSource.h"

#include <QAbstractItemModel>

#include <vector>

class TopicTreeModel : public QAbstractItemModel {
public:
    enum Column { DescriptionColumn = 0, DocumentColumn = 1, ColumnCount = 2 };
    // The topic's identifier, from either column.
    static constexpr int TopicIdRole = Qt::UserRole + 1;

    using QAbstractItemModel::QAbstractItemModel;

    // Replaces the tree (a model reset).
    void setTopics(const std::vector<ContentsTopic>& topics);
    void clear() { setTopics({}); }

    int topicCount() const { return static_cast<int>(m_nodes.size()); }
    int topLevelCount() const { return static_cast<int>(m_roots.size()); }
    // Topics whose description holds `text`, case-insensitively; every topic
    // when `text` is empty.
    int countMatching(const QString& text) const;
    // The topic of an index of this model.
    const ContentsTopic* topic(const QModelIndex& index) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    struct Node {
        ContentsTopic topic;
        int parent = -1; // index into m_nodes; -1 at the top level
        int row = 0; // place among its parent's children
        std::vector<int> children;
    };
    const std::vector<int>& childrenOf(const QModelIndex& parent) const;

    std::vector<Node> m_nodes;
    std::vector<int> m_roots;
};
