// The side index from the output pane's lines to their files and lines: runs written into a real result
// log and loaded as the pane loads it, and the window's Open at Line handing the editor file and line.
#include "app/SourceIndex.h"
#include "app/Viewer.h"
#include "app/ViewerText.h"
#include "app/editor.h"
#include "controls/richtext/qvtext.h"
#include "search/ResultLog.h"
#include "search/RunFlags.h"
#include "search/SearchRun.h"
#include "tests/support/EngineDoubles.h"
#include "tests/support/ScriptedShell.h"
#include "tests/support/WaitFor.h"
#include "tests/support/WindowFixture.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>

#include <gtest/gtest.h>
#include <sstream>

namespace {

using TKind = TSource::TKind;

/// What a pane line should lead to: kind, file (index into the test's files, -1 none) and line.
struct TExpected {
    TKind Kind;
    int File;
    std::int64_t Line;
    friend bool operator==(const TExpected&, const TExpected&) = default;
};

std::ostream& operator<<(std::ostream& out, const TExpected& e)
{
    return out << "{kind " << int(e.Kind) << ", file " << e.File << ", line " << e.Line << "}";
}

class SourceIndexTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(FDir.isValid());
        CancelRequested = false;
        SearchRunning = false;
        FLog.Create(Path("sifton.out"));
        FIndex.SetPaneLimit(FLimit);
    }

    std::string Path(const char* name) const
    {
        return FDir.filePath(QString::fromLatin1(name)).toStdString();
    }

    std::string Write(const std::string& name, const QByteArray& bytes)
    {
        const std::string path = Path(name.c_str());
        WriteBytes(QString::fromStdString(path), bytes);
        FFiles.push_back(path);
        return path;
    }

    SearchInputs Inputs(const char* string1, bool verbose, bool numbered = false) const
    {
        SearchInputs inputs;
        inputs.String1 = string1;
        inputs.LineFormat = LineFormat::Unix;
        inputs.Verbose = verbose;
        inputs.LineNumbering = numbered;
        return inputs;
    }

    void Run(const SearchInputs& inputs, int threads = 1)
    {
        // The window's host as far as the index sees it: each file's mark taken as the window takes it.
        RecordingHost host;
        host.Files = FFiles;
        host.OnFileEntries = [this](std::int64_t, const std::string& fileName) {
            if (FIndex.Recording()) {
                const std::uint64_t clears = FLog.ClearCount();
                FIndex.FileBegins(fileName, clears, FLog.Size());
            }
        };
        SearchRun run(PrepareRequest(inputs), FLog, host, ",");
        run.SetThreads(threads);
        FIndex.BeginRun(run.Request(), FLog.ClearCount(), FLog.Size());
        run.Walk();
        SearchRunning = false;
    }

    /// Loads the pane as the window does, and checks that the index sees the lines the pane shows.
    void Load()
    {
        const std::string bytes = FLog.ReadAll(TSourceIndex::PaneBytes(FLimit));
        TQvEdit pane;
        pane.SetMultiLine(true);
        pane.SetMaxLength(FLimit);
        std::istringstream stream(bytes);
        pane.LoadFromStream(stream);
        FPaneLines = pane.document()->blockCount();
        FIndex.PaneLoaded(bytes);
        EXPECT_EQ(int(FIndex.PaneLineCount()), FPaneLines) << "the index and the pane split the log alike";
    }

    std::vector<TExpected> Sources() const
    {
        std::vector<TExpected> out;
        for (int line = 0; line < FPaneLines; ++line) {
            const std::optional<TSource> s = FIndex.SourceOfLine(line);
            if (!s) {
                out.push_back({TKind::Reported, -2, -2});
                continue;
            }
            const auto file = std::find(FFiles.begin(), FFiles.end(), s->FileName);
            out.push_back({s->Kind, file == FFiles.end() ? -1 : int(file - FFiles.begin()), s->Line});
        }
        return out;
    }

    static constexpr TExpected None{TKind::Reported, -2, -2}; // the line leads nowhere
    static constexpr TExpected NewSearch{TKind::NewSearch, -1, 0};
    static TExpected Header(int file) { return {TKind::Header, file, 0}; }
    static TExpected At(int file, std::int64_t line) { return {TKind::Reported, file, line}; }

    QTemporaryDir FDir;
    ResultLog FLog;
    TSourceIndex FIndex;
    int FLimit = 60000;
    std::vector<std::string> FFiles;
    int FPaneLines = 0;
};

TEST_F(SourceIndexTest, LinesLeadToTheirFileAndLineWithAndWithoutNumberingOrVerbose)
{
    Write("a.txt", "hit one\nmiss\nmiss\nsecond hit\n");
    Write("b.txt", "nothing\n");
    Write("c.txt", "miss\nhit\n");
    Run(Inputs("hit", false));
    Run(Inputs("hit", true, true));
    Load();
    EXPECT_EQ(Sources(), (std::vector<TExpected>{At(0, 1), At(0, 4), At(2, 2), NewSearch, Header(0), At(0, 1),
                                                 At(0, 4), Header(1), Header(2), At(2, 2), None}));
}

TEST_F(SourceIndexTest, EntriesTheFileSplitsIntoSeveralPaneLinesAllLeadToTheirLine)
{
    // DOS text keeps line feeds inside a line; the pane shows each piece on a line of its own, and so
    // does a Unicode line separator in UTF-8 text. A line feed right after an entry's byte 13 is part
    // of that break in the pane.
    Write("dos.txt", "hit a\nb\r\nmiss\r\n\nhit c\r\nhit \xe2\x80\xa8 e\r\n");
    SearchInputs inputs = Inputs("hit", false);
    inputs.LineFormat = LineFormat::Dos;
    Run(inputs);
    Load();
    ASSERT_EQ(QString::fromLocal8Bit("\xe2\x80\xa8"), QString(QChar::LineSeparator)) << "Qt reads UTF-8 here";
    EXPECT_EQ(Sources(), (std::vector<TExpected>{At(0, 1), At(0, 1), At(0, 3), At(0, 4), At(0, 4), None}));
}

TEST_F(SourceIndexTest, RunsAppendedKeepTheirOwnRequestsAndClearEmptiesTheIndex)
{
    Write("a.txt", "alpha\nbeta\nalpha beta\n");
    Run(Inputs("alpha", false));
    Run(Inputs("beta", true));
    Load();
    EXPECT_EQ(Sources(),
              (std::vector<TExpected>{At(0, 1), At(0, 3), NewSearch, Header(0), At(0, 2), At(0, 3), None}));

    FLog.Clear();
    FIndex.Clear(FLog.ClearCount());
    EXPECT_EQ(FIndex.MarkCount(), 0u);
    EXPECT_EQ(FIndex.PaneLineCount(), 0u);
    EXPECT_FALSE(FIndex.SourceOfLine(0)) << "the pane still shows the old lines, which lead nowhere now";

    Run(Inputs("beta", false));
    Load();
    EXPECT_EQ(Sources(), (std::vector<TExpected>{At(0, 2), At(0, 3), None}));

    // A mark whose offset was read before a Clear (a run racing with it) is not kept.
    const std::uint64_t before = FLog.ClearCount();
    FLog.Clear();
    FIndex.Clear(FLog.ClearCount());
    FIndex.FileBegins(FFiles[0], before, 0);
    EXPECT_EQ(FIndex.MarkCount(), 0u);
}

TEST_F(SourceIndexTest, ParallelWalkKeepsListOrder)
{
    for (int i = 0; i < 300; ++i) {
        QByteArray text;
        for (int line = 1; line <= 1 + i % 7; ++line) {
            text += line == 1 + i % 5 ? "needle " + QByteArray::number(i) + "\n" : "hay\n";
        }
        Write(QStringLiteral("f%1.txt").arg(i).toStdString(), text);
    }
    Run(Inputs("needle", false), 4);
    Load();
    std::vector<TExpected> expected;
    for (int i = 0; i < 300; ++i) {
        if (i % 5 <= i % 7) {
            expected.push_back(At(i, 1 + i % 5));
        }
    }
    expected.push_back(None);
    EXPECT_EQ(Sources(), expected);
}

TEST_F(SourceIndexTest, BoundedByWhatThePaneShows)
{
    FLimit = 300;
    FIndex.SetPaneLimit(FLimit);
    QByteArray many;
    for (int i = 0; i < 20000; ++i) {
        many += "hit\n";
    }
    Write("many.txt", many);
    for (int i = 0; i < 2000; ++i) {
        Write(QStringLiteral("f%1.txt").arg(i).toStdString(), i % 2 ? "hit\n" : "none\n");
    }
    Run(Inputs("hit", false), 2);
    EXPECT_FALSE(FIndex.Recording());
    EXPECT_EQ(FIndex.MarkCount(), 1u) << "the first file fills the pane; the others are not kept";
    Run(Inputs("hit", false));
    EXPECT_EQ(FIndex.MarkCount(), 1u) << "a run appended past the pane keeps nothing either";
    Load();
    EXPECT_LE(FIndex.PaneLineCount(), std::size_t(FLimit) + 1);
    EXPECT_EQ(FIndex.SourceOfLine(FPaneLines - 2)->Line, FPaneLines - 1);

    FLog.Clear();
    FIndex.Clear(FLog.ClearCount());
    FFiles.erase(FFiles.begin());
    Run(Inputs("hit", false), 2);
    EXPECT_LE(FIndex.MarkCount(), std::size_t(FLimit) + 1) << "a mark per file, at most one per pane line";
    EXPECT_GT(FIndex.MarkCount(), 50u);
}

TEST(ReportedLineNumberTest, FollowsTheRunsRules)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath("a.txt").toStdString();
    WriteBytes(QString::fromStdString(path), "Hit\nmiss\nhit\nHIT\n");
    SearchInputs inputs;
    inputs.String1 = "hit";
    inputs.LineFormat = LineFormat::Unix;
    EXPECT_EQ(ReportedLineNumber(PrepareRequest(inputs), path, 2), 4);
    EXPECT_EQ(ReportedLineNumber(PrepareRequest(inputs), path, 3), 0) << "no fourth such line";
    inputs.CaseSensitive = true;
    EXPECT_EQ(ReportedLineNumber(PrepareRequest(inputs), path, 0), 3);
    inputs.ReverseLogic = true;
    EXPECT_EQ(ReportedLineNumber(PrepareRequest(inputs), path, 1), 2);
    inputs.ReverseLogic = false;
    inputs.OneOccurrence = true;
    EXPECT_EQ(ReportedLineNumber(PrepareRequest(inputs), path, 1), 0);
    CancelRequested = true; // left set by a cancelled run: the lookup is not the run's
    EXPECT_EQ(ReportedLineNumber(PrepareRequest(inputs), path, 0), 3);
    CancelRequested = false;
    EXPECT_EQ(ReportedLineNumber(PrepareRequest(inputs), "/proc/self", 0), 0) << "not a file";
}

TEST(ReportedLineNumberTest, ARunOfRegularExpressionsIsFollowedWithItsPattern)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath("r.txt").toStdString();
    QFile file(QString::fromStdString(path));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("abc\na.c\nxyz\naXc\n");
    file.close();
    SearchInputs inputs;
    inputs.String1 = "a.c";
    inputs.LineFormat = LineFormat::Unix;
    EXPECT_EQ(ReportedLineNumber(PrepareRequest(inputs), path, 0), 2) << "a dot, read as typed";
    inputs.Regex = true;
    EXPECT_EQ(ReportedLineNumber(PrepareRequest(inputs), path, 0), 1);
    EXPECT_EQ(ReportedLineNumber(PrepareRequest(inputs), path, 2), 4);
}

// Big enough for the mapped, windowed scan, with lines longer than its window: the lookup must find
// the lines the reference reader reports, in DOS and Unix text, Reverse Logic and not.
TEST(ReportedLineNumberTest, AgreesWithTheReferenceScanOnABigMixedFile)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath("big.txt").toStdString();
    std::string text;
    std::uint32_t seed = 7;
    const char* ends[] = {"\n", "\r\n", "\r"};
    for (int i = 0; text.size() < (std::size_t{5} << 20); ++i) {
        seed = seed * 1103515245u + 12345u;
        text += (seed >> 8) % 7 == 0 ? "a needle here" : "plain text";
        if (i % 997 == 0) {
            text += std::string(std::size_t{3} << 20 >> (i % 3), 'x'); // longer than a window, or near it
        }
        text += ends[(seed >> 16) % 3];
    }
    WriteBytes(QString::fromStdString(path), QByteArray::fromStdString(text));
    for (const LineFormat format : {LineFormat::Dos, LineFormat::Unix}) {
        for (const bool reverse : {false, true}) {
            SearchInputs inputs;
            inputs.String1 = "NEEDLE";
            inputs.LineFormat = format;
            inputs.ReverseLogic = reverse;
            inputs.LineNumbering = true;
            const SearchRequest request = PrepareRequest(inputs);
            struct : EntrySink {
                std::vector<std::int64_t> Numbers;
                void WriteLogLine(std::string_view line) override
                {
                    Numbers.push_back(std::stoll(std::string(line)));
                }
            } reference;
            RecordingHost host;
            SearchRun(request, reference, host, "").ScanFileByLines(path);
            ASSERT_GT(reference.Numbers.size(), 3u);
            const std::int64_t last = std::int64_t(reference.Numbers.size()) - 1;
            for (const std::int64_t ordinal : {std::int64_t{0}, last / 3, last / 2, last}) {
                EXPECT_EQ(ReportedLineNumber(request, path, ordinal), reference.Numbers[std::size_t(ordinal)])
                    << "entry " << ordinal << (format == LineFormat::Dos ? ", DOS" : ", Unix")
                    << (reverse ? ", reverse" : "");
            }
            EXPECT_EQ(ReportedLineNumber(request, path, last + 1), 0);
        }
    }
}

// ---- the window ---------------------------------------------------------------------------------------

class OpenAtLineTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        FFile = MakeFile("my notes.txt", "first\nthe error\nfine\nanother error\n");
        MakeFile("sifton.ini", "[Editor]\nCommand=myeditor --line=%l \"%f\"\n");
        Create({FFile, "error"});
        FForm->OptionNumbering->setChecked(false);
        FForm->OptionOutputNames->setChecked(true);
        FForm->resize(600, 500);
        FForm->show();
        ASSERT_TRUE(RunAndWait());
        QCoreApplication::processEvents();
    }

    QPoint LinePoint(int block) const
    {
        const QTextCursor cursor(FForm->Viewer->document()->findBlockByNumber(block));
        return FForm->Viewer->cursorRect(cursor).center() + QPoint(4, 0);
    }

    QStringList Editor(const char* line) const
    {
        return {"myeditor", QStringLiteral("--line=%1").arg(line), FFile};
    }

    QString FFile;
    TScriptedShell FShell;
};

TEST_F(OpenAtLineTest, DoubleClickEnterAndMenuOpenTheEditorAtTheLine)
{
    TQvEdit* viewer = FForm->Viewer;
    ASSERT_EQ(viewer->document()->findBlockByNumber(3).text(), "another error");

    QTest::mouseDClick(viewer->viewport(), Qt::LeftButton, {}, LinePoint(3));
    ASSERT_EQ(FShell.Launched.size(), 1u);
    EXPECT_EQ(FShell.Launched[0], Editor("4"));

    QTextCursor cursor(viewer->document()->findBlockByNumber(2));
    viewer->setTextCursor(cursor);
    QTest::keyClick(viewer, Qt::Key_Return);
    ASSERT_EQ(FShell.Launched.size(), 2u);
    EXPECT_EQ(FShell.Launched[1], Editor("2"));
    EXPECT_EQ(viewer->document()->blockCount(), 5) << "Enter opened the line instead of breaking it";

    QTest::mouseDClick(viewer->viewport(), Qt::LeftButton, {}, LinePoint(1));
    ASSERT_EQ(FShell.Launched.size(), 3u);
    EXPECT_EQ(FShell.Launched[2], Editor("1")) << "a header opens the file without a line";

    QTest::mouseDClick(viewer->viewport(), Qt::LeftButton, {}, LinePoint(0));
    EXPECT_EQ(FShell.Launched.size(), 3u) << "the new-search line opens nothing";
    viewer->setTextCursor(QTextCursor(viewer->document()->findBlockByNumber(0)));
    QTest::keyClick(viewer, Qt::Key_Return);
    EXPECT_EQ(FShell.Launched.size(), 3u);
    EXPECT_EQ(viewer->document()->blockCount(), 5) << "nor does Enter there break the line";

    const QPoint at = LinePoint(3);
    QContextMenuEvent onLine(QContextMenuEvent::Mouse, at, viewer->viewport()->mapToGlobal(at));
    QCoreApplication::sendEvent(viewer->viewport(), &onLine);
    QMenu* menu = viewer->PopupMenu();
    ASSERT_TRUE(WaitFor([menu] { return menu->isVisible(); }));
    EXPECT_TRUE(FForm->OpenAtLine1->isVisible());
    EXPECT_TRUE(FForm->OpenAtLine1->isEnabled());
    EXPECT_TRUE(menu->actions().contains(FForm->Find1)) << "the pane's own items stay";
    menu->close();
    FForm->OpenAtLine1->trigger();
    ASSERT_EQ(FShell.Launched.size(), 4u);
    EXPECT_EQ(FShell.Launched[3], Editor("4"));

    const QPoint corner(2, 2);
    QContextMenuEvent onField(QContextMenuEvent::Mouse, corner, FForm->FString1->mapToGlobal(corner));
    QCoreApplication::sendEvent(FForm->FString1->viewport(), &onField);
    ASSERT_TRUE(WaitFor([menu] { return menu->isVisible(); }));
    EXPECT_FALSE(FForm->OpenAtLine1->isVisible()) << "a search field has no lines to open";
    menu->close();
}

TEST_F(OpenAtLineTest, EditorThatCannotStartFallsBackToTheViewerAndClearForgetsTheLines)
{
    FShell.Result = false;
    QTest::mouseDClick(FForm->Viewer->viewport(), Qt::LeftButton, {}, LinePoint(2));
    EXPECT_TRUE(FDialogs.Messages.empty()) << "no error box: the line is shown instead";
    ASSERT_NE(FForm->FileViewer, nullptr);
    EXPECT_TRUE(FForm->FileViewer->isVisible());
    EXPECT_EQ(FForm->FileViewer->windowTitle(), QStringLiteral("my notes.txt:2 \u2014 Sifton"));
    EXPECT_EQ(FForm->FileViewer->Text()->SelectedText(), "the error");
    FForm->FileViewer->close();

    FShell.Result = true;
    FForm->CmdClearClick();
    QTest::mouseDClick(FForm->Viewer->viewport(), Qt::LeftButton, {}, LinePoint(2));
    EXPECT_EQ(FShell.Launched.size(), 1u) << "only the failed start";
    EXPECT_FALSE(FForm->FileViewer->isVisible());
    EXPECT_EQ(FForm->Viewer->document()->findBlockByNumber(2).text(), "the error") << "Clear leaves the pane";
}

TEST_F(OpenAtLineTest, NoEditorAnywhereOpensTheViewer)
{
    MakeFile("sifton.ini", "[Editor]\n");
    const auto question = DesktopTextEditorQuestion;
    DesktopTextEditorQuestion = [] { return QString(); };
    for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_DATA_DIRS", "XDG_CONFIG_DIRS"}) {
        qputenv(name, Path("no-desktop").toLocal8Bit());
    }
    QTest::mouseDClick(FForm->Viewer->viewport(), Qt::LeftButton, {}, LinePoint(3));
    DesktopTextEditorQuestion = question;
    EXPECT_TRUE(FShell.Launched.empty());
    EXPECT_TRUE(FShell.Opened.empty()) << "the desktop's handler would lose the line";
    EXPECT_TRUE(FDialogs.Messages.empty());
    ASSERT_NE(FForm->FileViewer, nullptr);
    EXPECT_EQ(FForm->FileViewer->Text()->Caret().Line, 4);
}

TEST_F(OpenAtLineTest, ViewerKeyAndCtrlEnterOpenTheViewer)
{
    MakeFile("sifton.ini", "[Editor]\nCommand=myeditor --line=%l \"%f\"\nViewer=1\n");
    QTest::mouseDClick(FForm->Viewer->viewport(), Qt::LeftButton, {}, LinePoint(3));
    EXPECT_TRUE(FShell.Launched.empty()) << "Viewer=1: the viewer first";
    ASSERT_NE(FForm->FileViewer, nullptr);
    TFileViewer* viewer = FForm->FileViewer;
    EXPECT_EQ(viewer->Text()->Caret().Line, 4);
    EXPECT_EQ(viewer->Request().Request->Pattern1Text, "error") << "the run's request comes along";

    MakeFile("sifton.ini", "[Editor]\nCommand=myeditor --line=%l \"%f\"\n");
    TQvEdit* pane = FForm->Viewer;
    pane->setTextCursor(QTextCursor(pane->document()->findBlockByNumber(2)));
    QTest::keyClick(pane, Qt::Key_Return, Qt::ControlModifier);
    EXPECT_TRUE(FShell.Launched.empty());
    EXPECT_EQ(FForm->FileViewer, viewer) << "one viewer serves every line";
    EXPECT_EQ(viewer->Text()->Caret().Line, 2);
    EXPECT_EQ(pane->document()->blockCount(), 5) << "Ctrl+Enter broke no line";
    QTest::keyClick(pane, Qt::Key_Return);
    EXPECT_EQ(FShell.Launched.size(), 1u) << "Enter still opens the editor";
}

TEST_F(OpenAtLineTest, ViewAtLineItemFollowsTheLineTheMenuIsOpenedOn)
{
    TQvEdit* pane = FForm->Viewer;
    QMenu* menu = pane->PopupMenu();
    const auto popUpOn = [&](QWidget* widget, QPoint at) {
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, widget->mapToGlobal(at));
        QCoreApplication::sendEvent(widget, &event);
        EXPECT_TRUE(WaitFor([menu] { return menu->isVisible(); }));
        const bool visible = FForm->ViewAtLine1->isVisible();
        const bool enabled = FForm->ViewAtLine1->isEnabled();
        menu->close();
        return std::make_pair(visible, enabled);
    };
    EXPECT_EQ(popUpOn(pane->viewport(), LinePoint(3)), std::make_pair(true, true)) << "a reported line";
    EXPECT_EQ(FForm->ViewAtLine1->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Return));
    FForm->ViewAtLine1->trigger();
    ASSERT_NE(FForm->FileViewer, nullptr);
    EXPECT_EQ(FForm->FileViewer->Text()->Caret().Line, 4);
    EXPECT_EQ(popUpOn(pane->viewport(), LinePoint(1)), std::make_pair(true, true))
        << "a header opens its file";
    EXPECT_EQ(popUpOn(pane->viewport(), LinePoint(0)), std::make_pair(true, false)) << "the new-search line";
    EXPECT_EQ(popUpOn(FForm->FString1->viewport(), QPoint(2, 2)).first, false) << "a search field";
    FForm->CmdClearClick();
    EXPECT_EQ(popUpOn(pane->viewport(), LinePoint(3)), std::make_pair(true, false)) << "cleared lines";
}

TEST_F(OpenAtLineTest, RunEndsOnTheOutputListAtItsFirstEntry)
{
    EXPECT_EQ(FForm->PageControl1->currentWidget(), FForm->OutputList) << "the run of SetUp";
    EXPECT_EQ(FForm->Viewer->textCursor().blockNumber(), 0);

    QByteArray lines;
    for (int i = 1; i <= 100; ++i) {
        lines += "error " + QByteArray::number(i) + "\n";
    }
    MakeFile("my notes.txt", lines);
    for (const int expected : {4, 106}) {
        FForm->PageControl1->setCurrentWidget(FForm->TabSheet1);
        ASSERT_TRUE(RunAndWait());
        QCoreApplication::processEvents();
        EXPECT_EQ(FForm->PageControl1->currentWidget(), FForm->OutputList);
        const QTextBlock first = FForm->Viewer->textCursor().block();
        EXPECT_EQ(first.blockNumber(), expected) << "the run's new-search line";
        EXPECT_EQ(first.text(), "*****  New Search  *****");
        EXPECT_EQ(FForm->Viewer->cursorForPosition(QPoint(8, 8)).blockNumber(), expected) << "at the top";
    }

    FForm->PageControl1->setCurrentWidget(FForm->TabSheet2);
    FForm->FString1->setPlainText("nowhere to be found");
    ASSERT_TRUE(RunAndWait());
    EXPECT_EQ(FForm->PageControl1->currentWidget(), FForm->TabSheet2) << "a run that reported nothing";

    MakeFile("sifton.ini", "[Options]\nShow Results=0\n");
    FForm->FString1->setPlainText("error");
    ASSERT_TRUE(RunAndWait());
    EXPECT_EQ(FForm->PageControl1->currentWidget(), FForm->TabSheet2) << "Show Results=0";
}

TEST_F(OpenAtLineTest, EditedPaneOpensNothing)
{
    QTextCursor(FForm->Viewer->document()->findBlockByNumber(1)).insertText("typed\n");
    QTest::mouseDClick(FForm->Viewer->viewport(), Qt::LeftButton, {}, LinePoint(3));
    EXPECT_TRUE(FShell.Launched.empty());
}

} // namespace
