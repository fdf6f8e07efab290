// The main window end to end: start-up, the command line, search runs over real files, the commands and
// their enablement. Every modal dialog is answered by the scripted dialog service.
#include "app/SearchThread.h"
#include "app/Unit1.h"
#include "controls/W97Slide.h"
#include "controls/richtext/FindDialog.h"
#include "platform/Application.h"
#include "platform/GuiDispatcher.h"
#include "search/RunFlags.h"
#include "search/StatusTexts.h"
#include "tests/support/ScriptedDialogs.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "WaitFor.h"

namespace {

QByteArray ReadBytes(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return "<missing>";
    }
    return file.readAll();
}

void WriteBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    file.write(bytes);
}

// Holds a run at its first periodic status update, the line RefreshRate (1000) of a file, until the
// test lets it go: "during a run" is then a fixed point rather than a race. The window never reads
// from a pipe, so a regular file is held where the run publishes its title, as a slow file would
// hold it in read().
class TRunHold {
public:
    explicit TRunHold(TForm1& form)
        : FForm(form)
    {
        form.RunDisplay.OnTitlePublished = [this] {
            std::unique_lock lock(FLock);
            FHeld = true;
            FSignal.wait(lock, [this] { return FReleased; });
        };
    }
    ~TRunHold()
    {
        Release();
        // The hook is let go only once no run can be inside it any more.
        EXPECT_TRUE(WaitFor([this] { return FForm.SearchThread == nullptr; }));
        FForm.RunDisplay.OnTitlePublished = nullptr;
    }

    // A held file: head, then filler lines up to past the held line, then tail.
    static QByteArray HeldText(const QByteArray& head, const QByteArray& tail)
    {
        QByteArray text = head;
        for (int i = 0; i < 1100; ++i) {
            text += QByteArray(126, 'x') + "\r\n";
        }
        return text + tail;
    }

    // Waits (the GUI thread serving the run meanwhile) until the run is held.
    bool Reached()
    {
        return WaitFor([this] {
            std::lock_guard lock(FLock);
            return FHeld;
        });
    }

    // Lets the run go on; never blocks, so any thread may call it.
    void Release()
    {
        std::lock_guard lock(FLock);
        FReleased = true;
        FSignal.notify_all();
    }

private:
    TForm1& FForm;
    std::mutex FLock;
    std::condition_variable FSignal;
    bool FHeld = false; // guarded by FLock
    bool FReleased = false; // guarded by FLock
};

class Unit1Test : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(FDir.isValid());
        Application::SetTitle(QStringLiteral("Sifton"));
        CancelRequested = false;
        SearchRunning = false;
    }

    void TearDown() override
    {
        if (FForm) {
            EXPECT_TRUE(WaitFor([this] { return FForm->SearchThread == nullptr; }));
        }
        FForm.reset();
    }

    QString Path(const QString& name) const { return FDir.filePath(name); }
    QString ProgramPath() const { return Path(QStringLiteral("sifton")); }

    QString MakeFile(const QString& name, const QByteArray& bytes)
    {
        const QString path = Path(name);
        WriteBytes(path, bytes);
        return path;
    }

    TForm1& Create(const QStringList& arguments = {})
    {
        FForm = std::make_unique<TForm1>(arguments, ProgramPath());
        return *FForm;
    }

    // Adds a row the way the list shows it, without opening the file (pipes must not be opened here).
    void AddRow(const QString& path)
    {
        auto* item = new QTreeWidgetItem(FForm->FileList);
        item->setText(0, path);
    }

    bool RunAndWait()
    {
        FForm->CmdSearchClick();
        return WaitFor([this] { return FForm->SearchThread == nullptr; });
    }

    QByteArray LogBytes() const { return ReadBytes(FForm->ProgramFile(".out")); }

    QStringList Rows() const
    {
        QStringList rows;
        for (int i = 0; i < FForm->FileCount(); ++i) {
            rows << FForm->FileNameAt(i);
        }
        return rows;
    }

    QTemporaryDir FDir;
    TScriptedDialogs FDialogs;
    std::unique_ptr<TForm1> FForm;
};

// ---- the window as designed -------------------------------------------------------------------------

TEST_F(Unit1Test, DesignStatesCaptionsAndPanels)
{
    TForm1& form = Create();
    EXPECT_EQ(form.windowTitle(), "Quorvale Grep");
    form.show();
    EXPECT_EQ(form.size(), QSize(569, 449)) << "the controls fit the designed size";
    for (QAction* button : {form.CmdOpen, form.CmdSave, form.CmdClear, form.BPrint, form.CmdSearch,
                            form.CmdCancel, form.CmdAbout}) {
        EXPECT_TRUE(button->isEnabled()) << button->objectName().toStdString();
    }
    EXPECT_FALSE(form.mSave->isEnabled());
    EXPECT_FALSE(form.mStart->isEnabled());
    EXPECT_FALSE(form.mCancel->isEnabled());
    EXPECT_TRUE(form.mClear->isEnabled());
    EXPECT_TRUE(form.mSearch->menuAction()->isEnabled());
    EXPECT_EQ(form.StatusText(0), "Lines Searched: None");
    EXPECT_EQ(form.StatusText(1), "Lines Found: None");
    EXPECT_EQ(form.StatusText(2), "File Position: N/A");
    EXPECT_EQ(form.StatusText(3), "Words Found: None");
    EXPECT_EQ(form.OptionOneInstance->text(), "One occurance only");
    EXPECT_EQ(form.OptionClearAll->text(), "Clear Everything on \"Clear\"");
    EXPECT_EQ(form.FOperator->count(), 4);
    EXPECT_EQ(form.FOperator->itemText(3), "& Not");
    EXPECT_EQ(form.RefreshRate->minimum(), 1000);
    EXPECT_EQ(form.RefreshRate->maximum(), 1000000);
    EXPECT_EQ(form.PageControl1->currentWidget(), form.TabSheet1);
    EXPECT_EQ(form.mStart->shortcut(), QKeySequence(Qt::Key_F9));
}

TEST_F(Unit1Test, PagePanelsAreSwitchBoxesWithoutBevel)
{
    TForm1& form = Create();
    form.show();
    QTest::qWait(0);
    const std::vector<TSwitchBox*> boxes{form.SwitchBox1, form.SwitchBox2, form.SwitchBox3,
                                         form.SwitchBox4, form.SwitchBox5, form.SwitchBox6};
    for (int page : {0, 1}) {
        form.PageControl1->setCurrentIndex(page);
        for (TSwitchBox* box : boxes) {
            if (!box->isVisible()) {
                continue;
            }
            SCOPED_TRACE(box->objectName().toStdString());
            const QImage image = box->grab().toImage().convertToFormat(QImage::Format_RGB32);
            const QRgb face = box->Color().rgb() & 0xFFFFFF;
            const int w = image.width(), h = image.height();
            // The outer ring: no highlight or shadow line, only the panel's colour.
            for (const QPoint& p : {QPoint(w / 2, 0), QPoint(0, h / 2), QPoint(w / 2, h - 1),
                                    QPoint(w - 1, h / 2), QPoint(0, 0), QPoint(w - 1, h - 1)}) {
                EXPECT_EQ(image.pixel(p) & 0xFFFFFF, face) << p.x() << "," << p.y();
            }
        }
    }
    EXPECT_EQ(form.SwitchBox2->height(), 58);
    EXPECT_EQ(form.SwitchBox6->height(), 32);
    EXPECT_EQ(form.SwitchBox4->width(), 172);
    EXPECT_EQ(form.SwitchBox5->width(), 172);
    EXPECT_EQ(form.SwitchBox1->width(), 70);
    EXPECT_TRUE(form.SwitchBox1->ShowHint());
    EXPECT_EQ(form.SwitchBox1->geometry().right(), form.TabSheet2->rect().right());
    EXPECT_EQ(form.cmdFLSave->parentWidget(), form.SwitchBox1);
    EXPECT_EQ(form.OptionLineCount->parentWidget(), form.SwitchBox5) << "left column";
    EXPECT_EQ(form.OptionCase->parentWidget(), form.SwitchBox4) << "right column";
    EXPECT_EQ(form.RefreshRate->parentWidget(), form.SwitchBox6) << "bottom strip";
}

// ---- start-up ---------------------------------------------------------------------------------------

TEST_F(Unit1Test, FormCreateLoadsPreparedSettingsAndList)
{
    const QString a = MakeFile("a.txt", "alpha\r\n");
    const QString b = MakeFile("b.txt", "beta\r\n");
    MakeFile("sifton.lst", (a + "\r\n" + b + "\r\n").toLocal8Bit());
    MakeFile("sifton.ini",
             "[Options]\r\nCount Lines=0\r\nCount Words=yes\r\nOne Instance=1\r\n"
             "Load file list=1\r\nCase Sensitive=2\r\nDefault Operator=0x2\r\nRefresh Rate=50\r\n");
    TForm1& form = Create();
    EXPECT_FALSE(form.OptionLineCount->isChecked());
    EXPECT_FALSE(form.OptionWordCount->isChecked());
    EXPECT_TRUE(form.OptionProgress->isChecked());
    EXPECT_TRUE(form.OptionOneInstance->isChecked());
    EXPECT_TRUE(form.OptionCase->isChecked());
    EXPECT_TRUE(form.OptionOutputNames->isChecked());
    EXPECT_FALSE(form.OptionWordCount->isEnabled()) << "One occurance only is checked";
    EXPECT_EQ(form.FOperator->currentIndex(), 2);
    EXPECT_EQ(form.RefreshRate->value(), 1000);
    EXPECT_EQ(Rows(), (QStringList{a, b}));
    EXPECT_TRUE(FDialogs.Messages.empty());
    EXPECT_EQ(QFileInfo(form.ProgramFile(".out")).size(), 0);
}

TEST_F(Unit1Test, StoredOperatorOutOfRangeIsIgnoredAndRateIsClamped)
{
    MakeFile("sifton.ini", "[Options]\nDefault Operator=4\nRefresh Rate=5000000\n");
    TForm1& form = Create();
    EXPECT_EQ(form.FOperator->currentIndex(), 0);
    EXPECT_EQ(form.RefreshRate->value(), 1000000);
}

TEST_F(Unit1Test, LoadListOnStartupWithoutSavedListSaysSoOnceAndAppliesCommandLine)
{
    MakeFile("sifton.ini", "[Options]\nLoad file list=1\n");
    const QString a = MakeFile("a.txt", "alpha\r\n");
    TForm1& form = Create({a, "alpha"});
    ASSERT_EQ(FDialogs.Messages.size(), 1u);
    EXPECT_EQ(FDialogs.Messages[0].Text, "You have not saved a file list yet.");
    EXPECT_EQ(FDialogs.Messages[0].Icon(), MB_ICONHAND);
    EXPECT_EQ(Rows(), QStringList{a});
    EXPECT_EQ(form.FString1->toPlainText(), "alpha");
}

TEST_F(Unit1Test, ResultLogThatCannotBeCreatedIsShownAndTheWindowStillOpens)
{
    FForm = std::make_unique<TForm1>(QStringList{}, Path("no-such-folder/sifton"));
    ASSERT_EQ(FDialogs.Messages.size(), 1u);
    EXPECT_TRUE(FDialogs.Messages[0].Text.startsWith("Cannot create file "))
        << FDialogs.Messages[0].Text.toStdString();
    EXPECT_TRUE(FDialogs.Messages[0].Text.contains("no-such-folder/sifton.out"));
    // The steps after the failing one were skipped: the options kept their design values.
    EXPECT_FALSE(FForm->OptionLineCount->isChecked());

    // A search then says once that its entries had nowhere to go, and the window comes back.
    AddRow(MakeFile("a.txt", "x\r\n"));
    FForm->FString1->SetText("x");
    ASSERT_TRUE(RunAndWait());
    ASSERT_EQ(FDialogs.Messages.size(), 2u);
    EXPECT_TRUE(FDialogs.Messages[1].Text.startsWith("Unable to write to "))
        << FDialogs.Messages[1].Text.toStdString();
    EXPECT_TRUE(FForm->MainPage->isEnabled());
    EXPECT_TRUE(FForm->CmdSearch->isEnabled());
}

TEST_F(Unit1Test, OptionsNeverLoadedAreNotWrittenOverTheStoredOnesOnClose)
{
    // Another copy holding the log looks like this: the log cannot be created, the options stay unread.
    QDir(FDir.path()).mkdir("sifton.out");
    const QByteArray stored = "; mine\r\n[Options]\r\nCount Lines=0\r\nUnix File=1\r\nDefault Operator=2\r\n"
                              "Refresh Rate=5000\r\n";
    MakeFile("sifton.ini", stored);
    TForm1& form = Create();
    ASSERT_EQ(FDialogs.Messages.size(), 1u);
    EXPECT_TRUE(FDialogs.Messages[0].Text.startsWith("Cannot create file "));
    form.close();
    EXPECT_EQ(ReadBytes(form.ProgramFile(".ini")), stored);
}

TEST_F(Unit1Test, FirstStartWritesAllThirteenKeysInTableOrderOnClose)
{
    TForm1& form = Create();
    form.OptionNumbering->setChecked(true);
    form.FOperator->setCurrentIndex(3);
    form.RefreshRate->setValue(2500);
    form.close();
    const QList<QByteArray> lines = ReadBytes(form.ProgramFile(".ini")).replace("\r", "").split('\n');
    const QList<QByteArray> expected{
        "[Options]",        "Count Lines=1",    "Count Words=0",      "Progress Indicator=1", "Total Clear=0",
        "Load file list=0", "Case Sensitive=0", "Reverse Logic=0",    "Safe After=0",         "Unix File=1",
        "One Instance=0",   "Output Names=1",   "Default Operator=3", "Refresh Rate=2500"};
    ASSERT_GE(lines.size(), expected.size());
    EXPECT_EQ(lines.mid(0, expected.size()), expected);
}

TEST_F(Unit1Test, SettingsThatCannotBeWrittenAreReportedOnClose)
{
    QDir(FDir.path()).mkdir("sifton.ini"); // a folder where the file should be
    TForm1& form = Create();
    form.close();
    ASSERT_EQ(FDialogs.Messages.size(), 1u);
    EXPECT_EQ(FDialogs.Messages[0].Text, "Unable to write to " + form.ProgramFile(".ini"));
}

// ---- the command line -------------------------------------------------------------------------------

struct TCommandLineCase {
    const char* Name;
    QStringList Arguments; // "$a", "$b", "$list", "$dir" stand for prepared paths
    QStringList Rows;
    QString String1;
    QString String2;
    int Operator;
    QStringList Messages;
    bool Searches;
};

class CommandLineTest : public Unit1Test, public ::testing::WithParamInterface<TCommandLineCase> { };

TEST_P(CommandLineTest, Applies)
{
    const TCommandLineCase& c = GetParam();
    QMap<QString, QString> names;
    names["$a"] = MakeFile("a.txt", "error one\r\nwarning two\r\n");
    names["$b"] = MakeFile("b.txt", "nothing\r\n");
    names["$list"] = MakeFile("files.lst", (names["$a"] + "\r\n" + names["$b"] + "\r\n").toLocal8Bit());
    QDir(FDir.path()).mkpath("logs/sub.dir");
    names["$l1"] = MakeFile("logs/x.log", "error\r\n");
    names["$l2"] = MakeFile("logs/.hidden.log", "error\r\n");
    MakeFile("logs/y.txt", "error\r\n");
    names["$logs"] = Path("logs/*.log");
    names["$subs"] = Path("logs/sub*");
    names["$missing"] = Path("missing.txt");
    names["$dir"] = Path("logs");
    const auto expand = [&](QStringList list) {
        for (QString& s : list) {
            s = names.value(s, s);
        }
        return list;
    };

    TForm1& form = Create(expand(c.Arguments));
    ASSERT_TRUE(WaitFor([&] { return form.SearchThread == nullptr; }));
    QStringList rows = Rows();
    QStringList expectedRows = expand(c.Rows);
    if (QString(c.Name) == "Wildcard") { // the folder's own order is checked on its own below
        rows.sort();
        expectedRows.sort();
    }
    EXPECT_EQ(rows, expectedRows);
    EXPECT_EQ(form.FString1->toPlainText(), c.String1);
    EXPECT_EQ(form.FString2->toPlainText(), c.String2);
    EXPECT_EQ(form.FOperator->currentIndex(), c.Operator);
    QStringList messages;
    for (const TMessageBoxCall& m : FDialogs.Messages) {
        messages << m.Caption + "|" + m.Text;
    }
    EXPECT_EQ(messages, c.Messages);
    EXPECT_EQ(!LogBytes().isEmpty(), c.Searches) << LogBytes().toStdString();
    if (c.Searches) {
        EXPECT_EQ(form.windowTitle(), "Sifton");
        EXPECT_TRUE(form.isVisible());
    }
}

const QStringList NoRows;
const QStringList NoMessages;

INSTANTIATE_TEST_SUITE_P(
    Arguments, CommandLineTest,
    ::testing::Values(
        TCommandLineCase{"NoArguments", {}, {}, "", "", 0, NoMessages, false},
        TCommandLineCase{"OneFile", {"$a"}, {"$a"}, "", "", 0, NoMessages, false},
        TCommandLineCase{"FileAndString", {"$a", "error"}, {"$a"}, "error", "", 0, NoMessages, false},
        TCommandLineCase{"Wildcard", {"$logs", "error"}, {"$l1", "$l2"}, "error", "", 0, NoMessages, false},
        TCommandLineCase{
            "WildcardWhoseFirstMatchIsAFolder", {"$subs"}, {}, "", "", 0, {"Error:|Wrong filename!"}, false},
        TCommandLineCase{"OrAndGo",
                         {"$a", "error", "OR", "warning", "/GO"},
                         {"$a"},
                         "error",
                         "warning",
                         1,
                         NoMessages,
                         true},
        TCommandLineCase{"XorKeyword",
                         {"$a", "error", "XOR", "warning"},
                         {"$a"},
                         "error",
                         "warning",
                         2,
                         NoMessages,
                         false},
        TCommandLineCase{"AndNotKeyword",
                         {"$a", "error", "&NOT", "warning"},
                         {"$a"},
                         "error",
                         "warning",
                         3,
                         NoMessages,
                         false},
        TCommandLineCase{"AndKeywordLeavesOperator",
                         {"$a", "error", "AND", "warning"},
                         {"$a"},
                         "error",
                         "warning",
                         0,
                         NoMessages,
                         false},
        TCommandLineCase{"LowerCaseOrLeavesOperator",
                         {"$a", "error", "or", "warning"},
                         {"$a"},
                         "error",
                         "warning",
                         0,
                         NoMessages,
                         false},
        TCommandLineCase{"ListSwitch", {"$list", "/LIST"}, {"$a", "$b"}, "", "", 0, NoMessages, false},
        TCommandLineCase{
            "ListSwitchLowerCase", {"$list", "/list"}, {"$a", "$b"}, "", "", 0, NoMessages, false},
        TCommandLineCase{"ListStringListGo",
                         {"$list", "error", "/LIST", "/GO"},
                         {"$a", "$b"},
                         "error",
                         "",
                         0,
                         NoMessages,
                         true},
        TCommandLineCase{"GoAsSecondArgument", {"$a", "/GO"}, {"$a"}, "", "", 0, NoMessages, false},
        TCommandLineCase{
            "GoLowerCaseThird", {"$a", "error", "/go"}, {"$a"}, "error", "", 0, NoMessages, true},
        TCommandLineCase{"MissingFileWithGo",
                         {"$missing", "error", "/GO"},
                         {},
                         "error",
                         "",
                         0,
                         {"Error:|Wrong filename!"},
                         false},
        TCommandLineCase{
            "FolderIsNoFile", {"$dir", "error"}, {}, "error", "", 0, {"Error:|Wrong filename!"}, false}),
    [](const ::testing::TestParamInfo<TCommandLineCase>& info) { return std::string(info.param.Name); });

// Files sorted by name, whatever order the folder lists them in; a folder that matches is never listed.
TEST_F(Unit1Test, WildcardListsMatchesSortedByNameAndSkipsFolders)
{
    QDir(FDir.path()).mkpath("logs/m.log");
    for (const char* name : {"d.log", "b.log", "c.log", "a.log", "n.txt"}) {
        MakeFile(QString("logs/") + name, "x\r\n");
    }
    TForm1& form = Create({Path("logs/*.log")});
    EXPECT_EQ(Rows(),
              QStringList({Path("logs/a.log"), Path("logs/b.log"), Path("logs/c.log"), Path("logs/d.log")}));
    EXPECT_TRUE(FDialogs.Messages.empty());
    EXPECT_EQ(form.FString1->toPlainText(), "");
}

TEST_F(Unit1Test, MissingFileWithGoSearchesTheListLoadedAtStartup)
{
    const QString a = MakeFile("a.txt", "error one\r\n");
    MakeFile("sifton.lst", (a + "\r\n").toLocal8Bit());
    MakeFile("sifton.ini", "[Options]\nLoad file list=1\nOutput Names=0\n");
    TForm1& form = Create({Path("missing.txt"), "error", "/GO"});
    ASSERT_TRUE(WaitFor([&] { return form.SearchThread == nullptr; }));
    ASSERT_EQ(FDialogs.Messages.size(), 1u);
    EXPECT_EQ(FDialogs.Messages[0].Text, "Wrong filename!");
    EXPECT_EQ(LogBytes(), "error one\r");
}

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

TEST_F(Unit1Test, RegexRunWritesTheLogOfSiftonCliRegex)
{
    const QString a =
        MakeFile("a.txt", "lease renewed\r\nLEASE expired 2026-12-01T10:00\nno lease here\rlease pending\n");
    const QString b = MakeFile("b.txt", "release freed\r\n\r\nlease revoked\x1alease lost\n");
    TForm1& form = Create();
    AddRow(a);
    AddRow(b);
    form.FString1->setPlainText(QStringLiteral("^lease [a-z]+ed"));
    form.FString2->setPlainText(QStringLiteral("\\d{4}-"));
    form.FOperator->setCurrentIndex(3); // "& Not"
    form.OptionRegex->setChecked(true);
    form.OptionNumbering->setChecked(true);
    form.OptionWordCount->setChecked(true);
    ASSERT_TRUE(RunAndWait());
    EXPECT_TRUE(FDialogs.Messages.empty());
    const QByteArray log = LogBytes();
    EXPECT_TRUE(log.contains("1 : lease renewed\r")) << log.toStdString();
    EXPECT_FALSE(log.contains("LEASE expired")) << "string 2 holds";

    QProcess cli;
    cli.setWorkingDirectory(FDir.path());
    cli.start(qEnvironmentVariable("SIFTON_BIN") + "/sifton-cli",
              {"-E", "-V", "-n", "-q", "--unix", "--log", Path("cli.out"), "--and-not", "\\d{4}-",
               "^lease [a-z]+ed", a, b});
    ASSERT_TRUE(cli.waitForFinished(30000));
    EXPECT_EQ(cli.exitCode(), 0);
    EXPECT_EQ(log, ReadBytes(Path("cli.out")));
}

TEST_F(Unit1Test, RegexThatDoesNotCompileIsRefusedWithTheCaretWhereItWentWrong)
{
    const QString a = MakeFile("a.txt", "x\n");
    TForm1& form = Create({a, "x", "OR", QString::fromUtf8("\xc3\xa9t\xc3\xa9(x")});
    form.OptionRegex->setChecked(true);
    form.PageControl1->setCurrentWidget(form.OutputList);
    form.CmdSearchClick();
    EXPECT_EQ(form.SearchThread, nullptr) << "no run starts";
    ASSERT_EQ(FDialogs.Messages.size(), 1u);
    // PCRE2 stops after the seven bytes of the string, which are its five characters.
    EXPECT_EQ(
        FDialogs.Messages[0].Text,
        "Search string 2 is not a valid regular expression: missing closing parenthesis (at position 5)");
    EXPECT_EQ(form.PageControl1->currentWidget(), form.TabSheet1);
    EXPECT_EQ(form.FString2->textCursor().position(), 5);
    EXPECT_TRUE(LogBytes().isEmpty());
    form.OptionRegex->setChecked(false);
    ASSERT_TRUE(RunAndWait()) << "the same strings read as typed";
    EXPECT_EQ(FDialogs.Messages.size(), 1u);
}

TEST_F(Unit1Test, RegularExpressionsBoxIsKeptInTheSettings)
{
    MakeFile("sifton.ini", "[Options]\nRegular Expressions=1\n");
    TForm1& form = Create();
    EXPECT_TRUE(form.OptionRegex->isChecked());
    EXPECT_EQ(form.OptionRegex->text(), "Regular Expressions");
    form.OptionRegex->setChecked(false);
    form.close();
    EXPECT_TRUE(ReadBytes(form.ProgramFile(".ini")).contains("Regular Expressions=0"));
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

class RunInProgressTest : public Unit1Test {
protected:
    void TearDown() override
    {
        if (FHold) {
            FHold->Release();
            EXPECT_TRUE(WaitFor([this] { return FForm->SearchThread == nullptr; }));
            FHold.reset();
        }
        Unit1Test::TearDown();
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
        ASSERT_TRUE(WaitFor([this] { return FForm->SearchThread == nullptr; }));
    }

    QString FFirst;
    QString FHeld;
    QString FThird;
    std::unique_ptr<TRunHold> FHold;
};

TEST_F(RunInProgressTest, CommandsAndMainPageDuringAndAfterTheRun)
{
    StartHeldRun("match two\r\n", "");
    TForm1& form = *FForm;
    EXPECT_FALSE(form.CmdSearch->isEnabled());
    EXPECT_FALSE(form.mSearch->menuAction()->isEnabled());
    EXPECT_FALSE(form.CmdSave->isEnabled());
    EXPECT_FALSE(form.mSave->isEnabled());
    EXPECT_TRUE(form.CmdCancel->isEnabled());
    EXPECT_TRUE(form.mCancel->isEnabled());
    EXPECT_FALSE(form.MainPage->isEnabled());
    EXPECT_TRUE(form.TabSheet2->isEnabled());
    EXPECT_TRUE(SearchRunning);
    EXPECT_EQ(form.StatusText(3), "Words Found = None");
    EXPECT_TRUE(form.windowTitle().startsWith("Searching ")) << form.windowTitle().toStdString();

    TSearchThread* running = form.SearchThread;
    form.CmdSearchClick(); // pressing Search during the run starts nothing
    EXPECT_EQ(form.SearchThread, running);

    FinishRun();
    EXPECT_TRUE(form.CmdSearch->isEnabled());
    EXPECT_TRUE(form.mSearch->menuAction()->isEnabled());
    EXPECT_TRUE(form.CmdSave->isEnabled());
    EXPECT_TRUE(form.mSave->isEnabled());
    EXPECT_FALSE(form.CmdCancel->isEnabled());
    EXPECT_FALSE(form.mCancel->isEnabled());
    EXPECT_TRUE(form.MainPage->isEnabled());
    EXPECT_FALSE(SearchRunning);
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
    FForm->show();
    QApplication::setActiveWindow(FForm.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(FForm.get()));
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
    FForm->show();
    QApplication::setActiveWindow(FForm.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(FForm.get()));
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
    form.show();
    QApplication::setActiveWindow(&form);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
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

// ---- commands ----------------------------------------------------------------------------------------

TEST_F(Unit1Test, SaveOutputOffersTheTypesAndCopiesTheLog)
{
    TForm1& form = Create();
    FDialogs.FileAnswers.push_back(std::nullopt);
    form.CmdSaveClick();
    ASSERT_EQ(FDialogs.FileDialogs.size(), 1u);
    const TFileDialogRequest& request = FDialogs.FileDialogs[0];
    EXPECT_TRUE(request.Save);
    EXPECT_EQ(request.Title, "Select or type an output file.");
    EXPECT_EQ(request.DefaultExt, "txt");
    ASSERT_EQ(request.Filters.size(), 4u);
    EXPECT_EQ(request.Filters[0], (TFileFilter{"Text Files", "*.txt"}));
    EXPECT_EQ(request.Filters[3], (TFileFilter{"All Files", "*.*"}));
    EXPECT_TRUE(request.Options & ofOverwritePrompt);
    EXPECT_TRUE(QDir(FDir.path()).entryList({"*.txt"}).isEmpty()) << "cancelled: nothing written";

    const QString out = Path("empty.txt");
    FDialogs.FileAnswers.push_back(QStringList{out});
    form.CmdSaveClick();
    EXPECT_EQ(ReadBytes(out), "") << "an empty log saves an empty file";

    const QString bad = Path("no-such-folder/out.txt");
    FDialogs.FileAnswers.push_back(QStringList{bad});
    form.CmdSave->trigger();
    ASSERT_EQ(FDialogs.Messages.size(), 1u);
    EXPECT_EQ(FDialogs.Messages[0].Text, "Cannot create file " + bad);
}

// Opens the shared context menu on a control the way a right click does, and closes it again.
void OpenContextMenuOn(TQvEdit* edit)
{
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(2, 2),
                            edit->viewport()->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(edit->viewport(), &event);
    if (QWidget* menu = QApplication::activePopupWidget()) {
        menu->close();
    }
}

TEST_F(Unit1Test, EditingItemsWorkOnTheControlTheMenuWasOpenedOn)
{
    TForm1& form = Create();
    form.FString1->SetText("first");
    form.FString2->SetText("second");
    form.show();
    OpenContextMenuOn(form.FString2);
    form.SelectAll1->trigger();
    form.Delete1->trigger();
    EXPECT_EQ(form.FString2->Text(), "");
    EXPECT_EQ(form.FString1->Text(), "first");
    form.Undo1->trigger();
    EXPECT_EQ(form.FString2->Text(), "second");
    form.Undo1Click(9); // a tag outside 0..5 does nothing
    EXPECT_EQ(form.FString2->Text(), "second");
}

TEST_F(Unit1Test, FindFromString1SearchesTheOutputPane)
{
    TForm1& form = Create();
    form.show();
    OpenContextMenuOn(form.FString1);
    form.Find1->trigger();
    ASSERT_NE(form.Viewer->FindDialog(), nullptr);
    EXPECT_TRUE(form.Viewer->FindDialog()->isVisible());
    EXPECT_EQ(form.FString1->FindDialog() != nullptr && form.FString1->FindDialog()->isVisible(), false);
    form.Viewer->FindDialog()->close();
}

// ---- enablement -------------------------------------------------------------------------------------

TEST_F(Unit1Test, String1AndFileListDriveSearch)
{
    const QString a = MakeFile("a.txt", "one\r\n");
    TForm1& form = Create();
    form.FString1->setPlainText("x");
    EXPECT_FALSE(form.CmdSearch->isEnabled()) << "no files";
    EXPECT_FALSE(form.mSearch->menuAction()->isEnabled());
    form.FileListDragDropFiles({a});
    EXPECT_TRUE(form.CmdSearch->isEnabled());
    EXPECT_TRUE(form.mSearch->menuAction()->isEnabled());
    form.FString1->clear();
    EXPECT_FALSE(form.CmdSearch->isEnabled());
    form.FString1->setPlainText("y");
    EXPECT_TRUE(form.CmdSearch->isEnabled());
    form.cmdFLClearClick();
    EXPECT_FALSE(form.CmdSearch->isEnabled());
    EXPECT_FALSE(form.mSearch->menuAction()->isEnabled());
    EXPECT_FALSE(form.mStart->isEnabled()) << "only the open dialog's rule touches Start";
}

TEST_F(Unit1Test, OpenDialogAddsFilesAndDrivesStartButNotTheSearchMenu)
{
    const QString a = MakeFile("a.txt", "one\r\n");
    const QString b = MakeFile("b.txt", "");
    TForm1& form = Create();
    form.SetSearchCommand(false);
    FDialogs.FileAnswers.push_back(QStringList{a, b});
    form.CmdOpen->trigger();
    ASSERT_EQ(FDialogs.FileDialogs.size(), 1u);
    EXPECT_TRUE(FDialogs.FileDialogs[0].Options & ofAllowMultiSelect);
    EXPECT_EQ(FDialogs.FileDialogs[0].Filters[4], (TFileFilter{"Descritpoin Files", "*.diz"}));
    EXPECT_EQ(form.PageControl1->currentWidget(), form.TabSheet2);
    EXPECT_EQ(Rows(), (QStringList{a, b}));
    EXPECT_EQ(form.FileList->Item(0)->text(1), "5");
    EXPECT_EQ(form.FileList->Item(1)->text(1), "") << "a zero-byte file has an empty size";
    EXPECT_FALSE(form.CmdSearch->isEnabled()) << "string 1 is empty";
    EXPECT_FALSE(form.mStart->isEnabled());

    form.FString1->SetText("one");
    EXPECT_TRUE(form.CmdSearch->isEnabled());
    EXPECT_TRUE(form.mSearch->menuAction()->isEnabled());
    FDialogs.FileAnswers.push_back(QStringList{a});
    form.Addafile1->trigger();
    EXPECT_TRUE(form.mStart->isEnabled());
    EXPECT_EQ(form.FileCount(), 3) << "the same file may be listed twice";
}

TEST_F(Unit1Test, FileListSavesCrLfLinesAndLoadReplacesTheList)
{
    const QString a = MakeFile("a.txt", "one\r\n");
    const QString b = MakeFile("b.txt", "two\r\n");
    TForm1& form = Create({a});
    form.cmdFLLoad->click();
    ASSERT_EQ(FDialogs.Messages.size(), 1u);
    EXPECT_EQ(FDialogs.Messages[0].Text, "You have not saved a file list yet.");
    EXPECT_EQ(Rows(), QStringList{a}) << "the list is untouched";

    form.FileListDragDropFiles({b});
    form.SaveFileList1->trigger();
    EXPECT_EQ(ReadBytes(form.ProgramFile(".lst")), (a + "\r\n" + b + "\r\n").toLocal8Bit());
    form.cmdFLClear->click();
    EXPECT_FALSE(form.CmdSearch->isEnabled());
    form.FileListDragDropFiles({b});
    form.LoadFileList1->trigger();
    EXPECT_EQ(Rows(), (QStringList{a, b}));
}

TEST_F(Unit1Test, CommandLineString1EnablesSearchByRowsAlone)
{
    const QString a = MakeFile("a.txt", "one\r\n");
    TForm1& form = Create({a, ""});
    EXPECT_TRUE(form.CmdSearch->isEnabled());
    EXPECT_TRUE(form.mSearch->menuAction()->isEnabled());
}

TEST_F(Unit1Test, WordCountingFollowsOneInstanceAndString2)
{
    TForm1& form = Create();
    EXPECT_TRUE(form.OptionWordCount->isEnabled());
    form.FString2->setPlainText("b");
    EXPECT_FALSE(form.OptionWordCount->isEnabled());
    form.FString2->clear();
    EXPECT_TRUE(form.OptionWordCount->isEnabled());
    form.OptionOneInstance->click();
    EXPECT_FALSE(form.OptionWordCount->isEnabled());
    form.FString2->setPlainText("b");
    form.FString2->clear();
    EXPECT_FALSE(form.OptionWordCount->isEnabled()) << "One occurance only is still checked";
    form.OptionOneInstance->click();
    EXPECT_TRUE(form.OptionWordCount->isEnabled());
}

TEST_F(Unit1Test, F9StartsASearchOnlyWhenStartIsEnabled)
{
    const QString a = MakeFile("a.txt", "one\r\n");
    MakeFile("sifton.ini", "[Options]\nOutput Names=0\n");
    TForm1& form = Create({a, "one"});
    form.show();
    QApplication::setActiveWindow(&form);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    QTest::keyClick(&form, Qt::Key_F9);
    ASSERT_TRUE(WaitFor([&] { return form.SearchThread == nullptr; }));
    EXPECT_EQ(LogBytes(), "") << "Start is disabled";
    form.mStart->setEnabled(true);
    QTest::keyClick(&form, Qt::Key_F9);
    ASSERT_TRUE(WaitFor([&] { return form.SearchThread == nullptr && !LogBytes().isEmpty(); }));
    EXPECT_EQ(LogBytes(), "one\r");
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
    // The run goes on shortly after the close began; the close must keep serving it meanwhile.
    std::thread releaser([&hold] {
        QThread::msleep(50);
        hold.Release();
    });
    form.close();
    releaser.join();
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
    std::thread releaser([&hold] {
        QThread::msleep(50);
        hold.Release();
    });
    form.close();
    releaser.join();
    EXPECT_EQ(form.SearchThread, nullptr);
    EXPECT_TRUE(FDialogs.Messages.empty());
    EXPECT_TRUE(FDialogs.FileDialogs.empty());
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
class ManyRefreshPointsTest : public Unit1Test {
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
