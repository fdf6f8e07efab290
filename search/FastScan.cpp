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
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <optional>
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

// A mapped file that shrinks under us raises SIGBUS on the first access past its new end. The
// handler jumps back to where the scan of that file began, so only code that a jump may abandon
// runs while the guard is armed: it reads the mapping, counts, and copies into memory the scan
// owns. Everything that takes a lock, allocates or owns an object (the sink, the host) runs with
// the guard lifted (OutsideMapping); a fault there is not ours and ends the program as usual.
thread_local sigjmp_buf* tMappedReadGuard = nullptr;
thread_local const void* tFaultAddress = nullptr;

void OnBusError(int signal, siginfo_t* info, void*)
{
    if (sigjmp_buf* guard = tMappedReadGuard) {
        tMappedReadGuard = nullptr;
        tFaultAddress = info != nullptr ? info->si_addr : nullptr;
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

/// Lifts the guard for the scope of a call out of the scan.
class OutsideMapping {
public:
    OutsideMapping()
        : FSaved(tMappedReadGuard)
    {
        tMappedReadGuard = nullptr;
        std::atomic_signal_fence(std::memory_order_seq_cst);
    }
    ~OutsideMapping()
    {
        std::atomic_signal_fence(std::memory_order_seq_cst);
        tMappedReadGuard = FSaved;
    }
    OutsideMapping(const OutsideMapping&) = delete;
    OutsideMapping& operator=(const OutsideMapping&) = delete;

private:
    sigjmp_buf* FSaved;
};

/// Reported entries gathered in a buffer of fixed size that the run keeps, and handed to the sink
/// whenever it is full: a line of any length goes out in pieces, never whole. An entry whose line
/// cannot be finished (the file shrank under it, reading failed, cancel) is taken back.
class EntryBuffer {
public:
    EntryBuffer(EntrySink& sink, bool numbered, std::vector<char>& storage)
        : FSink(sink)
        , FNumbered(numbered)
        , FBytes(storage)
    {
        if (FBytes.size() < OutputFlushSize) {
            FBytes.resize(OutputFlushSize);
        }
    }

    /// Entries copied from a mapping are checked against the file's size before they leave, since a
    /// mapped file cut short reads as zero bytes up to the end of its last page.
    void WatchMapping(int fd, const char* base, std::int64_t size)
    {
        FWatchFd = fd;
        FBase = base;
        FDataEnd = base + size;
        FSources.resize(SourceLimit); // here, since the scan of the mapping may not allocate
        FSourceCount = 0;
    }

    /// One whole entry: the number (when numbered) and the line.
    void Append(std::int64_t lineNumber, const char* begin, const char* end)
    {
        BeginEntry(lineNumber);
        AppendText(begin, end);
        EndEntry(end);
    }

    /// Opens an entry: its number and " : " when numbered.
    void BeginEntry(std::int64_t lineNumber)
    {
        if (FShortened) {
            return;
        }
        StartEntry();
        FOpenAt = FSize;
        FOpen = true;
        std::atomic_signal_fence(std::memory_order_seq_cst);
        if (FNumbered) {
            char digits[24];
            char* p = digits + sizeof digits;
            auto n = static_cast<std::uint64_t>(lineNumber);
            do {
                *--p = static_cast<char>('0' + n % 10);
                n /= 10;
            } while (n != 0);
            Put(p, digits + sizeof digits);
            Put(" : ", " : " + 3);
        }
    }

    /// More text of the open entry.
    void AppendText(const char* begin, const char* end) { Put(begin, end); }

    /// More text of the open entry, read from the first size bytes of fd; false when that fails.
    bool AppendFromFile(int fd, std::int64_t size)
    {
        for (std::int64_t offset = 0; offset < size;) {
            if (FSize == FBytes.size()) {
                Flush();
            }
            const auto want = static_cast<std::size_t>(
                std::min<std::int64_t>(size - offset, static_cast<std::int64_t>(FBytes.size() - FSize)));
            const ssize_t got = ::pread(fd, FBytes.data() + FSize, want, offset);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                return false;
            }
            FSize += static_cast<std::size_t>(got);
            offset += got;
        }
        return true;
    }

    /// Ends the open entry whose text ends at sourceEnd (nullptr: not in a mapping). The unterminated
    /// last line of a mapped file stays open until Finish has seen that the file kept its size.
    void EndEntry(const char* sourceEnd)
    {
        if (FShortened || !FOpen) {
            return;
        }
        if (FWatchFd >= 0 && sourceEnd == FDataEnd) {
            FHeldLast = true;
            return;
        }
        Put("\r", "\r" + 1);
        FOpen = false;
    }

    /// Whole lines ended by LF, as entries: the same bytes with every LF turned into byte 13. The
    /// last of them may be left open (its text goes on with EndEntry).
    void AppendLines(const char* begin, const char* end)
    {
        if (begin == end || FShortened) {
            return;
        }
        StartEntry();
        if (!FOpen) {
            FOpenAt = FSize;
        }
        FOpen = true;
        std::atomic_signal_fence(std::memory_order_seq_cst);
        while (begin < end) {
            if (Full()) {
                Flush();
                if (FShortened) {
                    return; // the rest of these lines is gone from the file too
                }
            }
            const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(end - begin), FBytes.size() - FSize);
            NoteSource(begin, n);
            CopyReplacing(FBytes.data() + FSize, begin, n, Lf, Cr);
            std::atomic_signal_fence(std::memory_order_seq_cst);
            Copied(begin + n);
            // Entries end at the last byte 13; what follows it is the open entry.
            if (const void* cr = ::memrchr(FBytes.data() + FSize, Cr, n)) {
                FOpenAt = static_cast<std::size_t>(static_cast<const char*>(cr) - FBytes.data()) + 1;
            }
            FSize += n;
            begin += n;
        }
        FOpen = FOpenAt < FSize || (FOpenAt == 0 && FSinkOpen);
    }

    /// Hands what is gathered to the sink (outside the mapping's guard). What was copied from a
    /// mapped file that has since become shorter than it goes no further than the last whole entry
    /// before it, and nothing more is taken from that file.
    void Flush()
    {
        OutsideMapping outside;
        if (FWatchFd >= 0 && !FShortened) {
            CutAtFileEnd();
        }
        if (FSize != 0) {
            FSink.WriteReportedEntries(std::string_view(FBytes.data(), FSize), FClearCount);
            FSinkOpen = FBytes[FSize - 1] != Cr;
        }
        FOpenAt = 0;
        FSize = 0;
        FSourceCount = 0;
    }

    /// Takes back the open entry: from the buffer, and from the sink when part of it has gone out.
    void DropOpen()
    {
        if (!FOpen) {
            return;
        }
        FSize = FOpenAt;
        FOpen = FHeldLast = false;
        if (FSize == 0 && FSinkOpen) {
            OutsideMapping outside;
            FSinkOpen = false;
            FSink.DropOpenEntry();
        }
    }

    /// The end of a file's scan: a held last line is closed unless the file shrank, then everything
    /// goes to the sink.
    void Finish()
    {
        if (FWatchFd >= 0 && !FShortened) {
            CutAtFileEnd();
            // Even when nothing copied came from past its new end, the scan read zeros there.
            struct stat info {};
            if (!FShortened && ::fstat(FWatchFd, &info) == 0 && info.st_size < FDataEnd - FBase) {
                FShortened = true;
            }
        }
        if (FShortened) {
            DropOpen();
        } else if (FHeldLast) {
            FHeldLast = false;
            EndEntry(nullptr);
        }
        Flush();
    }

    /// True once the watched file was found shorter than what was copied from it.
    bool Shortened() const { return FShortened; }

private:
    /// Where a stretch of the buffer was copied from in the mapping.
    struct Source {
        std::size_t At = 0; // buffer offset of its first byte
        const char* From = nullptr;
        std::size_t Size = 0;
    };
    /// Stretches noted per buffer; the buffer goes to the sink early when they are used up.
    static constexpr std::size_t SourceLimit = 4096;

    /// Entries wait here a while before the sink sees them; a Clear of the log in that time must still
    /// remove the ones reported before it, as it would had they been written at once.
    void StartEntry()
    {
        const std::uint64_t clears = FSink.ClearCount();
        if (clears != FClearCount) {
            FSize = 0;
            FSourceCount = 0;
            FSinkOpen = false; // the emptied sink holds no piece of an entry any more
            FClearCount = clears;
        }
    }

    void Put(const char* begin, const char* end)
    {
        while (begin < end && !FShortened) {
            if (Full()) {
                Flush();
                if (FShortened) {
                    return; // the entry was taken back: the rest of its line must not follow alone
                }
            }
            const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(end - begin), FBytes.size() - FSize);
            NoteSource(begin, n);
            std::memcpy(FBytes.data() + FSize, begin, n);
            std::atomic_signal_fence(std::memory_order_seq_cst);
            Copied(begin + n);
            FSize += n;
            begin += n;
        }
    }

    /// No room for another byte, or (for a mapping) for another stretch's source.
    bool Full() const
    {
        return FSize == FBytes.size() || (FWatchFd >= 0 && FSourceCount == FSources.size());
    }

    /// Notes, before the copy, that n bytes at from (when in the mapping) go to the buffer's end.
    void NoteSource(const char* from, std::size_t n)
    {
        if (FWatchFd < 0 || from < FBase || from >= FDataEnd) {
            return;
        }
        if (FSourceCount != 0) {
            Source& last = FSources[FSourceCount - 1];
            if (last.At + last.Size == FSize && last.From + last.Size == from) {
                last.Size += n;
                return;
            }
        }
        FSources[FSourceCount++] = Source{FSize, from, n};
        std::atomic_signal_fence(std::memory_order_seq_cst);
    }

    void Copied(const char* to)
    {
        if (to > FBase && to <= FDataEnd) {
            FCopiedTo = std::max(FCopiedTo, to);
        }
    }

    /// Once the file is shorter than what was copied from it, keeps the whole entries copied
    /// from before its new end and drops the rest, the open entry too (also its part in the sink).
    void CutAtFileEnd()
    {
        struct stat info {};
        if (FCopiedTo == nullptr || ::fstat(FWatchFd, &info) != 0 || info.st_size >= FCopiedTo - FBase) {
            return;
        }
        FShortened = true;
        // The first byte in the buffer that came from past the new end. A line end seen in the
        // mapping was really there (bytes past the end read as zero), so only copied text is suspect.
        const char* valid = FBase + info.st_size;
        std::size_t suspect = FSize;
        for (std::size_t i = 0; i < FSourceCount; ++i) {
            const Source& s = FSources[i];
            if (s.From + s.Size > valid) {
                const std::ptrdiff_t good = std::max(valid - s.From, std::ptrdiff_t{0});
                suspect = std::min(FSize, s.At + static_cast<std::size_t>(good));
                break;
            }
        }
        const void* cr = suspect != 0 ? ::memrchr(FBytes.data(), Cr, suspect) : nullptr;
        FSize = cr != nullptr ? static_cast<std::size_t>(static_cast<const char*>(cr) - FBytes.data()) + 1
                              : 0;
        FOpen = FHeldLast = false;
        if (FSize == 0 && FSinkOpen) {
            FSinkOpen = false;
            FSink.DropOpenEntry();
        }
    }

    EntrySink& FSink;
    bool FNumbered;
    std::vector<char>& FBytes;
    std::size_t FSize = 0;
    std::size_t FOpenAt = 0; // where the open entry begins in the buffer (0 when it began before)
    bool FOpen = false; // an entry has begun and not ended
    bool FSinkOpen = false; // what has gone to the sink stops inside an entry
    bool FHeldLast = false;
    bool FShortened = false;
    int FWatchFd = -1;
    const char* FBase = nullptr;
    const char* FDataEnd = nullptr;
    const char* FCopiedTo = nullptr;
    std::vector<Source> FSources; // where the buffer's bytes came from in the mapping
    std::size_t FSourceCount = 0;
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

/// The read() side of a scan: a buffer of fixed size over the file, refilled from its start.
struct ReadStream {
    int Fd = -1;
    char* Buffer = nullptr;
    std::size_t Capacity = 0;
    std::size_t Held = 0; // bytes in the buffer, from a line start
    std::int64_t Offset = 0; // file offset of Buffer[0]
    std::int64_t Fetched = 0;
    std::int64_t Limit = -1; // the size of a regular file: no read past it is needed
    bool AtEnd = false;
    int Error = 0; // errno of a failed read

    /// Reads until the buffer is full or the data ends.
    void Fill()
    {
        while (Held < Capacity && !AtEnd) {
            if (Fetched == Limit) {
                AtEnd = true; // spares the read() that would only say so
                break;
            }
            const ssize_t got = ::read(Fd, Buffer + Held, Capacity - Held);
            if (got > 0) {
                Held += static_cast<std::size_t>(got);
                Fetched += got;
            } else if (got < 0 && errno == EINTR) {
                continue;
            } else {
                Error = got < 0 ? errno : 0;
                AtEnd = true;
            }
        }
    }

    /// Drops the first n bytes, which have been scanned.
    void Consume(std::size_t n)
    {
        std::memmove(Buffer, Buffer + n, Held - n);
        Held -= n;
        Offset += static_cast<std::int64_t>(n);
    }
};

/// The first byte that ends a line (or the data) in [begin, end), or nullptr.
const char* FirstLineEnd(const char* begin, const char* end, bool dos)
{
    const char* z = static_cast<const char*>(std::memchr(begin, 26, static_cast<std::size_t>(end - begin)));
    const char* limit = z != nullptr ? z : end;
    const char* t = dos ? static_cast<const char*>(std::memchr(begin, Cr, static_cast<std::size_t>(limit - begin)))
                        : FindEither(begin, limit, Lf, Cr);
    return t != nullptr ? t : z;
}

/// The test of one line made on its pieces as they pass, for a line too long to hold: which
/// strings occur (also across the seams) and how often string 1 does.
class PieceTest {
public:
    PieceTest(const SearchRequest& request, const LiteralFinder& finder1, const LiteralFinder& finder2)
        : FOperator(request.Operator)
        , FCountWords(request.CountWords)
        , FFinder1(finder1)
        , FFinder2(finder2)
    {
    }

    void Feed(const char* begin, const char* end)
    {
        Look(FFinder1, FTail1, FIn1, FCountWords, begin, end);
        Look(FFinder2, FTail2, FIn2, false, begin, end);
    }

    /// The predicate's result when the rest of the line cannot change it.
    std::optional<bool> Early() const
    {
        switch (FOperator) {
        case SearchOperator::None:
            return FIn1 ? std::optional<bool>(true) : std::nullopt;
        case SearchOperator::And:
            return FIn1 && FIn2 ? std::optional<bool>(true) : std::nullopt;
        case SearchOperator::Or:
            return FIn1 || FIn2 ? std::optional<bool>(true) : std::nullopt;
        case SearchOperator::Xor:
            return FIn1 && FIn2 ? std::optional<bool>(false) : std::nullopt;
        case SearchOperator::AndNot:
            return FIn2 ? std::optional<bool>(false) : std::nullopt;
        }
        return std::nullopt;
    }

    /// The predicate's result on the whole line.
    bool Final() const
    {
        switch (FOperator) {
        case SearchOperator::None:
            return FIn1;
        case SearchOperator::And:
            return FIn1 && FIn2;
        case SearchOperator::Or:
            return FIn1 || FIn2;
        case SearchOperator::Xor:
            return FIn1 != FIn2;
        case SearchOperator::AndNot:
            return FIn1 && !FIn2;
        }
        return false;
    }

    std::int64_t Words() const { return FWords; }

private:
    void Look(const LiteralFinder& finder, std::string& tail, bool& found, bool count, const char* begin,
              const char* end)
    {
        if (finder.Empty() || (found && !count)) {
            return;
        }
        const std::size_t keep = finder.Size() - 1;
        if (!tail.empty()) {
            // Occurrences that start in the tail of the pieces before and end in this one.
            FSeam.assign(tail);
            FSeam.append(begin, std::min(static_cast<std::size_t>(end - begin), keep));
            const char* seamEnd = FSeam.data() + FSeam.size();
            for (const char* at = finder.Find(FSeam.data(), seamEnd); at != nullptr && at < FSeam.data() + tail.size();
                 at = finder.Find(at + 1, seamEnd)) {
                found = true;
                if (!count) {
                    return;
                }
                ++FWords;
            }
        }
        for (const char* at = finder.Find(begin, end); at != nullptr; at = finder.Find(at + 1, end)) {
            found = true;
            if (!count) {
                return;
            }
            ++FWords;
        }
        if (static_cast<std::size_t>(end - begin) >= keep) {
            tail.assign(end - keep, end);
        } else {
            tail.append(begin, end);
            tail.erase(0, tail.size() > keep ? tail.size() - keep : 0);
        }
    }

    SearchOperator FOperator;
    bool FCountWords;
    const LiteralFinder& FFinder1;
    const LiteralFinder& FFinder2;
    bool FIn1 = false;
    bool FIn2 = false;
    std::int64_t FWords = 0;
    std::string FTail1; // the last Size()-1 bytes fed, for occurrences across a seam
    std::string FTail2;
    std::string FSeam;
};

/// An unlinked file in the temporary folder for the text of a long line whose test is still open.
class SpillFile {
public:
    SpillFile() = default;
    ~SpillFile() { Close(); }
    SpillFile(const SpillFile&) = delete;
    SpillFile& operator=(const SpillFile&) = delete;

    /// Appends bytes; gives 0 or the errno of the failure.
    int Write(const char* begin, const char* end)
    {
        if (FFd < 0 && (FFd = Open()) < 0) {
            return errno != 0 ? errno : EIO;
        }
        while (begin < end) {
            const ssize_t done = ::write(FFd, begin, static_cast<std::size_t>(end - begin));
            if (done < 0 && errno == EINTR) {
                continue;
            }
            if (done <= 0) {
                return done < 0 ? errno : ENOSPC;
            }
            begin += done;
            FSize += done;
        }
        return 0;
    }

    int Fd() const { return FFd; }
    std::int64_t Size() const { return FSize; }

    void Close()
    {
        if (FFd >= 0) {
            ::close(FFd);
        }
        FFd = -1;
        FSize = 0;
    }

private:
    static int Open()
    {
        const char* folder = std::getenv("TMPDIR");
        const std::string dir = folder != nullptr && *folder != '\0' ? folder : "/tmp";
        const int fd = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (fd >= 0) {
            return fd;
        }
        std::string name = dir + "/sifton-line-XXXXXX";
        const int named = ::mkostemp(name.data(), O_CLOEXEC);
        if (named >= 0) {
            ::unlink(name.c_str());
        }
        return named;
    }

    int FFd = -1;
    std::int64_t FSize = 0;
};

/// Where a long line read with read() ended.
struct LongLineEnd {
    bool Done = false; ///< the line was read to its end and handled (false: given up)
    std::size_t Next = 0; ///< where the next line starts in the buffer
    bool DataEnds = false; ///< a byte 26 ended the line and the file
};

/// Scans the windows of one file.
class WindowScanner {
public:
    WindowScanner(SearchRun& run, const SearchRequest& request, RunCounters& counters, EntryBuffer& out)
        : FRun(run)
        , FRequest(request)
        , FCounters(counters)
        , FOut(out)
        , FFinder1(run.Finder1())
        , FFinder2(run.Finder2())
        , FNextStatus(request.RefreshRate > 0 ? request.RefreshRate : std::numeric_limits<std::int64_t>::max())
    {
    }

    /// Bytes counted at once while looking for the line of a status update (small windows, small chunks).
    std::ptrdiff_t CountChunk = 16 * 1024;

    /// Bytes the file offers so far (its size for a mapped file): the limit of the position figure.
    std::int64_t Available = 0;

    /// True once the file's scan must end (one occurrence reported, or cancel).
    bool Stopped() const { return FStopped || FOut.Shortened(); }

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


    /// A line that starts at the buffer's start and runs past its end: read on piece by piece through
    /// the same buffer. The test is made as the pieces pass; the text waits in a spill file while the
    /// test is open and goes to the log as soon as the line is known to be reported, so memory stays
    /// the buffer's whatever the line's length. A cancel gives the line up; so does a failed read (an
    /// incomplete line is not a line), which it leaves in s.Error.
    LongLineEnd ScanLongLine(ReadStream& s, bool sized)
    {
        PieceTest test(FRequest, FFinder1, FFinder2);
        SpillFile spill;
        const bool dos = FRequest.LineFormat == LineFormat::Dos;
        const std::int64_t number = FLines + 1;
        bool open = false; // the entry is being written
        bool rejected = false;
        std::size_t pos = 0;
        const char* t = nullptr;
        auto giveUp = [&] {
            if (open) {
                FOut.DropOpen();
            }
            FStopped = true;
            return LongLineEnd{};
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
                return giveUp();
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
        LongLineEnd end{true, 0, false};
        std::int64_t looked = Available;
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
                if (end.Next < s.Held && s.Buffer[end.Next] == Lf) {
                    ++end.Next;
                }
            }
            looked = term == Cr && at + 1 < Available ? at + 2 : at + 1;
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
            if (Interrupted()) {
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
                        FOut.EndEntry(FWindow.End);
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
        return BlocksLooked(looked);
    }

    /// Whole 128-byte blocks a 128-byte buffer would have fetched once it had looked at looked bytes.
    std::int64_t BlocksLooked(std::int64_t looked) const
    {
        const std::int64_t rounded = (looked + StatusBlockSize - 1) / StatusBlockSize * StatusBlockSize;
        return std::min(rounded, Available) / StatusBlockSize;
    }

    void StatusAfter(const char* lineEnd) { StatusAt(PositionBlocksAfter(lineEnd)); }

    void StatusAt(std::int64_t blocks)
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
            if (Interrupted()) {
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
            if (Interrupted()) {
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
    const LiteralFinder& FFinder1;
    const LiteralFinder& FFinder2;
    Window FWindow;
    std::int64_t FLines = 0; // lines of this file counted so far
    std::int64_t FNextStatus; // line number of the next periodic update
    bool FStopped = false;
    bool FCheckpointDue = false; // a recorded periodic update waits for the next look at the cancel request
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

/// Scans a mapped regular file; gives the offset at which reading the mapping faulted, or -1.
std::int64_t ScanMapped(WindowScanner& scanner, const char* data, std::int64_t size, const FastScanOptions& options,
                        LineFormat format)
{
    struct Disarm {
        ~Disarm() { tMappedReadGuard = nullptr; } // also when the sink throws
    } disarm;
    sigjmp_buf guard;
    if (sigsetjmp(guard, 1) != 0) {
        return static_cast<const char*>(tFaultAddress) - data;
    }
    tMappedReadGuard = &guard;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    std::int64_t pos = 0;
    std::size_t window = std::max<std::size_t>(options.Window, 2);
    while (pos < size && !scanner.Stopped()) {
        const std::int64_t limit = std::min<std::int64_t>(size, pos + static_cast<std::int64_t>(window));
        Window w;
        if (!CutWindow(data + pos, data + limit, limit == size, format, !scanner.CountsWhileFinding(), w)) {
            // A line longer than the window: the window reaches to the line's end (and the LF that
            // may follow a CR there). Only the view grows; nothing is copied.
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
    return -1;
}

/// Scans with read(): pipes, standard input, and whatever cannot be mapped, through a buffer of
/// fixed size. Gives the errno of a failed read, or 0.
int ScanRead(WindowScanner& scanner, ReadStream& s, LineFormat format, bool sized)
{
    while (!scanner.Stopped()) {
        s.Fill();
        if (s.Held == 0) {
            break;
        }
        if (!sized) {
            scanner.Available = s.Fetched;
        }
        Window w;
        if (!CutWindow(s.Buffer, s.Buffer + s.Held, s.AtEnd, format, !scanner.CountsWhileFinding() || s.Error != 0, w)) {
            const LongLineEnd end = scanner.ScanLongLine(s, sized);
            if (!end.Done || end.DataEnds) {
                break;
            }
            s.Consume(end.Next);
            continue;
        }
        w.Offset = s.Offset;
        if (s.Error != 0 && !w.EndsAt26) {
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
        s.Consume(static_cast<std::size_t>(w.End - w.Begin));
    }
    return s.Error;
}

/// A file open for one scan, and its mapping; both released however the scan ends.
struct ScannedFile {
    int Fd = -1;
    void* Map = MAP_FAILED;
    std::size_t MapSize = 0;

    ScannedFile() = default;
    ScannedFile(const ScannedFile&) = delete;
    ScannedFile& operator=(const ScannedFile&) = delete;
    ~ScannedFile() { Close(); }

    void Close()
    {
        if (Map != MAP_FAILED) {
            ::munmap(Map, MapSize);
        }
        if (Fd >= 0) {
            ::close(Fd);
        }
        Map = MAP_FAILED;
        Fd = -1;
    }
};

} // namespace

std::string MappedFaultReason(int fd, std::int64_t offset)
{
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        return SystemReason(errno);
    }
    if (info.st_size <= offset) {
        return std::string(ShortenedFileReason);
    }
    // Still there: the system could not bring that part of the file in. Reading it says why.
    char byte = 0;
    if (::pread(fd, &byte, 1, offset) < 0) {
        return SystemReason(errno);
    }
    return SystemReason(EIO);
}

bool SearchRun::ScanFileFast(const std::string& fileName, const FastScanOptions& options)
{
    const bool anyKind = FHost.MayReadAnyFile(fileName);
    ScannedFile file;
    // Opened without waiting: a listed path that has become a FIFO or a device must not hold the run in
    // open() for ever. Only a file the host allows to be of any kind is opened as it stands.
    file.Fd = ::open(FHost.PathToOpen(fileName).c_str(), O_RDONLY | O_CLOEXEC | (anyKind ? 0 : O_NONBLOCK));
    if (file.Fd < 0) {
        ReportFailure(fileName, SystemReason(errno));
        return false;
    }
    struct stat info {};
    const bool known = ::fstat(file.Fd, &info) == 0;
    const bool regular = known && S_ISREG(info.st_mode);
    if (!regular && !anyKind) {
        const std::string reason = !known                   ? SystemReason(errno)
                                   : S_ISDIR(info.st_mode) ? SystemReason(EISDIR)
                                                           : std::string(NotRegularFileReason);
        file.Close();
        ReportFailure(fileName, reason);
        return false;
    }
    const std::int64_t size = regular ? info.st_size : -1;

    EntryBuffer out(FLog, FRequest.LineNumbering, FOutBytes);
    WindowScanner scanner(*this, FRequest, FCounters, out);
    scanner.CountChunk = static_cast<std::ptrdiff_t>(std::clamp<std::size_t>(options.Window / 8, 1, 16 * 1024));
    std::string failure;
    std::int64_t endBlocks = regular ? size / StatusBlockSize : 0;
    // A size of 0 is read anyway: procfs files claim it and still hold bytes. A file that fits the
    // read buffer takes one read() into the buffer the run keeps, which costs less than a mapping.
    if (regular && size > static_cast<std::int64_t>(std::max<std::size_t>(options.Window, 2)) && !options.ReadOnly) {
        file.Map = ::mmap(nullptr, static_cast<std::size_t>(size), PROT_READ, MAP_PRIVATE, file.Fd, 0);
        file.MapSize = static_cast<std::size_t>(size);
    }
    if (file.Map != MAP_FAILED) {
        ::madvise(file.Map, file.MapSize, MADV_SEQUENTIAL);
        InstallBusErrorHandler();
        scanner.Available = size;
        const char* data = static_cast<const char*>(file.Map);
        out.WatchMapping(file.Fd, data, size);
        if (const std::int64_t fault = ScanMapped(scanner, data, size, options, FRequest.LineFormat); fault >= 0) {
            out.DropOpen();
            failure = MappedFaultReason(file.Fd, fault);
        }
    } else {
        // The position figure of a file with a size is limited by that size, as for the line reader;
        // otherwise by what has been fetched so far.
        const bool sized = regular && size > 0;
        scanner.Available = size;
        FReadBytes.resize(std::max<std::size_t>(options.Window, 2));
        ReadStream stream;
        stream.Fd = file.Fd;
        stream.Buffer = FReadBytes.data();
        stream.Capacity = FReadBytes.size();
        stream.Limit = sized ? size : -1;
        if (const int error = ScanRead(scanner, stream, FRequest.LineFormat, sized); error != 0) {
            failure = SystemReason(error);
        }
        if (!regular) {
            endBlocks = stream.Fetched / StatusBlockSize;
        }
    }
    out.Finish();
    if (failure.empty() && out.Shortened()) {
        failure = ShortenedFileReason;
    }
    file.Close();
    EndOfFileStatusUpdate(endBlocks);
    if (!failure.empty()) {
        ReportFailure(fileName, failure);
        return false;
    }
    return true;
}
