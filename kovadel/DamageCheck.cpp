#include "DamageCheck.h"

#include <algorithm>
#include <string_view>

namespace kovadel {

namespace {

    // "*** in database main ***\nOn tree page 5 cell 3: ..." as one line.
    std::string oneLine(std::string text)
    {
        constexpr std::string_view head = "*** in database main ***";
        if (text.compare(0, head.size(), head) == 0)
            text.erase(0, head.size());
        std::replace_if(
            text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
        const size_t first = text.find_first_not_of(' ');
        return first == std::string::npos ? std::string() : text.substr(first);
    }

    int stopWhenCancelled(void* cancel) { return static_cast<const std::atomic<bool>*>(cancel)->load() ? 1 : 0; }

} // namespace

bool isDamageCode(int rc)
{
    const int primary = rc & 0xff;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

CheckVerdict quickCheck(sqlite3* db, const std::atomic<bool>* cancel)
{
    if (cancel)
        sqlite3_progress_handler(db, 1000, &stopWhenCancelled, const_cast<std::atomic<bool>*>(cancel));
    CheckVerdict verdict;
    // One finding is enough to refuse the file, and stops the walk early.
    Statement check;
    Status st = check.prepare(db, "PRAGMA quick_check(1)");
    int rc = st ? SQLITE_OK : sqlite3_extended_errcode(db);
    if (st) {
        rc = sqlite3_step(check.handle());
        if (rc == SQLITE_ROW) {
            const unsigned char* text = sqlite3_column_text(check.handle(), 0);
            const std::string found = text ? reinterpret_cast<const char*>(text) : "";
            verdict.kind = found == "ok" ? CheckVerdict::Sound : CheckVerdict::Damaged;
            verdict.detail = oneLine(found);
        } else {
            rc = sqlite3_reset(check.handle());
            verdict.detail = sqliteReason(db, rc);
            verdict.kind = isDamageCode(rc) ? CheckVerdict::Damaged : CheckVerdict::Unchecked;
        }
    } else {
        verdict.detail = st.reason();
        verdict.kind = isDamageCode(rc) ? CheckVerdict::Damaged : CheckVerdict::Unchecked;
    }
    check.finalize();
    if (cancel)
        sqlite3_progress_handler(db, 0, nullptr, nullptr);
    return verdict;
}

BackgroundCheck::BackgroundCheck(sqlite3* db, int busyTimeoutMs)
    : m_main(db)
{
    const char* file = sqlite3_db_filename(db, "main");
    sqlite3_vfs* vfs = nullptr;
    if (sqlite3_file_control(db, "main", SQLITE_FCNTL_VFS_POINTER, &vfs) != SQLITE_OK)
        vfs = nullptr;
    try {
        m_thread = std::thread(&BackgroundCheck::run, this, std::string(file ? file : ""),
            std::string(vfs && vfs->zName ? vfs->zName : ""), busyTimeoutMs);
    } catch (...) {
        // No thread: verdict() checks on the caller's connection instead.
    }
}

BackgroundCheck::~BackgroundCheck()
{
    m_cancel = true;
    if (m_thread.joinable())
        m_thread.join();
}

CheckVerdict BackgroundCheck::verdict()
{
    if (!m_thread.joinable())
        return quickCheck(m_main);
    m_thread.join();
    return m_verdict;
}

void BackgroundCheck::run(std::string path, std::string vfs, int busyTimeoutMs) noexcept
{
    try {
        sqlite3* db = nullptr;
        const int flags = SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_EXRESCODE;
        int rc = sqlite3_open_v2(path.c_str(), &db, flags, vfs.empty() ? nullptr : vfs.c_str());
        if (rc == SQLITE_OK)
            rc = sqlite3_busy_timeout(db, busyTimeoutMs);
        if (rc != SQLITE_OK) {
            m_verdict = { CheckVerdict::Unchecked, sqliteReason(db, rc) };
        } else {
            m_verdict = quickCheck(db, &m_cancel);
        }
        sqlite3_close_v2(db);
    } catch (...) {
        m_verdict = { CheckVerdict::Unchecked, "out of memory" };
    }
}

} // namespace kovadel
