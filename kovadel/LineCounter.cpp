#include "LineCounter.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace kovadel {

namespace {

    constexpr size_t kBlockSize = size_t(1) << 20;

    class FileDescriptor {
    public:
        explicit FileDescriptor(int fd)
            : m_fd(fd)
        {
        }
        ~FileDescriptor()
        {
            if (m_fd >= 0)
                ::close(m_fd);
        }
        FileDescriptor(const FileDescriptor&) = delete;
        FileDescriptor& operator=(const FileDescriptor&) = delete;
        int get() const { return m_fd; }

    private:
        int m_fd;
    };

    // Calls `found` with the address of every `byte` in [begin, end); memchr
    // passes over the text between them many bytes at a time.
    template <class Found>
    void forEachByte(const unsigned char* begin, const unsigned char* end, unsigned char byte, Found found)
    {
        while (begin < end) {
            const void* hit = std::memchr(begin, byte, static_cast<size_t>(end - begin));
            if (!hit)
                return;
            const unsigned char* at = static_cast<const unsigned char*>(hit);
            found(at);
            begin = at + 1;
        }
    }

} // namespace

int32_t countLines(const std::string& utf8Path, std::string& reason)
{
    // Only a regular file is counted: a device may never end, and opening a
    // pipe that has no writer would wait for one. The kind is looked at
    // before the open, and the open does not wait in case the path has been
    // replaced by a pipe in between.
    auto notCounted = [&](const struct stat& info, int error) {
        const char* why = "it is not a regular file (a device, a pipe or a socket)";
        if (error)
            why = std::strerror(error);
        else if (S_ISDIR(info.st_mode))
            why = "it is a folder";
        reason = "cannot read " + utf8Path + ": " + why;
        return -1;
    };
    struct stat info { };
    if (::stat(utf8Path.c_str(), &info) != 0)
        return notCounted(info, errno);
    if (!S_ISREG(info.st_mode))
        return notCounted(info, 0);
    const FileDescriptor file(::open(utf8Path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (file.get() < 0)
        return notCounted(info, errno);
    if (::fstat(file.get(), &info) != 0)
        return notCounted(info, errno);
    if (!S_ISREG(info.st_mode))
        return notCounted(info, 0);
    (void)::posix_fadvise(file.get(), 0, 0, POSIX_FADV_SEQUENTIAL);

    // Lines = CRs + LFs - CR LF pairs; a pair may straddle two blocks.
    const std::unique_ptr<unsigned char[]> block(new unsigned char[kBlockSize]);
    uint64_t carriageReturns = 0;
    uint64_t lineFeeds = 0;
    uint64_t pairs = 0;
    unsigned char last = 0;
    bool empty = true;
    // The first bytes of the file: a UTF-8 byte-order mark is not a line.
    uint64_t size = 0;
    unsigned char head[3] = {};
    for (;;) {
        const ssize_t got = ::read(file.get(), block.get(), kBlockSize);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            reason = "cannot read " + utf8Path + ": " + std::strerror(errno);
            return -1;
        }
        if (got == 0)
            break;
        const unsigned char* const begin = block.get();
        const unsigned char* const end = begin + got;
        for (ssize_t i = 0; i < got && size + static_cast<uint64_t>(i) < sizeof head; ++i)
            head[size + static_cast<uint64_t>(i)] = begin[i];
        size += static_cast<uint64_t>(got);
        if (last == '\r' && begin[0] == '\n')
            ++pairs;
        forEachByte(begin, end, '\r', [&](const unsigned char* at) {
            ++carriageReturns;
            if (at + 1 < end && at[1] == '\n')
                ++pairs;
        });
        forEachByte(begin, end, '\n', [&](const unsigned char*) { ++lineFeeds; });
        last = end[-1];
        empty = false;
    }
    // A file of the mark alone holds no line for the readers, which drop it.
    if (size == sizeof head && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF)
        return 0;
    uint64_t lines = carriageReturns + lineFeeds - pairs;
    if (!empty && last != '\r' && last != '\n')
        ++lines;
    return lines > INT32_MAX ? INT32_MAX : static_cast<int32_t>(lines);
}

} // namespace kovadel
