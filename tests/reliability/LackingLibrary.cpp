// libkovadel.so as an older or damaged copy might be: every function but
// SetCode, each forwarding to the real library. A test puts it beside a copy
// of the program to see what a missing function does to a run.
#include <kovadel/kovadel.h>

#include <dlfcn.h>

namespace {

// The real library, loaded privately: looking a name up in this library (as
// the program does) never finds the real library's functions.
template <typename Function> Function real(const char* name)
{
    static void* const handle = dlopen(KOVADEL_REAL_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    return handle ? reinterpret_cast<Function>(dlsym(handle, name)) : nullptr;
}

} // namespace

#define FORWARD(name, parameters, arguments)                                                                           \
    extern "C" KOVADEL_API int32_t name parameters                                                                     \
    {                                                                                                                  \
        static const auto function = real<decltype(&::name)>(#name);                                                   \
        return function ? function arguments : 0;                                                                      \
    }

FORWARD(StartVelk, (const char* path, const char* user, const char* password), (path, user, password))
FORWARD(EndVelk, (void), ())
FORWARD(VelkLastError, (char* buffer, int32_t size), (buffer, size))
FORWARD(FileLineCount, (const char* path), (path))
FORWARD(ExecuteQuery, (const char* sql, void* status), (sql, status))
FORWARD(GetModules, (SAFEARRAY * *list, void* status), (list, status))
FORWARD(GetModule, (void* record, void* status), (record, status))
FORWARD(InsertModule, (void* record, void* status), (record, status))
FORWARD(DeleteModules, (void* record, void* status), (record, status))
FORWARD(InsertTopic, (void* record, void* status), (record, status))
FORWARD(GetTopic, (void* record, void* status), (record, status))
FORWARD(SetTopic, (void* record, void* status), (record, status))
FORWARD(DeleteTopics, (void* record, void* status), (record, status))
FORWARD(GetTopics, (SAFEARRAY * *list, void* status), (list, status))
FORWARD(GetCodingSystems, (SAFEARRAY * *list, void* status), (list, status))
FORWARD(GetCodingSystem, (void* record, void* status), (record, status))
FORWARD(InsertCode, (void* record, void* status), (record, status))
FORWARD(DeleteCodes, (void* record, void* status), (record, status))
FORWARD(GetCode, (void* record, void* status), (record, status))
FORWARD(
    SearchCodes, (SAFEARRAY * *list, const char* pattern, int32_t limit, void* status), (list, pattern, limit, status))
FORWARD(GetPatEdDefaults, (void* record, void* status), (record, status))
FORWARD(SetPatEdDefaults, (void* record, void* status), (record, status))
FORWARD(BeginUnit, (void* status), (status))
FORWARD(CommitUnit, (void* status), (status))
FORWARD(RollbackUnit, (void* status), (status))
