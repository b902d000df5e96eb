// One build of a module's topic index from its open index file, inside one
// unit of work, in named steps: find the module, store the first topic, check
// that the later topics' numbers fit, then for each further line place it in
// the tree, mark its parent and store it.
#pragma once

#include "core/PatEdContext.h"
#include "text/NotedLines.h"

#include <QString>

#include <array>
#include <cstdint>

class TextFile;

// What a build did, for summaries.
struct BuildCounts {
    int64_t linesRead = 0;    // lines of the index file read
    int64_t topicsStored = 0; // topics stored
    // Only the first topic goes through the fixed-width record; every later
    // one is stored at full length, so these hold line 1 at most.
    NotedLines cutDescriptions; // description cut to its 80-character field
    NotedLines cutDocuments;    // document cut to its 50-character field
};

// The document name stored for every topic after the first: for
// "pdf\asthma.htm" and the prefix "ADU", "ADU_asthma_pdf.htm". Empty when the
// document has no name before its dot.
QString composeStoredDocument(const QString& directoryPrefix, const QString& document);

// The insert statement of one topic after the first. The document and the
// description are embedded as SQL string literals; `description` arrives with
// its apostrophes already doubled, the document gets them doubled here.
QString topicInsertStatement(int32_t moduleNo, int32_t parentId, int16_t hasChild, const QString& storedDocument,
                             const QString& description);
// The same statement written over `sql`, whose room is kept for the next.
void writeTopicInsertStatement(QString& sql, int32_t moduleNo, int32_t parentId, int16_t hasChild,
                               const QString& storedDocument, const QString& description);

// The tree that the index file's indentation draws: the topic last placed at
// each depth, and the depth and level (indentation) of the last line.
class TopicTree {
public:
    static constexpr int kMaxDepth = 10;

    // Where a line goes: its depth, and the topic that gains a child when the
    // line goes one level deeper.
    struct Place {
        int depth = 1;
        bool marksParent = false;
        int32_t parentToMark = 0;
    };

    // The first line is the reference level; its topic, once stored, is the
    // top of the tree.
    explicit TopicTree(int32_t firstLevel)
        : m_level(firstLevel)
    {
    }
    int32_t firstLevel() const { return m_level; }
    void setTop(int32_t topicId) { m_topicAtDepth[1] = topicId; }

    // Where a line of indentation `level` goes after the lines so far.
    Place place(int32_t level) const;
    // Puts topic `topicId`, of a line at `level`, at `where`; returns its
    // parent (0 at the top level).
    int32_t settle(const Place& where, int32_t level, int32_t topicId);

private:
    std::array<int32_t, kMaxDepth + 1> m_topicAtDepth {};
    int m_depth = 1;
    int32_t m_level;
};

// Each step returns why it failed, empty when it did not; the first failure
// ends the build, and its unit rolls back before run() returns.
class IndexBuild {
public:
    // `file` is open; `lineTotal` is the library's count of its lines, for
    // the progress bar and the numbering check.
    IndexBuild(PatEdContext& ctx, TextFile& file, const QString& path, const QString& moduleName, int32_t lineTotal);

    // Runs the build; `done` counts what it read and stored.
    QString run(BuildCounts& done);

private:
    QString findModule();
    void showStatus();
    QString storeFirstTopic(TopicTree& tree, BuildCounts& done);
    QString checkTopicNumbers() const;
    QString storeNextLine(TopicTree& tree, int64_t laterLines, BuildCounts& done);
    QString markParent(int32_t parentId);
    QString storeTopic();
    QString lineFailure(const QString& what) const;
    QString pastTheLimit(int64_t last) const;

    PatEdContext& m_ctx;
    MainVariables& m_v;
    TextFile& m_file;
    const QString& m_path;
    const QString& m_moduleName;
    const int32_t m_lineTotal;
    ModuleRecord m_module;
    int32_t m_moduleNo = 0;
    QString m_prefix; // the module's directory prefix, trimmed
    QString m_statement; // the insert of the current line
    CallStatus m_status;
};
