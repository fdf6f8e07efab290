#include "platform/StopSignals.h"
#include "tests/support/WaitFor.h"

#include <QCoreApplication>
#include <QObject>
#include <QThread>

#include <csignal>
#include <gtest/gtest.h>

namespace {

TEST(StopSignals, EachSignalBecomesOneCallOnTheGuiThreadAndTheNextOneIsFatalAgain)
{
    for (const int signal : {SIGTERM, SIGHUP, SIGINT}) {
        QObject context;
        int calls = 0;
        QThread* ranOn = nullptr;
        OnStopSignal(&context, [&] {
            ++calls;
            ranOn = QThread::currentThread();
        });
        ASSERT_EQ(std::raise(signal), 0); // the program would end here without the watch
        WaitFor([&] { return calls != 0; }, 5000);
        EXPECT_EQ(calls, 1) << signal;
        EXPECT_EQ(ranOn, QCoreApplication::instance()->thread()) << signal;
        // A program that does not end after the first signal can still be ended by a second one.
        struct sigaction now { };
        ::sigaction(SIGTERM, nullptr, &now);
        EXPECT_EQ(now.sa_handler, SIG_DFL) << signal;
    }
}

} // namespace
