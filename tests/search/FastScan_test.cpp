// The windowed scan against the line-by-line scan: same entries, counters and host calls
// (status texts with their position figures, title updates, failures), on random files whose
// lines cross window edges, and on named cases.

#include "search/ResultLog.h"
#include "search/RunFlags.h"
#include "search/SearchRun.h"
#include "tests/support/EngineDoubles.h"
#include "tests/support/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace {

struct Outcome {
    std::string log;
    std::vector<std::string> calls;
    RunCounters counters;
    std::vector<bool> results;
};

Outcome Scan(const SearchRequest& request, const std::vector<std::string>& files, bool reference,
             const FastScanOptions& options, int cancelAtStatus = -1)
{
    CancelRequested = false;
    MemorySink sink;
    RecordingHost host;
    host.CancelAtStatus = cancelAtStatus;
    SearchRun run(request, sink, host, ",");
    Outcome out;
    for (const auto& f : files) {
        if (CancelRequested) {
            break;
        }
        out.results.push_back(reference ? run.ScanFileByLines(f) : run.ScanFileFast(f, options));
    }
    CancelRequested = false;
    out.log = sink.Bytes;
    out.calls = host.Calls;
    out.counters = run.Counters();
    return out;
}

void ExpectSame(const Outcome& expected, const Outcome& got, const std::string& what)
{
    EXPECT_EQ(got.log, expected.log) << what;
    if (got.calls != expected.calls) {
        std::size_t i = 0;
        while (i < got.calls.size() && i < expected.calls.size() && got.calls[i] == expected.calls[i]) {
            ++i;
        }
        ADD_FAILURE() << what << ": host call " << i << " is '"
                      << (i < got.calls.size() ? got.calls[i] : "(none)") << "', expected '"
                      << (i < expected.calls.size() ? expected.calls[i] : "(none)") << "'";
    }
    EXPECT_EQ(got.counters.LinesSearched, expected.counters.LinesSearched) << what;
    EXPECT_EQ(got.counters.LinesFound, expected.counters.LinesFound) << what;
    EXPECT_EQ(got.counters.WordsFound, expected.counters.WordsFound) << what;
    EXPECT_EQ(got.results, expected.results) << what;
}

SearchRequest RandomRequest(std::mt19937& rng)
{
    static const char* const patterns[] = {"a", "ab", "B", "ba", "aa", "a b", "AB", "b\n", "\na", "é", ""};
    SearchInputs in;
    in.String1 = patterns[rng() % 10]; // never empty but rarely
    if (rng() % 40 == 0) {
        in.String1.clear();
    }
    in.String2 = rng() % 2 ? patterns[rng() % std::size(patterns)] : "";
    in.OperatorIndex = static_cast<int>(rng() % 4);
    in.LineFormat = rng() % 2 ? LineFormat::Unix : LineFormat::Dos;
    in.CaseSensitive = rng() % 2;
    in.ReverseLogic = rng() % 3 == 0;
    in.OneOccurrence = rng() % 6 == 0;
    in.LineCounting = true;
    in.WordCounting = true;
    in.ProgressIndication = true;
    in.LineNumbering = rng() % 2;
    SearchRequest request = PrepareRequest(in);
    // Small rates put status updates inside every window (the control allows 1000 and more).
    request.RefreshRate = 1 + static_cast<std::int32_t>(rng() % 9);
    return request;
}

std::string RandomText(std::mt19937& rng)
{
    // Files of one kind of line end take the one-pass paths; mixed ones the checked paths.
    static const std::string alphabets[] = {"aAbB \n\n\xe9", "aAbB \r\n\r\n\xe9", "aAbB \r\n\n\r\xe9"};
    const std::string& alphabet = alphabets[rng() % std::size(alphabets)];
    std::string s(rng() % 700, ' ');
    for (char& c : s) {
        c = alphabet[rng() % alphabet.size()];
    }
    if (!s.empty() && rng() % 8 == 0) {
        s[rng() % s.size()] = 26;
    }
    return s;
}

FastScanOptions RandomOptions(std::mt19937& rng)
{
    static const std::size_t windows[] = {2, 3, 5, 8, 13, 64, 200, std::size_t{1} << 20};
    FastScanOptions options;
    options.Window = windows[rng() % std::size(windows)];
    options.ReadOnly = rng() % 2;
    return options;
}

TEST(FastScan, AgreesWithTheLineByLineScanOnRandomFiles)
{
    std::mt19937 rng(20261207);
    TempDir dir;
    for (int round = 0; round < 3000; ++round) {
        const SearchRequest request = RandomRequest(rng);
        std::vector<std::string> files;
        for (int i = 0, n = 1 + static_cast<int>(rng() % 3); i < n; ++i) {
            std::string name = "f";
            name += std::to_string(round % 7);
            name += '_';
            name += std::to_string(i);
            files.push_back(dir.Write(name, RandomText(rng)));
        }
        const FastScanOptions options = RandomOptions(rng);
        const std::string what = "round " + std::to_string(round) + " window " +
                                 std::to_string(options.Window) + (options.ReadOnly ? " read" : " mapped");
        ExpectSame(Scan(request, files, true, options), Scan(request, files, false, options), what);
        if (HasFailure()) {
            break;
        }
    }
}

TEST(FastScan, CancelAtAStatusUpdateStopsAfterThatLine)
{
    std::mt19937 rng(7);
    TempDir dir;
    for (int round = 0; round < 500; ++round) {
        const SearchRequest request = RandomRequest(rng);
        const std::vector<std::string> files{dir.Write("c", RandomText(rng)),
                                             dir.Write("d", RandomText(rng))};
        const FastScanOptions options = RandomOptions(rng);
        const int cancelAt = 1 + static_cast<int>(rng() % 12);
        ExpectSame(Scan(request, files, true, options, cancelAt),
                   Scan(request, files, false, options, cancelAt), "round " + std::to_string(round));
        if (HasFailure()) {
            break;
        }
    }
}

struct NamedFile {
    const char* name;
    std::string bytes;
    LineFormat format;
};

class FastScanCases : public testing::TestWithParam<NamedFile> { };

TEST_P(FastScanCases, SameAsLineByLineInEveryReadMode)
{
    TempDir dir;
    const std::vector<std::string> files{dir.Write("x", GetParam().bytes)};
    for (int mode = 0; mode < 4; ++mode) {
        SearchInputs in;
        in.String1 = "a";
        in.LineFormat = GetParam().format;
        in.ReverseLogic = mode % 2 == 1;
        in.LineNumbering = mode / 2 == 1;
        in.LineCounting = in.ProgressIndication = in.WordCounting = true;
        SearchRequest request = PrepareRequest(in);
        request.RefreshRate = 2;
        const Outcome expected = Scan(request, files, true, {});
        for (std::size_t window : {2u, 7u, 1u << 20}) {
            for (bool readOnly : {false, true}) {
                ExpectSame(expected, Scan(request, files, false, {window, readOnly}),
                           "window " + std::to_string(window) + (readOnly ? " read" : " mapped"));
            }
        }
    }
}

const std::string kBlocks =
    std::string(300, 'x') + "a\r" + std::string(125, 'y') + "a\r\n" + std::string(130, 'a');

INSTANTIATE_TEST_SUITE_P(
    Named, FastScanCases,
    testing::Values(NamedFile{"Empty", "", LineFormat::Unix},
                    NamedFile{"LineFeedsReadAsDos", "a\nb\na\n", LineFormat::Dos},
                    NamedFile{"CrLfReadAsUnix", "a\r\nb\r\n\r\na", LineFormat::Unix},
                    NamedFile{"CrOnlyReadAsUnix", "a\rb\r\ra\r", LineFormat::Unix},
                    NamedFile{"Byte26EndsTheFile",
                              "ab\x1a"
                              "def\na\n",
                              LineFormat::Unix},
                    NamedFile{"Byte26AfterCr",
                              "a\r\x1a"
                              "a",
                              LineFormat::Dos},
                    NamedFile{"NoExtraLineAfterTheLastEnd", "a\r\n\r\n", LineFormat::Dos},
                    NamedFile{"CrAtTheVeryEnd", "b\na\r", LineFormat::Unix},
                    NamedFile{"LastLineWithoutEndOrHit", "a\nbb\na\nxyz", LineFormat::Unix},
                    NamedFile{"LastLineWithoutEndOrHitDos", "a\r\nbb\r\nxyz", LineFormat::Dos},
                    NamedFile{"PositionAcrossBlocks", kBlocks, LineFormat::Unix},
                    NamedFile{"PositionAcrossBlocksDos", kBlocks, LineFormat::Dos},
                    NamedFile{"OneLongLine", std::string(5000, 'b') + "a" + std::string(5000, 'b'),
                              LineFormat::Unix}),
    [](const testing::TestParamInfo<NamedFile>& info) { return std::string(info.param.name); });

TEST(FastScan, LineFeedOfACrLfPairIsInNoLine)
{
    // A search string holding a line end finds the LF of a CR LF pair, which the line reader never
    // shows as part of a line; the windowed scan once took it for a hit on the line after the pair.
    TempDir dir;
    const std::vector<std::string> files{dir.Write("a", "\r\n"), dir.Write("b", "x\r\nab\r\n\r\r\nb\n")};
    for (const char* pattern : {"\n", "\nab", "\n\r"}) {
        for (int mode = 0; mode < 8; ++mode) {
            SearchInputs in;
            in.String1 = pattern;
            in.LineFormat = mode & 1 ? LineFormat::Unix : LineFormat::Dos;
            in.ReverseLogic = mode & 2;
            in.LineCounting = true;
            SearchRequest request = PrepareRequest(in);
            request.RefreshRate = 1;
            FastScanOptions options;
            options.Window = mode & 4 ? 4 : std::size_t{1} << 20;
            for (const bool readOnly : {false, true}) {
                options.ReadOnly = readOnly;
                ExpectSame(Scan(request, files, true, options), Scan(request, files, false, options),
                           "mode " + std::to_string(mode) + (readOnly ? " read" : " mapped"));
            }
        }
    }
}

TEST(FastScan, UnreadableFilesFailLikeTheLineByLineScan)
{
    TempDir dir;
    const std::vector<std::string> files{"/nonexistent-folder/a.txt", dir.Path().string(), "/proc/self/mem"};
    SearchInputs in;
    in.String1 = "a";
    const SearchRequest request = PrepareRequest(in);
    const Outcome expected = Scan(request, files, true, {});
    ExpectSame(expected, Scan(request, files, false, {}), "unreadable");
    EXPECT_EQ(expected.results, (std::vector<bool>{false, false, false}));
}

TEST(FastScan, ReadsProcfsFilesThatClaimSizeZero)
{
    SearchInputs in;
    in.String1 = "Name:";
    in.LineFormat = LineFormat::Unix;
    const SearchRequest request = PrepareRequest(in);
    const Outcome got = Scan(request, {"/proc/self/status"}, false, {});
    EXPECT_EQ(got.counters.LinesFound, 1);
    EXPECT_EQ(got.log.rfind("Name:", 0), 0u);
}

} // namespace

namespace {

TEST(FastScan, FileShortenedWhileMappedEndsItsScanWithoutACrash)
{
    TempDir dir;
    std::string text;
    while (text.size() < (8u << 20)) {
        text += "some line of text that does not hold the string\n";
    }
    MemorySink sink;
    // Shortens the file at the first status update, while it is mapped.
    RecordingHost host;
    const std::string path = dir.Write("big.txt", text);
    bool truncated = false;
    host.OnTitle = [&] {
        if (!truncated) {
            truncated = true;
            std::filesystem::resize_file(path, 4096);
        }
    };
    SearchInputs in;
    in.String1 = "needle";
    in.LineFormat = LineFormat::Unix;
    SearchRequest request = PrepareRequest(in);
    request.RefreshRate = 1000;
    SearchRun run(request, sink, host, ",");
    EXPECT_FALSE(run.ScanFileFast(path, {}));
    EXPECT_TRUE(truncated);
    EXPECT_EQ(host.Failures(), std::vector<std::string>{path + "|The file was shortened while it was read"});
    EXPECT_LT(run.Counters().LinesSearched, static_cast<std::int64_t>(text.size() / 50));
    // The next file is scanned as usual.
    const std::string small = dir.Write("small.txt", "a needle\n");
    EXPECT_TRUE(run.ScanFileFast(small, {}));
    EXPECT_EQ(sink.Bytes, "a needle\r");
}

TEST(FastScan, OneLineLongerThanManyWindows)
{
    TempDir dir;
    const std::string line = std::string(3'000'000, 'x') + "needle" + std::string(3'000'000, 'y');
    const std::string path = dir.Write("long.txt", "first\n" + line + "\nlast needle");
    for (bool numbered : {false, true}) {
        SearchInputs in;
        in.String1 = "needle";
        in.LineFormat = LineFormat::Unix;
        in.LineNumbering = numbered;
        const SearchRequest request = PrepareRequest(in);
        const Outcome expected = Scan(request, {path}, true, {});
        for (bool readOnly : {false, true}) {
            const Outcome got = Scan(request, {path}, false, {std::size_t{1} << 16, readOnly});
            EXPECT_EQ(got.log.size(), expected.log.size());
            EXPECT_TRUE(got.log == expected.log);
            EXPECT_EQ(got.counters.LinesFound, 2);
            EXPECT_EQ(got.calls, expected.calls);
        }
    }
}

} // namespace

namespace {

TEST(FastScan, ResultLogHoldsTheSameBytesAsAfterTheLineByLineScan)
{
    TempDir dir;
    std::string text;
    for (int i = 0; i < 20000; ++i) {
        // LF-ended lines first (the one-pass paths), then CR LF (the checked ones).
        text += i % 7 == 0 ? "a line with the Needle" : "another line";
        text += i < 10000 ? "\n" : "\r\n";
    }
    const std::string file = dir.Write("t.txt", text);
    RecordingHost host;
    SearchInputs in;
    in.String1 = "needle";
    in.LineFormat = LineFormat::Unix;
    for (bool reverse : {false, true}) {
        in.ReverseLogic = reverse;
        std::string logs[2];
        for (int fast = 0; fast < 2; ++fast) {
            ResultLog log;
            log.Create((dir.Path() / ("log" + std::to_string(fast))).string());
            SearchRun run(PrepareRequest(in), log, host, ",");
            EXPECT_TRUE(fast == 1 ? run.ScanFileFast(file) : run.ScanFileByLines(file));
            logs[fast] = log.ReadAll();
        }
        EXPECT_EQ(logs[1].size(), logs[0].size());
        EXPECT_TRUE(logs[1] == logs[0]) << "reverse " << reverse;
    }
}

} // namespace
