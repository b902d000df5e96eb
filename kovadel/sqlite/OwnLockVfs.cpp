#include "OwnLockVfs.h"

#include <sqlite3.h>

#include <cerrno>
#include <fcntl.h>

#if defined(__linux__) && defined(F_OFD_SETLK)

#include "OwnLockFile.h"

#include <mutex>
#include <new>
#include <unistd.h>

namespace kovadel {
namespace {

    using namespace ownlock;

    constexpr const char* kVfsName = "kovadel-ownlock";

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
    int fileDeviceCharacteristics(sqlite3_file* f) { return realOf(f)->pMethods->xDeviceCharacteristics(realOf(f)); }

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
        const bool readOnly = (flags & SQLITE_OPEN_READONLY) != 0;
        int rc = SQLITE_OK;
        for (int attempt = 0;; ++attempt) {
            rc = real->xOpen(real, name, o->real, flags, outFlags);
            if (rc != SQLITE_OK)
                break;
            o->lockFd = ::open(name, (readOnly ? O_RDONLY : O_RDWR) | O_CLOEXEC);
            if (o->lockFd < 0 && !readOnly)
                o->lockFd = ::open(name, O_RDONLY | O_CLOEXEC);
            if (o->lockFd >= 0)
                break;
            // Gone between the two opens: another run removed the new file
            // that it had made and stored nothing in. The path is opened
            // anew, as if this run had come after; a few times at most.
            const bool vanished = errno == ENOENT;
            o->real->pMethods->xClose(o->real);
            o->real->pMethods = nullptr;
            rc = SQLITE_CANTOPEN;
            if (!vanished || attempt == 4)
                break;
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
