#include "text/OutputTextFile.h"

#include "encoding/CodePage.h"
#include "encoding/Utf8.h"
#include "store/FileSystemName.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Lines are gathered and written in pieces of about this size.
constexpr size_t kBufferSize = 64 * 1024;

QString systemReason(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

// The folder of a file-system path, for syncing the rename.
QByteArray folderOf(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    if (slash == 0)
        return QByteArrayLiteral("/");
    return path.left(slash);
}

// The mode the new file gets: that of the file it replaces, or what a newly
// created file would get under the process's umask.
mode_t modeFor(const QByteArray& target)
{
    struct stat st { };
    if (::stat(target.constData(), &st) == 0 && S_ISREG(st.st_mode))
        return st.st_mode & 07777;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

} // namespace

OutputTextFile::~OutputTextFile() { discard(); }

bool OutputTextFile::open(const QString& path, QString* error)
{
    discard();
    m_path = path;
    m_target = fileSystemBytes(path);
    m_lines = 0;
    m_error.clear();
    m_buffer.clear();
    m_allUtf8 = true;
    m_multiByte = false;

    QByteArray pattern = m_target + QByteArrayLiteral(".tmp-XXXXXX");
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) {
        if (error)
            *error = QStringLiteral("%1 cannot be written: %2").arg(path, systemReason(errno));
        return false;
    }
    m_fd = fd;
    m_temporary = pattern;
    if (::fchmod(m_fd, modeFor(m_target)) != 0) {
        const int saved = errno;
        discard();
        if (error)
            *error = QStringLiteral("%1 cannot be written: %2").arg(path, systemReason(saved));
        return false;
    }
    m_buffer.reserve(kBufferSize + 1024);
    return true;
}

QString OutputTextFile::missingCharacter(const QString& text)
{
    const char16_t* units = reinterpret_cast<const char16_t*>(text.utf16());
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        if (encoding::ansiRepresents(units[i]))
            continue;
        const bool pair = QChar::isHighSurrogate(units[i]) && i + 1 < size && QChar::isLowSurrogate(units[i + 1]);
        return text.mid(i, pair ? 2 : 1);
    }
    return QString();
}

QString OutputTextFile::codePageName() { return QString::fromStdString(encoding::ansiCodePageName()); }

bool OutputTextFile::writeLine(const QString& text)
{
    if (m_fd < 0 || !m_error.isEmpty())
        return false;
    const std::string bytes
        = encoding::utf16ToAnsi(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()), text.size()));
    if (m_allUtf8) {
        // A line ends in ASCII, so no sequence runs across lines: the file is
        // well-formed UTF-8 exactly when every line is.
        bool multiByte = false;
        if (!encoding::isWellFormedUtf8(bytes, &multiByte))
            m_allUtf8 = false;
        else
            m_multiByte = m_multiByte || multiByte;
    }
    m_buffer += bytes;
    m_buffer += "\r\n";
    ++m_lines;
    if (m_buffer.size() >= kBufferSize)
        return flushBuffer();
    return true;
}

bool OutputTextFile::flushBuffer()
{
    const char* at = m_buffer.data();
    size_t left = m_buffer.size();
    while (left > 0) {
        const ssize_t put = ::write(m_fd, at, left);
        if (put < 0) {
            if (errno == EINTR)
                continue;
            return fail(systemReason(errno));
        }
        at += put;
        left -= static_cast<size_t>(put);
    }
    m_buffer.clear();
    return true;
}

bool OutputTextFile::fail(const QString& why)
{
    if (m_error.isEmpty())
        m_error = QStringLiteral("%1 could not be written: %2").arg(m_path, why);
    return false;
}

bool OutputTextFile::commit(QString* error)
{
    bool ok = m_fd >= 0 && m_error.isEmpty();
    if (m_fd < 0 && m_error.isEmpty())
        m_error = QStringLiteral("%1 could not be written: it was not opened").arg(m_path);
    if (ok && m_allUtf8 && m_multiByte)
        ok = fail(QStringLiteral("its bytes in the code page %1 would be read back as UTF-8").arg(codePageName()));
    if (ok)
        ok = flushBuffer();
    if (ok && ::fsync(m_fd) != 0)
        ok = fail(systemReason(errno));
    if (ok) {
        const int fd = m_fd;
        m_fd = -1;
        if (::close(fd) != 0)
            ok = fail(systemReason(errno));
    }
    if (ok && ::rename(m_temporary.constData(), m_target.constData()) != 0)
        ok = fail(systemReason(errno));
    if (!ok) {
        discard();
        if (error)
            *error = m_error;
        return false;
    }
    m_temporary.clear();
    // The rename itself is made durable with the folder that holds it.
    const int folder = ::open(folderOf(m_target).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return true;
}

void OutputTextFile::discard()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_temporary.isEmpty()) {
        ::unlink(m_temporary.constData());
        m_temporary.clear();
    }
    m_buffer.clear();
}
