#include "controls/qvthreads.h"
#include "platform/Application.h"
#include "platform/GuiDispatcher.h"
#include "tests/support/ScriptedDialogs.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <stdexcept>
#include <thread>

using namespace std::chrono_literals;

namespace {

// What a probe thread did, kept outside the object so that it can be read after the object is gone.
struct TProbe {
    std::atomic<int> Runs{0};
    std::atomic<bool> Release{false};
    std::atomic<bool> ReachedEnd{false};
    std::atomic<bool> SawStop{false};
    std::atomic<bool> Destroyed{false};
    std::atomic<bool> DestroyedOnGui{false};
    std::atomic<bool> PastDoFinished{false};
    std::atomic<int> Ticks{0};
    bool Poll = false; // Run loops, pausing where allowed, until asked to stop
    bool Throw = false;
    bool CallGui = false;
};

class TProbeThread final : public TQvThread {
public:
    TProbeThread(bool createSuspended, TProbe& probe)
        : TQvThread(createSuspended)
        , FProbe(probe)
    {
    }
    ~TProbeThread() override
    {
        // Run and DoFinished are this class's: the worker must be past them before this object goes
        // (unless it is the worker itself freeing the object).
        TThread::Terminate();
        WaitFor();
        FProbe.DestroyedOnGui = IsGuiThread();
        FProbe.Destroyed = true;
    }

protected:
    void Run() override
    {
        ++FProbe.Runs;
        if (FProbe.Throw) {
            throw std::runtime_error("Cannot open file /nowhere/a.txt");
        }
        if (FProbe.CallGui) {
            std::this_thread::sleep_for(20ms);
            RunOnGuiThread([this] { ++FProbe.Ticks; });
        }
        while (FProbe.Poll && !StopRequested()) {
            WaitWhilePaused();
            ++FProbe.Ticks;
            std::this_thread::sleep_for(1ms);
        }
        while (!FProbe.Poll && !FProbe.Release) {
            std::this_thread::sleep_for(1ms);
        }
        FProbe.SawStop = StopRequested();
        FProbe.ReachedEnd = true;
    }

    void DoFinished() override
    {
        TQvThread::DoFinished();
        FProbe.PastDoFinished = true;
    }

private:
    TProbe& FProbe;
};

void WaitUntil(const std::function<bool()>& condition)
{
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    WaitProcessingEvents([&] { return condition() || std::chrono::steady_clock::now() > deadline; });
}

// The counter stands still over a stretch in which a running loop would have moved it many times.
bool TicksStandStill(const TProbe& probe)
{
    std::this_thread::sleep_for(20ms);
    const int before = probe.Ticks;
    std::this_thread::sleep_for(60ms);
    return probe.Ticks == before;
}

TEST(QvThreadTest, HeldThreadStartsOnResumeAndASecondResumeDoesNoHarm)
{
    TProbe probe;
    probe.Release = true;
    auto* thread = new TProbeThread(true, probe);
    EXPECT_TRUE(thread->IsSuspended());
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(probe.Runs, 0) << "held at the gate";

    thread->Resume();
    EXPECT_FALSE(thread->IsSuspended());
    WaitUntil([&] { return probe.ReachedEnd.load(); });
    thread->Resume();
    EXPECT_FALSE(thread->IsSuspended());
    thread->WaitFor();
    EXPECT_EQ(probe.Runs, 1);
    delete thread;
    EXPECT_TRUE(probe.Destroyed);
}

TEST(QvThreadTest, TwoSuspendsAreUndoneByOneResume)
{
    TProbe probe;
    probe.Poll = true;
    auto* thread = TQvThread::Create<TProbeThread>(false, probe);
    WaitUntil([&] { return probe.Ticks > 0; });

    thread->Suspend();
    thread->Suspend();
    EXPECT_TRUE(thread->IsSuspended());
    EXPECT_TRUE(TicksStandStill(probe));

    thread->Resume();
    EXPECT_FALSE(thread->IsSuspended());
    const int before = probe.Ticks;
    WaitUntil([&] { return probe.Ticks > before + 5; });
    EXPECT_GT(probe.Ticks, before + 5);
    delete thread;
    EXPECT_TRUE(probe.SawStop);
}

TEST(QvThreadTest, SuspendedHeldThreadStaysHeldUntilResume)
{
    TProbe probe;
    probe.Release = true;
    auto* thread = new TProbeThread(true, probe);
    thread->Suspend();
    thread->Suspend();
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(probe.Runs, 0);
    thread->Resume();
    WaitUntil([&] { return probe.ReachedEnd.load(); });
    EXPECT_EQ(probe.Runs, 1);
    delete thread;
}

TEST(QvThreadTest, TerminateOnARunningThreadOnlyAsksItToStop)
{
    TProbe probe;
    auto* thread = TQvThread::Create<TProbeThread>(false, probe);
    thread->FreeOnFinish = true;
    WaitUntil([&] { return probe.Runs > 0; });

    thread->Terminate();
    EXPECT_TRUE(thread->StopRequested());
    EXPECT_FALSE(probe.Destroyed);
    EXPECT_FALSE(probe.ReachedEnd) << "Run does not poll the request and goes on";

    probe.Release = true;
    WaitUntil([&] { return probe.Destroyed.load(); });
    EXPECT_TRUE(probe.ReachedEnd);
    EXPECT_TRUE(probe.SawStop);
}

TEST(QvThreadTest, TerminateOfAHeldSelfFreeingThreadDestroysItWithoutRunning)
{
    TProbe probe;
    probe.Release = true;
    bool finishedHandler = false;
    auto* thread = new TProbeThread(true, probe);
    thread->FreeOnFinish = true;
    thread->OnFinished = [&] { finishedHandler = true; };

    thread->Terminate();
    EXPECT_TRUE(probe.Destroyed) << "gone at once";
    // Time and events in which a wrongly started Run and OnFinished would happen.
    const auto until = std::chrono::steady_clock::now() + 60ms;
    WaitProcessingEvents([&] { return std::chrono::steady_clock::now() > until; });
    EXPECT_EQ(probe.Runs, 0);
    EXPECT_FALSE(finishedHandler);
}

TEST(QvThreadTest, TerminateOfAHeldThreadThatDoesNotFreeItselfOnlySetsTheRequest)
{
    TProbe probe;
    probe.Release = true;
    auto* thread = new TProbeThread(true, probe);
    thread->Terminate();
    EXPECT_FALSE(probe.Destroyed);
    EXPECT_TRUE(thread->StopRequested());
    delete thread;
    EXPECT_EQ(probe.Runs, 0);
}

TEST(QvThreadTest, TerminateOfAPausedSelfFreeingThreadLetsItEndByItself)
{
    TProbe probe;
    probe.Poll = true;
    auto* thread = TQvThread::Create<TProbeThread>(false, probe);
    thread->FreeOnFinish = true;
    WaitUntil([&] { return probe.Ticks > 0; });
    thread->Suspend();
    ASSERT_TRUE(TicksStandStill(probe));
    thread->Terminate();
    WaitUntil([&] { return probe.Destroyed.load(); });
    EXPECT_TRUE(probe.ReachedEnd);
}

TEST(QvThreadTest, OnFinishedRunsOnTheGuiThreadWhileTheWorkerWaits)
{
    TProbe probe;
    probe.Release = true;
    bool onGui = false;
    bool workerWaited = false;
    auto* thread = new TProbeThread(true, probe);
    thread->FreeOnFinish = true;
    thread->OnFinished = [&] {
        onGui = IsGuiThread();
        std::this_thread::sleep_for(30ms);
        workerWaited = !probe.PastDoFinished && !probe.Destroyed;
    };
    thread->Resume();
    WaitUntil([&] { return probe.Destroyed.load(); });
    EXPECT_TRUE(onGui);
    EXPECT_TRUE(workerWaited);
    EXPECT_TRUE(probe.PastDoFinished);
    EXPECT_FALSE(probe.DestroyedOnGui) << "a self-freeing thread is destroyed on the worker";
}

TEST(QvThreadTest, ObjectDestroyedBeforeItFinishedWaitsForIt)
{
    TProbe probe;
    auto* thread = TQvThread::Create<TProbeThread>(false, probe);
    WaitUntil([&] { return probe.Runs > 0; });
    std::thread releaser([&] {
        std::this_thread::sleep_for(80ms);
        probe.Release = true;
    });
    delete thread;
    EXPECT_TRUE(probe.ReachedEnd);
    EXPECT_TRUE(probe.SawStop);
    releaser.join();
}

TEST(QvThreadTest, DestroyingWhileTheWorkerWaitsForTheGuiThreadDoesNotDeadlock)
{
    TProbe probe;
    probe.CallGui = true;
    probe.Release = true;
    auto* thread = TQvThread::Create<TProbeThread>(false, probe);
    WaitUntil([&] { return probe.Runs > 0; });
    delete thread; // the worker is about to wait for this thread
    EXPECT_EQ(probe.Ticks, 1);
    EXPECT_TRUE(probe.ReachedEnd);
}

TEST(QvThreadTest, DestroyingAHeldThreadNeverRunsIt)
{
    TProbe probe;
    probe.Release = true;
    delete new TProbeThread(true, probe);
    EXPECT_EQ(probe.Runs, 0);
}

TEST(QvThreadTest, SuspendAfterTheEndLeavesItNotSuspended)
{
    TProbe probe;
    probe.Release = true;
    auto* thread = TQvThread::Create<TProbeThread>(false, probe);
    thread->WaitFor();
    thread->Suspend();
    EXPECT_FALSE(thread->IsSuspended());
    delete thread;
}

TEST(QvThreadTest, ErrorEscapingRunIsShownAndTheCompletionHandlerStillRuns)
{
    TScriptedDialogs dialogs;
    Application::SetTitle(QStringLiteral("Sifton"));
    TProbe probe;
    probe.Throw = true;
    bool finishedHandler = false;
    auto* thread = new TProbeThread(true, probe);
    thread->FreeOnFinish = true;
    thread->OnFinished = [&] { finishedHandler = true; };
    thread->Resume();
    WaitUntil([&] { return probe.Destroyed.load(); });
    EXPECT_TRUE(finishedHandler);
    ASSERT_EQ(dialogs.Messages.size(), 1u);
    EXPECT_EQ(dialogs.Messages[0].Text, QStringLiteral("Cannot open file /nowhere/a.txt"));
    EXPECT_EQ(dialogs.Messages[0].Caption, QStringLiteral("Sifton"));
}

} // namespace
