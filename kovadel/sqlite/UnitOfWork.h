// The units of work of one connection (see kovadel.h), and what every
// operation asks before it runs: whether the unit has been rolled back,
// whether the file was found damaged, and, before the first write, whether
// the file is sound.
#pragma once

#include "CommitTrace.h"
#include "DamageCheck.h"
#include "Sqlite.h"
#include "StatementCache.h"

#include <cstdint>
#include <functional>
#include <string>

namespace kovadel {

class UnitOfWork {
public:
    // `shownPath` names the file in reasons; all four outlive the unit.
    UnitOfWork(Connection& db, StatementCache& statements, CommitTrace& trace, const std::string& shownPath)
        : m_db(db)
        , m_statements(statements)
        , m_trace(trace)
        , m_shownPath(shownPath)
    {
    }
    UnitOfWork(const UnitOfWork&) = delete;
    UnitOfWork& operator=(const UnitOfWork&) = delete;

    Status begin();
    Status commit();
    Status rollback();
    // Rolls back what is open, as the connection closes; forgets everything.
    void abandon();

    // How many units are open (nested ones count); the trace reads it.
    const int& depth() const { return m_depth; }

    // Fails while the unit of work has been rolled back, and for good once the
    // file was found damaged.
    Status usable();
    // usable(); and before the first write outside a unit, the file checked.
    Status writable();
    // After a failed step: a damaged page refuses the file from now on, and
    // inside a unit SQLite may have ended the transaction itself, which dooms
    // the unit.
    Status checked(Status status);
    // Leaves an open unit fit only to be rolled back, after `reason`.
    void doom(const std::string& reason);
    // Runs `work` in a savepoint, so that it is atomic inside and outside a
    // unit: undone when it fails.
    Status inSavepoint(const std::function<Status()>& work);

    // The number the next topic gets, known within a unit (the write lock is
    // held) from the last insert; 0 when not known. Forgotten as a unit
    // begins and ends.
    int64_t nextTopicId = 0;

private:
    // Checks the file once per connection; see verify() in UnitOfWork.cpp.
    Status verify();
    Status takeVerdict(const CheckVerdict& verdict);
    // Refuses the file from now on; an open unit is rolled back at once.
    Status noteDamage(const std::string& detail);
    // FULL for the transaction of a unit, so that its commit is synced;
    // NORMAL outside units.
    Status setSynchronous(bool full);
    void end();

    Connection& m_db;
    StatementCache& m_statements;
    CommitTrace& m_trace;
    const std::string& m_shownPath;

    int m_depth = 0;
    bool m_doomed = false;
    std::string m_doomReason;
    bool m_verified = false; // verify() found the file sound
    std::string m_damageReason; // set once the file was found damaged
};

} // namespace kovadel
