// The windowed scan behind ScanFile. It searches whole windows of a file with the SIMD finder and
// only looks at the lines that hold a candidate; the lines in between are counted, not read one
// by one. Everything a line-by-line reader makes observable stays the same: entries, counters,
// line numbers, the status updates after every RefreshRate lines with the position figure that
// reader would have had, the stop after one occurrence and the cancel between lines.

#include "search/FastScan.h"

#include "search/DecodedStream.h"
#include "search/EntryBuffer.h"
#include "search/FileChunks.h"
#include "search/LineEnds.h"
#include "search/LineReader.h"
#include "search/MappedFile.h"
#include "search/ReadStream.h"
#include "search/ScanAhead.h"
#include "search/SearchRun.h"
#include "search/TextWindow.h"
#include "search/WindowScanner.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csetjmp>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace FastScan {

namespace {

    /// Scans the lines of a mapped regular file from offset from (a line start) to offset to (a line
    /// start, or the end of the data); gives the offset at which reading the mapping faulted, or -1.
    /// endsAt26: a byte 26 ended the data in between.
    std::int64_t ScanMapped(WindowScanner& scanner, const char* data, std::int64_t from, std::int64_t to,
                            const FastScanOptions& options, LineFormat format, bool& endsAt26)
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
        std::int64_t pos = from;
        std::size_t window = std::max<std::size_t>(options.Window, 2);
        while (pos < to && !scanner.Stopped()) {
            const std::int64_t limit = std::min<std::int64_t>(to, pos + static_cast<std::int64_t>(window));
            Window w;
            if (!CutWindow(data + pos, data + limit, limit == to, format, !scanner.CountsWhileFinding(), w)) {
                // A line longer than the window: the window reaches to the line's end (and the LF that
                // may follow a CR there). Only the view grows; nothing is copied.
                const char* last = data + limit - 1;
                const char* end = data + to;
                const void* t = format == LineFormat::Dos
                                    ? std::memchr(last, Cr, static_cast<std::size_t>(end - last))
                                    : FindEither(last, end, Lf, Cr);
                window = t != nullptr
                             ? static_cast<std::size_t>(static_cast<const char*>(t) + 2 - (data + pos))
                             : static_cast<std::size_t>(to - pos);
                continue;
            }
            window = std::max<std::size_t>(options.Window, 2);
            w.Offset = pos;
            scanner.Scan(w);
            if (w.Last) {
                endsAt26 = w.EndsAt26;
                break;
            }
            pos += w.End - w.Begin;
        }
        return -1;
    }

    /// Scans with read(): pipes, standard input, decoded text, and whatever cannot be mapped, through a
    /// buffer of fixed size. Gives the errno (or decoder's code) of a failed read the scan came to, or
    /// 0: a failure past the point where the scan stopped (one occurrence, cancel, byte 26) is no more
    /// seen than the line-by-line reader, which never reads that far, sees it.
    int ScanRead(WindowScanner& scanner, ReadStream& s, LineFormat format, bool sized)
    {
        bool reached = false;
        while (!scanner.Stopped()) {
            s.Fill();
            if (s.Held == 0) {
                reached = true;
                break;
            }
            if (!sized) {
                scanner.Available = s.Fetched;
            }
            Window w;
            if (!CutWindow(s.Buffer, s.Buffer + s.Held, s.AtEnd, format,
                           !scanner.CountsWhileFinding() || s.Error != 0, w)) {
                const LongLineEnd end = scanner.ScanLongLine(s, sized);
                if (!end.Done || end.DataEnds) {
                    reached = end.Failed;
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
                    reached = true;
                    break;
                }
                w.End = AfterEnd(t, w.End);
                w.Last = true;
            }
            scanner.Scan(w);
            if (w.Last) {
                reached = !scanner.Stopped() && !w.EndsAt26;
                break;
            }
            s.Consume(static_cast<std::size_t>(w.End - w.Begin));
        }
        return reached ? s.Error : 0;
    }

} // namespace

} // namespace FastScan

namespace FastScan {

namespace {

    /// The first n bytes of a file (fewer when it is shorter), read without moving its offset; empty
    /// when reading fails (the scan then meets the failure itself).
    std::string_view PeekHead(int fd, std::size_t n, std::string& bytes)
    {
        bytes.resize(n);
        std::size_t done = 0;
        while (done < n) {
            const ssize_t got = ::pread(fd, bytes.data() + done, n - done, static_cast<off_t>(done));
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                break;
            }
            done += static_cast<std::size_t>(got);
        }
        return std::string_view(bytes.data(), done);
    }

    bool HoldsNul(std::string_view head, std::size_t probe)
    {
        return probe != 0 && std::memchr(head.data(), 0, std::min(head.size(), probe)) != nullptr;
    }

} // namespace

} // namespace FastScan

bool SearchRun::ScanFileFast(const std::string& fileName, const FastScanOptions& options)
{
    using namespace FastScan;
    const bool anyKind = FHost.MayReadAnyFile(fileName);
    ScannedFile file;
    // Opened without waiting: a listed path that has become a FIFO or a device must not hold the run in
    // open() for ever. Only a file the host allows to be of any kind is opened as it stands.
    const std::string path = FHost.PathToOpen(fileName);
    file.Fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | (anyKind ? 0 : O_NONBLOCK));
    if (file.Fd < 0) {
        const int error = errno;
        FileSearched();
        ReportFailure(fileName, SystemReason(error));
        return false;
    }
    struct stat info { };
    const bool known = ::fstat(file.Fd, &info) == 0;
    const bool regular = known && S_ISREG(info.st_mode);
    if (!regular && !anyKind) {
        const std::string reason = !known                  ? SystemReason(errno)
                                   : S_ISDIR(info.st_mode) ? SystemReason(EISDIR)
                                                           : std::string(NotRegularFileReason);
        file.Close();
        FileSearched();
        ReportFailure(fileName, reason);
        return false;
    }
    const std::int64_t size = regular ? info.st_size : -1;
    const std::size_t window = std::max<std::size_t>(options.Window, 2);
    const DecodeOptions decode = DecodeOptionsOf(FRequest);
    const std::size_t headSize = std::max(decode.Probe, EncodingMarkSize);

    // A size of 0 is read anyway: procfs files claim it and still hold bytes. A file that fits the
    // read buffer takes one read() into the buffer the run keeps, which costs less than a mapping.
    // A file large enough to split is mapped whatever the window (tests split tiny files). What the
    // host opens under another name (standard input for "-") is read as the one stream it is.
    bool split = regular && size > 0 && FRecorder != nullptr && size >= FSplitMinimum && path == fileName;
    bool mapped = regular && (split || size > static_cast<std::int64_t>(window)) && !options.ReadOnly;
    // The first bytes say how the file is read: as it is (mapped when it is large), or through a
    // decoder; and, for Skip Binary Files, whether it is searched at all. A mapped file's are read
    // apart from the mapping, so that a file cut short meanwhile cannot fault here.
    ReadStream stream;
    std::unique_ptr<Decode::DecodedStream> decoded;
    bool binary = false;
    auto setUpStream = [&] {
        // The position figure of a file with a size is limited by that size, as for the line reader;
        // otherwise by what has been fetched so far.
        FReadBytes.resize(window);
        stream.Fd = file.Fd;
        stream.Buffer = FReadBytes.data();
        stream.Capacity = FReadBytes.size();
        stream.Limit = regular && size > 0 ? size : -1;
    };
    if (mapped) {
        const std::string_view head =
            PeekHead(file.Fd, static_cast<std::size_t>(std::min<std::int64_t>(size, headSize)), FHeadBytes);
        const FileEncoding encoding = DetectEncoding(head, decode);
        if (encoding != FileEncoding::Plain) {
            mapped = split = false;
            setUpStream();
            decoded = std::make_unique<Decode::DecodedStream>(file.Fd, std::string(), encoding, decode);
        } else {
            binary = HoldsNul(head, decode.Probe);
        }
    } else {
        split = false;
        setUpStream(); // a file read whole: its first bytes are then already in hand
        const std::string_view head = stream.Head(headSize);
        const FileEncoding encoding = stream.Error == 0 ? DetectEncoding(head, decode) : FileEncoding::Plain;
        if (encoding != FileEncoding::Plain) {
            decoded = std::make_unique<Decode::DecodedStream>(file.Fd, std::string(head), encoding, decode);
        } else {
            binary = HoldsNul(head, decode.Probe);
        }
    }
    if (decoded) {
        binary = decoded->Binary();
        stream.ReadFrom(*decoded);
    }
    if (binary) {
        file.Close();
        SkipFile(fileName);
        return true;
    }
    FileSearched();

    EntryBuffer out(FLog, FRequest.LineNumbering, FOutBytes);
    WindowScanner scanner(*this, FRequest, FCounters, out);
    scanner.CountChunk =
        static_cast<std::ptrdiff_t>(std::clamp<std::size_t>(options.Window / 8, 1, 16 * 1024));
    std::string failure;
    std::int64_t endBlocks = regular ? size / StatusBlockSize : 0;
    if (mapped) {
        file.Map = ::mmap(nullptr, static_cast<std::size_t>(size), PROT_READ, MAP_PRIVATE, file.Fd, 0);
        file.MapSize = static_cast<std::size_t>(size);
        if (file.Map == MAP_FAILED) {
            setUpStream(); // read() it is; nothing has been read yet
        }
    }
    if (split && file.Map != MAP_FAILED &&
        FRecorder->HandOver(file, size, FChunkBytes, PeriodicUpdatesShow())) {
        return true; // the scan threads take it in chunks; the writer ends it
    }
    if (file.Map != MAP_FAILED) {
        ::madvise(file.Map, file.MapSize, MADV_SEQUENTIAL);
        InstallBusErrorHandler();
        scanner.Available = size;
        const char* data = static_cast<const char*>(file.Map);
        out.WatchMapping(file.Fd, data, size);
        bool endsAt26 = false;
        if (const std::int64_t fault =
                ScanMapped(scanner, data, 0, size, options, FRequest.LineFormat, endsAt26);
            fault >= 0) {
            out.DropOpen();
            failure = MappedFaultReason(file.Fd, fault);
        }
    } else {
        // Decoded text has no size known in advance: its position figure is the file's, by the marks
        // its decoder keeps.
        const bool sized = regular && size > 0 && !decoded;
        scanner.Available = size;
        scanner.Decoded = decoded.get();
        if (const int error = ScanRead(scanner, stream, FRequest.LineFormat, sized); error != 0) {
            failure = ReadFailureReason(error);
        }
        if (!regular) {
            endBlocks = (decoded ? decoded->FileFetched() : stream.Fetched) / StatusBlockSize;
        }
    }
    out.Finish();
    if (failure.empty() && out.Shortened()) {
        failure = ShortenedFileReason;
    }
    if (failure.empty() && scanner.TooComplex()) {
        failure = RegexTooComplexReason;
    }
    decoded.reset();
    file.Close();
    EndOfFileStatusUpdate(endBlocks);
    if (!failure.empty()) {
        ReportFailure(fileName, failure);
        return false;
    }
    return true;
}

ChunkEnd SearchRun::ScanChunk(ScanAhead::SplitFile& file, std::size_t chunk)
{
    using namespace FastScan;
    const LineFormat format = FRequest.LineFormat;
    const char* data = file.Data;
    const std::int64_t size = file.Size;
    ChunkEnd end;
    // Not wanted: cancelled, or an earlier chunk ended the file. Its count is still given, as
    // the chunks after it wait for it.
    if (CancelFlag().load(std::memory_order_relaxed) || file.StopBefore.load() <= chunk) {
        file.PublishLines(chunk, 0);
        return end;
    }
    InstallBusErrorHandler();
    // Where the chunk's lines begin and end, and how many there are, read from the mapping under the
    // guard: the file may be cut short meanwhile.
    // Volatile: a fault jumps back past the stores.
    volatile std::int64_t begin = -1;
    volatile std::int64_t stop = -1;
    volatile std::int64_t lines = 0;
    volatile std::int64_t fault = -1;
    {
        struct Disarm {
            ~Disarm() { tMappedReadGuard = nullptr; }
        } disarm;
        sigjmp_buf guard;
        if (sigsetjmp(guard, 1) != 0) {
            fault = static_cast<const char*>(tFaultAddress) - data;
        } else {
            tMappedReadGuard = &guard;
            std::atomic_signal_fence(std::memory_order_seq_cst);
            const auto share = static_cast<std::int64_t>(chunk) * file.ChunkBytes;
            begin = LineStartFrom(data, size, share, format);
            stop = LineStartFrom(data, size, std::min(size, share + file.ChunkBytes), format);
            lines = begin < stop && file.Counted ? CountEndedLines(data + begin, data + stop, format) : 0;
        }
    }
    // After a fault the count is wrong, but then this chunk ends the file and the ones after it are
    // dropped. Its lines before the fault are still scanned: they were in the file when it was read.
    file.PublishLines(chunk, lines);
    if (begin < 0) {
        end.Failure = MappedFaultReason(file.File.Fd, fault);
        end.EndsFile = true;
    } else if (begin < (stop >= 0 ? stop : size)) {
        EntryBuffer out(FLog, FRequest.LineNumbering, FOutBytes);
        WindowScanner scanner(*this, FRequest, FCounters, out);
        if (file.Counted) {
            scanner.StartAfterLines(file.LinesBefore(chunk));
        } else {
            scanner.LeaveOutPeriodicUpdates();
        }
        scanner.Available = size;
        out.WatchMapping(file.File.Fd, data, size);
        bool endsAt26 = false;
        const std::int64_t scanFault =
            ScanMapped(scanner, data, begin, stop >= 0 ? stop : size, {}, format, endsAt26);
        if (scanFault >= 0) {
            out.DropOpen();
            end.Failure = MappedFaultReason(file.File.Fd, scanFault);
        }
        out.Finish();
        if (end.Failure.empty() && out.Shortened()) {
            end.Failure = ShortenedFileReason;
        }
        if (end.Failure.empty() && fault >= 0) {
            end.Failure = MappedFaultReason(file.File.Fd, fault);
        }
        if (end.Failure.empty() && scanner.TooComplex()) {
            end.Failure = RegexTooComplexReason;
        }
        end.EndsFile =
            !end.Failure.empty() || endsAt26 || (FRequest.OneOccurrence && FCounters.LinesFound > 0);
    }
    if (end.EndsFile) {
        // Later chunks need not be scanned; those already under way are dropped by the writer.
        for (std::size_t was = file.StopBefore.load(); chunk + 1 < was;) {
            if (file.StopBefore.compare_exchange_weak(was, chunk + 1)) {
                break;
            }
        }
    }
    return end;
}
