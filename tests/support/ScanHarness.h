#pragma once

// The engine's scans run on files and compared: a sink and a host that record everything, one file
// list scanned by the line-by-line reference or by the windowed scan, and the comparison of the two.
// Header only, so that the engine's tests use it without linking anything of Qt.

#include "search/RunFlags.h"
#include "search/SearchRun.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

struct MemorySink final : EntrySink {
    std::string bytes;
    void WriteLogLine(std::string_view text) override
    {
        bytes.append(text);
        bytes += '\r';
    }
    // Taken as they come, so that a missing or extra byte 13 shows.
    void WriteLogEntries(std::string_view entries) override { bytes.append(entries); }
};

/// Records every host call in order; can raise the cancel request at the n-th status text.
struct RecordingHost final : SearchHost {
    std::vector<std::string> calls;
    int cancelAtStatus = -1;
    int statuses = 0;

    void SetStatusText(int panel, const std::string& text) override
    {
        calls.push_back(std::to_string(panel) + "|" + text);
        if (++statuses == cancelAtStatus) {
            CancelRequested = true;
        }
    }
    void SetCaption(const std::string& caption) override { calls.push_back("caption|" + caption); }
    void ShowCaptionAsTitle() override { calls.push_back("title"); }
    std::int64_t FileCount() override { return 0; }
    std::optional<std::string> FileName(std::int64_t) override { return std::nullopt; }
    void FileFailed(const std::string& fileName, const std::string& reason) override
    {
        calls.push_back("failed|" + fileName + "|" + reason);
    }
    void FileSkipped(const std::string& fileName, const std::string& reason) override
    {
        calls.push_back("skipped|" + fileName + "|" + reason);
    }
};

struct Outcome {
    std::string log;
    std::vector<std::string> calls;
    RunCounters counters;
    std::vector<bool> results;
};

inline Outcome Scan(const SearchRequest& request, const std::vector<std::string>& files, bool reference,
                    const FastScanOptions& options, int cancelAtStatus = -1)
{
    CancelRequested = false;
    MemorySink sink;
    RecordingHost host;
    host.cancelAtStatus = cancelAtStatus;
    SearchRun run(request, sink, host, ",");
    Outcome out;
    for (const auto& f : files) {
        if (CancelRequested) {
            break;
        }
        out.results.push_back(reference ? run.ScanFileByLines(f) : run.ScanFileFast(f, options));
    }
    CancelRequested = false;
    out.log = sink.bytes;
    out.calls = host.calls;
    out.counters = run.Counters();
    return out;
}

inline void ExpectSame(const Outcome& expected, const Outcome& got, const std::string& what)
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
