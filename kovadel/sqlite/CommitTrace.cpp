#include "CommitTrace.h"

#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace kovadel {

void CommitTrace::start(sqlite3* db, const int* unitDepth)
{
    m_db = db;
    m_unitDepth = unitDepth;
    const char* path = std::getenv("VELKINDEX_TRACE_COMMITS");
    if (!path || !*path)
        return;
    m_path = path;
    sqlite3_commit_hook(db, &CommitTrace::onCommit, this);
    sqlite3_rollback_hook(db, &CommitTrace::onRollback, this);
}

void CommitTrace::observeSettings()
{
    if (m_path.empty())
        return;
    m_observedSynchronous = -1;
    m_observedJournalMode = "?";
    Statement synchronous, journalMode;
    if (synchronous.prepare(m_db, "PRAGMA synchronous")) {
        StatementRun r(synchronous);
        if (r.next())
            m_observedSynchronous = r.columnInteger(0);
    }
    if (journalMode.prepare(m_db, "PRAGMA journal_mode")) {
        StatementRun r(journalMode);
        if (r.next())
            m_observedJournalMode = r.columnText(0);
    }
}

std::string CommitTrace::unitField() const { return std::string(" unit=") + (*m_unitDepth > 0 ? "1" : "0"); }

int CommitTrace::onCommit(void* trace)
{
    const CommitTrace* self = static_cast<const CommitTrace*>(trace);
    self->append("commit" + self->unitField() + " synchronous=" + std::to_string(self->m_observedSynchronous)
        + " journal_mode=" + self->m_observedJournalMode);
    return 0; // the commit goes ahead
}

void CommitTrace::onRollback(void* trace)
{
    const CommitTrace* self = static_cast<const CommitTrace*>(trace);
    self->append("rollback" + self->unitField());
}

void CommitTrace::append(const std::string& line) const
{
    // One write per line, appended, so that the lines of several processes
    // sharing one trace file do not interleave.
    const int fd = ::open(m_path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    const std::string text = line + " pid=" + std::to_string(::getpid()) + "\n";
    (void)!::write(fd, text.data(), text.size());
    ::close(fd);
}

} // namespace kovadel
