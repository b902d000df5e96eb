#include "Conditions.h"

namespace kovadel {
namespace {

    Condition number(const char* column, int64_t value, bool any) { return { column, any, value }; }
    Condition text(const char* column, const std::string& value) { return { column, value.empty(), 0, &value }; }

} // namespace

std::vector<Condition> moduleFilter(const ModuleFields& filter)
{
    return {
        number("ModuleID", filter.moduleId, filter.moduleId == 0 || filter.moduleId == -1),
        text("trim(ModuleName)", filter.moduleName),
    };
}

std::vector<Condition> codingSystemFilter(const CodingSystemFields& filter)
{
    return {
        number("CodingSystemID", filter.codingSystemId, filter.codingSystemId == 0 || filter.codingSystemId == -1),
        text("trim(CodingSystemName)", filter.codingSystemName),
    };
}

std::vector<Condition> modulePattern(const ModuleFields& pattern)
{
    return {
        number("ModuleID", pattern.moduleId, pattern.moduleId == -1),
        text("trim(ModuleName)", pattern.moduleName),
        text("trim(DirectoryPrefix)", pattern.directoryPrefix),
    };
}

std::vector<Condition> topicPattern(const TopicFields& pattern)
{
    return {
        number("TopicID", pattern.topicId, pattern.topicId == -1),
        number("ModuleID", pattern.moduleId, pattern.moduleId == -1),
        number("ParentID", pattern.parentId, pattern.parentId == -1),
        number("HasChild", pattern.hasChild, pattern.hasChild == -1),
        text("trim(PatEdDocument)", pattern.patEdDocument),
        text("trim(Description)", pattern.description),
    };
}

std::vector<Condition> codePattern(const CodeFields& pattern)
{
    return {
        number("CodeID", pattern.codeId, pattern.codeId == -1),
        text("trim(Code)", pattern.code),
        number("CodingSystemID", pattern.codingSystemId, pattern.codingSystemId == -1),
        number("CodeFlag", pattern.codeFlag, pattern.codeFlag == -1),
        text("trim(Description)", pattern.description),
        text("trim(PatEdDocument)", pattern.patEdDocument),
    };
}

} // namespace kovadel
