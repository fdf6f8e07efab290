#include "search/LineIndex.h"
#include "search/LineReader.h"
#include "search/LiteralFinder.h"
#include "search/TextSource.h"
#include "tests/support/TempDir.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <random>
#include <unistd.h>

namespace {

using Lines = std::vector<std::string>;

// The search's own reader is the reference: the index must give the same lines, numbered alike.
Lines ReferenceLines(const std::string& path, LineFormat format)
{
    LineReader reader;
    std::string reason;
    EXPECT_TRUE(reader.Open(path, reason)) << reason;
    Lines lines;
    std::string line;
    while (!reader.AtEnd()) {
        format == LineFormat::Dos ? reader.ReadDosLine(line) : reader.ReadUnixLine(line);
        lines.push_back(line);
    }
    return lines;
}

std::unique_ptr<TextSource> Open(const std::string& path)
{
    std::string reason;
    auto source = OpenTextSource(path, reason);
    EXPECT_NE(source, nullptr) << reason;
    return source;
}

std::string RandomText(std::mt19937& random, std::size_t size, bool with26)
{
    // Line ends dense enough that CR LF pairs fall on block edges often.
    static const char alphabet[] = {'a', 'b', '\n', '\r', 'c', '\r', '\n', 'd'};
    std::string text;
    for (std::size_t i = 0; i < size; ++i) {
        text += alphabet[random() % sizeof alphabet];
    }
    if (with26 && size > 0) {
        text[random() % size] = 26;
    }
    return text;
}

// Walks the whole text with StartOf, ReadLine and LineAt and compares every step with the reference.
void CheckAgainstReference(const std::string& path, LineFormat format, std::size_t block, const char* what)
{
    const Lines expected = ReferenceLines(path, format);
    auto source = Open(path);
    LineIndex index(*source, format, block);
    // Lines are asked for out of order first, so that counting on demand is exercised as well.
    if (!expected.empty()) {
        const auto middle = std::int64_t(expected.size() / 2) + 1;
        ASSERT_GE(index.StartOf(middle), 0) << what;
    }
    EXPECT_EQ(index.StartOf(std::int64_t(expected.size()) + 1), -1) << what;
    IndexedLine line;
    std::int64_t start = expected.empty() ? -1 : 0;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const auto number = std::int64_t(i) + 1;
        ASSERT_EQ(index.StartOf(number), start) << what << ", line " << number;
        ASSERT_TRUE(index.ReadLine(start, 4 << 20, line)) << what << ", line " << number;
        ASSERT_EQ(line.Bytes, expected[i]) << what << ", line " << number;
        EXPECT_FALSE(line.Cut);
        EXPECT_EQ(line.ContentEnd, start + std::int64_t(expected[i].size())) << what << ", line " << number;
        const std::int64_t end = line.Next < 0 ? line.ContentEnd : line.Next;
        // Every offset of a short line; a few of a long one.
        const std::int64_t step = std::max<std::int64_t>(1, (end - start) / 64);
        for (std::int64_t at = start; at < end;
             at += at + step < end ? step : std::max<std::int64_t>(1, end - 1 - at)) {
            ASSERT_EQ(index.LineAt(at), number) << what << ", offset " << at;
        }
        start = line.Next;
    }
    EXPECT_EQ(start, -1) << what << ": the last line has no next one";
    EXPECT_EQ(index.LineCount(), std::int64_t(expected.size())) << what;
}

TEST(LineIndex, RandomTextsGiveTheReadersLinesInBothFormats)
{
    TempDir dir;
    std::mt19937 random(29);
    for (int round = 0; round < 60; ++round) {
        const std::string text = RandomText(random, random() % 400, round % 5 == 4);
        const std::string path = dir.Write("r.txt", text);
        for (const LineFormat format : {LineFormat::Dos, LineFormat::Unix}) {
            for (const std::size_t block : {16, 17, 64, 4096}) {
                const std::string what = "round " + std::to_string(round) +
                                         (format == LineFormat::Dos ? " DOS" : " Unix") + " block " +
                                         std::to_string(block);
                CheckAgainstReference(path, format, block, what.c_str());
            }
        }
    }
}

TEST(LineIndex, EdgesOfTheText)
{
    TempDir dir;
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"empty", ""},
        {"only_26", "\x1a tail\n"},
        {"no_end_at_last_line", "one\ntwo"},
        {"crlf_at_the_end", "one\r\n"},
        {"cr_only_lines", "one\rtwo\r\rfour\r"},
        {"lone_lf_is_text_in_dos", "a\nb\r\nc"},
        {"lf_then_cr", "a\n\rb"},
    };
    for (const auto& c : cases) {
        const std::string path = dir.Write("e.txt", c.bytes);
        for (const LineFormat format : {LineFormat::Dos, LineFormat::Unix}) {
            CheckAgainstReference(path, format, 16, c.name);
        }
    }
}

TEST(LineIndex, LongLineIsCutButItsEndIsFound)
{
    TempDir dir;
    const std::string longLine(100000, 'x');
    const std::string path = dir.Write("l.txt", "short\r\n" + longLine + "\r\nafter\r\n");
    auto source = Open(path);
    LineIndex index(*source, LineFormat::Dos, 1024);
    IndexedLine line;
    ASSERT_TRUE(index.ReadLine(index.StartOf(2), 100, line));
    EXPECT_TRUE(line.Cut);
    EXPECT_EQ(line.Bytes, std::string(100, 'x'));
    EXPECT_EQ(line.ContentEnd, 7 + 100000);
    EXPECT_EQ(line.Next, 7 + 100000 + 2);
    std::string copied;
    index.CopyBytes(line.Start, line.ContentEnd, [&](std::string_view piece) { copied += piece; });
    EXPECT_EQ(copied, longLine);
    ASSERT_TRUE(index.ReadLine(line.Next, 100, line));
    EXPECT_EQ(line.Bytes, "after");
    EXPECT_EQ(index.LineAt(50000), 2);
}

TEST(LineIndex, FindGoesBothWaysAndStopsAtByte26)
{
    TempDir dir;
    std::string text(3 << 20, '.');
    text.replace(10, 5, "Needl");
    text.replace(1048570, 6, "needle"); // across the first step's edge
    text.replace(2500000, 6, "NEEDLE");
    text.replace(3000000, 1, "\x1a");
    text.replace(3000010, 6, "needle");
    const std::string path = dir.Write("f.txt", text);
    auto source = Open(path);
    LineIndex index(*source, LineFormat::Unix);
    const LiteralFinder folded(FoldAscii("needle"), true);
    const LiteralFinder exact("NEEDLE", false);
    EXPECT_EQ(index.Find(folded, 0, INT64_MAX, true), 1048570);
    EXPECT_EQ(index.Find(folded, 1048571, INT64_MAX, true), 2500000);
    EXPECT_EQ(index.Find(folded, 2500001, INT64_MAX, true), -1) << "past byte 26 is no text";
    EXPECT_EQ(index.Find(folded, 0, INT64_MAX, false), 2500000);
    EXPECT_EQ(index.Find(folded, 0, 2500005, false), 1048570) << "a match must lie wholly in the range";
    EXPECT_EQ(index.Find(exact, 0, 2500000, false), -1);
    EXPECT_EQ(index.Find(exact, 0, INT64_MAX, true), 2500000);
}

TEST(LineIndex, ShortenedTextGivesWhatIsLeft)
{
    TempDir dir;
    std::string text;
    for (int i = 1; i <= 5000; ++i) {
        text += "line " + std::to_string(i) + "\n";
    }
    const std::string path = dir.Write("s.txt", text);
    auto source = Open(path);
    LineIndex index(*source, LineFormat::Unix, 256);
    ASSERT_GE(index.StartOf(4000), 0);
    std::filesystem::resize_file(path, 100);
    IndexedLine line;
    EXPECT_FALSE(index.ReadLine(index.StartOf(4000), 100, line)) << "nothing is there any more";
    ASSERT_TRUE(index.ReadLine(0, 100, line));
    EXPECT_EQ(line.Bytes, "line 1");
}

TEST(LineIndex, HolesOfASparseFileAreCountedWithoutBeingRead)
{
    TempDir dir;
    const std::string path = dir.Write("sparse.txt", "");
    {
        const int fd = ::open(path.c_str(), O_WRONLY);
        ASSERT_GE(fd, 0);
        const auto put = [fd](std::int64_t at, std::string_view bytes) {
            ASSERT_EQ(::pwrite(fd, bytes.data(), bytes.size(), at), ssize_t(bytes.size()));
        };
        put(0, "first\nsecond\r");
        put(300000, "\nthird\r\nneedle\r");
        put(1000000, "\n\rlast");
        put(1400000, "x"); // a hole up to the last byte
        ::close(fd);
    }
    for (const LineFormat format : {LineFormat::Dos, LineFormat::Unix}) {
        CheckAgainstReference(path, format, LineIndex::DefaultBlock,
                              format == LineFormat::Dos ? "DOS" : "Unix");
    }
    auto source = Open(path);
    LineIndex index(*source, LineFormat::Unix);
    const LiteralFinder needle("NEEDLE", true);
    EXPECT_EQ(index.Find(needle, 20, INT64_MAX, true), 300000 + 8);
}

TEST(TextSource, RefusesWhatIsNoRegularFile)
{
    TempDir dir;
    std::string reason;
    EXPECT_EQ(OpenTextSource(dir.Path().string(), reason), nullptr);
    EXPECT_EQ(reason, "Not a regular file");
    EXPECT_EQ(OpenTextSource((dir.Path() / "missing" / "x").string(), reason), nullptr);
    EXPECT_FALSE(reason.empty());
}

} // namespace
