// The walk over many files with every core: scan threads read and test files ahead of the run's
// own thread, which writes each file's entries, status updates and failures in list order, so that
// what the log, the counters and the host see is exactly what the walk on one thread gives.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "search/RunFlags.h"
#include "search/SearchRun.h"

namespace {

RunCounters Sum(const RunCounters& a, const RunCounters& b)
{
    return {a.LinesSearched + b.LinesSearched, a.LinesFound + b.LinesFound, a.WordsFound + b.WordsFound};
}

/// One thing a scan did, kept until the writer reaches its file.
struct ScanItem {
    enum class Kind : std::uint8_t { Entries, Drop, Status, Failure, Checkpoint };
    Kind What = Kind::Entries;
    bool Periodic = false;
    std::int64_t Blocks = 0;
    RunCounters Counters; // the file's own counters once this was done
    std::string Text; // entry bytes, or the failure's reason
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
void AwaitScan(FileJob& job, std::unique_lock<std::mutex>& guard)
{
    if (!job.Done && job.Items.empty()) {
        const std::uint32_t before = job.Handed.load(std::memory_order_relaxed); // under the lock
        guard.unlock();
        const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(50);
        while (job.Handed.load(std::memory_order_acquire) == before && std::chrono::steady_clock::now() < until) {
            std::this_thread::yield();
        }
        guard.lock();
    }
    job.Changed.wait(guard, [&] { return job.Done || !job.Items.empty(); });
}

/// Stops a scan whose results are no longer wanted.
struct Abandoned {};

/// What the scan threads share with the writer.
class Pipeline {
public:
    explicit Pipeline(std::size_t aheadLimit)
        : FLimit(aheadLimit)
    {
    }

    /// Hands files to the scan threads; one lock for many files.
    void Push(const std::vector<FileJob*>& jobs)
    {
        if (jobs.empty()) {
            return;
        }
        std::lock_guard guard(FQueueLock);
        FQueue.insert(FQueue.end(), jobs.begin(), jobs.end());
        FQueued.notify_all();
    }

    /// The next file to scan, or nullptr once the walk is over.
    FileJob* Pop()
    {
        std::unique_lock guard(FQueueLock);
        FQueued.wait(guard, [&] { return Stopped() || !FQueue.empty(); });
        if (Stopped()) {
            return nullptr;
        }
        FileJob* job = FQueue.front();
        FQueue.pop_front();
        return job;
    }

    /// Takes bytes of the scan-ahead memory; a scan ahead of the file being written waits for room.
    void Acquire(std::size_t bytes, std::int64_t index)
    {
        std::unique_lock guard(FRoomLock);
        for (;;) {
            // Counted as waiting before the test, so that SetHead, which changes the head without
            // this lock, either is seen by the test or sees the waiter and wakes it.
            FRoomWaiters.fetch_add(1);
            if (Stopped() || index == FHead.load() || FUsed + bytes <= FLimit) {
                FRoomWaiters.fetch_sub(1);
                break;
            }
            FRoom.wait(guard);
            FRoomWaiters.fetch_sub(1);
        }
        if (Stopped()) {
            throw Abandoned{};
        }
        FUsed += bytes;
    }

    void Release(std::size_t bytes)
    {
        if (bytes == 0) {
            return;
        }
        std::lock_guard guard(FRoomLock);
        FUsed -= bytes;
        if (FRoomWaiters.load() > 0) {
            FRoom.notify_all();
        }
    }

    /// The writer reaches a file: once per file, so it takes no lock unless a scan waits for room.
    void SetHead(std::int64_t index)
    {
        FHead.store(index);
        if (FRoomWaiters.load() > 0) {
            std::lock_guard guard(FRoomLock);
            FRoom.notify_all();
        }
    }

    /// The file being written; read without the lock by scans that decide whether to hand on now.
    std::int64_t Head() const { return FHead.load(std::memory_order_relaxed); }

    void Stop()
    {
        {
            std::lock_guard guard(FQueueLock);
            FStopped = true;
            FQueued.notify_all();
        }
        std::lock_guard guard(FRoomLock);
        FRoom.notify_all();
    }

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

    void Start(FileJob* job, const RunCounters* counters)
    {
        FJob = job;
        FCounters = counters;
    }

    void WriteLogLine(std::string_view text) override
    {
        std::string entry(text);
        entry += '\r';
        WriteLogEntries(entry);
    }
    void WriteLogEntries(std::string_view entries) override
    {
        FPipeline.Acquire(entries.size(), FJob->Index);
        ScanItem item;
        item.Text.assign(entries);
        Add(std::move(item));
    }
    void DropOpenEntry() override
    {
        ScanItem item;
        item.What = ScanItem::Kind::Drop;
        Add(std::move(item));
    }
    void Status(bool periodic, std::int64_t blocks) override
    {
        ScanItem item;
        item.What = ScanItem::Kind::Status;
        item.Periodic = periodic;
        item.Blocks = blocks;
        Add(std::move(item));
    }
    void Failure(const std::string& reason) override
    {
        ScanItem item;
        item.What = ScanItem::Kind::Failure;
        item.Text = reason;
        Add(std::move(item));
    }
    void Checkpoint() override
    {
        ScanItem item;
        item.What = ScanItem::Kind::Checkpoint;
        Add(std::move(item));
    }

    void Finish()
    {
        std::lock_guard guard(FJob->Lock);
        MoveBatch();
        FJob->Final = *FCounters;
        FJob->Done = true;
        FJob->Handed.fetch_add(1, std::memory_order_release);
        FJob->Changed.notify_one();
    }

private:
    // A file scanned ahead of the writer keeps its items here until it is done, so that a small
    // file costs its job one lock and the writer at most one wake-up; the file being written hands
    // on every item at once, so that its progress shows and its memory comes back as it goes.
    static constexpr std::size_t BatchBytes = 64 * 1024;
    static constexpr std::size_t BatchItems = 256;

    void Add(ScanItem item)
    {
        if (FPipeline.Stopped()) {
            throw Abandoned{};
        }
        item.Counters = *FCounters;
        FBatchBytes += item.Text.size();
        FBatch.push_back(std::move(item));
        if (FJob->Index == FPipeline.Head() || FBatchBytes >= BatchBytes || FBatch.size() >= BatchItems) {
            std::lock_guard guard(FJob->Lock);
            MoveBatch();
            FJob->Handed.fetch_add(1, std::memory_order_release);
            FJob->Changed.notify_one();
        }
    }

    // Under the job's lock.
    void MoveBatch()
    {
        for (ScanItem& item : FBatch) {
            FJob->Items.push_back(std::move(item));
        }
        FBatch.clear();
        FBatchBytes = 0;
    }

    Pipeline& FPipeline;
    FileJob* FJob = nullptr;
    const RunCounters* FCounters = nullptr;
    std::vector<ScanItem> FBatch; // kept for the thread's files, so its buffer is allocated once
    std::size_t FBatchBytes = 0;
};

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

void SearchRun::WalkInParallel()
{
    Pipeline pipeline(FScanAheadLimit);
    std::deque<std::unique_ptr<FileJob>> inFlight; // outlives the scan threads, which use the jobs
    std::vector<std::thread> threads;
    ThreadsStopper stopper{pipeline, threads};
    for (int i = 0; i < FThreads; ++i) {
        threads.emplace_back([this, &pipeline] {
            JobRecorder recorder(pipeline);
            SearchRun scan(FRequest, recorder, FHost, FSeparator);
            scan.FRecorder = &recorder;
            while (FileJob* job = pipeline.Pop()) {
                scan.FCounters = {};
                recorder.Start(job, &scan.FCounters);
                try {
                    scan.ScanFile(job->Name);
                } catch (const Abandoned&) {
                    return;
                } catch (const std::exception& error) {
                    // Nothing else is thrown by a scan that writes only here; report it as the file's.
                    try {
                        recorder.Failure(error.what());
                    } catch (const Abandoned&) {
                        return;
                    }
                }
                recorder.Finish();
            }
        });
    }

    std::int64_t next = 0;
    bool listEnded = false;
    constexpr std::size_t MaxAhead = 1024;
    RunCounters base;
    std::vector<FileJob*> handing;
    auto dispatch = [&] {
        // Topped up in halves, so that the scan threads' queue is locked once per many files.
        if (inFlight.size() > MaxAhead / 2) {
            return;
        }
        handing.clear();
        while (!listEnded && inFlight.size() < MaxAhead) {
            if (next >= FHost.FileCount()) {
                listEnded = true;
                break;
            }
            std::optional<std::string> name = FHost.FileName(next);
            if (!name) {
                listEnded = true;
                break;
            }
            auto job = std::make_unique<FileJob>();
            job->Index = next++;
            job->Name = std::move(*name);
            handing.push_back(job.get());
            inFlight.push_back(std::move(job));
        }
        pipeline.Push(handing);
    };
    bool open = false; // the last bytes written stopped inside an entry
    std::deque<ScanItem> taken; // items taken from the file being written, not yet written
    while (!CancelRequested) {
        dispatch();
        if (inFlight.empty()) {
            break;
        }
        FileJob& job = *inFlight.front();
        // The list may have changed since the name was taken ahead: as on one thread, a list that
        // has become shorter ends the run, and an entry that now names another file is scanned here.
        if (job.Index >= FHost.FileCount()) {
            break;
        }
        if (std::optional<std::string> now = FHost.FileName(job.Index); !now || *now != job.Name) {
            if (!now) {
                break;
            }
            // What was scanned ahead for the old name is dropped, and its memory given back.
            pipeline.SetHead(job.Index);
            for (std::unique_lock guard(job.Lock);;) {
                job.Changed.wait(guard, [&] { return job.Done || !job.Items.empty(); });
                if (job.Items.empty()) {
                    break;
                }
                if (job.Items.front().What == ScanItem::Kind::Entries) {
                    pipeline.Release(job.Items.front().Text.size());
                }
                job.Items.pop_front();
            }
            FHost.FileEntriesBegin(job.Index, *now);
            if (FRequest.Verbose) {
                FLog.WriteLogLine(FileHeaderLine(FRequest, *now));
            }
            FHost.SetCaption("Searching " + *now);
            FCounters = base;
            ScanFile(*now);
            base = FCounters;
            inFlight.pop_front();
            continue;
        }
        pipeline.SetHead(job.Index);
        FHost.FileEntriesBegin(job.Index, job.Name);
        if (FRequest.Verbose) {
            FLog.WriteLogLine(FileHeaderLine(FRequest, job.Name));
        }
        FHost.SetCaption("Searching " + job.Name);
        RunCounters file; // what has been written of this file
        bool cancelled = false;
        bool finishingLine = false; // a cancel came with a periodic update: its line is still written
        bool afterUpdate = false;
        std::size_t written = 0; // entry bytes written since the scan-ahead memory was last given back
        for (;;) {
            if (taken.empty()) {
                // Given back before waiting: a scan ahead may be waiting for exactly this room.
                pipeline.Release(std::exchange(written, 0));
                std::unique_lock guard(job.Lock);
                AwaitScan(job, guard);
                if (job.Items.empty()) {
                    if (!cancelled) {
                        file = job.Final;
                    }
                    break;
                }
                // Everything the scan has handed on so far, for one lock.
                taken.swap(job.Items);
            }
            ScanItem item = std::move(taken.front());
            taken.pop_front();
            if (item.What == ScanItem::Kind::Entries) {
                written += item.Text.size();
            }
            // A cancel stops what is written at an entry boundary, or, raised at a periodic update,
            // after the line in hand, as on one thread; the file's last status update still comes,
            // with the counters of what was written.
            if (!cancelled && !finishingLine && CancelRequested) {
                if (afterUpdate) {
                    finishingLine = true;
                } else if (!open) {
                    cancelled = true;
                }
            }
            if (finishingLine && item.What == ScanItem::Kind::Checkpoint) {
                finishingLine = false;
                cancelled = true;
            }
            afterUpdate = item.What == ScanItem::Kind::Status && item.Periodic;
            if (cancelled && item.What != ScanItem::Kind::Status && item.What != ScanItem::Kind::Failure) {
                continue;
            }
            if (!cancelled) {
                file = item.Counters;
            }
            FCounters = Sum(base, file);
            switch (item.What) {
            case ScanItem::Kind::Entries:
                FLog.WriteLogEntries(item.Text);
                open = !item.Text.empty() && item.Text.back() != '\r';
                break;
            case ScanItem::Kind::Drop:
                FLog.DropOpenEntry();
                open = false;
                break;
            case ScanItem::Kind::Status:
                if (item.Periodic && cancelled) {
                    break;
                }
                if (item.Periodic) {
                    PeriodicStatusUpdate(item.Blocks);
                } else {
                    EndOfFileStatusUpdate(item.Blocks);
                }
                break;
            case ScanItem::Kind::Failure:
                ReportFailure(job.Name, item.Text);
                break;
            case ScanItem::Kind::Checkpoint:
                break;
            }
        }
        base = Sum(base, file);
        FCounters = base;
        inFlight.pop_front();
    }
}
