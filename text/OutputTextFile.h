// An output text file in the ANSI code page, written whole or not at all.
//
// The lines go to a temporary file beside the file named, each ended by CR LF;
// commit() flushes it to the disk and renames it over the file named, so a
// reader sees either the file as it was or the whole new one, never part of
// it. A file that is not committed is removed again (the destructor does it
// too), and the file named is left as it was.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <string>

// What an export wrote.
struct ExportCounts {
    int64_t recordsWritten = 0; // topics, codes or descriptions
    int64_t linesWritten = 0;
};

class OutputTextFile {
public:
    OutputTextFile() = default;
    ~OutputTextFile();
    OutputTextFile(const OutputTextFile&) = delete;
    OutputTextFile& operator=(const OutputTextFile&) = delete;

    // Creates the temporary file in the folder of `path`. On failure returns
    // false and sets `error` to a one-line reason that names `path`.
    bool open(const QString& path, QString* error = nullptr);

    // The first character of `text` that the code page has no byte for (a
    // character beyond the Basic Multilingual Plane whole), or an empty
    // string when the code page holds the whole text.
    static QString missingCharacter(const QString& text);

    // The code page's name, as messages give it ("WINDOWS-1252").
    static QString codePageName();

    // Appends one line and its CR LF. The caller has checked the text with
    // missingCharacter(); a character the code page lacks would be written as
    // '?'. False once writing has failed (commit() then says why).
    bool writeLine(const QString& text);

    // Writes what is left, makes it durable and puts it in place of the file
    // named. On failure removes the temporary file, leaves the file named as
    // it was, and sets `error`.
    bool commit(QString* error = nullptr);

    // Removes the temporary file; the file named stays as it was.
    void discard();

    int64_t linesWritten() const { return m_lines; }
    // Whether a write has failed (commit() then says why).
    bool failed() const { return !m_error.isEmpty(); }
    const QString& path() const { return m_path; }

private:
    bool flushBuffer();
    bool fail(const QString& why);

    QString m_path;
    QByteArray m_target; // the file named, as file-system bytes
    QByteArray m_temporary;
    int m_fd = -1;
    std::string m_buffer;
    int64_t m_lines = 0;
    QString m_error;
    // Whether every line so far is well-formed UTF-8, and whether any holds a
    // multi-byte sequence: a reader would then take the file for UTF-8.
    bool m_allUtf8 = true;
    bool m_multiByte = false;
};
