// Reading SQL text (UTF-8) that callers hand to ExecuteQuery.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kovadel {

// True when `text` holds nothing that SQLite would run: blanks, comments and
// empty statements (semicolons) only.
bool holdsNoStatement(std::string_view text);

// The values of the program's topic insert statement, which has exactly
// this form (the two texts with their apostrophes doubled):
//   Insert into topics (ModuleID, ParentID, HasChild, PatEdDocument, Description)Values(7, 100, 0,'doc','text ')
struct TopicInsertValues {
    int64_t moduleId = 0;
    int64_t parentId = 0;
    int64_t hasChild = 0;
    std::string patEdDocument; // apostrophes undoubled, nothing trimmed
    std::string description;
};

// True when `sql` is exactly that statement; `values` then holds what SQLite
// would store from it. Any other text, however close, gives false.
bool parseTopicInsert(std::string_view sql, TopicInsertValues& values);

} // namespace kovadel
