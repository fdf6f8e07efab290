// The engine differentially: a file of a small alphabet (line ends CR and LF, byte 26, letters in both
// cases, bytes over 127) searched with random options by the windowed scan and by the line-by-line
// reference. The result-log bytes, the counters, every status text and the results must be the same.
//
// Input: byte 0 and 1 choose the options, byte 2 the window, byte 3 the lengths of the two search
// strings, then the strings and the file, each byte taken modulo the alphabet. With the top bit of
// byte 1 the strings are regular expressions over an alphabet of their own (those that do not
// compile are passed over).
//
// Rate: every execution writes the file and scans it three times through the file system (mapped and
// read), some ten thousand executions a second at best, below a million a minute; the machine is
// shared with other builds as well.
#include "search/RegexLineTest.h"
#include "search/RunFlags.h"
#include "search/SearchRun.h"

#include <cstdio>
#include <string>
#include <vector>

#include "FuzzSupport.h"

namespace {

constexpr char Alphabet[] = {'a', 'A', 'b', 'B', ' ', '\r', '\n', 26, '\xe9', '\xc9', '\xff', 'z'};
constexpr char PatternAlphabet[] = {'a', 'A', 'b', ' ', '\xe9', '.', '*', '+', '?', '|', '(', ')',
                                    '[', ']', '^', '$', '\\',   'w', 'B', '{', '1', ',', '2', '}'};

struct MemorySink final : EntrySink {
    std::string bytes;
    void WriteLogLine(std::string_view text) override
    {
        bytes.append(text);
        bytes += '\r';
    }
    void WriteLogEntries(std::string_view entries) override { bytes.append(entries); }
};

struct RecordingHost final : SearchHost {
    std::vector<std::string> calls;
    void SetStatusText(int panel, const std::string& text) override
    {
        calls.push_back(std::to_string(panel) + "|" + text);
    }
    void SetCaption(const std::string& caption) override { calls.push_back("caption|" + caption); }
    void ShowCaptionAsTitle() override { calls.push_back("title"); }
    std::int64_t FileCount() override { return 0; }
    std::optional<std::string> FileName(std::int64_t) override { return std::nullopt; }
    void FileFailed(const std::string& fileName, const std::string& reason) override
    {
        calls.push_back("failed|" + fileName + "|" + reason);
    }
};

struct Outcome {
    std::string log;
    std::vector<std::string> calls;
    RunCounters counters;
    bool result = false;
    bool operator==(const Outcome& o) const
    {
        return log == o.log && calls == o.calls && counters.LinesSearched == o.counters.LinesSearched &&
               counters.LinesFound == o.counters.LinesFound && counters.WordsFound == o.counters.WordsFound &&
               result == o.result;
    }
};

enum class Scan { ByLines, Windowed, Default };

Outcome Run(const SearchRequest& request, const std::string& file, Scan scan, const FastScanOptions& options)
{
    CancelRequested = false;
    MemorySink sink;
    RecordingHost host;
    SearchRun run(request, sink, host, ",");
    Outcome out;
    out.result = scan == Scan::ByLines    ? run.ScanFileByLines(file)
                 : scan == Scan::Windowed ? run.ScanFileFast(file, options)
                                          : run.ScanFile(file);
    out.log = std::move(sink.bytes);
    out.calls = std::move(host.calls);
    out.counters = run.Counters();
    return out;
}

std::string Escaped(const std::string& bytes)
{
    std::string out;
    for (const unsigned char c : bytes) {
        if (c >= 32 && c < 127 && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        }
    }
    return out;
}

void Compare(const Outcome& expected, const Outcome& got, const char* what)
{
    if (got == expected) {
        return;
    }
    std::string detail = std::string(what) + " differs from the line-by-line scan:";
    if (got.log != expected.log) {
        detail += "\n  log '" + Escaped(got.log) + "'\n  expected '" + Escaped(expected.log) + "'";
    }
    if (got.calls != expected.calls) {
        std::size_t i = 0;
        while (i < got.calls.size() && i < expected.calls.size() && got.calls[i] == expected.calls[i]) {
            ++i;
        }
        detail += "\n  host call " + std::to_string(i) + " '" +
                  Escaped(i < got.calls.size() ? got.calls[i] : "(none)") + "', expected '" +
                  Escaped(i < expected.calls.size() ? expected.calls[i] : "(none)") + "'";
    }
    if (got.result != expected.result) {
        detail += "\n  result differs";
    }
    if (got.counters.LinesSearched != expected.counters.LinesSearched ||
        got.counters.LinesFound != expected.counters.LinesFound ||
        got.counters.WordsFound != expected.counters.WordsFound) {
        detail += "\n  counters " + std::to_string(got.counters.LinesSearched) + "/" +
                  std::to_string(got.counters.LinesFound) + "/" + std::to_string(got.counters.WordsFound) +
                  ", expected " + std::to_string(expected.counters.LinesSearched) + "/" +
                  std::to_string(expected.counters.LinesFound) + "/" +
                  std::to_string(expected.counters.WordsFound);
    }
    fuzz::Fail(detail);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 4) {
        return 0;
    }
    const std::uint8_t flags = data[0];
    const std::uint8_t more = data[1];
    const std::uint8_t window = data[2];
    const std::size_t length1 = data[3] & 0x0f;
    const std::size_t length2 = data[3] >> 4;
    data += 4;
    size -= 4;
    const bool regex = more & 0x80;
    auto take = [&](std::size_t n, bool pattern) {
        std::string s;
        for (; n > 0 && size > 0; --n, ++data, --size) {
            s +=
                pattern ? PatternAlphabet[*data % sizeof PatternAlphabet] : Alphabet[*data % sizeof Alphabet];
        }
        return s;
    };

    SearchInputs in;
    in.Regex = regex;
    in.String1 = take(length1, regex);
    in.String2 = take(length2, regex);
    in.OperatorIndex = flags & 3;
    in.LineFormat = flags & 4 ? LineFormat::Unix : LineFormat::Dos;
    in.CaseSensitive = flags & 8;
    in.ReverseLogic = flags & 16;
    in.OneOccurrence = flags & 32;
    in.LineNumbering = flags & 64;
    in.WordCounting = flags & 128;
    in.LineCounting = more & 1;
    in.ProgressIndication = more & 2;
    in.Verbose = more & 4;
    SearchRequest request = PrepareRequest(in);
    // Small rates put status updates inside every window.
    request.RefreshRate = 1 + ((more >> 3) & 0x0f);
    if (CheckRegexRequest(request)) {
        return 0;
    }

    FastScanOptions options;
    options.ReadOnly = window & 0x80;
    options.Window = (window & 0x7f) == 0x7f ? std::size_t{1} << 20 : 1 + (window & 0x7f);

    const std::string text = take(size, false);
    const std::string file =
        fuzz::WriteFile("scan", reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    const Outcome reference = Run(request, file, Scan::ByLines, options);
    Compare(reference, Run(request, file, Scan::Windowed, options), "windowed scan");
    Compare(reference, Run(request, file, Scan::Default, options), "ScanFile");
    return 0;
}
