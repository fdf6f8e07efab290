#pragma once

#include "search/EntrySink.h"
#include "search/FastScan.h"
#include "search/LiteralFinder.h"
#include "search/Matching.h"
#include "search/RunFlags.h"
#include "search/SearchRequest.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class LineReader;
class RegexLineTest;

namespace FastScan {
struct ScannedFile;
}

namespace ScanAhead {
struct SplitFile;
}

/// What a run needs from the one who shows it (the window, or the console).
/// Calls come from the run's thread, in the order the run makes them, except PathToOpen and
/// MayReadAnyFile: the scan threads of a run over many files ask them at the same time, so they
/// must only look at what the host was given. None of the calls waits for a window to draw: the
/// window publishes the texts and shows the latest ones at its own pace.
class SearchHost {
public:
    virtual ~SearchHost() = default;
    /// Sets the text of status panel 0..3 (see StatusPanel).
    virtual void SetStatusText(int panel, const std::string& text) = 0;
    /// Sets the window caption ("Searching " and the file name).
    virtual void SetCaption(const std::string& caption) = 0;
    /// Sets the application title to the caption set last (the periodic status update's first step).
    virtual void ShowCaptionAsTitle() = 0;
    /// False when ShowCaptionAsTitle shows nothing (the console): a periodic update then shows
    /// something only through the panels the request turns on, and a file split among the scan
    /// threads without any of them need not learn where its periodic updates fall.
    virtual bool ShowsTitle() const { return true; }
    /// The number of files to search. The window gives the paths listed when the run started, so
    /// for it this stays the same for the whole run. The console, which is still walking its folders
    /// while the run reads the first files, answers one more than it has found until the walk ends.
    virtual std::int64_t FileCount() = 0;
    /// The full path of entry index, or nothing when there is no such entry (the console waits for
    /// its walk to reach the entry or end).
    virtual std::optional<std::string> FileName(std::int64_t index) = 0;
    /// A listed file could not be opened or its reading failed; the walk goes on with the next one.
    virtual void FileFailed(const std::string& fileName, const std::string& reason) = 0;
    /// A listed file was left out on purpose (Skip Binary Files: BinarySkippedReason): it has no header
    /// and no entries, and it is no failure.
    virtual void FileSkipped(const std::string& fileName, const std::string& reason)
    {
        static_cast<void>(fileName);
        static_cast<void>(reason);
    }
    /// The path to open for a listed name (the console maps "-" to standard input).
    virtual std::string PathToOpen(const std::string& fileName) { return fileName; }
    /// Whether the name may be read whatever it is (a FIFO, a device), waiting for it as it needs.
    /// When false, the file is opened without waiting and anything but a regular file is reported
    /// ("Not a regular file") and left alone: the answer for a list of files, which must never hold
    /// the run in open() or in an endless read. The console answers true only for its operands.
    virtual bool MayReadAnyFile(const std::string& fileName) { return static_cast<void>(fileName), true; }
    /// Entry index of the list (fileName) is about to be written: its header line in a verbose run,
    /// then its reported lines. Whatever the sink holds now was written before it. The window notes
    /// where in the result log each file's entries begin; once per file, so it costs nothing per line.
    virtual void FileEntriesBegin(std::int64_t index, const std::string& fileName)
    {
        static_cast<void>(index);
        static_cast<void>(fileName);
    }
};

/// Totals of one run over all its files. 64-bit, so line numbers stay right past 2^31 lines.
struct RunCounters {
    std::int64_t LinesSearched = 0;
    std::int64_t LinesFound = 0;
    std::int64_t WordsFound = 0;
};

/// Where a scan that runs ahead on a scan thread puts its status updates and its failure, to be
/// shown by the run's thread when it writes that file.
class ScanRecorder {
public:
    virtual ~ScanRecorder() = default;
    /// A status update (periodic or at the end of the file) with the position or size figure's blocks.
    virtual void Status(bool periodic, std::int64_t blocks) = 0;
    /// The file could not be opened or read.
    virtual void Failure(const std::string& reason) = 0;
    /// The scan looked at the cancel request for the first time since a periodic update: what it
    /// wrote since that update is the line in hand, which a cancel raised there still finishes.
    virtual void Checkpoint() = 0;
    /// Under SkipBinary: the file is to be searched (or reported unreadable); its header and caption
    /// come now.
    virtual void Begin() = 0;
    /// The file was left out (see SearchHost::FileSkipped).
    virtual void Skipped(const std::string& reason) = 0;
    /// A mapped file large enough to split: the recorder may take the file over, to be scanned in
    /// chunks of chunkBytes by the scan threads (counted: see ScanAhead::SplitFile). True when it
    /// did; the scan then does nothing more.
    virtual bool HandOver(FastScan::ScannedFile& file, std::int64_t size, std::int64_t chunkBytes,
                          bool counted)
    {
        static_cast<void>(file);
        static_cast<void>(size);
        static_cast<void>(chunkBytes);
        static_cast<void>(counted);
        return false;
    }
};

/// How the scan of a chunk of a split file ended.
struct ChunkEnd {
    bool EndsFile = false; ///< nothing after the chunk is read (one occurrence, byte 26, failure)
    std::string Failure; ///< why reading the chunk failed
};

/// The entry written before the first file of a verbose run.
inline constexpr std::string_view NewSearchLine = "*****  New Search  *****";

/// The entry written before each file of a verbose run.
std::string FileHeaderLine(const SearchRequest& request, std::string_view fileName);

/// One run's walk over the file list and the scan of each file: reading, testing, writing reported
/// lines to the sink, keeping the counters and making the status updates.
class SearchRun {
public:
    /// separator: the locale's thousands separator used in the status texts. A request for regular
    /// expressions is compiled here: check it first (CheckRegexRequest), or a pattern that does not
    /// compile throws std::invalid_argument.
    SearchRun(SearchRequest request, EntrySink& log, SearchHost& host, std::string separator);
    ~SearchRun();

    /// Counters to 0, SearchRunning set, the new-search line, then for each entry while the list has one
    /// and CancelRequested is clear: its header line, the caption, ScanFile. SearchRunning is left set:
    /// the caller clears it as its last step. Throws only what the sink throws.
    /// With more than one thread and more than one file, scan threads read and test the files ahead
    /// while this thread writes each file's entries, status updates and failures in list order: the
    /// sink and the host see exactly what one thread gives (the header and caption of a file come
    /// when its entries are written), and a cancel stops the writing at an entry boundary.
    void Walk();

    /// Scan threads of Walk (default: the processors this process may use); 1 keeps everything on
    /// this thread.
    void SetThreads(int threads) { FThreads = threads < 1 ? 1 : threads; }
    /// The scan threads Walk uses.
    int Threads() const { return FThreads; }
    /// Bytes of entries the scan threads may hold ahead of the writer; a thread waits when they are
    /// used up, unless it scans the file being written.
    void SetScanAheadLimit(std::size_t bytes) { FScanAheadLimit = bytes; }
    /// With more than one thread, a mapped file of at least minimumBytes is scanned in chunks of
    /// chunkBytes by all the scan threads at once (tests force tiny chunks).
    void SetFileSplit(std::int64_t minimumBytes, std::int64_t chunkBytes)
    {
        FSplitMinimum = minimumBytes;
        FChunkBytes = chunkBytes < 1 ? 1 : chunkBytes;
    }

    /// The flag the scans look at before each line: the run's cancel request unless told otherwise
    /// (a scan of the window's own, made while no run or another run owns that request).
    void SetCancelFlag(const std::atomic<bool>& flag) { FCancel = &flag; }
    const std::atomic<bool>& CancelFlag() const { return *FCancel; }

    /// Scans one file; a file that cannot be opened or read is reported to the host and gives false.
    bool ScanFile(const std::string& fileName);

    /// The windowed scan ScanFile uses: the same entries, counters and status updates as the
    /// line-by-line scan, without reading the lines one by one.
    bool ScanFileFast(const std::string& fileName, const FastScanOptions& options = {});

    /// The scan of one chunk of a split file, on a scan thread: counts its lines, learns its first line
    /// number from the chunks before it, then scans it as ScanFileFast would that part of the file,
    /// without the end-of-file update, which the writer makes once for the whole file.
    ChunkEnd ScanChunk(ScanAhead::SplitFile& file, std::size_t chunk);

    /// The plain line-by-line scan: the reference every faster scan must agree with byte for byte.
    bool ScanFileByLines(const std::string& fileName);

    /// The request the run was made with.
    const SearchRequest& Request() const { return FRequest; }
    /// The run's totals so far.
    const RunCounters& Counters() const { return FCounters; }
    /// For a faster scan that keeps the counters itself.
    RunCounters& Counters() { return FCounters; }
    /// Number of files that could not be opened or read in this run.
    std::int64_t FailedFiles() const { return FFailedFiles; }
    /// Number of files left out as binary in this run.
    std::int64_t SkippedFiles() const { return FSkippedFiles; }

    // Pieces shared by every scan, so that all of them write the same bytes and texts.

    /// Writes a reported line's entry ("12 : text" with LineNumbering) and counts it as found.
    void WriteReported(std::int64_t lineNumber, std::string_view line);
    /// The update every RefreshRate lines: title, then panels 0, 2, 1, 3 as the options say.
    void PeriodicStatusUpdate(std::int64_t positionBlocks);
    /// The update at the end of a file: panels 0, 2, 1, 3 as the options say.
    void EndOfFileStatusUpdate(std::int64_t sizeBlocks);
    /// Counts a file that could not be opened or read and tells the host.
    void ReportFailure(const std::string& fileName, const std::string& reason);
    /// Entry index of the list is next: its output (the host's notice, the header of a verbose run,
    /// the caption) comes at once, or under SkipBinary once the scan knows the file is searched.
    void StartFile(std::int64_t index, const std::string& fileName);
    /// A scan is about to search its file, or to report it unreadable: the file's output begins.
    void FileSearched();
    /// A scan found its file binary: the file is named to the host and gives nothing else.
    void SkipFile(const std::string& fileName);
    /// The test of one line that the run's operator calls for.
    LinePredicate Predicate() const { return FPredicate; }
    /// True on a scan thread's run, whose updates are recorded for the writer.
    bool Recording() const { return FRecorder != nullptr; }
    /// See ScanRecorder::Checkpoint.
    void Checkpoint()
    {
        if (FRecorder != nullptr) {
            FRecorder->Checkpoint();
        }
    }
    /// The one who shows the run.
    SearchHost& Host() { return FHost; }
    /// Whether a periodic status update shows anything.
    bool PeriodicUpdatesShow() const
    {
        return FHost.ShowsTitle() || FRequest.LineCounting || FRequest.ProgressIndication ||
               FRequest.WordCounting;
    }
    /// The run's two strings, ready for the scans (made once per run, not per file).
    const LiteralFinder& Finder1() const { return FFinder1; }
    const LiteralFinder& Finder2() const { return FFinder2; }
    /// The line test of a run of regular expressions (this run's own, for its thread); nullptr otherwise.
    RegexLineTest* Regex() const { return FRegex.get(); }

private:
    class ParallelWalk; // WalkInParallel's steps and the state they share (ParallelWalk.cpp)

    void ShowCounters(std::int64_t blocks);
    void BeginFileOutput(std::int64_t index, const std::string& fileName);
    bool WorthSplitting(std::int64_t index);
    void WalkInParallel();
    /// Opens a file for the line-by-line scan; false when it is not to be read (failed: it could not be).
    bool OpenForScan(LineReader& reader, const std::string& fileName, bool& failed);
    /// One line of ScanFileByLines for a run of regular expressions; false when the file's scan ends.
    bool ScanLineByRegex(const std::string& line, std::int64_t firstLineMark, std::int32_t& refreshCount,
                         std::int64_t positionBlocks, bool& tooComplex);

    SearchRequest FRequest;
    EntrySink& FLog;
    SearchHost& FHost;
    std::string FSeparator;
    LinePredicate FPredicate;
    RunCounters FCounters;
    std::int64_t FFailedFiles = 0;
    std::int64_t FSkippedFiles = 0;
    bool FBeginPending = false; // StartFile's output waits for the scan's FileSearched
    std::int64_t FPendingIndex = 0;
    std::string FPendingName;
    LiteralFinder FFinder1;
    LiteralFinder FFinder2;
    std::unique_ptr<RegexLineTest> FRegex;
    int FThreads;
    std::size_t FScanAheadLimit = std::size_t{16} << 20;
    std::int64_t FSplitMinimum = std::int64_t{64} << 20;
    std::int64_t FChunkBytes = std::int64_t{4} << 20;
    ScanRecorder* FRecorder = nullptr; // set on a scan thread's own run
    const std::atomic<bool>* FCancel = &CancelRequested;
    std::string FEntry; // reused for numbered entries
    std::vector<char> FOutBytes; // the scans' buffer of reported entries, kept for the run
    std::vector<char> FReadBytes; // the scans' read() buffer, kept for the run
    std::string FHeadBytes; // the first bytes of a mapped file, kept for the run
};
