// A stand-in for what the "Library Contents" window reads: modules, coding
// systems, topics and codes held in memory, every read logged, and any read
// made to fail by name. Codes match a pattern when they begin with it
// (case-insensitively); pages continue after (code, identifier) in code order.
#pragma once

#include "core/ContentsSource.h"

#include <QStringList>

#include <algorithm>
#include <map>
#include <set>

class ListedContents : public ContentsSource {
public:
    std::vector<ContentsEntry> moduleList;
    std::vector<ContentsEntry> systemList;
    std::map<int32_t, std::vector<ContentsTopic>> topicsOf; // by module
    std::map<int32_t, std::vector<ContentsCode>> codesOf; // by system, any order
    std::set<QString> failing; // "modules", "codingSystems", "topics", "codes"
    // One line per read: "modules", "topics 3", "codes 2 'J4' after 'J45.1'/17 limit 201".
    QStringList reads;

    bool modules(std::vector<ContentsEntry>& out) override
    {
        reads << QStringLiteral("modules");
        if (fails("modules"))
            return false;
        out = moduleList;
        return true;
    }
    bool codingSystems(std::vector<ContentsEntry>& out) override
    {
        reads << QStringLiteral("codingSystems");
        if (fails("codingSystems"))
            return false;
        out = systemList;
        return true;
    }
    bool topics(int32_t moduleId, std::vector<ContentsTopic>& out) override
    {
        reads << QStringLiteral("topics %1").arg(moduleId);
        if (fails("topics"))
            return false;
        out = topicsOf[moduleId];
        return true;
    }
    bool codes(int32_t systemId, const QString& pattern, const CodeCursor& after, int limit,
        std::vector<ContentsCode>& out) override
    {
        reads << QStringLiteral("codes %1 '%2' after '%3'/%4 limit %5")
                     .arg(systemId)
                     .arg(pattern, after.code)
                     .arg(after.id)
                     .arg(limit);
        if (fails("codes"))
            return false;
        std::vector<ContentsCode> all = codesOf[systemId];
        std::sort(all.begin(), all.end(), before);
        out.clear();
        const QString wanted = pattern.trimmed();
        for (const ContentsCode& code : all) {
            if (after.id > 0 && !before(ContentsCode { after.id, after.code, {}, {} }, code))
                continue;
            if (!wanted.isEmpty() && !code.code.startsWith(wanted, Qt::CaseInsensitive))
                continue;
            if (limit > 0 && static_cast<int>(out.size()) >= limit)
                break;
            out.push_back(code);
        }
        return true;
    }
    QString lastError() const override { return m_error; }

    // Reads whose line begins with `prefix`.
    int readsOf(const QString& prefix) const
    {
        return static_cast<int>(
            std::count_if(reads.begin(), reads.end(), [&](const QString& line) { return line.startsWith(prefix); }));
    }

private:
    static bool before(const ContentsCode& a, const ContentsCode& b)
    {
        const int byCode = QString::compare(a.code, b.code);
        return byCode != 0 ? byCode < 0 : a.id < b.id;
    }
    bool fails(const char* read)
    {
        if (!failing.count(QString::fromLatin1(read))) {
            m_error.clear();
            return false;
        }
        m_error = QStringLiteral("%1 failed: the database is not available").arg(QLatin1String(read));
        return true;
    }
    QString m_error;
};
