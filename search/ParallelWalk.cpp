// The walk over many files with every core: scan threads read and test files ahead of the run's
// own thread, which writes each file's entries, status updates and failures in list order, so that
// what the log, the counters and the host see is exactly what the walk on one thread gives.

#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
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
};

/// Stops a scan whose results are no longer wanted.
struct Abandoned {};

/// What the scan threads share with the writer.
class Pipeline {
public:
    explicit Pipeline(std::size_t aheadLimit)
        : FLimit(aheadLimit)
    {
    }

    void Push(FileJob* job)
    {
        std::lock_guard guard(FLock);
        FQueue.push_back(job);
        FQueued.notify_one();
    }

    /// The next file to scan, or nullptr once the walk is over.
    FileJob* Pop()
    {
        std::unique_lock guard(FLock);
        FQueued.wait(guard, [&] { return FStopped || !FQueue.empty(); });
        if (FStopped) {
            return nullptr;
        }
        FileJob* job = FQueue.front();
        FQueue.pop_front();
        return job;
    }

    /// Takes bytes of the scan-ahead memory; a scan ahead of the file being written waits for room.
    void Acquire(std::size_t bytes, std::int64_t index)
    {
        std::unique_lock guard(FLock);
        FRoom.wait(guard, [&] { return FStopped || index == FHead || FUsed + bytes <= FLimit; });
        if (FStopped) {
            throw Abandoned{};
        }
        FUsed += bytes;
    }

    void Release(std::size_t bytes)
    {
        std::lock_guard guard(FLock);
        FUsed -= bytes;
        FRoom.notify_all();
    }

    void SetHead(std::int64_t index)
    {
        std::lock_guard guard(FLock);
        FHead = index;
        FRoom.notify_all();
    }

    void Stop()
    {
        std::lock_guard guard(FLock);
        FStopped = true;
        FQueued.notify_all();
        FRoom.notify_all();
    }

    bool Stopped()
    {
        std::lock_guard guard(FLock);
        return FStopped;
    }

private:
    std::mutex FLock;
    std::condition_variable FQueued;
    std::condition_variable FRoom;
    std::deque<FileJob*> FQueue; // guarded by FLock
    std::size_t FUsed = 0; // guarded by FLock
    std::size_t FLimit;
    std::int64_t FHead = 0; // guarded by FLock
    bool FStopped = false; // guarded by FLock
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
        FJob->Final = *FCounters;
        FJob->Done = true;
        FJob->Changed.notify_one();
    }

private:
    void Add(ScanItem item)
    {
        if (FPipeline.Stopped()) {
            throw Abandoned{};
        }
        item.Counters = *FCounters;
        std::lock_guard guard(FJob->Lock);
        FJob->Items.push_back(std::move(item));
        FJob->Changed.notify_one();
    }

    Pipeline& FPipeline;
    FileJob* FJob = nullptr;
    const RunCounters* FCounters = nullptr;
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
    auto dispatch = [&] {
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
            pipeline.Push(job.get());
            inFlight.push_back(std::move(job));
        }
    };
    bool open = false; // the last bytes written stopped inside an entry
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
        for (;;) {
            std::unique_lock guard(job.Lock);
            job.Changed.wait(guard, [&] { return job.Done || !job.Items.empty(); });
            if (job.Items.empty()) {
                if (!cancelled) {
                    file = job.Final;
                }
                break;
            }
            ScanItem item = std::move(job.Items.front());
            job.Items.pop_front();
            guard.unlock();
            if (item.What == ScanItem::Kind::Entries) {
                pipeline.Release(item.Text.size());
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
