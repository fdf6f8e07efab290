#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

/// A worker thread on std::thread: created held at a gate, Run on the thread once started, then OnFinished
/// on the GUI thread while the worker waits, then (with FreeOnFinish) the object deletes itself.
class TThread {
public:
    TThread();
    /// Waits for a started thread to end (asking it to stop first); a held thread ends without running.
    /// A class whose Run uses its own members and that may be destroyed while running calls WaitFor()
    /// in its own destructor, before those members go.
    virtual ~TThread();
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    /// Optional completion handler, run on the GUI thread after Run while the worker waits.
    std::function<void()> OnFinished;
    /// When set, the object deletes itself on the worker thread right after the completion handler.
    bool FreeOnFinish = false;

    /// Lets a held thread begin Run, or a paused one go on. Does nothing to a running thread.
    void Start();
    /// Asks the thread to pause at its next WaitWhilePaused(); false once Run has returned.
    bool Pause();
    /// Sets StopRequested, which Run may poll.
    virtual void Terminate();
    /// True once Terminate (or destruction) asked the thread to stop.
    bool StopRequested() const { return FStopRequested.load(); }
    /// True once Run has returned.
    bool Finished() const { return FFinished.load(); }
    /// True once Start let the thread past its gate.
    bool Started() const;
    /// Waits until Run and the completion handler are over; on the GUI thread events keep flowing meanwhile.
    /// Not for a FreeOnFinish thread, which may be gone by then.
    void WaitFor();

protected:
    /// The work, on the worker thread.
    virtual void Run() = 0;
    /// Has OnFinished carried out on the GUI thread and waits for it.
    virtual void DoFinished();
    /// Blocks while the thread is paused (and no stop was asked); Run calls it where pausing is safe.
    void WaitWhilePaused();

private:
    void Execute();

    mutable std::mutex FLock;
    std::condition_variable FSignal;
    bool FGateOpen = false; // guarded by FLock
    bool FAbandoned = false; // guarded by FLock
    bool FPaused = false; // guarded by FLock
    std::atomic<bool> FStopRequested{false};
    std::atomic<bool> FFinished{false};
    std::atomic<bool> FDone{false};
    std::thread FThread;
};

/// The program's worker thread class: a remembered suspended state and Suspend/Resume/Terminate that report
/// failures in a message box instead of raising them.
class TQvThread : public TThread {
public:
    /// Creates the thread held when createSuspended is set. The thread only runs once Resume (or Start) is
    /// called: create a running thread with Create<T>(false, ...).
    explicit TQvThread(bool createSuspended);

    /// Creates a T (constructed as T(createSuspended, args...)), running unless createSuspended.
    template <class T, class... A>
    static T* Create(bool createSuspended, A&&... args)
    {
        T* thread = new T(createSuspended, std::forward<A>(args)...);
        if (!createSuspended) {
            thread->Start();
        }
        return thread;
    }

    /// Marks the thread suspended. A held thread stays held; a running one pauses at its next
    /// WaitWhilePaused() (threads cannot be frozen from outside here); a finished one cannot be suspended.
    virtual void Suspend();
    /// Lets the thread run, undoing any number of earlier Suspend calls.
    virtual void Resume();
    /// Sets StopRequested; a held self-freeing thread is destroyed at once without running Run or OnFinished.
    /// A running thread is only asked to stop (a paused one is let go so that it can see the request).
    void Terminate() override;

    /// The thread is believed to be suspended (held).
    bool IsSuspended() const { return FIsSuspended; }

protected:
    bool FIsSuspended; // touched only by the controlling thread
};
