// A recording stand-in for the data-access library.
//
// Every call is appended to `calls` with a copy of what the caller sent (the
// record as it was when the call was made). The results come from a small
// in-memory model that tests fill beforehand: `modules`, `codingSystems` and
// `topicIdForGetTopic` (InsertModule and DeleteModules change `modules`); `failOp` makes one named operation fail (result 0,
// StatusText1 set). Per-operation hooks can replace the default behaviour.
#pragma once

#include "store/Externals.h"

#include <QFile>

#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct RecordedCall {
    RecordedCall(std::string name, QString argument = QString()) // NOLINT: built from a name in the calls below
        : op(std::move(name)), text(std::move(argument))
    {
    }
    std::string op;
    QString text; // path or SQL text
    std::optional<ModuleRecord> module;
    std::optional<TopicRecord> topic;
    std::optional<CodeRecord> code;
    std::optional<CodingSystemRecord> codingSystem;
    std::optional<PatEdDefaultsRecord> defaults;
    std::vector<ModuleRecord> moduleList;              // the filter array as sent
    std::vector<CodingSystemRecord> codingSystemList;  // the filter array as sent
};

class RecordingExternals : public Externals {
public:
    std::vector<RecordedCall> calls;

    // The model.
    std::vector<ModuleRecord> modules;
    std::vector<CodingSystemRecord> codingSystems;
    PatEdDefaultsRecord defaults;
    int32_t topicIdForGetTopic = 100;
    int32_t startResult = 1;
    std::optional<int32_t> lineCount; // FileLineCount result; counts the file when unset
    std::string failOp;               // this operation returns 0
    int failAfter = 0;                // ... after this many successful calls of it
    int unitDepth = 0;
    int commits = 0;
    int rollbacks = 0;

    std::map<std::string, std::function<int32_t()>> hooks; // replaces the result of an operation

    std::vector<std::string> ops() const
    {
        std::vector<std::string> names;
        for (const auto& call : calls)
            names.push_back(call.op);
        return names;
    }
    std::vector<const RecordedCall*> callsOf(const std::string& op) const
    {
        std::vector<const RecordedCall*> found;
        for (const auto& call : calls)
            if (call.op == op)
                found.push_back(&call);
        return found;
    }

    int32_t StartVelk(const QString& path, const QString& user, const QString& password) override
    {
        RecordedCall call {"StartVelk", path + u'|' + user + u'|' + password};
        calls.push_back(call);
        return result("StartVelk", startResult, nullptr);
    }
    int32_t EndVelk() override
    {
        calls.push_back({"EndVelk"});
        return 1;
    }
    int32_t FileLineCount(const QString& path) override
    {
        calls.push_back({"FileLineCount", path});
        if (lineCount)
            return *lineCount;
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return -1;
        const QByteArray bytes = file.readAll();
        int32_t count = 0;
        for (qsizetype i = 0; i < bytes.size(); ++i) {
            if (bytes[i] == '\r') {
                ++count;
                if (i + 1 < bytes.size() && bytes[i + 1] == '\n')
                    ++i;
            } else if (bytes[i] == '\n') {
                ++count;
            }
        }
        if (!bytes.isEmpty() && bytes.back() != '\r' && bytes.back() != '\n')
            ++count;
        return count;
    }
    int32_t ExecuteQuery(const QString& sql, CallStatus& status) override
    {
        calls.push_back({"ExecuteQuery", sql});
        return result("ExecuteQuery", 1, &status);
    }
    int32_t GetModules(std::vector<ModuleRecord>& list, CallStatus& status) override
    {
        RecordedCall call {"GetModules"};
        call.moduleList = list;
        calls.push_back(call);
        const QString name = list.empty() ? QString() : trimmedName(list[0].ModuleName.text());
        std::vector<ModuleRecord> found;
        for (const auto& m : modules)
            if (name.isEmpty() || m.ModuleName.trimmed() == name)
                found.push_back(m);
        list = found;
        return result("GetModules", 1, &status);
    }
    int32_t GetModule(ModuleRecord& record, CallStatus& status) override
    {
        RecordedCall call {"GetModule"};
        call.module = record;
        calls.push_back(call);
        for (const auto& m : modules)
            if (m.ModuleName.trimmed() == record.ModuleName.trimmed()) {
                record = m;
                return result("GetModule", 1, &status);
            }
        return result("GetModule", 0, &status);
    }
    int32_t InsertModule(ModuleRecord& record, CallStatus& status) override
    {
        RecordedCall call {"InsertModule"};
        call.module = record;
        calls.push_back(call);
        const int32_t rc = result("InsertModule", 1, &status);
        if (rc) {
            ModuleRecord stored = record;
            stored.ModuleID = 1;
            for (const auto& m : modules)
                stored.ModuleID = std::max(stored.ModuleID, m.ModuleID + 1);
            modules.push_back(stored);
        }
        return rc;
    }
    int32_t DeleteModules(ModuleRecord& record, CallStatus& status) override
    {
        RecordedCall call {"DeleteModules"};
        call.module = record;
        calls.push_back(call);
        const int32_t rc = result("DeleteModules", 1, &status);
        if (rc && record.ModuleID != -1)
            std::erase_if(modules, [&](const ModuleRecord& m) { return m.ModuleID == record.ModuleID; });
        return rc;
    }
    int32_t InsertTopic(TopicRecord& record, CallStatus& status) override { return topicCall("InsertTopic", record, status); }
    int32_t GetTopic(TopicRecord& record, CallStatus& status) override
    {
        const int32_t rc = topicCall("GetTopic", record, status);
        if (rc)
            record.TopicID = topicIdForGetTopic;
        return rc;
    }
    int32_t SetTopic(TopicRecord& record, CallStatus& status) override { return topicCall("SetTopic", record, status); }
    int32_t DeleteTopics(TopicRecord& record, CallStatus& status) override { return topicCall("DeleteTopics", record, status); }
    int32_t GetCodingSystems(std::vector<CodingSystemRecord>& list, CallStatus& status) override
    {
        RecordedCall call {"GetCodingSystems"};
        call.codingSystemList = list;
        calls.push_back(call);
        const QString name = list.empty() ? QString() : trimmedName(list[0].CodingSystemName.text());
        std::vector<CodingSystemRecord> found;
        for (const auto& c : codingSystems)
            if (name.isEmpty() || c.CodingSystemName.trimmed() == name)
                found.push_back(c);
        list = found;
        return result("GetCodingSystems", 1, &status);
    }
    int32_t GetCodingSystem(CodingSystemRecord& record, CallStatus& status) override
    {
        RecordedCall call {"GetCodingSystem"};
        call.codingSystem = record;
        calls.push_back(call);
        for (const auto& c : codingSystems)
            if (c.CodingSystemName.trimmed() == record.CodingSystemName.trimmed()) {
                record.CodingSystemID = c.CodingSystemID;
                return result("GetCodingSystem", 1, &status);
            }
        return result("GetCodingSystem", 0, &status);
    }
    int32_t InsertCode(CodeRecord& record, CallStatus& status) override { return codeCall("InsertCode", record, status); }
    int32_t SetCode(CodeRecord& record, CallStatus& status) override { return codeCall("SetCode", record, status); }
    int32_t DeleteCodes(CodeRecord& record, CallStatus& status) override { return codeCall("DeleteCodes", record, status); }
    int32_t GetPatEdDefaults(PatEdDefaultsRecord& record, CallStatus& status) override
    {
        RecordedCall call {"GetPatEdDefaults"};
        call.defaults = record;
        calls.push_back(call);
        record = defaults;
        return result("GetPatEdDefaults", 1, &status);
    }
    int32_t SetPatEdDefaults(PatEdDefaultsRecord& record, CallStatus& status) override
    {
        RecordedCall call {"SetPatEdDefaults"};
        call.defaults = record;
        calls.push_back(call);
        const int32_t rc = result("SetPatEdDefaults", 1, &status);
        if (rc)
            defaults = record;
        return rc;
    }
    int32_t BeginUnit(CallStatus& status) override
    {
        calls.push_back({"BeginUnit"});
        const int32_t rc = result("BeginUnit", 1, &status);
        if (rc)
            ++unitDepth;
        return rc;
    }
    int32_t CommitUnit(CallStatus& status) override
    {
        calls.push_back({"CommitUnit"});
        const int32_t rc = result("CommitUnit", 1, &status);
        if (unitDepth > 0 && --unitDepth == 0 && rc)
            ++commits;
        return rc;
    }
    int32_t RollbackUnit(CallStatus& status) override
    {
        calls.push_back({"RollbackUnit"});
        if (unitDepth > 0)
            --unitDepth;
        ++rollbacks;
        return result("RollbackUnit", 1, &status);
    }
    QString LastError() override { return m_lastError; }

private:
    static QString trimmedName(const QString& text)
    {
        QString name = text;
        while (!name.isEmpty() && (name.back() == u' ' || name.back() == u'\0'))
            name.chop(1);
        while (!name.isEmpty() && (name.front() == u' ' || name.front() == u'\0'))
            name.remove(0, 1);
        return name;
    }
    int32_t topicCall(const char* op, TopicRecord& record, CallStatus& status)
    {
        RecordedCall call {op};
        call.topic = record;
        calls.push_back(call);
        return result(op, 1, &status);
    }
    int32_t codeCall(const char* op, CodeRecord& record, CallStatus& status)
    {
        RecordedCall call {op};
        call.code = record;
        calls.push_back(call);
        return result(op, 1, &status);
    }
    int32_t result(const std::string& op, int32_t normal, CallStatus* status)
    {
        int32_t rc = normal;
        auto hook = hooks.find(op);
        if (hook != hooks.end())
            rc = hook->second();
        if (op == failOp) {
            if (m_seen[op]++ >= failAfter)
                rc = 0;
        }
        m_lastError = rc ? QString() : QStringLiteral("%1 failed").arg(QString::fromStdString(op));
        if (status) {
            status->StatusText1 = m_lastError;
        }
        return rc;
    }
    std::map<std::string, int> m_seen;
    QString m_lastError;
};
