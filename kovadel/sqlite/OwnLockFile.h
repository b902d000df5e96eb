// The pieces that the OFD-lock VFS (OwnLockVfs.cpp) and its shared-memory
// index (OwnLockIndex.cpp) share: SQLite's lock bytes, the OFD lock calls
// and the file as the VFS opens it. Only on platforms with OFD locks.
#pragma once

#include <sqlite3.h>

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <vector>

namespace kovadel::ownlock {

// SQLite's lock bytes in the database file (the same for every SQLite on
// every platform, so that all of them exclude each other).
constexpr off_t kPendingByte = 0x40000000;
constexpr off_t kReservedByte = kPendingByte + 1;
constexpr off_t kSharedFirst = kPendingByte + 2;
constexpr off_t kSharedSize = 510;

// SQLite's lock bytes in the -shm file: the log's eight locks from byte
// 120, and the "dead man switch" after them, held for reading by every
// connection that has the index open.
constexpr off_t kShmLockBase = 120;
constexpr off_t kShmDeadManSwitch = kShmLockBase + SQLITE_SHM_NLOCK;

// Takes, changes or drops a lock of the open file description behind
// `fd`. Returns 0 or the errno of the refusal.
inline int ofdLock(int fd, short type, off_t start, off_t length)
{
    struct flock request { };
    request.l_type = type;
    request.l_whence = SEEK_SET;
    request.l_start = start;
    request.l_len = length;
    request.l_pid = 0; // required for OFD locks
    while (::fcntl(fd, F_OFD_SETLK, &request) != 0) {
        if (errno != EINTR)
            return errno;
    }
    return 0;
}

// The kind of lock that another descriptor holds over the range, or
// F_UNLCK; -1 when the question cannot be asked.
inline int ofdHolder(int fd, short type, off_t start, off_t length)
{
    struct flock request { };
    request.l_type = type;
    request.l_whence = SEEK_SET;
    request.l_start = start;
    request.l_len = length;
    request.l_pid = 0;
    if (::fcntl(fd, F_OFD_GETLK, &request) != 0)
        return -1;
    return request.l_type;
}

// A refused lock is "busy" when another holder has it; EBADF is a write
// lock asked of a read-only file, which nobody can be granted either.
inline int lockRefusal(int error, int ioError)
{
    return (error == EAGAIN || error == EACCES || error == EBADF) ? SQLITE_BUSY : ioError;
}

// The mapped -shm file of one connection.
struct SharedIndex {
    int fd = -1;
    std::string path;
    std::vector<void*> regions;
    int regionSize = 0;
};

// The database file as this VFS opens it: the default VFS's file does
// the reading and writing; the locks are taken here.
struct OwnFile {
    sqlite3_file base; // must come first: SQLite sees this
    sqlite3_file* real = nullptr; // the default VFS's file, placed after this object
    int lockFd = -1; // a descriptor that only this file uses, for its locks
    int level = SQLITE_LOCK_NONE;
    std::string path;
    SharedIndex* shm = nullptr;
};

constexpr int realOffset() { return static_cast<int>((sizeof(OwnFile) + 15) & ~size_t(15)); }

inline OwnFile* own(sqlite3_file* file) { return reinterpret_cast<OwnFile*>(file); }
inline sqlite3_file* realOf(sqlite3_file* file) { return own(file)->real; }
inline sqlite3_vfs* realVfs(sqlite3_vfs* vfs) { return static_cast<sqlite3_vfs*>(vfs->pAppData); }

// The log's shared-memory index (OwnLockIndex.cpp): SQLite's xShm* methods
// of the database file, and its close.
int shmMap(sqlite3_file* f, int region, int regionSize, int extend, void volatile** mapped);
int shmLock(sqlite3_file* f, int offset, int count, int flags);
void shmBarrier(sqlite3_file* f);
int shmUnmap(sqlite3_file* f, int remove);
// Unmaps and closes the index (removing its file when `remove`).
void closeIndex(OwnFile* o, bool remove);

} // namespace kovadel::ownlock
