// The window's display of a running search: latest value wins, nothing is lost at the end.
#include "app/RunDisplay.h"
#include "platform/GuiDispatcher.h"
#include "tests/support/WaitFor.h"

#include <atomic>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

namespace {

class RunDisplayTest : public ::testing::Test {
protected:
    RunDisplayTest()
        : FDisplay({[this](int panel, const QString& text) {
                        Panels.push_back({panel, text});
                    },
                    [this](const QString& caption) { Captions.push_back(caption); },
                    [this](const QString& title) { Titles.push_back(title); }})
    {
    }

    std::vector<std::pair<int, QString>> Panels;
    QStringList Captions;
    QStringList Titles;
    TRunDisplay FDisplay;
};

TEST_F(RunDisplayTest, ThousandsOfUpdatesFromAWorkerArriveAsTheLastOfEach)
{
    FDisplay.Start();
    std::thread worker([this] {
        for (int i = 1; i <= 5000; ++i) {
            FDisplay.PublishStatusText(0, "Lines Searched: " + std::to_string(i));
            FDisplay.PublishStatusText(2, "File Position: " + std::to_string(i / 8) + " Kb");
        }
    });
    worker.join();
    FDisplay.Stop();
    ASSERT_EQ(Panels.size(), 2u) << "shown once, not once per update";
    EXPECT_EQ(Panels[0], (std::pair<int, QString>{0, "Lines Searched: 5000"}));
    EXPECT_EQ(Panels[1], (std::pair<int, QString>{2, "File Position: 625 Kb"}));
}

TEST_F(RunDisplayTest, TitleIsTheCaptionPublishedBeforeIt)
{
    FDisplay.Start();
    FDisplay.PublishCaption("Searching /a");
    FDisplay.PublishCaptionAsTitle();
    FDisplay.PublishCaption("Searching /b");
    FDisplay.Stop();
    EXPECT_EQ(Captions, QStringList{"Searching /b"});
    EXPECT_EQ(Titles, QStringList{"Searching /a"});
}

TEST_F(RunDisplayTest, NothingIsShownOutsideARun)
{
    FDisplay.PublishStatusText(1, "before the start");
    FDisplay.Start();
    FDisplay.Show();
    EXPECT_TRUE(Panels.empty()) << "published before the run began";
    FDisplay.Stop();
    FDisplay.PublishCaption("after the end");
    FDisplay.Show();
    EXPECT_TRUE(Captions.empty());
    EXPECT_FALSE(FDisplay.Running());
}

TEST_F(RunDisplayTest, RunningDisplayShowsAtScreenPaceWithoutBeingAsked)
{
    FDisplay.Start();
    std::atomic<bool> published{false};
    std::thread worker([&] {
        FDisplay.PublishStatusText(3, "Words Found: 7");
        published = true;
    });
    WaitFor([this] { return !Panels.empty(); }, 5000);
    worker.join();
    FDisplay.Stop();
    ASSERT_EQ(Panels.size(), 1u);
    EXPECT_EQ(Panels[0].second, "Words Found: 7");
}

} // namespace
