// One unit of work of the data-access library, ended on every path.
//
// begin() opens the unit; commit() ends it with a commit; a unit that is
// still open when the object goes away is rolled back. Units nest in the
// library: inside an outer unit, only the outermost commit writes.
//
// damaged() tells that the unit could not be opened or kept because the
// library found the database file damaged (KV_DAMAGED): nothing was written.
#pragma once

#include "store/Externals.h"

#include <kovadel/kovadel.h>

class UnitOfWork {
public:
    explicit UnitOfWork(Externals& store) : m_store(store) { }
    ~UnitOfWork()
    {
        // A library that cannot roll back (it lost a function, say) must not
        // end the program from a destructor; SQLite undoes an open unit when
        // the connection closes.
        try {
            rollback();
        } catch (...) {
        }
    }
    UnitOfWork(const UnitOfWork&) = delete;
    UnitOfWork& operator=(const UnitOfWork&) = delete;

    // False (with the library's reason in error()) when the unit cannot be
    // opened, for instance because another process holds the database.
    bool begin()
    {
        CallStatus status;
        const int32_t result = m_store.BeginUnit(status);
        m_open = result != 0 && result != KV_DAMAGED;
        m_damaged = result == KV_DAMAGED;
        if (!m_open)
            m_error = m_store.LastError();
        return m_open;
    }

    bool commit()
    {
        if (!m_open)
            return false;
        CallStatus status;
        // A commit that raises (the run was stopped before it) leaves the unit
        // open, and the destructor rolls it back; one that returns has ended
        // the unit, committed or not.
        const int32_t result = m_store.CommitUnit(status);
        m_open = false;
        if (result != 0 && result != KV_DAMAGED)
            return true;
        m_damaged = result == KV_DAMAGED;
        m_error = m_store.LastError();
        return false;
    }

    void rollback()
    {
        if (!m_open)
            return;
        CallStatus status;
        m_open = false;
        if (m_store.RollbackUnit(status) == KV_DAMAGED) {
            m_damaged = true;
            m_error = m_store.LastError();
        }
    }

    bool isOpen() const { return m_open; }
    bool damaged() const { return m_damaged; }
    const QString& error() const { return m_error; }

private:
    Externals& m_store;
    bool m_open = false;
    bool m_damaged = false;
    QString m_error;
};
