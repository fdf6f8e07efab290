// The walk over many files with every core: scan threads read and test files ahead of the run's
// own thread, which writes each file's entries, status updates and failures in list order, so that
// what the log, the counters and the host see is exactly what the walk on one thread gives.

#include "search/LineReader.h"
#include "search/RunFlags.h"
#include "search/ScanAhead.h"
#include "search/SearchRun.h"

#include <charconv>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

using ScanAhead::Abandoned;
using ScanAhead::FileJob;
using ScanAhead::JobRecorder;
using ScanAhead::Pipeline;
using ScanAhead::ScanItem;

namespace {

RunCounters Sum(const RunCounters& a, const RunCounters& b)
{
    return {a.LinesSearched + b.LinesSearched, a.LinesFound + b.LinesFound, a.WordsFound + b.WordsFound};
}

/// Ends the scan threads however the writer leaves.
struct ThreadsStopper {
    Pipeline& Lines;
    std::vector<std::thread>& Threads;
    ~ThreadsStopper()
    {
        Lines.Stop();
        for (std::thread& t : Threads) {
            t.join();
        }
    }
};

} // namespace

/// WalkInParallel in named steps. The scan threads share only the pipeline and the jobs with the
/// writer; everything else here is the writer's, kept from file to file.
class SearchRun::ParallelWalk {
public:
    explicit ParallelWalk(SearchRun& run)
        : FRun(run)
        , FPipeline(run.FScanAheadLimit)
    {
    }

    /// Starts the scan threads, then writes the files of the list in order until it ends or a
    /// cancel comes.
    void Run();

private:
    /// How far the writing of the file in hand has come.
    struct FileWriting {
        RunCounters Written; // what has been written of this file
        bool Cancelled = false;
        bool FinishingLine = false; // a cancel came with a periodic update: its line is still written
        bool AfterUpdate = false;
        std::size_t Unreleased = 0; // entry bytes written since the scan-ahead memory was last given back
    };

    void StartScanThreads();
    /// One scan thread: scans the files the pipeline gives it until the walk is over.
    void ScanFiles();
    /// Hands the next files of the list to the scan threads.
    void Dispatch();
    /// What the walk on one thread does before a file's entries: tells the host, writes the header of
    /// a verbose run, sets the caption.
    void BeginFile(std::int64_t index, const std::string& name);
    /// Scans here, as on one thread, a list entry that now names another file than the one scanned
    /// ahead for it.
    void ScanRenamed(FileJob& job, const std::string& name);
    /// Drops what was scanned ahead for a job (and its chunks), and gives its memory back.
    void DropScanned(FileJob& job);
    /// Writes what the scan of the job does, in the order it did it.
    void WriteScanned(FileJob& job);
    /// Writes the items of a file's or chunk's scan; before: the counters of the file's earlier chunks.
    void WriteItems(FileJob& job, FileWriting& writing, const RunCounters& before);
    /// Writes the chunks of a split file in order, then ends the file as its scan on one thread would.
    void WriteChunks(FileJob& job, FileWriting& writing);
    /// Takes everything the scan has handed on so far; false once it is done and all is taken.
    bool TakeScanned(FileJob& job, FileWriting& writing, const RunCounters& before);
    /// Follows the cancel request; true when the item is not to be written.
    bool Skipped(const ScanItem& item, FileWriting& writing);
    /// Does to the sink and the host what the scan did.
    void WriteItem(const FileJob& job, const ScanItem& item, bool cancelled);
    /// The entries of a chunk numbered from its own first line, with the lines before it added.
    std::string_view Renumbered(std::string_view entries);

    static constexpr std::size_t MaxAhead = 1024;

    SearchRun& FRun;
    Pipeline FPipeline;
    std::deque<std::unique_ptr<FileJob>> FInFlight; // outlives the scan threads, which use the jobs
    std::vector<std::thread> FScanThreads;
    ThreadsStopper FStopper{FPipeline, FScanThreads};
    std::int64_t FNext = 0; // the next entry of the list to hand out
    bool FListEnded = false;
    RunCounters FBase; // the counters of the files written before the one in hand
    std::vector<FileJob*> FHanding; // kept, so that its buffer is allocated once
    bool FOpen = false; // the last bytes written stopped inside an entry
    std::deque<ScanItem> FTaken; // items taken from the file being written, not yet written
    std::int64_t FRenumberBy = 0; // lines to add to the numbers of the chunk being written
    bool FAtNumber = false; // Renumbered: the next bytes are (more of) an entry's number
    std::uint64_t FNumber = 0; // its digits so far
    std::string FRenumbered;
};

void SearchRun::ParallelWalk::Run()
{
    StartScanThreads();
    while (!CancelRequested) {
        Dispatch();
        if (FInFlight.empty()) {
            break;
        }
        FileJob& job = *FInFlight.front();
        // The list may have changed since the name was taken ahead: as on one thread, a list that
        // has become shorter ends the run, and an entry that now names another file is scanned here.
        if (job.Index >= FRun.FHost.FileCount()) {
            break;
        }
        const std::optional<std::string> now = FRun.FHost.FileName(job.Index);
        if (!now) {
            break;
        }
        FPipeline.SetHead(&job);
        if (*now != job.Name) {
            ScanRenamed(job, *now);
        } else {
            WriteScanned(job);
        }
        FInFlight.pop_front();
    }
}

void SearchRun::ParallelWalk::StartScanThreads()
{
    for (int i = 0; i < FRun.FThreads; ++i) {
        FScanThreads.emplace_back([this] { ScanFiles(); });
    }
}

void SearchRun::ParallelWalk::ScanFiles()
{
    JobRecorder recorder(FPipeline);
    SearchRun scan(FRun.FRequest, recorder, FRun.FHost, FRun.FSeparator);
    scan.FRecorder = &recorder;
    scan.SetFileSplit(FRun.FSplitMinimum, FRun.FChunkBytes);
    while (FileJob* job = FPipeline.Pop()) {
        scan.FCounters = {};
        recorder.Start(job, &scan.FCounters);
        ChunkEnd end;
        try {
            if (job->ChunkOf != nullptr) {
                end = scan.ScanChunk(*job->ChunkOf, job->Chunk);
            } else {
                scan.ScanFile(job->Name);
            }
        } catch (const Abandoned&) {
            return;
        } catch (const std::exception& error) {
            // Nothing else is thrown by a scan that writes only here; report it as the file's.
            if (job->ChunkOf != nullptr) {
                end.EndsFile = true;
                end.Failure = error.what();
            } else {
                try {
                    recorder.Failure(error.what());
                } catch (const Abandoned&) {
                    return;
                }
            }
        }
        recorder.Finish(end.EndsFile, std::move(end.Failure));
    }
}

void SearchRun::ParallelWalk::Dispatch()
{
    // Topped up in halves, so that the scan threads' queue is locked once per many files.
    if (FInFlight.size() > MaxAhead / 2) {
        return;
    }
    FHanding.clear();
    while (!FListEnded && FInFlight.size() < MaxAhead) {
        if (FNext >= FRun.FHost.FileCount()) {
            FListEnded = true;
            break;
        }
        std::optional<std::string> name = FRun.FHost.FileName(FNext);
        if (!name) {
            FListEnded = true;
            break;
        }
        auto job = std::make_unique<FileJob>();
        job->Index = FNext++;
        job->Name = std::move(*name);
        FHanding.push_back(job.get());
        FInFlight.push_back(std::move(job));
    }
    FPipeline.Push(FHanding);
}

void SearchRun::ParallelWalk::BeginFile(std::int64_t index, const std::string& name)
{
    FRun.BeginFileOutput(index, name);
}

void SearchRun::ParallelWalk::ScanRenamed(FileJob& job, const std::string& name)
{
    DropScanned(job);
    FRun.FCounters = FBase;
    FRun.StartFile(job.Index, name);
    FRun.ScanFile(name);
    FBase = FRun.FCounters;
}

void SearchRun::ParallelWalk::DropScanned(FileJob& job)
{
    // As the head, its scan does not wait for room that other scans ahead hold.
    FPipeline.SetHead(&job);
    for (std::unique_lock guard(job.Lock);;) {
        job.Changed.wait(guard, [&] { return job.Done || !job.Items.empty(); });
        if (job.Items.empty()) {
            break;
        }
        if (job.Items.front().What == ScanItem::Kind::Entries) {
            FPipeline.Release(job.Items.front().Text.size(), &job);
            FPipeline.GiveBack(std::move(job.Items.front().Text));
        }
        job.Items.pop_front();
    }
    // The scan threads hold the chunks until their scans end.
    if (job.Split) {
        job.Split->StopBefore = 0;
        for (const auto& chunk : job.Split->Chunks) {
            DropScanned(*chunk);
        }
    }
}

void SearchRun::ParallelWalk::WriteScanned(FileJob& job)
{
    // Under SkipBinary the scan says whether the file has output at all (a Begin or a Skipped item).
    if (!FRun.FRequest.SkipBinary) {
        BeginFile(job.Index, job.Name);
    }
    FileWriting writing;
    WriteItems(job, writing, {});
    if (job.Split) {
        WriteChunks(job, writing);
    }
    FBase = Sum(FBase, writing.Written);
    FRun.FCounters = FBase;
}

void SearchRun::ParallelWalk::WriteItems(FileJob& job, FileWriting& writing, const RunCounters& before)
{
    for (;;) {
        if (FTaken.empty() && !TakeScanned(job, writing, before)) {
            break;
        }
        ScanItem item = std::move(FTaken.front());
        FTaken.pop_front();
        if (item.What == ScanItem::Kind::Entries) {
            writing.Unreleased += item.Text.size();
        }
        if (Skipped(item, writing)) {
            continue;
        }
        if (!writing.Cancelled) {
            writing.Written = Sum(before, item.Counters);
        }
        FRun.FCounters = Sum(FBase, writing.Written);
        WriteItem(job, item, writing.Cancelled);
        if (item.What == ScanItem::Kind::Entries) {
            FPipeline.GiveBack(std::move(item.Text));
        }
    }
}

void SearchRun::ParallelWalk::WriteChunks(FileJob& job, FileWriting& writing)
{
    ScanAhead::SplitFile& split = *job.Split;
    std::string failure;
    bool ended = false;
    for (const auto& owned : split.Chunks) {
        FileJob& chunk = *owned;
        if (ended || writing.Cancelled) {
            DropScanned(chunk);
            continue;
        }
        // A cancel that came with a periodic update lets the line in hand finish; a chunk ends
        // with a whole line, so the next chunk is not that line.
        if (writing.FinishingLine) {
            writing.FinishingLine = false;
            writing.Cancelled = true;
            DropScanned(chunk);
            continue;
        }
        FPipeline.SetHead(&chunk);
        const RunCounters before = writing.Written;
        FRenumberBy = !split.Counted && FRun.FRequest.LineNumbering ? before.LinesSearched : 0;
        FAtNumber = true;
        FNumber = 0;
        WriteItems(chunk, writing, before);
        FRenumberBy = 0;
        // Done, since its items were all taken.
        if (chunk.EndsFile && !writing.Cancelled) {
            ended = true;
            failure = chunk.Failure;
            split.StopBefore = 0;
        }
    }
    // What the scan on one thread does after the file's last line.
    FRun.FCounters = Sum(FBase, writing.Written);
    FRun.EndOfFileStatusUpdate(split.Size / StatusBlockSize);
    if (!failure.empty()) {
        FRun.ReportFailure(job.Name, failure);
    }
}

bool SearchRun::ParallelWalk::TakeScanned(FileJob& job, FileWriting& writing, const RunCounters& before)
{
    // Given back before waiting: a scan ahead may be waiting for exactly this room.
    FPipeline.Release(std::exchange(writing.Unreleased, 0), &job);
    std::unique_lock guard(job.Lock);
    AwaitScan(job, guard);
    if (job.Items.empty()) {
        if (!writing.Cancelled) {
            writing.Written = Sum(before, job.Final);
        }
        return false;
    }
    // Everything the scan has handed on so far, for one lock.
    FTaken.swap(job.Items);
    return true;
}

bool SearchRun::ParallelWalk::Skipped(const ScanItem& item, FileWriting& writing)
{
    // A cancel stops what is written at an entry boundary, or, raised at a periodic update,
    // after the line in hand, as on one thread; the file's last status update still comes,
    // with the counters of what was written.
    if (!writing.Cancelled && !writing.FinishingLine && CancelRequested) {
        if (writing.AfterUpdate) {
            writing.FinishingLine = true;
        } else if (!FOpen) {
            writing.Cancelled = true;
        }
    }
    if (writing.FinishingLine && item.What == ScanItem::Kind::Checkpoint) {
        // The entry of the file's last line may still wait for the check of the file's size: it
        // is finished first, as on one thread.
        writing.FinishingLine = false;
        writing.Cancelled = !FOpen;
    }
    writing.AfterUpdate = item.What == ScanItem::Kind::Status && item.Periodic;
    return writing.Cancelled && item.What != ScanItem::Kind::Status && item.What != ScanItem::Kind::Failure &&
           item.What != ScanItem::Kind::Skipped;
}

void SearchRun::ParallelWalk::WriteItem(const FileJob& job, const ScanItem& item, bool cancelled)
{
    switch (item.What) {
    case ScanItem::Kind::Entries:
        FRun.FLog.WriteLogEntries(FRenumberBy != 0 ? Renumbered(item.Text) : item.Text);
        FOpen = !item.Text.empty() && item.Text.back() != '\r';
        break;
    case ScanItem::Kind::Drop:
        FRun.FLog.DropOpenEntry();
        FOpen = false;
        FAtNumber = true;
        FNumber = 0;
        break;
    case ScanItem::Kind::Status:
        if (item.Periodic && cancelled) {
            break;
        }
        if (item.Periodic) {
            FRun.PeriodicStatusUpdate(item.Blocks);
        } else {
            FRun.EndOfFileStatusUpdate(item.Blocks);
        }
        break;
    case ScanItem::Kind::Failure:
        FRun.ReportFailure(job.Name, item.Text);
        break;
    case ScanItem::Kind::Checkpoint:
        break;
    case ScanItem::Kind::Begin:
        BeginFile(job.Index, job.Name);
        break;
    case ScanItem::Kind::Skipped:
        ++FRun.FSkippedFiles;
        FRun.FHost.FileSkipped(job.Name, item.Text);
        break;
    }
}

std::string_view SearchRun::ParallelWalk::Renumbered(std::string_view entries)
{
    // Each entry is its number, " : ", its text and byte 13; a piece may end anywhere, even inside
    // a number, whose digits then wait for the rest.
    FRenumbered.clear();
    while (!entries.empty()) {
        if (FAtNumber) {
            std::size_t digits = 0;
            while (digits < entries.size() && entries[digits] >= '0' && entries[digits] <= '9') {
                FNumber = FNumber * 10 + static_cast<std::uint64_t>(entries[digits] - '0');
                ++digits;
            }
            entries.remove_prefix(digits);
            if (entries.empty()) {
                break;
            }
            char text[24];
            const auto [end, error] =
                std::to_chars(text, text + sizeof text, FNumber + static_cast<std::uint64_t>(FRenumberBy));
            static_cast<void>(error);
            FRenumbered.append(text, end);
            FAtNumber = false;
            FNumber = 0;
        }
        const std::size_t cr = entries.find('\r');
        const std::size_t take = cr == std::string_view::npos ? entries.size() : cr + 1;
        FRenumbered.append(entries.substr(0, take));
        entries.remove_prefix(take);
        FAtNumber = cr != std::string_view::npos;
    }
    return FRenumbered;
}

void SearchRun::WalkInParallel()
{
    ParallelWalk walk(*this);
    walk.Run();
}
