#include "UnitOfWork.h"

namespace kovadel {
namespace {

    constexpr const char* kDoomedReason = "the unit of work was rolled back";
    constexpr const char* kNoUnitReason = "no unit of work is open";

} // namespace

Status UnitOfWork::begin()
{
    if (m_depth > 0) {
        if (Status st = usable(); !st)
            return st;
        ++m_depth;
        return {};
    }
    if (Status st = usable(); !st)
        return st; // a damaged file opens no unit
    // The outermost unit's commit is synced; the write lock is taken at once,
    // so a database that another process holds fails here, before any work.
    if (Status st = setSynchronous(true); !st)
        return st;
    if (Status st = execute(m_statements.begin); !st) {
        (void)setSynchronous(false);
        return checked(st);
    }
    m_depth = 1;
    m_doomed = false;
    nextTopicId = 0;
    // Checked once per connection, with the write lock held: nothing can
    // change the file between the check and the unit's work.
    if (!m_verified) {
        if (Status st = verify(); !st) {
            if (m_db.inTransaction())
                (void)execute(m_statements.rollback);
            end();
            return st;
        }
    }
    return {};
}

Status UnitOfWork::commit()
{
    if (m_depth == 0)
        return Status::failure(kNoUnitReason);
    if (m_depth > 1) {
        --m_depth;
        if (!m_damageReason.empty())
            return Status::damage(m_damageReason);
        return m_doomed ? Status::failure(m_doomReason) : Status();
    }
    Status result = usable();
    if (result) {
        m_trace.observeSettings();
        result = execute(m_statements.commit);
        // A commit that could not finish leaves the transaction open; nothing
        // of it may stay half-done.
        if (!result && m_db.inTransaction())
            (void)execute(m_statements.rollback);
    }
    end();
    return result;
}

Status UnitOfWork::rollback()
{
    if (m_depth == 0)
        return Status::failure(kNoUnitReason);
    Status result;
    if (m_db.inTransaction())
        result = execute(m_statements.rollback);
    if (--m_depth > 0) {
        m_doomed = true;
        if (m_damageReason.empty())
            m_doomReason = kDoomedReason;
    } else {
        end();
    }
    // The unit is undone either way; the caller learns why it could not stay.
    if (!m_damageReason.empty())
        return Status::damage(m_damageReason);
    return result;
}

void UnitOfWork::abandon()
{
    if (m_depth > 0 && m_db.inTransaction())
        (void)execute(m_statements.rollback);
    m_depth = 0;
    nextTopicId = 0;
    m_doomed = false;
    m_doomReason.clear();
    m_verified = false;
    m_damageReason.clear();
}

Status UnitOfWork::usable()
{
    if (!m_damageReason.empty())
        return Status::damage(m_damageReason);
    if (m_depth > 0) {
        if (!m_doomed && !m_db.inTransaction()) {
            m_doomed = true;
            m_doomReason = std::string(kDoomedReason) + " (the database ended its transaction)";
        }
        if (m_doomed)
            return Status::failure(m_doomReason);
    }
    return {};
}

Status UnitOfWork::writable()
{
    if (Status st = usable(); !st)
        return st;
    // A unit is checked as it begins.
    if (m_depth > 0 || m_verified)
        return {};
    return verify();
}

Status UnitOfWork::checked(Status status)
{
    // SQLite met a damaged page: the file is refused from now on.
    if (!status && !status.isDamage() && isDamageCode(sqlite3_extended_errcode(m_db.handle())))
        return noteDamage(status.reason());
    if (!status && m_depth > 0 && !m_doomed && !m_db.inTransaction()) {
        m_doomed = true;
        m_doomReason
            = std::string(kDoomedReason) + " (the database ended its transaction after: " + status.reason() + ")";
    }
    return status;
}

void UnitOfWork::doom(const std::string& reason)
{
    if (m_depth == 0 || m_doomed)
        return;
    m_doomed = true;
    m_doomReason = std::string(kDoomedReason) + " (after: " + reason + ")";
}

Status UnitOfWork::inSavepoint(const std::function<Status()>& work)
{
    if (Status st = execute(m_statements.savepoint); !st)
        return checked(st);
    Status st = work();
    if (!st) {
        (void)execute(m_statements.rollbackTo);
        (void)execute(m_statements.release);
        return checked(st);
    }
    st = execute(m_statements.release);
    if (!st && m_depth == 0 && m_db.inTransaction())
        (void)execute(m_statements.rollback);
    return checked(st);
}

Status UnitOfWork::verify()
{
    // Every page that a statement reads or writes is checked by SQLite as it
    // is loaded (cell_size_check), and a damaged one fails the statement (see
    // checked()). These b-trees steer where a run's rows go, so they are
    // checked whole: the schema and the list of free pages, the modules, the
    // coding systems, the defaults and the numbering of new rows.
    static constexpr const char* steering[]
        = { "sqlite_schema", "modules", "codingsystems", "patEdDefaults", "sqlite_sequence" };
    for (const char* table : steering)
        if (Status st = takeVerdict(quickCheck(m_db.handle(), table)); !st)
            return st;
    m_verified = true;
    return {};
}

Status UnitOfWork::takeVerdict(const CheckVerdict& verdict)
{
    switch (verdict.kind) {
    case CheckVerdict::Sound:
        return {};
    case CheckVerdict::Damaged:
        return noteDamage(verdict.detail);
    case CheckVerdict::Unchecked:
        break;
    }
    return Status::failure(
        "the database " + m_shownPath + " could not be checked before it is written: " + verdict.detail);
}

Status UnitOfWork::noteDamage(const std::string& detail)
{
    if (m_damageReason.empty())
        m_damageReason = "the database " + m_shownPath + " is damaged (" + detail + ")";
    // Nothing of an open unit may be committed now.
    if (m_depth > 0) {
        if (m_db.inTransaction())
            (void)execute(m_statements.rollback);
        m_doomed = true;
        m_doomReason = m_damageReason;
    }
    return Status::damage(m_damageReason);
}

Status UnitOfWork::setSynchronous(bool full)
{
    // Compiled anew at every call: SQLite applies PRAGMA synchronous while it
    // compiles the statement, and running a compiled one again changes
    // nothing. (Kept prepared, FULL and NORMAL both took effect once, at
    // open, and every unit committed with NORMAL.)
    return m_db.exec(full ? "PRAGMA synchronous = FULL" : "PRAGMA synchronous = NORMAL");
}

void UnitOfWork::end()
{
    m_depth = 0;
    nextTopicId = 0;
    m_doomed = false;
    m_doomReason.clear();
    (void)setSynchronous(false);
    m_trace.observeSettings();
}

} // namespace kovadel
