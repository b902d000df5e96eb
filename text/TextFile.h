// An input text file read line by line.
//
// Opening reads the file through once, in blocks, to learn its encoding and
// to refuse what is no text; the lines are then read in blocks as they are
// asked for, so memory stays small whatever the file's size. Its encoding is
// taken from its whole content (encoding/InputEncoding.h): UTF-8 with or without a byte-order mark, or the
// ANSI code page; a UTF-16 file is refused. The mark is not part of the first
// line, and in a UTF-8 file a mark at the start of any later line (files
// joined together) is dropped too. A line ends at CR, CR LF or LF; the
// terminator is not part of the line, and a last line without a terminator is
// read like any other.
#pragma once

#include "encoding/InputEncoding.h"

#include <QString>

#include <cstdint>
#include <string>

class TextFile {
public:
    enum class OpenFailure { None, Missing, Folder, NotRegular, Unreadable, Utf16 };

    // Opens and reads `path`. On failure returns false and sets `error` to a
    // one-line reason that names the file (missing, a folder, not a regular
    // file such as a device or a pipe, unreadable, saved as UTF-16). Only a
    // regular file is read, and opening never waits for a pipe's writer.
    bool open(const QString& path, QString* error = nullptr);
    // Why the last open failed; None after a successful one.
    OpenFailure openFailure() const { return m_failure; }
    // The encoding the open file is read in.
    encoding::TextEncoding encoding() const { return m_encoding; }
    void close();
    bool isOpen() const { return m_open; }

    bool atEnd() const { return !m_open || (m_pos >= m_bytes.size() && m_drained); }
    // The next line without its terminator; empty at the end of the file.
    QString readLine();
    // 1-based number of the line that readLine() returned last (0 before the first).
    int64_t lineNumber() const { return m_lineNumber; }
    const QString& path() const { return m_path; }

    TextFile() = default;
    ~TextFile() { close(); }
    TextFile(const TextFile&) = delete;
    TextFile& operator=(const TextFile&) = delete;

private:
    // Moves the unread bytes to the front of the buffer and appends the
    // file's next block; false when nothing more was read.
    bool readNextBlock();

    QString m_path;
    int m_fd = -1;
    std::string m_bytes; // the block being read; unread bytes start at m_pos
    size_t m_pos = 0;
    bool m_drained = true; // nothing is left in the file past m_bytes
    int64_t m_lineNumber = 0;
    bool m_open = false;
    encoding::TextEncoding m_encoding = encoding::TextEncoding::Ansi;
    OpenFailure m_failure = OpenFailure::None;
};
