#include "search/LineReader.h"
#include "search/SearchRequest.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

namespace {

using Lines = std::vector<std::string>;

Lines ReadAll(const std::string& path, LineFormat format)
{
    LineReader reader;
    std::string reason;
    EXPECT_TRUE(reader.Open(path, reason)) << reason;
    Lines lines;
    std::string line;
    while (!reader.AtEnd()) {
        if (format == LineFormat::Dos) {
            reader.ReadDosLine(line);
        } else {
            reader.ReadUnixLine(line);
        }
        lines.push_back(line);
    }
    EXPECT_FALSE(reader.Failed());
    return lines;
}

struct ReadCase {
    const char* name;
    std::string bytes;
    Lines dos;
    Lines unix;
};

class LineReaderTest : public testing::TestWithParam<ReadCase> { };

TEST_P(LineReaderTest, EveryFormatGivesItsLines)
{
    TempDir dir;
    const std::string path = dir.Write("f.txt", GetParam().bytes);
    EXPECT_EQ(ReadAll(path, LineFormat::Dos), GetParam().dos) << "Dos";
    EXPECT_EQ(ReadAll(path, LineFormat::Unix), GetParam().unix) << "Unix";
}

using namespace std::string_literals;

INSTANTIATE_TEST_SUITE_P(
    Rows, LineReaderTest,
    testing::Values(ReadCase{"empty_file", "", {}, {}},
                    ReadCase{"last_line_without_end", "abc", {"abc"}, {"abc"}},
                    ReadCase{"crlf_lines", "a\r\nb\r\n", {"a", "b"}, {"a", "b"}},
                    ReadCase{"crlf_then_empty_line", "a\r\n\r\n", {"a", ""}, {"a", ""}},
                    ReadCase{"lf_only", "a\nb\nc\n", {"a\nb\nc\n"}, {"a", "b", "c"}},
                    ReadCase{"cr_only", "a\rb\r\rc", {"a", "b", "", "c"}, {"a", "b", "", "c"}},
                    ReadCase{"lf_then_cr_is_two_ends", "a\n\rb", {"a\n", "b"}, {"a", "", "b"}},
                    ReadCase{"byte_26_mid_line",
                             "abc\x1a"
                             "def\r\nghi",
                             {"abc"},
                             {"abc"}},
                    ReadCase{"byte_26_first",
                             "\x1a"
                             "abc",
                             {},
                             {}},
                    ReadCase{"byte_26_after_line_end", "abc\r\n\x1a\r\n", {"abc"}, {"abc"}},
                    ReadCase{"cr_before_byte_26", "abc\r\x1a", {"abc"}, {"abc"}},
                    ReadCase{"nul_and_high_bytes", "a\0b\xff\r\n"s, {"a\0b\xff"s}, {"a\0b\xff"s}},
                    ReadCase{"single_line_end", "\r\n", {""}, {""}},
                    ReadCase{"single_lf", "\n", {"\n"}, {""}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LineReader, CrLfAcrossAChunkBoundaryIsOneLineEnd)
{
    TempDir dir;
    // The reader fetches 256 KiB at a time; put the CR as the last byte of the first chunk.
    std::string bytes(256 * 1024 - 1, 'x');
    bytes += "\r\nyz";
    const std::string path = dir.Write("f.txt", bytes);
    const Lines lines = ReadAll(path, LineFormat::Unix);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].size(), 256u * 1024 - 1);
    EXPECT_EQ(lines[1], "yz");
}

TEST(LineReader, PositionCountsWhole128ByteBlocksFetched)
{
    TempDir dir;
    std::string bytes(100, 'a');
    bytes += '\r';
    bytes += std::string(199, 'b'); // 300 bytes
    bytes += '\r';
    bytes += std::string(1000, 'c');
    const std::string path = dir.Write("f.txt", bytes);
    LineReader reader;
    std::string reason;
    ASSERT_TRUE(reader.Open(path, reason));
    EXPECT_EQ(reader.SizeBlocks(), 1301 / 128);
    std::string line;
    ASSERT_FALSE(reader.AtEnd());
    reader.ReadDosLine(line); // looked at bytes 0..101 (the byte after CR): one block fetched
    EXPECT_EQ(reader.PositionBlocks(), 1);
    reader.ReadDosLine(line); // up to byte 301: three blocks
    EXPECT_EQ(reader.PositionBlocks(), 3);
    reader.ReadDosLine(line);
    EXPECT_EQ(reader.PositionBlocks(), 1301 / 128); // the partial last block is not a whole one
    EXPECT_TRUE(reader.AtEnd());
}

TEST(LineReader, MissingFileGivesTheSystemReason)
{
    LineReader reader;
    std::string reason;
    EXPECT_FALSE(reader.Open("/nonexistent-folder/x.txt", reason));
    EXPECT_EQ(reason, "No such file or directory");
}

TEST(LineReader, FolderFailsOnReading)
{
    TempDir dir;
    LineReader reader;
    std::string reason;
    ASSERT_TRUE(reader.Open(dir.Path().string(), reason));
    EXPECT_TRUE(reader.AtEnd());
    EXPECT_TRUE(reader.Failed());
    EXPECT_EQ(reader.FailReason(), "Is a directory");
}

} // namespace
