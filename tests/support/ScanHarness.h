#pragma once

// One file list scanned by the engine's line-by-line reference or by its windowed scan, and the
// comparison of the two: everything a run makes observable. Free of Qt.

#include "search/RunFlags.h"
#include "search/SearchRun.h"
#include "tests/support/EngineDoubles.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

/// What a scan of a list made observable.
struct Outcome {
    std::string log;
    std::vector<std::string> calls;
    RunCounters counters;
    std::vector<bool> results;
};

/// Scans files with the line-by-line reference or the windowed scan; a cancel may be raised at the
/// n-th status text.
inline Outcome Scan(const SearchRequest& request, const std::vector<std::string>& files, bool reference,
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
