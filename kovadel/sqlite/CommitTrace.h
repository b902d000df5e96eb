// Diagnostics: when VELKINDEX_TRACE_COMMITS names a file, every commit and
// roll-back of the connection appends one line to it, with the synchronous
// level and journal mode that the connection reports. The hooks may not run
// SQL, so the settings are read beforehand (observeSettings()).
#pragma once

#include "Sqlite.h"

#include <cstdint>
#include <string>

namespace kovadel {

class CommitTrace {
public:
    CommitTrace() = default;
    CommitTrace(const CommitTrace&) = delete;
    CommitTrace& operator=(const CommitTrace&) = delete;

    // Hooks the trace into `db` when the variable names a file. `unitDepth`
    // tells each line whether a unit of work is open; both must outlive the
    // connection.
    void start(sqlite3* db, const int* unitDepth);
    // Reads the settings that the next lines tell; nothing without a trace.
    void observeSettings();

private:
    static int onCommit(void* trace);
    static void onRollback(void* trace);
    void append(const std::string& line) const;
    std::string unitField() const;

    sqlite3* m_db = nullptr;
    const int* m_unitDepth = nullptr;
    std::string m_path; // empty: no trace
    int64_t m_observedSynchronous = -1;
    std::string m_observedJournalMode;
};

} // namespace kovadel
