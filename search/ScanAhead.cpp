#include "search/ScanAhead.h"

#include <chrono>
#include <thread>
#include <utility>

namespace ScanAhead {

void AwaitScan(FileJob& job, std::unique_lock<std::mutex>& guard)
{
    if (!job.Done && job.Items.empty()) {
        const std::uint32_t before = job.Handed.load(std::memory_order_relaxed); // under the lock
        guard.unlock();
        const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(50);
        while (job.Handed.load(std::memory_order_acquire) == before &&
               std::chrono::steady_clock::now() < until) {
            std::this_thread::yield();
        }
        guard.lock();
    }
    job.Changed.wait(guard, [&] { return job.Done || !job.Items.empty(); });
}

void Pipeline::Push(const std::vector<FileJob*>& jobs)
{
    if (jobs.empty()) {
        return;
    }
    std::lock_guard guard(FQueueLock);
    FQueue.insert(FQueue.end(), jobs.begin(), jobs.end());
    FQueued.notify_all();
}

FileJob* Pipeline::Pop()
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

void Pipeline::Acquire(std::size_t bytes, std::int64_t index)
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

void Pipeline::Release(std::size_t bytes)
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

void Pipeline::SetHead(std::int64_t index)
{
    FHead.store(index);
    if (FRoomWaiters.load() > 0) {
        std::lock_guard guard(FRoomLock);
        FRoom.notify_all();
    }
}

void Pipeline::Stop()
{
    {
        std::lock_guard guard(FQueueLock);
        FStopped = true;
        FQueued.notify_all();
    }
    std::lock_guard guard(FRoomLock);
    FRoom.notify_all();
}

void JobRecorder::WriteLogLine(std::string_view text)
{
    std::string entry(text);
    entry += '\r';
    WriteLogEntries(entry);
}

void JobRecorder::WriteLogEntries(std::string_view entries)
{
    FPipeline.Acquire(entries.size(), FJob->Index);
    ScanItem item;
    item.Text.assign(entries);
    Add(std::move(item));
}

void JobRecorder::DropOpenEntry()
{
    ScanItem item;
    item.What = ScanItem::Kind::Drop;
    Add(std::move(item));
}

void JobRecorder::Status(bool periodic, std::int64_t blocks)
{
    ScanItem item;
    item.What = ScanItem::Kind::Status;
    item.Periodic = periodic;
    item.Blocks = blocks;
    Add(std::move(item));
}

void JobRecorder::Failure(const std::string& reason)
{
    ScanItem item;
    item.What = ScanItem::Kind::Failure;
    item.Text = reason;
    Add(std::move(item));
}

void JobRecorder::Checkpoint()
{
    ScanItem item;
    item.What = ScanItem::Kind::Checkpoint;
    Add(std::move(item));
}

void JobRecorder::Begin()
{
    ScanItem item;
    item.What = ScanItem::Kind::Begin;
    Add(std::move(item));
}

void JobRecorder::Skipped(const std::string& reason)
{
    ScanItem item;
    item.What = ScanItem::Kind::Skipped;
    item.Text = reason;
    Add(std::move(item));
}

void JobRecorder::Finish()
{
    std::lock_guard guard(FJob->Lock);
    MoveBatch();
    FJob->Final = *FCounters;
    FJob->Done = true;
    FJob->Handed.fetch_add(1, std::memory_order_release);
    FJob->Changed.notify_one();
}

void JobRecorder::Add(ScanItem item)
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

void JobRecorder::MoveBatch()
{
    for (ScanItem& item : FBatch) {
        FJob->Items.push_back(std::move(item));
    }
    FBatch.clear();
    FBatchBytes = 0;
}

} // namespace ScanAhead
