// A recording stand-in for the data-access library.
//
// Every call is appended to `calls` with a copy of what the caller sent (the
// record as it was when the call was made). The results come from a small
// in-memory model that tests fill beforehand: `modules`, `codingSystems`,
// `topics`, `codes` and `topicIdForGetTopic` (InsertModule and DeleteModules
// change `modules`); `failOp` makes one named operation fail (result 0,
// StatusText1 set). Per-operation hooks can replace the default behaviour.
#pragma once

#include "store/Externals.h"

#include <QFile>
#include <QStringList>

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
    QString text; // path, SQL text or search pattern
    int32_t limit = 0; // SearchCodes
    std::optional<ModuleRecord> module;
    std::optional<TopicRecord> topic;
    std::optional<CodeRecord> code;
    std::optional<CodingSystemRecord> codingSystem;
    std::optional<PatEdDefaultsRecord> defaults;
    std::vector<ModuleRecord> moduleList;              // the filter array as sent
    std::vector<CodingSystemRecord> codingSystemList;  // the filter array as sent
    std::vector<TopicRecord> topicList;                // the filter array as sent
    std::vector<CodeRecord> codeList;                  // the filter (and cursor) array as sent
};

class RecordingExternals : public Externals {
public:
    std::vector<RecordedCall> calls;

    // The model.
    std::vector<ModuleRecord> modules;
    std::vector<CodingSystemRecord> codingSystems;
    std::vector<TopicRecord> topics; // GetTopics lists them by ModuleID in TopicID order
    std::vector<CodeRecord> codes;   // GetCode and SearchCodes look in them
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
    int32_t GetTopics(std::vector<TopicRecord>& list, CallStatus& status) override
    {
        RecordedCall call {"GetTopics"};
        call.topicList = list;
        calls.push_back(call);
        const int32_t moduleId = list.empty() ? 0 : list[0].ModuleID;
        std::vector<TopicRecord> found;
        for (const auto& t : topics)
            if (t.ModuleID == moduleId)
                found.push_back(t);
        std::stable_sort(found.begin(), found.end(),
            [](const TopicRecord& a, const TopicRecord& b) { return a.TopicID < b.TopicID; });
        list = found;
        return result("GetTopics", 1, &status);
    }
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
    int32_t GetCode(CodeRecord& record, CallStatus& status) override
    {
        RecordedCall call {"GetCode"};
        call.code = record;
        calls.push_back(call);
        for (const auto& c : codes)
            if (c.CodingSystemID == record.CodingSystemID && trimmedName(c.Code.text()) == trimmedName(record.Code.text())) {
                record = c;
                return result("GetCode", 1, &status);
            }
        return result("GetCode", 0, &status);
    }
    // The codes of list[0].CodingSystemID in code order, after the cursor,
    // whose code starts with the pattern or whose description has a word
    // beginning with each word of the pattern (case folded as QString folds it).
    int32_t SearchCodes(std::vector<CodeRecord>& list, const QString& pattern, int32_t limit, CallStatus& status) override
    {
        RecordedCall call {"SearchCodes", pattern};
        call.limit = limit;
        call.codeList = list;
        calls.push_back(call);
        const CodeRecord cursor = list.empty() ? CodeRecord {} : list[0];
        const auto key = [](const CodeRecord& c) { return std::make_pair(trimmedName(c.Code.text()).toUtf8(), c.CodeID); };
        const QStringList words = pattern.split(u' ', Qt::SkipEmptyParts);
        std::vector<CodeRecord> found;
        for (const auto& c : codes) {
            if (c.CodingSystemID != cursor.CodingSystemID || (cursor.CodeID > 0 && !(key(cursor) < key(c))))
                continue;
            bool matches = words.isEmpty() || trimmedName(c.Code.text()).startsWith(pattern.trimmed(), Qt::CaseInsensitive);
            if (!matches) {
                const QStringList described = c.Description.trimmed().split(u' ', Qt::SkipEmptyParts);
                matches = std::all_of(words.begin(), words.end(), [&](const QString& word) {
                    return std::any_of(described.begin(), described.end(),
                        [&](const QString& d) { return d.startsWith(word, Qt::CaseInsensitive); });
                });
            }
            if (matches)
                found.push_back(c);
        }
        std::stable_sort(found.begin(), found.end(), [&](const CodeRecord& a, const CodeRecord& b) { return key(a) < key(b); });
        if (limit > 0 && found.size() > static_cast<size_t>(limit))
            found.resize(static_cast<size_t>(limit));
        list = found;
        return result("SearchCodes", 1, &status);
    }
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
