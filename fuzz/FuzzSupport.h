// Shared pieces of the fuzz targets: turning the fuzzer's bytes into text and
// stopping loudly when a property does not hold.
#pragma once

#include "encoding/CodePage.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// Prints what went wrong and aborts, so that libFuzzer keeps the input as a
// crash file. `detail` is any QString worth showing (the input, a result).
[[noreturn]] inline void fuzzFail(const char* file, int line, const char* condition, const QString& detail)
{
    std::fprintf(stderr, "%s:%d: property failed: %s\n", file, line, condition);
    if (!detail.isEmpty())
        std::fprintf(stderr, "  %s\n", detail.toUtf8().constData());
    std::fflush(stderr);
    std::abort();
}

#define FUZZ_CHECK(condition, detail)                                                                             \
    do {                                                                                                          \
        if (!(condition))                                                                                         \
            fuzzFail(__FILE__, __LINE__, #condition, (detail));                                                   \
    } while (false)

// Shows text with every character outside printable ASCII as \uXXXX, so a
// failure message says exactly what the input held.
inline QString visible(const QString& text)
{
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u >= 0x20 && u < 0x7F && u != u'"' && u != u'\\')
            out += c;
        else
            out += QStringLiteral("\\u%1").arg(static_cast<unsigned>(u), 4, 16, QLatin1Char('0'));
    }
    return out + u'"';
}

// The fuzzer's bytes as text. The first byte picks how the rest is read, so
// one corpus covers the three ways text reaches the program:
//   even       - code-page bytes, as an input file is read;
//   1 (mod 4)  - UTF-8, as the command line arrives;
//   3 (mod 4)  - raw UTF-16LE code units, lone surrogates and NULs included.
// An empty input is the empty text.
inline QString fuzzText(const uint8_t* data, size_t size)
{
    if (size == 0)
        return QString();
    const uint8_t selector = data[0];
    const char* rest = reinterpret_cast<const char*>(data + 1);
    const size_t restSize = size - 1;
    if ((selector & 1u) == 0) {
        const std::u16string units = encoding::ansiToUtf16(std::string_view(rest, restSize));
        return QString(reinterpret_cast<const QChar*>(units.data()), static_cast<qsizetype>(units.size()));
    }
    if ((selector & 2u) == 0)
        return QString::fromUtf8(rest, static_cast<qsizetype>(restSize));
    QString text(static_cast<qsizetype>(restSize / 2), Qt::Uninitialized);
    for (size_t i = 0; i < restSize / 2; ++i)
        text[static_cast<qsizetype>(i)] = QChar(static_cast<char16_t>(static_cast<uint8_t>(rest[2 * i])
                                                                      | (static_cast<uint8_t>(rest[2 * i + 1]) << 8)));
    return text;
}
