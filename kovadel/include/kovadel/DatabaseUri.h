// Database arguments that name a PostgreSQL library, and how messages show
// them: with the password masked. C++ only, header-only and without libpq:
// the library chooses its engine with it, and the program's own messages
// name the database with it, so neither prints a password.
#pragma once

#include <string>
#include <string_view>

namespace kovadel {

// Whether `database` names a PostgreSQL database (libpq's URI forms).
inline bool isPostgresUri(std::string_view database)
{
    return database.starts_with("postgresql://") || database.starts_with("postgres://");
}

// The URI with its password, if any, replaced by "***": the one in the
// user part (user:password@host) and any password=... of the query part.
// Anything else is returned as it is.
inline std::string maskedUri(std::string_view uri)
{
    std::string s(uri);
    if (!isPostgresUri(s))
        return s;
    const size_t start = s.find("://") + 3;
    const size_t authorityEnd = s.find_first_of("/?", start);
    const size_t at = s.rfind('@', authorityEnd == std::string::npos ? s.size() : authorityEnd);
    if (at != std::string::npos && at >= start) {
        const size_t colon = s.find(':', start);
        if (colon != std::string::npos && colon < at)
            s.replace(colon + 1, at - colon - 1, "***");
    }
    const size_t query = s.find('?', start);
    if (query == std::string::npos)
        return s;
    for (size_t key = query + 1; key < s.size();) {
        const size_t end = s.find('&', key);
        const size_t stop = end == std::string::npos ? s.size() : end;
        if (s.compare(key, 9, "password=") == 0 && key + 9 <= stop) {
            s.replace(key + 9, stop - key - 9, "***");
        }
        const size_t next = s.find('&', key);
        if (next == std::string::npos)
            break;
        key = next + 1;
    }
    return s;
}

} // namespace kovadel
