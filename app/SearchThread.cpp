#include "app/SearchThread.h"

#include "app/Unit1.h"
#include "app/gConsts.h"
#include "platform/Application.h"
#include "platform/Dialogs.h"
#include "platform/ErrorGuard.h"
#include "platform/GuiDispatcher.h"
#include "search/RunFlags.h"

#include <QApplication>
#include <QLocale>

#include <sstream>

namespace {

QString FromBytes(const std::string& bytes)
{
    return QString::fromLocal8Bit(bytes.data(), qsizetype(bytes.size()));
}

std::string ToBytes(const QString& text)
{
    return text.toLocal8Bit().toStdString();
}

} // namespace

TSearchThread::TSearchThread(bool CreateSuspended)
    : TQvThread(CreateSuspended)
{
}

TSearchThread::~TSearchThread()
{
    // Runs on this thread when the run releases itself; the window's field belongs to the GUI thread.
    if (TForm1* form = Form) {
        RunOnGuiThread([form] { form->SearchThread = nullptr; });
    }
}

void TSearchThread::Run()
{
    TForm1* const form = Form;
    if (FileCount() == 0) {
        MessageBox(QStringLiteral("Enter the filename first"), Application::Title(), MB_OK | MB_ICONHAND);
        return;
    }
    OnFinished = [this] { LoadResultLog(); };
    Application::SetCursor(crAppStart);
    SetCommands(true);
    CancelRequested = false;
    RunOnGuiThread([form] {
        form->MainPage->setEnabled(false);
        form->SetStatusText(0, QStringLiteral("Lines Searched = None"));
        form->SetStatusText(1, QStringLiteral("Lines Found = None"));
        form->SetStatusText(2, QStringLiteral("File Position 0 (KB)"));
        form->SetStatusText(3, QStringLiteral("Words Found = None"));
    });

    const SearchInputs inputs = TakeInputs();
    const std::string separator =
        CallOnGuiThread([] { return ToBytes(QString(QLocale::system().groupSeparator())); });
    SearchRun run(PrepareRequest(inputs), form->Log, *this, separator);
    try {
        run.Walk();
    } catch (const std::exception& error) {
        // The log could not be written; the run still ends through its closing steps.
        FRunError = QString::fromLocal8Bit(error.what());
    }

    RunOnGuiThread([] { QApplication::beep(); });
    if (run.Request().PromptForSave) {
        RunOnGuiThread([form] {
            Guarded([form] {
                if (form->ExecuteSaveDialog()) {
                    form->Log.CopyLogTo(ToBytes(form->SaveDialog1.FileName));
                }
            });
        });
    }
    try {
        form->Log.Rewind();
    } catch (const std::exception& error) {
        FRunError = QString::fromLocal8Bit(error.what());
    }
    Application::SetCursor(crDefault);
    SetCommands(false);
    RunOnGuiThread([form] { form->SaveDialog1.FileName.clear(); });
    SearchRunning = false;
}

void TSearchThread::SetCommands(bool Searching)
{
    TForm1* const form = Form;
    RunOnGuiThread([form, Searching] {
        form->SetSearchCommand(!Searching);
        form->CmdCancel->setEnabled(Searching);
        form->mCancel->setEnabled(Searching);
        form->CmdSave->setEnabled(!Searching);
        form->mSave->setEnabled(!Searching);
    });
}

SearchInputs TSearchThread::TakeInputs() const
{
    TForm1* const form = Form;
    return CallOnGuiThread([form] {
        SearchInputs inputs;
        inputs.String1 = ToBytes(form->FString1->toPlainText());
        inputs.String2 = ToBytes(form->FString2->toPlainText());
        inputs.OperatorIndex = form->FOperator->currentIndex();
        inputs.LineFormat = form->OptionUnixFile->isChecked() ? LineFormat::Unix : LineFormat::Dos;
        inputs.CaseSensitive = form->OptionCase->isChecked();
        inputs.ReverseLogic = form->OptionReverse->isChecked();
        inputs.PromptForSave = form->OptionSave->isChecked();
        inputs.OneOccurrence = form->OptionOneInstance->isChecked();
        inputs.Verbose = form->OptionOutputNames->isChecked();
        inputs.LineCounting = form->OptionLineCount->isChecked();
        inputs.WordCounting = form->OptionWordCount->isChecked();
        inputs.ProgressIndication = form->OptionProgress->isChecked();
        inputs.LineNumbering = form->OptionNumbering->isChecked();
        inputs.RefreshRateText = ToBytes(form->RefreshRate->cleanText());
        return inputs;
    });
}

void TSearchThread::LoadResultLog()
{
    TForm1* const form = Form;
    Guarded([&] {
        form->setWindowTitle(QStringLiteral("Loading result log..."));
        // The pane shows at most its limit of characters, and a character takes at most four bytes in
        // any locale codec: reading more would only hold a long log in memory for nothing.
        const auto limit = static_cast<std::size_t>(form->Viewer->EffectiveMaxLength());
        std::istringstream log(form->Log.ReadAll(4 * limit + 8));
        form->Viewer->LoadFromStream(log);
    });
    const QString title = QString::fromLatin1(gConsts::ProductTitle);
    form->setWindowTitle(title);
    Application::SetTitle(title);
    form->MainPage->setEnabled(true);

    if (!FRunError.isEmpty()) {
        ShowErrorText(FRunError);
    }
    if (!FFailedFiles.empty()) {
        QString text = QStringLiteral("These files could not be read and were skipped:");
        for (const auto& [fileName, reason] : FFailedFiles) {
            text += QStringLiteral("\r%1: %2").arg(FromBytes(fileName), FromBytes(reason));
        }
        MessageBox(text, Application::Title(), MB_OK | MB_ICONEXCLAMATION);
    }
}

void TSearchThread::SetStatusText(int panel, const std::string& text)
{
    TForm1* const form = Form;
    RunOnGuiThread([form, panel, &text] { form->SetStatusText(panel, FromBytes(text)); });
}

void TSearchThread::SetCaption(const std::string& caption)
{
    TForm1* const form = Form;
    RunOnGuiThread([form, &caption] { form->setWindowTitle(FromBytes(caption)); });
}

void TSearchThread::ShowCaptionAsTitle()
{
    TForm1* const form = Form;
    RunOnGuiThread([form] { Application::SetTitle(form->windowTitle()); });
}

std::int64_t TSearchThread::FileCount()
{
    TForm1* const form = Form;
    return CallOnGuiThread([form] { return form->FileCount(); });
}

std::optional<std::string> TSearchThread::FileName(std::int64_t index)
{
    TForm1* const form = Form;
    return CallOnGuiThread([form, index]() -> std::optional<std::string> {
        if (index < 0 || index >= form->FileCount()) {
            return std::nullopt;
        }
        return ToBytes(form->FileNameAt(int(index)));
    });
}

void TSearchThread::FileFailed(const std::string& fileName, const std::string& reason)
{
    FFailedFiles.emplace_back(fileName, reason);
}
