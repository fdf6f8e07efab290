#include "search/ScanAhead.h"

#include <algorithm>
#include <chrono>
#include <limits>
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

SplitFile::SplitFile(FastScan::ScannedFile& file, std::int64_t size, std::int64_t chunkBytes,
                     std::int64_t index, const std::string& name)
    : Size(size)
    , ChunkBytes(chunkBytes)
    , StopBefore(std::numeric_limits<std::size_t>::max())
{
    std::swap(File.Fd, file.Fd);
    std::swap(File.Map, file.Map);
    std::swap(File.MapSize, file.MapSize);
    Data = static_cast<const char*>(File.Map);
    const auto count = static_cast<std::size_t>((size + chunkBytes - 1) / chunkBytes);
    FLines.assign(count, -1);
    for (std::size_t i = 0; i < count; ++i) {
        auto chunk = std::make_unique<FileJob>();
        chunk->Index = index;
        chunk->Name = name;
        chunk->ChunkOf = this;
        chunk->Chunk = i;
        Chunks.push_back(std::move(chunk));
    }
}

void SplitFile::PublishLines(std::size_t chunk, std::int64_t lines)
{
    std::lock_guard guard(FCountLock);
    FLines[chunk] = lines;
    FCounted.notify_all();
}

std::int64_t SplitFile::LinesBefore(std::size_t chunk)
{
    // The chunks before this one were taken before it, and each counts its lines before it waits
    // for anything, so this wait is short and always ends.
    std::int64_t lines = 0;
    std::unique_lock guard(FCountLock);
    for (std::size_t i = 0; i < chunk; ++i) {
        FCounted.wait(guard, [&] { return FLines[i] >= 0; });
        lines += FLines[i];
    }
    return lines;
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

void Pipeline::PushChunks(SplitFile& file)
{
    std::lock_guard guard(FQueueLock);
    // Files are split in whatever order their scans reach the point, but a chunk must never wait
    // behind one that is written after it: a scan thread stuck there for room would hold up the writer.
    const std::int64_t index = file.Chunks.front()->Index;
    const auto at =
        std::find_if(FChunks.begin(), FChunks.end(), [&](const FileJob* j) { return j->Index > index; });
    std::vector<FileJob*> chunks;
    for (const auto& chunk : file.Chunks) {
        chunks.push_back(chunk.get());
    }
    FChunks.insert(at, chunks.begin(), chunks.end());
    FQueued.notify_all();
}

FileJob* Pipeline::Pop()
{
    std::unique_lock guard(FQueueLock);
    FQueued.wait(guard, [&] { return Stopped() || !FQueue.empty() || !FChunks.empty(); });
    if (Stopped()) {
        return nullptr;
    }
    std::deque<FileJob*>& from = FChunks.empty() ? FQueue : FChunks;
    FileJob* job = from.front();
    from.pop_front();
    return job;
}

bool Pipeline::Acquire(std::size_t bytes, FileJob* job, bool handedAll)
{
    std::unique_lock guard(FRoomLock);
    for (;;) {
        // Counted as waiting before the test, so that SetHead, which changes the head without
        // this lock, either is seen by the test or sees the waiter and wakes it.
        FRoomWaiters.fetch_add(1);
        const bool head = job == FHead.load();
        const bool room = head ? job->Held == 0 || job->Held + bytes <= HeadLimit : FUsed + bytes <= FLimit;
        if (Stopped() || room) {
            FRoomWaiters.fetch_sub(1);
            break;
        }
        if (head && !handedAll) {
            FRoomWaiters.fetch_sub(1);
            return false;
        }
        FRoom.wait(guard);
        FRoomWaiters.fetch_sub(1);
    }
    if (Stopped()) {
        throw Abandoned{};
    }
    FUsed += bytes;
    job->Held += bytes;
    return true;
}

void Pipeline::Release(std::size_t bytes, FileJob* job)
{
    if (bytes == 0) {
        return;
    }
    std::lock_guard guard(FRoomLock);
    FUsed -= bytes;
    job->Held -= bytes;
    if (FRoomWaiters.load() > 0) {
        FRoom.notify_all();
    }
}

void Pipeline::SetHead(const FileJob* job)
{
    FHead.store(job);
    if (FRoomWaiters.load() > 0) {
        std::lock_guard guard(FRoomLock);
        FRoom.notify_all();
    }
}

std::string Pipeline::TakeBuffer(std::size_t bytes)
{
    if (bytes >= PooledFrom) {
        std::lock_guard guard(FPoolLock);
        if (!FPool.empty()) {
            std::string text = std::move(FPool.back());
            FPool.pop_back();
            return text;
        }
    }
    return {};
}

void Pipeline::GiveBack(std::string&& text)
{
    if (text.capacity() < PooledFrom) {
        return;
    }
    std::lock_guard guard(FPoolLock);
    if (FPool.size() < PoolLimit) {
        FPool.push_back(std::move(text));
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
    if (!FPipeline.Acquire(entries.size(), FJob, FBatch.empty())) {
        HandOn();
        FPipeline.Acquire(entries.size(), FJob, true);
    }
    ScanItem item;
    item.Text = FPipeline.TakeBuffer(entries.size());
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

bool JobRecorder::HandOver(FastScan::ScannedFile& file, std::int64_t size, std::int64_t chunkBytes,
                           bool counted)
{
    auto split = std::make_shared<SplitFile>(file, size, chunkBytes, FJob->Index, FJob->Name);
    split->Counted = counted;
    FJob->Split = split; // read by the writer once the job is done
    FPipeline.PushChunks(*split);
    return true;
}

void JobRecorder::Finish(bool endsFile, std::string failure)
{
    std::lock_guard guard(FJob->Lock);
    MoveBatch();
    FJob->Final = *FCounters;
    FJob->EndsFile = endsFile;
    FJob->Failure = std::move(failure);
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
    if (FJob == FPipeline.Head() || FBatchBytes >= BatchBytes || FBatch.size() >= BatchItems) {
        HandOn();
    }
}

void JobRecorder::HandOn()
{
    std::lock_guard guard(FJob->Lock);
    MoveBatch();
    FJob->Handed.fetch_add(1, std::memory_order_release);
    FJob->Changed.notify_one();
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
