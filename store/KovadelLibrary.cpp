#include "store/KovadelLibrary.h"

#include "encoding/CodePage.h"
#include "store/ByteForms.h"
#include "store/FileSystemName.h"
#include "store/Interruption.h"
#include "store/LibraryCall.h"
#include "store/LibraryPath.h"

#include <kovadel/kovadel.h>

#include <QFileInfo>

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

static_assert(Externals::kStartFailed == KOVADEL_START_FAILED && Externals::kStartBusy == KOVADEL_START_BUSY
        && Externals::kStartBadSetting == KOVADEL_START_BAD_SETTING,
    "StartVelk's results as the program names them");

namespace {

// Text argument: NUL-terminated ANSI text (std::string keeps the terminator),
// written over `out` (its room is kept).
void toAnsi(const QString& text, std::string& out)
{
    out.resize(static_cast<size_t>(text.size()));
    encoding::utf16ToAnsi(reinterpret_cast<const char16_t*>(text.utf16()), out.size(), out.data());
}

std::string toAnsi(const QString& text)
{
    std::string out;
    toAnsi(text, out);
    return out;
}

QString fromAnsi(const char* bytes, size_t size)
{
    const std::u16string units = encoding::ansiToUtf16(std::string_view(bytes, size));
    return QString(reinterpret_cast<const QChar*>(units.data()), static_cast<qsizetype>(units.size()));
}

struct SafeArrayDeleter {
    void operator()(SAFEARRAY* array) const { kv_safearray_destroy(array); }
};
using SafeArrayPtr = std::unique_ptr<SAFEARRAY, SafeArrayDeleter>;

using ArrayFunction = int32_t (*)(SAFEARRAY**, void*);
using SearchFunction = int32_t (*)(SAFEARRAY**, const char*, int32_t, void*);

// Records without names pass whatever text they carry (a character the code
// page lacks becomes '?'); records with names are refused when a name cannot
// be represented (store/ByteForms.h).
inline QString unrepresentableNames(const TopicRecord&) { return QString(); }
inline QString unrepresentableNames(const CodeRecord&) { return QString(); }

} // namespace

struct KovadelLibrary::Impl {
    StatusForm statusForm;
    QString path;
    QLibrary library;
    // Units begun and not yet ended, as the library counts them.
    int unitDepth = 0;
    // Why the binding refused the last call itself; empty when it made it.
    QString refusal;

    // Every operation starts here. A stop that a signal asked for is obeyed
    // before a unit begins and before every call inside one, so that no work
    // is committed after the request: the caller unwinds and its unit rolls
    // back. Calls outside a unit (filling the window's lists) go on; the
    // window ends from its event loop. Ending a unit by rolling it back, and
    // closing the database, are never refused.
    void enter(bool beginsUnit = false)
    {
        refusal.clear();
        if (Interruption::requested() && (beginsUnit || unitDepth > 0))
            throw InterruptedError();
    }

    // A record whose names the code page cannot hold is not sent: the call
    // fails with the reason, as a failure of the library does.
    template <typename Record> bool refuseNames(const Record& record, CallStatus& status)
    {
        refusal = unrepresentableNames(record);
        if (refusal.isEmpty())
            return false;
        status.StatusText1 = refusal;
        return true;
    }

    template <typename Record> int32_t recordCall(RecordFunction function, Record& record, CallStatus& status)
    {
        enter();
        if (refuseNames(record, status))
            return 0;
        return callWithRecord(statusForm, function, record, status);
    }

    // Bound at first use.
    decltype(&::StartVelk) startVelk = nullptr;
    decltype(&::EndVelk) endVelk = nullptr;
    decltype(&::VelkLastError) velkLastError = nullptr;
    decltype(&::FileLineCount) fileLineCount = nullptr;
    decltype(&::ExecuteQuery) executeQuery = nullptr;
    std::string ansiSql; // ExecuteQuery's text in the code page
    decltype(&::GetModules) getModules = nullptr;
    decltype(&::GetModule) getModule = nullptr;
    decltype(&::InsertModule) insertModule = nullptr;
    decltype(&::DeleteModules) deleteModules = nullptr;
    decltype(&::InsertTopic) insertTopic = nullptr;
    decltype(&::GetTopic) getTopic = nullptr;
    decltype(&::SetTopic) setTopic = nullptr;
    decltype(&::DeleteTopics) deleteTopics = nullptr;
    decltype(&::GetTopics) getTopics = nullptr;
    decltype(&::GetCodingSystems) getCodingSystems = nullptr;
    decltype(&::GetCodingSystem) getCodingSystem = nullptr;
    decltype(&::InsertCode) insertCode = nullptr;
    decltype(&::SetCode) setCode = nullptr;
    decltype(&::DeleteCodes) deleteCodes = nullptr;
    decltype(&::GetCode) getCode = nullptr;
    decltype(&::SearchCodes) searchCodes = nullptr;
    decltype(&::GetPatEdDefaults) getPatEdDefaults = nullptr;
    decltype(&::SetPatEdDefaults) setPatEdDefaults = nullptr;
    decltype(&::BeginUnit) beginUnit = nullptr;
    decltype(&::CommitUnit) commitUnit = nullptr;
    decltype(&::RollbackUnit) rollbackUnit = nullptr;

    // Loads the library unless it is loaded already; a failed load is tried
    // again at the next call.
    void load()
    {
        if (library.isLoaded())
            return;
        library.setFileName(path);
        if (library.load())
            return;
        // QLibrary reports the last name variant it tried; say plainly when
        // a named file is simply not there.
        const bool named = path.contains(u'/') || path.contains(u'\\');
        const QString missing = named && !QFileInfo::exists(path) ? QStringLiteral(" (no such file)") : QString();
        throw ExternalsError(QStringLiteral("Cannot load the data-access library %1%2: %3. Install VELKINDEX "
                                            "again: the library belongs beside the program, or in "
                                            "lib/velkindex/ next to the program's bin/ folder.")
                                 .arg(path, missing, library.errorString())
                                 .toStdString());
    }

    template <typename Function> Function bind(Function& slot, const char* name)
    {
        if (slot)
            return slot;
        load();
        const QFunctionPointer found = library.resolve(name);
        if (!found)
            throw ExternalsError(QStringLiteral("The data-access library %1 has no function %2; it does not "
                                                "belong to this program. Install VELKINDEX again.")
                                     .arg(path, QString::fromLatin1(name))
                                     .toStdString());
        slot = reinterpret_cast<Function>(found);
        return slot;
    }

    // An array of records: element form out in a fresh descriptor, which the
    // library may re-dimension or replace; all elements it leaves are read back.
    template <typename Record, size_t ElementSize>
    int32_t callWithArray(ArrayFunction function, const char* name, std::vector<Record>& list, CallStatus& status)
    {
        return callWithArrayBy<Record, ElementSize>(
            [function](SAFEARRAY** array, void* statusBytes) { return function(array, statusBytes); }, name, list,
            status);
    }

    // The same for a function with more arguments: `function` is called with
    // the array reference and the status bytes.
    template <typename Record, size_t ElementSize, typename Call>
    int32_t callWithArrayBy(Call function, const char* name, std::vector<Record>& list, CallStatus& status)
    {
        enter();
        for (const Record& element : list) {
            if (refuseNames(element, status)) {
                list.clear(); // nothing was found
                return 0;
            }
        }
        if (list.size() > std::numeric_limits<uint32_t>::max())
            throw std::length_error("array too long for the data-access library");
        SafeArrayPtr array(kv_safearray_create(ElementSize, static_cast<uint32_t>(list.size())));
        if (!array)
            throw std::bad_alloc();
        for (size_t i = 0; i < list.size(); ++i) {
            const auto element = toElement(list[i]);
            static_assert(sizeof element == ElementSize);
            std::memcpy(kv_safearray_element(array.get(), static_cast<uint32_t>(i)), element.data(), element.size());
        }

        auto statusBytes = statusForm.encode(status);
        SAFEARRAY* raw = array.release();
        const int32_t result = function(&raw, statusBytes.data());
        array.reset(raw);
        statusForm.takeBack(statusBytes, status);

        const uint32_t count = raw ? raw->rgsabound[0].cElements : 0;
        if (count > 0 && (raw->cbElements != ElementSize || !raw->pvData))
            throw ExternalsError(QStringLiteral("The data-access library %1 returned a malformed array from %2 "
                                                "(%3 elements of %4 bytes, expected %5 bytes)")
                                     .arg(path, QString::fromLatin1(name))
                                     .arg(count)
                                     .arg(raw->cbElements)
                                     .arg(ElementSize)
                                     .toStdString());
        list.assign(count, Record {});
        for (uint32_t i = 0; i < count; ++i)
            fromElement(static_cast<const uint8_t*>(kv_safearray_element(raw, i)), list[i]);
        return result;
    }
};

KovadelLibrary::KovadelLibrary(QString path)
    : d(std::make_unique<Impl>())
{
    d->path = path.isEmpty() ? defaultKovadelLibraryPath() : std::move(path);
}

KovadelLibrary::~KovadelLibrary() = default;

QString KovadelLibrary::libraryPath() const { return d->path; }

int32_t KovadelLibrary::StartVelk(const QString& path, const QString& user, const QString& password)
{
    const auto function = d->bind(d->startVelk, "StartVelk");
    d->refusal.clear();
    d->unitDepth = 0;
    // The path goes as the file system's bytes, the other two as ANSI text.
    const QByteArray fileName = fileSystemBytes(path);
    const std::string ansiUser = toAnsi(user);
    const std::string ansiPassword = toAnsi(password);
    return function(fileName.constData(), ansiUser.c_str(), ansiPassword.c_str());
}

int32_t KovadelLibrary::EndVelk()
{
    const auto function = d->bind(d->endVelk, "EndVelk");
    d->refusal.clear();
    d->unitDepth = 0; // closing rolls back a unit still open
    return function();
}

int32_t KovadelLibrary::FileLineCount(const QString& path)
{
    const auto function = d->bind(d->fileLineCount, "FileLineCount");
    d->enter();
    const QByteArray fileName = fileSystemBytes(path);
    return function(fileName.constData());
}

int32_t KovadelLibrary::ExecuteQuery(const QString& sql, CallStatus& status)
{
    const auto function = d->bind(d->executeQuery, "ExecuteQuery");
    d->enter();
    // One buffer for every statement: a load sends one per topic.
    toAnsi(sql, d->ansiSql);
    return callWithStatus(d->statusForm, function, status, d->ansiSql.c_str());
}

int32_t KovadelLibrary::GetModules(std::vector<ModuleRecord>& list, CallStatus& status)
{
    return d->callWithArray<ModuleRecord, KV_MODULE_ELEMENT_SIZE>(
        d->bind(d->getModules, "GetModules"), "GetModules", list, status);
}

int32_t KovadelLibrary::GetModule(ModuleRecord& record, CallStatus& status)
{
    return d->recordCall(d->bind(d->getModule, "GetModule"), record, status);
}

int32_t KovadelLibrary::InsertModule(ModuleRecord& record, CallStatus& status)
{
    return d->recordCall(d->bind(d->insertModule, "InsertModule"), record, status);
}

int32_t KovadelLibrary::DeleteModules(ModuleRecord& record, CallStatus& status)
{
    return d->recordCall(d->bind(d->deleteModules, "DeleteModules"), record, status);
}

int32_t KovadelLibrary::InsertTopic(TopicRecord& record, CallStatus& status)
{
    return d->recordCall(d->bind(d->insertTopic, "InsertTopic"), record, status);
}

int32_t KovadelLibrary::GetTopic(TopicRecord& record, CallStatus& status)
{
    return d->recordCall(d->bind(d->getTopic, "GetTopic"), record, status);
}

int32_t KovadelLibrary::SetTopic(TopicRecord& record, CallStatus& status)
{
    return d->recordCall(d->bind(d->setTopic, "SetTopic"), record, status);
}

int32_t KovadelLibrary::DeleteTopics(TopicRecord& record, CallStatus& status)
{
    return d->recordCall(d->bind(d->deleteTopics, "DeleteTopics"), record, status);
}

int32_t KovadelLibrary::GetTopics(std::vector<TopicRecord>& list, CallStatus& status)
{
    return d->callWithArray<TopicRecord, KV_TOPIC_ELEMENT_SIZE>(
        d->bind(d->getTopics, "GetTopics"), "GetTopics", list, status);
}

int32_t KovadelLibrary::GetCodingSystems(std::vector<CodingSystemRecord>& list, CallStatus& status)
{
    return d->callWithArray<CodingSystemRecord, KV_SYSTEM_ELEMENT_SIZE>(
        d->bind(d->getCodingSystems, "GetCodingSystems"), "GetCodingSystems", list, status);
}

int32_t KovadelLibrary::GetCodingSystem(CodingSystemRecord& record, CallStatus& status)
{
    return d->recordCall(d->bind(d->getCodingSystem, "GetCodingSystem"), record, status);
}

int32_t KovadelLibrary::InsertCode(CodeRecord& record, CallStatus& status)
{
    return d->recordCall(d->bind(d->insertCode, "InsertCode"), record, status);
}

int32_t KovadelLibrary::SetCode(CodeRecord& record, CallStatus& status)
{
    return d->recordCall(d->bind(d->setCode, "SetCode"), record, status);
}

int32_t KovadelLibrary::DeleteCodes(CodeRecord& record, CallStatus& status)
{
    return d->recordCall(d->bind(d->deleteCodes, "DeleteCodes"), record, status);
}

int32_t KovadelLibrary::GetCode(CodeRecord& record, CallStatus& status)
{
    return d->recordCall(d->bind(d->getCode, "GetCode"), record, status);
}

int32_t KovadelLibrary::SearchCodes(std::vector<CodeRecord>& list, const QString& pattern, int32_t limit,
    CallStatus& status)
{
    const SearchFunction function = d->bind(d->searchCodes, "SearchCodes");
    const std::string ansiPattern = toAnsi(pattern);
    return d->callWithArrayBy<CodeRecord, KV_CODE_ELEMENT_SIZE>(
        [function, &ansiPattern, limit](SAFEARRAY** array, void* statusBytes) {
            return function(array, ansiPattern.c_str(), limit, statusBytes);
        },
        "SearchCodes", list, status);
}

int32_t KovadelLibrary::GetPatEdDefaults(PatEdDefaultsRecord& record, CallStatus& status)
{
    return d->recordCall(d->bind(d->getPatEdDefaults, "GetPatEdDefaults"), record, status);
}

int32_t KovadelLibrary::SetPatEdDefaults(PatEdDefaultsRecord& record, CallStatus& status)
{
    return d->recordCall(d->bind(d->setPatEdDefaults, "SetPatEdDefaults"), record, status);
}

int32_t KovadelLibrary::BeginUnit(CallStatus& status)
{
    const auto function = d->bind(d->beginUnit, "BeginUnit");
    d->enter(true);
    const int32_t result = callWithStatus(d->statusForm, function, status);
    if (result != 0)
        ++d->unitDepth;
    return result;
}

int32_t KovadelLibrary::CommitUnit(CallStatus& status)
{
    const auto function = d->bind(d->commitUnit, "CommitUnit");
    d->enter();
    const int32_t result = callWithStatus(d->statusForm, function, status);
    // The library ends the unit whether or not its commit succeeded.
    if (d->unitDepth > 0)
        --d->unitDepth;
    return result;
}

int32_t KovadelLibrary::RollbackUnit(CallStatus& status)
{
    const auto function = d->bind(d->rollbackUnit, "RollbackUnit");
    d->refusal.clear();
    const int32_t result = callWithStatus(d->statusForm, function, status);
    if (d->unitDepth > 0)
        --d->unitDepth;
    return result;
}

QString KovadelLibrary::LastError()
{
    if (!d->refusal.isEmpty())
        return d->refusal;
    // A library that cannot be bound is itself the reason; this call reports
    // it rather than raising it again.
    decltype(&::VelkLastError) function = nullptr;
    try {
        function = d->bind(d->velkLastError, "VelkLastError");
    } catch (const ExternalsError& error) {
        return QString::fromStdString(error.what());
    }
    std::string buffer(512, '\0');
    const int32_t length = function(buffer.data(), static_cast<int32_t>(buffer.size()));
    if (length <= 0)
        return QString();
    if (static_cast<size_t>(length) >= buffer.size()) {
        buffer.assign(static_cast<size_t>(length) + 1, '\0');
        function(buffer.data(), static_cast<int32_t>(buffer.size()));
    }
    const auto end = std::find(buffer.begin(), buffer.end(), '\0');
    return fromAnsi(buffer.data(), static_cast<size_t>(end - buffer.begin()));
}
