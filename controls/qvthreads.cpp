#include "controls/qvthreads.h"

#include "platform/Application.h"
#include "platform/Dialogs.h"
#include "platform/ErrorGuard.h"
#include "platform/GuiDispatcher.h"

TThread::TThread()
    : FThread([this] { Execute(); })
{
}

TThread::~TThread()
{
    if (std::this_thread::get_id() == FThread.get_id()) {
        // Freed on its own thread after finishing: nothing left to wait for.
        FThread.detach();
        return;
    }
    {
        std::lock_guard lock(FLock);
        if (!FGateOpen) {
            FAbandoned = true;
        }
        FStopRequested = true;
        FPaused = false;
    }
    FSignal.notify_all();
    // The worker may be waiting for the GUI thread (OnFinished, a status text): keep events flowing.
    WaitProcessingEvents([this] { return FDone.load(); });
    FThread.join();
}

void TThread::Execute()
{
    {
        std::unique_lock lock(FLock);
        FSignal.wait(lock, [this] { return FGateOpen || FAbandoned; });
        if (FAbandoned) {
            lock.unlock();
            FDone = true;
            return;
        }
    }
    // An error escaping the work or the completion handler goes to the central error box; the thread
    // still finishes, so that whatever waits for it is released.
    try {
        Run();
    } catch (...) {
        ShowCurrentException();
    }
    FFinished = true;
    try {
        DoFinished();
    } catch (...) {
        ShowCurrentException();
    }
    if (FreeOnFinish) {
        delete this;
        return;
    }
    FDone = true;
}

void TThread::DoFinished()
{
    if (OnFinished) {
        RunOnGuiThread(OnFinished);
    }
}

// The wake-ups below are sent while the lock is held: once it is released, a self-freeing thread may
// run to its end and delete this object, condition variable included.
void TThread::Start()
{
    std::lock_guard lock(FLock);
    FGateOpen = true;
    FPaused = false;
    FSignal.notify_all();
}

bool TThread::Pause()
{
    std::lock_guard lock(FLock);
    if (FFinished) {
        return false;
    }
    FPaused = true;
    return true;
}

void TThread::Terminate()
{
    std::lock_guard lock(FLock);
    FStopRequested = true;
    FSignal.notify_all();
}

bool TThread::Started() const
{
    std::lock_guard lock(FLock);
    return FGateOpen;
}

void TThread::WaitFor()
{
    if (std::this_thread::get_id() == FThread.get_id()) {
        return;
    }
    WaitProcessingEvents([this] { return FDone.load() || !Started(); });
}

void TThread::WaitWhilePaused()
{
    std::unique_lock lock(FLock);
    FSignal.wait(lock, [this] { return !FPaused || FStopRequested; });
}

namespace {

void ReportThreadError(const char* text) noexcept
{
    Shielded([text] { MessageBox(QString::fromLatin1(text), Application::Title(), MB_OK); });
}

} // namespace

TQvThread::TQvThread(bool createSuspended)
    : FIsSuspended(createSuspended)
{
}

void TQvThread::Suspend()
{
    try {
        FIsSuspended = true;
        if (!Pause()) {
            FIsSuspended = false;
        }
    } catch (...) {
        ReportThreadError("Thread Suspend Exception.");
    }
}

void TQvThread::Resume()
{
    try {
        // Before Start: a self-freeing thread may be gone as soon as it is let go.
        FIsSuspended = false;
        Start();
    } catch (...) {
        ReportThreadError("Thread Resume Exception.");
    }
}

void TQvThread::Terminate()
{
    try {
        TThread::Terminate();
        if (FIsSuspended && FreeOnFinish) {
            if (!Started()) {
                // Never ran: it goes at once, Run and OnFinished never happen.
                delete this;
                return;
            }
            // Paused inside Run: it cannot be killed safely, so it is let go to see the stop request
            // (and may be gone as soon as it is).
            FIsSuspended = false;
            Start();
        }
    } catch (...) {
        ReportThreadError("Thread Terminate Exception.");
    }
}
