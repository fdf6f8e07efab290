// The main window from its start: the options and list it loads, the result log it creates, the options it
// writes on close, and the command line it applies. Every modal dialog is answered by the scripted dialogs.
#include "tests/support/WindowFixture.h"

#include <QDir>
#include <QFileInfo>
#include <QMap>

#include <gtest/gtest.h>

namespace {

using Unit1Test = WindowTest;

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

class CommandLineTest : public WindowTest, public ::testing::WithParamInterface<TCommandLineCase> { };

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
    ASSERT_TRUE(RunEnded());
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
    Create({Path("missing.txt"), "error", "/GO"});
    ASSERT_TRUE(RunEnded());
    ASSERT_EQ(FDialogs.Messages.size(), 1u);
    EXPECT_EQ(FDialogs.Messages[0].Text, "Wrong filename!");
    EXPECT_EQ(LogBytes(), "error one\r");
}

} // namespace
