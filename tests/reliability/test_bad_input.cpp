// Bad input gets a clear error and changes nothing.
//
// One table: each case prepares what it needs (a database path that is no
// database, an input file that is odd or hostile, a copy of the program
// without its library), runs the program, and checks the exit status, the
// message on stderr, and the database: unchanged, or (for input that is merely
// odd) exactly the rows stored. The cases about the input and the fields run
// on an SQLite file and on a database of the test server alike.
#include "tests/reliability/ReliabilitySupport.h"

#include "support/EngineDatabase.h"
#include "support/StoredRows.h"

#include <gtest/gtest.h>

#include <pwd.h>
#include <sys/stat.h>

namespace {

using namespace rel;

constexpr const char* kTree
    = "SELECT t.Description || '<-' || coalesce(p.Description, '-') || '|' || t.HasChild || '|' "
      "|| t.PatEdDocument FROM topics t JOIN modules m ON m.ModuleID = t.ModuleID LEFT JOIN "
      "topics p ON p.TopicID = t.ParentID WHERE m.ModuleName = '%s' ORDER BY t.TopicID";

std::string treeOf(const char* module)
{
    char sql[1024];
    std::snprintf(sql, sizeof sql, kTree, module);
    return sql;
}

uid_t nobody()
{
    const passwd* entry = ::getpwnam("nobody");
    return entry ? entry->pw_uid : 65534;
}

// The password that the server database's URI carries. The socket lets the
// test's role in without one, so it is never checked, but the program is
// given it and must never show it.
constexpr const char* kPassword = "Tr0ub4dor-never-shown";

class BadInput : public ::testing::Test {
public:
    virtual enginetest::EngineKind engineKind() const { return enginetest::EngineKind::sqlite; }

    TempDir dir;
    fs::path db = dir / "velk.db";
    std::string database; // the example database: `db`, or the URI of a database of the test server
    fs::path target = db; // the database file the case's run names (on a file)
    RunOptions options;
    std::vector<fs::path> immutable; // files made immutable, freed at the end
    std::vector<std::string> codesBefore; // the codes the database holds before the case

    void SetUp() override
    {
        ASSERT_FALSE(dir.path().empty());
        ENGINE_DATABASE_OR_SKIP(engineKind(), db.string(), database);
        if (onServer()) {
            const std::string user = "://velk@";
            const size_t at = database.find(user);
            ASSERT_NE(at, std::string::npos) << database;
            database.replace(at, user.size(), "://velk:" + std::string(kPassword) + "@");
            ASSERT_EQ(seedExampleDatabase<StoredRows>(database, dir.path(), { "ICD" }, true), "");
        } else {
            ASSERT_EQ(seedExampleDatabase(database, dir.path(), { "ICD" }, true), "");
        }
        {
            StoredRows reader(database);
            codesBefore = reader.rows("SELECT * FROM codes ORDER BY CodeID");
            ASSERT_FALSE(codesBefore.empty());
        }
        writeBytes(dir / "index.txt", indexFile(20, "Good Index"));
    }

    bool onServer() const { return enginetest::isServerDatabase(database); }
    // The database the case's run names.
    std::string targetName() const { return onServer() ? database : target.string(); }

    void TearDown() override
    {
        for (const fs::path& file : immutable)
            std::system(("chattr -i '" + file.string() + "' 2>/dev/null").c_str());
    }

    // The run is made as the user nobody when the test runs as root, so that
    // permission bits count; the folder and the database are opened to it.
    void runWithoutRoot()
    {
        if (::geteuid() != 0)
            return;
        options.uid = nobody();
        fs::permissions(dir.path(), fs::perms::all);
        if (onServer())
            return;
        fs::permissions(db,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::group_write
                | fs::perms::others_read | fs::perms::others_write);
    }

    // Whether `file` (when `itself`) or its -wal or -shm is there.
    static bool leftBeside(const fs::path& file, bool itself)
    {
        return (itself && fs::exists(file)) || fs::exists(file.string() + "-wal") || fs::exists(file.string() + "-shm");
    }

    // Numbers the next topic past `seq`: on a file, SQLite's AUTOINCREMENT
    // counter; on the server, the identity sequence of topics, whose limit is
    // raised first for a number past the 32-bit range (as a library whose
    // table was altered by hand would have it).
    void setTopicSequence(long long seq)
    {
        if (onServer()) {
            StoredRows admin(database);
            const std::string sequence = admin.value("SELECT pg_get_serial_sequence('topics', 'topicid')");
            if (seq > 2147483647LL
                && !admin.exec("ALTER TABLE topics ALTER COLUMN TopicID SET MAXVALUE " + std::to_string(seq)))
                ADD_FAILURE() << admin.error();
            if (admin.value("SELECT setval('" + sequence + "', " + std::to_string(seq) + ")") != std::to_string(seq))
                ADD_FAILURE() << "the topic sequence was not set: " << admin.error();
            return;
        }
        SqliteReader admin(db);
        if (!admin.exec("UPDATE sqlite_sequence SET seq = " + std::to_string(seq) + " WHERE name = 'topics'"))
            ADD_FAILURE() << admin.error();
        if (admin.value("SELECT seq FROM sqlite_sequence WHERE name = 'topics'") != std::to_string(seq))
            ADD_FAILURE() << "the topic sequence was not set";
    }

    // A copy of the program in a folder of its own, beside `library` (none
    // when empty).
    void programCopy(const std::string& folder, const fs::path& library)
    {
        const fs::path place = dir / folder;
        fs::create_directories(place);
        fs::copy_file(VELKINDEX_EXECUTABLE, place / "velkindex");
        if (!library.empty())
            fs::copy_file(library, place / "libkovadel.so");
        options.program = (place / "velkindex").string();
    }
};

// Where a case applies. The cases about the input file, the names and the
// fields, the numbering of topics and the settings read before anything is
// opened test what the program makes of its input and how the library checks
// and stores the fields: the same on either engine, with the same texts.
// Those about the database file itself (its path, its permissions, what is
// left beside it) and about the library file beside the program have no
// counterpart on the server; those about the client library of the server
// (libpq) none on a file.
enum class Engines { fileOnly, onBoth, serverOnly };
using enum Engines;

struct InputCase {
    const char* name = "";
    Engines engines = fileOnly;
    void (*prepare)(BadInput&) = nullptr;
    std::vector<std::string> words = {}; // after the database path; "{dir}" is the test's folder
    int exitCode = 0;
    std::vector<std::string> said = {}; // stderr holds each of these
    // Null: the rows are those of the module the run names, as a tree.
    const char* query = nullptr;
    std::vector<std::string> rows = {}; // empty with a null query: only unchanged
    // A further check of what the run left; returns why it fails, or "".
    std::string (*check)(BadInput&) = nullptr;
};

std::string fortyLevels()
{
    std::string text;
    for (int i = 0; i < 40; ++i)
        text += std::string(static_cast<size_t>(i), ' ') + "Level " + std::to_string(i + 1) + "~l"
            + std::to_string(i + 1) + ".pdf~\r\n";
    return text;
}

std::vector<std::string> fortyLevelRows()
{
    // The tenth level is the deepest: levels 11 to 40 are its siblings.
    std::vector<std::string> rows;
    for (int i = 1; i <= 40; ++i) {
        const std::string parent = i == 1 ? "-" : "Level " + std::to_string(std::min(i - 1, 9)) + (i == 2 ? "" : " ");
        const std::string self = "Level " + std::to_string(i) + (i == 1 ? "" : " ");
        const std::string document = i == 1 ? "pdf\\l1.htm" : "DEEP_l" + std::to_string(i) + "_pdf.htm";
        rows.push_back(self + "<-" + parent + "|" + (i <= 9 ? "1" : "0") + "|" + document);
    }
    return rows;
}

const std::string kFifty(50, 'M');

// The run stored its module in the database file it was given, and its folder
// holds that file alone.
std::string onlyTheNamedDatabase(BadInput& t)
{
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(t.target.parent_path()))
        names.push_back(entry.path().filename().string());
    if (names != std::vector<std::string> { t.target.filename().string() }) {
        std::string listed;
        for (const std::string& name : names)
            listed += " \"" + name + "\"";
        return "the folder holds" + listed + " instead of the named file alone";
    }
    SqliteReader reader(t.target);
    if (reader.integrity() != "ok")
        return "the named file is not sound: " + reader.integrity();
    const std::string stored
        = reader.value("SELECT count(*) FROM topics JOIN modules USING (ModuleID) WHERE ModuleName = 'NEW'");
    return stored == "20" ? "" : "the named file holds " + stored + " topics of NEW, not 20";
}

const InputCase kCases[] = {
    // ---- the database path ----
    { "DatabaseInMissingFolder", fileOnly, [](BadInput& t) { t.target = t.dir / "nofolder" / "velk.db"; },
        { "topic", "create", "NEW", "NEW", "{dir}", "index.txt" }, 2, { "does not exist", "nofolder" }, nullptr, {},
        [](BadInput& t) -> std::string {
            return fs::exists(t.dir / "nofolder") ? "the missing folder was created" : "";
        } },
    { "DatabaseIsAFolder", fileOnly,
        [](BadInput& t) {
            t.target = t.dir / "folder.db";
            fs::create_directory(t.target);
        },
        { "topic", "create", "NEW", "NEW", "{dir}", "index.txt" }, 2, { "it is a folder" }, nullptr, {},
        [](BadInput& t) -> std::string {
            return fs::is_directory(t.target) && fs::is_empty(t.target) ? "" : "the folder was changed";
        } },
    { "FileIsNotADatabase", fileOnly,
        [](BadInput& t) {
            t.target = t.dir / "letter.db";
            std::string text;
            Sequence random(99);
            for (int i = 0; i < 65536; ++i)
                text += static_cast<char>(random.next() & 0xFF);
            writeBytes(t.target, text);
            writeBytes(t.dir / "letter.copy", text);
        },
        { "topic", "create", "NEW", "NEW", "{dir}", "index.txt" }, 2, { "not a database", "letter.db" }, nullptr, {},
        [](BadInput& t) -> std::string {
            if (readBytes(t.target) != readBytes(t.dir / "letter.copy"))
                return "the file was written";
            return fs::exists(t.target.string() + "-wal") ? "a log was left beside it" : "";
        } },
    { "ReadOnlyDatabase", fileOnly,
        [](BadInput& t) {
            t.target = t.dir / "locked.db";
            fs::copy_file(t.db, t.target);
            writeBytes(t.dir / "locked.copy", readBytes(t.target));
            fs::permissions(t.target, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
            if (::geteuid() == 0) {
                // Permission bits do not stop root; the immutable flag does,
                // where the file system has it. Elsewhere the run is made as nobody.
                if (std::system(("chattr +i '" + t.target.string() + "' 2>/dev/null").c_str()) == 0) {
                    t.immutable.push_back(t.target);
                } else {
                    t.options.uid = nobody();
                    fs::permissions(t.dir.path(), fs::perms::all);
                }
            }
        },
        { "topic", "create", "NEW", "NEW", "{dir}", "index.txt" }, 1, { "readonly" }, nullptr, {},
        [](BadInput& t) -> std::string {
            return readBytes(t.target) == readBytes(t.dir / "locked.copy") ? "" : "the read-only file was written";
        } },

    // ---- the settings: refused before anything is opened ----
    { "BusyTimeoutIsNotANumber", onBoth,
        [](BadInput& t) {
            t.options.env = { { "VELKINDEX_BUSY_TIMEOUT_MS", "abc" } };
        },
        { "topic", "create", "NEW", "NEW", "{dir}", "index.txt" }, 2, { "VELKINDEX_BUSY_TIMEOUT_MS is \"abc\"" } },
    { "BusyTimeoutIsNegative", onBoth,
        [](BadInput& t) {
            t.options.env = { { "VELKINDEX_BUSY_TIMEOUT_MS", "-1" } };
        },
        { "code", "delete", "ICD" }, 2, { "VELKINDEX_BUSY_TIMEOUT_MS is \"-1\"" } },
    { "BusyTimeoutHasAUnit", onBoth,
        [](BadInput& t) {
            t.options.env = { { "VELKINDEX_BUSY_TIMEOUT_MS", "5000ms" } };
        },
        { "code", "delete", "ICD" }, 2, { "VELKINDEX_BUSY_TIMEOUT_MS is \"5000ms\"" } },
    { "BusyTimeoutIsTooLarge", onBoth,
        [](BadInput& t) {
            t.options.env = { { "VELKINDEX_BUSY_TIMEOUT_MS", "2147483648" } };
        },
        { "code", "delete", "ICD" }, 2, { "VELKINDEX_BUSY_TIMEOUT_MS is \"2147483648\"" } },
    { "BusyTimeoutIsBadOnANewDatabase", fileOnly,
        [](BadInput& t) {
            t.options.env = { { "VELKINDEX_BUSY_TIMEOUT_MS", "abc" } };
            t.target = t.dir / "new.db";
        },
        { "topic", "create", "NEW", "NEW", "{dir}", "index.txt" }, 2, { "VELKINDEX_BUSY_TIMEOUT_MS" }, nullptr, {},
        [](BadInput& t) { return fs::exists(t.target) ? std::string("new.db was created") : std::string(); } },
    { "CodePageIsUnknown", onBoth,
        [](BadInput& t) {
            t.options.env = { { "VELKINDEX_CODEPAGE", "NO-SUCH-PAGE" } };
        },
        { "topic", "create", "NEW", "NEW", "{dir}", "index.txt" }, 2, { "VELKINDEX_CODEPAGE is \"NO-SUCH-PAGE\"" } },
    { "CodePageIsMultiByte", onBoth,
        [](BadInput& t) {
            t.options.env = { { "VELKINDEX_CODEPAGE", "UTF-8" } };
        },
        { "code", "create", "ICD", "{dir}", "index.txt" }, 2,
        { "VELKINDEX_CODEPAGE is \"UTF-8\"", "not a single-byte code page" } },
    { "CodePageIsBadOnANewDatabase", fileOnly,
        [](BadInput& t) {
            t.options.env = { { "VELKINDEX_CODEPAGE", "EUC-JP" } };
            t.target = t.dir / "new.db";
        },
        { "topic", "create", "NEW", "NEW", "{dir}", "index.txt" }, 2, { "VELKINDEX_CODEPAGE is \"EUC-JP\"" }, nullptr,
        {}, [](BadInput& t) { return fs::exists(t.target) ? std::string("new.db was created") : std::string(); } },
    // The path travels as the file system's bytes: the file named is the one
    // used, whatever the code page holds, and no other file appears beside it.
    { "DatabasePathOutsideTheCodePage", fileOnly,
        [](BadInput& t) {
            t.target = t.dir / "na" / "\xD0\x96\xD1\x83\xD0\xBA.db"; // "Жук.db" in UTF-8
            fs::create_directory(t.dir / "na");
        },
        { "topic", "create", "NEW", "NEW", "{dir}", "index.txt" }, 0, {}, nullptr, {}, onlyTheNamedDatabase },
    { "DatabasePathNotUtf8", fileOnly,
        [](BadInput& t) {
            t.target = t.dir / "na" / "\xC9t\xE9.db"; // "Été.db" in Latin-1: no UTF-8
            fs::create_directory(t.dir / "na");
            fs::copy_file(t.db, t.target);
        },
        { "topic", "create", "NEW", "NEW", "{dir}", "index.txt" }, 0, {}, nullptr, {}, onlyTheNamedDatabase },
    // ---- a failed run leaves the file system as it found it ----
    { "NewPathAndAFailingRun", fileOnly, [](BadInput& t) { t.target = t.dir / "new.db"; },
        { "code", "create", "NOSUCH", "{dir}", "index.txt" }, 1, { "NOSUCH" }, nullptr, {},
        [](BadInput& t) -> std::string { return t.leftBeside(t.target, true) ? "a database was left behind" : ""; } },
    // A delete that matches nothing succeeds, and having stored nothing it
    // leaves no database either.
    { "NewPathAndARunThatStoresNothing", fileOnly, [](BadInput& t) { t.target = t.dir / "new.db"; },
        { "code", "delete", "NOSUCH" }, 0, { "NOSUCH" }, nullptr, {},
        [](BadInput& t) -> std::string { return t.leftBeside(t.target, true) ? "a database was left behind" : ""; } },
    { "EmptyFileAndAFailingRun", fileOnly,
        [](BadInput& t) {
            t.target = t.dir / "empty.db";
            writeBytes(t.target, "");
        },
        { "topic", "create", "NEW", "NEW", "{dir}", "missing.txt" }, 1, { "missing.txt" }, nullptr, {},
        [](BadInput& t) -> std::string {
            if (fileSize(t.target) != 0)
                return "the empty file was made a database";
            return t.leftBeside(t.target, false) ? "a log was left beside it" : "";
        } },
    { "NewPathAndASuccessfulRun", fileOnly, [](BadInput& t) { t.target = t.dir / "new.db"; },
        { "topic", "create", "NEW", "NEW", "{dir}", "index.txt" }, 0, {}, nullptr, {},
        [](BadInput& t) -> std::string {
            if (!fs::exists(t.target))
                return "no database was created";
            SqliteReader reader(t.target);
            return reader.value("SELECT count(*) FROM topics") == "20" ? "" : "the topics were not stored";
        } },

    // ---- the input file ----
    { "InputIsAFolder", onBoth, [](BadInput& t) { fs::create_directory(t.dir / "input.d"); },
        { "topic", "create", "ADULT", "ADU", "{dir}", "input.d" }, 1, { "is a folder", "input.d" } },
    { "InputIsMissing", onBoth, nullptr, { "code", "create", "ICD", "{dir}", "missing.txt" }, 1,
        { "does not exist", "missing.txt" } },
    { "InputIsUnreadable", onBoth,
        [](BadInput& t) {
            writeBytes(t.dir / "secret.txt", indexFile(10, "Secret"));
            fs::permissions(t.dir / "secret.txt", fs::perms::none);
            t.runWithoutRoot();
        },
        { "topic", "create", "ADULT", "ADU", "{dir}", "secret.txt" }, 1, { "cannot be read", "secret.txt" } },
    // Only a regular file is read: a device never ends, and a pipe without a
    // writer would block the open.
    { "InputIsADevice", onBoth, nullptr, { "topic", "create", "ADULT", "ADU", "/dev/", "zero" }, 1,
        { "/dev/zero", "not a regular file" } },
    { "CodeInputIsADevice", onBoth, nullptr, { "code", "create", "ICD", "/dev/", "zero" }, 1,
        { "/dev/zero", "not a regular file" } },
    { "DescriptionInputIsADevice", onBoth, nullptr, { "code", "description", "ICD", "/dev/", "zero" }, 1,
        { "/dev/zero", "not a regular file" } },
    { "InputIsAPipeWithoutWriter", onBoth, [](BadInput& t) { ASSERT_EQ(::mkfifo((t.dir / "pipe").c_str(), 0600), 0); },
        { "topic", "create", "ADULT", "ADU", "{dir}", "pipe" }, 1, { "pipe", "not a regular file" } },
    { "CodeInputIsAPipeWithoutWriter", onBoth,
        [](BadInput& t) { ASSERT_EQ(::mkfifo((t.dir / "pipe").c_str(), 0600), 0); },
        { "code", "create", "ICD", "{dir}", "pipe" }, 1, { "pipe", "not a regular file" } },
    { "InputIsEmptyForAnIndex", onBoth, [](BadInput& t) { writeBytes(t.dir / "empty.txt", ""); },
        { "topic", "create", "EMPTY", "E", "{dir}", "empty.txt" }, 0, {},
        "SELECT m.ModuleName || '|' || m.DirectoryPrefix || '|' || (SELECT count(*) FROM topics t WHERE t.ModuleID = "
        "m.ModuleID) FROM modules m ORDER BY m.ModuleID",
        { "ADULT|ADU|16", "EMPTY|E|0" } },
    { "InputIsEmptyForCodes", onBoth, [](BadInput& t) { writeBytes(t.dir / "empty.txt", ""); },
        { "code", "create", "ICD", "{dir}", "empty.txt" }, 0, {}, "SELECT count(*) FROM codes", { "0" } },
    { "InputHasNulBytes", onBoth,
        [](BadInput& t) { writeBytes(t.dir / "binary.txt", std::string("Top~a.pdf~\r\n  Chi\0ld~b.pdf~\r\n", 29)); },
        { "topic", "create", "ADULT", "ADU", "{dir}", "binary.txt" }, 1, { "NUL byte on line 2", "binary.txt" } },
    { "CodeInputHasNulBytes", onBoth,
        [](BadInput& t) { writeBytes(t.dir / "binary.txt", std::string("a.pdf, X\0001 Y2\r\n", 16)); },
        { "code", "create", "ICD", "{dir}", "binary.txt" }, 1, { "NUL byte on line 1" } },
    { "InputHasBytesTheCodePageLacks", onBoth,
        [](BadInput& t) {
            writeBytes(t.dir / "odd.txt", "Top \x81\x8d end~doc.pdf~\r\n  Child \x90 x \x9d~c\x8f.pdf~\r\n");
        },
        { "topic", "create", "ODD", "O", "{dir}", "odd.txt" }, 0, {}, nullptr,
        { "Top ?? end<--|1|pdf\\doc.htm", "Child ? x ? <-Top ?? end|0|O_c?_pdf.htm" } },
    { "FirstLineOfOneMebibyte", onBoth,
        [](BadInput& t) { writeBytes(t.dir / "long.txt", std::string(1 << 20, 'x') + "\r\n"); },
        { "topic", "create", "LONG", "L", "{dir}", "long.txt" }, 0, {},
        "SELECT t.ParentID || '|' || length(t.Description) || '|' || trim(t.Description, 'x') FROM topics t JOIN "
        "modules m USING (ModuleID) WHERE m.ModuleName = 'LONG'",
        { "0|80|" } },
    { "LaterLineOfOneMebibyte", onBoth,
        [](BadInput& t) { writeBytes(t.dir / "long.txt", "Top\r\n  " + std::string(1 << 20, 'x') + "~d.pdf~\r\n"); },
        { "topic", "create", "LONG", "L", "{dir}", "long.txt" }, 0, {},
        "SELECT CASE WHEN t.ParentID <> 0 THEN 1 ELSE 0 END || '|' || length(t.Description) || '|' || t.PatEdDocument "
        "FROM topics t JOIN "
        "modules m USING (ModuleID) WHERE m.ModuleName = 'LONG' ORDER BY t.TopicID",
        { "0|3|", "1|1048577|L_d_pdf.htm" } },
    { "HundredThousandLeadingSpaces", onBoth,
        [](BadInput& t) {
            writeBytes(
                t.dir / "spaces.txt", "Top\r\n" + std::string(100000, ' ') + "Deep~deep.pdf~\r\nSecond~s.pdf~\r\n");
        },
        { "topic", "create", "SPACES", "S", "{dir}", "spaces.txt" }, 0, {}, nullptr,
        { "Top<--|1|", "Deep <-Top|0|S_deep_pdf.htm", "Second <--|0|S_s_pdf.htm" } },
    { "FortyNestingLevels", onBoth, [](BadInput& t) { writeBytes(t.dir / "deep.txt", fortyLevels()); },
        { "topic", "create", "DEEP", "DEEP", "{dir}", "deep.txt" }, 0, {}, nullptr, fortyLevelRows() },
    { "SqlInTheFields", onBoth,
        [](BadInput& t) {
            writeBytes(t.dir / "sql.txt",
                "Robert'); DROP TABLE topics;--~o'brien;DELETE FROM codes;.pdf~\r\n"
                "  SELECT * FROM modules; ' OR '1'='1~x'y;z.doc~\r\n"
                "  \"; UPDATE modules SET ModuleName = 'X' WHERE ''='~a;b'--.pdf~\r\n");
        },
        { "topic", "create", "SQL", "Q", "{dir}", "sql.txt" }, 0, {}, nullptr,
        { "Robert'); DROP TABLE topics;--<--|1|pdf\\o'brien;DELETE FROM codes;.htm",
            "SELECT * FROM modules; ' OR '1'='1 <-Robert'); DROP TABLE topics;--|0|Q_x'y;z_doc.htm",
            "\"; UPDATE modules SET ModuleName = 'X' WHERE ''=' <-Robert'); DROP TABLE topics;--|0|Q_a;b'--_pdf.htm" },
        [](BadInput& t) -> std::string {
            StoredRows reader(t.database);
            if (reader.rows("SELECT * FROM codes ORDER BY CodeID") != t.codesBefore)
                return "the codes were touched";
            if (reader.rows("SELECT ModuleName FROM modules ORDER BY ModuleID")
                != std::vector<std::string> { "ADULT", "SQL" })
                return "the modules were touched";
            return "";
        } },

    // ---- names ----
    { "ModuleNameOf300Characters", onBoth,
        [](BadInput& t) {
            // Created once already: the second create replaces it.
            const Outcome o
                = run({ t.database, "topic", "create", std::string(300, 'M'), "PFX", t.dir.slash(), "index.txt" },
                    t.dir.path());
            if (o.exitCode != 0)
                ADD_FAILURE() << o.describe();
        },
        { "topic", "create", std::string(300, 'M'), "PFX", "{dir}", "index.txt" }, 0, {},
        "SELECT m.ModuleName || '|' || (SELECT count(*) FROM topics t WHERE t.ModuleID = m.ModuleID) FROM modules m "
        "ORDER BY m.ModuleID",
        { "ADULT|16", kFifty + "|20" } },
    { "CodingSystemNameOf300Characters", onBoth, nullptr,
        { "code", "create", std::string(300, 'C'), "{dir}", "index.txt" }, 1, { "is not in the database" } },

    // ---- counted topic identifiers ----
    // The topics of a build are numbered by counting from the first: a file
    // whose numbers would pass the 32-bit record range is refused whole.
    { "TopicNumbersAtTheLimit", onBoth, [](BadInput& t) { t.setTopicSequence(2147483647LL); },
        { "topic", "create", "NEW", "NEW", "{dir}", "index.txt" }, 1, { "2147483647" } },
    { "TopicNumbersWouldPassTheLimit", onBoth, [](BadInput& t) { t.setTopicSequence(2147483647LL - 10); },
        { "topic", "create", "NEW", "NEW", "{dir}", "index.txt" }, 1, { "2147483647", "index.txt" } },
    { "TopicNumbersAboveThe32BitRange", onBoth, [](BadInput& t) { t.setTopicSequence(4294967296LL); },
        { "topic", "create", "NEW", "NEW", "{dir}", "index.txt" }, 1, { "2147483647" } },
    { "TopicNumbersEndingAtTheLimit", onBoth, [](BadInput& t) { t.setTopicSequence(2147483647LL - 20); },
        { "topic", "create", "NEW", "NEW", "{dir}", "index.txt" }, 0, {},
        "SELECT count(*) || '|' || min(TopicID) || '|' || max(TopicID) || '|' || sum(CASE WHEN ParentID <> 0 AND "
        "ParentID "
        "NOT IN (SELECT TopicID FROM topics WHERE ModuleID = t.ModuleID) THEN 1 ELSE 0 END) FROM topics t WHERE "
        "ModuleID = (SELECT ModuleID "
        "FROM modules WHERE ModuleName = 'NEW')",
        { "20|2147483628|2147483647|0" } },

    // ---- the library ----
    { "LibraryMissing", fileOnly, [](BadInput& t) { t.programCopy("alone", {}); },
        { "code", "create", "ICD", "{dir}", "index.txt" }, 2, { "Cannot load the data-access library" } },
    { "LibraryLacksAFunction", fileOnly, [](BadInput& t) { t.programCopy("lacking", LACKING_LIBRARY_PATH); },
        { "code", "description", "ICD", VELK_SOURCE_DIR "/examples/", "descriptions-icd.txt" }, 2,
        { "has no function SetCode" } },
    // libpq is loaded as the first database on a server is opened: without
    // it (or with a library that is not libpq) StartVelk fails, naming it.
    { "ServerClientLibraryMissing", serverOnly,
        [](BadInput& t) {
            t.options.env = { { "VELKINDEX_LIBPQ", "/nonexistent/velk/libpq.so.5" } };
        },
        { "topic", "create", "NEW", "NEW", "{dir}", "index.txt" }, 2,
        { ": the PostgreSQL client library /nonexistent/velk/libpq.so.5 (named by VELKINDEX_LIBPQ) could not be "
          "loaded: /nonexistent/velk/libpq.so.5: cannot open shared object file: No such file or directory. "
          "Install libpq5. Check the path" } },
    { "ServerClientLibraryLacksAFunction", serverOnly,
        [](BadInput& t) {
            t.options.env = { { "VELKINDEX_LIBPQ", "libsqlite3.so.0" } };
        },
        { "code", "delete", "ICD" }, 2,
        { ": the PostgreSQL client library libsqlite3.so.0 (named by VELKINDEX_LIBPQ) has no function PQclear "
          "(libpq 14 or later is needed). Install libpq5. Check the path" } },
};

// A case of the table on one engine.
struct EngineCase {
    const InputCase* row;
    enginetest::EngineKind engine;
};

void PrintTo(const EngineCase& c, std::ostream* os)
{
    *os << c.row->name << " on " << enginetest::engineName(c.engine);
}

std::vector<EngineCase> engineCases()
{
    std::vector<EngineCase> cases;
    for (const InputCase& row : kCases) {
        if (row.engines != serverOnly)
            cases.push_back({ &row, enginetest::EngineKind::sqlite });
        if (row.engines != fileOnly)
            cases.push_back({ &row, enginetest::EngineKind::postgres });
    }
    return cases;
}

class BadInputCases : public BadInput, public ::testing::WithParamInterface<EngineCase> {
public:
    enginetest::EngineKind engineKind() const override { return GetParam().engine; }
};

TEST_P(BadInputCases, ClearErrorAndNothingChanged)
{
    const InputCase& c = *GetParam().row;
    if (c.prepare) {
        ASSERT_NO_FATAL_FAILURE(c.prepare(*this));
    }
    const std::vector<std::string> before = StoredRows(database).dump();

    std::vector<std::string> args { targetName() };
    for (const std::string& w : c.words)
        args.push_back(w == "{dir}" ? dir.slash() : w);
    const Outcome o = run(args, dir.path(), options);

    EXPECT_TRUE(o.exited) << o.describe();
    EXPECT_EQ(o.exitCode, c.exitCode) << o.describe();
    for (const std::string& part : c.said)
        EXPECT_NE(o.err.find(part), std::string::npos) << "stderr lacks \"" << part << "\": " << o.err;
    if (c.exitCode != 0) {
        EXPECT_EQ(lines(o.err).size(), 1u) << "a failure is told in one line: " << o.err;
        EXPECT_TRUE(o.out.empty()) << o.out;
    }
    EXPECT_EQ(o.err.find(kPassword), std::string::npos) << "the password was shown: " << o.err;
    EXPECT_EQ(o.out.find(kPassword), std::string::npos) << "the password was shown: " << o.out;

    if (!onServer()) {
        SqliteReader file(db);
        EXPECT_EQ(file.integrity(), "ok");
    }
    StoredRows reader(database);
    if (c.exitCode != 0) {
        const std::vector<std::string> after = reader.dump();
        EXPECT_EQ(after == before, true) << "the database changed: " << firstDifference(after, before);
    }
    if (c.query) {
        EXPECT_EQ(reader.rows(c.query), c.rows);
    } else if (!c.rows.empty()) {
        // The rows of the module that the run created, as a tree.
        EXPECT_EQ(reader.rows(treeOf(c.words[2].c_str())), c.rows);
    }
    if (c.check) {
        const std::string why = c.check(*this);
        EXPECT_TRUE(why.empty()) << why;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, BadInputCases, ::testing::ValuesIn(engineCases()), [](const auto& info) {
    return std::string(info.param.row->name) + "_" + enginetest::engineName(info.param.engine);
});

// ---- damaged database files ----
//
// A copy of the seeded database with bytes of one page overwritten, as a
// failing disk or a stray write leaves it. A writing run refuses it when the
// damage lies in what the run reads or writes, or in the schema, the list of
// free pages or the small tables that steer every run (modules, coding
// systems, defaults, numbering): exit status 2, one line naming the file, and
// the file as it was. Damage elsewhere is left as it was by a run that does
// not touch it.

int be16(const std::string& page, size_t at)
{
    return (static_cast<unsigned char>(page[at]) << 8) | static_cast<unsigned char>(page[at + 1]);
}

void overwriteRows(std::string& page)
{
    // Sixteen bytes in the middle of the rows stored on the page.
    const size_t middle = (static_cast<size_t>(be16(page, 5)) + page.size()) / 2;
    page.replace(middle, 16, std::string(16, '\xee'));
}
void overwriteCellPointers(std::string& page) { page.replace(10, 6, std::string("\xff\x00\x0f\xf0\x0f\xf0", 6)); }
void overwriteCellCount(std::string& page) { page.replace(3, 2, std::string("\x00\xc8", 2)); }
void overwriteFreeLeafCount(std::string& page) { page.replace(4, 4, std::string("\x00\x01\x86\xa0", 4)); }

struct Damage {
    const char* name;
    const char* tree; // the table or index whose root page is overwritten; "freelist": the first trunk page
    void (*apply)(std::string& page);
};

const Damage kTopicCellPointers { "TopicCellPointers", "topics", overwriteCellPointers };
const Damage kTopicIndexCellCount { "TopicIndexCellCount", "topics_module", overwriteCellCount };
const Damage kCodeCellPointers { "CodeCellPointers", "codes", overwriteCellPointers };
const Damage kCodeIndexRows { "CodeIndexRows", "codes_code", overwriteRows };
const Damage kCodingSystemCellCount { "CodingSystemCellCount", "codingsystems", overwriteCellCount };
const Damage kModuleRows { "ModuleRows", "modules", overwriteRows };
const Damage kFreeList { "FreeList", "freelist", overwriteFreeLeafCount };

struct WritingAction {
    const char* name;
    std::vector<std::string> words; // "{dir}" is the test's folder
};

const WritingAction kTopicCreate { "TopicCreate", { "topic", "create", "ADULT", "ADU", "{dir}", "index.txt" } };
const WritingAction kTopicDelete { "TopicDelete", { "topic", "delete", "ADULT" } };
const WritingAction kCodeCreate { "CodeCreate", { "code", "create", "ICD", "{dir}", "codes.txt" } };
const WritingAction kCodeDelete { "CodeDelete", { "code", "delete", "ICD" } };
const WritingAction kCodeDescription { "CodeDescription",
    { "code", "description", "ICD", VELK_SOURCE_DIR "/examples/", "descriptions-icd.txt" } };

struct DamageCase {
    const Damage* damage;
    const WritingAction* action;
    int exitCode; // 2: refused; 0: the damage lies outside what the run touches
};

void PrintTo(const DamageCase& c, std::ostream* os) { *os << c.damage->name << " " << c.action->name; }

std::vector<DamageCase> damageCases()
{
    const std::vector<const WritingAction*> topicRuns { &kTopicCreate, &kTopicDelete };
    const std::vector<const WritingAction*> codeRuns { &kCodeCreate, &kCodeDelete, &kCodeDescription };
    std::vector<const WritingAction*> allRuns = topicRuns;
    allRuns.insert(allRuns.end(), codeRuns.begin(), codeRuns.end());
    const std::vector<std::pair<const Damage*, std::vector<const WritingAction*>>> refused {
        { &kTopicCellPointers, topicRuns },
        { &kTopicIndexCellCount, topicRuns },
        { &kCodeCellPointers, codeRuns },
        { &kCodeIndexRows, codeRuns },
        { &kCodingSystemCellCount, allRuns },
        { &kModuleRows, allRuns },
        { &kFreeList, allRuns },
    };
    std::vector<DamageCase> cases;
    for (const auto& [damage, runs] : refused)
        for (const WritingAction* action : runs)
            cases.push_back({ damage, action, 2 });
    cases.push_back({ &kCodeCellPointers, &kTopicCreate, 0 });
    cases.push_back({ &kTopicCellPointers, &kCodeCreate, 0 });
    return cases;
}

class DamagedDatabase : public BadInput, public ::testing::WithParamInterface<DamageCase> { };

TEST_P(DamagedDatabase, IsRefusedWhereTheRunWouldTouchIt)
{
    const DamageCase& c = GetParam();
    writeBytes(dir / "codes.txt", codeFile(30));
    target = dir / "damaged.db";
    fs::copy_file(db, target);
    ASSERT_FALSE(fs::exists(db.string() + "-wal")); // the file holds every row
    long long pageSize = 0, page = 0;
    {
        SqliteReader reader(target);
        if (std::string(c.damage->tree) == "freelist") {
            ASSERT_TRUE(reader.exec("CREATE TABLE junk AS SELECT randomblob(3000) AS b FROM modules, topics; "
                                    "DROP TABLE junk"))
                << reader.error();
        }
        pageSize = std::stoll(reader.value("PRAGMA page_size"));
        page = std::stoll(std::string(c.damage->tree) == "freelist"
                ? "0"
                : reader.value(
                    std::string("SELECT rootpage FROM sqlite_master WHERE name = '") + c.damage->tree + "'"));
    } // the last connection writes its log back into the file
    ASSERT_FALSE(fs::exists(target.string() + "-wal"));
    std::string bytes = readBytes(target);
    if (page == 0) {
        page = be16(bytes, 32) << 16 | be16(bytes, 34); // the first trunk page of the free list
        ASSERT_GT(page, 1) << "no free pages";
    }
    const size_t offset = static_cast<size_t>((page - 1) * pageSize);
    std::string pageBytes = bytes.substr(offset, static_cast<size_t>(pageSize));
    c.damage->apply(pageBytes);
    bytes.replace(offset, pageBytes.size(), pageBytes);
    writeBytes(target, bytes);
    {
        SqliteReader reader(target);
        ASSERT_NE(reader.value("PRAGMA quick_check"), "ok") << "the damage went unnoticed by SQLite itself";
    }

    std::vector<std::string> args { target.string() };
    for (const std::string& w : c.action->words)
        args.push_back(w == "{dir}" ? dir.slash() : w);
    const Outcome o = run(args, dir.path(), options);

    EXPECT_TRUE(o.exited) << o.describe();
    EXPECT_EQ(o.exitCode, c.exitCode) << o.describe();
    if (c.exitCode == 2) {
        EXPECT_EQ(lines(o.err).size(), 1u) << o.err;
        EXPECT_NE(o.err.find(target.string() + " is damaged"), std::string::npos) << o.err;
        EXPECT_TRUE(o.out.empty()) << o.out;
        EXPECT_EQ(readBytes(target) == bytes, true) << "the damaged file was written";
    } else {
        EXPECT_EQ(readBytes(target).substr(offset, pageBytes.size()) == pageBytes, true)
            << "the damaged page was changed";
    }
    EXPECT_FALSE(fs::exists(target.string() + "-wal"));
}

INSTANTIATE_TEST_SUITE_P(Cases, DamagedDatabase, ::testing::ValuesIn(damageCases()),
    [](const auto& info) { return std::string(info.param.damage->name) + "_" + info.param.action->name; });

TEST_F(BadInput, LackingLibraryStillServesEveryOtherFunction)
{
    // The copy beside the program is sound but for SetCode: a run that does not
    // need SetCode succeeds with it, so the case above fails for the one reason.
    programCopy("lacking", LACKING_LIBRARY_PATH);
    writeBytes(dir / "codes.txt", codeFile(30));
    const Outcome o = run({ db.string(), "code", "create", "ICD", dir.slash(), "codes.txt" }, dir.path(), options);
    EXPECT_EQ(o.exitCode, 0) << o.describe();
    SqliteReader reader(db);
    EXPECT_EQ(reader.value("SELECT count(*) FROM codes"), "30");
}

} // namespace
