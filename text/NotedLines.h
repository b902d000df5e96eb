// Line numbers of one kind of event in an input file (a line skipped, a text
// cut to its field): how many there were, and the first few of them, so that
// the operator can be told which lines to look at without a listing as long
// as the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class NotedLines {
public:
    // Line numbers kept for listing; the rest are only counted.
    static constexpr size_t kListed = 20;

    void note(int64_t lineNumber)
    {
        ++m_total;
        if (m_listed.size() < kListed)
            m_listed.push_back(lineNumber);
    }

    int64_t total() const { return m_total; }
    bool empty() const { return m_total == 0; }
    // The first kListed line numbers, in the order noted.
    const std::vector<int64_t>& listed() const { return m_listed; }
    // How many were noted beyond the listed ones.
    int64_t unlisted() const { return m_total - static_cast<int64_t>(m_listed.size()); }

private:
    int64_t m_total = 0;
    std::vector<int64_t> m_listed;
};
