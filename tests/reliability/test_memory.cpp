// Frugal memory: a load reads its file line by line inside its unit of work,
// so the largest resident set of a run does not grow with the file. A code
// file of a million lines is loaded in one run, and the run's peak (ru_maxrss
// of the reaped child) stays under a bound far below what holding the file
// and its parsed lines took. Nor does a run on a file map the PostgreSQL
// client library and the libraries it needs.
#include "tests/reliability/ReliabilitySupport.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>

namespace {

using namespace rel;

constexpr int kLines = 1000000;
// The program, Qt Core, SQLite and the page cache of the connection fit in
// about 30 MiB; the file alone is larger than the bound.
constexpr int64_t kPeakBoundKilobytes = 64 * 1024;

// Under AddressSanitizer the program's resident set is the sanitizer's shadow
// memory and its quarantine of freed blocks (hundreds of MiB), not what the
// load holds: the bound is then not checked, the rest of the test is.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kPeakIsTheProgramsOwn = false;
#else
constexpr bool kPeakIsTheProgramsOwn = true;
#endif

// One code a line, each code different, after a run of spaces that makes the
// file larger than the bound: "doc17.pdf,    ...    K0000017".
std::string millionLineCodeFile()
{
    std::string text;
    text.reserve(static_cast<size_t>(kLines) * 76);
    char buffer[96];
    for (int n = 0; n < kLines; ++n) {
        const int length = std::snprintf(buffer, sizeof buffer, "doc%d.pdf,%50sK%07d\r\n", n % 1000, "", n);
        text.append(buffer, static_cast<size_t>(length));
    }
    return text;
}

TEST(Memory, AMillionLineCodeFileLoadsInBoundedMemory)
{
    TempDir dir;
    const fs::path db = dir / "memory.db";
    ASSERT_EQ(seedExampleDatabase(db, dir.path(), { "CPT" }, false), "");
    // The text is let go before the run starts: the child's peak counts the
    // pages it shares with this process until it executes the program.
    writeBytes(dir / "codes.txt", millionLineCodeFile());
    ASSERT_GT(fileSize(dir / "codes.txt"), kPeakBoundKilobytes * 1024) << "the file must outweigh the bound";

    const Outcome o = run({ db.string(), "code", "create", "CPT", dir.slash(), "codes.txt" }, dir.path());

    ASSERT_EQ(o.exitCode, 0) << o.describe();
    EXPECT_EQ(o.out, "code create CPT: 1,000,000 lines read, 1,000,000 codes stored, 0 lines skipped\n");
    ASSERT_GT(o.peakKilobytes, 0);
    if (kPeakIsTheProgramsOwn) {
        EXPECT_LT(o.peakKilobytes, kPeakBoundKilobytes) << "peak resident set " << o.peakKilobytes << " KiB";
    }

    SqliteReader reader(db);
    EXPECT_EQ(reader.value("SELECT COUNT(*) FROM codes"), "1000000");
    EXPECT_EQ(reader.value("SELECT PatEdDocument FROM codes WHERE Code = 'K0999999'"), "pdf\\doc999.htm");
}

// The base names of the shared objects the dynamic loader mapped, from the
// lines "file=NAME [0]; needed by ..." of LD_DEBUG=files on stderr.
std::set<std::string> mappedLibraries(const std::string& log)
{
    std::set<std::string> names;
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
        const size_t at = line.find("file=");
        if (at == std::string::npos)
            continue;
        const size_t from = at + 5;
        std::string name = line.substr(from, line.find(' ', from) - from);
        name = name.substr(name.rfind('/') + 1);
        if (!name.empty() && name != ";")
            names.insert(name);
    }
    return names;
}

// A run on an SQLite file does not map the PostgreSQL client library or what
// it brings (TLS, Kerberos, LDAP): libpq is loaded as a database on a server
// is opened, as the second run, which fails to reach its server, shows.
TEST(Memory, TheServerClientLibraryIsMappedOnlyForADatabaseOnAServer)
{
    TempDir dir;
    writeBytes(dir / "empty.txt", "");
    const RunOptions traced { { { "LD_DEBUG", "files" } } };
    const std::vector<std::string> serverOnly { "libpq.so.5", "libssl.so.3", "libgssapi_krb5.so.2",
        "libldap-2.5.so.0" };

    const Outcome file
        = run({ (dir / "new.db").string(), "topic", "create", "A", "A", dir.slash(), "empty.txt" }, dir.path(), traced);
    ASSERT_EQ(file.exitCode, 0) << file.describe();
    const std::set<std::string> onFile = mappedLibraries(file.err);
    ASSERT_TRUE(onFile.contains("libkovadel.so")) << "no trace of the loader: " << file.err.substr(0, 2000);
    EXPECT_TRUE(onFile.contains("libsqlite3.so.0"));
    for (const std::string& name : serverOnly)
        EXPECT_FALSE(onFile.contains(name)) << name << " was mapped for a run on an SQLite file";

    const Outcome server
        = run({ "postgresql://velk@%2Fnonexistent%2Fvelk/velk", "topic", "create", "A", "A", dir.slash(), "empty.txt" },
            dir.path(), traced);
    EXPECT_EQ(server.exitCode, 2) << server.describe();
    EXPECT_NE(server.err.find("/nonexistent/velk"), std::string::npos) << server.err.substr(0, 2000);
    const std::set<std::string> onServer = mappedLibraries(server.err);
    EXPECT_TRUE(onServer.contains("libpq.so.5")) << "libpq was not loaded for a database on a server";
}

} // namespace
