#include "MadeFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kovadel {

namespace {

    // SQLite's lock bytes in a database file: the pending byte, the reserved
    // byte and the shared range that follows them. A connection of any
    // process that reads or writes the file holds a lock there.
    constexpr off_t kLockBytes = 0x40000000;
    constexpr off_t kLockByteCount = 2 + 510;

    bool exists(const std::string& path)
    {
        struct stat info { };
        return ::lstat(path.c_str(), &info) == 0 || errno != ENOENT;
    }

    bool emptyOrMissing(const std::string& path)
    {
        struct stat info { };
        if (::lstat(path.c_str(), &info) != 0)
            return errno == ENOENT;
        return S_ISREG(info.st_mode) && info.st_size == 0;
    }

    bool readFd(int fd, std::string& bytes)
    {
        bytes.clear();
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return false;
            if (n == 0)
                return true;
            bytes.append(buffer, static_cast<size_t>(n));
        }
    }

    class Fd {
    public:
        explicit Fd(int fd)
            : m_fd(fd)
        {
        }
        ~Fd()
        {
            if (m_fd >= 0)
                ::close(m_fd);
        }
        Fd(const Fd&) = delete;
        Fd& operator=(const Fd&) = delete;
        int get() const { return m_fd; }

    private:
        int m_fd;
    };

} // namespace

MadeFile::Origin originOf(const std::string& path)
{
    struct stat info { };
    if (::stat(path.c_str(), &info) != 0)
        return errno == ENOENT ? MadeFile::Origin::New : MadeFile::Origin::Existing;
    return S_ISREG(info.st_mode) && info.st_size == 0 ? MadeFile::Origin::Empty : MadeFile::Origin::Existing;
}

bool readWhole(const std::string& path, std::string& bytes)
{
    const Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    return fd.get() >= 0 && readFd(fd.get(), bytes);
}

void undoMadeFile(const MadeFile& made) noexcept
{
    try {
        if (made.origin == MadeFile::Origin::Existing || made.path.empty())
            return;
        const std::string wal = made.path + "-wal";
        const std::string shm = made.path + "-shm";
        // SQLite removes both when the last connection closes: one that is
        // there belongs to a connection still open elsewhere (or to a crash).
        if (exists(shm) || !emptyOrMissing(wal))
            return;
        const Fd fd(::open(made.path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW));
        if (fd.get() < 0)
            return;
        struct stat info { };
        if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_dev != made.device
            || info.st_ino != made.inode)
            return; // replaced meanwhile: not the file the library made
        // An open-file-description lock on the lock bytes: it fails while any
        // connection, of this process or another, holds one of them, and it
        // keeps a connection that is just opening the file from reading it
        // until the file is gone (that connection then sees that its file was
        // removed, and opens the path again). It goes with the descriptor.
        struct flock lock { };
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        lock.l_start = kLockBytes;
        lock.l_len = kLockByteCount;
        if (::fcntl(fd.get(), F_OFD_SETLK, &lock) != 0)
            return;
        // A connection that opened the file before the lock was taken made
        // its -shm beside it by now.
        if (exists(shm) || !emptyOrMissing(wal))
            return;
        std::string bytes;
        if (::lseek(fd.get(), 0, SEEK_SET) != 0 || !readFd(fd.get(), bytes) || bytes != made.freshBytes)
            return; // something was stored in it, by this connection or another
        if (made.origin == MadeFile::Origin::New)
            (void)::unlink(made.path.c_str());
        else if (!bytes.empty())
            (void)!::ftruncate(fd.get(), 0);
        (void)::unlink(wal.c_str()); // an empty log, if one was left
    } catch (...) {
        // Memory ran out: the file stays.
    }
}

} // namespace kovadel
