#include "platform/GuiDispatcher.h"

#include <QCoreApplication>
#include <QThread>

#include <chrono>
#include <exception>
#include <thread>

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
    // The exception is carried back instead of escaping into the GUI thread's event loop.
    std::exception_ptr error;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [&] {
            try {
                fn();
            } catch (...) {
                error = std::current_exception();
            }
        },
        Qt::BlockingQueuedConnection);
    if (error) {
        std::rethrow_exception(error);
    }
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
