#include "app/LineOpener.h"

#include "platform/Application.h"
#include "search/RunFlags.h"

#include <QFileInfo>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

// A lookup that ends within this time is handed on at once, without an hourglass flashing by.
constexpr std::chrono::milliseconds QuickLookup{150};

} // namespace

struct TLineOpener::TJob {
    std::atomic<bool> Cancelled{false}; // also ends the desktop's question
    std::atomic<bool> ReadStop{false}; // set by Cancel, and by the file's reading once it found the line
    std::thread Thread;
    std::mutex Lock;
    std::condition_variable Ready;
    bool Done = false; // guarded by Lock
    TFoundLine Found; // guarded by Lock
    std::function<void(const TFoundLine&)> Then; // GUI thread
    bool Finished = false; // GUI thread

    void Join()
    {
        if (Thread.joinable()) {
            Thread.join();
        }
    }
};

TLineOpener::TLineOpener(QObject* parent)
    : QObject(parent)
{
}

TLineOpener::~TLineOpener()
{
    Cancel();
}

bool TLineOpener::Busy() const
{
    return FBusy;
}

void TLineOpener::SetBusy(bool Busy)
{
    if (FBusy == Busy) {
        return;
    }
    FBusy = Busy;
    // A search that runs meanwhile keeps its own cursor.
    Application::SetCursor(Busy ? crHourGlass : SearchRunning ? crAppStart : crDefault);
    if (OnBusyChange) {
        OnBusyChange(Busy);
    }
}

void TLineOpener::Cancel()
{
    if (const std::shared_ptr<TJob> job = std::exchange(FJob, nullptr)) {
        job->Cancelled = true;
        job->ReadStop = true;
        job->Join(); // both the reading and the desktop's question look at their flags often
    }
    SetBusy(false);
}

void TLineOpener::Find(const TLineQuery& Query, const QString& EditorFile, const QString& Command,
                       std::function<void(const TFoundLine& Found)> Done)
{
    Cancel();
    auto job = std::make_shared<TJob>();
    job->Then = std::move(Done);
    FJob = job;
    job->Thread = std::thread([this, job, Query, EditorFile, Command] {
        TFoundLine found{Query.Source, {}};
        found.Source.Line = FindLine(Query, job->ReadStop);
        if (!EditorFile.isEmpty() && !job->Cancelled) {
            found.Launch = EditorLaunchFor(Command, EditorFile, found.Source.Line, job->Cancelled);
        }
        {
            std::lock_guard guard(job->Lock);
            job->Found = std::move(found);
            job->Done = true;
        }
        job->Ready.notify_all();
        // Dropped unread when the opener is gone first: the window closed meanwhile.
        QMetaObject::invokeMethod(
            this, [this, job] { Finish(job); }, Qt::QueuedConnection);
    });
    std::unique_lock lock(job->Lock);
    if (job->Ready.wait_for(lock, QuickLookup, [&] { return job->Done; })) {
        lock.unlock();
        Finish(job);
        return;
    }
    lock.unlock();
    SetBusy(true);
}

void TLineOpener::Finish(const std::shared_ptr<TJob>& Job)
{
    if (Job != FJob || Job->Finished || Job->Cancelled) {
        return;
    }
    Job->Finished = true;
    Job->Join();
    FJob = nullptr;
    SetBusy(false);
    TFoundLine found;
    {
        std::lock_guard guard(Job->Lock);
        found = Job->Found;
    }
    if (Job->Then) {
        Job->Then(found);
    }
}
