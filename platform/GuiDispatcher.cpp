#include "platform/GuiDispatcher.h"

#include <QCoreApplication>
#include <QThread>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

namespace {

std::atomic<std::uint64_t> BlockingCalls{0};

// One call handed to the GUI thread. Completion goes through a standard mutex rather than Qt's
// blocking connection, so that what the call wrote is ordered before the caller reads it in a way
// that thread checkers can see.
struct THandOver {
    std::mutex Lock;
    std::condition_variable Done;
    bool Finished = false; // guarded by Lock
    std::exception_ptr Error; // written by the GUI thread before Finished
};

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
    auto call = std::make_shared<THandOver>();
    // The exception is carried back instead of escaping into the GUI thread's event loop.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [call, &fn] {
            std::exception_ptr error;
            try {
                fn();
            } catch (...) {
                error = std::current_exception();
            }
            std::lock_guard lock(call->Lock);
            call->Error = error;
            call->Finished = true;
            call->Done.notify_one();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(call->Lock);
    call->Done.wait(lock, [&] { return call->Finished; });
    if (call->Error) {
        std::rethrow_exception(call->Error);
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
