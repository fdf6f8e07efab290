#pragma once

// Internal to the parallel walk (ParallelWalk.cpp); not part of the engine's API.

#include "search/EntrySink.h"
#include "search/MappedFile.h"
#include "search/SearchRun.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

// What the scan threads of a parallel walk share with the writer: the files handed to them, the
// record of what each scan did, and the memory they may hold ahead of the writer.

namespace ScanAhead {

/// One thing a scan did, kept until the writer reaches its file.
struct ScanItem {
    enum class Kind : std::uint8_t { Entries, Drop, Status, Failure, Checkpoint, Begin, Skipped };
    Kind What = Kind::Entries;
    bool Periodic = false;
    std::int64_t Blocks = 0;
    RunCounters Counters; // the file's own counters once this was done
    std::string Text; // entry bytes, or the failure's (or the skip's) reason
};

struct SplitFile;

/// A file handed to the scan threads, or a chunk of a file split among them, and what its scan has
/// done so far.
struct FileJob {
    std::int64_t Index = 0; // the file's entry in the list
    std::string Name;
    SplitFile* ChunkOf = nullptr; // set for a chunk
    std::size_t Chunk = 0;
    std::mutex Lock;
    std::condition_variable Changed;
    std::deque<ScanItem> Items; // guarded by Lock
    bool Done = false; // guarded by Lock
    RunCounters Final; // guarded by Lock; valid once Done (a chunk's: its own lines only)
    std::atomic<std::uint32_t> Handed = 0; // how often items or the end were handed on; changed under Lock
    std::size_t Held =
        0; // guarded by the pipeline's room lock: scan-ahead bytes of this job not yet given back
    std::shared_ptr<SplitFile> Split; // valid once Done: the file was handed on in chunks
    bool EndsFile = false; // valid once Done: the chunk ended the file (one occurrence, byte 26, failure)
    std::string Failure; // valid once Done: why reading the chunk failed
};

/// A large mapped file scanned in chunks by the scan threads, while the writer writes them in order.
/// Each chunk first counts its lines, so that a chunk's scan knows its first line number and where
/// the periodic status updates of the file fall in it; the counting touches the chunk's pages, which
/// the scan then finds at hand.
struct SplitFile {
    SplitFile(FastScan::ScannedFile& file, std::int64_t size, std::int64_t chunkBytes, std::int64_t index,
              const std::string& name);

    FastScan::ScannedFile File; // the mapping, released once the writer and every chunk are done
    /// Whether chunks count their lines first. Without it, they have no periodic updates and number
    /// their lines from 1, and the writer adds the lines of the chunks before.
    bool Counted = true;
    const char* Data = nullptr;
    std::int64_t Size = 0;
    std::int64_t ChunkBytes = 0;
    std::vector<std::unique_ptr<FileJob>> Chunks;
    /// The first chunk whose scan is not wanted: the one after a chunk that ended the file.
    std::atomic<std::size_t> StopBefore;

    /// Gives the chunk's line count to the chunks after it (once per chunk, however its scan ends).
    void PublishLines(std::size_t chunk, std::int64_t lines);
    /// The lines of the chunks before chunk, once they are counted.
    std::int64_t LinesBefore(std::size_t chunk);

private:
    std::mutex FCountLock;
    std::condition_variable FCounted;
    std::vector<std::int64_t> FLines; // guarded by FCountLock; -1 until counted
};

/// Waits for the scan of job to hand something on. A small file is scanned in microseconds, so the
/// writer first looks for a moment without sleeping: being put to sleep and woken for every file
/// would cost more than the file.
void AwaitScan(FileJob& job, std::unique_lock<std::mutex>& guard);

/// Stops a scan whose results are no longer wanted.
struct Abandoned { };

/// What the scan threads share with the writer.
class Pipeline {
public:
    explicit Pipeline(std::size_t aheadLimit)
        : FLimit(aheadLimit)
    {
    }

    /// Hands files to the scan threads; one lock for many files.
    void Push(const std::vector<FileJob*>& jobs);

    /// Hands the chunks of a split file to the scan threads before any file: the writer needs them
    /// first. Chunks of several files are taken in the files' order.
    void PushChunks(SplitFile& file);

    /// The next file to scan, or nullptr once the walk is over.
    FileJob* Pop();

    /// Takes bytes of the scan-ahead memory for job; a scan ahead of the job being written waits for
    /// room, and so does the scan of that job once it holds HeadLimit bytes the writer has not
    /// written yet. That scan may wait only when it has handed on everything it holds (handedAll),
    /// since only the writer gives room back: otherwise it gets false, to hand on and ask again.
    bool Acquire(std::size_t bytes, FileJob* job, bool handedAll);

    /// Gives bytes of job's scan-ahead memory back.
    void Release(std::size_t bytes, FileJob* job);

    /// What the job being written may hold: a scan faster than the writer (one big file in chunks,
    /// nearly every line reported) must not fill the memory with entries.
    static constexpr std::size_t HeadLimit = std::size_t{8} << 20;

    /// The writer reaches a file or chunk: once per job, so it takes no lock unless a scan waits for room.
    void SetHead(const FileJob* job);

    /// The job being written; read without the lock by scans that decide whether to hand on now.
    const FileJob* Head() const { return FHead.load(std::memory_order_relaxed); }

    /// Ends the walk: the scan threads get no more files, and a scan waiting for room stops.
    void Stop();

    /// Asked at every item a scan makes: a flag, not a lock every scan thread would queue on.
    bool Stopped() const { return FStopped.load(); }

    /// A buffer for bytes entries, one that was written and given back when there is one: a fresh
    /// allocation of that size costs a page fault for every page it touches.
    std::string TakeBuffer(std::size_t bytes);
    /// Gives an item's text back once it is written.
    void GiveBack(std::string&& text);

private:
    std::mutex FQueueLock;
    std::condition_variable FQueued;
    std::deque<FileJob*> FQueue; // guarded by FQueueLock
    std::deque<FileJob*> FChunks; // guarded by FQueueLock; taken before FQueue
    std::mutex FRoomLock;
    std::condition_variable FRoom;
    std::size_t FUsed = 0; // guarded by FRoomLock
    std::size_t FLimit;
    std::atomic<int> FRoomWaiters = 0; // scans in Acquire; changed under FRoomLock
    std::atomic<const FileJob*> FHead = nullptr;
    std::atomic<bool> FStopped = false; // set under FQueueLock, then FRoomLock is passed
    // Only buffers of a full entry buffer's size are kept, and only a few: the writer gives one back
    // for every one a scan takes.
    static constexpr std::size_t PooledFrom = 64 * 1024;
    static constexpr std::size_t PoolLimit = 128;
    std::mutex FPoolLock;
    std::vector<std::string> FPool; // guarded by FPoolLock
};

/// The sink and recorder of one scan thread: what the scan of a file writes and shows becomes items
/// of that file's job.
class JobRecorder final : public EntrySink, public ScanRecorder {
public:
    explicit JobRecorder(Pipeline& pipeline)
        : FPipeline(pipeline)
    {
    }

    /// The next file's scan begins; counters are the scan's own, read at every item.
    void Start(FileJob* job, const RunCounters* counters)
    {
        FJob = job;
        FCounters = counters;
    }

    void WriteLogLine(std::string_view text) override;
    void WriteLogEntries(std::string_view entries) override;
    void DropOpenEntry() override;
    void Status(bool periodic, std::int64_t blocks) override;
    void Failure(const std::string& reason) override;
    void Checkpoint() override;
    void Begin() override;
    void Skipped(const std::string& reason) override;

    /// A mapped file large enough to be split: it becomes chunks for the scan threads.
    bool HandOver(FastScan::ScannedFile& file, std::int64_t size, std::int64_t chunkBytes,
                  bool counted) override;

    /// The file's scan is over: everything it did and its counters go to the writer, with how a
    /// chunk's scan ended.
    void Finish(bool endsFile = false, std::string failure = {});

private:
    // A file scanned ahead of the writer keeps its items here until it is done, so that a small
    // file costs its job one lock and the writer at most one wake-up; the file being written hands
    // on every item at once, so that its progress shows and its memory comes back as it goes.
    static constexpr std::size_t BatchBytes = 64 * 1024;
    static constexpr std::size_t BatchItems = 256;

    void Add(ScanItem item);

    /// Hands the batch on to the writer.
    void HandOn();

    // Under the job's lock.
    void MoveBatch();

    Pipeline& FPipeline;
    FileJob* FJob = nullptr;
    const RunCounters* FCounters = nullptr;
    std::vector<ScanItem> FBatch; // kept for the thread's files, so its buffer is allocated once
    std::size_t FBatchBytes = 0;
};

} // namespace ScanAhead
