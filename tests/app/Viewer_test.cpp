// The file viewer on real files: the line it opens at under each line format, long lines, the run's
// marks, F3, find and go to line, a file changing under it, and its memory on a 2 GB file.
#include "app/Viewer.h"
#include "app/ViewerText.h"
#include "controls/richtext/FindDialog.h"
#include "platform/Application.h"
#include "search/SearchRequest.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TempDir.h"
#include "tests/support/WaitFor.h"

#include <QPushButton>
#include <QTest>

#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

std::shared_ptr<const SearchRequest> RunOf(const char* string1, LineFormat format, bool reverse = false)
{
    SearchInputs inputs;
    inputs.String1 = string1;
    inputs.LineFormat = format;
    inputs.ReverseLogic = reverse;
    return std::make_shared<const SearchRequest>(PrepareRequest(inputs));
}

/// Lines "line 1" ... "line count", with needle on the lines listed, joined by end.
std::string Numbered(int count, const std::string& end, const std::vector<int>& needles = {})
{
    std::string text;
    for (int i = 1; i <= count; ++i) {
        text += "line " + std::to_string(i);
        if (std::find(needles.begin(), needles.end(), i) != needles.end()) {
            text += " has the needle";
        }
        text += end;
    }
    return text;
}

class ViewerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Application::SetTitle(QStringLiteral("Sifton"));
        FViewer = std::make_unique<TFileViewer>();
        FViewer->resize(640, 400);
    }

    void Open(const std::string& path, std::int64_t line, std::shared_ptr<const SearchRequest> request)
    {
        FViewer->Open({QString::fromStdString(path), line, std::move(request)});
        QCoreApplication::processEvents();
    }
    TViewerText& Text() const { return *FViewer->Text(); }

    TempDir FDir;
    TScriptedDialogs FDialogs;
    std::unique_ptr<TFileViewer> FViewer;
};

struct TFormatCase {
    const char* Name;
    std::string End;
    LineFormat Format;
};

class ViewerLineFormatTest : public ViewerTest, public ::testing::WithParamInterface<TFormatCase> { };

TEST_P(ViewerLineFormatTest, OpensAtTheLineSelectedInTheMiddle)
{
    const TFormatCase& c = GetParam();
    const std::string path = FDir.Write("notes.txt", Numbered(300, c.End, {137}));
    Open(path, 137, RunOf("needle", c.Format));
    EXPECT_EQ(FViewer->windowTitle(), QStringLiteral("notes.txt:137 \u2014 Sifton"));
    EXPECT_EQ(Text().Caret().Line, 137);
    EXPECT_EQ(Text().SelectedText(), "line 137 has the needle") << "the line is selected whole";
    EXPECT_EQ(Text().TopLine(), 137 - (Text().Rows() - 1) / 2) << "in the middle of the view";
    EXPECT_EQ(Text().LineText(300), "line 300") << "the run's numbering";
    EXPECT_EQ(Text().LastLine(), 300);
    EXPECT_TRUE(FViewer->isVisible());
}

INSTANTIATE_TEST_SUITE_P(Formats, ViewerLineFormatTest,
                         ::testing::Values(TFormatCase{"unix_lf", "\n", LineFormat::Unix},
                                           TFormatCase{"dos_crlf", "\r\n", LineFormat::Dos},
                                           TFormatCase{"dos_cr_only", "\r", LineFormat::Dos},
                                           TFormatCase{"unix_cr_only", "\r", LineFormat::Unix},
                                           TFormatCase{"unix_crlf", "\r\n", LineFormat::Unix}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(ViewerTest, LineFeedsInsideDosLinesAreText)
{
    const std::string path = FDir.Write("mixed.txt", "one\r\ntwo\nstill two\r\nthree needle\r\n");
    Open(path, 3, RunOf("needle", LineFormat::Dos));
    EXPECT_EQ(Text().Caret().Line, 3);
    EXPECT_EQ(Text().LineText(2), "two\nstill two");
    EXPECT_EQ(Text().SelectedText(), "three needle");
}

TEST_F(ViewerTest, LineWiderThanTheViewIsScrolledToItsMark)
{
    std::string wide(3000, 'x');
    wide.append(" needle ").append(500, 'y');
    std::string cut(TViewerText::MaxLineBytes + 100, 'z');
    cut.append(" beyond");
    std::string text = "short\n";
    text.append(wide).append("\n").append(cut).append("\nend\n");
    const std::string path = FDir.Write("wide.txt", text);
    Open(path, 2, RunOf("needle", LineFormat::Unix));
    EXPECT_EQ(Text().SelectedText(), QString::fromStdString(wide));
    EXPECT_GT(Text().LeftOffset(), 0);
    const int x = Text().ColumnX(2, 3001);
    EXPECT_GT(x, 0);
    EXPECT_LT(x, Text().viewport()->width()) << "the mark is in view";
    EXPECT_TRUE(Text().LineCut(3));
    EXPECT_EQ(Text().LineText(3).size(), qsizetype(TViewerText::MaxLineBytes));
    EXPECT_EQ(Text().LineText(4), "end") << "the line after a cut one is found all the same";

    FViewer->FindClick();
    FViewer->FindDialog()->SetFindText("beyond");
    FDialogs.MessageAnswers = {IDOK};
    FViewer->FindDialog()->FindButton()->click();
    ASSERT_EQ(FDialogs.Messages.size(), 2u) << "the wrap question, then the end";
    EXPECT_EQ(FDialogs.Messages[1].Text, "Search complete.\r") << "what is not shown cannot be selected";
    EXPECT_EQ(Text().Caret().Line, 2);
}

TEST_F(ViewerTest, RunsStringsAreMarkedAsInThePane)
{
    const std::string path = FDir.Write("marks.txt", "plain\nsome NEEDLE here\nplain\n");
    Open(path, 1, RunOf("needle", LineFormat::Unix));
    const int x = Text().ColumnX(2, 7);
    ASSERT_GT(x, 0);
    const int y = Text().fontMetrics().lineSpacing() + 1; // above the letters of line 2
    const QImage shot = Text().viewport()->grab().toImage();
    EXPECT_EQ(shot.pixelColor(x + 2, y), TMatchHighlighter::MatchColor(Text().palette()))
        << "case folded as the run";
    EXPECT_NE(shot.pixelColor(Text().ColumnX(2, 1) + 1, y), TMatchHighlighter::MatchColor(Text().palette()));

    Open(path, 1, RunOf("needle", LineFormat::Unix, true));
    const QImage reverse = Text().viewport()->grab().toImage();
    EXPECT_NE(reverse.pixelColor(x + 2, y), TMatchHighlighter::MatchColor(Text().palette()))
        << "Reverse Logic marks nothing";
}

TEST_F(ViewerTest, F3GoesToTheLinesTheRunReports)
{
    const std::string path = FDir.Write("f3.txt", Numbered(400, "\n", {3, 10, 250}));
    Open(path, 10, RunOf("needle", LineFormat::Unix));
    EXPECT_TRUE(FViewer->NextReportedLine(true));
    EXPECT_EQ(Text().Caret().Line, 250);
    EXPECT_FALSE(FViewer->NextReportedLine(true));
    EXPECT_EQ(Text().Caret().Line, 250);
    EXPECT_TRUE(FViewer->NextReportedLine(false));
    EXPECT_TRUE(FViewer->NextReportedLine(false));
    EXPECT_EQ(Text().Caret().Line, 3);
    EXPECT_FALSE(FViewer->NextReportedLine(false));

    Open(path, 2, RunOf("needle", LineFormat::Unix, true));
    EXPECT_TRUE(FViewer->NextReportedLine(true));
    EXPECT_EQ(Text().Caret().Line, 4) << "Reverse Logic reports the lines without it";
}

TEST_F(ViewerTest, FindWalksTheFileAndWrapsAsThePanesFind)
{
    const std::string path = FDir.Write("find.txt", Numbered(500, "\n", {20, 480}));
    Open(path, 100, RunOf("line", LineFormat::Unix));
    TFindDialog* find = FViewer->FindDialog();
    const QString wrap = QStringLiteral("     This application has completed the search.\r"
                                        "Would you like to start the search from the beginning?\r\r"
                                        "     Press Ok to search from the top.\r");
    FViewer->FindClick();
    find->SetFindText("NEEDLE");
    find->FindButton()->click();
    EXPECT_EQ(Text().Caret().Line, 480) << "from the selection down, any case";
    EXPECT_EQ(Text().SelectedText(), "needle");
    find->FindButton()->click();
    ASSERT_EQ(FDialogs.Messages.size(), 1u);
    EXPECT_EQ(FDialogs.Messages[0].Text, "Search complete.\r");
    EXPECT_FALSE(find->isVisible());

    Text().ShowLine(490);
    FViewer->FindClick();
    FDialogs.MessageAnswers = {IDOK};
    find->FindButton()->click();
    ASSERT_EQ(FDialogs.Messages.size(), 2u);
    EXPECT_EQ(FDialogs.Messages[1].Text, wrap) << "nothing below: the wrap question";
    EXPECT_EQ(Text().Caret().Line, 20);
    find->FindButton()->click();
    EXPECT_EQ(Text().Caret().Line, 480);
    find->FindButton()->click();
    EXPECT_EQ(FDialogs.Messages.back().Text, "Search complete.\r");

    FViewer->FindClick();
    find->SetMatchCase(true);
    find->SetDown(false);
    FDialogs.MessageAnswers = {IDOK};
    find->FindButton()->click();
    EXPECT_EQ(FDialogs.Messages.back().Text, "Search complete.\r") << "no NEEDLE in capitals";
    EXPECT_EQ(Text().Caret().Line, 480);
    find->SetMatchCase(false);
    find->SetWholeWord(true);
    find->SetFindText("lin");
    FViewer->FindClick();
    FDialogs.MessageAnswers = {IDOK};
    find->FindButton()->click();
    EXPECT_EQ(FDialogs.Messages.back().Text, "Search complete.\r") << "\"lin\" is no whole word";
    find->SetFindText("line");
    FViewer->FindClick();
    find->FindButton()->click();
    EXPECT_EQ(Text().Caret().Line, 480) << "up from the selection, on its own line";
    EXPECT_EQ(Text().SelectedText(), "line");
    find->FindButton()->click();
    EXPECT_EQ(Text().Caret().Line, 479);
}

TEST_F(ViewerTest, GoToLineAndEscape)
{
    const std::string path = FDir.Write("go.txt", Numbered(1000, "\n"));
    Open(path, 1, nullptr);
    EXPECT_TRUE(Text().SelectedText().isEmpty() || Text().Caret().Line == 1);
    FDialogs.InputAnswers = {QStringLiteral("742"), QStringLiteral("99999"), std::nullopt};
    FViewer->GoToLineClick();
    EXPECT_EQ(Text().Caret().Line, 742);
    EXPECT_EQ(Text().SelectedText(), "line 742");
    FViewer->GoToLineClick();
    EXPECT_EQ(Text().Caret().Line, 1000) << "past the end: the last line";
    FViewer->GoToLineClick();
    EXPECT_EQ(Text().Caret().Line, 1000) << "cancelled";
    FViewer->show();
    QTest::keyClick(FViewer->Text(), Qt::Key_Escape);
    EXPECT_FALSE(FViewer->isVisible());
}

TEST_F(ViewerTest, FileShortenedWhileShownIsNoticedAndReloaded)
{
    const std::string path = FDir.Write("grow.log", Numbered(1000, "\n", {600}));
    Open(path, 600, RunOf("needle", LineFormat::Unix));
    ASSERT_TRUE(FViewer->NoticeText().isEmpty());
    std::filesystem::resize_file(path, Numbered(100, "\n").size());
    // The window's own watch notices; nothing is asked of the test.
    ASSERT_TRUE(WaitFor([this] { return !FViewer->NoticeText().isEmpty(); }, 5000));
    EXPECT_TRUE(FViewer->ReloadButton()->isVisibleTo(FViewer.get()));
    Text().update();
    QCoreApplication::processEvents();
    FViewer->Text()->viewport()->grab(); // painting what is no longer there must not fail
    FViewer->ReloadClick();
    EXPECT_TRUE(FViewer->NoticeText().isEmpty());
    EXPECT_EQ(Text().LastLine(), 100);
    EXPECT_EQ(Text().Caret().Line, 100) << "line 600 is gone: the last line";
}

TEST_F(ViewerTest, NoticeAboveTheTextKeepsTheCaretInView)
{
    const std::string path = FDir.Write("tail.log", Numbered(400, "\n"));
    Open(path, 100, nullptr);
    const std::int64_t bottom = Text().TopLine() + Text().Rows() - 1;
    Text().Select({bottom, 0}, {bottom, 4});
    std::ofstream(path, std::ios::app) << "appended\n";
    ASSERT_TRUE(WaitFor([this] { return !FViewer->NoticeText().isEmpty(); }, 5000));
    QCoreApplication::processEvents();
    EXPECT_EQ(Text().Caret().Line, bottom);
    EXPECT_LT(Text().Caret().Line, Text().TopLine() + Text().Rows()) << "the caret's line is still in view";
}

TEST_F(ViewerTest, FileDeletedWhileShownStaysReadable)
{
    const std::string path = FDir.Write("gone.txt", Numbered(5000, "\r\n", {4000}));
    Open(path, 10, RunOf("needle", LineFormat::Dos));
    std::filesystem::remove(path);
    ASSERT_TRUE(WaitFor([this] { return !FViewer->NoticeText().isEmpty(); }, 5000));
    EXPECT_FALSE(FViewer->ReloadButton()->isVisibleTo(FViewer.get())) << "nothing there to read anew";
    FViewer->Text()->ShowLine(4000);
    EXPECT_EQ(Text().SelectedText(), "line 4000 has the needle") << "what the file held is still shown";
    EXPECT_THROW(FViewer->Open({QString::fromStdString(path), 1, nullptr}), std::runtime_error);
}

TEST_F(ViewerTest, MissingFileIsRefusedWithTheProgramsText)
{
    const std::string path = (FDir.Path() / "none" / "x.txt").string();
    try {
        Open(path, 1, nullptr);
        FAIL() << "opened a missing file";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(std::string(error.what()), "Cannot open file " + path);
    }
}

// RSS of this process in bytes.
std::int64_t ResidentBytes()
{
    std::ifstream statm("/proc/self/statm");
    std::int64_t size = 0;
    std::int64_t resident = 0;
    statm >> size >> resident;
    return resident * ::sysconf(_SC_PAGESIZE);
}

TEST_F(ViewerTest, TwoGigabyteFileStaysWithinItsMemoryBound)
{
    // Text at both ends of a 2 GB hole: the hole reads as zeros, one long line in the middle.
    const std::string path = (FDir.Path() / "big.log").string();
    {
        std::ofstream out(path, std::ios::binary);
        out << Numbered(50, "\n");
    }
    const std::int64_t size = std::int64_t{2} << 30;
    std::filesystem::resize_file(path, size);
    {
        std::string tail = Numbered(50, "\n", {42});
        tail.insert(tail.begin(), '\n');
        const int fd = ::open(path.c_str(), O_WRONLY);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::pwrite(fd, tail.data(), tail.size(), size), ssize_t(tail.size()));
        ::close(fd);
    }
    FViewer->show();
    const std::int64_t before = ResidentBytes();
    Open(path, 51 + 42, RunOf("needle", LineFormat::Unix));
    FViewer->Text()->viewport()->grab();
    EXPECT_EQ(Text().SelectedText(), "line 42 has the needle");
    EXPECT_TRUE(Text().LineCut(51)) << "the hole is one line, shown in part";
    FViewer->Text()->ShowLine(1);
    FViewer->Text()->viewport()->grab();
    EXPECT_LT(ResidentBytes() - before, std::int64_t{64} << 20);
}

} // namespace
