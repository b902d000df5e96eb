// Rows of one table that a unit of work inserts, gathered and stored many to
// a statement.
//
// A load inserts one row per call. Run one at a time, every insert pays the
// statement's fixed cost (its cursors opened and closed, the AUTOINCREMENT
// counter read and written back) for one row; a statement of many VALUES rows
// pays it once for all of them. Within a unit nothing else can see the rows
// before the commit, so they may wait: the engine sends them as soon as a
// batch is full, and the rest before any other operation reads or changes the
// database, and before the unit commits. Outside a unit every insert is
// stored at once.
#pragma once

#include "Sqlite.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kovadel {

class PendingRows {
public:
    // The batch statement is `head`, the rows as "(?, ?, ...)" lists, then
    // `tail`: "INSERT INTO table (columns) VALUES " and no tail, or a
    // statement that joins the rows as a VALUES list. `kinds` names each
    // column's kind in order: 'i' an integer, 't' a text.
    PendingRows(std::string_view head, std::string_view kinds, std::string_view tail = {});
    PendingRows(const PendingRows&) = delete;
    PendingRows& operator=(const PendingRows&) = delete;

    // The number of rows a batch statement stores, lowered to what the
    // connection allows for bound values.
    static constexpr int kBatchRows = 256;

    bool empty() const { return m_rows == 0; }
    size_t size() const { return m_rows; }

    // One row: its values in column order, an integer or a text each as
    // `kinds` says. The texts are copied. The caller sends the batch when
    // full() says so.
    void addInteger(int64_t value);
    void addText(std::string_view value);
    void endRow();
    bool full() const { return m_rows >= static_cast<size_t>(m_batchRows); }

    // Changes one integer of a waiting row (0 the first one).
    void setInteger(size_t row, size_t column, int64_t value);

    // Keeps the texts of `column` findable: holdsKey() tells whether a
    // waiting row has that text there.
    void keyOn(size_t column);
    bool holdsKey(std::string_view key) const;

    std::string_view text(size_t row, size_t column) const;

    // Stores every waiting row: full batches with the many-row statement, the
    // rest one at a time with `single` (the one-row form, its values ?1 to ?N
    // in column order). When the database refuses a batch (a trigger or
    // constraint of its own may refuse one row), the batch is sent again row
    // by row, and the reason names the refused row by `describe(rows, row)`.
    // The rows are forgotten either way.
    using Describe = std::string (*)(const PendingRows& rows, size_t row);
    Status send(sqlite3* db, Statement& single, Describe describe);
    // Forgets the waiting rows (the unit was rolled back).
    void discard();
    // Forgets the batch statement too, before the connection closes.
    void reset();

private:
    struct Cell {
        int64_t integer = 0;
        uint32_t offset = 0; // a text's place in m_text
        uint32_t size = 0;
    };

    Status prepareBatch(sqlite3* db);
    // Binds row `row`'s values from the `first` place of `stmt` on.
    int bindRow(sqlite3_stmt* stmt, size_t row, int first) const;
    // Stores rows [from, to) one at a time.
    Status sendSingly(sqlite3* db, Statement& single, size_t from, size_t to, Describe describe) const;

    std::string m_head;
    std::string m_tail;
    std::string m_kinds;
    std::vector<Cell> m_cells;
    std::string m_text;
    size_t m_rows = 0;
    int m_batchRows = kBatchRows;
    Statement m_batch;
    // The key index: open addressing over the waiting rows (row + 1; 0 is
    // free), four slots a row, so that a probe stays short.
    static constexpr size_t kSlots = 4 * kBatchRows;
    static_assert((kSlots & (kSlots - 1)) == 0, "the slots are masked, so their number is a power of two");
    size_t m_keyColumn = 0;
    std::vector<uint32_t> m_slots;
};

} // namespace kovadel
