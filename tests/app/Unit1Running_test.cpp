// The main window while a search runs: the commands, Cancel and Ctrl+C, the list edited meanwhile,
// and closing the window. A run is held at a fixed point so that "during a run" is no race.
#include "app/SearchThread.h"
#include "search/RunFlags.h"
#include "tests/support/WaitFor.h"
#include "tests/support/WindowFixture.h"

#include <QApplication>
#include <QClipboard>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>
#include <memory>
#include <thread>

namespace {

using Unit1Test = WindowTest;

class RunInProgressTest : public WindowTest {
protected:
    void TearDown() override
    {
        if (FHold) {
            FHold->Release();
            EXPECT_TRUE(RunEnded());
            FHold.reset();
        }
        WindowTest::TearDown();
    }

    // Starts a run over three files and returns once it is held inside the second, after its head
    // was searched and before its tail: the display shows that file's caption by then.
    void StartHeldRun(const QByteArray& head, const QByteArray& tail)
    {
        FFirst = MakeFile("a.txt", "match one\r\n");
        FHeld = MakeFile("held.txt", TRunHold::HeldText(head, tail));
        FThird = MakeFile("c.txt", "match three\r\n");
        MakeFile("sifton.ini", "[Options]\nOutput Names=1\n");
        Create({FFirst, "match"});
        AddRow(FHeld);
        AddRow(FThird);
        FHold = std::make_unique<TRunHold>(*FForm);
        FForm->CmdSearchClick();
        ASSERT_TRUE(FHold->Reached());
        ASSERT_TRUE(WaitFor([this] { return FForm->windowTitle() == "Searching " + FHeld; }));
    }
    static QByteArray Header(const QString& path)
    {
        return "***** File: \"" + path.toLocal8Bit() + "\"- Search Pattern=match *****\r";
    }
    void FinishRun()
    {
        FHold->Release();
        ASSERT_TRUE(RunEnded());
    }

    QString FFirst;
    QString FHeld;
    QString FThird;
    std::unique_ptr<TRunHold> FHold;
};

// The commands a run takes away, the Main page with them, and Cancel, which it gives: each as running says.
void ExpectCommandsFor(const TForm1& form, bool running)
{
    SCOPED_TRACE(running ? "during the run" : "after the run");
    EXPECT_EQ(form.CmdSearch->isEnabled(), !running);
    EXPECT_EQ(form.mSearch->menuAction()->isEnabled(), !running);
    EXPECT_EQ(form.CmdSave->isEnabled(), !running);
    EXPECT_EQ(form.mSave->isEnabled(), !running);
    EXPECT_EQ(form.CmdCancel->isEnabled(), running);
    EXPECT_EQ(form.mCancel->isEnabled(), running);
    EXPECT_EQ(form.MainPage->isEnabled(), !running);
    EXPECT_EQ(bool(SearchRunning), running);
}

TEST_F(RunInProgressTest, CommandsAndMainPageDuringAndAfterTheRun)
{
    StartHeldRun("match two\r\n", "");
    TForm1& form = *FForm;
    ExpectCommandsFor(form, true);
    EXPECT_TRUE(form.TabSheet2->isEnabled());
    EXPECT_EQ(form.StatusText(3), "Words Found = None");
    EXPECT_TRUE(form.windowTitle().startsWith("Searching ")) << form.windowTitle().toStdString();

    TSearchThread* running = form.SearchThread;
    form.CmdSearchClick(); // pressing Search during the run starts nothing
    EXPECT_EQ(form.SearchThread, running);

    FinishRun();
    ExpectCommandsFor(form, false);
    EXPECT_EQ(LogBytes().count("*****  New Search  *****"), 1);
}

TEST_F(RunInProgressTest, ClearDuringTheRunKeepsOnlyWhatFollows)
{
    StartHeldRun("", "match four\r\n");
    TForm1& form = *FForm;
    const QString statusBefore = form.StatusText(0);
    form.CmdClearClick();
    EXPECT_EQ(form.StatusText(0), statusBefore) << "the status texts are not reset during a run";
    FinishRun();
    const QByteArray expected = "match four\r" + Header(FThird) + "match three\r";
    EXPECT_EQ(LogBytes(), expected);
    EXPECT_EQ(form.Viewer->toPlainText(), QString::fromLocal8Bit(expected).replace('\r', '\n'));
}

TEST_F(RunInProgressTest, CancelDuringTheSecondOfThreeFiles)
{
    StartHeldRun("match two\r\n", "match after cancel\r\n");
    FForm->OptionSave->setChecked(true); // the Main page is disabled, but the run already took its request
    FForm->CmdCancelClick();
    FinishRun();
    const QByteArray log = LogBytes();
    EXPECT_TRUE(log.contains("match two\r"));
    EXPECT_FALSE(log.contains("match after cancel"));
    EXPECT_FALSE(log.contains(FThird.toLocal8Bit())) << "the third file is not opened";
    EXPECT_EQ(FDialogs.FileDialogs.size(), 0u) << "the prompt was off when the run started";
    EXPECT_EQ(FForm->Viewer->toPlainText(), QString::fromLocal8Bit(log).replace('\r', '\n'));
    EXPECT_EQ(FForm->windowTitle(), "Sifton");
}

TEST_F(RunInProgressTest, CtrlCCancelsWhileTheSearchMenuIsDisabled)
{
    StartHeldRun("match two\r\n", "match after cancel\r\n");
    ASSERT_TRUE(ShowActive());
    FForm->PageControl1->setFocus();
    ASSERT_FALSE(FForm->mSearch->menuAction()->isEnabled());
    ASSERT_TRUE(FForm->mCancel->isEnabled());
    QTest::keyClick(FForm->PageControl1, Qt::Key_C, Qt::ControlModifier);
    EXPECT_TRUE(CancelRequested);
    FinishRun();
    EXPECT_FALSE(LogBytes().contains("match after cancel"));
}

// A window's menu shortcuts come before the keys of the control that has the focus.
TEST_F(RunInProgressTest, CtrlCCancelsWhileTheOutputPaneHasTheFocus)
{
    StartHeldRun("match two\r\n", "match after cancel\r\n");
    ASSERT_TRUE(ShowActive());
    FForm->PageControl1->setCurrentWidget(FForm->OutputList);
    FForm->Viewer->SetText("earlier output");
    FForm->Viewer->SelectAll();
    FForm->Viewer->setFocus();
    ASSERT_TRUE(FForm->Viewer->hasFocus());
    QApplication::clipboard()->setText("clipboard before");
    QTest::keyClick(FForm->Viewer, Qt::Key_C, Qt::ControlModifier);
    EXPECT_TRUE(CancelRequested);
    EXPECT_EQ(QApplication::clipboard()->text(), "clipboard before")
        << "the key cancelled instead of copying";
    FinishRun();
    EXPECT_FALSE(LogBytes().contains("match after cancel"));
}

TEST_F(Unit1Test, CtrlCCopiesFromTheOutputPaneWhenNoRunCanBeCancelled)
{
    TForm1& form = Create();
    ASSERT_TRUE(ShowActive());
    form.PageControl1->setCurrentWidget(form.OutputList);
    form.Viewer->SetText("result line");
    form.Viewer->SelectAll();
    form.Viewer->setFocus();
    ASSERT_FALSE(form.mCancel->isEnabled());
    QApplication::clipboard()->setText("clipboard before");
    QTest::keyClick(form.Viewer, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "result line");
    EXPECT_FALSE(CancelRequested);
}

TEST_F(RunInProgressTest, FileListEmptiedDuringTheRunStillSearchesItsFilesAndSearchThenAsksForFiles)
{
    StartHeldRun("match two\r\n", "");
    FForm->FileList->clear();
    FForm->SetSearchCommand(false);
    FinishRun();
    EXPECT_TRUE(LogBytes().endsWith(Header(FThird) + "match three\r")) << "the run searches what was listed";
    EXPECT_TRUE(FForm->CmdSearch->isEnabled()) << "the end of the run enables Search all the same";
    ASSERT_TRUE(RunAndWait());
    ASSERT_EQ(FDialogs.Messages.size(), 1u);
    EXPECT_EQ(FDialogs.Messages[0].Text, "Enter the filename first");
    EXPECT_EQ(FDialogs.Messages[0].Icon(), MB_ICONHAND);
}

TEST_F(RunInProgressTest, ListEditedDuringTheRunNeitherSkipsNorAddsFiles)
{
    StartHeldRun("match two\r\n", "");
    const QString added = MakeFile("d.txt", "match four\r\n");
    FForm->FileList->Delete(FForm->FileList->Item(0)); // above the file in hand
    FForm->FileListDragDropFiles({added});
    FinishRun();
    const QByteArray log = LogBytes();
    EXPECT_EQ(log.count(Header(FFirst)), 1);
    EXPECT_EQ(log.count(Header(FHeld)), 1);
    EXPECT_TRUE(log.endsWith(Header(FThird) + "match three\r")) << log.toStdString();
    EXPECT_FALSE(log.contains("match four")) << "a file added during the run waits for the next one";
    EXPECT_EQ(Rows(), (QStringList{FHeld, FThird, added})) << "the list shown has the edits";
}

// Closes the window on a held run. The run goes on shortly after the close began, so the close must
// keep serving it meanwhile.
void CloseWhileHeld(TForm1& form, TRunHold& hold)
{
    std::thread releaser([&hold] {
        QThread::msleep(50);
        hold.Release();
    });
    form.close();
    releaser.join();
}

TEST_F(Unit1Test, ClosingDuringARunCancelsAndWaitsForIt)
{
    const QString a = MakeFile("a.txt", "match\r\n");
    const QString held =
        MakeFile("held.txt", TRunHold::HeldText("match in held\r\n", "match after close\r\n"));
    TForm1& form = Create({a, "match"});
    AddRow(held);
    TRunHold hold(form);
    form.CmdSearchClick();
    ASSERT_TRUE(hold.Reached());
    ASSERT_TRUE(WaitFor(
        [&] { return form.Log.Size() > 0 && form.Viewer->toPlainText().isEmpty() && SearchRunning; }));
    CloseWhileHeld(form, hold);
    EXPECT_EQ(form.SearchThread, nullptr);
    EXPECT_TRUE(CancelRequested);
    EXPECT_FALSE(ReadBytes(form.ProgramFile(".out")).contains("match after close"));
}

TEST_F(Unit1Test, CloseBeforeTheRunStartedWins)
{
    const QString a = MakeFile("a.txt", "match\r\n");
    TForm1& form = Create({a, "match"});
    form.CmdSearchClick();
    form.close(); // before the worker had the GUI thread's attention even once
    EXPECT_EQ(form.SearchThread, nullptr);
    EXPECT_TRUE(CancelRequested);
    EXPECT_EQ(LogBytes(), "") << "nothing was searched";
    EXPECT_TRUE(FDialogs.Messages.empty());
}

TEST_F(Unit1Test, ClosingDuringARunShowsNoBoxAndNoSavePrompt)
{
    const QString a = MakeFile("a.txt", "match\r\n");
    const QString held = MakeFile("held.txt", TRunHold::HeldText("match in held\r\n", ""));
    TForm1& form = Create({a, "match"});
    form.OptionSave->setChecked(true);
    AddRow(Path("gone.txt")); // unreadable: would be reported after the run
    AddRow(held);
    TRunHold hold(form);
    form.CmdSearchClick();
    ASSERT_TRUE(hold.Reached());
    ASSERT_TRUE(WaitFor([&] { return form.Log.Size() > 0 && SearchRunning; }));
    CloseWhileHeld(form, hold);
    EXPECT_EQ(form.SearchThread, nullptr);
    EXPECT_TRUE(FDialogs.Messages.empty());
    EXPECT_TRUE(FDialogs.FileDialogs.empty());
}

} // namespace
