#include "SqlText.h"

namespace kovadel {

namespace {

    bool isSqlSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

    bool consume(std::string_view& text, std::string_view piece)
    {
        if (text.substr(0, piece.size()) != piece)
            return false;
        text.remove_prefix(piece.size());
        return true;
    }

    // A decimal integer literal with an optional minus sign. Up to 18 digits,
    // so that SQLite too reads it as an integer and never as a real.
    bool consumeInteger(std::string_view& text, int64_t& value)
    {
        bool negative = false;
        if (!text.empty() && text.front() == '-') {
            negative = true;
            text.remove_prefix(1);
        }
        size_t digits = 0;
        int64_t magnitude = 0;
        while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') {
            if (digits == 18)
                return false;
            magnitude = magnitude * 10 + (text[digits] - '0');
            ++digits;
        }
        if (digits == 0)
            return false;
        text.remove_prefix(digits);
        value = negative ? -magnitude : magnitude;
        return true;
    }

    // The inside of a quoted literal up to its closing apostrophe (which is
    // consumed); a doubled apostrophe stands for one.
    bool consumeQuoted(std::string_view& text, std::string& value)
    {
        value.clear();
        for (;;) {
            const size_t quote = text.find('\'');
            if (quote == std::string_view::npos)
                return false;
            value.append(text.data(), quote);
            if (quote + 1 < text.size() && text[quote + 1] == '\'') {
                value += '\'';
                text.remove_prefix(quote + 2);
                continue;
            }
            text.remove_prefix(quote + 1);
            return true;
        }
    }

} // namespace

bool holdsNoStatement(std::string_view text)
{
    size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (isSqlSpace(c) || c == ';') {
            ++i;
        } else if (c == '-' && i + 1 < text.size() && text[i + 1] == '-') {
            while (i < text.size() && text[i] != '\n')
                ++i;
        } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
            // An unclosed block comment runs to the end of the text.
            const size_t close = text.find("*/", i + 2);
            i = close == std::string_view::npos ? text.size() : close + 2;
        } else {
            return false;
        }
    }
    return true;
}

bool parseTopicInsert(std::string_view sql, TopicInsertValues& values)
{
    return consume(sql, "Insert into topics (ModuleID, ParentID, HasChild, PatEdDocument, Description)Values(")
        && consumeInteger(sql, values.moduleId) && consume(sql, ", ") && consumeInteger(sql, values.parentId)
        && consume(sql, ", ") && consumeInteger(sql, values.hasChild) && consume(sql, ",'")
        && consumeQuoted(sql, values.patEdDocument) && consume(sql, ",'") && consumeQuoted(sql, values.description)
        && consume(sql, ")") && sql.empty();
}

} // namespace kovadel
