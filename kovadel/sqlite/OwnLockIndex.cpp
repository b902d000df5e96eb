// The shared-memory index of the write-ahead log (the -shm file), mapped
// and locked with OFD locks on a descriptor that only this VFS opens.
#include "OwnLockVfs.h"

#include <fcntl.h>

#if defined(__linux__) && defined(F_OFD_SETLK)

#include "OwnLockFile.h"

#include <new>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kovadel::ownlock {

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

namespace {

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

} // namespace

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

} // namespace kovadel::ownlock

#endif
