// The same text saved the ways administrators' editors save it. The bytes are
// made here, from a table of the test's own, not by the program's conversion.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <ostream>
#include <stdexcept>
#include <string>

enum class SavedAs {
    Cp1252CrLf, // Notepad's "ANSI", lines ended by CR LF
    Utf8MarkLf, // UTF-8 with a byte-order mark, lines ended by LF
    Utf8Lf, // UTF-8 without a mark, lines ended by LF
    Utf8MarkCrLf, // UTF-8 with a mark, lines ended by CR LF
};

inline const char* savedAsName(SavedAs form)
{
    switch (form) {
    case SavedAs::Cp1252CrLf:
        return "Cp1252CrLf";
    case SavedAs::Utf8MarkLf:
        return "Utf8MarkLf";
    case SavedAs::Utf8Lf:
        return "Utf8Lf";
    case SavedAs::Utf8MarkCrLf:
        return "Utf8MarkCrLf";
    }
    return "?";
}

// Windows-1252 for the characters the tests use: Latin-1 from U+00A0 up, and
// the few of 0x80 to 0x9F that the texts hold.
inline char cp1252Byte(char16_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return static_cast<char>(c);
    switch (c) {
    case u'\u20AC':
        return '\x80'; // euro sign
    case u'\u2018':
        return '\x91';
    case u'\u2019':
        return '\x92';
    case u'\u201C':
        return '\x93';
    case u'\u201D':
        return '\x94';
    case u'\u2013':
        return '\x96'; // en dash
    default:
        throw std::invalid_argument("no Windows-1252 byte in the test's table for U+" + std::to_string(c));
    }
}

// The lines saved in `form`, every line ended (also the last).
inline QByteArray savedText(const QStringList& lines, SavedAs form)
{
    const bool crlf = form == SavedAs::Cp1252CrLf || form == SavedAs::Utf8MarkCrLf;
    QByteArray bytes;
    if (form == SavedAs::Utf8MarkLf || form == SavedAs::Utf8MarkCrLf)
        bytes += "\xEF\xBB\xBF";
    for (const QString& line : lines) {
        if (form == SavedAs::Cp1252CrLf) {
            for (const QChar c : line)
                bytes += cp1252Byte(c.unicode());
        } else {
            bytes += line.toUtf8();
        }
        bytes += crlf ? "\r\n" : "\n";
    }
    return bytes;
}

inline void PrintTo(SavedAs form, std::ostream* os) { *os << savedAsName(form); }

inline const SavedAs kAllForms[] = { SavedAs::Cp1252CrLf, SavedAs::Utf8MarkLf, SavedAs::Utf8Lf, SavedAs::Utf8MarkCrLf };
