// The main window as designed, its commands and when they are enabled. Every modal dialog is answered
// by the scripted dialog service.
#include "controls/W97Slide.h"
#include "controls/richtext/FindDialog.h"
#include "tests/support/WaitFor.h"
#include "tests/support/WindowFixture.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using Unit1Test = WindowTest;

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
    ASSERT_TRUE(ShowActive());
    QTest::keyClick(&form, Qt::Key_F9);
    ASSERT_TRUE(RunEnded());
    EXPECT_EQ(LogBytes(), "") << "Start is disabled";
    form.mStart->setEnabled(true);
    QTest::keyClick(&form, Qt::Key_F9);
    ASSERT_TRUE(WaitFor([&] { return form.SearchThread == nullptr && !LogBytes().isEmpty(); }));
    EXPECT_EQ(LogBytes(), "one\r");
}

} // namespace
