#include "PendingRows.h"

#include <algorithm>

namespace kovadel {

namespace {

    size_t keyHash(std::string_view key)
    {
        // FNV-1a: short codes spread well, and nothing is allocated.
        uint64_t h = 14695981039346656037ull;
        for (const char c : key)
            h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
        return static_cast<size_t>(h ^ (h >> 32));
    }

} // namespace

PendingRows::PendingRows(std::string_view head, std::string_view kinds, std::string_view tail)
    : m_head(head)
    , m_tail(tail)
    , m_kinds(kinds)
{
    m_cells.reserve(static_cast<size_t>(kBatchRows) * m_kinds.size());
}

void PendingRows::keyOn(size_t column)
{
    m_keyColumn = column;
    m_slots.assign(kSlots, 0);
}

std::string_view PendingRows::text(size_t row, size_t column) const
{
    const Cell& c = m_cells[row * m_kinds.size() + column];
    return std::string_view(m_text.data() + c.offset, c.size);
}

void PendingRows::endRow()
{
    ++m_rows;
    if (m_slots.empty())
        return;
    // A batch never holds more rows than a quarter of the slots.
    size_t i = keyHash(text(m_rows - 1, m_keyColumn)) & (kSlots - 1);
    while (m_slots[i] != 0)
        i = (i + 1) & (kSlots - 1);
    m_slots[i] = static_cast<uint32_t>(m_rows);
}

bool PendingRows::holdsKey(std::string_view key) const
{
    if (m_slots.empty() || m_rows == 0)
        return false;
    for (size_t i = keyHash(key) & (kSlots - 1); m_slots[i] != 0; i = (i + 1) & (kSlots - 1))
        if (text(m_slots[i] - 1, m_keyColumn) == key)
            return true;
    return false;
}

void PendingRows::addInteger(int64_t value)
{
    Cell c;
    c.integer = value;
    m_cells.push_back(c);
}

void PendingRows::addText(std::string_view value)
{
    Cell c;
    c.offset = static_cast<uint32_t>(m_text.size());
    c.size = static_cast<uint32_t>(value.size());
    m_text.append(value);
    m_cells.push_back(c);
}

void PendingRows::setInteger(size_t row, size_t column, int64_t value)
{
    m_cells[row * m_kinds.size() + column].integer = value;
}

Status PendingRows::prepareBatch(sqlite3* db)
{
    // The connection may allow fewer bound values than a full batch needs.
    const int allowed = sqlite3_limit(db, SQLITE_LIMIT_VARIABLE_NUMBER, -1);
    const int columns = static_cast<int>(m_kinds.size());
    m_batchRows = std::clamp(allowed / columns, 1, kBatchRows);
    std::string row = "(";
    for (int c = 0; c < columns; ++c)
        row += c == 0 ? "?" : ", ?";
    row += ")";
    std::string sql = m_head;
    sql.reserve(sql.size() + static_cast<size_t>(m_batchRows) * (row.size() + 2));
    for (int r = 0; r < m_batchRows; ++r) {
        if (r > 0)
            sql += ", ";
        sql += row;
    }
    sql += m_tail;
    return m_batch.prepare(db, sql);
}

int PendingRows::bindRow(sqlite3_stmt* stmt, size_t row, int first) const
{
    const size_t columns = m_kinds.size();
    const Cell* cell = &m_cells[row * columns];
    for (size_t c = 0; c < columns; ++c, ++cell) {
        const int place = first + static_cast<int>(c);
        // The texts stay in m_text until the statement has run and been reset.
        const int rc = m_kinds[c] == 't'
            ? sqlite3_bind_text(stmt, place, m_text.data() + cell->offset, static_cast<int>(cell->size), SQLITE_STATIC)
            : sqlite3_bind_int64(stmt, place, cell->integer);
        if (rc != SQLITE_OK)
            return rc;
    }
    return SQLITE_OK;
}

Status PendingRows::send(sqlite3* db, Statement& single, Describe describe)
{
    const int columns = static_cast<int>(m_kinds.size());
    const size_t batch = static_cast<size_t>(m_batchRows);
    Status result;
    size_t row = 0;
    if (m_rows >= batch && !m_batch.prepared())
        result = prepareBatch(db);
    while (result && m_rows - row >= static_cast<size_t>(m_batchRows)) {
        sqlite3_stmt* stmt = m_batch.handle();
        int rc = SQLITE_OK;
        for (int r = 0; r < m_batchRows && rc == SQLITE_OK; ++r)
            rc = bindRow(stmt, row + static_cast<size_t>(r), 1 + r * columns);
        if (rc == SQLITE_OK)
            rc = sqlite3_step(stmt);
        sqlite3_reset(stmt);
        // A refused statement stores none of its rows: they go again one by
        // one, which finds the refused row (or meets the same failure).
        if (rc != SQLITE_DONE)
            result = sendSingly(db, single, row, row + static_cast<size_t>(m_batchRows), describe);
        row += static_cast<size_t>(m_batchRows);
    }
    if (result)
        result = sendSingly(db, single, row, m_rows, describe);
    discard();
    return result;
}

Status PendingRows::sendSingly(sqlite3* db, Statement& single, size_t from, size_t to, Describe describe) const
{
    for (size_t row = from; row < to; ++row) {
        sqlite3_stmt* stmt = single.handle();
        int rc = bindRow(stmt, row, 1);
        if (rc == SQLITE_OK)
            rc = sqlite3_step(stmt);
        Status st;
        if (rc != SQLITE_DONE)
            st = sqliteFailure(db, rc);
        sqlite3_reset(stmt);
        if (!st)
            return st.withReason(st.reason() + " (storing " + describe(*this, row) + ")");
    }
    return {};
}

void PendingRows::discard()
{
    m_cells.clear();
    m_text.clear();
    m_rows = 0;
    if (!m_slots.empty())
        std::fill(m_slots.begin(), m_slots.end(), 0u);
}

void PendingRows::reset()
{
    discard();
    m_batch.finalize();
    m_batchRows = kBatchRows;
}

} // namespace kovadel
