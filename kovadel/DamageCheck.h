// Whether a database is damaged, as SQLite's own quick_check finds it.
//
// The check walks every b-tree of the file (pages, cells, key order, free
// list, records), so a run can refuse a damaged file before anything of it
// is committed. BackgroundCheck runs it on a read-only connection of its own,
// beside the run's work; the run's commit waits for its verdict.
#pragma once

#include "Sqlite.h"

#include <atomic>
#include <string>
#include <thread>

namespace kovadel {

struct CheckVerdict {
    enum Kind {
        Sound,
        Damaged, // detail: what SQLite found (one line)
        Unchecked, // the check could not run; detail says why
    };
    Kind kind = Unchecked;
    std::string detail;
};

// True for the results with which SQLite reports a damaged file.
bool isDamageCode(int rc);

// Runs the check on `db`, stopping early (Unchecked) once `cancel` is set.
CheckVerdict quickCheck(sqlite3* db, const std::atomic<bool>* cancel = nullptr);

class BackgroundCheck {
public:
    // Starts checking the file that `db` has open, through the same VFS. The
    // caller holds the write lock, so the file stays as it was when the
    // check's snapshot is taken.
    BackgroundCheck(sqlite3* db, int busyTimeoutMs);
    ~BackgroundCheck(); // stops the check and waits for its thread
    BackgroundCheck(const BackgroundCheck&) = delete;
    BackgroundCheck& operator=(const BackgroundCheck&) = delete;

    // Waits for the verdict. When no thread could be started, checks `db`
    // itself now.
    CheckVerdict verdict();

private:
    void run(std::string path, std::string vfs, int busyTimeoutMs) noexcept;

    sqlite3* m_main;
    std::atomic<bool> m_cancel { false };
    std::thread m_thread;
    CheckVerdict m_verdict; // written by the thread before it ends
};

} // namespace kovadel
