#include "store/FileSystemName.h"

#include <cstdint>

namespace {

constexpr char16_t kEscapeBase = 0xDC00; // + the byte, for bytes 0x80..0xFF

// The length of the valid UTF-8 sequence at `at`, 0 when there is none.
// Overlong forms, surrogates and values past U+10FFFF are not valid.
int validSequence(const unsigned char* at, qsizetype left, char32_t& value)
{
    const unsigned char lead = at[0];
    int length = 0;
    char32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1Fu;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0Fu;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07u;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (left < length)
        return 0;
    for (int i = 1; i < length; ++i) {
        if ((at[i] & 0xC0u) != 0x80u)
            return 0;
        value = (value << 6) | (at[i] & 0x3Fu);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    return length;
}

void appendUtf8(QByteArray& out, char32_t value)
{
    if (value < 0x80) {
        out += static_cast<char>(value);
    } else if (value < 0x800) {
        out += static_cast<char>(0xC0 | (value >> 6));
        out += static_cast<char>(0x80 | (value & 0x3F));
    } else if (value < 0x10000) {
        out += static_cast<char>(0xE0 | (value >> 12));
        out += static_cast<char>(0x80 | ((value >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (value & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (value >> 18));
        out += static_cast<char>(0x80 | ((value >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((value >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (value & 0x3F));
    }
}

} // namespace

QString fromFileSystemBytes(const QByteArray& bytes)
{
    QString out;
    out.reserve(bytes.size());
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype size = bytes.size();
    for (qsizetype i = 0; i < size;) {
        if (data[i] < 0x80) {
            out += QChar(static_cast<char16_t>(data[i]));
            ++i;
            continue;
        }
        char32_t value = 0;
        const int length = validSequence(data + i, size - i, value);
        if (length == 0) {
            out += QChar(static_cast<char16_t>(kEscapeBase + data[i]));
            ++i;
            continue;
        }
        if (value >= 0x10000) {
            out += QChar(QChar::highSurrogate(value));
            out += QChar(QChar::lowSurrogate(value));
        } else {
            out += QChar(static_cast<char16_t>(value));
        }
        i += length;
    }
    return out;
}

QByteArray fileSystemBytes(const QString& name)
{
    QByteArray out;
    out.reserve(name.size());
    const qsizetype size = name.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t unit = name.at(i).unicode();
        if (QChar::isHighSurrogate(unit) && i + 1 < size && name.at(i + 1).isLowSurrogate()) {
            appendUtf8(out, QChar::surrogateToUcs4(unit, name.at(i + 1).unicode()));
            ++i;
        } else if (unit >= kEscapeBase + 0x80 && unit <= kEscapeBase + 0xFF) {
            out += static_cast<char>(unit - kEscapeBase);
        } else if (QChar::isSurrogate(unit)) {
            appendUtf8(out, 0xFFFD); // no file name of ours holds one
        } else {
            appendUtf8(out, unit);
        }
    }
    return out;
}
