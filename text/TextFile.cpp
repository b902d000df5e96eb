#include "text/TextFile.h"

#include <kovadel/codepage.h>

#include <QFile>
#include <QFileInfo>

#include <array>

namespace {

// The code page's byte table, taken once from the shared conversion: one byte
// gives one UTF-16 code unit, so a line decodes straight into its QString
// without an intermediate buffer.
const std::array<char16_t, 256>& ansiTable()
{
    static const std::array<char16_t, 256> table = [] {
        std::string bytes(256, '\0');
        for (int b = 0; b < 256; ++b)
            bytes[static_cast<size_t>(b)] = static_cast<char>(b);
        const std::u16string units = kovadel::ansiToUtf16(bytes);
        std::array<char16_t, 256> result {};
        for (size_t b = 0; b < result.size(); ++b)
            result[b] = units[b];
        return result;
    }();
    return table;
}

} // namespace

bool TextFile::open(const QString& path, QString* error)
{
    close();
    m_path = path;

    auto fail = [&](const QString& reason) {
        if (error)
            *error = reason;
        return false;
    };

    const QFileInfo info(path);
    if (!info.exists())
        return fail(QStringLiteral("The file %1 does not exist.").arg(path));
    if (info.isDir())
        return fail(QStringLiteral("%1 is a folder, not a file.").arg(path));

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("The file %1 cannot be read: %2").arg(path, file.errorString()));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return fail(QStringLiteral("The file %1 cannot be read: %2").arg(path, file.errorString()));

    m_bytes.assign(bytes.constData(), static_cast<size_t>(bytes.size()));
    m_pos = 0;
    m_lineNumber = 0;
    m_open = true;
    return true;
}

void TextFile::close()
{
    m_bytes.clear();
    m_bytes.shrink_to_fit();
    m_pos = 0;
    m_lineNumber = 0;
    m_open = false;
}

QString TextFile::readLine()
{
    if (atEnd())
        return QString();

    // A line ends at CR, CR LF or LF.
    const char* const data = m_bytes.data();
    const size_t size = m_bytes.size();
    const size_t begin = m_pos;
    size_t end = begin;
    while (end < size && data[end] != '\r' && data[end] != '\n')
        ++end;
    m_pos = end;
    if (m_pos < size) {
        if (data[m_pos] == '\r' && m_pos + 1 < size && data[m_pos + 1] == '\n')
            m_pos += 2;
        else
            m_pos += 1;
    }
    ++m_lineNumber;

    const auto& table = ansiTable();
    const qsizetype length = static_cast<qsizetype>(end - begin);
    QString line(length, Qt::Uninitialized);
    QChar* out = line.data();
    for (qsizetype i = 0; i < length; ++i)
        out[i] = QChar(table[static_cast<unsigned char>(data[begin + static_cast<size_t>(i)])]);
    return line;
}
