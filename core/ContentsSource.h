// What the "Library Contents" window reads: the modules, the coding systems,
// the topics of one module and the codes of one coding system a page at a
// time. Nothing here writes. The program reads through the data-access
// library (ExternalsContents); tests give a stand-in.
#pragma once

#include <QString>

#include <cstdint>
#include <vector>

// A module or a coding system: its identifier and its trimmed name.
struct ContentsEntry {
    int32_t id = 0;
    QString name;
    bool operator==(const ContentsEntry&) const = default;
};

struct ContentsTopic {
    int32_t id = 0;
    int32_t parentId = 0; // 0 at the top level
    bool hasChild = false;
    QString description; // trimmed
    QString document; // trimmed
    bool operator==(const ContentsTopic&) const = default;
};

struct ContentsCode {
    int32_t id = 0;
    QString code; // trimmed
    QString document; // trimmed
    QString description; // trimmed
    bool operator==(const ContentsCode&) const = default;
};

// Where a page of codes continues: after this code (its text and its
// identifier) in code order. An identifier of 0 starts at the first code.
struct CodeCursor {
    QString code;
    int32_t id = 0;
};

class ContentsSource {
public:
    virtual ~ContentsSource() = default;

    // Each read replaces `out` and returns true, or returns false and leaves
    // the reason in lastError().
    virtual bool modules(std::vector<ContentsEntry>& out) = 0;
    virtual bool codingSystems(std::vector<ContentsEntry>& out) = 0;
    // Every topic of the module, in identifier order.
    virtual bool topics(int32_t moduleId, std::vector<ContentsTopic>& out) = 0;
    // At most `limit` codes of the system (every one when limit <= 0) that
    // match `pattern` (blank matches every code), in code order after `after`.
    virtual bool codes(
        int32_t systemId, const QString& pattern, const CodeCursor& after, int limit, std::vector<ContentsCode>& out)
        = 0;
    virtual QString lastError() const = 0;
};
