#include "search/WindowScanner.h"

#include <algorithm>
#include <cerrno>
#include <optional>

namespace FastScan {

LongLineEnd WindowScanner::ScanLongLine(ReadStream& s, bool sized)
{
    if (FRegex != nullptr) {
        return ScanLongRegexLine(s, sized);
    }
    PieceTest test(FRequest, FFinder1, FFinder2);
    SpillFile spill;
    const bool dos = FRequest.LineFormat == LineFormat::Dos;
    const std::int64_t number = FLines + 1;
    bool open = false; // the entry is being written
    bool rejected = false;
    std::size_t pos = 0;
    const char* t = nullptr;
    // failed: reading (or keeping the line's text) failed, rather than a cancel.
    auto giveUp = [&](bool failed = true) {
        if (open) {
            FOut.DropOpen();
        }
        FStopped = true;
        LongLineEnd end;
        end.Failed = failed;
        return end;
    };
    auto openEntry = [&] {
        FOut.BeginEntry(number);
        if (spill.Size() != 0 && !FOut.AppendFromFile(spill.Fd(), spill.Size())) {
            s.Error = errno != 0 ? errno : EIO;
            return false;
        }
        spill.Close();
        open = true;
        return true;
    };
    for (;;) {
        if (Interrupted()) {
            return giveUp(false);
        }
        const char* begin = s.Buffer + pos;
        t = FirstLineEnd(begin, s.Buffer + s.Held, dos);
        const char* textEnd = t != nullptr ? t : s.Buffer + s.Held;
        test.Feed(begin, textEnd);
        if (!open && !rejected) {
            if (const std::optional<bool> early = test.Early()) {
                if (*early == FRequest.ReverseLogic) {
                    rejected = true;
                    spill.Close();
                } else if (!openEntry()) {
                    return giveUp();
                }
            }
        }
        if (open) {
            FOut.AppendText(begin, textEnd);
        } else if (!rejected) {
            if (const int error = spill.Write(begin, textEnd); error != 0) {
                s.Error = error;
                return giveUp();
            }
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
    const bool reported = test.Final() != FRequest.ReverseLogic;
    if (reported && !open && !openEntry()) {
        return giveUp();
    }
    ++FLines;
    ++FCounters.LinesSearched;
    if (FLines == FNextStatus) {
        StatusAt(BlocksLooked(looked));
    }
    if (reported) {
        FOut.EndEntry(nullptr);
        ++FCounters.LinesFound;
        if (FRequest.OneOccurrence) {
            FStopped = true;
        } else if (FRequest.CountWords) {
            FCounters.WordsFound += test.Words();
        }
    }
    return end;
}

LongLineEnd WindowScanner::EndLongLine(ReadStream& s, const char* t, bool sized, std::int64_t& looked)
{
    LongLineEnd end{true, 0, false};
    looked = Available;
    if (t != nullptr) {
        const std::int64_t at = s.Offset + (t - s.Buffer);
        const char term = *t; // the buffer may be refilled below
        end.Next = static_cast<std::size_t>(t - s.Buffer) + 1;
        if (term == 26) {
            end.Next = static_cast<std::size_t>(t - s.Buffer);
            end.DataEnds = true;
        } else if (term == Cr) {
            if (end.Next == s.Held && !s.AtEnd) {
                // The byte after the CR decides whether a LF belongs to this line end.
                s.Consume(s.Held);
                s.Fill();
                if (!sized) {
                    Available = s.Fetched;
                }
                end.Next = 0;
            }
            if (end.Next == s.Held && s.Error != 0) {
                // Reading failed where the byte after the CR was to be looked at: the line is incomplete.
                end.Done = false;
                end.Failed = true;
                return end;
            }
            if (end.Next < s.Held && s.Buffer[end.Next] == Lf) {
                ++end.Next;
            }
        }
        looked = term == Cr && at + 1 < Available ? at + 2 : at + 1;
    }
    return end;
}

void WindowScanner::ScanCounting(const char* a)
{
    // Or and Xor take candidates from either string; the others from string 1 alone.
    const SearchOperator op = FRequest.Operator;
    const bool either = op == SearchOperator::Or || op == SearchOperator::Xor;
    const LiteralFinder& finder = either && FFinder1.Empty() ? FFinder2 : FFinder1;
    const LiteralFinder* other = either && !FFinder1.Empty() && !FFinder2.Empty() ? &FFinder2 : nullptr;
    ScanCountingWith(
        a,
        [&](const char* from, char term, char bad1, char bad2, std::size_t limit) {
            return finder.FindCounting(from, FWindow.End, term, bad1, bad2, limit, other);
        },
        [this](const char* lineStart, const char* lineEnd, const char* hit) {
            HandleLine(lineStart, lineEnd, Evaluate(lineStart, lineEnd, hit) != FRequest.ReverseLogic);
        });
}

void WindowScanner::ScanRegexCounting(const char* a)
{
    const std::span<const LiteralFinder* const> literals = FRegex->CandidateLiterals();
    const auto handle = [this](const char* lineStart, const char* lineEnd, const char*) {
        const RegexOutcome outcome = FRegex->Test(lineStart, lineEnd);
        if (outcome == RegexOutcome::TooComplex) {
            FTooComplex = FStopped = true;
            return;
        }
        HandleRegexLine(lineStart, lineEnd, (outcome == RegexOutcome::Match) != FRequest.ReverseLogic);
    };
    if (literals.size() <= 2) {
        // The finder's own kernel for one needle or two.
        const LiteralFinder* other = literals.size() == 2 ? literals[1] : nullptr;
        ScanCountingWith(
            a,
            [&](const char* from, char term, char bad1, char bad2, std::size_t limit) {
                return literals[0]->FindCounting(from, FWindow.End, term, bad1, bad2, limit, other);
            },
            handle);
        return;
    }
    ScanCountingWith(
        a,
        [&](const char* from, char term, char bad1, char bad2, std::size_t limit) {
            return LiteralFinder::FindCountingAny(literals, from, FWindow.End, term, bad1, bad2, limit);
        },
        handle);
}

template <class Find, class HandleCandidate>
void WindowScanner::ScanCountingWith(const char* a, const Find& find, const HandleCandidate& handle)
{
    const bool dos = FWindow.Mode == Ends::Cr;
    const char term = dos ? Cr : Lf;
    const char bad1 = 26;
    const char bad2 = dos ? 26 : Cr;
    const bool bulk = FRequest.ReverseLogic;
    while (a < FWindow.End) {
        if (Interrupted()) {
            FStopped = true;
            return;
        }
        const auto limit = static_cast<std::size_t>(
            std::min<std::int64_t>(FNextStatus - FLines, std::numeric_limits<std::int32_t>::max()));
        const CountedFind r = find(a, term, bad1, bad2, limit);
        FLines += static_cast<std::int64_t>(r.Terms);
        FCounters.LinesSearched += static_cast<std::int64_t>(r.Terms);
        if (bulk) {
            FCounters.LinesFound += static_cast<std::int64_t>(r.Terms);
        }
        switch (r.Stop) {
        case CountedStop::Limit:
            ++FLines;
            ++FCounters.LinesSearched;
            StatusAfter(r.At);
            if (bulk) {
                ++FCounters.LinesFound;
                FOut.AppendLines(a, r.At + 1);
            }
            a = AfterEnd(r.At, FWindow.End);
            continue;
        case CountedStop::Bad: {
            const char* lineStart = LineStart(r.At, a);
            if (bulk) {
                FOut.AppendLines(a, lineStart);
            }
            Recheck(lineStart);
            return;
        }
        case CountedStop::Hit: {
            const char* lineStart = LineStart(r.At, a);
            if (bulk) {
                FOut.AppendLines(a, lineStart);
            }
            if (lineStart > r.At) {
                // The hit was the LF of a CR LF pair, which belongs to no line: look on from the
                // line after it.
                a = lineStart;
                continue;
            }
            const char* from = std::max(r.At, lineStart);
            const char* lineEnd = LineEnd(from);
            if (FindEither(from, lineEnd, bad1, bad2) != nullptr) {
                Recheck(lineStart);
                return;
            }
            handle(lineStart, lineEnd, r.At);
            if (FStopped) {
                return;
            }
            a = AfterEnd(lineEnd, FWindow.End);
            continue;
        }
        case CountedStop::End:
            if (bulk) {
                FOut.AppendLines(a, FWindow.End);
            }
            if (FWindow.Last && a < FWindow.End && !EndsTerminated(a, FWindow.End)) {
                // The unterminated last line of the file: it holds no hit, so it is reported only
                // under Reverse Logic.
                ++FLines;
                ++FCounters.LinesSearched;
                if (FLines == FNextStatus) {
                    StatusAfter(FWindow.End);
                }
                if (bulk) {
                    ++FCounters.LinesFound;
                    FOut.EndEntry(FWindow.End);
                }
            }
            return;
        }
    }
}

void WindowScanner::Recheck(const char* a)
{
    const WindowFlags flags = ScanWindow(a, FWindow.End);
    if (flags.First26 != nullptr) {
        FWindow.End = flags.First26;
        FWindow.Last = true;
        FWindow.EndsAt26 = true;
    }
    if (FWindow.Mode != Ends::Cr && flags.HasCr) {
        FWindow.Mode = Ends::Mixed;
    }
    FWindow.Checked = true;
    if (FRegex != nullptr) {
        ScanRegex(a);
    } else {
        ScanChecked(a);
    }
}

void WindowScanner::ScanChecked(const char* a)
{
    FHave1 = FHave2 = false;
    while (a < FWindow.End) {
        if (Interrupted()) {
            FStopped = true;
            return;
        }
        const char* hit = NextCandidate(a);
        const char* lineStart = hit != nullptr ? LineStart(hit, a) : FWindow.End;
        a = FRequest.ReverseLogic ? ReportLines(a, lineStart) : SkipLines(a, lineStart);
        if (FStopped || hit == nullptr || a < lineStart) {
            return;
        }
        if (lineStart > hit) {
            // The LF of a CR LF pair: part of no line, so no candidate.
            continue;
        }
        const char* lineEnd = LineEnd(std::max(hit, lineStart));
        HandleLine(lineStart, lineEnd, Evaluate(lineStart, lineEnd, hit) != FRequest.ReverseLogic);
        if (FStopped) {
            return;
        }
        a = AfterEnd(lineEnd, FWindow.End);
    }
}

std::int64_t WindowScanner::CountLines(const char* a, const char* b) const
{
    if (a >= b) {
        return 0;
    }
    std::int64_t n = 0;
    switch (FWindow.Mode) {
    case Ends::Lf:
        n = static_cast<std::int64_t>(CountByte(a, b, Lf));
        break;
    case Ends::Cr:
        n = static_cast<std::int64_t>(CountByte(a, b, Cr));
        break;
    case Ends::Mixed: {
        const TerminatorCounts c = CountTerminators(a, b);
        n = static_cast<std::int64_t>(c.Lf + c.Cr - c.CrLf);
        break;
    }
    }
    if (b == FWindow.End && FWindow.Last && !EndsTerminated(a, b)) {
        ++n;
    }
    return n;
}

const char* WindowScanner::NthLineEnd(const char* a, std::int64_t k) const
{
    // Whole chunks first, by counting; a chunk never splits a CR LF pair.
    while (FWindow.End - a > CountChunk) {
        const char* b = a + CountChunk;
        if (FWindow.Mode == Ends::Mixed && b[-1] == Cr && *b == Lf) {
            ++b;
        }
        std::int64_t n = 0;
        if (FWindow.Mode == Ends::Mixed) {
            const TerminatorCounts c = CountTerminators(a, b);
            n = static_cast<std::int64_t>(c.Lf + c.Cr - c.CrLf);
        } else {
            n = static_cast<std::int64_t>(CountByte(a, b, FWindow.Mode == Ends::Lf ? Lf : Cr));
        }
        if (n >= k) {
            break;
        }
        k -= n;
        a = b;
    }
    for (;;) {
        const char* t = LineEnd(a);
        if (--k == 0 || t == FWindow.End) {
            return t;
        }
        a = AfterEnd(t, FWindow.End);
    }
}

std::int64_t WindowScanner::PositionBlocksAfter(const char* t) const
{
    const std::int64_t at = FWindow.Offset + (t - FWindow.Begin);
    std::int64_t looked = 0;
    if (t < FWindow.End) {
        // The reader looks one byte past a CR to see whether a LF follows.
        looked = *t == Cr && at + 1 < Available ? at + 2 : at + 1;
    } else if (FWindow.EndsAt26) {
        looked = at + 1;
    } else {
        looked = Available;
    }
    return BlocksLooked(looked);
}

void WindowScanner::StatusAt(std::int64_t blocks)
{
    OutsideMapping outside;
    if (FRun.Recording()) {
        // Ahead of the writer, entries and updates must keep their order among each other.
        FOut.Flush();
        FCheckpointDue = true;
    }
    FRun.PeriodicStatusUpdate(blocks);
    FNextStatus += FRequest.RefreshRate;
}

const char* WindowScanner::SkipLines(const char* a, const char* b)
{
    std::int64_t n = CountLines(a, b);
    while (FLines + n >= FNextStatus) {
        const std::int64_t k = FNextStatus - FLines;
        const char* t = NthLineEnd(a, k);
        FLines += k;
        FCounters.LinesSearched += k;
        n -= k;
        StatusAfter(t);
        a = AfterEnd(t, FWindow.End);
        if (Interrupted()) {
            FStopped = true;
            return a;
        }
    }
    FLines += n;
    FCounters.LinesSearched += n;
    return b;
}

const char* WindowScanner::ReportLines(const char* a, const char* b)
{
    while (a < b) {
        const char* t = LineEnd(a);
        HandleLine(a, t, true);
        a = AfterEnd(t, FWindow.End);
        if (FStopped) {
            break;
        }
        if (Interrupted()) {
            FStopped = true;
            break;
        }
    }
    return a;
}

} // namespace FastScan
