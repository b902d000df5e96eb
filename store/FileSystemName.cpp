#include "store/FileSystemName.h"

#include "encoding/Utf8.h"

#include <cstddef>

namespace {

constexpr char16_t kEscapeBase = 0xDC00; // + the byte, for bytes 0x80..0xFF

void appendUtf8(QByteArray& out, char32_t value)
{
    char encoded[4];
    out.append(encoded, encoding::encodeUtf8(value, encoded));
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
        const int length = encoding::utf8Sequence(data + i, static_cast<size_t>(size - i), value);
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
