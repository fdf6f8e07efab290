// The windowed scan of a run whose strings are regular expressions. Windows are cut checked (their
// line ends and byte 26 known), candidates come from the literals the patterns require, found in the
// whole window, and PCRE2 sees only the lines around them; the lines between are counted, or written
// as they stand under Reverse Logic, exactly as for literal strings.

#include "search/WindowScanner.h"

#include <cerrno>
#include <csetjmp>
#include <sys/mman.h>

namespace FastScan {

namespace {

    /// The text of a spill file, mapped for the length of a test.
    class SpillView {
    public:
        explicit SpillView(const SpillFile& spill)
            : FSize(static_cast<std::size_t>(spill.Size()))
        {
            if (FSize != 0) {
                FMap = ::mmap(nullptr, FSize, PROT_READ, MAP_PRIVATE, spill.Fd(), 0);
            }
        }
        ~SpillView()
        {
            if (FMap != MAP_FAILED) {
                ::munmap(FMap, FSize);
            }
        }
        SpillView(const SpillView&) = delete;
        SpillView& operator=(const SpillView&) = delete;

        bool Failed() const { return FSize != 0 && FMap == MAP_FAILED; }
        const char* Begin() const { return FSize != 0 ? static_cast<const char*>(FMap) : ""; }
        const char* End() const { return Begin() + FSize; }

    private:
        std::size_t FSize;
        void* FMap = MAP_FAILED;
    };

    /// The line's outcome and, when it is reported and words are counted, its words.
    struct SpillTest {
        RegexOutcome Outcome = RegexOutcome::NoMatch;
        std::int64_t Words = 0;
        bool WordsTooComplex = false; // counting the words of the reported line went past the limits
        bool Faulted = false; // reading the spill file's mapping failed (an I/O error)
    };

    SpillTest TestSpilled(RegexLineTest& test, const SpillView& view, const SearchRequest& request)
    {
        SpillTest result;
        sigjmp_buf guard;
        if (sigsetjmp(guard, 1) != 0) {
            result.Faulted = true;
            return result;
        }
        InstallBusErrorHandler();
        tMappedReadGuard = &guard;
        std::atomic_signal_fence(std::memory_order_seq_cst);
        result.Outcome = test.Test(view.Begin(), view.End());
        const bool reported = result.Outcome != RegexOutcome::TooComplex &&
                              (result.Outcome == RegexOutcome::Match) != request.ReverseLogic;
        if (reported && request.CountWords && !request.OneOccurrence) {
            result.WordsTooComplex =
                test.CountWords(view.Begin(), view.End(), result.Words) == RegexOutcome::TooComplex;
        }
        std::atomic_signal_fence(std::memory_order_seq_cst);
        tMappedReadGuard = nullptr;
        return result;
    }

} // namespace

void WindowScanner::ScanRegex(const char* a)
{
    FRegex->Restart();
    while (a < FWindow.End) {
        if (Interrupted()) {
            FStopped = true;
            return;
        }
        const char* hit = FRegex->NextCandidate(a, FWindow.End);
        const char* lineStart = hit != nullptr ? LineStart(hit, a) : FWindow.End;
        a = FRequest.ReverseLogic ? ReportLines(a, lineStart) : SkipLines(a, lineStart);
        if (FStopped || hit == nullptr || a < lineStart) {
            return;
        }
        if (lineStart > hit) {
            // The LF of a CR LF pair (a literal holding a line end): part of no line.
            continue;
        }
        const char* lineEnd = LineEnd(std::max(hit, lineStart));
        const RegexOutcome outcome = FRegex->Test(lineStart, lineEnd);
        if (outcome == RegexOutcome::TooComplex) {
            // The line is not counted; the file's scan ends before it, as at a failed read.
            FTooComplex = FStopped = true;
            return;
        }
        HandleRegexLine(lineStart, lineEnd, (outcome == RegexOutcome::Match) != FRequest.ReverseLogic);
        if (FStopped) {
            return;
        }
        a = AfterEnd(lineEnd, FWindow.End);
    }
}

void WindowScanner::HandleRegexLine(const char* begin, const char* end, bool reported)
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
    if (FRequest.CountWords &&
        FRegex->CountWords(begin, end, FCounters.WordsFound) == RegexOutcome::TooComplex) {
        FTooComplex = FStopped = true;
    }
}

LongLineEnd WindowScanner::ScanLongRegexLine(ReadStream& s, bool sized)
{
    SpillFile spill;
    const bool dos = FRequest.LineFormat == LineFormat::Dos;
    std::size_t pos = 0;
    const char* t = nullptr;
    // failed: reading (or keeping the line's text) failed, rather than a cancel.
    auto giveUp = [&](bool failed = true) {
        FStopped = true;
        LongLineEnd end;
        end.Failed = failed;
        return end;
    };
    // The whole line goes to the spill file: no part of it decides a pattern's match before the end.
    for (;;) {
        if (Interrupted()) {
            return giveUp(false);
        }
        const char* begin = s.Buffer + pos;
        t = FirstLineEnd(begin, s.Buffer + s.Held, dos);
        const char* textEnd = t != nullptr ? t : s.Buffer + s.Held;
        if (const int error = spill.Write(begin, textEnd); error != 0) {
            s.Error = error;
            return giveUp();
        }
        if (t != nullptr) {
            break;
        }
        s.Consume(s.Held);
        s.Fill();
        if (!sized) {
            Available = s.Fetched;
        }
        pos = 0;
        if (s.Held == 0) {
            if (s.Error != 0) {
                return giveUp();
            }
            break; // the unterminated last line
        }
    }
    std::int64_t looked = 0;
    const LongLineEnd end = EndLongLine(s, t, sized, looked);
    if (!end.Done) {
        return giveUp();
    }
    SpillTest test;
    {
        const SpillView view(spill);
        if (view.Failed()) {
            s.Error = errno != 0 ? errno : ENOMEM;
            return giveUp();
        }
        test = TestSpilled(*FRegex, view, FRequest);
    }
    if (test.Faulted) {
        s.Error = EIO;
        return giveUp();
    }
    if (test.Outcome == RegexOutcome::TooComplex) {
        FTooComplex = true;
        return giveUp();
    }
    const bool reported = (test.Outcome == RegexOutcome::Match) != FRequest.ReverseLogic;
    ++FLines;
    ++FCounters.LinesSearched;
    if (FLines == FNextStatus) {
        StatusAt(BlocksLooked(looked));
    }
    if (!reported) {
        return end;
    }
    FOut.BeginEntry(FLines);
    if (!FOut.AppendFromFile(spill.Fd(), spill.Size())) {
        s.Error = errno != 0 ? errno : EIO;
        FOut.DropOpen();
        return giveUp();
    }
    FOut.EndEntry(nullptr);
    ++FCounters.LinesFound;
    if (FRequest.OneOccurrence) {
        FStopped = true;
    } else {
        FCounters.WordsFound += test.Words;
        if (test.WordsTooComplex) {
            FTooComplex = FStopped = true;
        }
    }
    return end;
}

} // namespace FastScan
