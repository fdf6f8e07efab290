// The windowed scan behind ScanFile. It searches whole windows of a file with the SIMD finder and
// only looks at the lines that hold a candidate; the lines in between are counted, not read one
// by one. Everything a line-by-line reader makes observable stays the same: entries, counters,
// line numbers, the status updates after every RefreshRate lines with the position figure that
// reader would have had, the stop after one occurrence and the cancel between lines.

#include "search/FastScan.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csetjmp>
#include <csignal>
#include <cstring>
#include <limits>
#include <mutex>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "search/LineEnds.h"
#include "search/LineReader.h"
#include "search/LiteralFinder.h"
#include "search/RunFlags.h"
#include "search/SearchRun.h"

namespace {

constexpr char Lf = '\n';
constexpr char Cr = '\r';
constexpr std::size_t OutputFlushSize = 256 * 1024;

/// Which bytes end lines in a window.
enum class Ends {
    Lf, // Unix rule, and the window holds no carriage return
    Mixed, // Unix rule with carriage returns present: LF, CR and CR LF
    Cr, // DOS rule: CR and CR LF; a lone LF is part of the line
};

/// A stretch of the file holding whole lines: Begin is a line start, End is a line start or the end
/// of the data (the end of the file or a byte 26).
struct Window {
    const char* Begin = nullptr;
    const char* End = nullptr;
    std::int64_t Offset = 0; // file offset of Begin
    bool Last = false; // nothing follows End
    bool EndsAt26 = false; // End stands on a byte 26
    Ends Mode = Ends::Lf;
    bool Checked = true; // Mode and End are known to be right (CR and byte 26 looked for)
};

/// Reported entries collected in one large buffer and handed to the sink in bulk.
class EntryBuffer {
public:
    EntryBuffer(EntrySink& sink, bool numbered)
        : FSink(sink)
        , FNumbered(numbered)
    {
        FBytes.reserve(OutputFlushSize + 4096);
    }

    void Append(std::int64_t lineNumber, const char* begin, const char* end)
    {
        StartEntry();
        char digits[24];
        char* p = digits + sizeof digits;
        if (FNumbered) {
            auto n = static_cast<std::uint64_t>(lineNumber);
            do {
                *--p = static_cast<char>('0' + n % 10);
                n /= 10;
            } while (n != 0);
        }
        if (end - begin >= static_cast<std::ptrdiff_t>(OutputFlushSize)) {
            // A huge line goes to the sink on its own: copied once at most, never into a growing buffer.
            Flush();
            if (!FNumbered) {
                FSink.WriteLogLine(std::string_view(begin, static_cast<std::size_t>(end - begin)));
                return;
            }
            std::string entry;
            entry.reserve(static_cast<std::size_t>(digits + sizeof digits - p) + 3 + static_cast<std::size_t>(end - begin));
            entry.append(p, digits + sizeof digits).append(" : ").append(begin, end);
            FSink.WriteLogLine(entry);
            return;
        }
        if (FNumbered) {
            FBytes.append(p, digits + sizeof digits);
            FBytes.append(" : ", 3);
        }
        FBytes.append(begin, end);
        FBytes.push_back(Cr);
        if (FBytes.size() >= OutputFlushSize) {
            Flush();
        }
    }

    /// Whole lines ended by LF, as entries: the same bytes with every LF turned into byte 13.
    void AppendLines(const char* begin, const char* end)
    {
        StartEntry();
        const std::size_t at = FBytes.size();
        FBytes.resize(at + static_cast<std::size_t>(end - begin));
        CopyReplacing(FBytes.data() + at, begin, static_cast<std::size_t>(end - begin), Lf, Cr);
        if (FBytes.size() >= OutputFlushSize) {
            Flush();
        }
    }

    /// Ends the entry whose text the last AppendLines left open.
    void EndEntry() { FBytes.push_back(Cr); }

    void Flush()
    {
        if (!FBytes.empty()) {
            FSink.WriteReportedEntries(FBytes, FClearCount);
            FBytes.clear();
        }
    }

private:
    /// Entries wait here a while before the sink sees them; a Clear of the log in that time must still
    /// remove the ones reported before it, as it would had they been written at once.
    void StartEntry()
    {
        const std::uint64_t clears = FSink.ClearCount();
        if (clears != FClearCount) {
            FBytes.clear();
            FClearCount = clears;
        }
    }

    EntrySink& FSink;
    bool FNumbered;
    std::string FBytes;
    std::uint64_t FClearCount = FSink.ClearCount(); // the sink's count when the buffered entries were reported
};

const char* LastOf(const char* begin, const char* end, char c)
{
    return begin < end ? static_cast<const char*>(::memrchr(begin, c, static_cast<std::size_t>(end - begin)))
                       : nullptr;
}

/// The last line end in [begin, end) under the mode's rule, or nullptr.
const char* LastTerminator(const char* begin, const char* end, Ends mode)
{
    switch (mode) {
    case Ends::Lf:
        return LastOf(begin, end, Lf);
    case Ends::Cr:
        return LastOf(begin, end, Cr);
    case Ends::Mixed:
        break;
    }
    return std::max(LastOf(begin, end, Lf), LastOf(begin, end, Cr), std::less<>());
}

/// Where the next line starts after the line end t; a CR directly followed by LF ends a line once.
const char* AfterEnd(const char* t, const char* end)
{
    if (t == end) {
        return end;
    }
    return *t == Cr && t + 1 < end && t[1] == Lf ? t + 2 : t + 1;
}

/// Scans the windows of one file.
class WindowScanner {
public:
    WindowScanner(SearchRun& run, const SearchRequest& request, RunCounters& counters, EntryBuffer& out)
        : FRun(run)
        , FRequest(request)
        , FCounters(counters)
        , FOut(out)
        , FFinder1(request.Pattern1, !request.CaseSensitive)
        , FFinder2(request.Pattern2, !request.CaseSensitive)
        , FNextStatus(request.RefreshRate > 0 ? request.RefreshRate : std::numeric_limits<std::int64_t>::max())
    {
    }

    /// Bytes counted at once while looking for the line of a status update (small windows, small chunks).
    std::ptrdiff_t CountChunk = 16 * 1024;

    /// Bytes the file offers so far (its size for a mapped file): the limit of the position figure.
    std::int64_t Available = 0;

    /// True once the file's scan must end (one occurrence reported, or cancel).
    bool Stopped() const { return FStopped; }

    /// Whether windows may skip the up-front check for CR and byte 26: the one-pass kernel watches
    /// for them itself. Reverse Logic that writes its lines one by one (numbered, DOS text, or
    /// stopping at one) takes the checked loop instead.
    bool CountsWhileFinding() const
    {
        return !FRequest.ReverseLogic || ReportsInBulk();
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
        if (!w.Checked) {
            ScanCounting(w.Begin);
        } else {
            ScanChecked(w.Begin);
        }
        w = FWindow;
    }

private:
    /// The one-pass loop: lines are counted by the finding kernel, and only lines holding a hit of
    /// string 1 and the lines of status updates are looked at. A CR (Unix) or byte 26 sends the rest of
    /// the window to the checked loop.
    void ScanCounting(const char* a)
    {
        const bool dos = FWindow.Mode == Ends::Cr;
        const char term = dos ? Cr : Lf;
        const char bad1 = 26;
        const char bad2 = dos ? 26 : Cr;
        // Or and Xor take candidates from either string; the others from string 1 alone.
        const SearchOperator op = FRequest.Operator;
        const bool either = op == SearchOperator::Or || op == SearchOperator::Xor;
        const LiteralFinder& finder = either && FFinder1.Empty() ? FFinder2 : FFinder1;
        const LiteralFinder* other = either && !FFinder1.Empty() && !FFinder2.Empty() ? &FFinder2 : nullptr;
        const bool bulk = FRequest.ReverseLogic;
        while (a < FWindow.End) {
            if (CancelRequested.load(std::memory_order_relaxed)) {
                FStopped = true;
                return;
            }
            const auto limit = static_cast<std::size_t>(
                std::min<std::int64_t>(FNextStatus - FLines, std::numeric_limits<std::int32_t>::max()));
            const CountedFind r = finder.FindCounting(a, FWindow.End, term, bad1, bad2, limit, other);
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
                const char* from = std::max(r.At, lineStart);
                const char* lineEnd = LineEnd(from);
                if (FindEither(from, lineEnd, bad1, bad2) != nullptr) {
                    Recheck(lineStart);
                    return;
                }
                HandleLine(lineStart, lineEnd, Evaluate(lineStart, lineEnd, r.At) != FRequest.ReverseLogic);
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
                        FOut.EndEntry();
                    }
                }
                return;
            }
        }
    }

    /// Learns what the rest of the window holds (CR, byte 26) and scans it with the checked loop.
    void Recheck(const char* a)
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
        ScanChecked(a);
    }

    /// The loop for windows whose line ends are known: candidates from either string, Reverse Logic.
    void ScanChecked(const char* a)
    {
        FHave1 = FHave2 = false;
        while (a < FWindow.End) {
            if (CancelRequested.load(std::memory_order_relaxed)) {
                FStopped = true;
                return;
            }
            const char* hit = NextCandidate(a);
            const char* lineStart = hit != nullptr ? LineStart(hit, a) : FWindow.End;
            a = FRequest.ReverseLogic ? ReportLines(a, lineStart) : SkipLines(a, lineStart);
            if (FStopped || hit == nullptr || a < lineStart) {
                return;
            }
            const char* lineEnd = LineEnd(std::max(hit, lineStart));
            HandleLine(lineStart, lineEnd, Evaluate(lineStart, lineEnd, hit) != FRequest.ReverseLogic);
            if (FStopped) {
                return;
            }
            a = AfterEnd(lineEnd, FWindow.End);
        }
    }

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
    std::int64_t CountLines(const char* a, const char* b) const
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

    /// The line end of the k-th line from a (k >= 1); End for an unterminated last line.
    const char* NthLineEnd(const char* a, std::int64_t k) const
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

    /// Whole 128-byte blocks a 128-byte buffer would have fetched once the line ending at t was read.
    std::int64_t PositionBlocksAfter(const char* t) const
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
        const std::int64_t rounded = (looked + StatusBlockSize - 1) / StatusBlockSize * StatusBlockSize;
        return std::min(rounded, Available) / StatusBlockSize;
    }

    void StatusAfter(const char* lineEnd)
    {
        FRun.PeriodicStatusUpdate(PositionBlocksAfter(lineEnd));
        FNextStatus += FRequest.RefreshRate;
    }

    /// Counts the lines of [a, b), none of them reported, with the status updates that fall among
    /// them; gives where it stopped (b, or the line after a status update that met a cancel).
    const char* SkipLines(const char* a, const char* b)
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
            if (CancelRequested.load(std::memory_order_relaxed)) {
                FStopped = true;
                return a;
            }
        }
        FLines += n;
        FCounters.LinesSearched += n;
        return b;
    }

    /// Reports every line of [a, b) (Reverse Logic between candidates); gives where it stopped.
    const char* ReportLines(const char* a, const char* b)
    {
        while (a < b) {
            const char* t = LineEnd(a);
            HandleLine(a, t, true);
            a = AfterEnd(t, FWindow.End);
            if (FStopped) {
                break;
            }
            if (CancelRequested.load(std::memory_order_relaxed)) {
                FStopped = true;
                break;
            }
        }
        return a;
    }

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
        const bool in1 = hitIsFirst && hit >= begin && hit + FFinder1.Size() <= end ? true
                                                                                     : FFinder1.In(begin, end);
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
    LiteralFinder FFinder1;
    LiteralFinder FFinder2;
    Window FWindow;
    std::int64_t FLines = 0; // lines of this file counted so far
    std::int64_t FNextStatus; // line number of the next periodic update
    bool FStopped = false;
    bool FHave1 = false; // FNext1 is the first hit of string 1 at or after the last look
    bool FHave2 = false;
    const char* FNext1 = nullptr;
    const char* FNext2 = nullptr;
};

/// Cuts a window out of [begin, limit): up to its last complete line end, or everything when the
/// data ends at limit. Gives false when no line ends in it yet (more data is needed). Unchecked, it
/// leaves CR and byte 26 to the scan and assumes the format's usual line end.
bool CutWindow(const char* begin, const char* limit, bool dataEndsHere, LineFormat format, bool check, Window& w)
{
    w.Begin = begin;
    w.Last = false;
    w.EndsAt26 = false;
    if (!check) {
        w.Mode = format == LineFormat::Dos ? Ends::Cr : Ends::Lf;
        w.Checked = false;
        if (dataEndsHere) {
            w.End = limit;
            w.Last = true;
            return true;
        }
        // The last byte stays out of the search: a CR there may yet be followed by a LF.
        if (const char* t = LastTerminator(begin, limit - 1, w.Mode)) {
            w.End = AfterEnd(t, limit);
            return true;
        }
        // No LF at all (a CR-only file, say): the checked cut finds its line ends.
    }
    const WindowFlags flags = ScanWindow(begin, limit);
    w.Checked = true;
    w.Mode = format == LineFormat::Dos ? Ends::Cr : flags.HasCr ? Ends::Mixed : Ends::Lf;
    if (flags.First26 != nullptr) {
        w.End = flags.First26;
        w.Last = true;
        w.EndsAt26 = true;
        return true;
    }
    if (dataEndsHere) {
        w.End = limit;
        w.Last = true;
        return true;
    }
    const char* t = LastTerminator(begin, limit - 1, w.Mode);
    if (t == nullptr) {
        return false;
    }
    w.End = AfterEnd(t, limit);
    return true;
}

// A mapped file that shrinks under us raises SIGBUS on the first access past its new end; the
// scan of that file then ends there instead of the program.
thread_local sigjmp_buf* tMappedReadGuard = nullptr;

void OnBusError(int signal, siginfo_t*, void*)
{
    if (sigjmp_buf* guard = tMappedReadGuard) {
        tMappedReadGuard = nullptr;
        siglongjmp(*guard, 1);
    }
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void InstallBusErrorHandler()
{
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction action {};
        action.sa_sigaction = OnBusError;
        action.sa_flags = SA_SIGINFO | SA_NODEFER;
        sigemptyset(&action.sa_mask);
        sigaction(SIGBUS, &action, nullptr);
    });
}

/// Scans a mapped regular file; gives false when the file shrank while it was read.
bool ScanMapped(WindowScanner& scanner, const char* data, std::int64_t size, const FastScanOptions& options,
                LineFormat format)
{
    struct Disarm {
        ~Disarm() { tMappedReadGuard = nullptr; } // also when the sink throws
    } disarm;
    sigjmp_buf guard;
    if (sigsetjmp(guard, 1) != 0) {
        return false;
    }
    tMappedReadGuard = &guard;
    std::int64_t pos = 0;
    std::size_t window = std::max<std::size_t>(options.Window, 2);
    while (pos < size && !scanner.Stopped()) {
        const std::int64_t limit = std::min<std::int64_t>(size, pos + static_cast<std::int64_t>(window));
        Window w;
        if (!CutWindow(data + pos, data + limit, limit == size, format, !scanner.CountsWhileFinding(), w)) {
            // A line longer than the window: the window reaches to the line's end (and the LF that
            // may follow a CR there).
            const char* from = data + limit - 1;
            const char* end = data + size;
            const void* t = format == LineFormat::Dos ? std::memchr(from, Cr, static_cast<std::size_t>(end - from))
                                                      : FindEither(from, end, Lf, Cr);
            window = t != nullptr ? static_cast<std::size_t>(static_cast<const char*>(t) + 2 - (data + pos))
                                  : static_cast<std::size_t>(size - pos);
            continue;
        }
        window = std::max<std::size_t>(options.Window, 2);
        w.Offset = pos;
        scanner.Scan(w);
        if (w.Last) {
            break;
        }
        pos += w.End - w.Begin;
    }
    return true;
}

/// Scans with read(): pipes, standard input, and whatever cannot be mapped. Gives the errno of a
/// failed read, or 0.
int ScanRead(WindowScanner& scanner, int fd, const FastScanOptions& options, LineFormat format,
             bool sized, std::int64_t& fetched)
{
    std::vector<char> buffer(std::max<std::size_t>(options.Window, 2));
    std::size_t held = 0; // bytes in the buffer, from a line start
    std::int64_t offset = 0; // file offset of buffer[0]
    bool atEnd = false;
    int error = 0;
    while (!scanner.Stopped()) {
        while (held < buffer.size() && !atEnd) {
            const ssize_t got = ::read(fd, buffer.data() + held, buffer.size() - held);
            if (got > 0) {
                held += static_cast<std::size_t>(got);
                fetched += got;
            } else if (got < 0 && errno == EINTR) {
                continue;
            } else {
                error = got < 0 ? errno : 0;
                atEnd = true;
            }
        }
        if (held == 0) {
            break;
        }
        if (!sized) {
            scanner.Available = fetched;
        }
        Window w;
        if (!CutWindow(buffer.data(), buffer.data() + held, atEnd, format, !scanner.CountsWhileFinding() || error != 0, w)) {
            buffer.resize(buffer.size() * 2); // a line longer than the buffer
            continue;
        }
        w.Offset = offset;
        if (error != 0 && !w.EndsAt26) {
            // The line in hand when reading failed is incomplete: only whole lines before it count.
            // A CR as the very last byte is incomplete too: the reader could not look past it.
            const char* t = LastTerminator(w.Begin, w.End, w.Mode);
            if (t != nullptr && *t == Cr && t + 1 == w.End) {
                t = LastTerminator(w.Begin, t, w.Mode);
            }
            if (t == nullptr) {
                break;
            }
            w.End = AfterEnd(t, w.End);
            w.Last = true;
        }
        scanner.Scan(w);
        if (w.Last) {
            break;
        }
        const std::size_t used = static_cast<std::size_t>(w.End - w.Begin);
        std::memmove(buffer.data(), buffer.data() + used, held - used);
        held -= used;
        offset += static_cast<std::int64_t>(used);
    }
    return error;
}

} // namespace

void EntrySink::WriteLogEntries(std::string_view entries)
{
    // Texts never hold byte 13, so each one ends at the next.
    while (!entries.empty()) {
        const std::size_t end = entries.find('\r');
        WriteLogLine(entries.substr(0, end));
        entries.remove_prefix(end == std::string_view::npos ? entries.size() : end + 1);
    }
}

bool SearchRun::ScanFileFast(const std::string& fileName, const FastScanOptions& options)
{
    const int fd = ::open(FHost.PathToOpen(fileName).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        ReportFailure(fileName, SystemReason(errno));
        return false;
    }
    struct stat info {};
    const bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    const std::int64_t size = regular ? info.st_size : -1;

    EntryBuffer out(FLog, FRequest.LineNumbering);
    WindowScanner scanner(*this, FRequest, FCounters, out);
    scanner.CountChunk = static_cast<std::ptrdiff_t>(std::clamp<std::size_t>(options.Window / 8, 1, 16 * 1024));
    std::string failure;
    std::int64_t endBlocks = regular ? size / StatusBlockSize : 0;
    void* map = MAP_FAILED;
    // A size of 0 is read anyway: procfs files claim it and still hold bytes.
    if (regular && size > 0 && !options.ReadOnly) {
        map = ::mmap(nullptr, static_cast<std::size_t>(size), PROT_READ, MAP_PRIVATE, fd, 0);
    }
    try {
        if (map != MAP_FAILED) {
            ::madvise(map, static_cast<std::size_t>(size), MADV_SEQUENTIAL);
            InstallBusErrorHandler();
            scanner.Available = size;
            if (!ScanMapped(scanner, static_cast<const char*>(map), size, options, FRequest.LineFormat)) {
                failure = "The file was shortened while it was read";
            }
        } else {
            // The position figure of a file with a size is limited by that size, as for the line reader;
            // otherwise by what has been fetched so far.
            std::int64_t fetched = 0;
            const bool sized = regular && size > 0;
            scanner.Available = size;
            if (const int error = ScanRead(scanner, fd, options, FRequest.LineFormat, sized, fetched); error != 0) {
                failure = SystemReason(error);
            }
            if (!regular) {
                endBlocks = fetched / StatusBlockSize;
            }
        }
        out.Flush();
    } catch (...) {
        if (map != MAP_FAILED) {
            ::munmap(map, static_cast<std::size_t>(size));
        }
        ::close(fd);
        throw;
    }
    if (map != MAP_FAILED) {
        ::munmap(map, static_cast<std::size_t>(size));
    }
    ::close(fd);
    EndOfFileStatusUpdate(endBlocks);
    if (!failure.empty()) {
        ReportFailure(fileName, failure);
        return false;
    }
    return true;
}
