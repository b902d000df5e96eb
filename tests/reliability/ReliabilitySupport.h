// Helpers of the reliability tests: runs of the velkindex executable that the
// test can kill, limit or start side by side; large input files; and the state
// of a database as an independent SQLite connection sees it.
#pragma once

#include "support/SqliteReader.h"

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <iterator>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

extern char** environ;

namespace rel {

namespace fs = std::filesystem;

// ---- files -----------------------------------------------------------------

inline std::string readBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeBytes(const fs::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline int64_t fileSize(const fs::path& path)
{
    struct stat info { };
    return ::stat(path.c_str(), &info) == 0 ? static_cast<int64_t>(info.st_size) : -1;
}

// The database file with its write-ahead log (the -shm index is rebuilt from
// the log by whoever opens the copy).
inline void copyDatabase(const fs::path& from, const fs::path& to)
{
    for (const char* suffix : { "", "-wal", "-shm" })
        fs::remove(to.string() + suffix);
    fs::copy_file(from, to);
    const fs::path wal = from.string() + "-wal";
    if (fs::exists(wal))
        fs::copy_file(wal, to.string() + "-wal");
}

// A fresh temporary folder, removed with its contents.
class TempDir {
public:
    TempDir()
    {
        std::string pattern = (fs::temp_directory_path() / "velk-rel-XXXXXX").string();
        if (::mkdtemp(pattern.data()))
            m_path = pattern;
    }
    ~TempDir()
    {
        std::error_code ignored;
        if (!m_path.empty())
            fs::remove_all(m_path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const fs::path& path() const { return m_path; }
    // The folder as the command line names it: with a closing slash, since
    // the program joins folder and file name as they are.
    std::string slash() const { return m_path.string() + "/"; }
    fs::path operator/(const std::string& name) const { return m_path / name; }

private:
    fs::path m_path;
};

// ---- the database as an independent reader sees it -----------------------

inline std::vector<std::string> dumpOf(const fs::path& db)
{
    SqliteReader reader(db);
    return reader.dump();
}

// A short description of where two dumps first differ, for failure messages.
inline std::string firstDifference(const std::vector<std::string>& a, const std::vector<std::string>& b)
{
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i)
        if (a[i] != b[i])
            return "row " + std::to_string(i) + ": \"" + a[i].substr(0, 200) + "\" vs \"" + b[i].substr(0, 200) + "\"";
    if (a.size() != b.size())
        return "lengths " + std::to_string(a.size()) + " vs " + std::to_string(b.size());
    return "none";
}

// ---- runs of the executable ------------------------------------------------

struct RunOptions {
    std::vector<std::pair<std::string, std::string>> env; // set (or, with an empty value, removed)
    std::string program = VELKINDEX_EXECUTABLE;
    int64_t fileSizeLimit = -1; // RLIMIT_FSIZE of the run, in bytes; writes past it fail
    uid_t uid = 0; // when non-zero and the test runs as root: the run's user
};

struct Outcome {
    bool exited = false;
    int exitCode = -1;
    int signal = 0;
    std::string out;
    std::string err;
    double seconds = 0;
    int64_t peakKilobytes = -1; // the run's largest resident set (ru_maxrss), once reaped

    std::string describe() const
    {
        std::string s = exited ? "exit " + std::to_string(exitCode) : "signal " + std::to_string(signal);
        return s + "; stderr: " + err + (out.empty() ? "" : "; stdout: " + out);
    }
};

// One run of the program, started at once, headless, with stdin from
// /dev/null and stdout and stderr into files of `logDir`.
class Child {
public:
    Child() = default;
    ~Child()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool start(const std::vector<std::string>& args, const fs::path& logDir, const RunOptions& options = {})
    {
        static int serial = 0;
        const std::string tag = std::to_string(::getpid()) + "-" + std::to_string(++serial);
        m_outPath = logDir / ("run-" + tag + ".out");
        m_errPath = logDir / ("run-" + tag + ".err");

        // Everything the child needs is made before fork: after it, only
        // async-signal-safe calls.
        std::vector<std::string> argStrings { options.program };
        argStrings.insert(argStrings.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : argStrings)
            argv.push_back(a.data());
        argv.push_back(nullptr);

        std::vector<std::string> envStrings;
        auto overridden = [&](const std::string& entry) {
            const std::string key = entry.substr(0, entry.find('='));
            if (key == "DISPLAY" || key == "WAYLAND_DISPLAY" || key == "QT_QPA_PLATFORM")
                return true;
            for (const auto& kv : options.env)
                if (kv.first == key)
                    return true;
            return false;
        };
        for (char** e = environ; *e; ++e)
            if (!overridden(*e))
                envStrings.emplace_back(*e);
        for (const auto& kv : options.env)
            if (!kv.second.empty())
                envStrings.push_back(kv.first + "=" + kv.second);
        std::vector<char*> envp;
        for (std::string& e : envStrings)
            envp.push_back(e.data());
        envp.push_back(nullptr);

        const int outFd = ::open(m_outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        const int errFd = ::open(m_errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        const int nullFd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (outFd < 0 || errFd < 0 || nullFd < 0)
            return false;
        const bool dropToUser = options.uid != 0 && ::geteuid() == 0;
        const gid_t gid = static_cast<gid_t>(options.uid);

        m_started = std::chrono::steady_clock::now();
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::dup2(nullFd, 0);
            ::dup2(outFd, 1);
            ::dup2(errFd, 2);
            if (options.fileSizeLimit >= 0) {
                // A write past the limit fails with EFBIG instead of killing the run.
                ::signal(SIGXFSZ, SIG_IGN);
                const rlimit limit { static_cast<rlim_t>(options.fileSizeLimit),
                    static_cast<rlim_t>(options.fileSizeLimit) };
                ::setrlimit(RLIMIT_FSIZE, &limit);
            }
            if (dropToUser && (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(options.uid) != 0))
                ::_exit(126);
            ::execve(argv[0], argv.data(), envp.data());
            ::_exit(127);
        }
        ::close(outFd);
        ::close(errFd);
        ::close(nullFd);
        m_pid = pid;
        return pid > 0;
    }

    pid_t pid() const { return m_pid; }

    // True while the run has not ended; an ended run is reaped.
    bool running()
    {
        if (m_pid <= 0)
            return false;
        int status = 0;
        rusage usage {};
        const pid_t r = ::wait4(m_pid, &status, WNOHANG, &usage);
        if (r == 0)
            return true;
        reaped(status, usage);
        return false;
    }

    void kill()
    {
        if (m_pid > 0)
            ::kill(m_pid, SIGKILL);
    }

    Outcome wait()
    {
        if (m_pid > 0) {
            int status = 0;
            rusage usage {};
            while (::wait4(m_pid, &status, 0, &usage) < 0 && errno == EINTR) { }
            reaped(status, usage);
        }
        m_outcome.out = readBytes(m_outPath);
        m_outcome.err = readBytes(m_errPath);
        return m_outcome;
    }

private:
    void reaped(int status, const rusage& usage)
    {
        m_pid = -1;
        m_outcome.peakKilobytes = usage.ru_maxrss;
        m_outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_started).count();
        m_outcome.exited = WIFEXITED(status);
        m_outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        m_outcome.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    }

    pid_t m_pid = -1;
    fs::path m_outPath, m_errPath;
    std::chrono::steady_clock::time_point m_started;
    Outcome m_outcome;
};

inline Outcome run(const std::vector<std::string>& args, const fs::path& logDir, const RunOptions& options = {})
{
    Child child;
    if (!child.start(args, logDir, options)) {
        Outcome failed;
        failed.err = "could not start " + options.program;
        return failed;
    }
    return child.wait();
}

// The lines of a text, without their terminators; no empty last line.
inline std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

// ---- input files -----------------------------------------------------------

// A small deterministic generator, so that every run reads the same files.
class Sequence {
public:
    explicit Sequence(uint32_t seed)
        : m_state(seed)
    {
    }
    uint32_t next()
    {
        m_state = m_state * 1664525u + 1013904223u;
        return m_state >> 8;
    }

private:
    uint32_t m_state;
};

// An index file of `count` lines: a tree up to eight levels deep, every line
// with a description (some with apostrophes) and a document.
inline std::string indexFile(int count, const std::string& title, uint32_t seed = 7)
{
    Sequence random(seed);
    std::string text = title + "\r\n";
    int depth = 1;
    for (int i = 1; i < count; ++i) {
        const int step = static_cast<int>(random.next() % 4) - 1; // -1, 0, 0, +1 around the current depth
        depth = std::clamp(depth + (step == 2 ? 0 : step), 1, 8);
        text += std::string(static_cast<size_t>(2 * depth), ' ') + title + " topic " + std::to_string(i)
            + (i % 7 == 0 ? " (patient's guide)" : "") + "~" + "doc" + std::to_string(i) + ".pdf~\r\n";
    }
    return text;
}

// The code `n` of a generated code file: six characters, so that it fits the
// code columns of the ICD description layout.
inline std::string codeName(int n)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "C%05d", n);
    return buffer;
}

// A code file of `count` codes, three to a line.
inline std::string codeFile(int count)
{
    std::string text;
    for (int n = 0; n < count; n += 3) {
        text += "doc" + std::to_string(n / 3) + ".pdf,";
        for (int k = n; k < std::min(count, n + 3); ++k)
            text += " " + codeName(k);
        text += "\r\n";
    }
    return text;
}

// An ICD coding description file: one line for each of the `count` codes.
inline std::string descriptionFile(int count)
{
    std::string text;
    for (int n = 0; n < count; ++n)
        text += "\"" + codeName(n) + "\",\"Description of code " + std::to_string(n) + ", the patient's copy\"\r\n";
    return text;
}

// Makes the database most of these tests start from: the example adult index
// stored as the module ADULT by a batch run, the coding systems `systems`
// added with SQL as an administrator adds them, and with `icdCodes` the
// example ICD codes loaded by a batch run. Returns what went wrong, empty when
// all went well.
// `Admin` is the connection that adds the coding systems: SqliteReader for a
// file, or the tests' reader of the server (support/StoredRows.h) for a URI.
template <class Admin = SqliteReader>
std::string seedExampleDatabase(
    const std::string& db, const fs::path& workDir, const std::vector<std::string>& systems, bool icdCodes)
{
    const std::string ex = VELK_SOURCE_DIR "/examples/";
    Outcome o = run({ db, "topic", "create", "ADULT", "ADU", ex, "adult-index.txt" }, workDir);
    if (o.exitCode != 0)
        return o.describe();
    {
        std::string values;
        for (const std::string& name : systems)
            values += (values.empty() ? "('" : ", ('") + name + "')";
        Admin admin(db);
        if (!admin.exec("INSERT INTO codingsystems (CodingSystemName) VALUES " + values))
            return admin.error();
    }
    if (icdCodes) {
        o = run({ db, "code", "create", "ICD", ex, "codes-icd.txt" }, workDir);
        if (o.exitCode != 0)
            return o.describe();
    }
    return std::string();
}

// Whether the long versions of the tests were asked for.
inline bool longTests()
{
    const char* v = std::getenv("VELK_LONG_TESTS");
    return v && *v && std::string(v) != "0";
}

} // namespace rel
