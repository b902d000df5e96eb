// Loading libpq at run time and the PQ* functions that call into it.
#include "PgLibrary.h"

#include <libpq-fe.h>

#include <cstdlib>
#include <mutex>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

// Every libpq function the engine calls: X(result, name, parameters, arguments).
// The parameters are those of <libpq-fe.h>; a definition below that differs
// from its declaration there does not compile.
#define KOVADEL_PQ_FUNCTIONS(X)                                                                                        \
    X(void, PQclear, (PGresult * res), (res))                                                                          \
    X(char*, PQcmdStatus, (PGresult * res), (res))                                                                     \
    X(char*, PQcmdTuples, (PGresult * res), (res))                                                                     \
    X(PGconn*, PQconnectdbParams, (const char* const* keywords, const char* const* values, int expand_dbname),         \
        (keywords, values, expand_dbname))                                                                             \
    X(void, PQconninfoFree, (PQconninfoOption * connOptions), (connOptions))                                           \
    X(PQconninfoOption*, PQconninfoParse, (const char* conninfo, char** errmsg), (conninfo, errmsg))                   \
    X(int, PQenterPipelineMode, (PGconn * conn), (conn))                                                               \
    X(char*, PQerrorMessage, (const PGconn* conn), (conn))                                                             \
    X(PGresult*, PQexec, (PGconn * conn, const char* query), (conn, query))                                            \
    X(PGresult*, PQexecParams,                                                                                         \
        (PGconn * conn, const char* command, int nParams, const Oid* paramTypes, const char* const* paramValues,       \
            const int* paramLengths, const int* paramFormats, int resultFormat),                                       \
        (conn, command, nParams, paramTypes, paramValues, paramLengths, paramFormats, resultFormat))                   \
    X(PGresult*, PQexecPrepared,                                                                                       \
        (PGconn * conn, const char* stmtName, int nParams, const char* const* paramValues, const int* paramLengths,    \
            const int* paramFormats, int resultFormat),                                                                \
        (conn, stmtName, nParams, paramValues, paramLengths, paramFormats, resultFormat))                              \
    X(int, PQexitPipelineMode, (PGconn * conn), (conn))                                                                \
    X(void, PQfinish, (PGconn * conn), (conn))                                                                         \
    X(void, PQfreemem, (void* ptr), (ptr))                                                                             \
    X(PGresult*, PQgetResult, (PGconn * conn), (conn))                                                                 \
    X(int, PQgetisnull, (const PGresult* res, int tup_num, int field_num), (res, tup_num, field_num))                  \
    X(int, PQgetlength, (const PGresult* res, int tup_num, int field_num), (res, tup_num, field_num))                  \
    X(char*, PQgetvalue, (const PGresult* res, int tup_num, int field_num), (res, tup_num, field_num))                 \
    X(int, PQntuples, (const PGresult* res), (res))                                                                    \
    X(PGpipelineStatus, PQpipelineStatus, (const PGconn* conn), (conn))                                                \
    X(int, PQpipelineSync, (PGconn * conn), (conn))                                                                    \
    X(PGresult*, PQprepare,                                                                                            \
        (PGconn * conn, const char* stmtName, const char* query, int nParams, const Oid* paramTypes),                  \
        (conn, stmtName, query, nParams, paramTypes))                                                                  \
    X(int, PQputCopyData, (PGconn * conn, const char* buffer, int nbytes), (conn, buffer, nbytes))                     \
    X(int, PQputCopyEnd, (PGconn * conn, const char* errormsg), (conn, errormsg))                                      \
    X(char*, PQresultErrorField, (const PGresult* res, int fieldcode), (res, fieldcode))                               \
    X(char*, PQresultErrorMessage, (const PGresult* res), (res))                                                       \
    X(ExecStatusType, PQresultStatus, (const PGresult* res), (res))                                                    \
    X(int, PQsendPrepare,                                                                                              \
        (PGconn * conn, const char* stmtName, const char* query, int nParams, const Oid* paramTypes),                  \
        (conn, stmtName, query, nParams, paramTypes))                                                                  \
    X(int, PQsendQueryPrepared,                                                                                        \
        (PGconn * conn, const char* stmtName, int nParams, const char* const* paramValues, const int* paramLengths,    \
            const int* paramFormats, int resultFormat),                                                                \
        (conn, stmtName, nParams, paramValues, paramLengths, paramFormats, resultFormat))                              \
    X(PQnoticeProcessor, PQsetNoticeProcessor, (PGconn * conn, PQnoticeProcessor proc, void* arg), (conn, proc, arg))  \
    X(ConnStatusType, PQstatus, (const PGconn* conn), (conn))                                                          \
    X(PGTransactionStatusType, PQtransactionStatus, (const PGconn* conn), (conn))                                      \
    X(char*, PQuser, (const PGconn* conn), (conn))

namespace kovadel {
namespace {

#ifdef _WIN32
    constexpr const char* kPgLibraryFile = "libpq.dll";
    constexpr const char* kPgLibraryHint = "Put libpq.dll and the DLLs it needs beside the program or on PATH";
#else
    constexpr const char* kPgLibraryFile = "libpq.so.5";
    constexpr const char* kPgLibraryHint = "Install libpq5";
#endif

    // The functions found in the loaded library.
    struct PgFunctions {
#define KOVADEL_PQ_POINTER(result, name, parameters, arguments) decltype(&::name) name = nullptr;
        KOVADEL_PQ_FUNCTIONS(KOVADEL_PQ_POINTER)
#undef KOVADEL_PQ_POINTER
    };

    PgFunctions g_pq;

#ifdef _WIN32
    using LibraryHandle = HMODULE;

    // The text of the system's last error, on one line.
    std::string lastSystemError()
    {
        const DWORD code = GetLastError();
        char* text = nullptr;
        const DWORD length = FormatMessageA(
            FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
            0, reinterpret_cast<char*>(&text), 0, nullptr);
        std::string reason = length ? std::string(text, length) : "error " + std::to_string(code);
        LocalFree(text);
        while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == '.'))
            reason.pop_back();
        return reason;
    }
    LibraryHandle openLibrary(const std::string& file) { return LoadLibraryA(file.c_str()); }
    std::string openFailure() { return lastSystemError(); }
    void* findFunction(LibraryHandle library, const char* name)
    {
        return reinterpret_cast<void*>(GetProcAddress(library, name));
    }
#else
    using LibraryHandle = void*;

    // Its own symbols stay out of the process's namespace: the engine
    // reaches them only through the pointers.
    LibraryHandle openLibrary(const std::string& file) { return dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL); }
    std::string openFailure()
    {
        const char* reason = dlerror();
        return reason ? reason : "unknown error";
    }
    void* findFunction(LibraryHandle library, const char* name) { return dlsym(library, name); }
#endif

    // Finds one function of the list in `handle`, or fails naming it.
#define KOVADEL_PQ_FIND(result, name, parameters, arguments)                                                           \
    g_pq.name = reinterpret_cast<decltype(&::name)>(findFunction(handle, #name));                                      \
    if (!g_pq.name)                                                                                                    \
        return Status::failure(library + " has no function " #name " (libpq 14 or later is needed). " + kPgLibraryHint);

    Status load()
    {
        const char* chosen = std::getenv(kPgLibraryVariable);
        const bool named = chosen && *chosen;
        const std::string file = named ? chosen : kPgLibraryFile;
        const std::string library = "the PostgreSQL client library " + file
            + (named ? std::string(" (named by ") + kPgLibraryVariable + ")" : std::string());
        LibraryHandle handle = openLibrary(file);
        if (!handle)
            return Status::failure(library + " could not be loaded: " + openFailure() + ". " + kPgLibraryHint);
        // The library stays loaded until the process ends. Pipelines came
        // with libpq 14: an older one lacks some of these.
        KOVADEL_PQ_FUNCTIONS(KOVADEL_PQ_FIND)
        return {};
    }
#undef KOVADEL_PQ_FIND

} // namespace

Status loadPgLibrary()
{
    static std::once_flag once;
    static Status outcome;
    std::call_once(once, [] { outcome = load(); });
    return outcome;
}

} // namespace kovadel

// The definitions the engine's calls bind to: libkovadel is built with hidden
// visibility and exports only the functions of kovadel.h, so these are no
// part of the process's symbol namespace and take no other library's place.
extern "C" {
#define KOVADEL_PQ_FORWARD(result, name, parameters, arguments)                                                        \
    result name parameters { return kovadel::g_pq.name arguments; }
KOVADEL_PQ_FUNCTIONS(KOVADEL_PQ_FORWARD)
#undef KOVADEL_PQ_FORWARD
}
