#include "platform/GuiDispatcher.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <QThread>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

namespace {

std::atomic<std::uint64_t> BlockingCalls{0};

// A call from a worker waits in a queue of ours, guarded by a standard mutex, and a posted event only
// wakes the GUI thread to run what is queued. Qt's own blocking hand-off would work as well, but its
// queue and semaphore are invisible to ThreadSanitizer (Qt is not built with it); with the hand-off
// in our own code every run of the thread tests under it can tell a real race from Qt's internals.
struct TCall {
    const std::function<void()>* Fn;
    std::exception_ptr Error;
    bool Done = false; // guarded by CallsLock
};

std::mutex CallsLock;
std::condition_variable CallDone;
std::deque<TCall*> Calls; // guarded by CallsLock

const QEvent::Type WakeUp = static_cast<QEvent::Type>(QEvent::registerEventType());

void RunQueuedCalls()
{
    while (true) {
        TCall* call = nullptr;
        {
            std::lock_guard lock(CallsLock);
            if (Calls.empty()) {
                return;
            }
            call = Calls.front();
            Calls.pop_front();
        }
        // The exception is carried back instead of escaping into the GUI thread's event loop.
        try {
            (*call->Fn)();
        } catch (...) {
            call->Error = std::current_exception();
        }
        {
            std::lock_guard lock(CallsLock);
            call->Done = true;
        }
        CallDone.notify_all();
    }
}

class TCallRunner final : public QObject {
public:
    bool event(QEvent* event) override
    {
        if (event->type() != WakeUp) {
            return QObject::event(event);
        }
        RunQueuedCalls();
        return true;
    }
};

// The receiver of the wake-ups, living on the GUI thread of the current application.
QObject* Runner()
{
    static std::mutex lock;
    static QPointer<QCoreApplication> owner;
    static QObject* runner = nullptr;
    std::lock_guard guard(lock);
    QCoreApplication* app = QCoreApplication::instance();
    if (runner == nullptr || owner != app) {
        runner = new TCallRunner;
        // Created on whichever thread asks first; it belongs to the application's thread.
        runner->moveToThread(app->thread());
        owner = app;
    }
    return runner;
}

} // namespace

bool IsGuiThread()
{
    const QCoreApplication* app = QCoreApplication::instance();
    return app == nullptr || QThread::currentThread() == app->thread();
}

void RunOnGuiThread(const std::function<void()>& fn)
{
    if (IsGuiThread()) {
        fn();
        return;
    }
    BlockingCalls.fetch_add(1, std::memory_order_relaxed);
    TCall call{&fn};
    {
        std::lock_guard lock(CallsLock);
        Calls.push_back(&call);
    }
    // The wake-up carries nothing: what the call needs is in the queue above, whose mutex orders it.
    // An event object made here and read on the GUI thread would pass through Qt's queue alone.
    QMetaObject::invokeMethod(
        Runner(), [] { RunQueuedCalls(); }, Qt::QueuedConnection);
    {
        std::unique_lock lock(CallsLock);
        CallDone.wait(lock, [&] { return call.Done; });
    }
    if (call.Error) {
        std::rethrow_exception(call.Error);
    }
}

std::uint64_t BlockingCallCount()
{
    return BlockingCalls.load(std::memory_order_relaxed);
}

void WaitProcessingEvents(const std::function<bool()>& done)
{
    using namespace std::chrono_literals;
    while (!done()) {
        if (QCoreApplication::instance() != nullptr && IsGuiThread()) {
            // Posted calls from the worker must run, but a click must not start a new command here.
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        }
        std::this_thread::sleep_for(1ms);
    }
}
