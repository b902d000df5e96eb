// Writing a module's topic index back out as an index file that a build reads
// into the same tree: the same levels, descriptions and documents, in the
// same order.
//
// Each topic becomes one line: two spaces of indentation per level below the
// top, the description, and the document as ~name.ext~ when it has one. The
// stored document names are turned back into the name.ext forms that give
// them: the first topic's directory form (pdf\asthma.htm -> asthma.pdf), every
// later topic's composed name (ADU_asthma_pdf.htm -> asthma.pdf for the
// prefix ADU). A topic that no index line can give back as it is stored (a
// "~" in its text, a document name of another shape, a place in the tree
// that the indentation rules cannot reach) is refused with the reason.
#pragma once

#include "core/PatEdContext.h"
#include "store/Structures.h"
#include "text/IndexLine.h"
#include "text/OutputTextFile.h"

#include <QString>

#include <array>
#include <cstdint>
#include <unordered_map>

// The "~" field of a line after the first whose stored document is `stored`
// in a module with the directory prefix `prefix` (ADU_asthma_pdf.htm ->
// asthma.pdf). False when no field gives that name.
bool fieldForStoredDocument(const QString& prefix, const QString& stored, QString& field);

// The lines of one module's index, topic by topic in TopicID order.
class IndexOutline {
public:
    // `prefix`: the module's directory prefix, trimmed.
    explicit IndexOutline(const QString& prefix)
        : m_prefix(prefix)
    {
    }

    // The index line of the next topic, or false with `problem` saying why
    // it cannot be written ("its description holds a \"~\"").
    bool lineFor(const TopicRecord& topic, QString& line, QString& problem);

    // The depth (1 = top level) of the topic last given a line.
    int depth() const { return m_depth; }

private:
    bool depthFor(const TopicRecord& topic, int& depth) const;

    QString m_prefix;
    std::array<int32_t, 11> m_topicAtDepth {};
    int m_depth = 0; // 0 before the first topic
};

// Writes the index of the module `name` to `path` (replaced whole, or left
// as it was on failure). Returns why it failed, in one line; empty on success.
QString exportTopicIndex(PatEdContext& ctx, const QString& name, const QString& path, ExportCounts& counts);
