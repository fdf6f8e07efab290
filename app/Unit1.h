#pragma once

#include "app/DecodedCopies.h"
#include "app/RunDisplay.h"
#include "app/SourceIndex.h"
#include "platform/Dialogs.h"
#include "platform/FileLocations.h"
#include "search/ResultLog.h"

#include <QIcon>
#include <QList>
#include <QMainWindow>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

#include "ui_Unit1.h"

class QLabel;
class QMenu;
class TFileViewer;
class TLineOpener;
class TMatchHighlighter;
class TSearchThread;

/// The main window: the three pages, the commands and the search run's window side.
class TForm1 final : public QMainWindow, public Ui_TForm1 {
    Q_OBJECT

public:
    /// Builds the window and runs FormCreate with the command-line arguments (argv[1..]). The program's
    /// files (.ini, .lst, .out) are kept beside ProgramPath and named after it; empty means the running
    /// executable, whose files are kept where Application::FileLocations() says.
    explicit TForm1(const QStringList& Arguments, const QString& ProgramPath = {}, QWidget* parent = nullptr);
    ~TForm1() override;
    Q_DISABLE_COPY_MOVE(TForm1)

    /// A file of the program named after it: the result log (".out") in the state folder, the others
    /// (".ini", ".lst") in the config folder; both are the program's own folder for a portable copy.
    QString ProgramFile(const char* Extension) const;

    // Status bar panels 0..3.
    void SetStatusText(int Index, const QString& Text);
    QString StatusText(int Index) const;
    void SetIdleStatusTexts();
    /// The last run's summary beside the panels: how many files Skip Binary Files left out, each named
    /// with its reason in the tip. No lines: the summary goes.
    void ShowSkippedFiles(const QStringList& Lines);
    QLabel* StatusSkipped{nullptr};

    // Enablement helpers shared by the commands and the file-list operations.
    void SetSearchCommand(bool Enabled); // CmdSearch and the top-level menu mSearch together
    void UpdateSearchAfterListChange(); // rows > 0 and FString1 not empty
    bool HasSearchString1() const;
    int FileCount() const;
    QString FileNameAt(int Index) const; // empty when the row no longer exists

    // File-list operations (app/Unit1FileList.cpp).
    void AddFile(const QString& Path);
    void LoadList(const QString& FileName);
    void SaveList(const QString& FileName);
    void FileListDragDropFiles(const QStringList& FileList);
    void CmdOpenClick();
    /// Add Folder: the folder dialog, then AddFolder. While a folder is being added it stops that walk.
    void cmdFLAddFolderClick();
    /// Adds the files of a folder through AddFile, as WalkFolder finds them. The window stays live
    /// meanwhile (hourglass cursor; Add Folder turns into Stop). Returns false when it was stopped.
    bool AddFolder(const QString& Folder, bool IncludeSubfolders, const QString& Filter,
                   const QString& Exclude = {}, bool SkipHidden = true);
    /// Files and folders dropped with Shift held: each folder with its sub-folders, each file as it is.
    void FileListDropWithSubfolders(const QStringList& Paths);
    bool AddingFolder() const { return FAddingFolder; }
    void cmdFLDeleteClick();
    void cmdFLClearClick();
    void cmdFLLoadClick();
    void cmdFLSaveClick();

    // Print (app/Unit1Print.cpp): the output pane, titled "Sifton Output", 1-inch margins.
    void BPrintClick(QObject* Sender);

    // Commands.
    void CmdSearchClick();
    void CmdCancelClick();
    void CmdClearClick();
    void CmdSaveClick();
    void Undo1Click(int Tag);
    void Find1Click();
    void Exit1Click();
    void CmdAboutClick();
    void ReadMeFile1Click();
    void ProductFeedback1Click();
    void ProductSupport1Click();
    void NewFeaturesList1Click();
    void QuorvaleNews1Click();
    void QuorvaleSoftware1Click();
    void FString1Change();
    void FString2Change();
    void OptionOneInstanceClick();

    /// Before the output pane is loaded at the end of a run: the strings it marks, from the Main page's
    /// controls (locked while the run went on, so they are the run's). Reverse Logic marks nothing.
    void PrepareViewerMarks();
    TMatchHighlighter* ViewerMarks{nullptr}; // owned by Viewer

    // Open at Line and View at Line (app/Unit1OpenAtLine.cpp).
    /// Opens the file line Block of the output pane came from in the user's editor ([Editor] Command of
    /// the settings file, else the desktop's text editor), at that line; a file header opens the file.
    /// Without an editor, or when it cannot be started, the file viewer shows the line instead. The
    /// line and the editor are looked up by LineOpener, off this thread. False when the line came from
    /// no file (nothing is done); throws when the file is gone.
    bool OpenAtLine(int Block);
    /// Shows the file line Block came from in the file viewer, at that line; false as OpenAtLine.
    bool ViewAtLine(int Block);
    /// The context menu's items: the line the menu was opened on.
    void OpenAtLine1Click();
    void ViewAtLine1Click();
    TDecodedCopies DecodedCopies; // what the editor and the viewer open for a compressed file
    TSourceIndex SourceIndex; // the output pane's lines and where they came from
    QAction* OpenAtLine1{nullptr}; // in PUEdit, shown when it is opened on Viewer
    TLineOpener* LineOpener{nullptr}; // Open at Line's and View at Line's lookups, off the GUI thread
    QAction* ViewAtLine1{nullptr}; // likewise; Ctrl+Enter in the pane
    TFileViewer* FileViewer{nullptr}; // made when first needed; one window serves every line

    /// After a run that reported a line (its entries begin at Offset of the log, written while the
    /// log's ClearCount() was ClearCount): the Output List page, at the run's first entry, unless the
    /// settings say "Show Results=0".
    void ShowRunResults(std::int64_t Offset, std::uint64_t ClearCount);

    /// Runs the save dialog with the settings the Save command and the end-of-run prompt share.
    bool ExecuteSaveDialog();

    TImageList* ImageList1{nullptr}; // shared by the tool bar, the file list and its buttons
    TOpenDialog OpenDialog1;
    TFolderDialog FolderDialog1;
    TSaveDialog SaveDialog1;
    ::ResultLog Log; // the result log; open from FormCreate step 2 until the window is gone

    TSearchThread* SearchThread{nullptr}; // the running search; set and cleared on the GUI thread
    TRunDisplay RunDisplay; // what the running search shows: status panels, caption, title

    /// True once closing has begun, or a stop signal came (GUI thread): a run then neither starts nor
    /// asks anything.
    bool Closing() const;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate(const QStringList& Arguments);
    void FormClose();
    void ApplyCommandLine(const QStringList& Arguments);
    void LoadOptions();
    void SaveOptions();
    void WaitForSearchToEnd();
    void CreateResultLog();
    /// With Regular Expressions on: true when both strings compile; otherwise the error box, and the
    /// caret in the field where the pattern went wrong.
    bool RegularExpressionsCompile();

    void BuildStatusBar();
    void BuildToolBar();
    void BuildPopupMenu();
    void ConnectPrintCommand();
    void ConnectCommands();
    void ConnectKeys(); // app/Unit1Keys.cpp
    void ConnectOpenAtLine(); // app/Unit1OpenAtLine.cpp
    bool ViewerOpenEvent(QObject* Watched, QEvent* Event);
    std::optional<TLineQuery> FileQueryOf(int Block); // throws when the file is gone
    void ShowInFileViewer(const TSource& Source);

    bool FAddingFolder{false};
    bool FStopAddingFolder{false};
    TFileLocations FLocations;
    QString FPrivateLog; // this copy's own result log while another copy holds the shared one
    bool FClosed{false};
    bool FOptionsLoaded{false};
    std::array<QLabel*, 4> FStatusPanels{};
    QMenu* PUEdit{nullptr}; // carries the control it was opened on in its "PopupComponent" property
    int FPopupLine{-1}; // the pane's line the context menu was opened on
};
