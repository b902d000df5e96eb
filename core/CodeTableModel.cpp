#include "core/CodeTableModel.h"

#include <algorithm>

CodeTableModel::CodeTableModel(ContentsSource& source, QObject* parent)
    : QAbstractTableModel(parent)
    , m_source(source)
{
}

bool CodeTableModel::readAfterLast(int limit, std::vector<ContentsCode>& page)
{
    if (!m_source.codes(m_systemId, m_pattern, m_cursor, limit, page)) {
        m_error = m_source.lastError();
        m_complete = true; // a failed read is not retried by scrolling
        return false;
    }
    m_error.clear();
    return true;
}

void CodeTableModel::setSearch(int32_t systemId, const QString& pattern)
{
    beginResetModel();
    m_systemId = systemId;
    m_pattern = pattern;
    m_rows.clear();
    m_order.clear();
    m_cursor = CodeCursor();
    m_error.clear();
    m_complete = systemId == 0;
    if (systemId != 0) {
        if (inCodeOrder()) {
            // One code more than a page tells whether another page follows.
            std::vector<ContentsCode> page;
            if (readAfterLast(m_pageSize + 1, page)) {
                m_complete = static_cast<int>(page.size()) <= m_pageSize;
                if (!m_complete)
                    page.resize(m_pageSize);
                if (!page.empty())
                    m_cursor = { page.back().code, page.back().id };
                m_rows = std::move(page);
            }
        } else {
            readAll();
        }
    }
    endResetModel();
    tell();
}

void CodeTableModel::readAll()
{
    std::vector<ContentsCode> rest;
    if (readAfterLast(0, rest)) {
        m_rows.insert(m_rows.end(), std::make_move_iterator(rest.begin()), std::make_move_iterator(rest.end()));
        m_complete = true;
        if (!m_rows.empty())
            m_cursor = { m_rows.back().code, m_rows.back().id };
    }
    orderRows();
}

bool CodeTableModel::canFetchMore(const QModelIndex& parent) const { return !parent.isValid() && !m_complete; }

void CodeTableModel::fetchMore(const QModelIndex& parent)
{
    if (parent.isValid() || m_complete)
        return;
    std::vector<ContentsCode> page;
    if (!readAfterLast(m_pageSize + 1, page)) {
        tell();
        return;
    }
    m_complete = static_cast<int>(page.size()) <= m_pageSize;
    if (!m_complete)
        page.resize(m_pageSize);
    if (!page.empty()) {
        m_cursor = { page.back().code, page.back().id };
        const int first = static_cast<int>(m_rows.size());
        beginInsertRows(QModelIndex(), first, first + static_cast<int>(page.size()) - 1);
        m_rows.insert(m_rows.end(), std::make_move_iterator(page.begin()), std::make_move_iterator(page.end()));
        endInsertRows();
    }
    tell();
}

void CodeTableModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= ColumnCount)
        return;
    if (column == m_sortColumn && order == m_sortOrder)
        return;
    m_sortColumn = column;
    m_sortOrder = order;
    if (inCodeOrder()) {
        // Back to the library's order, a page at a time.
        reload();
        return;
    }
    beginResetModel();
    if (!m_complete)
        readAll();
    else
        orderRows();
    endResetModel();
    tell();
}

void CodeTableModel::orderRows()
{
    m_order.resize(m_rows.size());
    for (size_t i = 0; i < m_order.size(); ++i)
        m_order[i] = static_cast<int>(i);
    if (inCodeOrder())
        return;
    if (m_sortColumn == CodeColumn) {
        std::reverse(m_order.begin(), m_order.end());
        return;
    }
    // m_rows is in code order, so ties keep it.
    const bool descending = m_sortOrder == Qt::DescendingOrder;
    const bool byDocument = m_sortColumn == DocumentColumn;
    std::stable_sort(m_order.begin(), m_order.end(), [&](int a, int b) {
        const ContentsCode& left = m_rows[static_cast<size_t>(a)];
        const ContentsCode& right = m_rows[static_cast<size_t>(b)];
        const int byField = byDocument ? QString::compare(left.document, right.document, Qt::CaseInsensitive)
                                       : QString::compare(left.description, right.description, Qt::CaseInsensitive);
        return descending ? byField > 0 : byField < 0;
    });
}

const ContentsCode& CodeTableModel::shownRow(int row) const
{
    const size_t place
        = inCodeOrder() ? static_cast<size_t>(row) : static_cast<size_t>(m_order[static_cast<size_t>(row)]);
    return m_rows[place];
}

void CodeTableModel::tell()
{
    if (m_readHandler)
        m_readHandler(m_error);
}

int CodeTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int CodeTableModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount; }

QVariant CodeTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= static_cast<int>(m_rows.size()))
        return {};
    const ContentsCode& code = shownRow(index.row());
    if (role == CodeIdRole)
        return code.id;
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    switch (index.column()) {
    case CodeColumn:
        return code.code;
    case DocumentColumn:
        return code.document;
    case DescriptionColumn:
        return code.description;
    default:
        return {};
    }
}

QVariant CodeTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Vertical)
        return section + 1;
    switch (section) {
    case CodeColumn:
        return QStringLiteral("Code");
    case DocumentColumn:
        return QStringLiteral("Document");
    case DescriptionColumn:
        return QStringLiteral("Description");
    default:
        return {};
    }
}

Qt::ItemFlags CodeTableModel::flags(const QModelIndex& index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}
