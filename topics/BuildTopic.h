#pragma once

#include "core/PatEdContext.h"
#include "text/NotedLines.h"

#include <QString>

#include <cstdint>

// What a build did, for summaries.
struct BuildCounts {
    int64_t linesRead = 0;    // lines of the index file read
    int64_t topicsStored = 0; // topics stored
    // Only the first topic goes through the fixed-width record; every later
    // one is stored at full length, so these hold line 1 at most.
    NotedLines cutDescriptions; // description cut to its 80-character field
    NotedLines cutDocuments;    // document cut to its 50-character field
};

// Builds the topic index of the module selected in ModuleList from an index
// file: chosen in the open-file dialog interactively, BatchFileDir followed by
// BatchFileName otherwise. Returns false when it failed (the operator has
// been told); nothing is stored then.
bool BuildTopic_Click(PatEdContext& ctx, BuildCounts* counts = nullptr);

// The document name stored for every topic after the first: for
// "pdf\asthma.htm" and the prefix "ADU", "ADU_asthma_pdf.htm". Empty when the
// document has no name before its dot.
QString composeStoredDocument(const QString& directoryPrefix, const QString& document);

// The insert statement of one topic after the first. The document and the
// description are embedded as SQL string literals; `description` arrives with
// its apostrophes already doubled, the document gets them doubled here.
QString topicInsertStatement(int32_t moduleNo, int32_t parentId, int16_t hasChild, const QString& storedDocument,
                             const QString& description);
