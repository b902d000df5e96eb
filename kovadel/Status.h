// The outcome of one step inside the library: success, or a failure with a
// one-line reason (UTF-8) that the C interface hands to the caller. A
// failure can be marked as damage: the database file itself is damaged.
#pragma once

#include <string>
#include <utility>

namespace kovadel {

class Status {
public:
    Status() = default;
    static Status failure(std::string reason) { return Status(std::move(reason)); }
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

private:
    explicit Status(std::string reason)
        : m_failed(true)
        , m_reason(std::move(reason))
    {
    }

    bool m_failed = false;
    bool m_damage = false;
    std::string m_reason;
};

} // namespace kovadel
