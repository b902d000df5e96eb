// Shared helpers of the data-access library's tests.
//
// Records are built byte by byte at literal offsets (not from the library's
// layout header), and every effect is checked through RawDb, the tests'
// independent reader: SQLite's, or libpq's for a library on the server.
#pragma once

#include "support/EngineDatabase.h"
#include "support/SqliteReader.h"

#include <kovadel/kovadel.h>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kovtest {

using Bytes = std::vector<unsigned char>;
using Rows = std::vector<std::vector<std::string>>;

// ---- byte forms ----------------------------------------------------------

inline void put32(Bytes& b, size_t offset, int32_t value)
{
    const uint32_t v = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i)
        b.at(offset + i) = static_cast<unsigned char>(v >> (8 * i));
}

inline int32_t get32(const Bytes& b, size_t offset)
{
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= static_cast<uint32_t>(b.at(offset + i)) << (8 * i);
    return static_cast<int32_t>(v);
}

// ANSI text, blank-padded to `width`.
inline void putText(Bytes& b, size_t offset, size_t width, std::string_view text)
{
    ASSERT_LE(text.size(), width);
    for (size_t i = 0; i < width; ++i)
        b.at(offset + i) = i < text.size() ? static_cast<unsigned char>(text[i]) : ' ';
}

inline std::string getText(const Bytes& b, size_t offset, size_t width)
{
    return std::string(b.begin() + offset, b.begin() + offset + width);
}

inline std::string padded(std::string_view text, size_t width)
{
    std::string s(text);
    s.resize(width, ' ');
    return s;
}

// UTF-16LE text of an array element.
inline std::u16string getUtf16(const unsigned char* element, size_t offset, size_t width)
{
    std::u16string s;
    for (size_t i = 0; i < width; ++i)
        s += static_cast<char16_t>(element[offset + 2 * i] | (element[offset + 2 * i + 1] << 8));
    return s;
}

inline void putUtf16(unsigned char* element, size_t offset, size_t width, std::u16string_view text)
{
    for (size_t i = 0; i < width; ++i) {
        const char16_t c = i < text.size() ? text[i] : u' ';
        element[offset + 2 * i] = static_cast<unsigned char>(c & 0xFF);
        element[offset + 2 * i + 1] = static_cast<unsigned char>(c >> 8);
    }
}

inline std::u16string padded16(std::u16string_view text, size_t width)
{
    std::u16string s(text);
    s.resize(width, u' ');
    return s;
}

// ModuleRecord, 104 bytes: ModuleID 0, ModuleName 4 (50), DirectoryPrefix 54 (50).
inline Bytes moduleRecord(int32_t id, std::string_view name, std::string_view prefix)
{
    Bytes b(104, 0);
    put32(b, 0, id);
    putText(b, 4, 50, name);
    putText(b, 54, 50, prefix);
    return b;
}

// TopicRecord, 148 bytes: TopicID 0, ModuleID 4, ParentID 8, HasChild 12,
// PatEdDocument 16 (50), Description 66 (80).
inline Bytes topicRecord(int32_t id, int32_t module, int32_t parent, int32_t hasChild, std::string_view document,
    std::string_view description)
{
    Bytes b(148, 0);
    put32(b, 0, id);
    put32(b, 4, module);
    put32(b, 8, parent);
    put32(b, 12, hasChild);
    putText(b, 16, 50, document);
    putText(b, 66, 80, description);
    return b;
}

// CodeRecord, 216 bytes: CodeID 0, Code 4 (50), CodingSystemID 56, CodeFlag 60,
// Description 64 (100), PatEdDocument 164 (50).
inline Bytes codeRecord(int32_t id, std::string_view code, int32_t system, int32_t flag, std::string_view description,
    std::string_view document)
{
    Bytes b(216, 0);
    put32(b, 0, id);
    putText(b, 4, 50, code);
    put32(b, 56, system);
    put32(b, 60, flag);
    putText(b, 64, 100, description);
    putText(b, 164, 50, document);
    return b;
}

// CodingSystemRecord, 56 bytes: CodingSystemID 0, CodingSystemName 4 (50).
inline Bytes systemRecord(int32_t id, std::string_view name)
{
    Bytes b(56, 0);
    put32(b, 0, id);
    putText(b, 4, 50, name);
    return b;
}

// CallStatus, 208 bytes: StatusText1 0 (128), StatusText2 128 (64), four
// 32-bit values from 192. Filled with 'x' so that untouched bytes show.
inline Bytes callStatus() { return Bytes(208, 'x'); }

inline std::string statusText(const Bytes& status) { return getText(status, 0, 128); }

inline std::string lastError()
{
    char buffer[1024];
    VelkLastError(buffer, sizeof buffer);
    return buffer;
}

// ---- the independent reader ----------------------------------------------

// The independent reader of either engine's database (support/SqliteReader.h,
// support/PgServer.h), with every failure reported to GoogleTest. The SQL is
// what both understand; values are bound as ?N, never pasted.
class RawDb {
public:
    explicit RawDb(const std::string& database, bool create = false)
    {
        if (enginetest::isServerDatabase(database)) {
            m_pg = std::make_unique<pgtest::PgReader>(database);
            if (!m_pg->error().empty())
                ADD_FAILURE() << "cannot connect to the test server: " << m_pg->error();
            return;
        }
        m_reader = std::make_unique<SqliteReader>(database, false, create);
        if (!m_reader->error().empty())
            ADD_FAILURE() << "cannot open " << database << ": " << m_reader->error();
        sqlite3_busy_timeout(m_reader->handle(), 2000);
    }

    // Every row as text; NULL reads "NULL".
    Rows query(const std::string& sql, const std::vector<std::string>& values = {})
    {
        bool ok = false;
        Rows rows = m_pg ? m_pg->table(sql, values, &ok) : m_reader->table(sql, values, &ok);
        if (!ok)
            ADD_FAILURE() << sql << ": " << (m_pg ? m_pg->error() : m_reader->error());
        return rows;
    }

    std::string scalar(const std::string& sql, const std::vector<std::string>& values = {})
    {
        const Rows rows = query(sql, values);
        return rows.empty() || rows[0].empty() ? "<none>" : rows[0][0];
    }

    // SQLITE_OK (0) when the statements ran, on either engine.
    int exec(const std::string& sql)
    {
        if (m_pg)
            return m_pg->exec(sql) ? SQLITE_OK : SQLITE_ERROR;
        return sqlite3_exec(m_reader->handle(), sql.c_str(), nullptr, nullptr, nullptr);
    }

private:
    std::unique_ptr<SqliteReader> m_reader;
    std::unique_ptr<pgtest::PgReader> m_pg;
};

// ---- fixtures --------------------------------------------------------------

// A temporary folder per test.
class TempFolderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "kovadel_test.XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_folder = pattern;
    }
    void TearDown() override
    {
        EndVelk();
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }
    std::string file(const std::string& name) const { return (m_folder / name).string(); }

    std::filesystem::path m_folder;
};

// A new database, opened through the library, per test: an SQLite file, or
// a database of the test server when the test runs on that engine (see
// OnEveryEngine in support/EngineDatabase.h).
class DatabaseTest : public TempFolderTest {
protected:
    virtual enginetest::EngineKind engineKind() const { return enginetest::EngineKind::sqlite; }
    bool onServer() const { return engineKind() == enginetest::EngineKind::postgres; }

    void SetUp() override
    {
        TempFolderTest::SetUp();
        ENGINE_DATABASE_OR_SKIP(engineKind(), file("velk.db"), m_path);
        ASSERT_NE(StartVelk(m_path.c_str(), "ADMIN", ""), 0) << lastError();
        m_raw = std::make_unique<RawDb>(m_path);
    }
    void TearDown() override
    {
        m_raw.reset();
        TempFolderTest::TearDown();
    }
    RawDb& raw() { return *m_raw; }

    std::string m_path;
    std::unique_ptr<RawDb> m_raw;
};

// A call that must succeed: non-zero result and a blank StatusText1.
#define EXPECT_OK(call, status)                                                                                        \
    do {                                                                                                               \
        EXPECT_NE((call), 0) << #call << ": " << kovtest::lastError();                                                 \
        EXPECT_EQ(kovtest::statusText(status), std::string(128, ' '));                                                 \
    } while (0)

} // namespace kovtest
