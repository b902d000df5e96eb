#include "text/TextFile.h"

#include "encoding/CodePage.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr std::string_view kUtf8Mark("\xEF\xBB\xBF", 3);

} // namespace

bool TextFile::open(const QString& path, QString* error)
{
    close();
    m_path = path;

    auto fail = [&](OpenFailure failure, const QString& reason) {
        m_failure = failure;
        if (error)
            *error = reason;
        return false;
    };

    auto cannotRead = [&](int error) {
        return fail(OpenFailure::Unreadable,
            QStringLiteral("The file %1 cannot be read: %2").arg(path, QString::fromLocal8Bit(std::strerror(error))));
    };
    const QString notRegular
        = QStringLiteral("%1 is not a regular file (a device, a pipe or a socket); nothing was read from it.")
              .arg(path);

    // Only a regular file is read: a device may never end and a pipe may
    // never be written to. Opening a pipe that has no writer blocks, so the
    // kind is looked at first, and the open itself does not wait, in case the
    // path is replaced by a pipe in between.
    const QByteArray native = QFile::encodeName(path);
    struct stat info { };
    if (::stat(native.constData(), &info) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return fail(OpenFailure::Missing, QStringLiteral("The file %1 does not exist.").arg(path));
        return cannotRead(errno);
    }
    if (S_ISDIR(info.st_mode))
        return fail(OpenFailure::Folder, QStringLiteral("%1 is a folder, not a file.").arg(path));
    if (!S_ISREG(info.st_mode))
        return fail(OpenFailure::NotRegular, notRegular);

    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return cannotRead(errno);
    std::string bytes;
    int readError = 0;
    bool regular = false;
    if (::fstat(fd, &info) != 0) {
        readError = errno;
    } else if (S_ISREG(info.st_mode)) {
        regular = true;
        bytes.reserve(static_cast<size_t>(info.st_size));
        char buffer[1 << 16];
        for (;;) {
            const ssize_t got = ::read(fd, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                readError = errno;
            if (got <= 0)
                break;
            bytes.append(buffer, static_cast<size_t>(got));
        }
    }
    ::close(fd);
    if (readError != 0)
        return cannotRead(readError);
    if (!regular)
        return fail(OpenFailure::NotRegular, notRegular);

    const std::string_view content(bytes);
    const encoding::TextEncoding form = encoding::detectEncoding(content);
    if (form == encoding::TextEncoding::Utf16)
        return fail(OpenFailure::Utf16,
            QStringLiteral("The file %1 is saved as UTF-16 (it begins with the byte-order mark %2), which "
                           "cannot be read; save it as UTF-8 or ANSI.")
                .arg(path, content[0] == '\xFF' ? QStringLiteral("FF FE") : QStringLiteral("FE FF")));

    // A NUL byte belongs to no text file (a binary file, or UTF-16 without
    // its mark), and text sent to the library ends at the first one: the file
    // is refused whole, naming the line that holds it.
    if (const size_t nul = content.find('\0'); nul != std::string_view::npos) {
        int64_t line = 1;
        for (size_t i = 0; i < nul; ++i) {
            if (content[i] == '\n' || (content[i] == '\r' && (i + 1 >= content.size() || content[i + 1] != '\n')))
                ++line;
        }
        return fail(OpenFailure::Unreadable,
            QStringLiteral("The file %1 holds a NUL byte on line %2, so it is not a text file; nothing "
                           "was read from it.")
                .arg(path)
                .arg(line));
    }

    m_bytes = std::move(bytes); // `content` is not used after this
    m_encoding = form;
    m_pos = encoding::markLength(form);
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
    m_encoding = encoding::TextEncoding::Ansi;
    m_failure = OpenFailure::None;
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

    if (m_encoding != encoding::TextEncoding::Ansi) {
        // UTF-8: CR and LF never occur inside a multi-byte sequence, so the
        // split above holds. A mark at the start of a line comes from files
        // joined together and is not text either.
        size_t from = begin;
        if (end - from >= kUtf8Mark.size() && std::string_view(data + from, kUtf8Mark.size()) == kUtf8Mark)
            from += kUtf8Mark.size();
        return QString::fromUtf8(data + from, static_cast<qsizetype>(end - from));
    }

    const auto& table = encoding::ansiUnits();
    const qsizetype length = static_cast<qsizetype>(end - begin);
    QString line(length, Qt::Uninitialized);
    QChar* out = line.data();
    for (qsizetype i = 0; i < length; ++i)
        out[i] = QChar(table[static_cast<unsigned char>(data[begin + static_cast<size_t>(i)])]);
    return line;
}
