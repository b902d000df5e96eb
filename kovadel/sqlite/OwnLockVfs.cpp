#include "OwnLockVfs.h"

#include <sqlite3.h>

#include <fcntl.h>

#if defined(__linux__) && defined(F_OFD_SETLK)

#include <cerrno>
#include <mutex>
#include <new>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kovadel {
namespace {

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

    constexpr const char* kVfsName = "kovadel-ownlock";

    // Takes, changes or drops a lock of the open file description behind
    // `fd`. Returns 0 or the errno of the refusal.
    int ofdLock(int fd, short type, off_t start, off_t length)
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
    int ofdHolder(int fd, short type, off_t start, off_t length)
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
    int lockRefusal(int error, int ioError)
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

    OwnFile* own(sqlite3_file* file) { return reinterpret_cast<OwnFile*>(file); }
    sqlite3_file* realOf(sqlite3_file* file) { return own(file)->real; }
    sqlite3_vfs* realVfs(sqlite3_vfs* vfs) { return static_cast<sqlite3_vfs*>(vfs->pAppData); }

    // ---- the database file: reading and writing are the default VFS's ----

    int fileRead(sqlite3_file* f, void* buffer, int amount, sqlite3_int64 offset)
    {
        return realOf(f)->pMethods->xRead(realOf(f), buffer, amount, offset);
    }
    int fileWrite(sqlite3_file* f, const void* buffer, int amount, sqlite3_int64 offset)
    {
        return realOf(f)->pMethods->xWrite(realOf(f), buffer, amount, offset);
    }
    int fileTruncate(sqlite3_file* f, sqlite3_int64 size) { return realOf(f)->pMethods->xTruncate(realOf(f), size); }
    int fileSync(sqlite3_file* f, int flags) { return realOf(f)->pMethods->xSync(realOf(f), flags); }
    int fileSize(sqlite3_file* f, sqlite3_int64* size) { return realOf(f)->pMethods->xFileSize(realOf(f), size); }
    int fileSectorSize(sqlite3_file* f) { return realOf(f)->pMethods->xSectorSize(realOf(f)); }
    int fileDeviceCharacteristics(sqlite3_file* f)
    {
        return realOf(f)->pMethods->xDeviceCharacteristics(realOf(f));
    }

    int fileControl(sqlite3_file* f, int op, void* argument)
    {
        if (op == SQLITE_FCNTL_LOCKSTATE) {
            *static_cast<int*>(argument) = own(f)->level;
            return SQLITE_OK;
        }
        return realOf(f)->pMethods->xFileControl(realOf(f), op, argument);
    }

    // ---- the database file's lock, by SQLite's protocol ------------------

    int fileLock(sqlite3_file* f, int level)
    {
        OwnFile* o = own(f);
        if (o->level >= level)
            return SQLITE_OK;
        const int fd = o->lockFd;
        if (level == SQLITE_LOCK_SHARED) {
            // The pending byte is held for reading while the shared range is
            // taken, so that a writer waiting for its exclusive lock (which
            // holds the pending byte) keeps new readers out.
            if (int e = ofdLock(fd, F_RDLCK, kPendingByte, 1))
                return lockRefusal(e, SQLITE_IOERR_LOCK);
            const int shared = ofdLock(fd, F_RDLCK, kSharedFirst, kSharedSize);
            if (ofdLock(fd, F_UNLCK, kPendingByte, 1) != 0)
                return SQLITE_IOERR_UNLOCK;
            if (shared)
                return lockRefusal(shared, SQLITE_IOERR_LOCK);
            o->level = SQLITE_LOCK_SHARED;
            return SQLITE_OK;
        }
        if (level == SQLITE_LOCK_RESERVED) {
            if (int e = ofdLock(fd, F_WRLCK, kReservedByte, 1))
                return lockRefusal(e, SQLITE_IOERR_LOCK);
            o->level = SQLITE_LOCK_RESERVED;
            return SQLITE_OK;
        }
        // Exclusive (SQLite never asks for pending itself): the pending byte
        // first, then the whole shared range once the readers have gone.
        if (o->level < SQLITE_LOCK_PENDING) {
            if (int e = ofdLock(fd, F_WRLCK, kPendingByte, 1))
                return lockRefusal(e, SQLITE_IOERR_LOCK);
            o->level = SQLITE_LOCK_PENDING;
        }
        if (int e = ofdLock(fd, F_WRLCK, kSharedFirst, kSharedSize))
            return lockRefusal(e, SQLITE_IOERR_LOCK);
        o->level = SQLITE_LOCK_EXCLUSIVE;
        return SQLITE_OK;
    }

    int fileUnlock(sqlite3_file* f, int level)
    {
        OwnFile* o = own(f);
        if (o->level <= level)
            return SQLITE_OK;
        const int fd = o->lockFd;
        if (level == SQLITE_LOCK_SHARED) {
            if (o->level == SQLITE_LOCK_EXCLUSIVE && ofdLock(fd, F_RDLCK, kSharedFirst, kSharedSize) != 0)
                return SQLITE_IOERR_RDLOCK;
            if (ofdLock(fd, F_UNLCK, kPendingByte, 2) != 0) // pending and reserved
                return SQLITE_IOERR_UNLOCK;
            o->level = SQLITE_LOCK_SHARED;
            return SQLITE_OK;
        }
        if (ofdLock(fd, F_UNLCK, 0, 0) != 0)
            return SQLITE_IOERR_UNLOCK;
        o->level = SQLITE_LOCK_NONE;
        return SQLITE_OK;
    }

    int fileCheckReservedLock(sqlite3_file* f, int* reserved)
    {
        OwnFile* o = own(f);
        if (o->level >= SQLITE_LOCK_RESERVED) {
            *reserved = 1;
            return SQLITE_OK;
        }
        const int holder = ofdHolder(o->lockFd, F_WRLCK, kReservedByte, 1);
        if (holder < 0)
            return SQLITE_IOERR_CHECKRESERVEDLOCK;
        *reserved = holder != F_UNLCK;
        return SQLITE_OK;
    }

    // ---- the log's shared-memory index ------------------------------------

    void closeIndex(OwnFile* o, bool remove)
    {
        SharedIndex* shm = o->shm;
        if (!shm)
            return;
        for (void* region : shm->regions)
            if (region)
                ::munmap(region, static_cast<size_t>(shm->regionSize));
        // Removed while its locks are still held, so that nobody opens the
        // file between its close and its removal.
        if (remove)
            ::unlink(shm->path.c_str());
        if (shm->fd >= 0)
            ::close(shm->fd);
        delete shm;
        o->shm = nullptr;
    }

    // Opens the -shm file and takes the dead man switch for reading. The
    // first connection to open it (nobody else holds the switch) starts the
    // index afresh, as SQLite does: the log is then read again from its file.
    int openIndex(OwnFile* o)
    {
        struct stat database { };
        if (::fstat(o->lockFd, &database) != 0)
            return SQLITE_IOERR_FSTAT;
        auto* shm = new (std::nothrow) SharedIndex;
        if (!shm)
            return SQLITE_NOMEM;
        shm->path = o->path + "-shm";
        shm->fd = ::open(shm->path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, database.st_mode & 0777);
        o->shm = shm;
        if (shm->fd < 0) {
            closeIndex(o, false);
            return SQLITE_CANTOPEN;
        }
        // A file made by root for another user's database stays that user's.
        if (::geteuid() == 0)
            (void)::fchown(shm->fd, database.st_uid, database.st_gid);

        const int holder = ofdHolder(shm->fd, F_WRLCK, kShmDeadManSwitch, 1);
        int rc = SQLITE_OK;
        if (holder < 0)
            rc = SQLITE_IOERR_LOCK;
        else if (holder == F_WRLCK)
            rc = SQLITE_BUSY; // another connection is starting the index afresh
        else if (holder == F_UNLCK) {
            if (int e = ofdLock(shm->fd, F_WRLCK, kShmDeadManSwitch, 1))
                rc = lockRefusal(e, SQLITE_IOERR_LOCK);
            else if (::ftruncate(shm->fd, 3) != 0)
                rc = SQLITE_IOERR_SHMOPEN;
        }
        if (rc == SQLITE_OK) {
            if (int e = ofdLock(shm->fd, F_RDLCK, kShmDeadManSwitch, 1))
                rc = lockRefusal(e, SQLITE_IOERR_LOCK);
        }
        if (rc != SQLITE_OK)
            closeIndex(o, false);
        return rc;
    }

    int shmMap(sqlite3_file* f, int region, int regionSize, int extend, void volatile** mapped)
    {
        OwnFile* o = own(f);
        *mapped = nullptr;
        if (!o->shm) {
            if (int rc = openIndex(o); rc != SQLITE_OK)
                return rc;
        }
        SharedIndex& shm = *o->shm;
        if (shm.regionSize == 0)
            shm.regionSize = regionSize;
        if (regionSize != shm.regionSize || region < 0)
            return SQLITE_IOERR_SHMMAP;
        const auto index = static_cast<size_t>(region);
        if (index < shm.regions.size() && shm.regions[index]) {
            *mapped = shm.regions[index];
            return SQLITE_OK;
        }

        const off_t needed = static_cast<off_t>(region + 1) * regionSize;
        struct stat info { };
        if (::fstat(shm.fd, &info) != 0)
            return SQLITE_IOERR_SHMSIZE;
        if (info.st_size < needed) {
            if (!extend)
                return SQLITE_OK;
            // One byte at the end of every new page: the space is taken now,
            // so a full disk fails here rather than when the map is written.
            const long page = ::sysconf(_SC_PAGESIZE);
            for (off_t at = (info.st_size / page) * page; at < needed; at += page) {
                if (::pwrite(shm.fd, "", 1, at + page - 1) != 1)
                    return SQLITE_IOERR_SHMSIZE;
            }
        }
        void* p = ::mmap(nullptr, static_cast<size_t>(regionSize), PROT_READ | PROT_WRITE, MAP_SHARED, shm.fd,
            static_cast<off_t>(region) * regionSize);
        if (p == MAP_FAILED)
            return SQLITE_IOERR_SHMMAP;
        if (shm.regions.size() <= index)
            shm.regions.resize(index + 1, nullptr);
        shm.regions[index] = p;
        *mapped = p;
        return SQLITE_OK;
    }

    int shmLock(sqlite3_file* f, int offset, int count, int flags)
    {
        OwnFile* o = own(f);
        if (!o->shm)
            return SQLITE_IOERR_SHMLOCK;
        const short type = (flags & SQLITE_SHM_UNLOCK) ? F_UNLCK : (flags & SQLITE_SHM_SHARED) ? F_RDLCK : F_WRLCK;
        if (int e = ofdLock(o->shm->fd, type, kShmLockBase + offset, count))
            return type == F_UNLCK ? SQLITE_IOERR_SHMLOCK : lockRefusal(e, SQLITE_IOERR_SHMLOCK);
        return SQLITE_OK;
    }

    void shmBarrier(sqlite3_file*) { __atomic_thread_fence(__ATOMIC_SEQ_CST); }

    int shmUnmap(sqlite3_file* f, int remove)
    {
        closeIndex(own(f), remove != 0);
        return SQLITE_OK;
    }

    int fileClose(sqlite3_file* f)
    {
        OwnFile* o = own(f);
        closeIndex(o, false);
        if (o->lockFd >= 0)
            ::close(o->lockFd); // ends this file's locks, and only them
        sqlite3_file* real = o->real;
        const int rc = real->pMethods ? real->pMethods->xClose(real) : SQLITE_OK;
        o->~OwnFile();
        f->pMethods = nullptr;
        return rc;
    }

    // Version 2: no memory-mapped reads of the database file (xFetch), which
    // the library does not use.
    const sqlite3_io_methods kDatabaseMethods = {
        2,
        fileClose,
        fileRead,
        fileWrite,
        fileTruncate,
        fileSync,
        fileSize,
        fileLock,
        fileUnlock,
        fileCheckReservedLock,
        fileControl,
        fileSectorSize,
        fileDeviceCharacteristics,
        shmMap,
        shmLock,
        shmBarrier,
        shmUnmap,
        nullptr,
        nullptr,
    };

    // ---- the VFS: every call but opening a database is the default's ------

    int vfsOpen(sqlite3_vfs* vfs, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags)
    {
        sqlite3_vfs* real = realVfs(vfs);
        // The log, journals and temporary files take no locks of their own.
        if (!(flags & SQLITE_OPEN_MAIN_DB) || !name)
            return real->xOpen(real, name, file, flags, outFlags);

        auto* o = new (file) OwnFile;
        o->base.pMethods = nullptr; // until fully open: SQLite then calls no xClose
        o->real = reinterpret_cast<sqlite3_file*>(reinterpret_cast<char*>(file) + realOffset());
        o->real->pMethods = nullptr;
        o->path = name;
        int rc = real->xOpen(real, name, o->real, flags, outFlags);
        if (rc == SQLITE_OK) {
            const bool readOnly = (flags & SQLITE_OPEN_READONLY) != 0;
            o->lockFd = ::open(name, (readOnly ? O_RDONLY : O_RDWR) | O_CLOEXEC);
            if (o->lockFd < 0 && !readOnly)
                o->lockFd = ::open(name, O_RDONLY | O_CLOEXEC);
            if (o->lockFd < 0)
                rc = SQLITE_CANTOPEN;
        }
        if (rc != SQLITE_OK) {
            if (o->real->pMethods)
                o->real->pMethods->xClose(o->real);
            o->~OwnFile();
            file->pMethods = nullptr;
            return rc;
        }
        o->base.pMethods = &kDatabaseMethods;
        return SQLITE_OK;
    }

    int vfsDelete(sqlite3_vfs* vfs, const char* name, int syncDir)
    {
        return realVfs(vfs)->xDelete(realVfs(vfs), name, syncDir);
    }
    int vfsAccess(sqlite3_vfs* vfs, const char* name, int flags, int* result)
    {
        return realVfs(vfs)->xAccess(realVfs(vfs), name, flags, result);
    }
    int vfsFullPathname(sqlite3_vfs* vfs, const char* name, int size, char* out)
    {
        return realVfs(vfs)->xFullPathname(realVfs(vfs), name, size, out);
    }
    void* vfsDlOpen(sqlite3_vfs* vfs, const char* name) { return realVfs(vfs)->xDlOpen(realVfs(vfs), name); }
    void vfsDlError(sqlite3_vfs* vfs, int size, char* message) { realVfs(vfs)->xDlError(realVfs(vfs), size, message); }
    void (*vfsDlSym(sqlite3_vfs* vfs, void* handle, const char* symbol))(void)
    {
        return realVfs(vfs)->xDlSym(realVfs(vfs), handle, symbol);
    }
    void vfsDlClose(sqlite3_vfs* vfs, void* handle) { realVfs(vfs)->xDlClose(realVfs(vfs), handle); }
    int vfsRandomness(sqlite3_vfs* vfs, int size, char* out)
    {
        return realVfs(vfs)->xRandomness(realVfs(vfs), size, out);
    }
    int vfsSleep(sqlite3_vfs* vfs, int microseconds) { return realVfs(vfs)->xSleep(realVfs(vfs), microseconds); }
    int vfsCurrentTime(sqlite3_vfs* vfs, double* now) { return realVfs(vfs)->xCurrentTime(realVfs(vfs), now); }
    int vfsGetLastError(sqlite3_vfs* vfs, int size, char* message)
    {
        return realVfs(vfs)->xGetLastError ? realVfs(vfs)->xGetLastError(realVfs(vfs), size, message) : 0;
    }
    int vfsCurrentTimeInt64(sqlite3_vfs* vfs, sqlite3_int64* now)
    {
        return realVfs(vfs)->xCurrentTimeInt64(realVfs(vfs), now);
    }

    sqlite3_vfs g_vfs;

    bool registerVfs()
    {
        // The index is mapped one region per map, which needs regions that
        // are whole pages.
        const long page = ::sysconf(_SC_PAGESIZE);
        if (page <= 0 || page > 32768 || 32768 % page != 0)
            return false;
        sqlite3_vfs* real = sqlite3_vfs_find(nullptr);
        if (!real || real->iVersion < 2)
            return false;
        g_vfs = sqlite3_vfs {};
        g_vfs.iVersion = 2;
        g_vfs.szOsFile = realOffset() + real->szOsFile;
        g_vfs.mxPathname = real->mxPathname;
        g_vfs.zName = kVfsName;
        g_vfs.pAppData = real;
        g_vfs.xOpen = vfsOpen;
        g_vfs.xDelete = vfsDelete;
        g_vfs.xAccess = vfsAccess;
        g_vfs.xFullPathname = vfsFullPathname;
        g_vfs.xDlOpen = vfsDlOpen;
        g_vfs.xDlError = vfsDlError;
        g_vfs.xDlSym = vfsDlSym;
        g_vfs.xDlClose = vfsDlClose;
        g_vfs.xRandomness = vfsRandomness;
        g_vfs.xSleep = vfsSleep;
        g_vfs.xCurrentTime = vfsCurrentTime;
        g_vfs.xGetLastError = vfsGetLastError;
        g_vfs.xCurrentTimeInt64 = vfsCurrentTimeInt64;
        return sqlite3_vfs_register(&g_vfs, 0) == SQLITE_OK;
    }

} // namespace

const char* ownLockVfsName()
{
    static std::once_flag once;
    static bool registered = false;
    std::call_once(once, [] { registered = registerVfs(); });
    return registered ? kVfsName : nullptr;
}

} // namespace kovadel

#else

namespace kovadel {

const char* ownLockVfsName() { return nullptr; }

} // namespace kovadel

#endif
