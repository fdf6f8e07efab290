// The walk with scan threads against the walk on one thread, over random trees of files and random
// options: the same log bytes, host calls (status texts, captions, titles, failures), counters and
// failed files, also with a scan-ahead limit so small that the scan threads wait for the writer.
// A cancel leaves a log that is a run of whole entries from the start of the one-thread log.
// Files split into chunks (down to one byte, forced by the test hook) are held to the same: random
// lines ended by CR, LF, CR LF or mixed, a byte 26 now and then, lines longer than a chunk.

#include "search/RunFlags.h"
#include "search/SearchRun.h"
#include "tests/support/EngineDoubles.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace {

struct Outcome {
    std::string log;
    std::vector<std::string> calls;
    RunCounters counters;
    std::int64_t failed = 0;
};

Outcome Walk(const SearchRequest& request, const std::vector<std::string>& files, int threads,
             std::size_t aheadLimit, int cancelAtCall = -1, std::int64_t chunkBytes = 0,
             bool showsTitle = true)
{
    MemorySink sink;
    RecordingHost host;
    host.Files = files;
    host.TitleShown = showsTitle;
    host.CancelAtCall = cancelAtCall;
    // Where each file's output begins: under Skip Binary Files, only once its scan has looked at it.
    host.OnFileEntries = [&host](std::int64_t index, const std::string& fileName) {
        host.Calls.push_back("begin|" + std::to_string(index) + "|" + fileName);
    };
    SearchRun run(request, sink, host, ",");
    run.SetThreads(threads);
    run.SetScanAheadLimit(aheadLimit);
    if (chunkBytes > 0) {
        run.SetFileSplit(1, chunkBytes);
    }
    CancelRequested = false;
    run.Walk();
    SearchRunning = false;
    CancelRequested = false;
    return {sink.Bytes, host.Calls, run.Counters(), run.FailedFiles()};
}

SearchRequest RandomRequest(std::mt19937& rng)
{
    static const char* const patterns[] = {"a", "ab", "B", "ba", "a b", "AB", "b\n", ""};
    SearchInputs in;
    in.String1 = patterns[rng() % 7];
    in.String2 = rng() % 2 ? patterns[rng() % std::size(patterns)] : "";
    in.OperatorIndex = static_cast<int>(rng() % 4);
    in.LineFormat = rng() % 2 ? LineFormat::Unix : LineFormat::Dos;
    in.CaseSensitive = rng() % 2;
    in.ReverseLogic = rng() % 3 == 0;
    in.OneOccurrence = rng() % 5 == 0;
    in.Verbose = rng() % 2;
    in.LineCounting = in.WordCounting = in.ProgressIndication = true;
    in.LineNumbering = rng() % 2;
    in.SkipBinary = rng() % 3 == 0;
    SearchRequest request = PrepareRequest(in);
    request.RefreshRate = 1 + static_cast<std::int32_t>(rng() % 40);
    return request;
}

std::string RandomText(std::mt19937& rng)
{
    static const std::string alphabet = "aAbB \n\n\r\n";
    std::string s(rng() % 600, ' ');
    for (char& c : s) {
        c = alphabet[rng() % alphabet.size()];
    }
    if (!s.empty() && rng() % 6 == 0) {
        s[rng() % s.size()] = '\0'; // binary
    }
    if (rng() % 80 == 0) {
        // Now and then a file larger than the read buffer (so mapped), of long lines.
        std::string line(2000, 'x');
        while (s.size() < (1u << 20) + 5000) {
            line[rng() % line.size()] = alphabet[rng() % 4];
            s += line;
            s += '\n';
        }
    }
    return s;
}

std::vector<std::string> RandomTree(std::mt19937& rng, const TempDir& dir, int round)
{
    std::vector<std::string> files;
    for (int i = 0, n = 2 + static_cast<int>(rng() % 14); i < n; ++i) {
        const std::string name =
            "t" + std::to_string(round % 5) + "/d" + std::to_string(i % 3) + "/f" + std::to_string(i);
        if (rng() % 25 == 0) {
            files.push_back((dir.Path() / "missing" / name).string()); // cannot be opened
        } else {
            files.push_back(dir.Write(name, RandomText(rng)));
        }
    }
    return files;
}

/// Lines of random length and random ends: the file keeps to one kind of line end or mixes them.
std::string RandomLines(std::mt19937& rng, std::size_t longLine)
{
    static const char* const ends[] = {"\n", "\r\n", "\r", "\n\r"};
    static const std::string alphabet = "aAbB  \n";
    const int style = static_cast<int>(rng() % 6); // 0..3: one kind only; 4, 5: mixed
    std::string s;
    for (int i = 0, n = static_cast<int>(rng() % 120); i < n; ++i) {
        const std::size_t length = rng() % 25 == 0 ? longLine + rng() % (longLine + 1) : rng() % 20;
        for (std::size_t k = 0; k < length; ++k) {
            s += alphabet[rng() % (style == 0 || style == 4 ? alphabet.size() - 1 : alphabet.size())];
        }
        if (rng() % 400 == 0) {
            s += '\x1a';
        }
        if (i + 1 < n || rng() % 2) {
            s += ends[style < 4 ? style : rng() % std::size(ends)];
        }
    }
    return s;
}

void ExpectSame(const Outcome& expected, const Outcome& got, const std::string& what)
{
    EXPECT_TRUE(got.log == expected.log) << what;
    EXPECT_TRUE(got.calls == expected.calls) << what;
    EXPECT_EQ(got.counters.LinesSearched, expected.counters.LinesSearched) << what;
    EXPECT_EQ(got.counters.LinesFound, expected.counters.LinesFound) << what;
    EXPECT_EQ(got.counters.WordsFound, expected.counters.WordsFound) << what;
    EXPECT_EQ(got.failed, expected.failed) << what;
}

TEST(ParallelWalk, WritesExactlyWhatOneThreadWritesOverRandomTrees)
{
    std::mt19937 rng(1812);
    TempDir dir;
    for (int round = 0; round < 1000; ++round) {
        const SearchRequest request = RandomRequest(rng);
        const std::vector<std::string> files = RandomTree(rng, dir, round);
        const int threads = 2 + static_cast<int>(rng() % 3);
        const std::size_t limit = rng() % 2 ? std::size_t{64} << 20 : 1 + rng() % 200;
        const std::string what = "round " + std::to_string(round) + ", " + std::to_string(threads) +
                                 " threads, scan-ahead limit " + std::to_string(limit);
        ExpectSame(Walk(request, files, 1, limit), Walk(request, files, threads, limit), what);
        if (HasFailure()) {
            break;
        }
    }
}

std::int64_t RandomChunkBytes(std::mt19937& rng)
{
    static const std::int64_t sizes[] = {1, 2, 3, 7, 16, 64, 333, 4096};
    return sizes[rng() % std::size(sizes)];
}

std::vector<std::string> RandomSplitList(std::mt19937& rng, const TempDir& dir, int round, std::int64_t chunk)
{
    std::vector<std::string> files;
    for (int i = 0, n = 1 + static_cast<int>(rng() % 3); i < n; ++i) {
        const std::string name = "s" + std::to_string(round % 7) + "-" + std::to_string(i);
        if (rng() % 30 == 0) {
            files.push_back((dir.Path() / "missing" / name).string());
        } else if (rng() % 8 == 0) {
            files.push_back(dir.Write(name, "ab\n" + std::string(30000, 'a') + "c\nab\n"));
        } else {
            files.push_back(dir.Write(name, RandomLines(rng, static_cast<std::size_t>(chunk) * 2 + 1)));
        }
    }
    return files;
}

/// A third of the time, a run whose periodic updates show nothing (a console without its progress
/// line): its split files are not counted first, and the writer numbers their lines.
/// A quarter of the time, regular expressions (the last one too complex for a long run of "a").
SearchRequest RandomSplitRequest(std::mt19937& rng, bool& showsTitle)
{
    SearchRequest request = RandomRequest(rng);
    if (rng() % 4 == 0) {
        static const char* const patterns[] = {"a+b", "^a", "b$", "(a|B) ", "a.b", "[ab]{2}", "(a+)+$"};
        request.Regex = true;
        request.Pattern1 = request.Pattern1Text = patterns[rng() % std::size(patterns)];
        if (request.Operator != SearchOperator::None) {
            request.Pattern2 = patterns[rng() % (std::size(patterns) - 1)];
        }
    }
    showsTitle = rng() % 3 != 0;
    if (!showsTitle) {
        request.LineCounting = request.ProgressIndication = request.WordCounting = false;
    }
    return request;
}

TEST(ParallelWalk, SplitFilesWriteExactlyWhatOneThreadWrites)
{
    std::mt19937 rng(3011);
    TempDir dir;
    for (int round = 0; round < 1000; ++round) {
        bool showsTitle = true;
        const SearchRequest request = RandomSplitRequest(rng, showsTitle);
        const std::int64_t chunk = RandomChunkBytes(rng);
        const std::vector<std::string> files = RandomSplitList(rng, dir, round, chunk);
        const int threads = 2 + static_cast<int>(rng() % 3);
        const std::size_t limit = rng() % 2 ? std::size_t{64} << 20 : 1 + rng() % 200;
        const std::string what = "round " + std::to_string(round) + ", " + std::to_string(threads) +
                                 " threads, chunks of " + std::to_string(chunk) + ", limit " +
                                 std::to_string(limit) + (showsTitle ? "" : ", counted by the writer");
        ExpectSame(Walk(request, files, 1, limit, -1, 0, showsTitle),
                   Walk(request, files, threads, limit, -1, chunk, showsTitle), what);
        if (HasFailure()) {
            break;
        }
    }
}

// Larger than the read buffer, so the one-thread run maps them too, in chunks a window holds many times.
TEST(ParallelWalk, LargeSplitFilesWriteExactlyWhatOneThreadWrites)
{
    std::mt19937 rng(4242);
    TempDir dir;
    for (int round = 0; round < 6; ++round) {
        bool showsTitle = true;
        SearchRequest request = RandomSplitRequest(rng, showsTitle);
        request.RefreshRate = 1000;
        std::string text;
        while (text.size() < (3u << 20)) {
            text += RandomLines(rng, 5000);
        }
        const std::vector<std::string> files{dir.Write("large" + std::to_string(round), text)};
        const std::int64_t chunk = 1 + static_cast<std::int64_t>(rng() % (512 * 1024));
        const std::string what = "round " + std::to_string(round) + ", chunks of " + std::to_string(chunk);
        ExpectSame(Walk(request, files, 1, 1 << 20, -1, 0, showsTitle),
                   Walk(request, files, 2, 1 << 20, -1, chunk, showsTitle), what);
    }
}

TEST(ParallelWalk, CancelStopsTheWritingOfASplitFileAtAnEntryBoundary)
{
    std::mt19937 rng(515);
    TempDir dir;
    for (int round = 0; round < 300; ++round) {
        bool showsTitle = true;
        const SearchRequest request = RandomSplitRequest(rng, showsTitle);
        const std::int64_t chunk = RandomChunkBytes(rng);
        const std::vector<std::string> files = RandomSplitList(rng, dir, round, chunk);
        const Outcome whole = Walk(request, files, 1, std::size_t{64} << 20, -1, 0, showsTitle);
        const int cancelAt = 1 + static_cast<int>(rng() % (whole.calls.size() + 1));
        const Outcome cut = Walk(request, files, 2 + static_cast<int>(rng() % 2), 1 + rng() % 300, cancelAt,
                                 chunk, showsTitle);
        const std::string what =
            "round " + std::to_string(round) + ", cancel at call " + std::to_string(cancelAt);
        ASSERT_LE(cut.log.size(), whole.log.size()) << what;
        EXPECT_TRUE(whole.log.compare(0, cut.log.size(), cut.log) == 0) << what;
        EXPECT_TRUE(cut.log.empty() || cut.log.back() == '\r') << what;
        EXPECT_LE(cut.counters.LinesFound, whole.counters.LinesFound) << what;
        if (HasFailure()) {
            break;
        }
    }
}

TEST(ParallelWalk, RegularExpressionsWriteExactlyWhatOneThreadWrites)
{
    // Each scan thread compiles the patterns for itself; a line too complex for them fails its file in
    // list order like an unreadable one.
    std::mt19937 rng(1813);
    TempDir dir;
    const std::string runaway = dir.Write("runaway", "ab\n" + std::string(30000, 'a') + "c\nab\n");
    for (int round = 0; round < 200; ++round) {
        static const char* const patterns[] = {"a+b", "^a", "b$", "(a|B) ", "a.b", "x*", "[ab]{2}", "(a+)+$"};
        SearchRequest request = RandomRequest(rng);
        request.Regex = true;
        request.Pattern1 = request.Pattern1Text = patterns[rng() % std::size(patterns)];
        if (request.Operator != SearchOperator::None) {
            request.Pattern2 = patterns[rng() % (std::size(patterns) - 1)];
        }
        std::vector<std::string> files = RandomTree(rng, dir, round);
        files.insert(files.begin() + static_cast<std::ptrdiff_t>(rng() % files.size()), runaway);
        const int threads = 2 + static_cast<int>(rng() % 3);
        const std::string what = "round " + std::to_string(round) + " '" + request.Pattern1 + "', " +
                                 std::to_string(threads) + " threads";
        ExpectSame(Walk(request, files, 1, std::size_t{64} << 20),
                   Walk(request, files, threads, 1 + rng() % 200), what);
        if (HasFailure()) {
            break;
        }
    }
}

TEST(ParallelWalk, CancelStopsTheWritingAtAnEntryBoundary)
{
    std::mt19937 rng(77);
    TempDir dir;
    for (int round = 0; round < 300; ++round) {
        const SearchRequest request = RandomRequest(rng);
        const std::vector<std::string> files = RandomTree(rng, dir, round);
        const Outcome whole = Walk(request, files, 1, std::size_t{64} << 20);
        const int cancelAt = 1 + static_cast<int>(rng() % (whole.calls.size() + 1));
        const Outcome cut = Walk(request, files, 3, 1 + rng() % 300, cancelAt);
        const std::string what =
            "round " + std::to_string(round) + ", cancel at call " + std::to_string(cancelAt);
        ASSERT_LE(cut.log.size(), whole.log.size()) << what;
        EXPECT_TRUE(whole.log.compare(0, cut.log.size(), cut.log) == 0) << what;
        EXPECT_TRUE(cut.log.empty() || cut.log.back() == '\r') << what;
        EXPECT_LE(cut.counters.LinesFound, whole.counters.LinesFound) << what;
        if (HasFailure()) {
            break;
        }
    }
}

} // namespace
