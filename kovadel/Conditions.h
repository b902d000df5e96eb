// The conditions of the list filters and delete patterns: which column each
// field of a record compares, and which values of it mean "any". Every
// engine turns them into its own statement text; only the columns go into
// that text, the values are bound.
#pragma once

#include "Records.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kovadel {

// One condition. `column` may be an expression over a column (the trimmed
// text); a condition that is `any` is left out of the statement.
struct Condition {
    const char* column;
    bool any;
    int64_t number = 0;
    const std::string* text = nullptr; // the caller's field, alive for the call
};

// The kinds of those statements, so that an engine can keep one prepared
// statement per kind and combination of conditions.
enum PatternKind : unsigned {
    kListModules = 1,
    kDeleteModules,
    kDeleteTopics,
    kListCodingSystems,
    kDeleteCodes,
};

// An identifier of 0 (or -1) and a blank name ask for every module; the
// directory prefix filters nothing.
std::vector<Condition> moduleFilter(const ModuleFields& filter);
std::vector<Condition> codingSystemFilter(const CodingSystemFields& filter);
// -1 and blank text mean any value.
std::vector<Condition> modulePattern(const ModuleFields& pattern);
std::vector<Condition> topicPattern(const TopicFields& pattern);
std::vector<Condition> codePattern(const CodeFields& pattern);

} // namespace kovadel
