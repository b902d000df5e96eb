// An SQLite VFS whose database locks belong to the library's own open files.
//
// SQLite's unix VFS locks with POSIX record locks (fcntl F_SETLK). Those
// belong to the process, and POSIX releases all of a process's record locks
// on a file as soon as the process closes *any* descriptor of that file. A
// file dialog that sniffs the type of the database file (or its -wal or -shm
// file) in the program's process therefore drops the library's locks without
// its knowing; another process may then checkpoint and delete the log, and
// the library's stale pages overwrite that process's committed work.
//
// This VFS wraps the platform's default VFS and replaces only the locking:
// the database file's lock and the shared-memory index of the write-ahead log
// (the -shm file, mapped and locked here) use open-file-description locks
// (F_OFD_SETLK) on descriptors that only this VFS opens. Such a lock belongs
// to its descriptor and ends only when that descriptor is closed, so no other
// open or close in the process can touch it. The lock bytes and the locking
// protocol are SQLite's own, and OFD locks conflict with POSIX record locks,
// so other programs using SQLite (the sqlite3 shell, for instance) and this
// library still exclude each other exactly as two SQLite processes do.
//
// Where the platform has no OFD locks, ownLockVfsName() returns nullptr and
// SQLite's default VFS is used.
#pragma once

namespace kovadel {

// The registered name of the VFS (registered at the first call, never as the
// default), or nullptr where the platform lacks OFD locks.
const char* ownLockVfsName();

} // namespace kovadel
