#include "app/Unit1.h"

#include "app/MatchHighlight.h"
#include "app/MenuShortcuts.h"
#include "app/SearchThread.h"
#include "app/Settings.h"
#include "app/gConsts.h"
#include "platform/Application.h"
#include "platform/ErrorGuard.h"
#include "platform/GuiDispatcher.h"
#include "platform/StopSignals.h"
#include "search/RunFlags.h"

#include <QAbstractTextDocumentLayout>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QTabBar>
#include <QTextBlock>
#include <QToolButton>

namespace {

constexpr std::array<int, 4> StatusPanelWidths{125, 115, 125, 115};
const std::array<const char*, 4> IdleStatusTexts{"Lines Searched: None", "Lines Found: None",
                                                 "File Position: N/A", "Words Found: None"};

} // namespace

TForm1::TForm1(const QStringList& Arguments, const QString& ProgramPath, QWidget* parent)
    : QMainWindow(parent)
    , RunDisplay({[this](int Panel, const QString& Text) { SetStatusText(Panel, Text); },
                  [this](const QString& Caption) { setWindowTitle(Caption); },
                  [](const QString& Title) { Application::SetTitle(Title); }})
    , FLocations(ProgramPath.isEmpty() ? Application::FileLocations() : TFileLocations::Beside(ProgramPath))
{
    setupUi(this);
    BuildToolBar();
    BuildStatusBar();
    BuildPopupMenu();
    ConnectPrintCommand();
    // The run disables the Search menu itself; its items' shortcuts (Ctrl+C cancels) follow only the
    // items' own states, so the items also belong to the window, not only to the disabled menu.
    addActions({mStart, mCancel, mClear});
    new TMenuShortcuts(this);

    PageControl1->tabBar()->setStyleSheet(QStringLiteral("QTabBar::tab { width: 130px; }"));
    PageControl1->setCurrentWidget(TabSheet1);

    ImageList1 = new TImageList(16, 16, this);
    QList<QIcon> icons;
    for (int i = 0; i < 12; ++i) {
        const QPixmap image(QStringLiteral(":/images/img%1.png").arg(i, 2, 10, QLatin1Char('0')));
        ImageList1->Add(image);
        icons.append(QIcon(image));
    }
    FileList->AddColumn(QStringLiteral("Filename"), 320);
    FileList->AddColumn(QStringLiteral("Size"), 75);
    FileList->SetMultiSelect(true);
    FileList->SetHotTrack(true);
    FileList->SetGridLines(false);
    FileList->SetSmallImages(icons);
    FileList->SetSort(TSort::Ascending);
    FileList->SetDragAccept(true);
    FileList->OnDragDropFiles = [this](const QStringList& Files) { FileListDragDropFiles(Files); };
    FileList->OnDragDropWithSubfolders = [this](const QStringList& Paths) {
        FileListDropWithSubfolders(Paths);
    };

    for (TQvEdit* field : {FString1, FString2}) {
        field->SetMultiLine(false);
        field->SetWantReturns(false);
        field->SetMaxLength(32768);
        field->SetHideSelection(false);
    }
    Viewer->SetMultiLine(true);
    Viewer->SetScrollBars(TQvEdit::ssBoth);
    Viewer->SetHideScrollBars(false);
    Viewer->SetMaxLength(60000);
    Viewer->SetHideSelection(false);
    ViewerMarks = new TMatchHighlighter(Viewer);
    ViewerMarks->RunOfBlock = [this](int Block) { return SourceIndex.RequestOfLine(Block); };
    SourceIndex.SetPaneLimit(Viewer->EffectiveMaxLength());

    const std::array<std::pair<TButton98*, int>, 6> fileListButtons{{{Button981, 7},
                                                                     {cmdFLAddFolder, 1},
                                                                     {cmdFLDelete, 3},
                                                                     {cmdFLClear, 10},
                                                                     {cmdFLLoad, 8},
                                                                     {cmdFLSave, 9}}};
    for (const auto& [button, image] : fileListButtons) {
        button->SetImageList(ImageList1);
        button->SetIndex(image);
        button->SetXOffset(button == cmdFLDelete ? 0 : 4);
        button->SetShowHint(true);
    }

    SaveDialog1.Title = QStringLiteral("Select or type an output file.");
    SaveDialog1.Filters = {{QStringLiteral("Text Files"), QStringLiteral("*.txt")},
                           {QStringLiteral("Log Files"), QStringLiteral("*.log")},
                           {QStringLiteral("Information Files"), QStringLiteral("*.nfo")},
                           {QStringLiteral("All Files"), QStringLiteral("*.*")}};
    SaveDialog1.DefaultExt = QStringLiteral("txt");
    SaveDialog1.Options = ofOverwritePrompt | ofPathMustExist | ofNoReadOnlyReturn | ofHideReadOnly;

    OpenDialog1.Filters = {{QStringLiteral("All Files"), QStringLiteral("*.*")},
                           {QStringLiteral("Text Files"), QStringLiteral("*.txt")},
                           {QStringLiteral("Log Files"), QStringLiteral("*.log")},
                           {QStringLiteral("Register Files"), QStringLiteral("*.reg")},
                           {QStringLiteral("Descritpoin Files"), QStringLiteral("*.diz")},
                           {QStringLiteral("Information Files"), QStringLiteral("*.nfo")}};
    FolderDialog1.Choice.Title = QStringLiteral("Add Folder");
    OpenDialog1.Options =
        ofAllowMultiSelect | ofFileMustExist | ofPathMustExist | ofHideReadOnly | ofShareAware;

    if (const QScreen* screen = this->screen()) {
        move(screen->availableGeometry().center() - rect().center());
    }

    ConnectCommands();
    ConnectKeys();
    ConnectOpenAtLine();

    // A failing step is shown and ends FormCreate; the window opens all the same.
    Guarded([&] { FormCreate(Arguments); });
}

TForm1::~TForm1()
{
    CancelRequested = true;
    WaitForSearchToEnd();
    if (!FPrivateLog.isEmpty()) {
        QFile::remove(FPrivateLog);
    }
}

QString TForm1::ProgramFile(const char* Extension) const
{
    const QString ext = QString::fromLatin1(Extension);
    return ext == QLatin1String(gConsts::ResultLogExtension) ? FLocations.StateFile(ext)
                                                             : FLocations.ConfigFile(ext);
}

void TForm1::BuildToolBar()
{
    for (QAction* action : ToolBar1->actions()) {
        if (auto* button = qobject_cast<QToolButton*>(ToolBar1->widgetForAction(action))) {
            button->setFixedSize(65, 36);
            button->setAutoRaise(true);
        }
    }
}

void TForm1::BuildStatusBar()
{
    for (std::size_t i = 0; i < FStatusPanels.size(); ++i) {
        auto* panel = new QLabel(QString::fromLatin1(IdleStatusTexts[i]), StatusBar);
        panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->setFixedWidth(StatusPanelWidths[i]);
        StatusBar->addWidget(panel);
        FStatusPanels[i] = panel;
    }
    StatusSkipped = new QLabel(StatusBar);
    StatusSkipped->setObjectName(QStringLiteral("StatusSkipped"));
    StatusSkipped->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    // It takes the room the panels leave and never widens the window; the tip names the files.
    StatusSkipped->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    StatusSkipped->hide();
    StatusBar->addWidget(StatusSkipped);
}

void TForm1::BuildPopupMenu()
{
    PUEdit = new QMenu(this);
    PUEdit->setObjectName(QStringLiteral("PUEdit"));
    PUEdit->addAction(Undo1);
    PUEdit->addSeparator();
    PUEdit->addAction(Cut1);
    PUEdit->addAction(Copy1);
    PUEdit->addAction(Paste1);
    PUEdit->addAction(Delete1);
    PUEdit->addSeparator();
    PUEdit->addAction(Find1);
    PUEdit->addSeparator();
    PUEdit->addAction(SelectAll1);
    Undo1->setData(0);
    Cut1->setData(1);
    Copy1->setData(2);
    Paste1->setData(3);
    Delete1->setData(4);
    SelectAll1->setData(5);

    for (TQvEdit* component : {FString1, FString2, Viewer}) {
        component->SetPopupMenu(PUEdit);
    }
}

void TForm1::ConnectCommands()
{
    const auto on = [this](QAction* action, void (TForm1::*handler)()) {
        connect(action, &QAction::triggered, this, Guard([this, handler] { (this->*handler)(); }));
    };
    on(Open1, &TForm1::CmdOpenClick);
    on(Addafile1, &TForm1::CmdOpenClick);
    on(CmdOpen, &TForm1::CmdOpenClick);
    on(AddFolder1, &TForm1::cmdFLAddFolderClick);
    on(LoadFileList1, &TForm1::cmdFLLoadClick);
    on(SaveFileList1, &TForm1::cmdFLSaveClick);
    on(mSave, &TForm1::CmdSaveClick);
    on(CmdSave, &TForm1::CmdSaveClick);
    on(Exit1, &TForm1::Exit1Click);
    on(mStart, &TForm1::CmdSearchClick);
    on(CmdSearch, &TForm1::CmdSearchClick);
    on(mCancel, &TForm1::CmdCancelClick);
    on(CmdCancel, &TForm1::CmdCancelClick);
    on(mClear, &TForm1::CmdClearClick);
    on(CmdClear, &TForm1::CmdClearClick);
    on(About2, &TForm1::CmdAboutClick);
    on(CmdAbout, &TForm1::CmdAboutClick);
    on(Find1, &TForm1::Find1Click);
    on(ReadMeFile1, &TForm1::ReadMeFile1Click);
    on(ProductFeedback1, &TForm1::ProductFeedback1Click);
    on(ProductSupport1, &TForm1::ProductSupport1Click);
    on(NewFeaturesList1, &TForm1::NewFeaturesList1Click);
    on(QuorvaleNews1, &TForm1::QuorvaleNews1Click);
    on(QuorvaleSoftware1, &TForm1::QuorvaleSoftware1Click);
    for (QAction* item : {Undo1, Cut1, Copy1, Paste1, Delete1, SelectAll1}) {
        connect(item, &QAction::triggered, this, Guard([this, item] { Undo1Click(item->data().toInt()); }));
    }

    const auto onButton = [this](QAbstractButton* button, void (TForm1::*handler)()) {
        connect(button, &QAbstractButton::clicked, this, Guard([this, handler] { (this->*handler)(); }));
    };
    onButton(Button981, &TForm1::CmdOpenClick);
    onButton(cmdFLAddFolder, &TForm1::cmdFLAddFolderClick);
    onButton(cmdFLDelete, &TForm1::cmdFLDeleteClick);
    onButton(cmdFLClear, &TForm1::cmdFLClearClick);
    onButton(cmdFLLoad, &TForm1::cmdFLLoadClick);
    onButton(cmdFLSave, &TForm1::cmdFLSaveClick);

    connect(FString1, &QTextEdit::textChanged, this, Guard([this] { FString1Change(); }));
    connect(FString2, &QTextEdit::textChanged, this, Guard([this] { FString2Change(); }));
    // toggled, not clicked: setting the box while the options load runs the handler too.
    connect(OptionOneInstance, &QCheckBox::toggled, this, Guard([this] { OptionOneInstanceClick(); }));
}

// ---- start-up and closing ---------------------------------------------------------------------------

void TForm1::FormCreate(const QStringList& Arguments)
{
    FOperator->setCurrentIndex(0);
    CreateResultLog();
    LoadOptions();
    FOptionsLoaded = true;
    OptionWordCount->setEnabled(!OptionOneInstance->isChecked() && FString2->toPlainText().isEmpty());
    if (OptionLoadList->isChecked()) {
        const QString listFile = ProgramFile(gConsts::FileListExtension);
        if (QFileInfo::exists(listFile)) {
            LoadList(listFile);
        } else {
            MessageBox(QStringLiteral("You have not saved a file list yet."), Application::Title(),
                       MB_OK | MB_ICONHAND);
        }
    }
    ApplyCommandLine(Arguments);
}

void TForm1::CreateResultLog()
{
    const QString shared = ProgramFile(gConsts::ResultLogExtension);
    try {
        Log.Create(shared.toStdString());
        return;
    } catch (const std::exception&) {
        if (!HeldByAnotherProcess(shared)) {
            throw;
        }
    }
    // A second copy of the program: its own log, so that both copies search and neither wipes the
    // other's results. It lives with the session and goes when this copy ends.
    FPrivateLog =
        CreatePrivateFile(RuntimeFolder(), FLocations.Name, QString::fromLatin1(gConsts::ResultLogExtension));
    if (FPrivateLog.isEmpty()) {
        Log.Create(shared.toStdString()); // reports the shared log's failure
    }
    Log.Create(FPrivateLog.toStdString());
}

void TForm1::closeEvent(QCloseEvent* event)
{
    if (!FClosed) {
        FClosed = true;
        FormClose();
    }
    event->accept();
}

bool TForm1::Closing() const
{
    return FClosed || StopSignalled();
}

void TForm1::FormClose()
{
    CancelRequested = true;
    FStopAddingFolder = true;
    // Options that were never read (start-up stopped before them) would overwrite the stored ones
    // with the window's design values.
    if (FOptionsLoaded) {
        Guarded([this] { SaveOptions(); });
    }
    // The result log lives as long as the window: let a running search reach its end first.
    WaitForSearchToEnd();
}

void TForm1::WaitForSearchToEnd()
{
    WaitProcessingEvents([this] { return SearchThread == nullptr; });
}

// ---- status bar and enablement ----------------------------------------------------------------------

void TForm1::SetStatusText(int Index, const QString& Text)
{
    if (Index >= 0 && Index < int(FStatusPanels.size())) {
        FStatusPanels[std::size_t(Index)]->setText(Text);
    }
}

QString TForm1::StatusText(int Index) const
{
    if (Index >= 0 && Index < int(FStatusPanels.size())) {
        return FStatusPanels[std::size_t(Index)]->text();
    }
    return {};
}

void TForm1::SetIdleStatusTexts()
{
    for (std::size_t i = 0; i < FStatusPanels.size(); ++i) {
        FStatusPanels[i]->setText(QString::fromLatin1(IdleStatusTexts[i]));
    }
    ShowSkippedFiles({});
}

void TForm1::ShowSkippedFiles(const QStringList& Lines)
{
    constexpr qsizetype Named = 20; // in the tip; a tip of thousands of lines would fill the screen
    StatusSkipped->setVisible(!Lines.isEmpty());
    StatusSkipped->setText(QStringLiteral("Skipped: %1").arg(QLocale().toString(Lines.size())));
    QStringList tip{Lines.size() == 1
                        ? QStringLiteral("1 binary file skipped:")
                        : QStringLiteral("%1 binary files skipped:").arg(QLocale().toString(Lines.size()))};
    tip << Lines.mid(0, Named);
    if (Lines.size() > Named) {
        tip << QStringLiteral("and %1 more").arg(QLocale().toString(Lines.size() - Named));
    }
    StatusSkipped->setToolTip(tip.join(QLatin1Char('\n')));
}

void TForm1::SetSearchCommand(bool Enabled)
{
    CmdSearch->setEnabled(Enabled);
    mSearch->menuAction()->setEnabled(Enabled);
}

bool TForm1::HasSearchString1() const
{
    return !FString1->toPlainText().isEmpty();
}

int TForm1::FileCount() const
{
    return FileList->Count();
}

QString TForm1::FileNameAt(int Index) const
{
    const TListItem* item = FileList->Item(Index);
    return item ? item->text(0) : QString();
}

void TForm1::UpdateSearchAfterListChange()
{
    SetSearchCommand(FileCount() > 0 && HasSearchString1());
}

void TForm1::PrepareViewerMarks()
{
    TMatchStrings strings;
    if (!OptionReverse->isChecked()) {
        strings.String1 = FString1->toPlainText();
        strings.String2 = FString2->toPlainText();
    }
    strings.CaseSensitive = OptionCase->isChecked();
    strings.LineNumbering = OptionNumbering->isChecked();
    strings.Regex = OptionRegex->isChecked();
    ViewerMarks->SetStrings(strings);
}

void TForm1::ShowRunResults(std::int64_t Offset, std::uint64_t ClearCount)
{
    if (!Settings::TSettings(ProgramFile(gConsts::SettingsExtension)).ReadShowResults()) {
        return;
    }
    PageControl1->setCurrentWidget(OutputList);
    const int line = SourceIndex.FirstLineFrom(Offset, ClearCount);
    if (line < 0) {
        return; // past what the pane holds
    }
    const QTextBlock block = Viewer->document()->findBlockByNumber(line);
    Viewer->setTextCursor(QTextCursor(block));
    // The run's first entry at the top of the pane, the entries of earlier runs above it.
    QAbstractTextDocumentLayout* layout = Viewer->document()->documentLayout();
    layout->documentSize();
    Viewer->verticalScrollBar()->setValue(int(layout->blockBoundingRect(block).top()));
}

void TForm1::FString1Change()
{
    SetSearchCommand(HasSearchString1() && FileCount() > 0);
}

void TForm1::FString2Change()
{
    OptionWordCount->setEnabled(FString2->toPlainText().isEmpty() && !OptionOneInstance->isChecked());
}

void TForm1::OptionOneInstanceClick()
{
    OptionWordCount->setEnabled(!OptionOneInstance->isChecked() && FString2->toPlainText().isEmpty());
}
