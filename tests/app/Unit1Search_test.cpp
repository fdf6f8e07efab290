// Search runs in the main window over real files, and what they leave: the result log, the pane, the
// status panels, the files that could not be read. Every modal dialog is answered by the scripted dialogs.
#include "app/SearchThread.h"
#include "platform/Application.h"
#include "platform/GuiDispatcher.h"
#include "search/RunFlags.h"
#include "search/StatusTexts.h"
#include "tests/support/WaitFor.h"
#include "tests/support/WindowFixture.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QThread>

#include <atomic>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdexcept>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using Unit1Test = WindowTest;

// ---- search runs -------------------------------------------------------------------------------------

TEST_F(Unit1Test, RunWritesExactLogAndFillsThePane)
{
    const QString a = MakeFile("a.txt", "we met\r\nat the bar\r\nfoo fighters\r\n");
    const QString b = MakeFile("b.txt", "nothing here\n");
    TForm1& form = Create({a, "foo", "OR", "bar"});
    form.OptionNumbering->setChecked(true);
    AddRow(b);
    ASSERT_TRUE(RunAndWait());
    const QByteArray expected = "*****  New Search  *****\r"
                                "***** File: \"" +
                                a.toLocal8Bit() +
                                "\"- Search Pattern=foo or bar *****\r"
                                "2 : at the bar\r"
                                "3 : foo fighters\r"
                                "***** File: \"" +
                                b.toLocal8Bit() + "\"- Search Pattern=foo or bar *****\r";
    EXPECT_EQ(LogBytes(), expected);
    EXPECT_EQ(form.Viewer->toPlainText(), QString::fromLocal8Bit(expected).replace('\r', '\n'));
    EXPECT_EQ(form.windowTitle(), "Sifton");
    EXPECT_EQ(form.StatusText(0), "Lines Searched: 4");
    EXPECT_EQ(form.StatusText(1), "Lines Found: 2");
    EXPECT_EQ(form.StatusText(2), "File Position: 0 Kb");
    EXPECT_EQ(form.StatusText(3), "Words Found = None");
    EXPECT_TRUE(form.CmdSearch->isEnabled());
    EXPECT_TRUE(form.CmdSave->isEnabled());
    EXPECT_TRUE(form.mSave->isEnabled());
    EXPECT_FALSE(form.CmdCancel->isEnabled());
    EXPECT_FALSE(form.mCancel->isEnabled());
    EXPECT_TRUE(form.MainPage->isEnabled());
    EXPECT_TRUE(FDialogs.Messages.empty());
}

TEST_F(Unit1Test, TwoVerboseRunsWithoutClearKeepBoth)
{
    const QString a = MakeFile("a.txt", "one\r\ntwo\r\n");
    TForm1& form = Create({a, "one"});
    ASSERT_TRUE(RunAndWait());
    form.FString1->setPlainText("two");
    ASSERT_TRUE(RunAndWait());
    const QByteArray header = "***** File: \"" + a.toLocal8Bit() + "\"- Search Pattern=";
    EXPECT_EQ(LogBytes(), "*****  New Search  *****\r" + header +
                              "one *****\rone\r"
                              "*****  New Search  *****\r" +
                              header + "two *****\rtwo\r");
    EXPECT_TRUE(
        form.Viewer->toPlainText().startsWith("*****  New Search  *****\n" + QString(header) + "one"));
}

TEST_F(Unit1Test, ClearBetweenRunsEmptiesTheLogButNotThePane)
{
    const QString a = MakeFile("a.txt", "one\r\ntwo\r\n");
    MakeFile("sifton.ini", "[Options]\nOutput Names=0\n");
    TForm1& form = Create({a, "one"});
    ASSERT_TRUE(RunAndWait());
    form.CmdClearClick();
    EXPECT_EQ(LogBytes(), "");
    EXPECT_EQ(form.Viewer->toPlainText(), "one\n");
    EXPECT_EQ(form.StatusText(0), "Lines Searched: None");
    EXPECT_EQ(form.StatusText(1), "Lines Found: None");
    EXPECT_EQ(form.StatusText(2), "File Position: N/A");
    EXPECT_EQ(form.StatusText(3), "Words Found: None");
    EXPECT_EQ(form.FString1->toPlainText(), "one") << "Clear Everything is off";
    form.FString1->setPlainText("two");
    ASSERT_TRUE(RunAndWait());
    EXPECT_EQ(LogBytes(), "two\r");
}

TEST_F(Unit1Test, ClearEverythingEmptiesStringsSetsOrAndDisablesSave)
{
    const QString a = MakeFile("a.txt", "one\r\n");
    TForm1& form = Create({a, "one", "XOR", "two"});
    form.OptionClearAll->setChecked(true);
    form.OpenDialog1.FileName = a;
    form.mSave->setEnabled(true);
    form.CmdClearClick();
    EXPECT_EQ(form.FString1->toPlainText(), "");
    EXPECT_EQ(form.FString2->toPlainText(), "");
    EXPECT_EQ(form.FOperator->currentText(), "Or");
    EXPECT_TRUE(form.OpenDialog1.FileName.isEmpty());
    EXPECT_FALSE(form.CmdSave->isEnabled());
    EXPECT_FALSE(form.mSave->isEnabled());
    EXPECT_FALSE(form.CmdSearch->isEnabled()) << "string 1 emptied";
    EXPECT_EQ(Rows(), QStringList{a}) << "the file list stays";
}

TEST_F(Unit1Test, EmptyFileListChangesNothing)
{
    TForm1& form = Create();
    form.FString1->setPlainText("x");
    form.SetStatusText(0, "kept");
    ASSERT_TRUE(RunAndWait());
    ASSERT_EQ(FDialogs.Messages.size(), 1u);
    EXPECT_EQ(FDialogs.Messages[0].Text, "Enter the filename first");
    EXPECT_EQ(form.StatusText(0), "kept");
    EXPECT_FALSE(form.mCancel->isEnabled());
    EXPECT_EQ(form.windowTitle(), "Quorvale Grep");
}

TEST_F(Unit1Test, CaptionAndTitleAfterALongRun)
{
    QByteArray lines;
    for (int i = 0; i < 2500; ++i) {
        lines += "line " + QByteArray::number(i) + "\r\n";
    }
    const QString a = MakeFile("long.txt", lines);
    TForm1& form = Create({a, "line 7"});
    ASSERT_TRUE(RunAndWait());
    EXPECT_EQ(form.windowTitle(), "Sifton");
    EXPECT_EQ(Application::Title(), "Sifton");
    EXPECT_EQ(form.StatusText(0), "Lines Searched: 2,500");
}

TEST_F(Unit1Test, UnreadableFileIsSkippedAndReportedOnceAfterTheRun)
{
    const QString a = MakeFile("a.txt", "match a\r\n");
    const QString gone = MakeFile("gone.txt", "match gone\r\n");
    const QString c = MakeFile("c.txt", "match c\r\n");
    MakeFile("sifton.ini", "[Options]\nOutput Names=0\n");
    TForm1& form = Create({a, "match"});
    AddRow(gone);
    AddRow(c);
    QFile::remove(gone);
    ASSERT_TRUE(RunAndWait());
    EXPECT_EQ(LogBytes(), "match a\rmatch c\r");
    ASSERT_EQ(FDialogs.Messages.size(), 1u);
    EXPECT_TRUE(FDialogs.Messages[0].Text.contains(gone)) << FDialogs.Messages[0].Text.toStdString();
    EXPECT_EQ(form.Viewer->toPlainText(), "match a\nmatch c\n");
}

// A listed path that has become a FIFO or a device is opened without waiting and reported; the
// run goes on and ends by itself. Should the run wait in open() after all, a writer comes after a
// while, and a run that reads a device for ever is cancelled, so that a regression fails here
// instead of hanging.
TEST_F(Unit1Test, AFifoOrADeviceInTheListIsReportedAsNotARegularFileAndTheRunEndsByItself)
{
    const QString a = MakeFile("a.txt", "match a\r\n");
    const QString fifo = Path("was-a-file.txt");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString c = MakeFile("c.txt", "match c\r\n");
    MakeFile("sifton.ini", "[Options]\nOutput Names=0\n");
    TForm1& form = Create({a, "match"});
    AddRow(fifo);
    AddRow(QStringLiteral("/dev/zero"));
    AddRow(c);
    std::atomic<bool> ended{false};
    std::atomic<bool> rescued{false};
    std::thread rescuer([&] {
        for (int i = 0; i < 300 && !ended; ++i) {
            QThread::msleep(10);
        }
        while (!ended) {
            if (const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK); fd >= 0) {
                rescued = true; // a reader was waiting in open()
                ::close(fd);
            }
            QThread::msleep(10);
        }
    });
    form.CmdSearchClick();
    const bool endedByItself = WaitFor([&] { return form.SearchThread == nullptr; }, 10000);
    if (!endedByItself) {
        CancelRequested = true;
        WaitFor([&] { return form.SearchThread == nullptr; });
    }
    ended = true;
    rescuer.join();
    EXPECT_TRUE(endedByItself) << "the run read a device as a file";
    EXPECT_FALSE(rescued) << "the run waited in open() for a writer";
    EXPECT_EQ(LogBytes(), "match a\rmatch c\r");
    ASSERT_EQ(FDialogs.Messages.size(), 1u);
    const QString text = FDialogs.Messages[0].Text;
    EXPECT_TRUE(text.startsWith("2 files could not be read and were skipped:")) << text.toStdString();
    EXPECT_TRUE(text.contains(fifo + ": Not a regular file")) << text.toStdString();
    EXPECT_TRUE(text.contains("/dev/zero: Not a regular file")) << text.toStdString();
}

TEST_F(Unit1Test, PromptForSaveCopiesTheWholeLogAndForgetsTheName)
{
    const QString a = MakeFile("a.txt", "one\r\n");
    MakeFile("sifton.ini", "[Options]\nOutput Names=0\nSafe After=1\n");
    TForm1& form = Create({a, "one"});
    const QString copy = Path("copy.txt");
    FDialogs.FileAnswers.push_back(QStringList{copy});
    ASSERT_TRUE(RunAndWait());
    FDialogs.FileAnswers.push_back(QStringList{copy});
    ASSERT_TRUE(RunAndWait());
    ASSERT_EQ(FDialogs.FileDialogs.size(), 2u);
    EXPECT_EQ(FDialogs.FileDialogs[0].Title, "Select or type an output file.");
    EXPECT_TRUE(FDialogs.FileDialogs[1].FileName.isEmpty()) << "the name was cleared after the first run";
    EXPECT_EQ(ReadBytes(copy), "one\rone\r") << "the whole log since start-up, not only the last run";
    EXPECT_TRUE(form.SaveDialog1.FileName.isEmpty());
}

TEST_F(Unit1Test, PromptForSaveIntoMissingFolderIsReportedAndTheRunEnds)
{
    const QString a = MakeFile("a.txt", "one\r\n");
    MakeFile("sifton.ini", "[Options]\nSafe After=1\n");
    TForm1& form = Create({a, "one"});
    const QString bad = Path("no-such-folder/copy.txt");
    FDialogs.FileAnswers.push_back(QStringList{bad});
    ASSERT_TRUE(RunAndWait());
    ASSERT_EQ(FDialogs.Messages.size(), 1u);
    EXPECT_EQ(FDialogs.Messages[0].Text, "Cannot create file " + bad);
    EXPECT_TRUE(form.MainPage->isEnabled());
    EXPECT_FALSE(form.Viewer->toPlainText().isEmpty());
}

TEST_F(Unit1Test, ManyUnreadableFilesShowTheCountTheFirstTwentyAndAllInTheDetails)
{
    const QString a = MakeFile("a.txt", "match\r\n");
    TForm1& form = Create({a, "match"});
    QStringList missing;
    for (int i = 0; i < 25; ++i) {
        missing << Path(QStringLiteral("gone%1.txt").arg(i, 2, 10, QLatin1Char('0')));
        AddRow(missing.back());
    }
    ASSERT_TRUE(RunAndWait());
    ASSERT_EQ(FDialogs.Messages.size(), 1u);
    const TMessageBoxCall& box = FDialogs.Messages[0];
    EXPECT_TRUE(box.Text.startsWith("25 files could not be read and were skipped:"))
        << box.Text.toStdString();
    EXPECT_EQ(box.Text.count(Path("gone")), int(TSearchThread::ListedFailures));
    EXPECT_TRUE(box.Text.contains(missing[19]));
    EXPECT_FALSE(box.Text.contains(missing[20]));
    EXPECT_TRUE(box.Text.contains("5 more"));
    for (const QString& path : missing) {
        EXPECT_TRUE(box.Details.contains(path + ": ")) << path.toStdString();
    }
    EXPECT_TRUE(form.MainPage->isEnabled());
}

TEST_F(Unit1Test, ExceptionAtTheEndOfARunStillRestoresTheWindow)
{
    const QString a = MakeFile("a.txt", "match\r\n");
    TForm1& form = Create({a, "match"});
    Application::SetTitle(QStringLiteral("Before")); // so that the end's title is a change
    Application::SetOnTitleChange([](const QString&) { throw std::runtime_error("title refused"); });
    const bool ran = RunAndWait();
    Application::SetOnTitleChange(nullptr);
    ASSERT_TRUE(ran);
    EXPECT_TRUE(form.MainPage->isEnabled());
    EXPECT_TRUE(form.CmdSearch->isEnabled());
    EXPECT_TRUE(form.CmdSave->isEnabled());
    EXPECT_FALSE(form.CmdCancel->isEnabled());
    EXPECT_FALSE(SearchRunning);
    EXPECT_EQ(Application::Cursor(), crDefault);
    EXPECT_TRUE(form.Viewer->toPlainText().contains("match"));
    ASSERT_EQ(FDialogs.Messages.size(), 1u);
    EXPECT_EQ(FDialogs.Messages[0].Text, "title refused");
}

// Files of many refresh points each, so the run publishes thousands of status texts.
class ManyRefreshPointsTest : public WindowTest {
protected:
    QString MakeLines(const QString& name, int count, int everyMatch)
    {
        QByteArray bytes;
        for (int i = 1; i <= count; ++i) {
            bytes += (i % everyMatch == 0 ? "needle " : "hay ") + QByteArray::number(i) + "\r\n";
        }
        return MakeFile(name, bytes);
    }
};

TEST_F(ManyRefreshPointsTest, PanelsEndWithTheLastFilesEndOfFileTexts)
{
    MakeFile("sifton.ini",
             "[Options]\nCount Lines=1\nProgress Indicator=1\nCount Words=1\nRefresh Rate=1000\n");
    const QString a = MakeLines("a.txt", 25'000, 7);
    const QString b = MakeLines("b.txt", 12'345, 11);
    TForm1& form = Create({a, "needle"});
    form.FileListDragDropFiles({b});
    ASSERT_TRUE(RunAndWait());
    const std::string separator = QString(QLocale::system().groupSeparator()).toStdString();
    const auto count = [&](std::int64_t value) {
        return QString::fromStdString(FormatCount(value, separator));
    };
    const std::int64_t found = 25'000 / 7 + 12'345 / 11;
    EXPECT_EQ(form.StatusText(0), "Lines Searched: " + count(25'000 + 12'345));
    EXPECT_EQ(form.StatusText(1), "Lines Found: " + count(found));
    EXPECT_EQ(form.StatusText(2), "File Position: " + count(BlockFigure(QFileInfo(b).size() / 128)) + " Kb");
    EXPECT_EQ(form.StatusText(3), "Words Found: " + count(found));
    EXPECT_EQ(form.windowTitle(), "Sifton");
    EXPECT_EQ(Application::Title(), "Sifton");
}

TEST_F(ManyRefreshPointsTest, BlockingCallsDoNotGrowWithRefreshPointsOrFiles)
{
    MakeFile("sifton.ini",
             "[Options]\nCount Lines=1\nProgress Indicator=1\nCount Words=1\nRefresh Rate=1000\n");
    const QString big = MakeLines("big.txt", 300'000, 1000); // 300 refresh points
    TForm1& form = Create({big, "needle"});
    QStringList small;
    for (int i = 0; i < 30; ++i) {
        small << MakeLines(QStringLiteral("small%1.txt").arg(i), 10, 3);
    }
    form.FileListDragDropFiles(small);
    const std::uint64_t before = BlockingCallCount();
    ASSERT_TRUE(RunAndWait());
    const std::uint64_t calls = BlockingCallCount() - before;
    // The start, the end, the completion handler and the release: not one per update or per file.
    EXPECT_LE(calls, 8u);
    EXPECT_TRUE(form.StatusText(0).startsWith("Lines Searched: "));
}

} // namespace
