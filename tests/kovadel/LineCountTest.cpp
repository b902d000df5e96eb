// FileLineCount: lines end at CR, CR LF or LF.
#include "KovadelTestSupport.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sys/stat.h>

using namespace kovtest;

namespace {

struct Lines {
    const char* name;
    std::string content;
    int32_t expected;
};

void PrintTo(const Lines& lines, std::ostream* os) { *os << lines.name; }

class LineCountTest : public TempFolderTest, public ::testing::WithParamInterface<Lines> { };

TEST_P(LineCountTest, CountsLikeTheReaders)
{
    const std::string path = file("index.txt");
    std::ofstream(path, std::ios::binary) << GetParam().content;
    EXPECT_EQ(FileLineCount(path.c_str()), GetParam().expected);
}

const std::string kBlock(1 << 20, 'x'); // the library reads in blocks of this size

INSTANTIATE_TEST_SUITE_P(Files, LineCountTest,
    ::testing::Values(Lines { "empty", "", 0 }, Lines { "one_without_end", "abc", 1 }, Lines { "cr", "a\rb\r", 2 },
        Lines { "crlf", "a\r\nb\r\n", 2 }, Lines { "lf", "a\nb\n", 2 }, Lines { "no_final_end", "a\r\nb", 2 },
        Lines { "mixed", "a\rb\nc\r\nd", 4 }, Lines { "blank_lines", "\r\n\r\n\n\r", 4 },
        Lines { "lf_then_cr", "\n\r", 2 }, Lines { "only_cr", "\r", 1 },
        Lines { "crlf_across_blocks", kBlock.substr(1) + "\r\nz", 2 },
        Lines { "cr_ends_block", kBlock.substr(1) + "\rz", 2 }, Lines { "two_blocks", kBlock + "\n" + kBlock, 2 }),
    [](const auto& info) { return std::string(info.param.name); });

class LineCountFailureTest : public TempFolderTest { };

TEST_F(LineCountFailureTest, UnreadableFilesGiveMinusOne)
{
    EXPECT_EQ(FileLineCount(file("missing.txt").c_str()), -1);
    EXPECT_NE(lastError().find("missing.txt"), std::string::npos) << lastError();
    EXPECT_EQ(FileLineCount(m_folder.c_str()), -1);
    EXPECT_EQ(FileLineCount(nullptr), -1);
}

TEST_F(LineCountFailureTest, DevicesAndPipesAreNotRead)
{
    // /dev/zero never ends; a pipe without a writer would block the open.
    const std::string fifo = file("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0) << std::strerror(errno);
    for (const std::string& path : { std::string("/dev/zero"), fifo }) {
        EXPECT_EQ(FileLineCount(path.c_str()), -1) << path;
        EXPECT_NE(lastError().find("not a regular file"), std::string::npos) << lastError();
        EXPECT_NE(lastError().find(path), std::string::npos) << lastError();
    }
}

TEST_F(LineCountFailureTest, ThePathIsTheFileSystemsBytes)
{
    // UTF-8, and bytes that are not UTF-8: each names its own file.
    std::ofstream(file("M\xC3\xA9ni\xC3\xA8re.txt"), std::ios::binary) << "a\r\nb\r\nc";
    std::ofstream(file("M\xE9ni\xE8re.txt"), std::ios::binary) << "a\r\nb";
    EXPECT_EQ(FileLineCount(file("M\xC3\xA9ni\xC3\xA8re.txt").c_str()), 3);
    EXPECT_EQ(lastError(), "");
    EXPECT_EQ(FileLineCount(file("M\xE9ni\xE8re.txt").c_str()), 2);
    EXPECT_EQ(lastError(), "");
}

} // namespace
