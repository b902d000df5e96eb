// An input text file read line by line.
//
// The file is read whole when it is opened and decoded in the ANSI code page.
// A line ends at CR, CR LF or LF; the terminator is not part of the line, and
// a last line without a terminator is read like any other.
#pragma once

#include <QString>

#include <cstdint>
#include <string>

class TextFile {
public:
    // Opens and reads `path`. On failure returns false and sets `error` to a
    // one-line reason that names the file (missing, a folder, unreadable).
    bool open(const QString& path, QString* error = nullptr);
    void close();
    bool isOpen() const { return m_open; }

    bool atEnd() const { return !m_open || m_pos >= m_bytes.size(); }
    // The next line without its terminator; empty at the end of the file.
    QString readLine();
    // 1-based number of the line that readLine() returned last (0 before the first).
    int64_t lineNumber() const { return m_lineNumber; }
    const QString& path() const { return m_path; }

private:
    QString m_path;
    std::string m_bytes;
    size_t m_pos = 0;
    int64_t m_lineNumber = 0;
    bool m_open = false;
};
