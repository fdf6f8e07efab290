// The windowed scan against the line-by-line scan: same entries, counters and host calls
// (status texts with their position figures, title updates, failures), on random files whose
// lines cross window edges, and on named cases; for regular expressions, also against PCRE2 called
// on each line.

#include "search/ResultLog.h"
#include "search/RunFlags.h"
#include "search/SearchRun.h"
#include "tests/support/EngineDoubles.h"
#include "tests/support/RandomRegex.h"
#include "tests/support/ScanHarness.h"
#include "tests/support/TempDir.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <pcre2.h>
#include <random>
#include <string>
#include <vector>

namespace {

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

// ---- regular expressions ---------------------------------------------------------------------------

namespace {

/// The lines of a file as the line reader gives them, without their line ends.
std::vector<std::string> LinesOf(std::string bytes, LineFormat format)
{
    bytes = bytes.substr(0, bytes.find('\x1a'));
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t end = bytes.find_first_of(format == LineFormat::Dos ? "\r" : "\r\n", i);
        lines.push_back(bytes.substr(i, end == std::string::npos ? std::string::npos : end - i));
        if (end == std::string::npos) {
            break;
        }
        i = end + (bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n' ? 2 : 1);
    }
    return lines;
}

/// PCRE2 called on each line with its interpreter and its own tables: the reference a run of regular
/// expressions must agree with, whatever the scan looks at first.
class LineByLinePcre2 {
public:
    LineByLinePcre2(const std::string& pattern, bool caseSensitive, LineFormat format)
    {
        pcre2_compile_context* context = pcre2_compile_context_create(nullptr);
        pcre2_set_newline(context, format == LineFormat::Dos ? PCRE2_NEWLINE_CR : PCRE2_NEWLINE_ANYCRLF);
        int error = 0;
        PCRE2_SIZE offset = 0;
        FCode = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.c_str()), pattern.size(),
                              PCRE2_DOLLAR_ENDONLY | (caseSensitive ? 0 : PCRE2_CASELESS), &error, &offset,
                              context);
        pcre2_compile_context_free(context);
        FData = pcre2_match_data_create(1, nullptr);
    }
    ~LineByLinePcre2()
    {
        pcre2_match_data_free(FData);
        pcre2_code_free(FCode);
    }
    LineByLinePcre2(const LineByLinePcre2&) = delete;
    LineByLinePcre2& operator=(const LineByLinePcre2&) = delete;

    bool Compiled() const { return FCode != nullptr; }

    bool Matches(const std::string& line, std::size_t from = 0, std::uint32_t options = 0)
    {
        return pcre2_match(FCode, reinterpret_cast<PCRE2_SPTR>(line.c_str()), line.size(), from,
                           options | PCRE2_NO_JIT, FData, nullptr) >= 0;
    }

    /// The matches of Perl's //g: after an empty match, a non-empty one at the same place, else the
    /// next one from the byte after it.
    std::int64_t Count(const std::string& line)
    {
        std::int64_t count = 0;
        std::size_t from = 0;
        std::uint32_t options = 0;
        while (from <= line.size()) {
            if (!Matches(line, from, options)) {
                if (options == 0) {
                    break;
                }
                options = 0;
                ++from;
                continue;
            }
            ++count;
            const PCRE2_SIZE* span = pcre2_get_ovector_pointer(FData);
            from = span[1];
            options = span[0] == span[1] ? PCRE2_NOTEMPTY_ATSTART | PCRE2_ANCHORED : 0;
        }
        return count;
    }

private:
    pcre2_code* FCode = nullptr;
    pcre2_match_data* FData = nullptr;
};

/// What a run of regular expressions writes and counts over files, from LineByLinePcre2.
Outcome Expected(const SearchRequest& r, const std::vector<std::string>& contents)
{
    LineByLinePcre2 first(r.Pattern1, r.CaseSensitive, r.LineFormat);
    LineByLinePcre2 second(r.Pattern2, r.CaseSensitive, r.LineFormat);
    Outcome out;
    for (const std::string& bytes : contents) {
        std::int64_t number = 0;
        for (const std::string& line : LinesOf(bytes, r.LineFormat)) {
            ++number;
            ++out.counters.LinesSearched;
            const bool in1 = first.Matches(line);
            bool passes = in1;
            switch (r.Operator) {
            case SearchOperator::None:
                break;
            case SearchOperator::And:
                passes = in1 && second.Matches(line);
                break;
            case SearchOperator::Or:
                passes = in1 || second.Matches(line);
                break;
            case SearchOperator::Xor:
                passes = in1 != second.Matches(line);
                break;
            case SearchOperator::AndNot:
                passes = in1 && !second.Matches(line);
                break;
            }
            if (passes == r.ReverseLogic) {
                continue;
            }
            ++out.counters.LinesFound;
            out.log += (r.LineNumbering ? std::to_string(number) + " : " : std::string()) + line + '\r';
            if (r.OneOccurrence) {
                break;
            }
            if (r.CountWords) {
                out.counters.WordsFound += first.Count(line);
            }
        }
    }
    return out;
}

SearchRequest RandomRegexRequest(std::mt19937& rng)
{
    SearchInputs in;
    in.Regex = true;
    in.CaseSensitive = rng() % 2;
    in.LineFormat = rng() % 2 ? LineFormat::Unix : LineFormat::Dos;
    for (std::string* string : {&in.String1, &in.String2}) {
        do {
            *string = RandomRegex(rng);
        } while (!LineByLinePcre2(*string, in.CaseSensitive, in.LineFormat).Compiled());
    }
    if (rng() % 2 == 0) {
        in.String2.clear();
    }
    in.OperatorIndex = static_cast<int>(rng() % 4);
    in.ReverseLogic = rng() % 3 == 0;
    in.OneOccurrence = rng() % 6 == 0;
    in.LineCounting = in.WordCounting = in.ProgressIndication = true;
    in.LineNumbering = rng() % 2;
    SearchRequest request = PrepareRequest(in);
    request.RefreshRate = 1 + static_cast<std::int32_t>(rng() % 9);
    return request;
}

TEST(FastScanRegex, AgreesWithPcre2LineByLineAndWithTheLineByLineScan)
{
    std::mt19937 rng(20261216);
    TempDir dir;
    int reported = 0;
    for (int round = 0; round < 3000; ++round) {
        const SearchRequest request = RandomRegexRequest(rng);
        std::vector<std::string> files;
        std::vector<std::string> contents;
        for (int i = 0, n = 1 + static_cast<int>(rng() % 3); i < n; ++i) {
            contents.push_back(RandomRegexText(rng));
            files.push_back(dir.Write("r" + std::to_string(i), contents.back()));
        }
        const FastScanOptions options = RandomOptions(rng);
        const std::string what = "round " + std::to_string(round) + " '" + request.Pattern1 + "' op " +
                                 std::to_string(static_cast<int>(request.Operator)) + " '" +
                                 request.Pattern2 + "' window " + std::to_string(options.Window) +
                                 (options.ReadOnly ? " read" : " mapped");
        const Outcome fast = Scan(request, files, false, options);
        const Outcome expected = Expected(request, contents);
        EXPECT_EQ(fast.log, expected.log) << what;
        EXPECT_EQ(fast.counters.LinesSearched, expected.counters.LinesSearched) << what;
        EXPECT_EQ(fast.counters.LinesFound, expected.counters.LinesFound) << what;
        EXPECT_EQ(fast.counters.WordsFound, expected.counters.WordsFound) << what;
        ExpectSame(Scan(request, files, true, options), fast, what);
        reported += fast.counters.LinesFound != 0;
        if (HasFailure()) {
            break;
        }
    }
    EXPECT_GT(reported, 1000) << "the patterns and texts must give reported lines";
}

TEST(FastScanRegex, CancelAtAStatusUpdateStopsAfterThatLine)
{
    std::mt19937 rng(11);
    TempDir dir;
    for (int round = 0; round < 300; ++round) {
        const SearchRequest request = RandomRegexRequest(rng);
        const std::vector<std::string> files{dir.Write("c", RandomRegexText(rng)),
                                             dir.Write("d", RandomRegexText(rng))};
        const FastScanOptions options = RandomOptions(rng);
        const int cancelAt = 1 + static_cast<int>(rng() % 12);
        ExpectSame(Scan(request, files, true, options, cancelAt),
                   Scan(request, files, false, options, cancelAt), "round " + std::to_string(round));
        if (HasFailure()) {
            break;
        }
    }
}

TEST(FastScanRegex, ARunawayPatternFailsItsFileAtThatLineAndTheRunGoesOn)
{
    TempDir dir;
    const std::string before = "aaa\nbbb\n";
    const std::vector<std::string> files{
        dir.Write("runaway", before + std::string(50000, 'a') + "b\nccc a\n"), dir.Write("next", "aa\n")};
    SearchInputs in;
    in.String1 = "(a+)+$";
    in.Regex = true;
    in.LineFormat = LineFormat::Unix;
    in.LineCounting = true;
    const SearchRequest request = PrepareRequest(in);
    const Outcome expected = Scan(request, files, true, {});
    EXPECT_EQ(expected.log, "aaa\raa\r");
    EXPECT_EQ(expected.counters.LinesSearched, 3);
    EXPECT_EQ(expected.results, (std::vector<bool>{false, true}));
    ASSERT_FALSE(expected.calls.empty());
    EXPECT_NE(std::find(expected.calls.begin(), expected.calls.end(),
                        "failed|" + files[0] + "|Regular expression too complex for this line"),
              expected.calls.end());
    for (const std::size_t window : {std::size_t{4096}, std::size_t{1} << 20}) {
        for (const bool readOnly : {false, true}) {
            ExpectSame(expected, Scan(request, files, false, {window, readOnly}),
                       "window " + std::to_string(window) + (readOnly ? " read" : " mapped"));
        }
    }
}

TEST(FastScanRegex, ALineLongerThanTheReadBufferIsMatchedWhole)
{
    // From a pipe such a line is tested in the spill file: the pattern sees both of its ends at once.
    TempDir dir;
    const std::string line = "start " + std::string(300000, 'x') + " end";
    const std::string path = dir.Write("long", "first\n" + line + "\r\nstart x end\n");
    for (const auto& [pattern, lines] : {std::pair{"^start x+ end$", 2}, {"start.*end", 2}, {"x{3}", 1}}) {
        SearchInputs in;
        in.String1 = pattern;
        in.Regex = true;
        in.LineFormat = LineFormat::Unix;
        in.LineNumbering = true;
        in.WordCounting = true;
        const SearchRequest request = PrepareRequest(in);
        const Outcome expected = Scan(request, {path}, true, {});
        EXPECT_EQ(expected.counters.LinesFound, lines) << pattern;
        for (const bool readOnly : {false, true}) {
            const Outcome got = Scan(request, {path}, false, {std::size_t{1} << 16, readOnly});
            EXPECT_TRUE(got.log == expected.log) << pattern;
            EXPECT_EQ(got.calls, expected.calls) << pattern;
            EXPECT_EQ(got.counters.WordsFound, expected.counters.WordsFound) << pattern;
        }
    }
}

} // namespace
