/*
 * Kovadel: the data-access library of VELKINDEX.
 *
 * Every function returns a 32-bit signed integer: non-zero when it succeeded
 * (for the single-record look-ups: found), 0 when it failed or found nothing.
 * Exceptions: FileLineCount returns the line count, or -1 when the file
 * cannot be read (a folder, a device or a pipe included); StartVelk returns 1
 * when the database is open and one of the KOVADEL_START_ values below when it
 * is not, so a caller can tell a busy database from one that cannot be used;
 * BeginUnit, CommitUnit and RollbackUnit return KV_DAMAGED for a damaged
 * database file (see "Damaged files" below).
 * On failure a one-line reason (ANSI, blank-padded) is written into
 * StatusText1 of the CallStatus; on success StatusText1 is blank.
 *
 * Text arguments are NUL-terminated ANSI text, except file paths (the database
 * path of StartVelk, the path of FileLineCount): those are the file system's
 * bytes, NUL-terminated, and name the file as they are, with no code-page
 * conversion (on Linux usually UTF-8, but any bytes a file name may hold). A
 * record argument points to the record's single form (see layout.h);
 * `status` points to a CallStatus.
 * The ANSI code page is Windows-1252 unless VELKINDEX_CODEPAGE names another
 * single-byte code page. VELKINDEX_BUSY_TIMEOUT_MS sets how long a call waits
 * for another process's lock (a whole number of milliseconds, 5000 when unset
 * or empty). StartVelk refuses a value of either that is not a valid setting.
 *
 * Diagnostics: when VELKINDEX_TRACE_COMMITS names a file, every commit and
 * roll-back of the library's connection appends one line to it:
 *   commit unit=1 synchronous=2 journal_mode=wal pid=1234
 *   rollback unit=1 pid=1234
 * (unit=1: the transaction of a unit of work; synchronous as PRAGMA
 * synchronous reports it: 1 NORMAL, 2 FULL). A commit line is written as the
 * commit starts; one that then fails is followed by a rollback line. The file
 * is never synced.
 */
#ifndef KOVADEL_KOVADEL_H
#define KOVADEL_KOVADEL_H

#include <stdint.h>

#include "kovadel/layout.h"
#include "kovadel/safearray.h"

#if defined(_WIN32)
#if defined(KOVADEL_BUILD)
#define KOVADEL_API __declspec(dllexport)
#else
#define KOVADEL_API __declspec(dllimport)
#endif
#else
#define KOVADEL_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Session */
/* Results of StartVelk besides 1 (open). Each failure leaves no database open
 * and a reason for VelkLastError. */
#define KOVADEL_START_FAILED 0 /* the database cannot be opened or used */
#define KOVADEL_START_BUSY (-1) /* another process held the database for the whole busy wait */
#define KOVADEL_START_BAD_SETTING (-2) /* a setting of the environment is not valid; nothing was opened */
KOVADEL_API int32_t StartVelk(const char* path, const char* user, const char* password);
KOVADEL_API int32_t EndVelk(void);
/* Copies the reason of the last failure (StartVelk's included) into `buffer`
 * as NUL-terminated ANSI text, cut to `size` - 1 bytes; returns its full
 * length in bytes (0 when the last call succeeded). */
KOVADEL_API int32_t VelkLastError(char* buffer, int32_t size);

/* Text files */
KOVADEL_API int32_t FileLineCount(const char* path);

/* SQL text: exactly one statement */
KOVADEL_API int32_t ExecuteQuery(const char* sql, void* status);

/* Modules */
KOVADEL_API int32_t GetModules(SAFEARRAY** list, void* status);
KOVADEL_API int32_t GetModule(void* record, void* status);
KOVADEL_API int32_t InsertModule(void* record, void* status);
KOVADEL_API int32_t DeleteModules(void* record, void* status);

/* Topics */
KOVADEL_API int32_t InsertTopic(void* record, void* status);
KOVADEL_API int32_t GetTopic(void* record, void* status);
KOVADEL_API int32_t SetTopic(void* record, void* status);
KOVADEL_API int32_t DeleteTopics(void* record, void* status);

/* Coding systems and codes */
KOVADEL_API int32_t GetCodingSystems(SAFEARRAY** list, void* status);
KOVADEL_API int32_t GetCodingSystem(void* record, void* status);
KOVADEL_API int32_t InsertCode(void* record, void* status);
KOVADEL_API int32_t SetCode(void* record, void* status);
KOVADEL_API int32_t DeleteCodes(void* record, void* status);

/* Defaults. The blank key always finds its defaults: when its row is missing
 * GetPatEdDefaults returns the blank record (every text blank, every number
 * 0), as for a new database, and SetPatEdDefaults stores the row again. Any
 * other key that has no row is not found. */
KOVADEL_API int32_t GetPatEdDefaults(void* record, void* status);
KOVADEL_API int32_t SetPatEdDefaults(void* record, void* status);

/* Read operations. None needs a unit of work; inside one they see its
 * changes. They never take the write lock: a writer in another process
 * neither waits for them nor is slowed by them, and they see the last state
 * that was committed (a unit that another process has open is not waited for).
 *
 * GetTopics: *list holds one or more topic elements; element 0's ModuleID
 * names the module. The array is replaced by every topic of that module in
 * TopicID order (no elements when it has none, still returning 1). Returns 0
 * with a reason on failure (no database, no array or no element 0, wrong
 * element size).
 *
 * GetCode: the CodeRecord's CodingSystemID and Code name the code (the code
 * compared as stored codes are: trailing blanks are not significant). Found:
 * 1, and every field of the record filled in. Not found: 0, as GetCodingSystem
 * and GetModule report it.
 *
 * SearchCodes: *list holds one or more code elements; element 0's
 * CodingSystemID names the coding system. When element 0's CodeID is greater
 * than 0 the search continues: only codes after (element 0's Code, CodeID) in
 * code order are returned, so a caller pages through a system by passing back
 * the last element it got. `pattern` (ANSI, NUL-terminated): blank or empty
 * matches every code; otherwise a code matches when its code starts with the
 * trimmed pattern, or when every blank-separated word of the pattern begins a
 * word of its description; both compared without regard to case (Latin,
 * Greek and Cyrillic letters, not only ASCII). Code order: the code text
 * with its blanks cut (as a code passed back as element 0 has them cut; stored
 * codes have none in front unless SQL text put them there) byte by byte, then
 * CodeID. `limit` > 0: at most that many elements; `limit` <= 0: no limit.
 * Returns 1 (also when nothing matched), 0 with a reason on failure as
 * GetTopics does. A word of a description begins at its start or after a
 * character that is neither a letter nor a digit. */
KOVADEL_API int32_t GetTopics(SAFEARRAY** list, void* status);
KOVADEL_API int32_t GetCode(void* record, void* status);
KOVADEL_API int32_t SearchCodes(SAFEARRAY** list, const char* pattern, int32_t limit, void* status);

/* Units of work. Units nest: only the outermost commit writes; a roll-back at
 * any depth undoes the whole outer unit, and every data operation then fails
 * until the outermost unit has been ended. Outside a unit each operation is
 * atomic on its own.
 *
 * Inside a unit, InsertTopic, InsertCode and SetCode may leave their rows
 * waiting, to be written many to a statement: when enough have gathered,
 * before any other operation, and at the commit. Every operation sees them as
 * if each had been written at once, in the order of the calls (SetTopic marks
 * a waiting topic too). A row that the database itself refuses (a trigger or
 * constraint of its own) is reported by the call that writes its batch, at
 * the latest CommitUnit, with the row named in the reason; the unit then
 * keeps none of its work and can only be rolled back.
 *
 * Damaged files. Every page that an operation reads or writes is checked by
 * SQLite as it is loaded (its header, cell pointers, cells and free space);
 * and once per connection, as the first unit begins (or before a first write
 * outside a unit), SQLite's quick_check examines the schema, the list of free
 * pages and the small tables that steer where rows go: modules, coding
 * systems, defaults, sqlite_sequence. A file found damaged is refused for the
 * rest of the connection: an open unit is rolled back at once, every data
 * operation fails with a reason that names the file, and BeginUnit,
 * CommitUnit and RollbackUnit return KV_DAMAGED instead of 0 (RollbackUnit
 * after it has ended the unit). Nothing is committed to a damaged file. */
#define KV_DAMAGED (-2)

KOVADEL_API int32_t BeginUnit(void* status);
KOVADEL_API int32_t CommitUnit(void* status);
KOVADEL_API int32_t RollbackUnit(void* status);

#ifdef __cplusplus
}
#endif

#endif /* KOVADEL_KOVADEL_H */
