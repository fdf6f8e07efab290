#include "platform/Dialogs.h"
#include "platform/GuiDispatcher.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TestFiles.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <functional>
#include <gtest/gtest.h>
#include <thread>

namespace {

TEST(ScriptedDialogsTest, RecordsTextCaptionAndFlagsAndAnswersFromTheScript)
{
    TScriptedDialogs dialogs;
    dialogs.MessageAnswers = {IDCANCEL};
    const int first = MessageBox(QStringLiteral("Search complete.\r"), QStringLiteral("Sifton"),
                                 MB_OKCANCEL | MB_ICONASTERISK | MB_TASKMODAL | MB_TOPMOST);
    const int second =
        MessageBox(QStringLiteral("Wrong filename!"), QStringLiteral("Error:"), MB_OK | MB_ICONHAND);

    EXPECT_EQ(first, IDCANCEL);
    EXPECT_EQ(second, IDOK);
    ASSERT_EQ(dialogs.Messages.size(), 2u);
    EXPECT_EQ(dialogs.Messages[0].Text, QStringLiteral("Search complete.\r"));
    EXPECT_EQ(dialogs.Messages[0].Icon(), MB_ICONASTERISK);
    EXPECT_EQ(dialogs.Messages[0].Buttons(), MB_OKCANCEL);
    EXPECT_TRUE(dialogs.Messages[0].TaskModal());
    EXPECT_TRUE(dialogs.Messages[0].TopMost());
    EXPECT_EQ(dialogs.Messages[1].Caption, QStringLiteral("Error:"));
    EXPECT_FALSE(dialogs.Messages[1].TaskModal());
    EXPECT_FALSE(dialogs.Messages[1].TopMost());
}

TEST(ScriptedDialogsTest, RemovedStandInRestoresThePreviousService)
{
    TScriptedDialogs outer;
    {
        TScriptedDialogs inner;
        EXPECT_EQ(&Dialogs(), &inner);
    }
    EXPECT_EQ(&Dialogs(), &outer);
}

TEST(ScriptedDialogsTest, MessageBoxFromAWorkerIsShownOnTheGuiThreadAndTheWorkerGetsTheAnswer)
{
    TScriptedDialogs dialogs;
    dialogs.MessageAnswers = {IDNO};
    std::atomic<bool> returned{false};
    int answer = 0;
    std::thread worker([&] {
        answer = MessageBox(QStringLiteral("Enter the filename first"), QStringLiteral("Sifton"), MB_YESNO);
        returned = true;
    });
    WaitProcessingEvents([&] { return returned.load(); });
    worker.join();
    EXPECT_EQ(answer, IDNO);
    ASSERT_EQ(dialogs.Messages.size(), 1u);
    EXPECT_EQ(dialogs.Messages[0].Text, QStringLiteral("Enter the filename first"));
}

TEST(FileDialogTest, SaveDialogPassesItsSettingsAndAddsTheDefaultExtension)
{
    TScriptedDialogs dialogs;
    dialogs.FileAnswers = {QStringList{QStringLiteral("/tmp/out/result")}};
    TSaveDialog save;
    save.Title = QStringLiteral("Select or type an output file.");
    save.Filters = {{QStringLiteral("Text Files"), QStringLiteral("*.txt")},
                    {QStringLiteral("All Files"), QStringLiteral("*.*")}};
    save.DefaultExt = QStringLiteral("txt");
    save.Options = ofOverwritePrompt | ofPathMustExist | ofNoReadOnlyReturn | ofHideReadOnly;

    ASSERT_TRUE(save.Execute());
    EXPECT_EQ(save.FileName, QStringLiteral("/tmp/out/result.txt"));
    ASSERT_EQ(dialogs.FileDialogs.size(), 1u);
    const TFileDialogRequest& asked = dialogs.FileDialogs[0];
    EXPECT_TRUE(asked.Save);
    EXPECT_EQ(asked.Title, QStringLiteral("Select or type an output file."));
    EXPECT_EQ(asked.Filters, save.Filters);
    EXPECT_EQ(asked.DefaultExt, QStringLiteral("txt"));
    EXPECT_NE(asked.Options & ofOverwritePrompt, 0u);
}

TEST(FileDialogTest, ANameWithAnExtensionKeepsIt)
{
    TScriptedDialogs dialogs;
    dialogs.FileAnswers = {QStringList{QStringLiteral("/tmp/result.log")}};
    TSaveDialog save;
    save.DefaultExt = QStringLiteral("txt");
    ASSERT_TRUE(save.Execute());
    EXPECT_EQ(save.FileName, QStringLiteral("/tmp/result.log"));
}

TEST(FileDialogTest, OpenDialogReturnsEveryChosenFileAndRemembersTheFirst)
{
    TScriptedDialogs dialogs;
    dialogs.FileAnswers = {QStringList{QStringLiteral("/a/one.txt"), QStringLiteral("/a/two.txt")},
                           std::nullopt};
    TOpenDialog open;
    open.Options = ofAllowMultiSelect | ofFileMustExist;

    ASSERT_TRUE(open.Execute());
    EXPECT_EQ(open.Files, (QStringList{QStringLiteral("/a/one.txt"), QStringLiteral("/a/two.txt")}));
    EXPECT_EQ(open.FileName, QStringLiteral("/a/one.txt"));

    EXPECT_FALSE(open.Execute()) << "the second answer is Cancel";
    EXPECT_EQ(open.FileName, QStringLiteral("/a/one.txt"));
    ASSERT_EQ(dialogs.FileDialogs.size(), 2u);
    EXPECT_FALSE(dialogs.FileDialogs[1].Save);
    EXPECT_EQ(dialogs.FileDialogs[1].FileName, QStringLiteral("/a/one.txt"))
        << "the last name is shown again";
}

TEST(InputBoxTest, AnswerOrTheValueWhenCancelled)
{
    TScriptedDialogs dialogs;
    dialogs.InputAnswers = {QStringLiteral("typed"), std::nullopt};
    EXPECT_EQ(InputBox(QStringLiteral("TIconOle"), QStringLiteral("Prompt"), QStringLiteral("old")),
              QStringLiteral("typed"));
    EXPECT_EQ(InputBox(QStringLiteral("TIconOle"), QStringLiteral("Prompt"), QStringLiteral("old")),
              QStringLiteral("old"));
    ASSERT_EQ(dialogs.Inputs.size(), 2u);
    EXPECT_EQ(dialogs.Inputs[0].Caption, QStringLiteral("TIconOle"));
    EXPECT_EQ(dialogs.Inputs[0].Value, QStringLiteral("old"));
}

// The real service, driven headless: the box that opens is inspected and answered by a timer.
TEST(QtDialogsTest, MessageBoxHonoursIconButtonsTopMostAndLineBreaks)
{
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString text;
    QString caption;
    bool onTop = false;
    Qt::WindowModality modality = Qt::NonModal;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        icon = box->icon();
        text = box->text();
        caption = box->windowTitle();
        onTop = box->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
        modality = box->windowModality();
        box->button(QMessageBox::Cancel)->click();
    });
    const int answer = Dialogs().MessageBox(QStringLiteral("first\rsecond"), QStringLiteral("Sifton"),
                                            MB_OKCANCEL | MB_ICONHAND | MB_TASKMODAL | MB_TOPMOST);
    EXPECT_EQ(answer, IDCANCEL);
    EXPECT_EQ(icon, QMessageBox::Critical);
    EXPECT_EQ(text, QStringLiteral("first\nsecond"));
    EXPECT_EQ(caption, QStringLiteral("Sifton"));
    EXPECT_TRUE(onTop);
    EXPECT_EQ(modality, Qt::ApplicationModal);
}

TEST(FolderDialogTest, ConfirmedChoiceIsKeptAndOfferedAgainCancelKeepsIt)
{
    TScriptedDialogs dialogs;
    dialogs.FolderAnswers = {TFolderChoice{QStringLiteral("ignored"), QStringLiteral("/srv/logs"), false,
                                           QStringLiteral("*.log"), QStringLiteral("*.gz"), false},
                             std::nullopt, TFolderChoice{{}, QString(), true, {}, {}, true}};
    TFolderDialog folder;
    folder.Choice.Title = QStringLiteral("Add Folder");

    ASSERT_TRUE(folder.Execute());
    EXPECT_EQ(folder.Choice, (TFolderChoice{QStringLiteral("Add Folder"), QStringLiteral("/srv/logs"), false,
                                            QStringLiteral("*.log"), QStringLiteral("*.gz"), false}))
        << "the caption stays the component's";
    EXPECT_FALSE(folder.Execute());
    EXPECT_FALSE(folder.Execute()) << "OK without a folder counts as Cancel";
    EXPECT_EQ(folder.Choice.Folder, QStringLiteral("/srv/logs"));
    ASSERT_EQ(dialogs.FolderDialogs.size(), 3u);
    EXPECT_EQ(dialogs.FolderDialogs[1], folder.Choice) << "the last choice is shown again";
}

// The real folder dialog: OK is offered only for a folder that exists; the fields come back as typed.
TEST(QtDialogsTest, FolderDialogOffersOkOnlyForAFolderAndReturnsTheFields)
{
    const QString folder = QDir::tempPath();
    bool okForMissing = true;
    bool okForFolder = false;
    QTimer::singleShot(0, [&] {
        QWidget* dialog = QApplication::activeModalWidget();
        ASSERT_NE(dialog, nullptr);
        const QList<QLineEdit*> edits = dialog->findChildren<QLineEdit*>();
        ASSERT_EQ(edits.size(), 3);
        QPushButton* ok = dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
        edits[0]->setText(folder + QStringLiteral("/no such folder"));
        okForMissing = ok->isEnabled();
        edits[0]->setText(folder);
        okForFolder = ok->isEnabled();
        edits[1]->setText(QStringLiteral("  *.log;*.txt  "));
        edits[2]->setText(QStringLiteral(" *.gz;old "));
        const QList<QCheckBox*> boxes = dialog->findChildren<QCheckBox*>();
        ASSERT_EQ(boxes.size(), 2);
        EXPECT_TRUE(boxes[1]->isChecked()) << "hidden files are skipped unless asked for";
        boxes[0]->setChecked(false);
        boxes[1]->setChecked(false);
        ok->click();
    });
    const std::optional<TFolderChoice> choice =
        Dialogs().FolderDialog(TFolderChoice{QStringLiteral("Add Folder"), {}, true, {}, {}, true});
    EXPECT_FALSE(okForMissing);
    EXPECT_TRUE(okForFolder);
    ASSERT_TRUE(choice.has_value());
    EXPECT_EQ(choice->Folder, folder);
    EXPECT_FALSE(choice->IncludeSubfolders);
    EXPECT_EQ(choice->Filter, QStringLiteral("*.log;*.txt"));
    EXPECT_EQ(choice->Exclude, QStringLiteral("*.gz;old"));
    EXPECT_FALSE(choice->SkipHidden);
}

struct TRefusalCase {
    const char* Name;
    const char* File; // below a temporary folder that holds "file.txt"
    unsigned Options;
    bool Refused;
};

class RefusedSaveChoiceTest : public ::testing::TestWithParam<TRefusalCase> { };

TEST_P(RefusedSaveChoiceTest, FolderMustExist)
{
    QTemporaryDir dir;
    WriteBytes(dir.filePath(QStringLiteral("file.txt")), {});
    const QString chosen = dir.filePath(QString::fromUtf8(GetParam().File));
    const QString refused = RefusedSaveChoice(chosen, GetParam().Options);
    EXPECT_EQ(!refused.isEmpty(), GetParam().Refused) << refused.toStdString();
    if (GetParam().Refused) {
        EXPECT_TRUE(refused.startsWith(QFileInfo(chosen).absolutePath() + QLatin1Char('\n')))
            << refused.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Choices, RefusedSaveChoiceTest,
    ::testing::Values(
        TRefusalCase{"NewFileInAFolderThatExists", "out.txt", ofPathMustExist, false},
        TRefusalCase{"ExistingFile", "file.txt", ofPathMustExist | ofNoReadOnlyReturn, false},
        TRefusalCase{"MissingFolder", "missing/out.txt", ofPathMustExist, true},
        TRefusalCase{"MissingFolders", "a/b/out.txt", ofPathMustExist | ofOverwritePrompt, true},
        TRefusalCase{"FileWhereAFolderShouldBe", "file.txt/out.txt", ofPathMustExist, true},
        TRefusalCase{"MissingFolderAllowedWithoutTheOption", "missing/out.txt", ofOverwritePrompt, false}),
    [](const ::testing::TestParamInfo<TRefusalCase>& info) { return std::string(info.param.Name); });

// The real save dialog: a name in a folder that does not exist is refused while the dialog stays open.
TEST(QtDialogsTest, SaveDialogRefusesAMissingFolderAtOnce)
{
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("no such folder/out.txt"));
    const QString good = dir.filePath(QStringLiteral("out.txt"));
    QString warning;
    int fileDialogsSeen = 0;
    std::function<void()> answer;
    answer = [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            warning = box->text();
            QTimer::singleShot(0, answer);
            box->button(QMessageBox::Ok)->click();
            return;
        }
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        ++fileDialogsSeen;
        dialog->selectFile(fileDialogsSeen == 1 ? missing : good);
        if (fileDialogsSeen == 1) {
            QTimer::singleShot(0, answer);
        }
        QMetaObject::invokeMethod(dialog, "accept");
    };
    QTimer::singleShot(0, answer);
    TFileDialogRequest request;
    request.Save = true;
    request.Options = ofPathMustExist | ofOverwritePrompt;
    const std::optional<QStringList> chosen = Dialogs().FileDialog(request);
    EXPECT_TRUE(warning.contains(QStringLiteral("does not exist"))) << warning.toStdString();
    EXPECT_EQ(fileDialogsSeen, 2) << "the dialog stays for another name";
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(*chosen, QStringList{good});
}

} // namespace
