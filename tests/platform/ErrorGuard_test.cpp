#include "platform/Application.h"
#include "platform/ErrorGuard.h"
#include "tests/support/ScriptedDialogs.h"

#include <QPushButton>

#include <gtest/gtest.h>
#include <stdexcept>

namespace {

class ErrorGuardTest : public ::testing::Test {
protected:
    void SetUp() override { Application::SetTitle(QStringLiteral("Sifton")); }
    TScriptedDialogs FDialogs;
};

TEST_F(ErrorGuardTest, ThrowingHandlerShowsExactlyOneErrorBoxCaptionedWithTheTitle)
{
    bool after = false;
    Guarded([] { throw std::runtime_error("Unable to write to /opt/sifton/sifton.ini"); });
    after = true;

    ASSERT_EQ(FDialogs.Messages.size(), 1u);
    EXPECT_EQ(FDialogs.Messages[0].Text, QStringLiteral("Unable to write to /opt/sifton/sifton.ini"));
    EXPECT_EQ(FDialogs.Messages[0].Caption, QStringLiteral("Sifton"));
    EXPECT_EQ(FDialogs.Messages[0].Icon(), MB_ICONHAND);
    EXPECT_EQ(FDialogs.Messages[0].Buttons(), MB_OK);
    EXPECT_TRUE(after);
}

TEST_F(ErrorGuardTest, CaptionFollowsTheCurrentTitle)
{
    Application::SetTitle(QStringLiteral("Other"));
    Guarded([] { throw std::runtime_error("x"); });
    ASSERT_EQ(FDialogs.Messages.size(), 1u);
    EXPECT_EQ(FDialogs.Messages[0].Caption, QStringLiteral("Other"));
}

TEST_F(ErrorGuardTest, HandlerThatSucceedsShowsNothing)
{
    int calls = 0;
    Guarded([&] { ++calls; });
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(FDialogs.Messages.empty());
}

TEST_F(ErrorGuardTest, NonStandardExceptionIsStoppedAndReported)
{
    Guarded([] { throw 42; });
    ASSERT_EQ(FDialogs.Messages.size(), 1u);
    EXPECT_EQ(FDialogs.Messages[0].Text, QStringLiteral("Unknown error."));
}

TEST_F(ErrorGuardTest, ShieldedSwallowsSilently)
{
    Shielded([] { throw std::runtime_error("lost"); });
    EXPECT_TRUE(FDialogs.Messages.empty());
}

TEST_F(ErrorGuardTest, GuardedSlotConnectedToASignalShowsTheErrorAndTheEventLoopGoesOn)
{
    QPushButton button;
    int clicks = 0;
    QObject::connect(&button, &QPushButton::clicked, &button, Guard([&] {
        ++clicks;
        throw std::runtime_error("Cannot open file /nowhere/list.lst");
    }));
    button.click();
    button.click();
    EXPECT_EQ(clicks, 2);
    ASSERT_EQ(FDialogs.Messages.size(), 2u);
    EXPECT_EQ(FDialogs.Messages[1].Text, QStringLiteral("Cannot open file /nowhere/list.lst"));
}

TEST_F(ErrorGuardTest, GuardPassesTheSignalArgumentsTheHandlerTakes)
{
    QPushButton button;
    button.setCheckable(true);
    bool seen = false;
    QObject::connect(&button, &QPushButton::toggled, &button, Guard([&](bool checked) { seen = checked; }));
    button.click();
    EXPECT_TRUE(seen);
}

} // namespace
