// The outcome of one step inside the library: success, or a failure with a
// one-line reason (UTF-8) that the C interface hands to the caller. Two kinds
// of failure are told apart: another process held the database for the whole
// busy wait (StartVelk reports it with a result of its own), and damage (the
// database file itself is damaged).
#pragma once

#include <string>
#include <utility>

namespace kovadel {

// The reason of every busy failure, whichever engine keeps the database.
inline constexpr const char* kBusyReason = "the database is busy (locked by another process)";

class Status {
public:
    Status() = default;
    static Status failure(std::string reason) { return Status(std::move(reason)); }
    static Status busyFailure(std::string reason)
    {
        Status st(std::move(reason));
        st.m_busy = true;
        return st;
    }
    // A failure because the database file is damaged; see kovadel.h (KV_DAMAGED).
    static Status damage(std::string reason)
    {
        Status st(std::move(reason));
        st.m_damage = true;
        return st;
    }

    bool ok() const { return !m_failed; }
    bool isDamage() const { return m_damage; }
    explicit operator bool() const { return !m_failed; }
    const std::string& reason() const { return m_reason; }
    bool busy() const { return m_busy; }
    // The same outcome told with another reason: a busy failure stays busy.
    Status withReason(std::string reason) const
    {
        Status st = *this;
        st.m_reason = std::move(reason);
        return st;
    }

private:
    explicit Status(std::string reason)
        : m_failed(true)
        , m_reason(std::move(reason))
    {
    }

    bool m_failed = false;
    bool m_busy = false;
    bool m_damage = false;
    std::string m_reason;
};

} // namespace kovadel
