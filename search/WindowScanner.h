#pragma once

// Internal to the windowed scan (FastScan.cpp and its units in search/); not part of the engine's API.

#include "search/DecodedStream.h"
#include "search/EntryBuffer.h"
#include "search/LineEnds.h"
#include "search/LineReader.h"
#include "search/LiteralFinder.h"
#include "search/LongLine.h"
#include "search/MappedFile.h"
#include "search/ReadStream.h"
#include "search/RegexLineTest.h"
#include "search/SearchRequest.h"
#include "search/SearchRun.h"
#include "search/TextWindow.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

namespace FastScan {

/// Scans the windows of one file.
/// The helpers that run for every line or candidate are defined in the class, where the loops in
/// WindowScanner.cpp inline them; the loops and what runs once per status update are there.
class WindowScanner {
public:
    WindowScanner(SearchRun& run, const SearchRequest& request, RunCounters& counters, EntryBuffer& out)
        : FRun(run)
        , FRequest(request)
        , FCounters(counters)
        , FOut(out)
        , FFinder1(run.Finder1())
        , FFinder2(run.Finder2())
        , FRegex(run.Regex())
        , FNextStatus(request.RefreshRate > 0 ? request.RefreshRate
                                              : std::numeric_limits<std::int64_t>::max())
    {
    }

    /// Bytes counted at once while looking for the line of a status update (small windows, small chunks).
    std::ptrdiff_t CountChunk = 16 * 1024;

    /// Bytes the file offers so far (its size for a mapped file): the limit of the position figure.
    std::int64_t Available = 0;

    /// The decoder the text comes from, when the file is not read as it is: the position figure is
    /// then the position in the file, not in its text.
    const Decode::DecodedStream* Decoded = nullptr;
    /// The scan starts after the file's first lines (a chunk of a split file): its line numbers and
    /// periodic updates go on from there.
    void StartAfterLines(std::int64_t lines)
    {
        FLines = lines;
        if (FRequest.RefreshRate > 0) {
            FNextStatus = (lines / FRequest.RefreshRate + 1) * FRequest.RefreshRate;
        }
    }

    /// Periodic updates that would show nothing are not made (see SearchHost::ShowsTitle).
    void LeaveOutPeriodicUpdates() { FNextStatus = std::numeric_limits<std::int64_t>::max(); }

    /// True once the file's scan must end (one occurrence reported, or cancel).
    bool Stopped() const { return FStopped || FOut.Shortened(); }

    /// True once a line was too much for the limits of a regular expression: the scan ended before it.
    bool TooComplex() const { return FTooComplex; }

    /// Whether windows may skip the up-front check for CR and byte 26: the one-pass kernel watches
    /// for them itself. Reverse Logic that writes its lines one by one (numbered, DOS text, or
    /// stopping at one) takes the checked loop instead, and so do regular expressions whose candidates
    /// are every line.
    bool CountsWhileFinding() const
    {
        return (FRegex == nullptr || !FRegex->CandidateLiterals().empty()) &&
               (!FRequest.ReverseLogic || ReportsInBulk());
    }

    /// Reverse Logic over LF-ended lines, unnumbered, not stopping at one: the lines between
    /// candidates go to the log as they stand, their LFs turned into byte 13.
    bool ReportsInBulk() const
    {
        return FRequest.ReverseLogic && FRequest.LineFormat == LineFormat::Unix && !FRequest.LineNumbering &&
               !FRequest.OneOccurrence;
    }

    /// Scans one window; it may learn there that the data ends earlier (a byte 26), and then says so
    /// in w.
    void Scan(Window& w)
    {
        FWindow = w;
        if (FRegex != nullptr) {
            if (!w.Checked) {
                ScanRegexCounting(w.Begin);
            } else {
                ScanRegex(w.Begin);
            }
        } else if (!w.Checked) {
            ScanCounting(w.Begin);
        } else {
            ScanChecked(w.Begin);
        }
        w = FWindow;
    }

    /// A line that starts at the buffer's start and runs past its end: read on piece by piece through
    /// the same buffer. The test is made as the pieces pass; the text waits in a spill file while the
    /// test is open and goes to the log as soon as the line is known to be reported, so memory stays
    /// the buffer's whatever the line's length. A cancel gives the line up; so does a failed read (an
    /// incomplete line is not a line), which it leaves in s.Error.
    LongLineEnd ScanLongLine(ReadStream& s, bool sized);

private:
    /// The one-pass loop: lines are counted by the finding kernel, and only lines holding a hit of
    /// string 1 and the lines of status updates are looked at. A CR (Unix) or byte 26 sends the rest of
    /// the window to the checked loop.
    void ScanCounting(const char* a);

    /// ScanCounting's loop: find(from, term, bad1, bad2, limit) is the one-pass kernel that gives the
    /// next candidate (LiteralFinder::FindCounting's answer), handle(lineStart, lineEnd, hit) tests the
    /// line of each.
    template <class Find, class HandleCandidate>
    void ScanCountingWith(const char* a, const Find& find, const HandleCandidate& handle);

    /// The one-pass loop for regular expressions whose candidates come from literals.
    void ScanRegexCounting(const char* a);

    /// Learns what the rest of the window holds (CR, byte 26) and scans it with the checked loop.
    void Recheck(const char* a);

    /// The loop for windows whose line ends are known: candidates from either string, Reverse Logic.
    void ScanChecked(const char* a);

    /// The checked loop for regular expressions (WindowScannerRegex.cpp): candidates around the hits of
    /// the literals the patterns require, PCRE2 on their lines.
    void ScanRegex(const char* a);

    /// ScanLongLine for regular expressions, which need the whole line: it waits in the spill file and
    /// is tested there through a mapping of that file.
    LongLineEnd ScanLongRegexLine(ReadStream& s, bool sized);

    /// Where a long line that ends at t (nullptr: at the end of the data) lets the next one begin; may
    /// read on to see whether a LF follows a CR (not Done when that read fails: the line is incomplete).
    /// looked: the bytes a line reader would have looked at.
    LongLineEnd EndLongLine(ReadStream& s, const char* t, bool sized, std::int64_t& looked);

private:
    const char* LineEnd(const char* from) const
    {
        const auto n = static_cast<std::size_t>(FWindow.End - from);
        const void* t = nullptr;
        switch (FWindow.Mode) {
        case Ends::Lf:
            t = std::memchr(from, Lf, n);
            break;
        case Ends::Cr:
            t = std::memchr(from, Cr, n);
            break;
        case Ends::Mixed:
            t = FindEither(from, FWindow.End, Lf, Cr);
            break;
        }
        return t != nullptr ? static_cast<const char*>(t) : FWindow.End;
    }

    /// Start of the line holding p (or of the next line, when p is the LF of a CR LF pair).
    const char* LineStart(const char* p, const char* lowest) const
    {
        const char* t = LastTerminator(lowest, p, FWindow.Mode);
        return t != nullptr ? AfterEnd(t, FWindow.End) : lowest;
    }

    /// Whether [a, end) ends with a complete line end, so that no unterminated line follows it.
    bool EndsTerminated(const char* a, const char* end) const
    {
        const char last = end[-1];
        if (last == Cr || (last == Lf && FWindow.Mode != Ends::Cr)) {
            return true;
        }
        return last == Lf && end - 2 >= a && end[-2] == Cr;
    }

    /// Lines in [a, b), both line starts in the window; the window's last line counts without an end.
    std::int64_t CountLines(const char* a, const char* b) const;

    /// The line end of the k-th line from a (k >= 1); End for an unterminated last line.
    const char* NthLineEnd(const char* a, std::int64_t k) const;

    /// Whole 128-byte blocks a 128-byte buffer would have fetched once the line ending at t was read.
    std::int64_t PositionBlocksAfter(const char* t) const;

    /// Whole 128-byte blocks a 128-byte buffer would have fetched once it had looked at looked bytes.
    std::int64_t BlocksLooked(std::int64_t looked) const
    {
        if (Decoded != nullptr) {
            return Decoded->FileFetchedAt(looked) / StatusBlockSize;
        }
        const std::int64_t rounded = (looked + StatusBlockSize - 1) / StatusBlockSize * StatusBlockSize;
        return std::min(rounded, Available) / StatusBlockSize;
    }

    void StatusAfter(const char* lineEnd) { StatusAt(PositionBlocksAfter(lineEnd)); }

    void StatusAt(std::int64_t blocks);

    /// The cancel request, or a watched file found shorter than what was read of it.
    bool Interrupted()
    {
        if (FCheckpointDue) {
            FCheckpointDue = false;
            FOut.Flush();
            OutsideMapping outside;
            FRun.Checkpoint();
        }
        return FRun.CancelFlag().load(std::memory_order_relaxed) || FOut.Shortened();
    }

    /// Counts the lines of [a, b), none of them reported, with the status updates that fall among
    /// them; gives where it stopped (b, or the line after a status update that met a cancel).
    const char* SkipLines(const char* a, const char* b);

    /// Reports every line of [a, b) (Reverse Logic between candidates); gives where it stopped.
    const char* ReportLines(const char* a, const char* b);

    /// HandleLine for regular expressions: the words are the pattern's matches.
    void HandleRegexLine(const char* begin, const char* end, bool reported);

    void HandleLine(const char* begin, const char* end, bool reported)
    {
        ++FLines;
        ++FCounters.LinesSearched;
        if (FLines == FNextStatus) {
            StatusAfter(end);
        }
        if (!reported) {
            return;
        }
        ++FCounters.LinesFound;
        FOut.Append(FLines, begin, end);
        if (FRequest.OneOccurrence) {
            FStopped = true;
            return;
        }
        if (FRequest.CountWords) {
            std::int64_t words = 0;
            for (const char* at = FFinder1.Find(begin, end); at != nullptr; at = FFinder1.Find(at + 1, end)) {
                ++words;
            }
            FCounters.WordsFound += words;
        }
    }

    /// The first byte at or after a where a line may pass the test; nullptr when no line can.
    const char* NextCandidate(const char* a)
    {
        const SearchOperator op = FRequest.Operator;
        if (op != SearchOperator::Or && op != SearchOperator::Xor) {
            return FFinder1.Find(a, FWindow.End);
        }
        // Either string makes a candidate: keep the next hit of each and take the nearer.
        if (!FHave1 || (FNext1 != nullptr && FNext1 < a)) {
            FNext1 = FFinder1.Find(a, FWindow.End);
            FHave1 = true;
        }
        if (!FHave2 || (FNext2 != nullptr && FNext2 < a)) {
            FNext2 = FFinder2.Find(a, FWindow.End);
            FHave2 = true;
        }
        if (FNext1 == nullptr || FNext2 == nullptr) {
            return FNext1 != nullptr ? FNext1 : FNext2;
        }
        return std::min(FNext1, FNext2);
    }

    /// The predicate of the run on the line [begin, end); hit is where the candidate was found.
    bool Evaluate(const char* begin, const char* end, const char* hit) const
    {
        const SearchOperator op = FRequest.Operator;
        const bool hitIsFirst = op != SearchOperator::Or && op != SearchOperator::Xor;
        const bool in1 =
            hitIsFirst && hit >= begin && hit + FFinder1.Size() <= end ? true : FFinder1.In(begin, end);
        switch (op) {
        case SearchOperator::None:
            return in1;
        case SearchOperator::And:
            return in1 && FFinder2.In(begin, end);
        case SearchOperator::Or:
            return in1 || FFinder2.In(begin, end);
        case SearchOperator::Xor:
            return in1 != FFinder2.In(begin, end);
        case SearchOperator::AndNot:
            return in1 && !FFinder2.In(begin, end);
        }
        return false;
    }

    SearchRun& FRun;
    const SearchRequest& FRequest;
    RunCounters& FCounters;
    EntryBuffer& FOut;
    const LiteralFinder& FFinder1;
    const LiteralFinder& FFinder2;
    RegexLineTest* FRegex; // the run's line test when its strings are regular expressions
    Window FWindow;
    std::int64_t FLines = 0; // lines of this file counted so far
    std::int64_t FNextStatus; // line number of the next periodic update
    bool FStopped = false;
    bool FTooComplex = false;
    bool FCheckpointDue = false; // a recorded periodic update waits for the next look at the cancel request
    bool FHave1 = false; // FNext1 is the first hit of string 1 at or after the last look
    bool FHave2 = false;
    const char* FNext1 = nullptr;
    const char* FNext2 = nullptr;
};

} // namespace FastScan
