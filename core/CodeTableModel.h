// The codes of one coding system as a table (code, document, description),
// read a page at a time: the first page when a system or search is set, the
// next each time the view asks for more (canFetchMore / fetchMore), each page
// continuing after the last code already shown. A system of 75,000 codes
// therefore costs only the pages that were scrolled to. Read-only.
//
// Sorted by code, ascending, the table keeps the library's code order and
// pages on. Any other sort needs every matching code: the rest are read at
// once, then the rows are ordered (ties keep code order).
#pragma once

#include "core/ContentsSource.h"

#include <QAbstractTableModel>

#include <functional>
#include <vector>

class CodeTableModel : public QAbstractTableModel {
public:
    enum Column { CodeColumn = 0, DocumentColumn = 1, DescriptionColumn = 2, ColumnCount = 3 };
    static constexpr int CodeIdRole = Qt::UserRole + 1;
    static constexpr int defaultPageSize = 200;

    explicit CodeTableModel(ContentsSource& source, QObject* parent = nullptr);

    // Shows the codes of `systemId` that match `pattern`: the table is reset
    // and its first page read. A system of 0 shows nothing.
    void setSearch(int32_t systemId, const QString& pattern);
    // Reads the current search again from its first page (after a change in
    // the database), keeping the sort.
    void reload() { setSearch(m_systemId, m_pattern); }
    void clear() { setSearch(0, QString()); }

    int32_t systemId() const { return m_systemId; }
    QString pattern() const { return m_pattern; }
    void setPageSize(int rows) { m_pageSize = rows > 0 ? rows : defaultPageSize; }
    int pageSize() const { return m_pageSize; }
    // Every matching code has been read: rowCount() is their number.
    bool complete() const { return m_complete; }
    // Why the last read failed; empty after one that succeeded.
    QString error() const { return m_error; }
    // Called after every read, with its error (empty when it succeeded).
    void setReadHandler(std::function<void(const QString&)> handler) { m_readHandler = std::move(handler); }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    int sortColumn() const { return m_sortColumn; }
    Qt::SortOrder sortOrder() const { return m_sortOrder; }

private:
    bool inCodeOrder() const { return m_sortColumn == CodeColumn && m_sortOrder == Qt::AscendingOrder; }
    // Reads up to `limit` codes after the last row (every remaining one when
    // limit <= 0) into `page`; false when the read failed.
    bool readAfterLast(int limit, std::vector<ContentsCode>& page);
    void readAll();
    // The display order for a sort other than by code ascending.
    void orderRows();
    const ContentsCode& shownRow(int row) const;
    void tell();

    ContentsSource& m_source;
    int32_t m_systemId = 0;
    QString m_pattern;
    int m_pageSize = defaultPageSize;
    // The rows read, always in the library's code order.
    std::vector<ContentsCode> m_rows;
    // For any other sort: the rows to show, as places in m_rows.
    std::vector<int> m_order;
    // The last code read, in code order: where the next page continues.
    CodeCursor m_cursor;
    bool m_complete = true;
    QString m_error;
    int m_sortColumn = CodeColumn;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    std::function<void(const QString&)> m_readHandler;
};
