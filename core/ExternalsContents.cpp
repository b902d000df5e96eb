#include "core/ExternalsContents.h"

#include "store/Interruption.h"

namespace {

// A library or function that cannot be bound is a failed read, not the end
// of the program: the window says so and the main window goes on working.
// A stop request refuses a call before it is made; a read has nothing to
// roll back, so it only fails (the handler that holds the unit sees the
// request at its own next call).
template <typename Call> bool guarded(QString& error, Call call)
{
    try {
        return call();
    } catch (const ExternalsError& problem) {
        error = QString::fromUtf8(problem.what());
    } catch (const InterruptedError& problem) {
        error = QString::fromUtf8(problem.what());
    }
    return false;
}

} // namespace

bool ExternalsContents::failed(const char* operation, const CallStatus& status)
{
    QString reason = status.StatusText1.trimmed();
    reason.remove(QChar(u'\0'));
    if (reason.isEmpty())
        reason = m_store.LastError();
    if (reason.isEmpty())
        reason = QStringLiteral("no reason was given");
    m_error = QStringLiteral("%1 failed: %2").arg(QLatin1String(operation), reason);
    return false;
}

bool ExternalsContents::modules(std::vector<ContentsEntry>& out)
{
    m_error.clear();
    return guarded(m_error, [&]() {
        CallStatus status;
        std::vector<ModuleRecord> found(1); // a blank filter: every module
        found[0].ModuleName = QString();
        found[0].DirectoryPrefix = QString();
        if (!m_store.GetModules(found, status))
            return failed("GetModules", status);
        out.clear();
        out.reserve(found.size());
        for (const ModuleRecord& module : found)
            out.push_back({ module.ModuleID, module.ModuleName.trimmed() });
        return true;
    });
}

bool ExternalsContents::codingSystems(std::vector<ContentsEntry>& out)
{
    m_error.clear();
    return guarded(m_error, [&]() {
        CallStatus status;
        std::vector<CodingSystemRecord> found(1); // a blank filter: every coding system
        found[0].CodingSystemName = QString();
        if (!m_store.GetCodingSystems(found, status))
            return failed("GetCodingSystems", status);
        out.clear();
        out.reserve(found.size());
        for (const CodingSystemRecord& system : found)
            out.push_back({ system.CodingSystemID, system.CodingSystemName.trimmed() });
        return true;
    });
}

bool ExternalsContents::topics(int32_t moduleId, std::vector<ContentsTopic>& out)
{
    m_error.clear();
    return guarded(m_error, [&]() {
        CallStatus status;
        std::vector<TopicRecord> found(1); // element 0 names the module
        found[0].ModuleID = moduleId;
        found[0].PatEdDocument = QString();
        found[0].Description = QString();
        if (!m_store.GetTopics(found, status))
            return failed("GetTopics", status);
        out.clear();
        out.reserve(found.size());
        for (const TopicRecord& topic : found)
            out.push_back({ topic.TopicID, topic.ParentID, topic.HasChild != 0, topic.Description.trimmed(),
                topic.PatEdDocument.trimmed() });
        return true;
    });
}

bool ExternalsContents::codes(
    int32_t systemId, const QString& pattern, const CodeCursor& after, int limit, std::vector<ContentsCode>& out)
{
    m_error.clear();
    return guarded(m_error, [&]() {
        CallStatus status;
        std::vector<CodeRecord> found(1); // element 0: the system, and where to continue
        found[0].CodingSystemID = systemId;
        found[0].CodeID = after.id;
        found[0].Code = after.id > 0 ? after.code : QString();
        found[0].Description = QString();
        found[0].PatEdDocument = QString();
        if (!m_store.SearchCodes(found, pattern, limit, status))
            return failed("SearchCodes", status);
        out.clear();
        out.reserve(found.size());
        for (const CodeRecord& code : found)
            out.push_back(
                { code.CodeID, code.Code.trimmed(), code.PatEdDocument.trimmed(), code.Description.trimmed() });
        return true;
    });
}
