#include "Settings.h"

#include "encoding/CodePage.h"

#include <climits>
#include <cstdlib>
#include <string>

namespace kovadel {

namespace {

    constexpr const char* kBusyTimeoutVariable = "VELKINDEX_BUSY_TIMEOUT_MS";

    // Digits only: no sign, no blanks, no unit; at most INT_MAX.
    bool parseMilliseconds(const char* text, int& value)
    {
        long long number = 0;
        const char* c = text;
        for (; *c; ++c) {
            if (*c < '0' || *c > '9')
                return false;
            number = number * 10 + (*c - '0');
            if (number > INT_MAX)
                return false;
        }
        if (c == text)
            return false;
        value = static_cast<int>(number);
        return true;
    }

    // The value as a reason shows it: on one line, and not without end.
    std::string shown(const char* value)
    {
        std::string text;
        for (const char* c = value; *c && text.size() < 60; ++c)
            text += static_cast<unsigned char>(*c) < 0x20 || *c == 0x7f ? '?' : *c;
        if (std::string(value).size() > text.size())
            text += "...";
        return text;
    }

} // namespace

int busyTimeoutMs()
{
    const char* env = std::getenv(kBusyTimeoutVariable);
    int value = kDefaultBusyTimeoutMs;
    if (env && *env && parseMilliseconds(env, value))
        return value;
    return kDefaultBusyTimeoutMs;
}

Status checkSettings()
{
    const char* env = std::getenv(kBusyTimeoutVariable);
    int value = 0;
    if (env && *env && !parseMilliseconds(env, value))
        return Status::failure(std::string(kBusyTimeoutVariable) + " is \"" + shown(env)
            + "\", which is not a wait in milliseconds: give a whole number from 0 to 2147483647, or leave it "
              "empty for "
            + std::to_string(kDefaultBusyTimeoutMs));
    if (const std::string& problem = encoding::ansiCodePageProblem(); !problem.empty())
        return Status::failure(problem);
    return {};
}

} // namespace kovadel
