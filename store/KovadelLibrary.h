// Externals bound to the real data-access library.
//
// Each function is looked up by name at its first call. A library that cannot
// be loaded, or that lacks the function, raises ExternalsError naming it.
#pragma once

#include "store/Externals.h"

#include <QLibrary>

#include <memory>

class KovadelLibrary final : public Externals {
public:
    // `path` is the library file; by default "kovadel" is looked for beside
    // the executable, then on the system's library path.
    explicit KovadelLibrary(QString path = QString());
    ~KovadelLibrary() override;

    // The file that was (or will be) loaded, for messages.
    QString libraryPath() const;

    int32_t StartVelk(const QString& path, const QString& user, const QString& password) override;
    int32_t EndVelk() override;
    int32_t FileLineCount(const QString& path) override;
    int32_t ExecuteQuery(const QString& sql, CallStatus& status) override;
    int32_t GetModules(std::vector<ModuleRecord>& list, CallStatus& status) override;
    int32_t GetModule(ModuleRecord& record, CallStatus& status) override;
    int32_t InsertModule(ModuleRecord& record, CallStatus& status) override;
    int32_t DeleteModules(ModuleRecord& record, CallStatus& status) override;
    int32_t InsertTopic(TopicRecord& record, CallStatus& status) override;
    int32_t GetTopic(TopicRecord& record, CallStatus& status) override;
    int32_t SetTopic(TopicRecord& record, CallStatus& status) override;
    int32_t DeleteTopics(TopicRecord& record, CallStatus& status) override;
    int32_t GetTopics(std::vector<TopicRecord>& list, CallStatus& status) override;
    int32_t GetCodingSystems(std::vector<CodingSystemRecord>& list, CallStatus& status) override;
    int32_t GetCodingSystem(CodingSystemRecord& record, CallStatus& status) override;
    int32_t InsertCode(CodeRecord& record, CallStatus& status) override;
    int32_t SetCode(CodeRecord& record, CallStatus& status) override;
    int32_t DeleteCodes(CodeRecord& record, CallStatus& status) override;
    int32_t GetCode(CodeRecord& record, CallStatus& status) override;
    int32_t SearchCodes(std::vector<CodeRecord>& list, const QString& pattern, int32_t limit,
        CallStatus& status) override;
    int32_t GetPatEdDefaults(PatEdDefaultsRecord& record, CallStatus& status) override;
    int32_t SetPatEdDefaults(PatEdDefaultsRecord& record, CallStatus& status) override;
    int32_t BeginUnit(CallStatus& status) override;
    int32_t CommitUnit(CallStatus& status) override;
    int32_t RollbackUnit(CallStatus& status) override;
    QString LastError() override;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
