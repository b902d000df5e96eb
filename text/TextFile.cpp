#include "text/TextFile.h"

#include "encoding/CodePage.h"
#include "encoding/Utf8.h"

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
    struct Descriptor {
        int fd;
        ~Descriptor()
        {
            if (fd >= 0)
                ::close(fd);
        }
    } held { fd };
    if (::fstat(fd, &info) != 0)
        return cannotRead(errno);
    if (!S_ISREG(info.st_mode))
        return fail(OpenFailure::NotRegular, notRegular);

    // One pass over the whole content in blocks: its encoding, and whether it
    // holds a NUL byte. Only a block and the bytes of a character cut at its
    // end are held. A block is checked as UTF-8 up to its last ASCII byte, so
    // that no sequence is split between two checks.
    std::string block;
    std::string pending; // bytes after the last ASCII byte seen so far
    bool first = true;
    bool wellFormed = true;
    bool multiByte = false;
    encoding::TextEncoding form = encoding::TextEncoding::Ansi;
    int64_t nulAt = -1;
    int64_t offset = 0;
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return cannotRead(errno);
        if (got == 0)
            break;
        const std::string_view piece(buffer, static_cast<size_t>(got));
        if (first) {
            // The marks are read from the start of the content.
            form = encoding::detectEncoding(piece.substr(0, 3));
            if (form == encoding::TextEncoding::Utf16)
                return fail(OpenFailure::Utf16,
                    QStringLiteral("The file %1 is saved as UTF-16 (it begins with the byte-order mark %2), which "
                                   "cannot be read; save it as UTF-8 or ANSI.")
                        .arg(path, piece[0] == '\xFF' ? QStringLiteral("FF FE") : QStringLiteral("FE FF")));
            first = false;
        }
        if (nulAt < 0) {
            if (const void* nul = std::memchr(piece.data(), '\0', piece.size()))
                nulAt = offset + (static_cast<const char*>(nul) - piece.data());
        }
        offset += got;
        if (form == encoding::TextEncoding::Utf8WithMark || !wellFormed)
            continue;
        size_t cut = piece.size();
        while (cut > 0 && static_cast<unsigned char>(piece[cut - 1]) >= 0x80)
            --cut;
        if (cut == 0) {
            pending.append(piece);
            continue;
        }
        bool more = false;
        block.assign(pending);
        block.append(piece.substr(0, cut));
        wellFormed = encoding::isWellFormedUtf8(block, &more);
        multiByte = multiByte || more;
        pending.assign(piece.substr(cut));
    }
    if (form != encoding::TextEncoding::Utf8WithMark && wellFormed && !pending.empty()) {
        bool more = false;
        wellFormed = encoding::isWellFormedUtf8(pending, &more);
        multiByte = multiByte || more;
    }
    if (form != encoding::TextEncoding::Utf8WithMark)
        form = wellFormed && multiByte ? encoding::TextEncoding::Utf8 : encoding::TextEncoding::Ansi;

    // A NUL byte belongs to no text file (a binary file, or UTF-16 without
    // its mark), and text sent to the library ends at the first one: the file
    // is refused whole, naming the line that holds it.
    if (nulAt >= 0) {
        int64_t line = 1;
        bool afterCr = false;
        int64_t at = 0;
        bool found = false;
        if (::lseek(fd, 0, SEEK_SET) != 0)
            return cannotRead(errno);
        while (!found) {
            const ssize_t got = ::read(fd, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
            for (ssize_t i = 0; i < got; ++i, ++at) {
                const char c = buffer[i];
                // A CR counts unless an LF follows it.
                if (afterCr && c != '\n')
                    ++line;
                if (at == nulAt) {
                    found = true;
                    break;
                }
                afterCr = c == '\r';
                if (c == '\n')
                    ++line;
            }
        }
        return fail(OpenFailure::Unreadable,
            QStringLiteral("The file %1 holds a NUL byte on line %2, so it is not a text file; nothing "
                           "was read from it.")
                .arg(path)
                .arg(line));
    }

    // The lines are read from the start again, after the mark.
    const off_t mark = static_cast<off_t>(encoding::markLength(form));
    if (::lseek(fd, mark, SEEK_SET) != mark)
        return cannotRead(errno);
    m_fd = held.fd;
    held.fd = -1;
    m_encoding = form;
    m_bytes.clear();
    m_pos = 0;
    m_drained = false;
    m_lineNumber = 0;
    m_open = true;
    readNextBlock();
    return true;
}

bool TextFile::readNextBlock()
{
    if (m_drained)
        return false;
    if (m_pos > 0) {
        m_bytes.erase(0, m_pos);
        m_pos = 0;
    }
    constexpr size_t kBlock = 1 << 16;
    const size_t kept = m_bytes.size();
    m_bytes.resize(kept + kBlock);
    ssize_t got = 0;
    do {
        got = ::read(m_fd, m_bytes.data() + kept, kBlock);
    } while (got < 0 && errno == EINTR);
    // A file that cannot be read any further ends here; opening has read it
    // through once already.
    m_bytes.resize(kept + static_cast<size_t>(got > 0 ? got : 0));
    if (got <= 0) {
        m_drained = true;
        return false;
    }
    return true;
}

void TextFile::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_drained = true;
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

    // A line ends at CR, CR LF or LF. The block is refilled until it holds
    // the line's end (and the byte after a CR), or the file has ended.
    size_t scanned = m_pos;
    size_t end = 0;
    for (;;) {
        const size_t size = m_bytes.size();
        end = scanned;
        while (end < size && m_bytes[end] != '\r' && m_bytes[end] != '\n')
            ++end;
        if ((end < size && !(m_bytes[end] == '\r' && end + 1 == size)) || m_drained)
            break;
        const size_t from = m_pos;
        readNextBlock();
        scanned = end - from; // the bytes already looked at moved to the front
    }
    const char* const data = m_bytes.data();
    const size_t size = m_bytes.size();
    const size_t begin = m_pos;
    m_pos = end;
    if (m_pos < size) {
        if (data[m_pos] == '\r' && m_pos + 1 < size && data[m_pos + 1] == '\n')
            m_pos += 2;
        else
            m_pos += 1;
    }
    ++m_lineNumber;

    QString line;
    if (m_encoding != encoding::TextEncoding::Ansi) {
        // UTF-8: CR and LF never occur inside a multi-byte sequence, so the
        // split above holds. A mark at the start of a line comes from files
        // joined together and is not text either.
        size_t from = begin;
        if (end - from >= kUtf8Mark.size() && std::string_view(data + from, kUtf8Mark.size()) == kUtf8Mark)
            from += kUtf8Mark.size();
        line = QString::fromUtf8(data + from, static_cast<qsizetype>(end - from));
    } else {
        const auto& table = encoding::ansiUnits();
        const qsizetype length = static_cast<qsizetype>(end - begin);
        line = QString(length, Qt::Uninitialized);
        QChar* out = line.data();
        for (qsizetype i = 0; i < length; ++i)
            out[i] = QChar(table[static_cast<unsigned char>(data[begin + static_cast<size_t>(i)])]);
    }
    // With the block used up, the next one is read now, so that atEnd()
    // tells whether another line follows.
    if (m_pos >= m_bytes.size())
        readNextBlock();
    return line;
}
