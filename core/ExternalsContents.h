// The contents of the open database, read through the data-access library.
// Only its read operations are called (GetModules, GetCodingSystems,
// GetTopics, SearchCodes), never inside a unit of work of this window's own.
#pragma once

#include "core/ContentsSource.h"
#include "store/Externals.h"

class ExternalsContents : public ContentsSource {
public:
    explicit ExternalsContents(Externals& store)
        : m_store(store)
    {
    }

    bool modules(std::vector<ContentsEntry>& out) override;
    bool codingSystems(std::vector<ContentsEntry>& out) override;
    bool topics(int32_t moduleId, std::vector<ContentsTopic>& out) override;
    bool codes(int32_t systemId, const QString& pattern, const CodeCursor& after, int limit,
        std::vector<ContentsCode>& out) override;
    QString lastError() const override { return m_error; }

private:
    // Keeps the reason of a call that returned 0: the library's status text,
    // else its last error, else the operation's name.
    bool failed(const char* operation, const CallStatus& status);

    Externals& m_store;
    QString m_error;
};
