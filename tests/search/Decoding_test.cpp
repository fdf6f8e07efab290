// Compressed and UTF-16 files searched as their text: each run on a compressed file against the run
// on the same text as a plain file (entries, counters, status texts but the position), and the
// windowed scan against the line-by-line scan on the compressed file itself (everything, the
// position figures in the compressed file included). Then damage, bombs and binary files.

#include "search/Decoding.h"
#include "search/StatusTexts.h"
#include "search/TextSource.h"
#include "tests/support/EncodedText.h"
#include "tests/support/MemoryLimit.h"
#include "tests/support/ScanHarness.h"
#include "tests/support/TempDir.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::string_literals;

/// The host calls without the position panel's texts, which differ between a compressed file and
/// its text by design.
std::vector<std::string> WithoutPositions(const std::vector<std::string>& calls)
{
    std::vector<std::string> kept;
    for (const std::string& call : calls) {
        if (call.rfind("2|", 0) != 0) {
            kept.push_back(call);
        }
    }
    return kept;
}

/// The run on a decoded file gives what the run on its text as a plain file gives.
void ExpectSameText(const Outcome& plain, const Outcome& decoded, const std::string& what)
{
    EXPECT_EQ(decoded.log, plain.log) << what;
    EXPECT_EQ(WithoutPositions(decoded.calls), WithoutPositions(plain.calls)) << what;
    EXPECT_EQ(decoded.counters.LinesSearched, plain.counters.LinesSearched) << what;
    EXPECT_EQ(decoded.counters.LinesFound, plain.counters.LinesFound) << what;
    EXPECT_EQ(decoded.counters.WordsFound, plain.counters.WordsFound) << what;
    EXPECT_EQ(decoded.results, plain.results) << what;
}

SearchRequest Request(const char* string1, LineFormat format, bool decompress = true, int mode = 0)
{
    SearchInputs in;
    in.String1 = string1;
    in.LineFormat = format;
    in.ReverseLogic = mode % 2 == 1;
    in.LineNumbering = mode / 2 % 2 == 1;
    in.LineCounting = in.ProgressIndication = in.WordCounting = true;
    in.Decompress = decompress;
    return PrepareRequest(in);
}

/// Words and line ends of every kind, with lines longer than small windows: text that crosses the
/// decoders' chunks and the scans' windows at every kind of place.
std::string MixedText(std::size_t size, unsigned seed)
{
    static const char* const words[] = {"alpha", "beta", "Gamma", "a", "delta", "\r", "\n", "\r\n", " "};
    std::mt19937 rng(seed);
    std::string text;
    while (text.size() < size) {
        text += words[rng() % std::size(words)];
        if (rng() % 500 == 0) {
            text += std::string(rng() % 3000, 'x');
        }
    }
    return text;
}

/// Every read mode of the windowed scan on the packed file, against the plain file and the
/// line-by-line scan of the packed file.
void ExpectDecodedLikePlain(const std::string& plainFile, const std::string& packedFile, LineFormat format,
                            const std::string& what)
{
    for (int mode = 0; mode < 4; ++mode) {
        SearchRequest request = Request("a", format, true, mode);
        request.RefreshRate = 3;
        const Outcome plain = Scan(request, {plainFile}, false, {});
        const Outcome reference = Scan(request, {packedFile}, true, {});
        ExpectSameText(plain, reference, what + " line by line, mode " + std::to_string(mode));
        for (const std::size_t window : {std::size_t{7}, std::size_t{4096}, std::size_t{1} << 20}) {
            for (const bool readOnly : {false, true}) {
                const std::string how = what + " mode " + std::to_string(mode) + " window " +
                                        std::to_string(window) + (readOnly ? " read" : " mapped");
                ExpectSame(reference, Scan(request, {packedFile}, false, {window, readOnly}), how);
            }
        }
        if (testing::Test::HasFailure()) {
            return;
        }
    }
}

class CompressedFiles : public testing::TestWithParam<Packing> { };

TEST_P(CompressedFiles, SearchedAsTheirText)
{
    TempDir dir;
    const std::string text = MixedText(300'000, 1);
    const std::string plain = dir.Write("plain.txt", text);
    const std::string packed = dir.Write("packed", Pack(GetParam(), text));
    ExpectDecodedLikePlain(plain, packed, LineFormat::Unix, PackingName(GetParam()));
    ExpectDecodedLikePlain(plain, packed, LineFormat::Dos, PackingName(GetParam()));
}

TEST_P(CompressedFiles, WithoutDecompressTheRawBytesAreSearched)
{
    TempDir dir;
    // Repeated, so that no compressor keeps the line as it stands.
    std::string line;
    for (int i = 0; i < 20; ++i) {
        line += "repeat ";
    }
    const std::string raw = dir.Write("raw", Pack(GetParam(), "alpha\n" + line + "\n"));
    EXPECT_EQ(Scan(Request(line.c_str(), LineFormat::Unix, false), {raw}, false, {}).counters.LinesFound, 0);
    EXPECT_EQ(Scan(Request(line.c_str(), LineFormat::Unix, true), {raw}, false, {}).log, line + "\r");
}

TEST_P(CompressedFiles, SeveralStreamsAreReadOneAfterAnother)
{
    TempDir dir;
    const std::string first = "one alpha\nno\nunterminated al";
    const std::string second = "pha\nbeta alpha\n";
    const std::string plain = dir.Write("plain.txt", first + second);
    const std::string packed = dir.Write("packed", Pack(GetParam(), first) + Pack(GetParam(), second));
    ExpectDecodedLikePlain(plain, packed, LineFormat::Unix, "two streams");
    EXPECT_EQ(Scan(Request("alpha", LineFormat::Unix), {packed}, false, {}).log,
              "one alpha\runterminated alpha\rbeta alpha\r");
}

TEST_P(CompressedFiles, EmptyTextGivesNoLine)
{
    TempDir dir;
    const std::string packed = dir.Write("empty", Pack(GetParam(), ""));
    SearchRequest request = Request("a", LineFormat::Unix, true, 1);
    const Outcome got = Scan(request, {packed}, false, {});
    EXPECT_EQ(got.results, std::vector<bool>{true});
    EXPECT_EQ(got.counters.LinesSearched, 0);
    EXPECT_EQ(got.log, "");
}

TEST_P(CompressedFiles, CutShortKeepsTheLinesBeforeTheDamage)
{
    TempDir dir;
    const std::string text = MixedText(400'000, 2);
    const std::string packed = Pack(GetParam(), text);
    const SearchRequest request = Request("a", LineFormat::Unix, true, 2);
    const Outcome whole = Scan(request, {dir.Write("whole", packed)}, false, {});
    for (const std::size_t cut : {std::size_t{12}, packed.size() / 3, packed.size() / 2, packed.size() - 1}) {
        const std::string file = dir.Write("cut", packed.substr(0, cut));
        const Outcome got = Scan(request, {file}, false, {});
        const std::string what = std::string(PackingName(GetParam())) + " cut at " + std::to_string(cut);
        EXPECT_EQ(got.results, std::vector<bool>{false}) << what;
        ASSERT_FALSE(got.calls.empty()) << what;
        EXPECT_EQ(got.calls.back(), "failed|" + file + "|Damaged compressed data") << what;
        // Whole entries of the lines before the damage, never a piece of the line it cut.
        EXPECT_EQ(whole.log.compare(0, got.log.size(), got.log), 0) << what;
        EXPECT_TRUE(got.log.empty() || got.log.back() == '\r') << what;
        EXPECT_LE(got.counters.LinesSearched, whole.counters.LinesSearched) << what;
        ExpectSame(Scan(request, {file}, true, {}), got, what + " against the line-by-line scan");
    }
}

TEST_P(CompressedFiles, GarbageAfterTheDataIsDamage)
{
    TempDir dir;
    const std::string file = dir.Write("tail", Pack(GetParam(), "alpha\n") + "not compressed\n");
    const Outcome got = Scan(Request("alpha", LineFormat::Unix), {file}, false, {});
    EXPECT_EQ(got.log, "alpha\r");
    EXPECT_EQ(got.calls.back(), "failed|" + file + "|Damaged compressed data");
}

INSTANTIATE_TEST_SUITE_P(Formats, CompressedFiles,
                         testing::Values(Packing::Gzip, Packing::Bzip2, Packing::Xz, Packing::Zstd),
                         [](const testing::TestParamInfo<Packing>& info) { return PackingName(info.param); });

TEST(CompressedFiles, AGzNameOnPlainTextIsSearchedAsText)
{
    TempDir dir;
    const std::string file = dir.Write("notes.txt.gz", "alpha\nbeta\n");
    EXPECT_EQ(Scan(Request("alpha", LineFormat::Unix), {file}, false, {}).log, "alpha\r");
    DecodeOptions decompress;
    decompress.Decompress = true;
    EXPECT_FALSE(NeedsDecoding(file, decompress));
    EXPECT_TRUE(NeedsDecoding(dir.Write("real.gz", GzipOf("alpha\n")), decompress));
    EXPECT_FALSE(NeedsDecoding(dir.Write("wide.txt", Utf16Bytes(u"a", false)), decompress));
}

TEST(CompressedFiles, GzipPaddingWithZerosIsIgnoredAsGzipDoes)
{
    TempDir dir;
    const std::string file = dir.Write("padded.gz", GzipOf("alpha\n") + std::string(512, '\0'));
    const Outcome got = Scan(Request("alpha", LineFormat::Unix), {file}, false, {});
    EXPECT_EQ(got.results, std::vector<bool>{true});
    EXPECT_EQ(got.log, "alpha\r");
}

TEST(CompressedFiles, CrOnlyLinesOfDosTextAcrossChunks)
{
    // Old Mac text read as DOS: every CR ends a line, and a CR that ends one chunk of the decoder's
    // output must still be looked past for a LF in the next.
    std::string text;
    for (int i = 0; i < 40'000; ++i) {
        text += i % 3 == 0 ? "a line\r" : "other\r";
    }
    text += "\r\nlast a";
    TempDir dir;
    const std::string plain = dir.Write("mac.txt", text);
    const std::string packed = dir.Write("mac.txt.gz", GzipOf(text));
    ExpectDecodedLikePlain(plain, packed, LineFormat::Dos, "CR only");
}

TEST(CompressedFiles, LargeFileShowsThePositionInTheCompressedFile)
{
    TempDir dir;
    std::string text;
    for (int i = 0; text.size() < (20u << 20); ++i) {
        text += "2026-12-08 12:00:" + std::to_string(i % 60) + " host service[" + std::to_string(i) +
                "]: " + (i % 97 == 0 ? "ERROR disk" : "all well") + "\n";
    }
    const std::string plain = dir.Write("big.log", text);
    const std::string packedBytes = GzipOf(text, 1);
    const std::string packed = dir.Write("big.log.gz", packedBytes);
    SearchRequest request = Request("error", LineFormat::Unix, true, 2);
    request.RefreshRate = 1000;
    const Outcome expected = Scan(request, {plain}, false, {});
    const Outcome got = Scan(request, {packed}, false, {});
    ExpectSameText(expected, got, "20 MB");
    ExpectSame(Scan(request, {packed}, true, {}), got, "20 MB line by line");
    // The last figure is the compressed file's size; none before it is larger.
    const std::string end =
        "2|File Position: " + FormatCount(BlockFigure(packedBytes.size() / 128), ",") + " Kb";
    std::vector<std::string> positions;
    for (const std::string& call : got.calls) {
        if (call.rfind("2|", 0) == 0) {
            positions.push_back(call);
        }
    }
    ASSERT_GT(positions.size(), 100u);
    EXPECT_EQ(positions.back(), end);
    EXPECT_NE(positions[positions.size() / 2], end);
}

TEST(CompressedFiles, StandardInputMayBeCompressed)
{
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    const std::string packed = XzOf("alpha\nbeta\nalpha beta\n");
    ASSERT_EQ(::write(ends[1], packed.data(), packed.size()), static_cast<ssize_t>(packed.size()));
    ::close(ends[1]);
    const std::string path = "/proc/self/fd/" + std::to_string(ends[0]);
    const Outcome got = Scan(Request("beta", LineFormat::Unix), {path}, false, {});
    ::close(ends[0]);
    EXPECT_EQ(got.log, "beta\ralpha beta\r");
}

/// A file that decodes to far more than memory: copies of one stream of 4 MiB of short lines.
std::string Bomb(Packing packing, int copies)
{
    std::string lines;
    while (lines.size() < (4u << 20)) {
        lines += "0000000000000000000000000000000\n";
    }
    const std::string one = Pack(packing, lines);
    std::string bomb;
    for (int i = 0; i < copies; ++i) {
        bomb += one;
    }
    return bomb;
}

TEST(CompressedFiles, BombsCostTimeNotMemory)
{
    if (UnderSanitizer) {
        GTEST_SKIP() << "the memory limit would count the sanitizer's own memory";
    }
    constexpr std::size_t Limit = std::size_t{64} << 20;
    TempDir dir;
    for (const Packing packing : {Packing::Gzip, Packing::Bzip2, Packing::Xz, Packing::Zstd}) {
        // 256 MiB of text (bzip2, the slow one, 64 MiB) from a file of a few hundred KiB at most.
        const int copies = packing == Packing::Bzip2 ? 16 : 64;
        const std::string file = dir.Write("bomb", Bomb(packing, copies));
        const int status = InChildWithMemoryLimit(Limit, [&] {
            const Outcome got = Scan(Request("1", LineFormat::Unix), {file}, false, {});
            return got.results == std::vector<bool>{true} &&
                   got.counters.LinesSearched == std::int64_t{copies} * (4 << 20) / 32 &&
                   PeakResidentBytes() < Limit;
        });
        EXPECT_EQ(status, 0) << PackingName(packing);
    }
}

class Utf16Files : public testing::TestWithParam<bool> { };

TEST_P(Utf16Files, SearchedAsTheirUtf8Text)
{
    // Lines ended by CR LF and by LF, characters of one, two and three UTF-8 bytes and pairs of
    // surrogates (four), also where a pair is cut by the decoder's chunks.
    const std::u16string line = u"alpha \u00e9t\u00e9 \u20ac \U0001F600 end";
    const std::string utf8 = "alpha \xc3\xa9t\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80 end";
    std::u16string units;
    std::string text;
    for (int i = 0; i < 6000; ++i) {
        units += line + (i % 2 == 0 ? u"\r\n" : u"\n");
        text += utf8 + (i % 2 == 0 ? "\r\n" : "\n");
        if (i % 50 == 0) {
            units += u"beta\r\n";
            text += "beta\r\n";
        }
    }
    TempDir dir;
    const std::string plain = dir.Write("utf8.txt", text);
    const std::string wide = dir.Write("utf16.txt", Utf16Bytes(units, GetParam()));
    ExpectDecodedLikePlain(plain, wide, LineFormat::Unix, GetParam() ? "big-endian" : "little-endian");
    ExpectDecodedLikePlain(plain, wide, LineFormat::Dos, GetParam() ? "big-endian" : "little-endian");
    // Compressed UTF-16 is decompressed, then converted.
    const std::string packed = dir.Write("utf16.txt.zst", ZstdOf(Utf16Bytes(units, GetParam())));
    ExpectDecodedLikePlain(plain, packed, LineFormat::Unix, "compressed UTF-16");
}

TEST_P(Utf16Files, UnpairedSurrogatesAndAnOddLastByteBecomeReplacementCharacters)
{
    TempDir dir;
    std::string bytes = Utf16Bytes(u"a\xD800 b\n\xDC00\n\xD83D", GetParam());
    bytes += 'x'; // half a code unit
    const std::string file = dir.Write("broken.txt", bytes);
    // Reverse Logic on a string that is nowhere: every line is reported.
    const SearchRequest request = Request("zz", LineFormat::Unix, false, 1);
    const Outcome got = Scan(request, {file}, false, {});
    EXPECT_EQ(got.log, "a\xef\xbf\xbd b\r\xef\xbf\xbd\r\xef\xbf\xbd\xef\xbf\xbd\r");
    EXPECT_EQ(got.results, std::vector<bool>{true});
    ExpectSame(Scan(request, {file}, true, {}), got, "line by line");
}

INSTANTIATE_TEST_SUITE_P(ByteOrders, Utf16Files, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "BigEndian" : "LittleEndian");
                         });

TEST(Utf16Files, AUtf8MarkStaysAsItIs)
{
    TempDir dir;
    const std::string file = dir.Write("bom.txt", "\xef\xbb\xbf"
                                                  "alpha\nbeta\n");
    EXPECT_EQ(Scan(Request("a", LineFormat::Unix), {file}, false, {}).log, "\xef\xbb\xbf"
                                                                           "alpha\rbeta\r");
}

TEST(Utf16Files, OnlyTheMarkGivesNoLine)
{
    TempDir dir;
    const Outcome got =
        Scan(Request("a", LineFormat::Unix, false, 1), {dir.Write("mark", "\xff\xfe")}, false, {});
    EXPECT_EQ(got.counters.LinesSearched, 0);
    EXPECT_EQ(got.log, "");
}

/// Random text in every encoding, random requests and windows: the windowed scan equals the
/// line-by-line scan, position figures included.
TEST(DecodedFiles, AgreeWithTheLineByLineScanOnRandomFiles)
{
    std::mt19937 rng(20261208);
    TempDir dir;
    for (int round = 0; round < 300; ++round) {
        static const std::size_t windows[] = {3, 64, 5000, std::size_t{1} << 20};
        const FastScanOptions options{windows[rng() % std::size(windows)], rng() % 2 == 0};
        // A window of 3 bytes reads most lines as long lines, piece by piece: small files only.
        std::string text(rng() % (options.Window == 3 ? 8'000 : 200'000), ' ');
        const std::string alphabet = "aAbB \r\n\n\xe9";
        for (char& c : text) {
            c = alphabet[rng() % alphabet.size()];
        }
        if (!text.empty() && rng() % 8 == 0) {
            text[rng() % text.size()] = '\0'; // binary, when it comes early enough
        }
        std::string bytes;
        switch (rng() % 6) {
        case 0:
            bytes = GzipOf(text) + (rng() % 2 ? GzipOf(text.substr(text.size() / 2)) : "");
            break;
        case 1:
            bytes = Bzip2Of(text, 1);
            break;
        case 2:
            bytes = XzOf(text, 0);
            break;
        case 3:
            bytes = ZstdOf(text);
            break;
        default: {
            std::u16string units;
            for (const char c : text) {
                // \xe9 becomes a high surrogate: mostly unpaired, sometimes not cut from a pair
                units += c == '\xe9' ? char16_t{0xD83D} : c == 'B' ? char16_t{0xDE00} : char16_t(c);
            }
            bytes = Utf16Bytes(units, rng() % 2);
        }
        }
        if (rng() % 4 == 0) {
            bytes.resize(rng() % (bytes.size() + 1)); // damage
        }
        const std::string file = dir.Write("f", bytes);
        SearchInputs in;
        in.String1 = rng() % 2 ? std::string("a") : std::string("ab");
        in.String2 = rng() % 2 ? std::string("b") : std::string();
        in.OperatorIndex = static_cast<int>(rng() % 4);
        in.LineFormat = rng() % 2 ? LineFormat::Unix : LineFormat::Dos;
        in.ReverseLogic = rng() % 3 == 0;
        in.OneOccurrence = rng() % 6 == 0;
        in.LineNumbering = rng() % 2;
        in.LineCounting = in.ProgressIndication = in.WordCounting = true;
        in.Decompress = true;
        in.SkipBinary = rng() % 3 == 0;
        SearchRequest request = PrepareRequest(in);
        request.RefreshRate = 1 + static_cast<std::int32_t>(rng() % 500);
        ExpectSame(Scan(request, {file}, true, options), Scan(request, {file}, false, options),
                   "round " + std::to_string(round) + " window " + std::to_string(options.Window) +
                       (options.ReadOnly ? " read, " : " mapped, ") + std::to_string(bytes.size()) +
                       " bytes " + std::to_string(static_cast<unsigned char>(bytes.empty() ? 0 : bytes[0])));
        if (HasFailure()) {
            break;
        }
    }
}

TEST(DecodeFile, WritesTheTextOfACompressedFileAndNamesTheDamage)
{
    TempDir dir;
    DecodeOptions decompress;
    decompress.Decompress = true;
    const std::string text = MixedText(100'000, 3);
    for (const Packing packing : {Packing::Gzip, Packing::Bzip2, Packing::Xz, Packing::Zstd}) {
        const std::string packed = Pack(packing, text);
        const std::string out = (dir.Path() / "out").string();
        const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        std::string reason;
        EXPECT_EQ(DecodeFile(dir.Write("in", packed), fd, decompress, reason), CopyEnd::Whole) << reason;
        ::close(fd);
        EXPECT_TRUE(TempDir::Read(out) == text) << PackingName(packing);
        const int cutFd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        EXPECT_EQ(DecodeFile(dir.Write("in", packed.substr(0, packed.size() - 1)), cutFd, decompress, reason),
                  CopyEnd::Damaged);
        ::close(cutFd);
        EXPECT_EQ(reason, "Damaged compressed data");
        EXPECT_TRUE(text.rfind(TempDir::Read(out), 0) == 0) << "the text before the damage";
    }
    std::string reason;
    DecodeOptions convert = decompress;
    convert.Utf16 = true;
    const std::string converted = (dir.Path() / "converted").string();
    const int convertedFd = ::open(converted.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    EXPECT_EQ(DecodeFile(dir.Write("wide.gz", GzipOf(Utf16Bytes(u"\u00e9t\u00e9\n", true))), convertedFd,
                         convert, reason),
              CopyEnd::Whole);
    ::close(convertedFd);
    EXPECT_EQ(TempDir::Read(converted), "\xc3\xa9t\xc3\xa9\n");
    const int full = ::open("/dev/full", O_WRONLY);
    EXPECT_EQ(DecodeFile(dir.Write("plain", "as it is\n"), full, decompress, reason), CopyEnd::WriteFailed);
    EXPECT_EQ(DecodeFile(dir.Write("text.gz", GzipOf(text)), full, decompress, reason), CopyEnd::WriteFailed);
    ::close(full);
    EXPECT_EQ(DecodeFile((dir.Path() / "missing" / "x.gz").string(), 1, decompress, reason),
              CopyEnd::ReadFailed);
}

} // namespace

namespace {

/// A list of files for a whole walk; records what a binary file must not cause.
struct ListHost final : SearchHost {
    std::vector<std::string> files;
    std::vector<std::string> calls;
    void SetStatusText(int, const std::string&) override { }
    void SetCaption(const std::string& caption) override { calls.push_back("caption|" + caption); }
    void ShowCaptionAsTitle() override { }
    std::int64_t FileCount() override { return static_cast<std::int64_t>(files.size()); }
    std::optional<std::string> FileName(std::int64_t i) override
    {
        return i < FileCount() ? std::optional(files[static_cast<std::size_t>(i)]) : std::nullopt;
    }
    void FileFailed(const std::string& fileName, const std::string& reason) override
    {
        calls.push_back("failed|" + fileName + "|" + reason);
    }
    void FileSkipped(const std::string& fileName, const std::string& reason) override
    {
        calls.push_back("skipped|" + fileName + "|" + reason);
    }
    void FileEntriesBegin(std::int64_t index, const std::string& fileName) override
    {
        calls.push_back("begin|" + std::to_string(index) + "|" + fileName);
    }
};

struct WalkOutcome {
    std::string log;
    std::vector<std::string> calls;
    RunCounters counters;
    std::int64_t skipped = 0;
};

WalkOutcome WalkFiles(const std::vector<std::string>& files, bool skipBinary, int threads)
{
    SearchInputs in;
    in.String1 = "a";
    in.LineFormat = LineFormat::Unix;
    in.Verbose = in.LineNumbering = true;
    in.Decompress = true;
    in.SkipBinary = skipBinary;
    MemorySink sink;
    ListHost host;
    host.files = files;
    SearchRun run(PrepareRequest(in), sink, host, ",");
    run.SetThreads(threads);
    CancelRequested = false;
    run.Walk();
    SearchRunning = false;
    return {sink.Bytes, host.calls, run.Counters(), run.SkippedFiles()};
}

TEST(BinaryFiles, SkippedWithoutHeaderEntriesOrCount)
{
    TempDir dir;
    std::string late(BinaryProbeSize, 'x');
    late += "\na late\0NUL\n"s;
    const std::vector<std::string> files{
        dir.Write("one.txt", "a one\n"),
        dir.Write("image.bin", "a\0\1\2 a\n"s),
        dir.Write("big.bin", "a\0"s + std::string(3u << 20, 'a')), // mapped
        dir.Write("packed.gz", GzipOf("a packed\0\n"s)),
        dir.Write("wide.txt", Utf16Bytes(u"a wide\n", false)), // its zero bytes are not NULs of its text
        dir.Write("wide.bin", Utf16Bytes(u"a\0\n"s, true)),
        dir.Write("late.txt", late),
    };
    const std::string header = "\"- Search Pattern=a *****\r";
    const std::string expectedLog = "*****  New Search  *****\r***** File: \"" + files[0] + header +
                                    "1 : a one\r***** File: \"" + files[4] + header +
                                    "1 : a wide\r***** File: \"" + files[6] + header + "2 : a late\0NUL\r"s;
    for (const int threads : {1, 3}) {
        const WalkOutcome got = WalkFiles(files, true, threads);
        EXPECT_TRUE(got.log == expectedLog) << threads << " threads: " << got.log;
        EXPECT_EQ(got.calls,
                  (std::vector<std::string>{"begin|0|" + files[0], "caption|Searching " + files[0],
                                            "skipped|" + files[1] + "|Binary file skipped",
                                            "skipped|" + files[2] + "|Binary file skipped",
                                            "skipped|" + files[3] + "|Binary file skipped",
                                            "begin|4|" + files[4], "caption|Searching " + files[4],
                                            "skipped|" + files[5] + "|Binary file skipped",
                                            "begin|6|" + files[6], "caption|Searching " + files[6]}))
            << threads << " threads";
        EXPECT_EQ(got.counters.LinesSearched, 1 + 1 + 2);
        EXPECT_EQ(got.skipped, 4);
    }
    // Without the option nothing changes: every file is searched as before.
    const WalkOutcome all = WalkFiles(files, false, 1);
    EXPECT_EQ(all.skipped, 0);
    EXPECT_NE(all.log.find("***** File: \"" + files[1]), std::string::npos);
    EXPECT_NE(all.log.find("1 : a\0\1\2 a\r"s), std::string::npos);
}

TEST(BinaryFiles, TheLineByLineScanSkipsTheSameFiles)
{
    TempDir dir;
    const std::vector<std::string> files{dir.Write("a.bin", "a\n\0"s), dir.Write("b.txt", "a\n"),
                                         dir.Write("c.xz", XzOf("a\n\0"s))};
    SearchRequest request = Request("a", LineFormat::Unix);
    request.SkipBinary = true;
    const Outcome reference = Scan(request, files, true, {});
    EXPECT_EQ(reference.log, "a\r");
    EXPECT_EQ(reference.results, (std::vector<bool>{true, true, true}));
    for (const std::size_t window : {std::size_t{2}, std::size_t{1} << 20}) {
        ExpectSame(reference, Scan(request, files, false, {window, false}),
                   "window " + std::to_string(window));
    }
}

} // namespace

namespace {

std::string ReadAt(TextSource& source, std::int64_t offset, std::size_t size)
{
    std::string bytes(size, '\0');
    const std::int64_t got = source.Read(offset, bytes.data(), size);
    bytes.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return bytes;
}

TEST(TextSources, ACompressedFileIsReadInPlaceAsItsText)
{
    // What the viewer and the console's context lines read: the text the search read, at any
    // offset, forward and back.
    TempDir dir;
    const std::string text = MixedText(300'000, 4);
    const std::string file = dir.Write("text.xz", XzOf(text));
    DecodeOptions options;
    options.Utf16 = options.Decompress = true;
    std::string reason;
    const std::unique_ptr<TextSource> source = OpenTextSource(file, reason, options);
    ASSERT_NE(source, nullptr) << reason;
    EXPECT_EQ(source->Size(), -1) << "known only at the end";
    EXPECT_EQ(ReadAt(*source, 250'000, 100), text.substr(250'000, 100));
    EXPECT_EQ(ReadAt(*source, 10, 5000), text.substr(10, 5000));
    EXPECT_EQ(ReadAt(*source, std::int64_t(text.size()) - 3, 100), text.substr(text.size() - 3));
    EXPECT_EQ(ReadAt(*source, std::int64_t(text.size()), 100), "");

    // Without Decompress the file is its bytes; a UTF-16 file is converted all the same.
    options.Decompress = false;
    const std::unique_ptr<TextSource> raw = OpenTextSource(file, reason, options);
    EXPECT_EQ(ReadAt(*raw, 0, 6), "\xfd"
                                  "7zXZ"
                                  "\0"s);
    const std::unique_ptr<TextSource> wide =
        OpenTextSource(dir.Write("wide.txt", Utf16Bytes(u"\u00e9t\u00e9\r\n", false)), reason, options);
    EXPECT_EQ(ReadAt(*wide, 0, 100), "\xc3\xa9t\xc3\xa9\r\n");

    // Damaged data ends the text where the damage begins.
    options.Decompress = true;
    const std::string packed = GzipOf(text);
    const std::unique_ptr<TextSource> cut =
        OpenTextSource(dir.Write("cut.gz", packed.substr(0, packed.size() / 2)), reason, options);
    const std::string got = ReadAt(*cut, 0, text.size());
    EXPECT_GT(got.size(), 0u);
    EXPECT_LT(got.size(), text.size());
    EXPECT_TRUE(text.compare(0, got.size(), got) == 0);
}

} // namespace
