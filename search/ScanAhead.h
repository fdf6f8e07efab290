#pragma once

// Internal to the parallel walk (ParallelWalk.cpp); not part of the engine's API.

#include "search/EntrySink.h"
#include "search/SearchRun.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
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

/// A file handed to the scan threads, and what its scan has done so far.
struct FileJob {
    std::int64_t Index = 0;
    std::string Name;
    std::mutex Lock;
    std::condition_variable Changed;
    std::deque<ScanItem> Items; // guarded by Lock
    bool Done = false; // guarded by Lock
    RunCounters Final; // guarded by Lock; valid once Done
    std::atomic<std::uint32_t> Handed = 0; // how often items or the end were handed on; changed under Lock
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

    /// The next file to scan, or nullptr once the walk is over.
    FileJob* Pop();

    /// Takes bytes of the scan-ahead memory; a scan ahead of the file being written waits for room.
    void Acquire(std::size_t bytes, std::int64_t index);

    /// Gives bytes of the scan-ahead memory back.
    void Release(std::size_t bytes);

    /// The writer reaches a file: once per file, so it takes no lock unless a scan waits for room.
    void SetHead(std::int64_t index);

    /// The file being written; read without the lock by scans that decide whether to hand on now.
    std::int64_t Head() const { return FHead.load(std::memory_order_relaxed); }

    /// Ends the walk: the scan threads get no more files, and a scan waiting for room stops.
    void Stop();

    /// Asked at every item a scan makes: a flag, not a lock every scan thread would queue on.
    bool Stopped() const { return FStopped.load(); }

private:
    std::mutex FQueueLock;
    std::condition_variable FQueued;
    std::deque<FileJob*> FQueue; // guarded by FQueueLock
    std::mutex FRoomLock;
    std::condition_variable FRoom;
    std::size_t FUsed = 0; // guarded by FRoomLock
    std::size_t FLimit;
    std::atomic<int> FRoomWaiters = 0; // scans in Acquire; changed under FRoomLock
    std::atomic<std::int64_t> FHead = 0;
    std::atomic<bool> FStopped = false; // set under FQueueLock, then FRoomLock is passed
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

    /// The file's scan is over: everything it did and its counters go to the writer.
    void Finish();

private:
    // A file scanned ahead of the writer keeps its items here until it is done, so that a small
    // file costs its job one lock and the writer at most one wake-up; the file being written hands
    // on every item at once, so that its progress shows and its memory comes back as it goes.
    static constexpr std::size_t BatchBytes = 64 * 1024;
    static constexpr std::size_t BatchItems = 256;

    void Add(ScanItem item);

    // Under the job's lock.
    void MoveBatch();

    Pipeline& FPipeline;
    FileJob* FJob = nullptr;
    const RunCounters* FCounters = nullptr;
    std::vector<ScanItem> FBatch; // kept for the thread's files, so its buffer is allocated once
    std::size_t FBatchBytes = 0;
};

} // namespace ScanAhead
