// The outcome of one step inside the library: success, or a failure with a
// one-line reason (UTF-8) that the C interface hands to the caller.
#pragma once

#include <string>
#include <utility>

namespace kovadel {

class Status {
public:
    Status() = default;
    static Status failure(std::string reason) { return Status(std::move(reason)); }

    bool ok() const { return !m_failed; }
    explicit operator bool() const { return !m_failed; }
    const std::string& reason() const { return m_reason; }

private:
    explicit Status(std::string reason)
        : m_failed(true)
        , m_reason(std::move(reason))
    {
    }

    bool m_failed = false;
    std::string m_reason;
};

} // namespace kovadel
