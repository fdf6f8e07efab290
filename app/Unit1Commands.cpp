// TForm1's commands: search, cancel, clear, save, print, the editing items, find, exit, about.
#include "app/MatchHighlight.h"
#include "app/SearchThread.h"
#include "app/Unit1.h"
#include "app/frmAbout.h"
#include "app/gConsts.h"
#include "app/readme.h"
#include "app/urls.h"
#include "platform/Application.h"
#include "platform/Dialogs.h"
#include "search/RegexLineTest.h"
#include "search/RunFlags.h"

#include <QMenu>
#include <QTextCursor>

void TForm1::CmdSearchClick()
{
    if (SearchThread != nullptr) {
        return; // one run at a time, also in the span after the commands were re-enabled
    }
    if (!RegularExpressionsCompile()) {
        return;
    }
    auto* thread = new TSearchThread(true);
    SearchThread = thread;
    thread->FreeOnFinish = true;
    thread->Form = this;
    thread->Resume();
}

bool TForm1::RegularExpressionsCompile()
{
    if (!OptionRegex->isChecked()) {
        return true;
    }
    SearchInputs inputs;
    inputs.String1 = FString1->toPlainText().toLocal8Bit().toStdString();
    inputs.String2 = FString2->toPlainText().toLocal8Bit().toStdString();
    inputs.OperatorIndex = FOperator->currentIndex();
    inputs.LineFormat = OptionUnixFile->isChecked() ? LineFormat::Unix : LineFormat::Dos;
    inputs.CaseSensitive = OptionCase->isChecked();
    inputs.Regex = true;
    const std::optional<RegexError> bad = CheckRegexRequest(PrepareRequest(inputs));
    if (!bad) {
        return true;
    }
    TQvEdit* field = bad->String == 1 ? FString1 : FString2;
    const int position = CharacterPosition(field->toPlainText(), bad->Problem.Offset);
    MessageBox(
        QString::fromStdString(RegexProblemText(bad->String, bad->Problem.Reason, std::size_t(position))),
        Application::Title(), MB_OK | MB_ICONHAND);
    // Straight to the place PCRE2 stopped at, ready to be mended.
    PageControl1->setCurrentWidget(TabSheet1);
    field->setFocus();
    QTextCursor caret = field->textCursor();
    caret.setPosition(position);
    field->setTextCursor(caret);
    return false;
}

void TForm1::CmdCancelClick()
{
    CancelRequested = true;
}

void TForm1::CmdClearClick()
{
    if (SearchRunning) {
        Log.Clear();
        SourceIndex.Clear(Log.ClearCount());
        return;
    }
    if (OptionClearAll->isChecked()) {
        FString1->Clear();
        FString2->Clear();
        // The second entry, so that the box's text and the operator the next run uses agree.
        FOperator->setCurrentIndex(1);
        OpenDialog1.FileName.clear();
        CmdSave->setEnabled(false);
        mSave->setEnabled(false);
    }
    Log.Clear();
    SourceIndex.Clear(Log.ClearCount());
    SetIdleStatusTexts();
}

bool TForm1::ExecuteSaveDialog()
{
    return SaveDialog1.Execute() && !SaveDialog1.FileName.isEmpty();
}

void TForm1::CmdSaveClick()
{
    if (!ExecuteSaveDialog()) {
        return;
    }
    Log.CopyLogTo(SaveDialog1.FileName.toLocal8Bit().toStdString());
}

void TForm1::Undo1Click(int Tag)
{
    auto* edit = qobject_cast<TQvEdit*>(PUEdit->property("PopupComponent").value<QObject*>());
    if (edit == nullptr) {
        return;
    }
    switch (Tag) {
    case 0:
        edit->Undo();
        break;
    case 1:
        edit->CutToClipboard();
        break;
    case 2:
        edit->CopyToClipboard();
        break;
    case 3:
        edit->PasteFromClipboard();
        break;
    case 4:
        edit->ClearSelection();
        break;
    case 5:
        edit->SelectAll();
        break;
    default:
        break;
    }
}

void TForm1::Find1Click()
{
    // The output pane is searched whichever control the menu was opened on.
    Viewer->Find();
}

void TForm1::Exit1Click()
{
    close();
}

void TForm1::CmdAboutClick()
{
    if (AboutBox != nullptr) {
        AboutBox->exec();
    }
}

void TForm1::ReadMeFile1Click()
{
    ShowReadme(ReadmeFileName(), this);
}

void TForm1::ProductFeedback1Click()
{
    OpenURL(QString::fromLatin1(QuorvalePages::Feedback));
}

void TForm1::ProductSupport1Click()
{
    OpenURL(QString::fromLatin1(QuorvalePages::Support));
}

void TForm1::NewFeaturesList1Click()
{
    OpenURL(QString::fromLatin1(QuorvalePages::NewFeatures));
}

void TForm1::QuorvaleNews1Click()
{
    OpenURL(QString::fromLatin1(QuorvalePages::News));
}

void TForm1::QuorvaleSoftware1Click()
{
    OpenURL(QString::fromLatin1(QuorvalePages::Software));
}
