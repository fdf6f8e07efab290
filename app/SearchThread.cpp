#include "app/SearchThread.h"

#include "app/Unit1.h"
#include "app/gConsts.h"
#include "platform/Application.h"
#include "platform/Dialogs.h"
#include "platform/ErrorGuard.h"
#include "platform/GuiDispatcher.h"
#include "search/RunFlags.h"
#include "search/StatusTexts.h"

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

// Runs its function when the scope is left, however it is left.
template <class F>
class TScopeExit {
public:
    explicit TScopeExit(F fn)
        : FFn(std::move(fn))
    {
    }
    ~TScopeExit() { FFn(); }
    TScopeExit(const TScopeExit&) = delete;
    TScopeExit& operator=(const TScopeExit&) = delete;

private:
    F FFn;
};

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
    bool started = false;
    // Once the run has started it ends through its closing steps, whatever is thrown on the way.
    const TScopeExit ending([&] {
        if (started) {
            EndRun();
        }
    });
    try {
        const std::optional<TRunSetup> setup = CallOnGuiThread([&] { return BeginRun(started); });
        if (!setup) {
            return;
        }
        SearchRun run(PrepareRequest(setup->Inputs), Form->Log, *this, setup->Separator);
        FPromptForSave = run.Request().PromptForSave;
        FRunClears = Form->Log.ClearCount();
        FRunStart = Form->Log.Size();
        Form->SourceIndex.BeginRun(run.Request(), FRunClears, FRunStart);
        const TScopeExit counted([&] { FLinesFound = run.Counters().LinesFound; });
        run.Walk();
    } catch (...) {
        if (!started) {
            throw; // nothing to undo yet: the central handler shows it
        }
        KeepError();
    }
}

std::optional<TSearchThread::TRunSetup> TSearchThread::BeginRun(bool& Started)
{
    TForm1* const form = Form;
    // A close that came before the run began wins: nothing starts and no box holds the window up.
    if (form->Closing()) {
        return std::nullopt;
    }
    FFiles.clear();
    FFiles.reserve(std::size_t(form->FileCount()));
    for (int i = 0; i < form->FileCount(); ++i) {
        FFiles.push_back(ToBytes(form->FileNameAt(i)));
    }
    if (FFiles.empty()) {
        MessageBox(QStringLiteral("Enter the filename first"), Application::Title(), MB_OK | MB_ICONHAND);
        return std::nullopt;
    }
    OnFinished = [this] { LoadResultLog(); };
    Started = true;
    Application::SetCursor(crAppStart);
    SetCommands(true);
    // Closing sets the request too, but a closing window never gets here, so only a Cancel is lost.
    CancelRequested = false;
    form->MainPage->setEnabled(false);
    for (std::size_t i = 0; i < StartingStatusTexts.size(); ++i) {
        form->SetStatusText(int(i), QString::fromLatin1(StartingStatusTexts[i].data(),
                                                        qsizetype(StartingStatusTexts[i].size())));
    }
    form->ShowSkippedFiles({});
    form->RunDisplay.Start();
    return TRunSetup{TakeInputs(), ToBytes(QString(QLocale::system().groupSeparator()))};
}

template <class F>
void TSearchThread::Step(F&& fn) noexcept
{
    try {
        std::forward<F>(fn)();
    } catch (...) {
        KeepError();
    }
}

void TSearchThread::KeepError() noexcept
{
    try {
        try {
            throw;
        } catch (const std::exception& error) {
            if (FRunError.isEmpty()) {
                FRunError = QString::fromLocal8Bit(error.what());
            }
        } catch (...) {
            if (FRunError.isEmpty()) {
                FRunError = QStringLiteral("Unknown error.");
            }
        }
    } catch (...) {
        // Not even the text could be kept; the closing steps go on all the same.
    }
}

void TSearchThread::EndRun() noexcept
{
    TForm1* const form = Form;
    try {
        // One hand-over for all closing steps; each runs whatever the one before it threw.
        RunOnGuiThread([this, form] {
            Step([form] { form->RunDisplay.Stop(); }); // the run's last texts, and nothing after them
            Step([] { QApplication::beep(); });
            // A closing window is not held up by a dialog.
            if (FPromptForSave && !form->Closing()) {
                Guarded([form] {
                    if (form->ExecuteSaveDialog()) {
                        form->Log.CopyLogTo(ToBytes(form->SaveDialog1.FileName));
                    }
                });
            }
            Step([form] { form->Log.Rewind(); });
            Step([] { Application::SetCursor(crDefault); });
            Step([this] { SetCommands(false); });
            Step([form] { form->SaveDialog1.FileName.clear(); });
        });
    } catch (...) {
        KeepError();
    }
    SearchRunning = false;
}

void TSearchThread::SetCommands(bool Searching)
{
    TForm1* const form = Form;
    form->SetSearchCommand(!Searching);
    form->CmdCancel->setEnabled(Searching);
    form->mCancel->setEnabled(Searching);
    form->CmdSave->setEnabled(!Searching);
    form->mSave->setEnabled(!Searching);
}

SearchInputs TSearchThread::TakeInputs() const
{
    TForm1* const form = Form;
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
    inputs.Decompress = form->OptionDecompress->isChecked();
    inputs.SkipBinary = form->OptionSkipBinary->isChecked();
    inputs.Regex = form->OptionRegex->isChecked();
    return inputs;
}

void TSearchThread::LoadResultLog()
{
    TForm1* const form = Form;
    Step([form] {
        form->setWindowTitle(QStringLiteral("Loading result log..."));
        // The pane shows at most its limit of characters: reading more would only hold a long log in
        // memory for nothing.
        std::string bytes = form->Log.ReadAll(TSourceIndex::PaneBytes(form->Viewer->EffectiveMaxLength()));
        form->PrepareViewerMarks();
        {
            std::istringstream log(bytes);
            form->Viewer->LoadFromStream(log);
        }
        // After the load, whose own change of the text would count as an edit.
        form->SourceIndex.PaneLoaded(bytes);
    });
    const QString title = QString::fromLatin1(gConsts::ProductTitle);
    Step([form, &title] { form->setWindowTitle(title); });
    Step([&title] { Application::SetTitle(title); });
    Step([form] { form->MainPage->setEnabled(true); });
    Step([this, form] {
        std::lock_guard lock(FFailedLock);
        QStringList skipped;
        for (const auto& [name, reason] : FSkippedFiles) {
            skipped << QStringLiteral("%1: %2").arg(FromBytes(name), FromBytes(reason));
        }
        form->ShowSkippedFiles(skipped);
    });

    // A closing window is not held up by a box.
    if (form->Closing()) {
        return;
    }
    if (FLinesFound > 0) {
        Step([this, form] { form->ShowRunResults(FRunStart, FRunClears); });
    }
    if (!FRunError.isEmpty()) {
        ShowErrorText(FRunError);
    }
    ShowFailedFiles();
}

void TSearchThread::ShowFailedFiles()
{
    std::lock_guard lock(FFailedLock);
    if (FFailedFiles.empty()) {
        return;
    }
    const std::size_t count = FFailedFiles.size();
    QString text = count == 1 ? QStringLiteral("1 file could not be read and was skipped:")
                              : QStringLiteral("%1 files could not be read and were skipped:").arg(count);
    QString details;
    for (std::size_t i = 0; i < count; ++i) {
        const QString line =
            QStringLiteral("%1: %2").arg(FromBytes(FFailedFiles[i].first), FromBytes(FFailedFiles[i].second));
        if (i < ListedFailures) {
            text += QLatin1Char('\r') + line;
        }
        details += line + QLatin1Char('\n');
    }
    if (count > ListedFailures) {
        text += QStringLiteral("\rand %1 more (the details list every file).").arg(count - ListedFailures);
    }
    MessageBox(text, Application::Title(), MB_OK | MB_ICONEXCLAMATION, details);
}

void TSearchThread::SetStatusText(int panel, const std::string& text)
{
    Form->RunDisplay.PublishStatusText(panel, text);
}

void TSearchThread::SetCaption(const std::string& caption)
{
    Form->RunDisplay.PublishCaption(caption);
}

void TSearchThread::ShowCaptionAsTitle()
{
    Form->RunDisplay.PublishCaptionAsTitle();
}

std::int64_t TSearchThread::FileCount()
{
    return std::int64_t(FFiles.size());
}

std::optional<std::string> TSearchThread::FileName(std::int64_t index)
{
    if (index < 0 || index >= std::int64_t(FFiles.size())) {
        return std::nullopt;
    }
    return FFiles[std::size_t(index)];
}

void TSearchThread::FileEntriesBegin(std::int64_t index, const std::string& fileName)
{
    static_cast<void>(index);
    if (!Form->SourceIndex.Recording()) {
        return; // past what the pane shows: not even the log's lock is taken any more
    }
    const std::uint64_t clears = Form->Log.ClearCount();
    Form->SourceIndex.FileBegins(fileName, clears, Form->Log.Size());
}

void TSearchThread::FileFailed(const std::string& fileName, const std::string& reason)
{
    std::lock_guard lock(FFailedLock);
    FFailedFiles.emplace_back(fileName, reason);
}

void TSearchThread::FileSkipped(const std::string& fileName, const std::string& reason)
{
    std::lock_guard lock(FFailedLock);
    FSkippedFiles.emplace_back(fileName, reason);
}

bool TSearchThread::MayReadAnyFile(const std::string& fileName)
{
    static_cast<void>(fileName);
    return false;
}
