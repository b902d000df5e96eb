// What one load of a code file or a coding description file went through.
#pragma once

#include "text/NotedLines.h"

#include <cstdint>

struct LoadCounts {
    int64_t linesRead = 0; // lines taken from the file, skipped ones included
    int64_t linesSkipped = 0; // blank lines, description lines too short for their layout
    int64_t codesStored = 0; // InsertCode / SetCode calls the library accepted; 0 after a roll-back
    int64_t descriptionsCut = 0; // descriptions longer than their 100-character field
    int64_t textsCut = 0; // codes stored with a code or document path cut to its 50-character field

    // Which lines, for the operator (batch/RunSummary.h tells them).
    NotedLines blankLines; // skipped: empty or spaces only
    NotedLines shortLines; // skipped: a description line shorter than its layout, not blank
    NotedLines cutDescriptions; // a description cut to its 100-character field
    NotedLines cutCodes; // one per code word cut to its 50-character field
    NotedLines cutDocuments; // a document path cut to its 50-character field, on a line with codes
};
