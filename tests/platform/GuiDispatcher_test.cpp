#include "platform/GuiDispatcher.h"

#include <QCoreApplication>
#include <QThread>

#include <atomic>
#include <gtest/gtest.h>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

TEST(GuiDispatcherTest, WorkerCallRunsOnTheGuiThreadAndTheWorkerWaitsForIt)
{
    QThread* ranOn = nullptr;
    std::atomic<bool> returned{false};
    bool doneBeforeReturn = false;
    std::thread worker([&] {
        EXPECT_FALSE(IsGuiThread());
        RunOnGuiThread([&] { ranOn = QThread::currentThread(); });
        doneBeforeReturn = ranOn != nullptr;
        returned = true;
    });
    WaitProcessingEvents([&] { return returned.load(); });
    worker.join();
    EXPECT_EQ(ranOn, QCoreApplication::instance()->thread());
    EXPECT_TRUE(doneBeforeReturn);
}

TEST(GuiDispatcherTest, CallsFromOneWorkerRunInTheOrderIssued)
{
    std::vector<int> order;
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        for (int i = 0; i < 50; ++i) {
            RunOnGuiThread([&order, i] { order.push_back(i); });
        }
        returned = true;
    });
    WaitProcessingEvents([&] { return returned.load(); });
    worker.join();
    ASSERT_EQ(order.size(), 50u);
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(order[i], i);
    }
}

TEST(GuiDispatcherTest, OnTheGuiThreadTheCallIsDirect)
{
    EXPECT_TRUE(IsGuiThread());
    int value = 0;
    RunOnGuiThread([&] { value = 7; });
    EXPECT_EQ(value, 7);
    EXPECT_EQ(CallOnGuiThread([] { return 5; }), 5);
}

TEST(GuiDispatcherTest, ExceptionOfTheCallReachesTheWorkerNotTheEventLoop)
{
    std::atomic<bool> returned{false};
    std::string caught;
    std::thread worker([&] {
        try {
            RunOnGuiThread([] { throw std::runtime_error("boom"); });
        } catch (const std::exception& e) {
            caught = e.what();
        }
        returned = true;
    });
    WaitProcessingEvents([&] { return returned.load(); });
    worker.join();
    EXPECT_EQ(caught, "boom");
}

TEST(GuiDispatcherTest, ValueComesBackToTheWorker)
{
    std::atomic<bool> returned{false};
    int got = 0;
    std::thread worker([&] {
        got = CallOnGuiThread([] { return IsGuiThread() ? 11 : -1; });
        returned = true;
    });
    WaitProcessingEvents([&] { return returned.load(); });
    worker.join();
    EXPECT_EQ(got, 11);
}

TEST(GuiDispatcherTest, OnlyCallsThatMadeAWorkerWaitAreCounted)
{
    const std::uint64_t before = BlockingCallCount();
    RunOnGuiThread([] {});
    EXPECT_EQ(BlockingCallCount(), before) << "a direct call waits for nobody";
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        RunOnGuiThread([] {});
        RunOnGuiThread([] {});
        returned = true;
    });
    WaitProcessingEvents([&] { return returned.load(); });
    worker.join();
    EXPECT_EQ(BlockingCallCount(), before + 2);
}

} // namespace
