// Searches for regular expressions in the main window: the log the console writes for the same run,
// a pattern refused before the run with the caret where it went wrong, and the option's settings key.
#include "tests/support/WindowFixture.h"

#include <QProcess>
#include <QTextCursor>

#include <gtest/gtest.h>

namespace {

using Unit1Test = WindowTest;

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

} // namespace
