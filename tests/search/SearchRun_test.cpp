#include "search/ResultLog.h"
#include "search/RunFlags.h"
#include "search/SearchRun.h"
#include "search/StatusTexts.h"
#include "tests/support/EngineDoubles.h"
#include "tests/support/TempDir.h"

#include <functional>
#include <gtest/gtest.h>

namespace {

SearchInputs Find(std::string s1)
{
    SearchInputs in;
    in.String1 = std::move(s1);
    return in;
}

class SearchRunTest : public testing::Test {
protected:
    void SetUp() override { CancelRequested = false; }
    void TearDown() override { CancelRequested = false; }

    void Run(const SearchInputs& inputs, std::string separator = ",")
    {
        SearchRun run(PrepareRequest(inputs), sink, host, std::move(separator));
        run.Walk();
        counters = run.Counters();
        failed = run.FailedFiles();
    }

    std::string Numbered(int lines, const char* end = "\r\n")
    {
        std::string s;
        for (int i = 1; i <= lines; ++i) {
            s += "line " + std::to_string(i) + end;
        }
        return s;
    }

    TempDir dir;
    MemorySink sink;
    RecordingHost host;
    RunCounters counters;
    std::int64_t failed = 0;
};

TEST_F(SearchRunTest, VerboseRunWritesNewSearchAndHeaderLines)
{
    host.Files = {dir.Write("a.txt", "x\r\nwe met at the bar\r\n"), dir.Write("b.txt", "nothing\r\n")};
    SearchInputs in = Find("foo");
    in.String2 = "bar";
    in.OperatorIndex = 1;
    in.Verbose = true;
    in.LineNumbering = true;
    Run(in);
    EXPECT_EQ(sink.Bytes, "*****  New Search  *****\r"
                          "***** File: \"" +
                              host.Files[0] +
                              "\"- Search Pattern=foo or bar *****\r2 : we met at the bar\r***** File: \"" +
                              host.Files[1] + "\"- Search Pattern=foo or bar *****\r");
    EXPECT_EQ(host.Only('c'), (std::vector<std::string>{"caption|Searching " + host.Files[0],
                                                        "caption|Searching " + host.Files[1]}));
}

TEST_F(SearchRunTest, SilentRunThatFindsNothingWritesNothing)
{
    host.Files = {dir.Write("a.txt", "abc\r\n")};
    Run(Find("zzz"));
    EXPECT_EQ(sink.Bytes, "");
    EXPECT_EQ(counters.LinesSearched, 1);
    EXPECT_EQ(counters.LinesFound, 0);
}

TEST_F(SearchRunTest, LineNumbersStartAgainInEachFile)
{
    host.Files = {dir.Write("a.txt", Numbered(20)), dir.Write("b.txt", Numbered(15))};
    SearchInputs in = Find("line 12");
    in.LineNumbering = true;
    Run(in);
    EXPECT_EQ(sink.Bytes, "12 : line 12\r12 : line 12\r");
    EXPECT_EQ(counters.LinesSearched, 35);
    EXPECT_EQ(counters.LinesFound, 2);
}

TEST_F(SearchRunTest, LinesAreWrittenAsReadWhileComparedFolded)
{
    host.Files = {dir.Write("a.txt", "Foo FOO foo\r\nno\r\n\xc9t\xe9\r\n")};
    SearchInputs in = Find("foo");
    in.WordCounting = true;
    Run(in);
    EXPECT_EQ(sink.Bytes, "Foo FOO foo\r");
    EXPECT_EQ(counters.WordsFound, 3);
}

TEST_F(SearchRunTest, OneOccurrenceStopsEachFileAndNeverCountsWords)
{
    host.Files = {dir.Write("a.txt", "a\r\nhit 1 hit\r\nhit 2\r\nb\r\n"),
                  dir.Write("b.txt", "hit 3\r\nhit 4\r\n")};
    SearchInputs in = Find("hit");
    in.OneOccurrence = true;
    in.WordCounting = true;
    in.LineNumbering = true;
    Run(in);
    EXPECT_EQ(sink.Bytes, "2 : hit 1 hit\r1 : hit 3\r");
    EXPECT_EQ(counters.LinesSearched, 3);
    EXPECT_EQ(counters.WordsFound, 0);
}

TEST_F(SearchRunTest, ReverseLogicReportsEmptyLinesAndDoesNotCountWords)
{
    host.Files = {dir.Write("a.txt", "foo\r\n\r\nbar\r\n")};
    SearchInputs in = Find("foo");
    in.ReverseLogic = true;
    in.WordCounting = true;
    in.LineNumbering = true;
    Run(in);
    EXPECT_EQ(sink.Bytes, "2 : \r3 : bar\r");
    EXPECT_EQ(counters.WordsFound, 0);
}

TEST_F(SearchRunTest, EmptyFirstStringIsFoundNowhere)
{
    host.Files = {dir.Write("a.txt", "abc\r\n\r\n")};
    Run(Find(""));
    EXPECT_EQ(sink.Bytes, "");
    EXPECT_EQ(counters.LinesSearched, 2);
}

TEST_F(SearchRunTest, LineFeedsOnlyReadAsDosIsOneEntry)
{
    host.Files = {dir.Write("a.txt", "one\ntwo\nthree\n")};
    SearchInputs in = Find("two");
    Run(in);
    EXPECT_EQ(sink.Bytes, "one\ntwo\nthree\n\r");
    EXPECT_EQ(counters.LinesSearched, 1);
    in.LineFormat = LineFormat::Unix;
    sink.Bytes.clear();
    Run(in);
    EXPECT_EQ(sink.Bytes, "two\r");
    EXPECT_EQ(counters.LinesSearched, 3);
}

TEST_F(SearchRunTest, RefreshCadenceAndExactStatusTexts)
{
    host.Files = {dir.Write("a.txt", Numbered(2500)), dir.Write("b.txt", Numbered(999))};
    SearchInputs in = Find("line 1");
    in.LineCounting = true;
    in.ProgressIndication = true;
    in.WordCounting = true;
    Run(in);
    // Numbered(2500) is 26,393 bytes (206 blocks); Numbered(999) is 9,882 bytes (77 blocks).
    const std::vector<std::string> expected{
        "caption|Searching " + host.Files[0],
        "title",
        "0|Lines Searched: 1,000",
        "2|File Position: 10 Kb", // after line 1000 the reader has looked at 9,893 bytes: 78 blocks
        "1|Lines Found: 111", // line 1000 is tested after the update
        "3|Words Found: 111",
        "title",
        "0|Lines Searched: 2,000",
        "2|File Position: 20 Kb", // 20,893 bytes: 164 blocks
        "1|Lines Found: 1,111",
        "3|Words Found: 1,111",
        "0|Lines Searched: 2,500",
        "2|File Position: 25 Kb", // the size: 206 blocks
        "1|Lines Found: 1,111",
        "3|Words Found: 1,111",
        "caption|Searching " + host.Files[1],
        "0|Lines Searched: 3,499", // fewer lines than the rate: only the end-of-file update
        "2|File Position: 10 Kb",
        "1|Lines Found: 1,222",
        "3|Words Found: 1,222",
    };
    EXPECT_EQ(host.Calls, expected);
}

TEST_F(SearchRunTest, PanelsFollowTheirOwnOptions)
{
    host.Files = {dir.Write("a.txt", Numbered(10))};
    SearchInputs in = Find("line");
    in.LineCounting = true;
    Run(in, ".");
    EXPECT_EQ(host.Only('0'), std::vector<std::string>{"0|Lines Searched: 10"});
    EXPECT_TRUE(host.Only('1').empty());
    EXPECT_TRUE(host.Only('2').empty());
    EXPECT_TRUE(host.Only('3').empty());
}

TEST_F(SearchRunTest, WordsFoundStaysZeroWhenCountingDoesNotApply)
{
    host.Files = {dir.Write("a.txt", "foo bar\r\n")};
    SearchInputs in = Find("foo");
    in.String2 = "bar";
    in.WordCounting = true;
    Run(in);
    EXPECT_EQ(host.Only('3'), std::vector<std::string>{"3|Words Found: 0"});
}

struct BlockCase {
    const char* name;
    std::size_t bytes;
    const char* text;
};

class EndOfFilePositionTest : public SearchRunTest, public testing::WithParamInterface<BlockCase> { };

TEST_P(EndOfFilePositionTest, ShowsTheSizeFigure)
{
    host.Files = {dir.Write("a.txt", std::string(GetParam().bytes, 'x'))};
    SearchInputs in = Find("y");
    in.ProgressIndication = true;
    Run(in);
    EXPECT_EQ(host.Only('2'), std::vector<std::string>{std::string("2|File Position: ") + GetParam().text});
}

INSTANTIATE_TEST_SUITE_P(Rows, EndOfFilePositionTest,
                         testing::Values(BlockCase{"empty", 0, "0 Kb"},
                                         BlockCase{"under_one_block", 127, "0 Kb"},
                                         BlockCase{"81_blocks", 10368, "10 Kb"},
                                         BlockCase{"one_million_bytes", 1000000, "964 Kb"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SearchRunTest, EmptyFileCountsNoLineButStillUpdates)
{
    host.Files = {dir.Write("a.txt", "")};
    SearchInputs in = Find("x");
    in.LineCounting = true;
    Run(in);
    EXPECT_EQ(counters.LinesSearched, 0);
    EXPECT_EQ(host.Only('0'), std::vector<std::string>{"0|Lines Searched: 0"});
}

TEST_F(SearchRunTest, UnreadableFilesAreReportedAndTheWalkGoesOn)
{
    host.Files = {"/nonexistent-folder/a.txt", dir.Path().string(), "/proc/self/mem",
                  dir.Write("b.txt", "hit\r\n")};
    Run(Find("hit"));
    EXPECT_EQ(host.Only('f'),
              (std::vector<std::string>{"failed|/nonexistent-folder/a.txt|No such file or directory",
                                        "failed|" + dir.Path().string() + "|Is a directory",
                                        "failed|/proc/self/mem|Input/output error"}));
    EXPECT_EQ(failed, 3);
    EXPECT_EQ(sink.Bytes, "hit\r");
}

TEST_F(SearchRunTest, CancelFinishesTheLineClosesWithAnUpdateAndStopsTheWalk)
{
    host.Files = {dir.Write("a.txt", Numbered(5000)), dir.Write("b.txt", Numbered(10))};
    SearchInputs in = Find("line");
    in.LineCounting = true;
    host.OnStatus = [](const std::string& text) {
        if (text == "Lines Searched: 2,000") {
            CancelRequested = true;
        }
    };
    Run(in);
    EXPECT_EQ(counters.LinesSearched, 2000);
    EXPECT_EQ(counters.LinesFound, 2000); // the line in hand was still tested and written
    EXPECT_EQ(host.Only('0'), (std::vector<std::string>{"0|Lines Searched: 1,000", "0|Lines Searched: 2,000",
                                                        "0|Lines Searched: 2,000"}));
    EXPECT_EQ(host.Only('c').size(), 1u);
}

TEST_F(SearchRunTest, WalkClearsNothingAndSetsSearchRunning)
{
    SearchRunning = false;
    Run(Find("x"));
    EXPECT_TRUE(SearchRunning.load());
    SearchRunning = false;
}

TEST_F(SearchRunTest, EntriesAddedDuringTheRunAreSearched)
{
    const std::string second = dir.Write("b.txt", "hit b\r\n");
    host.Files = {dir.Write("a.txt", "hit a\r\n")};
    host.OnStatus = [&](const std::string&) {
        if (host.Files.size() == 1) {
            host.Files.push_back(second);
        }
    };
    SearchInputs in = Find("hit");
    in.LineCounting = true;
    Run(in);
    EXPECT_EQ(sink.Bytes, "hit a\rhit b\r");
}

// The windowed scan holds reported lines a while before the log sees them; a Clear in that time
// used to be overtaken by them.
TEST_F(SearchRunTest, ClearDuringAFileRemovesTheLinesReportedBeforeIt)
{
    ResultLog log;
    log.Create((dir.Path() / "s.out").string());
    log.WriteLogLine("from an earlier run");
    host.Files = {dir.Write("a.txt", Numbered(2500, "\n")), dir.Write("b.txt", "line b\n")};
    host.OnStatus = [&](const std::string& text) {
        if (text == "Lines Searched: 1,000") {
            log.Clear();
        }
    };
    SearchInputs in = Find("line");
    in.LineCounting = true;
    in.LineFormat = LineFormat::Unix;
    SearchRun run(PrepareRequest(in), log, host, ",");
    run.Walk();
    // The update after line 1000 comes before that line is tested, so it is the first to stay.
    std::string expected;
    for (int i = 1000; i <= 2500; ++i) {
        expected += "line " + std::to_string(i) + "\r";
    }
    expected += "line b\r";
    EXPECT_EQ(log.ReadAll(), expected);
    EXPECT_EQ(run.Counters().LinesFound, 2501);
}

TEST_F(SearchRunTest, LineNumbersPast32BitsStayPositive)
{
    SearchInputs in = Find("x");
    in.LineNumbering = true;
    SearchRun run(PrepareRequest(in), sink, host, ",");
    run.WriteReported(3000000000LL, "x");
    run.Counters().LinesFound = 2147483647;
    run.WriteReported(2147483648LL, "y");
    EXPECT_EQ(sink.Bytes, "3000000000 : x\r2147483648 : y\r");
    EXPECT_EQ(run.Counters().LinesFound, 2147483648LL);
}

TEST(FileHeaderLine, OneStringSearchHasNoOperatorText)
{
    SearchInputs in;
    in.String1 = "Foo";
    EXPECT_EQ(FileHeaderLine(PrepareRequest(in), "/d/a.txt"),
              "***** File: \"/d/a.txt\"- Search Pattern=Foo *****");
}

} // namespace
