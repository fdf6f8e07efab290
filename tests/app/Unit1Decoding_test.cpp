// The window with the files Linux keeps: Search Compressed Files and Skip Binary Files on the Main page
// and in the settings file, a compressed file searched as its text, binary files counted on the status
// bar, and Open at Line on a compressed file opening a decompressed copy.
#include "app/Unit1.h"
#include "app/Viewer.h"
#include "app/ViewerText.h"
#include "platform/Application.h"
#include "search/RunFlags.h"
#include "search/StatusTexts.h"
#include "tests/support/EncodedText.h"
#include "tests/support/ScriptedShell.h"
#include "tests/support/WindowFixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QStatusBar>
#include <QTextBlock>

#include <gtest/gtest.h>

namespace {

class DecodingWindowTest : public WindowTest {
protected:
    QString Write(const QString& name, const std::string& bytes) const
    {
        return MakeFile(name, QByteArray(bytes.data(), qsizetype(bytes.size())));
    }

    TForm1& Open()
    {
        TForm1& form = Create();
        form.OptionNumbering->setChecked(true);
        return form;
    }

    /// Lists the files, searches for text and waits for the run to end.
    void Search(const QStringList& files, const QString& text)
    {
        FForm->FileList->Clear();
        for (const QString& file : files) {
            FForm->AddFile(file);
        }
        FForm->FString1->setPlainText(text);
        ASSERT_TRUE(RunAndWait());
    }
};

TEST_F(DecodingWindowTest, OptionsStartAsDesignedAndLiveInTheSettingsFile)
{
    TForm1& form = Open();
    EXPECT_EQ(form.OptionDecompress->text(), "Search Compressed Files");
    EXPECT_TRUE(form.OptionDecompress->isChecked());
    EXPECT_EQ(form.OptionSkipBinary->text(), "Skip Binary Files");
    EXPECT_FALSE(form.OptionSkipBinary->isChecked());
    EXPECT_EQ(form.OptionDecompress->parentWidget(), form.SwitchBox5) << "left column";
    EXPECT_EQ(form.OptionSkipBinary->parentWidget(), form.SwitchBox4) << "right column";
    form.OptionDecompress->setChecked(false);
    form.OptionSkipBinary->setChecked(true);
    form.close();
    QFile ini(Path("sifton.ini"));
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    const QByteArray stored = ini.readAll().replace("\r", "");
    EXPECT_TRUE(stored.contains("\nDecompress=0\n")) << stored.toStdString();
    EXPECT_TRUE(stored.contains("\nSkip Binary=1\n")) << stored.toStdString();
    FForm.reset();

    TForm1& again = Open();
    EXPECT_FALSE(again.OptionDecompress->isChecked());
    EXPECT_TRUE(again.OptionSkipBinary->isChecked());
}

TEST_F(DecodingWindowTest, CompressedFileIsSearchedAsItsTextUnderItsOwnName)
{
    std::string text;
    for (int i = 0; i < 40000; ++i) {
        text += "line " + std::to_string(i * 7919 % 100003) + (i == 30000 ? " alpha\n" : " beta\n");
    }
    const std::string packed = GzipOf(text, 1);
    const QString file = Write("app.log.1.gz", packed);
    TForm1& form = Open();
    Search({file}, "alpha");
    EXPECT_EQ(LogBytes(), "*****  New Search  *****\r***** File: \"" + file.toLocal8Bit() +
                              "\"- Search Pattern=alpha *****\r30001 : line " +
                              QByteArray::number(30000 * 7919 % 100003) + " alpha\r");
    // The position is the compressed file's, not its text's.
    const QString end =
        QStringLiteral("File Position: %1 Kb")
            .arg(QString::fromStdString(FormatCount(BlockFigure(std::int64_t(packed.size()) / 128),
                                                    QLocale::system().groupSeparator().toStdString())));
    EXPECT_EQ(form.StatusText(2), end);

    form.CmdClearClick();
    form.OptionDecompress->setChecked(false);
    Search({file}, "alpha");
    EXPECT_FALSE(LogBytes().contains("alpha\r")) << "without the option the raw bytes are searched";
}

TEST_F(DecodingWindowTest, BinaryFilesAreCountedOnTheStatusBarNotInBoxes)
{
    const QString text = Write("notes.txt", "alpha\n");
    const QString image = Write("image.bin", std::string("alpha\0\1\2\n", 9));
    const QString packed = Write("core.gz", GzipOf(std::string("alpha\0\n", 7)));
    TForm1& form = Open();
    form.OptionSkipBinary->setChecked(true);
    form.show();
    Search({image, text, packed}, "alpha");
    EXPECT_EQ(LogBytes(), "*****  New Search  *****\r***** File: \"" + text.toLocal8Bit() +
                              "\"- Search Pattern=alpha *****\r1 : alpha\r");
    EXPECT_TRUE(FDialogs.Messages.empty()) << "no box per skipped file";
    EXPECT_TRUE(form.StatusSkipped->isVisible());
    EXPECT_EQ(form.StatusSkipped->text(), "Skipped: 2");
    EXPECT_EQ(form.StatusSkipped->toolTip(), "2 binary files skipped:\n" + image + ": Binary file skipped\n" +
                                                 packed + ": Binary file skipped");
    EXPECT_EQ(form.width(), 569) << "the summary never widens the window";
    EXPECT_EQ(form.StatusText(0), "Lines Searched: 1");

    // A run that skips nothing has no summary; neither has the window after Clear.
    Search({text}, "alpha");
    EXPECT_FALSE(form.StatusSkipped->isVisible());
    Search({image}, "alpha");
    EXPECT_TRUE(form.StatusSkipped->isVisible());
    form.CmdClearClick();
    EXPECT_FALSE(form.StatusSkipped->isVisible());
}

TEST_F(DecodingWindowTest, OpenAtLineOpensADecompressedCopyAtTheLine)
{
    QFile ini(Path("sifton.ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[Editor]\nCommand=myeditor --line=%l \"%f\"\n");
    ini.close();
    const std::string text = "first\nthe error\nfine\nanother error\n";
    const QString file = Write("syslog.2.gz", XzOf(text)); // the name does not decide; the bytes do
    TScriptedShell shell;
    TForm1& form = Open();
    form.OptionNumbering->setChecked(false);
    Search({file}, "error");
    ASSERT_EQ(form.Viewer->document()->findBlockByNumber(3).text(), "another error");

    EXPECT_TRUE(form.OpenAtLine(3));
    ASSERT_EQ(shell.Launched.size(), 1u);
    ASSERT_EQ(shell.Launched[0].size(), 3);
    EXPECT_EQ(shell.Launched[0][1], "--line=4");
    const QString copy = shell.Launched[0][2];
    EXPECT_EQ(QFileInfo(copy).fileName(), "syslog.2");
    EXPECT_FALSE(copy.startsWith(Path(""))) << "a private temporary folder, not beside the file";
    QFile decompressed(copy);
    ASSERT_TRUE(decompressed.open(QIODevice::ReadOnly));
    EXPECT_EQ(decompressed.readAll().toStdString(), text);
    const QFileInfo copies(QFileInfo(QFileInfo(copy).path()).path());
    EXPECT_TRUE(copies.fileName().startsWith("sifton-")) << copies.filePath().toStdString();
    EXPECT_FALSE(copies.permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther))
        << "private to the user";

    EXPECT_TRUE(form.OpenAtLine(1));
    ASSERT_EQ(shell.Launched.size(), 2u);
    EXPECT_EQ(shell.Launched[1], (QStringList{"myeditor", "--line=1", copy})) << "the same copy again";

    // The viewer reads the file itself, as its text.
    EXPECT_TRUE(form.ViewAtLine(3));
    ASSERT_NE(form.FileViewer, nullptr);
    EXPECT_EQ(form.FileViewer->Text()->LineText(4), "another error");
    EXPECT_EQ(form.FileViewer->Text()->Caret().Line, 4);

    form.close();
    FForm.reset();
    EXPECT_FALSE(QFileInfo::exists(copy)) << "removed when the program ends";
}

} // namespace
